#pragma once

#include "fw/fw.h"

#include <string>

// Asks the operator for the serial number of the unit on the cable, typed or read by a barcode
// reader that types it: the journal then says which unit got which file.
class CUnitDlg : public fw::CDialog {
  public:
    static constexpr int IDD_FRENCH = 125;
    static constexpr int IDD_ENGLISH = 126;
    static constexpr int IDC_SERIAL = 1040;

    CUnitDlg(int language, fw::CWnd* parent)
        : CDialog(language == 0 ? IDD_FRENCH : IDD_ENGLISH, parent) {}

    std::string serial; // without the blanks around it

  protected:
    BOOL OnInitDialog() override;
    void OnOK() override;
};
