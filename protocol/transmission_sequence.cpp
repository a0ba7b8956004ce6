#include "protocol/transmission_sequence.h"

#include "files/record_check.h"
#include "sys/sys.h"
#include "sys/text.h"

#include <algorithm>
#include <cstdio>

using res::Msg;
using Kind = TransmissionSequence::Result::Kind;

namespace {

// Answers read through before the identification, and read-throughs before one text; more
// means the monitor is babbling.
constexpr int maxSkippedAnswers = 8;
const std::string identificationCommand = "QEL?";
const std::string exitCommand = "EXITQEL";
// What stands after an answer's line feed and answers nothing: the CR of a monitor that ends
// its answers with LF CR, blanks, zeros.
const std::string leftovers("\r\n \0", 4);

bool IsLeftover(const std::string& text) {
    return text.find_first_not_of(leftovers) == std::string::npos;
}

// An answer that holds "OK" and not "NACK", in either case.
bool IsAcceptance(const std::string& answer) {
    const std::string upper = sys::UpperCase(answer);
    return upper.find("NACK") == std::string::npos && upper.find("OK") != std::string::npos;
}

// An acknowledgement that came whole: nothing more of it is on its way. One ended by silence or
// by its length limit may go on, and one that is no acknowledgement may be followed by the real
// one.
bool IsWholeAcknowledgement(const std::string& answer) {
    const std::string upper = sys::UpperCase(answer);
    return !answer.empty() && answer.back() == '\n' &&
           (upper.find("NACK") != std::string::npos || upper.find("OK") != std::string::npos);
}

// What stands before an identification's first digit: a late answer without a line end that
// ran into it.
std::string GluedInFront(const std::string& identification) {
    std::string before = identification.substr(0, identification.find_first_of("0123456789"));
    while (!before.empty() && (before.back() == '+' || before.back() == '-'))
        before.pop_back(); // the sign of the first state code
    return IsLeftover(before) ? std::string() : before;
}

// A file's line as it goes on the wire: without its line end.
std::string WithoutLineEnd(std::string line) {
    line.resize(std::min(line.size(), line.find_first_of("\r\n")));
    return line;
}

} // namespace

TransmissionSequence::TransmissionSequence(ExchangePort& port, sys::TextFile& file,
                                           const CUpgradeFile& record, std::int32_t monitorIndex)
    : port_(port), file_(file), lines_(file), record_(record), monitorIndex_(monitorIndex) {}

TransmissionSequence::Result
TransmissionSequence::FileFailure(const std::string& systemText) const {
    Result result;
    result.kind = Kind::Failed;
    result.failure = {Msg::FileWrong, record_.fileName, Msg::None, systemText};
    return result;
}

TransmissionSequence::Result TransmissionSequence::Follow(const Verdict& verdict, Step step,
                                                          Step next, Msg primary,
                                                          const std::string& subject) {
    Result result;
    if (port_.Stopped()) {
        result.kind = Kind::Stopped;
        return result;
    }
    switch (verdict.reason) {
    case Msg::NoAnswer: ++counts_.timeouts; break;
    case Msg::LineRefused:
    case Msg::CommandRefused:
    case Msg::ModeNotSet: ++counts_.refusals; break;
    default: break;
    }
    if (verdict.reason == Msg::None || verdict.unansweredEnd) {
        failures_ = 0;
        result.next = next;
        return result;
    }
    if (++failures_ < maxAttempts) {
        result.kind = Kind::Again;
        result.next = step;
        return result;
    }
    failures_ = 0;
    result.kind = Kind::Failed;
    result.retry = true;
    // The box names what failed: the text, or the question asked before it when that went
    // unanswered, for the text then never left.
    res::Failure& f = result.failure;
    f.message = verdict.readThroughFailed ? Msg::CannotSendCommand : primary;
    f.subject = verdict.readThroughFailed ? identificationCommand : subject;
    // A failed write gives the system's reason; any other reason its catalogue text.
    if (verdict.reason == f.message)
        f.systemText = writeFailure_;
    else
        f.reason = verdict.reason;
    f.ending = res::Ending::LinkCheck;
    f.style = MB_OKCANCEL | MB_ICONEXCLAMATION;
    return result;
}

