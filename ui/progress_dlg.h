#pragma once

#include "fw/fw.h"
#include "res/messages.h"
#include "sys/text_file.h"
#include "ui/percent_gauge.h"

#include <chrono>
#include <memory>

// The frame shared by the analysis and transmission dialogs: two text lines, a gauge, the work
// cut into steps that the dialog posts to itself, a message pump, the failure exit and a
// confirmed Cancel.
class CProgressDlg : public fw::CDialog {
  public:
    static constexpr int IDC_UPPER_TEXT = 1022;
    static constexpr int IDC_LOWER_TEXT = 1023;
    static constexpr int IDC_GAUGE = 1000;

    // failedMessage: the private message of the failure exit; cancelQuestion: the question
    // asked on Cancel.
    CProgressDlg(int templateId, fw::CWnd* parent, UINT failedMessage, res::Msg cancelQuestion);

    void SetUpperText(const std::string& text);
    // The upper line, message naming a file: when it does not stand on its one line, the name
    // is shortened in its middle with an ellipsis, keeping its end (where a version is written)
    // and a part of its beginning. The whole name stays in the journal.
    void SetUpperTextNaming(res::Msg message, const std::string& fileName);
    void SetLowerText(const std::string& text);
    // Lets the interface live inside a step; false when the application is asked to quit. It
    // looks at the queue at most every pumpInterval: under Wine each look costs a tenth of a
    // millisecond, a good part of a line exchange at 115200 baud.
    bool PumpMessages();
    // True when the next PumpMessages will look at the queue.
    bool PumpDue() const;
    // Ends the dialog; the work stops at once.
    void End(int result);
    bool Ended() const { return ended_; }
    // Ends the dialog with IDOK through the hidden OK button.
    void PostSuccess();
    // Reports a failure, then takes the failure exit.
    void PostFailure(const res::Failure& failure);

    LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override;

  protected:
    void OnOK() override;
    void OnCancel() override;
    void OnDestroy() override;

    CPercentGauge gauge;
    std::unique_ptr<sys::TextFile> stream; // the upgrade file being read; owned

  private:
    static constexpr std::chrono::milliseconds pumpInterval{100};
    std::chrono::steady_clock::time_point lastPump_{};
    bool ended_ = false;
    bool asking_ = false; // the cancel question is up
    UINT failedMessage_;
    bool succeeded_ = false; // only the work's own success may end the dialog with OK
    res::Msg cancelQuestion_;
};
