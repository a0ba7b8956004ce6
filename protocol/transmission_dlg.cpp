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
const std::string endRecord = ":00000001FF";
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
    std::uint64_t stepBytes = 0;
    while (checkedLength_ < analysed.length && stepBytes < checkStepBytes) {
        const auto read = stream->ReadLine(piece, 255);
        if (read == sys::TextFile::Read::Error) {
            FailUnreadable();
            return;
        }
        if (read == sys::TextFile::Read::End)
            break;
        sentDigest_.Update(piece);
        checkedLength_ += piece.size();
        stepBytes += piece.size();
    }
    const bool more = checkedLength_ < analysed.length && stepBytes >= checkStepBytes;
    if (!more) {
        const bool same = !analysed.digest.empty() && checkedLength_ == analysed.length &&
                          sentDigest_.Final() == analysed.digest;
        if (!same || !stream->Rewind()) {
            FailChanged();
            return;
        }
    }
    if (!PumpOrFail())
        return;
    PostMessage(more ? WM_TRANSMIT_CHECK : WM_TRANSMIT_MODE, 0);
}

int CTransmissionDlg::QueryIdentification(std::vector<std::uint8_t>& stateCodes) {
    CQelComm& link = *App().link;
    std::string command = "QEL?";
    if (link.SendLine(command, false) != 0) {
        writeFailure_ = CQelComm::SystemErrorText(link.LastWriteError());
        return msgCannotSendCommand;
    }
    // The monitor answers in order: whatever comes before an identification answers what was
    // sent before the question.
    bool anyAnswer = false;
    for (int skipped = 0; skipped <= maxSkippedAnswers; ++skipped) {
        std::string answer;
        if (link.ReadAnswer(answer, CQelComm::answerMaxChars, lineTimeoutSeconds) != 0)
            return anyAnswer ? msgModeNotSet : msgNoAnswer;
        anyAnswer = true;
        fw::CStringArray monitors;
        if (ParseMonitorList(sys::UpperCase(answer), &monitors, &stateCodes))
            return 0;
    }
    return msgModeNotSet;
}

int CTransmissionDlg::Exchange(std::string& text, bool waitUntilSent, int timeoutSeconds,
                               int refusalId, int writeFailureId) {
    CQelComm& link = *App().link;
    const std::string key = sys::UpperCase(text.substr(0, text.find_first_of("\r\n")));
    // Answers owed to another text, or ones nobody asked for: only the identification shows
    // where they end. Copies of one text may take each other's answers.
    if ((owedText_ && *owedText_ != key) || (!owedText_ && link.InputPending())) {
        owedText_ = "QEL?"; // until the identification comes
        std::vector<std::uint8_t> codes;
        const int reason = QueryIdentification(codes);
        if (reason != 0)
            return reason == msgCannotSendCommand ? writeFailureId : reason;
        owedText_.reset();
    }
    if (link.SendLine(text, waitUntilSent) != 0) {
        writeFailure_ = CQelComm::SystemErrorText(link.LastWriteError());
        owedText_ = key; // part of it may have gone, and be answered
        return writeFailureId;
    }
    std::string answer;
    if (link.ReadAnswer(answer, CQelComm::answerMaxChars, timeoutSeconds) != 0) {
        owedText_ = key;
        return msgNoAnswer;
    }
    const std::string upper = sys::UpperCase(answer);
    const bool nack = upper.find("NACK") != std::string::npos;
    const bool ok = upper.find("OK") != std::string::npos;
    // Only a whole acknowledgement leaves nothing owed: an answer ended by silence or by its
    // length limit may go on, and one that is no acknowledgement may be followed by the real one.
    if (answer.empty() || answer.back() != '\n' || !(ok || nack))
        owedText_ = key;
    return nack || !ok ? refusalId : 0;
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
        ShowLinkError(msgCannotSendCommand, text, msgCannotSendCommand);
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
        ShowLinkError(msgCannotSendCommand, "QEL?", reason);
}

// Accepted lines follow each other within one step until the interface is due a turn: under
// Wine a message per line costs more than a line's whole exchange at 115200 baud.
void CTransmissionDlg::OnLineStep(int failures) {
    CUpgradeApp& app = App();
    for (;;) {
        if (failures == 0) {
            const auto read = stream->ReadLine(currentLine_, 255);
            if (read == sys::TextFile::Read::Error) {
                FailUnreadable();
                return;
            }
            if (read != sys::TextFile::Read::Line) {
                app.journal.NoteFailure(app.Shown(msgFileWrong));
                PostFailure(app.Message(msgFileWrong, file_.fileName));
                return;
            }
            // The end record leaves only once the whole text has proved to be the one
            // analysed: a file changed while it was being sent is not reported as sent.
            sentDigest_.Update(currentLine_);
            sentLength_ += currentLine_.size();
            if (sentLength_ >= file_.analysed.length &&
                (sentLength_ != file_.analysed.length ||
                 sentDigest_.Final() != file_.analysed.digest)) {
                FailChanged();
                return;
            }
            if (currentLine_.empty() || currentLine_[0] != ':') {
                if (!PumpDue() && !app.traceMode)
                    continue;
                PostMessage(WM_TRANSMIT_LINE, 0); // not a record: never sent
                return;
            }
        }
        const int reason =
            Exchange(currentLine_, true, lineTimeoutSeconds, msgLineRefused, msgCannotSendLine);
        const bool turn = PumpDue() || app.traceMode;
        if (!PumpOrFail() || Ended())
            return;
        if (reason == 0) {
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
        const bool isEnd = currentLine_.find(endRecord) != std::string::npos;
        if (reason == 0 && !isEnd && !turn) {
            failures = 0;
            continue;
        }
        if (reason == 0 || isEnd) // the end record is tried once, its failure not reported
            PostMessage(isEnd ? WM_TRANSMIT_EXIT : WM_TRANSMIT_LINE, 0);
        else if (failures + 1 < maxAttempts)
            PostMessage(WM_TRANSMIT_LINE, static_cast<WPARAM>(failures + 1));
        else
            ShowLinkError(msgCannotSendLine, currentLine_, reason);
        return;
    }
}

void CTransmissionDlg::OnExitStep(int failures) {
    std::string command = "EXITQEL";
    const int reason =
        Exchange(command, false, exitTimeoutSeconds, msgCommandRefused, msgCannotSendCommand);
    if (!PumpOrFail())
        return;
    if (reason == 0)
        PostSuccess();
    else if (failures + 1 < maxAttempts)
        PostMessage(WM_TRANSMIT_EXIT, static_cast<WPARAM>(failures + 1));
    else
        ShowLinkError(msgCannotSendCommand, command, reason);
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
