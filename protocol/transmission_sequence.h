#pragma once

#include "files/upgrade_file.h"
#include "protocol/answers_owed.h"
#include "protocol/file_records.h"
#include "res/messages.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <map>
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
    // An answer is cut at this many characters.
    static constexpr std::size_t answerMaxChars = 255;
    // True once the user stopped the work inside a wait: nothing more may be sent.
    virtual bool Stopped() = 0;
};

// The upgrade of the instrument with one file, showing nothing: a check that the file is still
// the one analysed, upgrade mode for the file's monitor, a check that it took on that monitor,
// every record line acknowledged, a question that proves the answers in step, then the exit
// command. Each call makes one step (at most one exchange, and the read-through it may need) and
// says what came of it; the caller shows the boxes, serves the interface and calls the next.
//
// This is the one reader of the monitor's answers (AnswersOwed keeps what each text may still
// get). An answer's departures from one answer a text, and what the sequence does:
//
// | departure                       | what the sequence does                                  |
// |---------------------------------|---------------------------------------------------------|
// | lost: a read ends in silence    | the text stays owed and may go unanswered; a record or  |
// |                                 | the exit is sent again, a question asked again          |
// | late: after its text's limit    | taken for the oldest text still owed; while a text other|
// |                                 | than a copy of the next is owed, a question reads it    |
// |                                 | through before the next text leaves                     |
// | garbled: no "OK", no monitors   | a refusal of what it answers (a question's included)    |
// | ended by silence, no line end   | whole: one time limit, nothing more                     |
// | doubled identification         | never a line's answer, and no question is asked for it  |
// | doubled or unasked answer       | no text was owed it: before another text leaves, a      |
// |                                 | question reads through to its identification           |
// | more answers than texts, at an  | every pairing the answers allow is weighed; the first   |
// | identification                  | record counted as accepted that one refuses goes again, |
// |                                 | with every record after it and the address records it   |
// |                                 | needs; that costs it an attempt                         |
// | no pairing at all (out of order)| every record of the stretch goes again                  |
// | end of the file                 | one question after the end record, before the exit: the |
// |                                 | monitor leaves upgrade mode only with answers in step   |
// | answer to the exit command      | the one read decides, identifications skipped           |
class TransmissionSequence {
  public:
    enum class Step { Check, Mode, Verify, Line, Exit };

    static constexpr int maxAttempts = 3;
    static constexpr int lineTimeoutSeconds = 3; // a record line, and a question
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
    using Owed = AnswersOwed;
    // What an exchange came to: reason None when accepted, else the message that says why.
    struct Verdict {
        Verdict(res::Msg why = res::Msg::None, bool questionFailed = false)
            : reason(why), readThroughFailed(questionFailed) {}
        res::Msg reason;
        bool readThroughFailed;           // the question before the text failed: it never left
        std::vector<Owed::Doubt> doubted; // records counted as accepted that go again
    };
    struct Identification {
        fw::CStringArray monitors;
        std::vector<std::uint8_t> codes;
    };

    // Sends "QEL?" (the pause made) and reads up to the identification that closes the stretch,
    // each answer on the way noted for what it may answer. None with that identification (and
    // the doubt it leaves), NoAnswer, or the refusal when only other answers came.
    Verdict ReadThrough(Identification& identification, res::Msg refusal);
    // The answers that have come, or begun to, each read whole, without asking anything.
    void ReadPending();
    // One answer read, seen when seenAfter texts had left, noted for what it may answer. An
    // identification (its monitors to *identification) is not noted: it may close the stretch.
    // An answer without a line end that ran into it is noted first.
    Owed::Answer Note(const std::string& answer, std::size_t seenAfter,
                      Identification* identification = nullptr);
    // True for the rest of an answer cut at its length limit, and for leftovers: no answer.
    bool PartOfLastAnswer(const std::string& answer);
    // The pause, then whatever must be read before a text leaves: answers that came, and, while
    // another text is owed an answer or the answers are not known in step, a read-through.
    std::optional<Verdict> ClearTheWayFor(Owed::Text kind, std::uint32_t record, res::Msg refusal);
    // Sends a record line or the exit command and judges the answer read for it.
    Verdict Exchange(const std::string& text, Owed::Text kind, std::uint32_t record,
                     int timeoutSeconds, res::Msg refusal, res::Msg writeFailure);
    // Notes a text as owed an answer (place: where it stands) and writes it; false when the
    // write failed.
    bool Send(const std::string& text, Owed::Text kind, std::uint32_t record, bool waitUntilSent,
              std::size_t& place);
    // Records counted as accepted were put in doubt: each costs an attempt, and the first goes
    // again with every record after it.
    Result SendAgainFrom(const std::vector<Owed::Doubt>& doubted);
    // A record's place in the model: apart from the address records sent again for it.
    static std::uint32_t ModelId(const FileRecords::Record& record) {
        return record.index * 2 + (record.context ? 0 : 1);
    }

    // A step's result from its verdict: next on success, else another attempt, else the link
    // failure that names primary and subject.
    Result Follow(const Verdict& verdict, Step step, Step next, res::Msg primary,
                  const std::string& subject);
    // A failure of the file: nothing more of it may be sent.
    Result FileFailure(const std::string& systemText = std::string()) const;

    ExchangePort& port_;
    FileRecords records_;
    const CUpgradeFile& record_;
    std::int32_t monitorIndex_;
    std::uint32_t progress_ = 0;
    int failures_ = 0;
    std::optional<FileRecords::Record> current_; // the record being sent, kept between attempts
    std::string writeFailure_;                   // the system's reason of the last failed write
    bool answerGoesOn_ = false; // the last answer stopped at its length limit: the rest follows
    std::map<std::uint32_t, int> attempts_; // failed attempts of records put in doubt, by id
    std::uint32_t recordsSent_ = 0;         // records below this index have been sent before
    fw::CStringArray verifiedMonitors_;
    std::vector<std::uint8_t> verifiedCodes_;
    Counts counts_;
    Owed owed_;
};
