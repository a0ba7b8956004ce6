#pragma once

#include "files/hex_analysis.h"
#include "files/upgrade_file.h"
#include "ui/progress_dlg.h"

#include <memory>

// Analyses one upgrade file in a progress dialog, one record per step.
class CAnalysisDlg : public CProgressDlg {
  public:
    static constexpr int IDD_FRENCH = 114;
    static constexpr int IDD_ENGLISH = 119;
    static constexpr UINT WM_ANALYSIS_STEP = WM_USER + 100;
    static constexpr UINT WM_ANALYSIS_FAILED = WM_USER + 101;

    CAnalysisDlg(int position, CUpgradeFile& file, fw::CWnd* parent);

    LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override;

  protected:
    BOOL OnInitDialog() override;

  private:
    void OnAnalysisStep();
    // The failure of this file: message (with the file's name), the system's reason if any.
    void Fail(res::Msg message, const std::string& systemText = std::string());

    [[maybe_unused]] int position_; // in the application's file list; kept for the record
    CUpgradeFile& file_;
    std::unique_ptr<HexFileAnalysis> analysis_;
};
