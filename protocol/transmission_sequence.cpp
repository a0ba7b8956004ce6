#include "protocol/transmission_sequence.h"

#include "files/record_check.h"
#include "sys/sys.h"
#include "sys/text.h"

#include <cstdio>

using res::Msg;
using Kind = TransmissionSequence::Result::Kind;

namespace {

// Late answers read through before the identification; more means the monitor is babbling.
constexpr int maxSkippedAnswers = 8;
const std::string identificationCommand = "QEL?";
const std::string exitCommand = "EXITQEL";

// An answer that holds "OK" and not "NACK", in either case.
bool IsAcceptance(const std::string& answer) {
    const std::string upper = sys::UpperCase(answer);
    return upper.find("NACK") == std::string::npos && upper.find("OK") != std::string::npos;
}

// What stands before an identification's first digit: a late answer without a line end that
// ran into it.
std::string GluedInFront(const std::string& identification) {
    std::string before = identification.substr(0, identification.find_first_of("0123456789"));
    while (!before.empty() && (before.back() == '+' || before.back() == '-'))
        before.pop_back(); // the sign of the first state code
    const bool blank = before.find_first_not_of(std::string(" \r\n\0", 4)) == std::string::npos;
    return blank ? std::string() : before;
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

TransmissionSequence::Result TransmissionSequence::Follow(const Verdict& verdict, Step next,
                                                          Msg primary, const std::string& subject) {
    Result result;
    if (verdict.reason == Msg::None || verdict.unansweredEnd) {
        failures_ = 0;
        result.next = next;
        return result;
    }
    if (++failures_ < maxAttempts) {
        result.kind = Kind::Again;
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
    std::string text = command;
    const bool written = port_.SendLine(text, false) == 0;
    // A monitor that answers the command anyway is read through by the verification.
    owedText_ = text;
    if (!written)
        writeFailure_ = port_.WriteFailureText();
    return Follow({written ? Msg::None : Msg::CannotSendCommand}, Step::Verify,
                  Msg::CannotSendCommand, text);
}

TransmissionSequence::Result TransmissionSequence::Verify() {
    std::vector<std::uint8_t> codes;
    std::vector<std::string> late;
    Msg reason = QueryIdentification(codes, late);
    if (reason == Msg::None) {
        owedText_.reset(); // everything sent before the question has been answered
        const bool selected = monitorIndex_ >= 0 &&
                              static_cast<size_t>(monitorIndex_) < codes.size() &&
                              codes[static_cast<size_t>(monitorIndex_)] != 0;
        if (!selected)
            reason = Msg::ModeNotSet;
    }
    return Follow({reason}, Step::Line, Msg::CannotSendCommand, identificationCommand);
}

TransmissionSequence::Result TransmissionSequence::Line() {
    if (failures_ == 0) {
        const auto read = lines_.Next(currentLine_);
        if (read == UpgradeFileLines::Read::Error)
            return FileFailure(sys::SystemErrorText(file_.ErrorCode()));
        if (read != UpgradeFileLines::Read::Line)
            return FileFailure(); // the end of the file before its end record
        // The end record leaves only once the whole text has proved to be the one analysed: a
        // file changed while it was being sent is not reported as sent.
        if (lines_.Length() >= record_.analysed.length) {
            const AnalysedText sent = lines_.Seal();
            if (sent.length != record_.analysed.length || sent.digest != record_.analysed.digest)
                return FileFailure();
        }
        if (!IsRecordLine(currentLine_)) {
            Result skipped;
            skipped.kind = Kind::Skipped;
            return skipped;
        }
    }
    Verdict verdict =
        Exchange(currentLine_, true, lineTimeoutSeconds, Msg::LineRefused, Msg::CannotSendLine);
    const bool isEnd = IsEndRecord(sys::UpperCase(currentLine_));
    if (isEnd)
        verdict = JudgeEndRecord(verdict);
    if (verdict.reason == Msg::None && progress_ < record_.recordCount)
        ++progress_;
    // A retry sends the same line in upper case.
    currentLine_ = sys::UpperCase(currentLine_);
    // An end record that went out and got no answer, even late, is left to the exit command:
    // a monitor may say nothing to it. One it refused, or that never left, is tried as any
    // line.
    return Follow(verdict, isEnd ? Step::Exit : Step::Line, Msg::CannotSendLine, currentLine_);
}

TransmissionSequence::Result TransmissionSequence::Exit() {
    std::string command = exitCommand;
    const Verdict verdict =
        Exchange(command, false, exitTimeoutSeconds, Msg::CommandRefused, Msg::CannotSendCommand);
    Result result = Follow(verdict, Step::Exit, Msg::CannotSendCommand, exitCommand);
    if (result.kind == Kind::Next)
        result.next.reset(); // upgraded
    return result;
}

Msg TransmissionSequence::QueryIdentification(std::vector<std::uint8_t>& stateCodes,
                                              std::vector<std::string>& lateAnswers) {
    std::string command = identificationCommand;
    if (port_.SendLine(command, false) != 0) {
        writeFailure_ = port_.WriteFailureText();
        return Msg::CannotSendCommand;
    }
    ++unansweredQuestions_;
    // The monitor answers in order: each identification answers the oldest question still
    // unanswered, and whatever comes before the last one answers what was sent before it.
    int otherAnswers = 0;
    while (otherAnswers <= maxSkippedAnswers) {
        std::string answer;
        if (port_.ReadAnswer(answer, lineTimeoutSeconds) != 0)
            return otherAnswers > 0 ? Msg::ModeNotSet : Msg::NoAnswer;
        fw::CStringArray monitors;
        if (!ParseMonitorList(sys::UpperCase(answer), &monitors, &stateCodes, onMonitor)) {
            ++otherAnswers;
            lateAnswers.push_back(answer);
            continue;
        }
        const std::string glued = GluedInFront(answer);
        if (!glued.empty())
            lateAnswers.push_back(glued);
        if (--unansweredQuestions_ == 0)
            return Msg::None;
    }
    return Msg::ModeNotSet;
}

std::optional<TransmissionSequence::Verdict> TransmissionSequence::ReadThrough() {
    owedText_ = identificationCommand; // until the identification comes
    std::vector<std::uint8_t> codes;
    std::vector<std::string> late;
    const Msg reason = QueryIdentification(codes, late);
    if (end_.owed) {
        for (const auto& answer : late) {
            end_.answered = true;
            end_.accepted = end_.accepted || IsAcceptance(answer);
        }
    }
    if (reason != Msg::None) // answers that are no identification: the question not understood
        return Verdict{reason == Msg::ModeNotSet ? Msg::CommandRefused : reason, true};
    owedText_.reset();
    end_.owed = false; // everything sent before the question has been answered
    return std::nullopt;
}

TransmissionSequence::Verdict TransmissionSequence::Exchange(std::string& text, bool waitUntilSent,
                                                             int timeoutSeconds, Msg refusal,
                                                             Msg writeFailure) {
    const std::string key = sys::UpperCase(text.substr(0, text.find_first_of("\r\n")));
    // Answers owed to another text, or ones nobody asked for: only the identification shows
    // where they end. Copies of one text may take each other's answers.
    if ((owedText_ && *owedText_ != key) || (!owedText_ && port_.InputPending())) {
        if (const auto failed = ReadThrough())
            return *failed;
    }
    if (port_.SendLine(text, waitUntilSent) != 0) {
        writeFailure_ = port_.WriteFailureText();
        owedText_ = key; // part of it may have gone, and be answered
        return {writeFailure};
    }
    std::string answer;
    if (port_.ReadAnswer(answer, timeoutSeconds) != 0) {
        owedText_ = key;
        return {Msg::NoAnswer};
    }
    const std::string upper = sys::UpperCase(answer);
    const bool verdict =
        upper.find("NACK") != std::string::npos || upper.find("OK") != std::string::npos;
    // Only a whole acknowledgement leaves nothing owed: an answer ended by silence or by its
    // length limit may go on, and one that is no acknowledgement may be followed by the real one.
    if (answer.empty() || answer.back() != '\n' || !verdict)
        owedText_ = key;
    return {IsAcceptance(answer) ? Msg::None : refusal};
}

TransmissionSequence::Verdict TransmissionSequence::JudgeEndRecord(const Verdict& copy) {
    if (copy.readThroughFailed)
        return copy; // this copy never left
    end_.owed = end_.owed || owedText_.has_value();
    if (copy.reason == Msg::None || copy.reason == Msg::LineRefused)
        end_.answered = true;
    end_.accepted = end_.accepted || copy.reason == Msg::None;
    Verdict verdict = copy;
    // Its answer may still come: the identification asked now comes after it, as it would
    // before the exit command anyway.
    if (copy.reason == Msg::NoAnswer && !end_.accepted) {
        if (const auto failed = ReadThrough())
            verdict = *failed;
        else if (!end_.answered)
            verdict.unansweredEnd = true;
    }
    return end_.accepted ? Verdict{} : verdict;
}
