#include "protocol/transmission_dlg.h"

#include "app/upgrade_app.h"
#include "files/record_check.h"
#include "sys/text.h"

#include <cstdio>
#include <cstring>

namespace {
constexpr int msgCannotOpen = 5;
constexpr int msgFileWrong = 7;
constexpr int msgNoAnswer = 15;
constexpr int msgTransmitting = 37;
constexpr int msgInProgress = 39;
constexpr int msgLineRefused = 43;
constexpr int msgCannotSendLine = 45;
constexpr int msgCommandRefused = 49;
constexpr int msgCannotSendCommand = 51;
constexpr int msgModeNotSet = 53;
constexpr int msgStopQuestion = 69;
constexpr int lineTimeoutSeconds = 3;
constexpr int exitTimeoutSeconds = 1;
// Late answers read through before the identification; more means the monitor is babbling.
constexpr int maxSkippedAnswers = 8;
const std::string identificationCommand = "QEL?";

// An answer that holds "OK" and not "NACK", in either case.
bool IsAcceptance(const std::string& answer) {
    const std::string upper = sys::UpperCase(answer);
    return upper.find("NACK") == std::string::npos && upper.find("OK") != std::string::npos;
}
} // namespace

CTransmissionDlg::CTransmissionDlg(std::int32_t monitorIndex, CUpgradeFile& file, fw::CWnd* parent)
    : CProgressDlg(App().language == 0 ? IDD_FRENCH : IDD_ENGLISH, parent, WM_TRANSMIT_FAILED,
                   msgStopQuestion),
      monitorIndex_(monitorIndex), file_(file) {}

BOOL CTransmissionDlg::OnInitDialog() {
    CUpgradeApp& app = App();
    SetUpperText(app.Message(msgTransmitting, file_.fileName));
    SetLowerText(app.Message(msgInProgress));
    CProgressDlg::OnInitDialog();
    CenterWindow();
    gauge.Attach(IDC_GAUGE, this, file_.recordCount, RGB(0, 0, 255), RGB(255, 255, 255));
    app.link->DiscardInput();

    stream = std::make_unique<sys::TextFile>();
    if (!stream->Open(file_.fileName)) {
        const std::string reason = std::strerror(stream->ErrorCode());
        stream.reset();
        app.journal.NoteFailure(app.Shown(msgCannotOpen), 0, reason);
        PostFailure(app.Message(msgCannotOpen, file_.fileName) + "\n" + reason);
        return TRUE;
    }
    lines_.emplace(*stream);
    PostMessage(WM_TRANSMIT_CHECK);
    return TRUE;
}

LRESULT CTransmissionDlg::WindowProc(UINT message, WPARAM wParam, LPARAM lParam) {
    const int failures = static_cast<int>(wParam);
    switch (message) {
    case WM_TRANSMIT_CHECK: OnCheckStep(); return 0;
    case WM_TRANSMIT_MODE: OnModeStep(failures); return 0;
    case WM_TRANSMIT_VERIFY: OnVerifyStep(failures); return 0;
    case WM_TRANSMIT_LINE: OnLineStep(failures); return 0;
    case WM_TRANSMIT_EXIT: OnExitStep(failures); return 0;
    case WM_TRANSMIT_RETRY: End(IDRETRY); return 0;
    default: return CProgressDlg::WindowProc(message, wParam, lParam);
    }
}

bool CTransmissionDlg::PumpOrFail() {
    if (PumpMessages())
        return true;
    PostMessage(WM_TRANSMIT_FAILED);
    return false;
}

void CTransmissionDlg::FailChanged() {
    App().journal.NoteFailure(App().Shown(msgFileWrong));
    PostFailure(App().Message(msgFileWrong, file_.fileName));
}

void CTransmissionDlg::FailUnreadable() {
    const std::string reason = std::strerror(stream->ErrorCode());
    App().journal.NoteFailure(App().Shown(msgFileWrong), 0, reason);
    PostFailure(App().Message(msgFileWrong, file_.fileName) + "\n" + reason);
}

