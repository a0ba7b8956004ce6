#include "ui/about_dlg.h"

#include "app/upgrade_app.h"
#include "sys/text.h"
#include "sys/text_file.h"

#include <cstdio>

std::string ReadMeFileName() {
    return App().language == 0 ? "LISEZMOI.TXT" : "README.TXT";
}

bool ReadMePresent() {
    return sys::FileExists(ReadMeFileName());
}

std::string CVersionInfo::AboutLine(const std::string& versionWord) const {
    char numbers[64];
    std::snprintf(
        numbers, sizeof numbers, "%d,%d,%d,%d", static_cast<int>(info_.fileVersionMs >> 16),
        static_cast<int>(info_.fileVersionMs & 0xFFFF), static_cast<int>(info_.fileVersionLs >> 16),
        static_cast<int>(info_.fileVersionLs & 0xFFFF));
    return info_.productName + " " + versionWord + " " + info_.productVersion + " (" + numbers +
           ")";
}

CReadMeDlg::CReadMeDlg(fw::CWnd* parent) : CDialog(App().language == 0 ? 115 : 121, parent) {}

std::string CReadMeDlg::ReadMeText() {
    const std::string name = ReadMeFileName();
    sys::TextFile file;
    if (!ReadMePresent() || !file.Open(name))
        return App().Message(res::Msg::CannotOpenFile, name);
    std::string text, piece;
    while (file.ReadLine(piece, 255) == sys::TextFile::Read::Line) {
        const auto lf = piece.rfind('\n');
        if (lf != std::string::npos)
            piece.replace(lf, 1, "\r\n"); // the text pane breaks lines at CR LF
        text += piece;
    }
    // A French read-me is as often written in the Windows code page as in UTF-8.
    return sys::DecodeFileText(text);
}

BOOL CReadMeDlg::OnInitDialog() {
    CDialog::OnInitDialog();
    CenterWindow();
    const std::string text = ReadMeText();
    SetDlgItemFixedFont(IDC_TEXT);
    SetDlgItemText(IDC_TEXT, text);
    PlaceCaretAtStart(IDC_TEXT);
    return FALSE; // the focus is set
}

CCommandLineDlg::CCommandLineDlg(fw::CWnd* parent) : CDialog(TemplateFor(App().language), parent) {}

BOOL CCommandLineDlg::OnInitDialog() {
    CDialog::OnInitDialog();
    CenterWindow();
    return TRUE;
}

CAboutDlg::CAboutDlg(fw::CWnd* opener) : CDialog(App().language == 0 ? 100 : 117, opener) {}

BOOL CAboutDlg::OnInitDialog() {
    const std::string versionWord = App().Message(res::Msg::Version);
    CDialog::OnInitDialog();
    CenterWindow();
    const CVersionInfo version;
    SetDlgItemText(IDC_VERSION, version.AboutLine(versionWord));
    if (!ReadMePresent())
        ShowDlgItem(IDC_README, false);
    return TRUE;
}

bool CAboutDlg::OnCommand(int id) {
    switch (id) {
    case IDC_README: CReadMeDlg(this).DoModal(); return true;
    case IDC_OPTIONS: CCommandLineDlg(this).DoModal(); return true;
    default: return CDialog::OnCommand(id);
    }
}
