#include "ui/language_dlg.h"

#include "sys/sys.h"
#include "sys/text.h"

std::int32_t ProposedLanguage(const std::string& profileLanguage) {
    const std::string upper = sys::UpperCase(profileLanguage);
    return upper == "FRA" || upper == "FRC" ? 0 : 1;
}

BOOL CLanguageDlg::OnInitDialog() {
    CDialog::OnInitDialog();
    CenterWindow();
    const std::string profileLanguage = sys::GetProfileString("intl", "sLanguage", "FRA", 10);
    const int proposed = ProposedLanguage(profileLanguage) == 0 ? IDC_FRENCH : IDC_ENGLISH;
    SendMessage(DM_SETDEFID, static_cast<WPARAM>(proposed), 0);
    GotoDlgCtrl(proposed);
    return FALSE; // the focus is placed
}

bool CLanguageDlg::OnCommand(int id) {
    switch (id) {
    case IDC_FRENCH:
        languageChoice = 0;
        EndDialog(IDOK);
        return true;
    case IDC_ENGLISH:
        languageChoice = 1;
        EndDialog(IDOK);
        return true;
    default: return CDialog::OnCommand(id);
    }
}
