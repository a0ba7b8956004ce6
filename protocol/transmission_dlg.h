#pragma once

#include "files/upgrade_file.h"
#include "ui/progress_dlg.h"

#include <cstdint>
#include <string>

// Upgrades the instrument with one file: upgrade mode for the file's monitor, a check that it
// took, every record line acknowledged, then the exit command. One exchange per step.
class CTransmissionDlg : public CProgressDlg {
  public:
    static constexpr int IDD_FRENCH = 113;
    static constexpr int IDD_ENGLISH = 122;
    // The word parameter of a step carries its failed attempts so far.
    static constexpr UINT WM_TRANSMIT_MODE = WM_USER + 100;
    static constexpr UINT WM_TRANSMIT_VERIFY = WM_USER + 101;
    static constexpr UINT WM_TRANSMIT_LINE = WM_USER + 103;
    static constexpr UINT WM_TRANSMIT_EXIT = WM_USER + 104;
    static constexpr UINT WM_TRANSMIT_FAILED = WM_USER + 105;
    static constexpr UINT WM_TRANSMIT_RETRY = WM_USER + 106;
    static constexpr int maxAttempts = 3;

    CTransmissionDlg(std::int32_t monitorIndex, CUpgradeFile& file, fw::CWnd* parent);

    LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override;

  protected:
    BOOL OnInitDialog() override;

  private:
    void OnModeStep(int failures);
    void OnVerifyStep(int failures);
    void OnLineStep(int failures);
    void OnExitStep(int failures);
    // After the third failure: the command or line, the reason, OK to run again or Cancel.
    void ShowLinkError(int primaryId, const std::string& subject, int reasonId);
    // 0 when accepted, else the reason's message identifier.
    int JudgeAnswer(int refusalId, int timeoutSeconds);
    // Posts the next step unless the application is quitting.
    bool PumpOrFail();

    std::int32_t monitorIndex_;
    CUpgradeFile& file_;
    std::uint16_t progress_ = 0;
    std::string currentLine_;
};
