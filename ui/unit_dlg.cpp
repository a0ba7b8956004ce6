#include "ui/unit_dlg.h"

BOOL CUnitDlg::OnInitDialog() {
    CDialog::OnInitDialog();
    CenterWindow();
    GotoDlgCtrl(IDC_SERIAL);
    return FALSE; // the focus is placed
}

// A unit without a serial number cannot be traced: OK waits for one.
void CUnitDlg::OnOK() {
    const std::string text = GetDlgItemText(IDC_SERIAL);
    const auto first = text.find_first_not_of(" \t");
    if (first == std::string::npos) {
        fw::MessageBeep(0xFFFFFFFF);
        GotoDlgCtrl(IDC_SERIAL);
        return;
    }
    serial = text.substr(first, text.find_last_not_of(" \t") - first + 1);
    CDialog::OnOK();
}