// Nothing of the file goes out before its text up to the end record has been read again and
// found to be what the analysis read: a file replaced since would otherwise be sent unchecked.
void CTransmissionDlg::OnCheckStep() {
    const AnalysedText& analysed = file_.analysed;
    std::string piece;
    const std::uint64_t stepEnd = lines_->Length() + checkStepBytes;
    while (lines_->Length() < analysed.length && lines_->Length() < stepEnd) {
        const auto read = lines_->Next(piece);
        if (read == UpgradeFileLines::Read::Error) {
            FailUnreadable();
            return;
        }
        if (read == UpgradeFileLines::Read::End)
            break;
    }
    const bool more = lines_->Length() < analysed.length && lines_->Length() >= stepEnd;
    if (!more) {
        const AnalysedText read = lines_->Seal();
        const bool same = !analysed.digest.empty() && read.length == analysed.length &&
                          read.digest == analysed.digest;
        if (!same || !lines_->Rewind()) {
            FailChanged();
            return;
        }
    }
    if (!PumpOrFail())
        return;
    PostMessage(more ? WM_TRANSMIT_CHECK : WM_TRANSMIT_MODE, 0);
}

int CTransmissionDlg::QueryIdentification(std::vector<std::uint8_t>& stateCodes,
                                          std::vector<std::string>* lateAnswers) {
    CQelComm& link = *App().link;
    std::string command = identificationCommand;
    if (link.SendLine(command, false) != 0) {
        writeFailure_ = CQelComm::SystemErrorText(link.LastWriteError());
        return msgCannotSendCommand;
    }
    ++unansweredQuestions_;
    // The monitor answers in order: each identification answers the oldest question still
    // unanswered, and whatever comes before the last one answers what was sent before it.
    int otherAnswers = 0;
    while (otherAnswers <= maxSkippedAnswers) {
        std::string answer;
        if (link.ReadAnswer(answer, CQelComm::answerMaxChars, lineTimeoutSeconds) != 0)
            return otherAnswers > 0 ? msgModeNotSet : msgNoAnswer;
        fw::CStringArray monitors;
        if (!ParseMonitorList(sys::UpperCase(answer), &monitors, &stateCodes)) {
            ++otherAnswers;
            if (lateAnswers != nullptr)
                lateAnswers->push_back(answer);
            continue;
        }
        // A late answer without a line end runs into the identification that follows it.
        std::string before = answer.substr(0, answer.find_first_of("0123456789"));
        while (!before.empty() && (before.back() == '+' || before.back() == '-'))
            before.pop_back();
        if (lateAnswers != nullptr &&
            before.find_first_not_of(std::string(" \r\n\0", 4)) != std::string::npos)
            lateAnswers->push_back(before);
        if (--unansweredQuestions_ == 0)
            return 0;
    }
    return msgModeNotSet;
}

std::optional<CTransmissionDlg::Verdict> CTransmissionDlg::ReadThrough() {
    owedText_ = identificationCommand; // until the identification comes
    std::vector<std::uint8_t> codes;
    std::vector<std::string> late;
    const int reason = QueryIdentification(codes, &late);
    if (end_.owed) {
        for (const auto& answer : late) {
            end_.answered = true;
            end_.accepted = end_.accepted || IsAcceptance(answer);
        }
    }
    if (reason != 0) // answers that are no identification: the question was not understood
        return Verdict{reason == msgModeNotSet ? msgCommandRefused : reason, true};
    owedText_.reset();
    end_.owed = false; // everything sent before the question has been answered
    return std::nullopt;
}

CTransmissionDlg::Verdict CTransmissionDlg::JudgeEndRecord(const Verdict& copy) {
    if (copy.readThroughFailed)
        return copy; // this copy never left
    end_.owed = end_.owed || owedText_.has_value();
    if (copy.reason == 0 || copy.reason == msgLineRefused)
        end_.answered = true;
    end_.accepted = end_.accepted || copy.reason == 0;
    Verdict verdict = copy;
    // Its answer may still come: the identification asked now comes after it, as it would
    // before the exit command anyway.
    if (copy.reason == msgNoAnswer && !end_.accepted) {
        if (const auto failed = ReadThrough())
            verdict = *failed;
        else if (!end_.answered)
            verdict.unansweredEnd = true;
    }
    return end_.accepted ? Verdict{0} : verdict;
}

