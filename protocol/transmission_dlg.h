#pragma once

#include "files/upgrade_file.h"
#include "files/upgrade_lines.h"
#include "ui/progress_dlg.h"

#include <cstdint>
#include <optional>
#include <string>

// Upgrades the instrument with one file: a check that the file is still the one analysed,
// upgrade mode for the file's monitor, a check that it took, every record line acknowledged,
// then the exit command. One exchange per step.
//
// The monitor's answers carry no reference to what they answer. An answer that comes after
// its time limit, or one the monitor was not asked for, would be taken for the answer to the
// next line, and every verdict after it would be one line off. So a line is judged only by
// answers that can be its own: before a line or command other than the one still owed an
// answer, the dialog asks "QEL?" and reads through to the identification that answers it,
// which the monitor sends after everything it owed before.
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
    static constexpr int maxAttempts = 3;
    // Bytes of the file compared with its analysis in one step.
    static constexpr std::uint64_t checkStepBytes = 256 * 1024;

    CTransmissionDlg(std::int32_t monitorIndex, CUpgradeFile& file, fw::CWnd* parent);

    LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override;

  protected:
    BOOL OnInitDialog() override;

  private:
    void OnCheckStep();
    void OnModeStep(int failures);
    void OnVerifyStep(int failures);
    void OnLineStep(int failures);
    void OnExitStep(int failures);
    // After the third failure: the command or line, the reason, OK to run again or Cancel.
    void ShowLinkError(int primaryId, const std::string& subject, int reasonId);
    // Posts the next step unless the application is quitting.
    bool PumpOrFail();
    // The file changed since its analysis, or cannot be read: nothing more of it may be sent.
    void FailChanged();
    void FailUnreadable();

    // What an exchange came to: reason 0 when accepted, else the message that says why. A
    // read-through that failed is the question's failure: the text itself never left.
    struct Verdict {
        int reason = 0;
        bool readThroughFailed = false;
        bool unansweredEnd = false; // no copy of the end record got any answer
    };

    // Sends "QEL?" and reads answers up to an identification; those before it are late ones,
    // kept in lateAnswers when given. 0 with the state codes, else the reason.
    int QueryIdentification(std::vector<std::uint8_t>& stateCodes,
                            std::vector<std::string>* lateAnswers = nullptr);
    // Asks for the identification before anything else is sent, while a text may still be
    // answered; a failure is the verdict of the text that waits for it. The late answers read
    // on the way count for an end record still owed one.
    std::optional<Verdict> ReadThrough();
    // The verdict on the end record after one more copy of it was sent, from every answer
    // any copy of it got, late ones included.
    Verdict JudgeEndRecord(const Verdict& copy);
    // Sends a line or command whose answer may hold "OK" and judges the answer. Asks for the
    // identification first when another text may still be answered.
    Verdict Exchange(std::string& text, bool waitUntilSent, int timeoutSeconds, int refusalId,
                     int writeFailureId);
    // The link error box for the last failed attempt of text.
    void ShowLinkError(int primaryId, const std::string& text, const Verdict& verdict);

    std::int32_t monitorIndex_;
    CUpgradeFile& file_;
    std::uint32_t progress_ = 0;
    std::string currentLine_;
    std::string writeFailure_; // the system's reason of the last failed write

    // A line or command some of whose copies may still be answered; none when every answer
    // came whole and in time, or since an identification answered a question sent after them.
    std::optional<std::string> owedText_;
    // Questions sent whose identification has not been read: one that went unanswered may
    // still be answered, and its answer would be taken for the next question's.
    int unansweredQuestions_ = 0;

    // What the copies of the end record were answered: one acceptance is enough, and once it
    // has been answered at all, silence no longer leaves it to the exit command.
    struct EndRecordAnswers {
        bool owed = false; // a copy may still be answered
        bool answered = false;
        bool accepted = false;
    } end_;

    // The file as it is read for sending, compared with what the analysis read.
    std::optional<UpgradeFileLines> lines_;
};
