#include "files/welcome_dlg.h"

#include "app/upgrade_app.h"
#include "sys/sys.h"
#include "ui/about_dlg.h"

CWelcomeDlg::CWelcomeDlg(fw::CWnd* parent)
    : CDialog(App().language == 0 ? IDD_FRENCH : IDD_ENGLISH, parent) {}

BOOL CWelcomeDlg::OnInitDialog() {
    CDialog::OnInitDialog();
    CenterWindow();
    // Every later relative name (upgrade files, read-me) is taken in the files' folder; when
    // it cannot be entered the listing is that of the current directory.
    sys::EnterFilesFolder();
    ListResetContent(IDC_FILES);
    ListDir(IDC_FILES, "*.HEX");
    if (App().selectionMode) {
        EnableDlgItem(IDC_FILES, true);
        if (ListGetCount(IDC_FILES) > 0)
            ListSetCurSel(IDC_FILES, 0);
    }
    CReadMeDlg(this).DoModal();
    return TRUE;
}

void CWelcomeDlg::OnOK() {
    chosenNames.clear();
    const int count = ListGetCount(IDC_FILES);
    if (App().selectionMode) {
        const int selected = ListGetCurSel(IDC_FILES);
        if (count > 0 && selected >= 0)
            chosenNames.push_back(ListGetText(IDC_FILES, selected));
    } else {
        for (int i = 0; i < count; ++i)
            chosenNames.push_back(ListGetText(IDC_FILES, i));
    }
    EndDialog(IDOK);
}

bool CWelcomeDlg::OnCommand(int id) {
    switch (id) {
    case IDC_ABOUT: CAboutDlg(this).DoModal(); return true;
    default: return CDialog::OnCommand(id);
    }
}