// Nothing of the file goes out before its text up to the end record has been read again and
// found to be what the analysis read: a file replaced since would otherwise be sent unchecked.
TransmissionSequence::Result TransmissionSequence::Check() {
    const AnalysedText& analysed = record_.analysed;
    std::string piece;
    const std::uint64_t stepEnd = lines_.Length() + checkStepBytes;
    while (lines_.Length() < analysed.length && lines_.Length() < stepEnd) {
        const auto read = lines_.Next(piece);
        if (read == UpgradeFileLines::Read::Error)
            return FileFailure(sys::SystemErrorText(file_.ErrorCode()));
        if (read == UpgradeFileLines::Read::End)
            break;
    }
    Result result;
    if (lines_.Length() < analysed.length && lines_.Length() >= stepEnd) {
        result.next = Step::Check;
        return result;
    }
    const AnalysedText read = lines_.Seal();
    const bool same = !analysed.digest.empty() && read.length == analysed.length &&
                      read.digest == analysed.digest;
    if (!same || !lines_.Rewind())
        return FileFailure();
    result.next = Step::Mode;
    return result;
}

TransmissionSequence::Result TransmissionSequence::Mode() {
    char command[16];
    std::snprintf(command, sizeof command, "MODEQEL%d", static_cast<int>(monitorIndex_));
    // A monitor that answers the command anyway is read through by the verification.
    const bool written = port_.Pace() && Send(command, false, false);
    return Follow({written ? Msg::None : Msg::CannotSendCommand}, Step::Mode, Step::Verify,
                  Msg::CannotSendCommand, command);
}

// Upgrade mode took, and on the monitor the file was matched with: a file is never written
// into another monitor, as when another instrument was put on the cable since it identified.
TransmissionSequence::Result TransmissionSequence::Verify() {
    Identification identification;
    Msg reason = port_.Pace() ? AskIdentification(identification) : Msg::NoAnswer;
    if (reason == Msg::None) {
        verifiedMonitors_ = identification.monitors;
        verifiedCodes_ = identification.codes;
        const auto& monitors = verifiedMonitors_;
        const auto& codes = verifiedCodes_;
        const auto at = static_cast<size_t>(monitorIndex_);
        const bool selected = monitorIndex_ >= 0 && at < codes.size() && codes[at] != 0 &&
                              (record_.monitorReference.empty() ||
                               monitors[at] == record_.monitorReference);
        if (!selected)
            reason = Msg::ModeNotSet;
    }
    return Follow({reason}, Step::Verify, Step::Line, Msg::CannotSendCommand,
                  identificationCommand);
}

TransmissionSequence::Result TransmissionSequence::Line() {
    if (failures_ == 0) {
        if (putBack_) {
            currentLine_ = *putBack_;
            putBack_.reset();
        } else {
            std::string line;
            const auto read = lines_.Next(line);
            if (read == UpgradeFileLines::Read::Error)
                return FileFailure(sys::SystemErrorText(file_.ErrorCode()));
            if (read != UpgradeFileLines::Read::Line)
                return FileFailure(); // the end of the file before its end record
            // The end record leaves only once the whole text has proved to be the one
            // analysed: a file changed while it was being sent is not reported as sent.
            if (lines_.Length() >= record_.analysed.length) {
                const AnalysedText sent = lines_.Seal();
                if (sent.length != record_.analysed.length ||
                    sent.digest != record_.analysed.digest)
                    return FileFailure();
            }
            if (!IsRecordLine(line)) {
                Result skipped;
                skipped.kind = Kind::Skipped;
                return skipped;
            }
            currentLine_ = WithoutLineEnd(line);
        }
    }
    Verdict verdict =
        Exchange(currentLine_, true, lineTimeoutSeconds, Msg::LineRefused, Msg::CannotSendLine);
    if (verdict.earlierRefused)
        return SendAcceptedLineAgain(currentLine_);
    const bool isEnd = IsEndRecord(sys::UpperCase(currentLine_));
    if (isEnd) {
        if (verdict.reason == Msg::None || verdict.reason == Msg::LineRefused)
            endAnswered_ = true;
        if (verdict.reason == Msg::NoAnswer && !verdict.readThroughFailed)
            verdict = JudgeUnansweredEnd(verdict);
    }
    if (verdict.reason == Msg::None) {
        const bool counted = progress_ < record_.recordCount;
        if (counted)
            ++progress_;
        accepted_ = Accepted{sys::UpperCase(currentLine_), failures_, false};
        countedAcceptance_ = counted;
    }
    // A retry sends the same line in upper case.
    currentLine_ = sys::UpperCase(currentLine_);
    // An end record that went out and got no answer, even late, is left to the exit command:
    // a monitor may say nothing to it. One it refused, or that never left, is tried as any
    // line.
    return Follow(verdict, Step::Line, isEnd ? Step::Exit : Step::Line, Msg::CannotSendLine,
                  currentLine_);
}

