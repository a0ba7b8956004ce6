#include "protocol/transmission_sequence.h"

#include "files/record_check.h"
#include "sys/sys.h"
#include "sys/text.h"

#include <algorithm>
#include <cstdio>

using res::Msg;
using Kind = TransmissionSequence::Result::Kind;
using Text = AnswersOwed::Text;
using Answer = AnswersOwed::Answer;

namespace {

// Read-throughs before one text, and answers a read-through takes beyond one a text of its
// stretch: more means the monitor is babbling.
constexpr int maxReadThroughs = 8;
constexpr std::size_t maxExtraAnswers = 8;
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

// What stands before an identification's first digit: an answer without a line end that ran
// into it.
std::string GluedInFront(const std::string& identification) {
    std::string before = identification.substr(0, identification.find_first_of("0123456789"));
    while (!before.empty() && (before.back() == '+' || before.back() == '-'))
        before.pop_back(); // the sign of the first state code
    return IsLeftover(before) ? std::string() : before;
}

} // namespace

TransmissionSequence::TransmissionSequence(ExchangePort& port, sys::TextFile& file,
                                           const CUpgradeFile& record, std::int32_t monitorIndex)
    : port_(port), records_(file, record.analysed), record_(record), monitorIndex_(monitorIndex) {}

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
    if (verdict.reason == Msg::None) {
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
    // The box names the text the operator is watching, even when the question asked to clear
    // its way is what failed.
    res::Failure& f = result.failure;
    f.message = primary;
    f.subject = subject;
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
    bool same = false;
    Result result;
    if (!records_.Check(checkStepBytes, same)) {
        result.next = Step::Check;
        return result;
    }
    if (!same)
        return FileFailure(records_.ErrorCode() != 0 ? sys::SystemErrorText(records_.ErrorCode())
                                                     : std::string());
    result.next = Step::Mode;
    return result;
}

TransmissionSequence::Result TransmissionSequence::Mode() {
    char command[16];
    std::snprintf(command, sizeof command, "MODEQEL%d", static_cast<int>(monitorIndex_));
    // A monitor that answers the command anyway is read through by the verification.
    std::size_t place = 0;
    const bool written = port_.Pace() && Send(command, Text::Mode, Owed::noRecord, false, place);
    return Follow({written ? Msg::None : Msg::CannotSendCommand}, Step::Mode, Step::Verify,
                  Msg::CannotSendCommand, command);
}

// Upgrade mode took, and on the monitor the file was matched with: a file is never written
// into another monitor, as when another instrument was put on the cable since it identified.
TransmissionSequence::Result TransmissionSequence::Verify() {
    Identification identification;
    Verdict verdict =
        port_.Pace() ? ReadThrough(identification, Msg::ModeNotSet) : Verdict{Msg::NoAnswer};
    if (verdict.reason == Msg::None) {
        verifiedMonitors_ = identification.monitors;
        verifiedCodes_ = identification.codes;
        const auto at = static_cast<size_t>(monitorIndex_);
        const bool selected =
            monitorIndex_ >= 0 && at < verifiedCodes_.size() && verifiedCodes_[at] != 0 &&
            (record_.monitorReference.empty() || verifiedMonitors_[at] == record_.monitorReference);
        if (!selected)
            verdict.reason = Msg::ModeNotSet;
    }
    return Follow(verdict, Step::Verify, Step::Line, Msg::CannotSendCommand, identificationCommand);
}

