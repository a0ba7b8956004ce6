#pragma once

#include "files/upgrade_file.h"
#include "files/upgrade_lines.h"
#include "res/messages.h"

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

// The serial link as the transmission uses it: the line exchange of the link object (the
// program's CQelComm; a monitor scripted on a virtual clock in the tests).
class ExchangePort {
  public:
    virtual ~ExchangePort() = default;
    // 0 when the line was handed to the port and, with waitUntilSent, has left it; -1 when
    // not. text is cut in place at its first CR or LF.
    virtual int SendLine(std::string& text, bool waitUntilSent) = 0;
    // The system's reason of the last write that failed.
    virtual std::string WriteFailureText() = 0;
    // 0 when an answer (maybe partial) was read, its first byte within timeoutSeconds; another
    // value when nothing came.
    virtual int ReadAnswer(std::string& answer, int timeoutSeconds) = 0;
    // Bytes from the instrument are waiting; line ends and blanks alone are none.
    virtual bool InputPending() = 0;
};

// The upgrade of the instrument with one file, showing nothing: a check that the file is still
// the one analysed, upgrade mode for the file's monitor, a check that it took, every record
// line acknowledged, then the exit command. Each call makes one step (at most one exchange,
// and the read-through it may need) and says what came of it; the caller shows the boxes,
// serves the interface and calls the step that follows.
//
// The monitor's answers carry no reference to what they answer. An answer that comes after
// its time limit, or one the monitor was not asked for, would be taken for the answer to the
// next line, and every verdict after it would be one line off. So a line is judged only by
// answers that can be its own: before a line or command other than the one still owed an
// answer, the sequence asks "QEL?" and reads through to the identification that answers it,
// which the monitor sends after everything it owed before.
class TransmissionSequence {
  public:
    enum class Step { Check, Mode, Verify, Line, Exit };

    static constexpr int maxAttempts = 3;
    static constexpr int lineTimeoutSeconds = 3; // a record line, and the verification
    static constexpr int exitTimeoutSeconds = 1;
    // Bytes of the file compared with its analysis in one step.
    static constexpr std::uint64_t checkStepBytes = 256 * 1024;

    struct Result {
        enum class Kind {
            Next,    // the step succeeded: `next` follows (none after the exit: upgraded)
            Again,   // it failed, attempts are left: the same step once more
            Skipped, // a line that is no record: nothing was sent; the line step again
            Failed,  // the step cannot go on: `failure` says why, `retry` whether OK in its
                     // box may start the run again (a link failure) or not (the file)
        } kind = Kind::Next;
        std::optional<Step> next;
        res::Failure failure;
        bool retry = false;
    };

    // file: its name, record count and analysed text; lines reads the open file.
    TransmissionSequence(ExchangePort& port, sys::TextFile& file, const CUpgradeFile& record,
                         std::int32_t monitorIndex);

    // Called with each monitor reference an identification answer names (the trace).
    std::function<void(const std::string&)> onMonitor;

    Result Check();
    Result Mode();
    Result Verify();
    Result Line();
    Result Exit();

    // Record lines acknowledged so far; never more than the file's record count.
    std::uint32_t Progress() const { return progress_; }
    // Failed attempts of the step under way.
    int Failures() const { return failures_; }

  private:
    // What an exchange came to: reason None when accepted, else the message that says why. A
    // read-through that failed is the question's failure: the text itself never left.
    struct Verdict {
        res::Msg reason = res::Msg::None;
        bool readThroughFailed = false;
        bool unansweredEnd = false; // no copy of the end record got any answer
    };

    // Sends "QEL?" and reads answers up to the identification that answers it; those before it
    // are late ones, kept in lateAnswers. None with the state codes, else the reason.
    res::Msg QueryIdentification(std::vector<std::uint8_t>& stateCodes,
                                 std::vector<std::string>& lateAnswers);
    // Asks for the identification before anything else is sent, while a text may still be
    // answered; a failure is the verdict of the text that waits for it. The late answers read
    // on the way count for an end record still owed one.
    std::optional<Verdict> ReadThrough();
    // Sends a line or command whose answer may hold "OK" and judges the answer. Asks for the
    // identification first when another text may still be answered.
    Verdict Exchange(std::string& text, bool waitUntilSent, int timeoutSeconds, res::Msg refusal,
                     res::Msg writeFailure);
    // The verdict on the end record after one more copy of it was sent, from every answer
    // any copy of it got, late ones included.
    Verdict JudgeEndRecord(const Verdict& copy);

    // A step's result from its verdict: next on success, else another attempt, else the link
    // failure that names primary and subject (or the question, when the read-through failed).
    Result Follow(const Verdict& verdict, Step next, res::Msg primary, const std::string& subject);
    // A failure of the file: nothing more of it may be sent.
    Result FileFailure(const std::string& systemText = std::string()) const;

    ExchangePort& port_;
    sys::TextFile& file_;
    UpgradeFileLines lines_;
    const CUpgradeFile& record_;
    std::int32_t monitorIndex_;
    std::uint32_t progress_ = 0;
    int failures_ = 0;
    std::string currentLine_;  // kept from one attempt to the next
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
};
