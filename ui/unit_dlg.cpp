#include "ui/unit_dlg.h"

#include "sys/text.h"

BOOL CUnitDlg::OnInitDialog() {
    CDialog::OnInitDialog();
    CenterWindow();
    GotoDlgCtrl(IDC_SERIAL);
    return FALSE; // the focus is placed
}

// A unit without a serial number cannot be traced: OK waits for one.
void CUnitDlg::OnOK() {
    const std::string text = sys::Trim(GetDlgItemText(IDC_SERIAL));
    if (text.empty()) {
        fw::MessageBeep(0xFFFFFFFF);
        GotoDlgCtrl(IDC_SERIAL);
        return;
    }
    serial = text;
    CDialog::OnOK();
}
