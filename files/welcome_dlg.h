#pragma once

#include "fw/fw.h"

// Lists the upgrade files of the program's folder and hands on all of them, or in selection
// mode the one selected.
class CWelcomeDlg : public fw::CDialog {
  public:
    static constexpr int IDD_FRENCH = 111;
    static constexpr int IDD_ENGLISH = 118;
    static constexpr int IDC_FILES = 1001;
    static constexpr int IDC_ABOUT = 1002;

    explicit CWelcomeDlg(fw::CWnd* parent);

    fw::CStringArray chosenNames;

  protected:
    BOOL OnInitDialog() override;
    void OnOK() override;
    bool OnCommand(int id) override;
};