CTransmissionDlg::Verdict CTransmissionDlg::Exchange(std::string& text, bool waitUntilSent,
                                                     int timeoutSeconds, int refusalId,
                                                     int writeFailureId) {
    CQelComm& link = *App().link;
    const std::string key = sys::UpperCase(text.substr(0, text.find_first_of("\r\n")));
    // Answers owed to another text, or ones nobody asked for: only the identification shows
    // where they end. Copies of one text may take each other's answers.
    if ((owedText_ && *owedText_ != key) || (!owedText_ && link.InputPending())) {
        if (const auto failed = ReadThrough())
            return *failed;
    }
    if (link.SendLine(text, waitUntilSent) != 0) {
        writeFailure_ = CQelComm::SystemErrorText(link.LastWriteError());
        owedText_ = key; // part of it may have gone, and be answered
        return {writeFailureId};
    }
    std::string answer;
    if (link.ReadAnswer(answer, CQelComm::answerMaxChars, timeoutSeconds) != 0) {
        owedText_ = key;
        return {msgNoAnswer};
    }
    const std::string upper = sys::UpperCase(answer);
    const bool verdict =
        upper.find("NACK") != std::string::npos || upper.find("OK") != std::string::npos;
    // Only a whole acknowledgement leaves nothing owed: an answer ended by silence or by its
    // length limit may go on, and one that is no acknowledgement may be followed by the real one.
    if (answer.empty() || answer.back() != '\n' || !verdict)
        owedText_ = key;
    return {IsAcceptance(answer) ? 0 : refusalId};
}

void CTransmissionDlg::OnModeStep(int failures) {
    char command[16];
    std::snprintf(command, sizeof command, "MODEQEL%d", static_cast<int>(monitorIndex_));
    std::string text = command;
    CQelComm& link = *App().link;
    const bool written = link.SendLine(text, false) == 0;
    // A monitor that answers the command anyway is read through by the verification.
    owedText_ = text;
    if (!written)
        writeFailure_ = CQelComm::SystemErrorText(link.LastWriteError());
    if (!PumpOrFail())
        return;
    if (written)
        PostMessage(WM_TRANSMIT_VERIFY, 0);
    else if (failures + 1 < maxAttempts)
        PostMessage(WM_TRANSMIT_MODE, static_cast<WPARAM>(failures + 1));
    else
        ShowLinkError(msgCannotSendCommand, text, Verdict{msgCannotSendCommand});
}

void CTransmissionDlg::OnVerifyStep(int failures) {
    std::vector<std::uint8_t> codes;
    int reason = QueryIdentification(codes);
    if (reason == 0) {
        owedText_.reset(); // everything sent before the question has been answered
        const bool selected = monitorIndex_ >= 0 &&
                              static_cast<size_t>(monitorIndex_) < codes.size() &&
                              codes[static_cast<size_t>(monitorIndex_)] != 0;
        if (!selected)
            reason = msgModeNotSet;
    }
    if (!PumpOrFail())
        return;
    if (reason == 0)
        PostMessage(WM_TRANSMIT_LINE, 0);
    else if (failures + 1 < maxAttempts)
        PostMessage(WM_TRANSMIT_VERIFY, static_cast<WPARAM>(failures + 1));
    else
        ShowLinkError(msgCannotSendCommand, identificationCommand, Verdict{reason});
}