TransmissionSequence::Result TransmissionSequence::Line() {
    if (!current_) {
        FileRecords::Record next;
        switch (records_.Next(next)) {
        case FileRecords::Read::Error:
            return FileFailure(sys::SystemErrorText(records_.ErrorCode()));
        case FileRecords::Read::Changed: return FileFailure();
        case FileRecords::Read::Text: {
            Result skipped;
            skipped.kind = Kind::Skipped;
            return skipped;
        }
        case FileRecords::Read::Record: break;
        }
        current_ = next;
        const auto doubted = attempts_.find(ModelId(next));
        failures_ = doubted != attempts_.end() ? doubted->second : 0;
        if (failures_ >= maxAttempts) {
            failures_ = maxAttempts - 1;
            return Follow({Msg::LineRefused}, Step::Line, Step::Line, Msg::CannotSendLine,
                          next.text);
        }
    }
    const FileRecords::Record line = *current_;
    const bool isEnd = IsEndRecord(sys::UpperCase(line.text));
    if (line.context || line.index < recordsSent_)
        ++counts_.repeats;
    if (!line.context)
        recordsSent_ = std::max(recordsSent_, line.index + 1);
    const std::uint32_t id = ModelId(line);
    const Verdict verdict = Exchange(line.text, Text::Record, id, lineTimeoutSeconds,
                                     Msg::LineRefused, Msg::CannotSendLine);
    if (!verdict.doubted.empty())
        return SendAgainFrom(verdict.doubted);
    // An end record that went out and got no answer is left to the exit command, after the
    // question that shows no answer was on its way: a monitor may say nothing to it. One it
    // refused, or that never left, is tried as any line.
    const bool unansweredEnd = isEnd && verdict.reason == Msg::NoAnswer &&
                               !verdict.readThroughFailed && owed_.EndMayGoUnanswered();
    if (verdict.reason == Msg::None || unansweredEnd) {
        if (verdict.reason == Msg::None && !line.context)
            progress_ = std::min(record_.recordCount, std::max(progress_, line.index + 1));
        owed_.Counted(id);
        current_.reset();
        failures_ = 0;
        Result result;
        result.next = isEnd ? Step::Exit : Step::Line;
        if (unansweredEnd)
            ++counts_.timeouts;
        return result;
    }
    // A retry sends the same line in upper case.
    current_->text = sys::UpperCase(line.text);
    return Follow(verdict, Step::Line, Step::Line, Msg::CannotSendLine, current_->text);
}

TransmissionSequence::Result TransmissionSequence::Exit() {
    const Verdict verdict = Exchange(exitCommand, Text::Exit, Owed::noRecord, exitTimeoutSeconds,
                                     Msg::CommandRefused, Msg::CannotSendCommand);
    if (!verdict.doubted.empty())
        return SendAgainFrom(verdict.doubted);
    Result result = Follow(verdict, Step::Exit, Step::Exit, Msg::CannotSendCommand, exitCommand);
    if (result.kind == Kind::Next)
        result.next.reset(); // upgraded
    return result;
}

TransmissionSequence::Result
TransmissionSequence::SendAgainFrom(const std::vector<Owed::Doubt>& doubted) {
    ++counts_.refusals;
    current_.reset();
    for (const auto& doubt : doubted)
        attempts_[doubt.record] = doubt.attempt + 1;
    const std::uint32_t index = doubted.front().record / 2;
    if (!records_.Again(index))
        return FileFailure(records_.ErrorCode() != 0 ? sys::SystemErrorText(records_.ErrorCode())
                                                     : std::string());
    progress_ = std::min(progress_, index);
    Result result;
    result.kind = Kind::Again;
    result.next = Step::Line;
    failures_ = attempts_[doubted.front().record];
    if (failures_ < maxAttempts)
        return result;
    // Its third refusal: the box names it as it would have gone again.
    failures_ = maxAttempts - 1;
    return Follow({Msg::LineRefused}, Step::Line, Step::Line, Msg::CannotSendLine,
                  records_.Doubted().text);
}

bool TransmissionSequence::Send(const std::string& text, Text kind, std::uint32_t record,
                                bool waitUntilSent, std::size_t& place) {
    const bool isEnd = kind == Text::Record && IsEndRecord(sys::UpperCase(text));
    place = owed_.Sent(kind, record, isEnd, failures_);
    if (port_.WriteLine(text, waitUntilSent) == 0)
        return true;
    // Part of it may have gone: an answer may still come, or none.
    owed_.Silent(place);
    writeFailure_ = port_.WriteFailureText();
    return false;
}

Answer TransmissionSequence::Note(const std::string& answer, std::size_t seenAfter,
                                  Identification* identification) {
    Identification parsed;
    if (ParseMonitorList(sys::UpperCase(answer), &parsed.monitors, &parsed.codes, onMonitor)) {
        const std::string glued = GluedInFront(answer);
        if (!glued.empty())
            owed_.Read(IsAcceptance(glued) ? Answer::Acceptance : Answer::Other, seenAfter);
        if (identification != nullptr)
            *identification = std::move(parsed);
        return Answer::Identification;
    }
    const Answer kind = IsAcceptance(answer) ? Answer::Acceptance : Answer::Other;
    owed_.Read(kind, seenAfter);
    return kind;
}

