#pragma once

#include "files/upgrade_file.h"
#include "protocol/transmission_sequence.h"
#include "sys/sys.h"
#include "ui/progress_dlg.h"

#include <cstdint>
#include <memory>
#include <optional>

// Upgrades the instrument with one file in a progress dialog: each private message is one step
// of the transmission sequence, which this dialog drives; it shows what the sequence reports
// and moves the gauge.
class CTransmissionDlg : public CProgressDlg {
  public:
    static constexpr int IDD_FRENCH = 113;
    static constexpr int IDD_ENGLISH = 122;
    // The word parameter of a step carries its failed attempts so far.
    static constexpr UINT WM_TRANSMIT_MODE = WM_USER + 100;
    static constexpr UINT WM_TRANSMIT_VERIFY = WM_USER + 101;
    static constexpr UINT WM_TRANSMIT_CHECK = WM_USER + 102; // the file is the one analysed
    static constexpr UINT WM_TRANSMIT_LINE = WM_USER + 103;
    static constexpr UINT WM_TRANSMIT_EXIT = WM_USER + 104;
    static constexpr UINT WM_TRANSMIT_FAILED = WM_USER + 105;
    static constexpr UINT WM_TRANSMIT_RETRY = WM_USER + 106;

    CTransmissionDlg(std::int32_t monitorIndex, CUpgradeFile& file, fw::CWnd* parent);
    ~CTransmissionDlg() override;

    LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override;

    // What the transfer came to, once the dialog has ended: the record lines accepted, and what
    // it took.
    std::uint32_t Accepted() const { return sequence_ ? sequence_->Progress() : 0; }
    TransmissionSequence::Counts Counts() const {
        return sequence_ ? sequence_->GetCounts() : TransmissionSequence::Counts();
    }

  protected:
    BOOL OnInitDialog() override;
    void OnDestroy() override;

  private:
    using Step = TransmissionSequence::Step;
    using Result = TransmissionSequence::Result;

    void OnCheckStep();
    void OnModeStep();
    void OnVerifyStep();
    void OnLineStep();
    void OnExitStep();
    // Serves the interface, then posts what follows a step: the next step, one again, the
    // success, or the failure's box and exit.
    void Follow(const Result& result);
    void ShowProgress();

    std::int32_t monitorIndex_;
    CUpgradeFile& file_;
    std::unique_ptr<ExchangePort> port_;
    std::unique_ptr<TransmissionSequence> sequence_;
    // While a file is sent: the PC does not sleep, and a shutdown asks first.
    std::optional<sys::StayAwake> awake_;
    fw::CStringArray otherInstrument_; // the other instrument the operator was told of
};