TransmissionSequence::Result TransmissionSequence::Exit() {
    const Verdict verdict =
        Exchange(exitCommand, false, exitTimeoutSeconds, Msg::CommandRefused,
                 Msg::CannotSendCommand);
    if (verdict.earlierRefused)
        return SendAcceptedLineAgain(std::nullopt);
    Result result = Follow(verdict, Step::Exit, Step::Exit, Msg::CannotSendCommand, exitCommand);
    if (result.kind == Kind::Next)
        result.next.reset(); // upgraded
    return result;
}

TransmissionSequence::Result
TransmissionSequence::SendAcceptedLineAgain(const std::optional<std::string>& putBack) {
    putBack_ = putBack;
    if (countedAcceptance_)
        --progress_;
    countedAcceptance_ = false;
    currentLine_ = accepted_->line;
    failures_ = accepted_->failures;
    accepted_.reset();
    return Follow({Msg::LineRefused}, Step::Line, Step::Line, Msg::CannotSendLine, currentLine_);
}

bool TransmissionSequence::Send(const std::string& text, bool question, bool waitUntilSent) {
    // Copies of a line may differ in case (a retry goes in upper case): one key for them all.
    const std::string key = sys::UpperCase(text);
    // The text accepted last is settled once another one leaves.
    if (accepted_ && !question && key != accepted_->line)
        accepted_.reset();
    owed_.push_back({question, key, ++sentCount_});
    if (!question) {
        if (key == lastWritten_ && IsRecordLine(key))
            ++counts_.repeats;
        lastWritten_ = key;
    }
    if (port_.WriteLine(text, waitUntilSent) == 0)
        return true;
    writeFailure_ = port_.WriteFailureText();
    return false;
}

TransmissionSequence::Taken TransmissionSequence::Attribute(const std::string& answer,
                                                            std::string* answered,
                                                            Identification* identification,
                                                            LateAnswers* late) {
    Identification parsed;
    const auto isQuestion = [](const Sent& s) { return s.question; };
    const auto question = std::find_if(owed_.begin(), owed_.end(), isQuestion);
    if ((strayIdentifications_ > 0 || question != owed_.end()) &&
        ParseMonitorList(sys::UpperCase(answer), &parsed.monitors, &parsed.codes, onMonitor)) {
        const std::string glued = GluedInFront(answer);
        std::string gluedTo;
        if (!glued.empty() && Attribute(glued, &gluedTo) == Taken::TextAnswer && late != nullptr)
            late->push_back({gluedTo, glued});
        if (strayIdentifications_ > 0) {
            --strayIdentifications_;
            return Taken::Identification;
        }
        // It answers the oldest question owed, or one asked right after it with nothing
        // between: which one is unknown, but then nothing else was answered between them,
        // and the others' identifications may still come first.
        const auto first = std::find_if(owed_.begin(), owed_.end(), isQuestion);
        auto last = first;
        while (std::next(last) != owed_.end() && std::next(last)->question)
            ++last;
        strayIdentifications_ += static_cast<int>(std::distance(first, last));
        owed_.erase(owed_.begin(), std::next(last));
        if (identification != nullptr)
            *identification = std::move(parsed);
        return Taken::Identification;
    }
    const auto text = std::find_if(owed_.begin(), owed_.end(), [](const Sent& s) {
        return !s.question;
    });
    if (text == owed_.end())
        return Taken::Unasked;
    // Whatever was owed before it will not be answered now, strays included.
    strayIdentifications_ = 0;
    owed_.erase(owed_.begin(), text);
    if (answered != nullptr)
        *answered = owed_.front().text;
    if (IsWholeAcknowledgement(answer))
        owed_.pop_front();
    return Taken::TextAnswer;
}

Msg TransmissionSequence::AskIdentification(Identification& identification,
                                            LateAnswers* late) {
    if (!Send(identificationCommand, true, false))
        return Msg::CannotSendCommand;
    const std::uint64_t question = sentCount_;
    const auto answered = [&] { return owed_.empty() || owed_.front().serial > question; };
    int others = 0;
    bool any = false; // answers that are no identification: the question not understood
    while (others <= maxSkippedAnswers) {
        std::string answer;
        if (port_.ReadAnswer(answer, lineTimeoutSeconds) != 0)
            return any ? Msg::ModeNotSet : Msg::NoAnswer;
        ++others;
        if (IsLeftover(answer))
            continue;
        std::string text;
        Identification read;
        switch (Attribute(answer, &text, &read, late)) {
        case Taken::Identification:
            --others;
            if (answered()) {
                identification = std::move(read);
                return Msg::None;
            }
            break;
        case Taken::TextAnswer:
            if (late != nullptr)
                late->push_back({text, answer});
            any = true;
            break;
        case Taken::Unasked: any = true; break;
        }
    }
    return Msg::ModeNotSet;
}

