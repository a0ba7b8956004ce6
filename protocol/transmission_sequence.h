#pragma once

#include "files/upgrade_file.h"
#include "files/upgrade_lines.h"
#include "res/messages.h"

#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <utility>
#include <optional>
#include <string>
#include <vector>

// The serial link as the transmission uses it: operations that move bytes and never judge or
// drop them (the program's link; the same link on a scripted port in the tests).
class ExchangePort {
  public:
    virtual ~ExchangePort() = default;
    // The pause of a few character times before a write; false when the work was stopped.
    virtual bool Pace() = 0;
    // text (which holds no line end) and one LF, without a pause: 0 when handed to the port
    // and, with waitUntilSent, gone from it; -1 when not.
    virtual int WriteLine(const std::string& text, bool waitUntilSent) = 0;
    // The system's reason of the last write that failed.
    virtual std::string WriteFailureText() = 0;
    // 0 when an answer (maybe partial) was read, its first byte within timeoutSeconds; another
    // value when nothing came.
    virtual int ReadAnswer(std::string& answer, int timeoutSeconds) = 0;
    // What has arrived and no answer has taken, without waiting.
    virtual std::string PendingInput() = 0;
    // Forgets the first count bytes of the pending input.
    virtual void DropInput(std::size_t count) = 0;
    // True once the user stopped the work inside a wait: nothing more may be sent.
    virtual bool Stopped() = 0;
};

// The upgrade of the instrument with one file, showing nothing: a check that the file is still
// the one analysed, upgrade mode for the file's monitor, a check that it took on that monitor,
// every record line acknowledged, then the exit command. Each call makes one step (at most one
// exchange, and the read-through it may need) and says what came of it; the caller shows the
// boxes, serves the interface and calls the step that follows.
//
// This is the one reader of the monitor's answers. They carry no reference to what they answer,
// but come in order, each text answered once at most: an identification answers a "QEL?",
// anything else the oldest text still owed an answer. Before a text other than the one still
// owed leaves, the sequence asks "QEL?" and reads through to the identification, which the
// monitor sends after everything it owed before; every answer on the way is judged for the
// text it answers. So a line counts as accepted only when the last answer it got before the
// next text left is an acceptance, and a late answer is never taken for another text's.
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
            Again,   // it failed, attempts are left: the line step, or the same step, again
            Skipped, // a line that is no record: nothing was sent; the line step again
            Failed,  // the step cannot go on: `failure` says why, `retry` whether OK in its
                     // box may start the run again (a link failure) or not (the file)
            Stopped, // the user stopped the work during a wait: nothing more is sent
        } kind = Kind::Next;
        std::optional<Step> next;
        res::Failure failure;
        bool retry = false;
    };

    // file: its name, record count, analysed text and the monitor it was matched with; lines
    // reads the open file.
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
    // What the transfer took, for the journal that traces a unit.
    struct Counts {
        unsigned refusals = 0;     // answers that refused a line or command, late ones too
        unsigned timeouts = 0;     // texts and questions left without an answer in time
        unsigned repeats = 0;      // record lines sent again
        unsigned readThroughs = 0; // questions asked to read answers through
    };
    const Counts& GetCounts() const { return counts_; }
    // The monitors and state codes of the last verification answer, in answer order.
    const fw::CStringArray& VerifiedMonitors() const { return verifiedMonitors_; }
    const std::vector<std::uint8_t>& VerifiedStateCodes() const { return verifiedCodes_; }

  private:
    // What an exchange came to: reason None when accepted, else the message that says why.
    struct Verdict {
        res::Msg reason = res::Msg::None;
        bool readThroughFailed = false; // the question before the text failed: it never left
        bool unansweredEnd = false;     // no copy of the end record got any answer
        bool earlierRefused = false;    // the line accepted last was refused since
    };
    // A text sent whose answer may still come. A question is answered by an identification;
    // any other text by anything else, or by nothing (the upgrade-mode command).
    struct Sent {
        bool question;
        std::string text;     // in upper case: copies of a line may differ in case
        std::uint64_t serial; // the how-many-th text sent
    };
    // What an answer read was taken for.
    enum class Taken { Identification, TextAnswer, Unasked };
    struct Identification {
        fw::CStringArray monitors;
        std::vector<std::uint8_t> codes;
    };
    // Answers read through, each with the text it answers.
    using LateAnswers = std::vector<std::pair<std::string, std::string>>;

    // Sends "QEL?" (the pause before it made) and reads up to the identification that answers
    // it and everything owed before it; the answers on the way go to late. None with that
    // identification, else the reason.
    res::Msg AskIdentification(Identification& identification, LateAnswers* late = nullptr);
    // Takes an answer for what it answers (answered: the text, for a text's answer) and
    // forgets whatever can no longer be answered.
    Taken Attribute(const std::string& answer, std::string* answered = nullptr,
                    Identification* identification = nullptr, LateAnswers* late = nullptr);
    // The answers read through, for the texts they answer: the line accepted last is refused
    // by a refusal, the end record answered by any answer.
    void NoteLateAnswers(const LateAnswers& late);
    // The pause, then whatever must be read before text leaves: line ends dropped, answers
    // still owed to another text or input nobody asked for read through, the line accepted
    // last judged by them. Nothing when text may leave now.
    std::optional<Verdict> ClearTheWayFor(const std::string& text);
    // Sends a line or command whose answer may hold "OK" and judges the answer.
    Verdict Exchange(const std::string& text, bool waitUntilSent, int timeoutSeconds,
                     res::Msg refusal, res::Msg writeFailure);
    // The verdict on an end record that got no answer: it may be left to the exit command.
    Verdict JudgeUnansweredEnd(const Verdict& copy);
    // Writes a text and notes it as owed an answer (a failed write may have let part of it go).
    bool Send(const std::string& text, bool question, bool waitUntilSent);
    // The line accepted last was refused before the next text left: it goes again, and the
    // line read after it (putBack) waits its turn.
    Result SendAcceptedLineAgain(const std::optional<std::string>& putBack);

    // A step's result from its verdict: next on success, else another attempt, else the link
    // failure that names primary and subject (or the question, when the read-through failed).
    Result Follow(const Verdict& verdict, Step step, Step next, res::Msg primary,
                  const std::string& subject);
    // A failure of the file: nothing more of it may be sent.
    Result FileFailure(const std::string& systemText = std::string()) const;

    ExchangePort& port_;
    sys::TextFile& file_;
    UpgradeFileLines lines_;
    const CUpgradeFile& record_;
    std::int32_t monitorIndex_;
    std::uint32_t progress_ = 0;
    int failures_ = 0;
    std::string currentLine_;  // the line sent, without its line end; kept between attempts
    std::string writeFailure_; // the system's reason of the last failed write
    fw::CStringArray verifiedMonitors_;
    std::vector<std::uint8_t> verifiedCodes_;

    Counts counts_;
    std::string lastWritten_; // the last text other than a question that was written
    std::deque<Sent> owed_;   // oldest first
    std::uint64_t sentCount_ = 0;
    // Identifications that may still come for questions taken as answered: each comes before
    // the answer to anything sent after them, and is no answer to it.
    int strayIdentifications_ = 0;
    // The record line accepted last, until the next text leaves.
    struct Accepted {
        std::string line; // in upper case
        int failures = 0; // its failed attempts before the acceptance
        bool refused = false;
    };
    std::optional<Accepted> accepted_;
    bool countedAcceptance_ = false; // its acceptance moved the progress
    std::optional<std::string> putBack_; // a line read, waiting while the one before goes again
    bool endAnswered_ = false;           // some copy of the end record got an answer
};