// Accepted lines follow each other within one step until the interface is due a turn: under
// Wine a message per line costs more than a line's whole exchange at 115200 baud.
void CTransmissionDlg::OnLineStep(int failures) {
    CUpgradeApp& app = App();
    for (;;) {
        if (failures == 0) {
            const auto read = lines_->Next(currentLine_);
            if (read == UpgradeFileLines::Read::Error) {
                FailUnreadable();
                return;
            }
            if (read != UpgradeFileLines::Read::Line) {
                app.journal.NoteFailure(app.Shown(msgFileWrong));
                PostFailure(app.Message(msgFileWrong, file_.fileName));
                return;
            }
            // The end record leaves only once the whole text has proved to be the one
            // analysed: a file changed while it was being sent is not reported as sent.
            if (lines_->Length() >= file_.analysed.length) {
                const AnalysedText sent = lines_->Seal();
                if (sent.length != file_.analysed.length || sent.digest != file_.analysed.digest) {
                    FailChanged();
                    return;
                }
            }
            if (!IsRecordLine(currentLine_)) {
                if (!PumpDue() && !app.traceMode)
                    continue;
                PostMessage(WM_TRANSMIT_LINE, 0); // not a record: never sent
                return;
            }
        }
        Verdict verdict =
            Exchange(currentLine_, true, lineTimeoutSeconds, msgLineRefused, msgCannotSendLine);
        const bool isEnd = IsEndRecord(sys::UpperCase(currentLine_));
        if (isEnd)
            verdict = JudgeEndRecord(verdict);
        const bool accepted = verdict.reason == 0;
        const bool turn = PumpDue() || app.traceMode;
        if (!PumpOrFail() || Ended())
            return;
        if (accepted) {
            if (++progress_ > file_.recordCount)
                progress_ = file_.recordCount;
            // Painted at once when that shows something new.
            if (gauge.WorthPainting(progress_)) {
                gauge.SetPos(progress_);
                gauge.UpdateWindow();
            }
        }
        // A retry sends the same line in upper case.
        currentLine_ = sys::UpperCase(currentLine_);
        if (accepted && !isEnd && !turn) {
            failures = 0;
            continue;
        }
        // An end record that went out and got no answer, even late, is left to the exit
        // command: a monitor may say nothing to it. One it refused, or that never left, is
        // tried as any line.
        if (accepted || verdict.unansweredEnd)
            PostMessage(isEnd ? WM_TRANSMIT_EXIT : WM_TRANSMIT_LINE, 0);
        else if (failures + 1 < maxAttempts)
            PostMessage(WM_TRANSMIT_LINE, static_cast<WPARAM>(failures + 1));
        else
            ShowLinkError(msgCannotSendLine, currentLine_, verdict);
        return;
    }
}

void CTransmissionDlg::OnExitStep(int failures) {
    std::string command = "EXITQEL";
    const Verdict verdict =
        Exchange(command, false, exitTimeoutSeconds, msgCommandRefused, msgCannotSendCommand);
    if (!PumpOrFail())
        return;
    if (verdict.reason == 0)
        PostSuccess();
    else if (failures + 1 < maxAttempts)
        PostMessage(WM_TRANSMIT_EXIT, static_cast<WPARAM>(failures + 1));
    else
        ShowLinkError(msgCannotSendCommand, command, verdict);
}

// The box names what failed: the text, or the question asked before it when that went
// unanswered, for the text then never left.
void CTransmissionDlg::ShowLinkError(int primaryId, const std::string& text,
                                     const Verdict& verdict) {
    if (verdict.readThroughFailed) {
        ShowLinkError(msgCannotSendCommand, identificationCommand, verdict.reason);
        return;
    }
    ShowLinkError(primaryId, text, verdict.reason);
}

// A write failure gives the system's reason; any other reason its catalogue text.
void CTransmissionDlg::ShowLinkError(int primaryId, const std::string& subject, int reasonId) {
    CUpgradeApp& app = App();
    std::string message = app.Message(primaryId, subject);
    app.journal.NoteFailure(app.Shown(primaryId), reasonId != primaryId ? app.Shown(reasonId) : 0,
                            reasonId != primaryId ? std::string() : writeFailure_);
    if (reasonId != primaryId) {
        message += "\n" + app.Message(reasonId);
    } else {
        std::string why = writeFailure_;
        while (!why.empty() &&
               (why.back() == '\n' || why.back() == '\r' || why.back() == ' ' || why.back() == '.'))
            why.pop_back();
        if (!why.empty())
            message += "\n" + why;
    }
    app.AppendLinkCheckEnding(message);
    const int answer = app.DoMessageBox(message, MB_OKCANCEL | MB_ICONEXCLAMATION);
    PostMessage(answer == IDOK ? WM_TRANSMIT_RETRY : WM_TRANSMIT_FAILED);
}