void TransmissionSequence::NoteLateAnswers(const LateAnswers& late) {
    for (const auto& [answeredText, answer] : late) {
        if (accepted_ && answeredText == accepted_->line)
            accepted_->refused = !IsAcceptance(answer);
        // Answered at all, the end record is no longer one the exit command may follow in
        // silence.
        if (IsEndRecord(answeredText))
            endAnswered_ = true;
    }
}

std::optional<TransmissionSequence::Verdict>
TransmissionSequence::ClearTheWayFor(const std::string& text) {
    const auto refusedSince = [this] { return accepted_ && accepted_->refused; };
    for (int readThroughs = 0; readThroughs <= maxSkippedAnswers; ++readThroughs) {
        if (!port_.Pace())
            return Verdict{Msg::NoAnswer};
        const std::string pending = port_.PendingInput();
        const bool leftover = IsLeftover(pending);
        if (leftover)
            port_.DropInput(pending.size());
        const std::string key = sys::UpperCase(text);
        const auto owedTo = [&](bool same) {
            return std::any_of(owed_.begin(), owed_.end(), [&](const Sent& s) {
                return !s.question && (s.text == key) == same;
            });
        };
        // Input while a copy of this text is owed is that copy's answer: copies of one text
        // may take each other's. Any other input, or an answer owed to another text, must be
        // read to its end before this text leaves, or it would be taken for this text's.
        if (!owedTo(false) && (leftover || owedTo(true)))
            return std::nullopt;
        // The question goes out in the pause just made.
        Identification identification;
        LateAnswers late;
        ++counts_.readThroughs;
        const Msg reason = AskIdentification(identification, &late);
        NoteLateAnswers(late);
        // A refusal read on the way counts even when the identification did not come.
        if (refusedSince()) {
            Verdict refused{Msg::LineRefused};
            refused.earlierRefused = true;
            return refused;
        }
        if (reason != Msg::None)
            return Verdict{reason == Msg::ModeNotSet ? Msg::CommandRefused : reason, true};
        // What came during the pause before the question was read; another pause, another
        // look, before the text itself.
    }
    return Verdict{Msg::CommandRefused, true};
}

TransmissionSequence::Verdict TransmissionSequence::Exchange(const std::string& text,
                                                             bool waitUntilSent,
                                                             int timeoutSeconds, Msg refusal,
                                                             Msg writeFailure) {
    if (const auto blocked = ClearTheWayFor(text))
        return *blocked;
    if (!Send(text, false, waitUntilSent))
        return {writeFailure};
    for (;;) {
        std::string answer;
        if (port_.ReadAnswer(answer, timeoutSeconds) != 0)
            return {Msg::NoAnswer};
        // An identification still owed to a question is no answer to this text.
        if (Attribute(answer) != Taken::Identification)
            return {IsAcceptance(answer) ? Msg::None : refusal};
    }
}

TransmissionSequence::Verdict TransmissionSequence::JudgeUnansweredEnd(const Verdict& copy) {
    // Once the end record has been answered at all, silence no longer leaves it to the exit.
    if (endAnswered_)
        return copy;
    // Its answer may still come: the identification asked now comes after it, as it would
    // before the exit command anyway.
    if (!port_.Pace())
        return copy;
    Identification identification;
    LateAnswers late;
    ++counts_.readThroughs;
    const Msg reason = AskIdentification(identification, &late);
    NoteLateAnswers(late);
    std::optional<bool> accepted;
    for (const auto& [answeredText, answer] : late)
        if (answeredText == sys::UpperCase(currentLine_))
            accepted = IsAcceptance(answer);
    // Its own answer decides, even when the identification did not come.
    if (accepted)
        return Verdict{*accepted ? Msg::None : Msg::LineRefused};
    if (reason != Msg::None)
        return Verdict{reason == Msg::ModeNotSet ? Msg::CommandRefused : reason, true};
    Verdict verdict = copy;
    verdict.unansweredEnd = true;
    return verdict;
}