// An answer cut at its length limit goes on up to its line feed: that rest is no answer.
bool TransmissionSequence::PartOfLastAnswer(const std::string& answer) {
    const bool rest = answerGoesOn_;
    answerGoesOn_ = answer.size() >= ExchangePort::answerMaxChars && answer.back() != '\n';
    return rest || IsLeftover(answer);
}

void TransmissionSequence::ReadPending() {
    for (std::size_t taken = 0; taken < owed_.Texts() + maxExtraAnswers; ++taken) {
        const std::string pending = port_.PendingInput();
        if (IsLeftover(pending)) {
            port_.DropInput(pending.size());
            return;
        }
        // Begun, it is read whole: its end is on its way or a silence away.
        std::string answer;
        if (port_.ReadAnswer(answer, lineTimeoutSeconds) != 0 || PartOfLastAnswer(answer))
            continue;
        // Seen before the next text left: it answers none of what follows.
        if (Note(answer, owed_.Texts()) == Answer::Identification)
            owed_.Read(Answer::Identification, owed_.Texts());
    }
}

TransmissionSequence::Verdict TransmissionSequence::ReadThrough(Identification& identification,
                                                                Msg refusal) {
    std::size_t question = 0;
    if (!Send(identificationCommand, Text::Question, Owed::noRecord, false, question))
        return {Msg::NoAnswer, true};
    bool others = false; // answers that are no identification: the question not understood
    for (std::size_t taken = 0; taken < owed_.Texts() + maxExtraAnswers; ++taken) {
        std::string answer;
        if (port_.ReadAnswer(answer, lineTimeoutSeconds) != 0) {
            owed_.Silent(question);
            return {others ? refusal : Msg::NoAnswer, true};
        }
        if (PartOfLastAnswer(answer))
            continue;
        Identification read;
        if (Note(answer, owed_.Texts(), &read) != Answer::Identification) {
            others = true;
            continue;
        }
        Verdict closed;
        if (owed_.Close(closed.doubted)) {
            identification = std::move(read);
            return closed;
        }
        owed_.Read(Answer::Identification, owed_.Texts()); // a doubled identification
    }
    return {refusal, true};
}

std::optional<TransmissionSequence::Verdict>
TransmissionSequence::ClearTheWayFor(Text kind, std::uint32_t record, Msg refusal) {
    for (int readThroughs = 0; readThroughs <= maxReadThroughs; ++readThroughs) {
        if (!port_.Pace())
            return Verdict{Msg::NoAnswer};
        ReadPending();
        const bool owed = owed_.OwesBesides(kind, record) || owed_.OutOfStep();
        // The exit leaves only once an identification has shown every record's answers in.
        if (!owed && !(kind == Text::Exit && owed_.RecordsOpen()))
            return std::nullopt;
        if (owed)
            ++counts_.readThroughs;
        Identification identification;
        const Verdict verdict = ReadThrough(identification, refusal);
        if (!verdict.doubted.empty() || verdict.reason != Msg::None)
            return verdict;
        // What came during the pause before the question was read; another pause, another
        // look, before the text itself.
    }
    return Verdict{refusal, true};
}

TransmissionSequence::Verdict TransmissionSequence::Exchange(const std::string& text, Text kind,
                                                             std::uint32_t record,
                                                             int timeoutSeconds, Msg refusal,
                                                             Msg writeFailure) {
    if (const auto blocked = ClearTheWayFor(kind, record, refusal))
        return *blocked;
    std::size_t place = 0;
    if (!Send(text, kind, record, kind == Text::Record, place))
        return {writeFailure};
    for (;;) {
        std::string answer;
        if (port_.ReadAnswer(answer, timeoutSeconds) != 0) {
            owed_.Silent(place);
            return {Msg::NoAnswer};
        }
        if (PartOfLastAnswer(answer))
            continue;
        // An identification is never a line's answer.
        const Answer taken = Note(answer, owed_.Texts());
        if (taken == Answer::Identification) {
            owed_.Read(Answer::Identification, owed_.Texts());
            continue;
        }
        return {taken == Answer::Acceptance ? Msg::None : refusal};
    }
}
