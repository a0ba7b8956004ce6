#include "protocol/transmission_dlg.h"

#include "app/upgrade_app.h"
#include "files/record_check.h"
#include "sys/text.h"

#include <cstdio>

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
        stream.reset();
        PostFailure(app.Message(msgCannotOpen, file_.fileName));
        return TRUE;
    }
    PostMessage(WM_TRANSMIT_MODE, 0);
    return TRUE;
}

LRESULT CTransmissionDlg::WindowProc(UINT message, WPARAM wParam, LPARAM lParam) {
    const int failures = static_cast<int>(wParam);
    switch (message) {
    case WM_TRANSMIT_MODE: OnModeStep(failures); return 0;
    case WM_TRANSMIT_VERIFY: OnVerifyStep(failures); return 0;
    case WM_TRANSMIT_LINE: OnLineStep(failures); return 0;
    case WM_TRANSMIT_EXIT: OnExitStep(failures); return 0;
    case WM_TRANSMIT_RETRY: EndDialog(IDRETRY); return 0;
    default: return CProgressDlg::WindowProc(message, wParam, lParam);
    }
}

bool CTransmissionDlg::PumpOrFail() {
    if (PumpMessages())
        return true;
    PostMessage(WM_TRANSMIT_FAILED);
    return false;
}

int CTransmissionDlg::JudgeAnswer(int refusalId, int timeoutSeconds) {
    std::string answer;
    if (App().link->ReadAnswer(answer, CQelComm::answerMaxChars, timeoutSeconds) != 0)
        return msgNoAnswer;
    answer = sys::UpperCase(answer);
    if (answer.find("NACK") != std::string::npos || answer.find("OK") == std::string::npos)
        return refusalId;
    return 0;
}

void CTransmissionDlg::OnModeStep(int failures) {
    char command[16];
    std::snprintf(command, sizeof command, "MODEQEL%d", static_cast<int>(monitorIndex_));
    std::string text = command;
    const bool written = App().link->SendLine(text, false) == 0;
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
    CQelComm& link = *App().link;
    std::string command = "QEL?";
    int reason = 0;
    if (link.SendLine(command, false) != 0) {
        reason = msgCannotSendCommand;
    } else {
        std::string answer;
        if (link.ReadAnswer(answer, CQelComm::answerMaxChars, lineTimeoutSeconds) != 0) {
            reason = msgNoAnswer;
        } else {
            fw::CStringArray monitors;
            std::vector<std::uint8_t> codes;
            const bool parsed = ParseMonitorList(sys::UpperCase(answer), &monitors, &codes);
            const bool selected = parsed && monitorIndex_ >= 0 &&
                                  static_cast<size_t>(monitorIndex_) < codes.size() &&
                                  codes[static_cast<size_t>(monitorIndex_)] != 0;
            if (!selected)
                reason = msgModeNotSet;
        }
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

void CTransmissionDlg::OnLineStep(int failures) {
    CUpgradeApp& app = App();
    if (failures == 0) {
        if (stream->ReadLine(currentLine_, 255) != sys::TextFile::Read::Line) {
            PostFailure(app.Message(msgFileWrong, file_.fileName));
            return;
        }
        if (currentLine_.empty() || currentLine_[0] != ':') {
            PostMessage(WM_TRANSMIT_LINE, 0); // not a record: never sent
            return;
        }
    }
    const int reason = app.link->SendLine(currentLine_, true) != 0
                           ? msgCannotSendLine
                           : JudgeAnswer(msgLineRefused, lineTimeoutSeconds);
    if (!PumpOrFail())
        return;
    if (reason == 0) {
        if (++progress_ > file_.recordCount)
            progress_ = file_.recordCount;
        gauge.SetPos(progress_);
        gauge.UpdateWindow();
    }
    // A retry sends the same line in upper case.
    currentLine_ = sys::UpperCase(currentLine_);
    const bool isEnd = currentLine_.find(endRecord) != std::string::npos;
    if (reason == 0 || isEnd) // the end record is tried once, its failure not reported
        PostMessage(isEnd ? WM_TRANSMIT_EXIT : WM_TRANSMIT_LINE, 0);
    else if (failures + 1 < maxAttempts)
        PostMessage(WM_TRANSMIT_LINE, static_cast<WPARAM>(failures + 1));
    else
        ShowLinkError(msgCannotSendLine, currentLine_, reason);
}

void CTransmissionDlg::OnExitStep(int failures) {
    std::string command = "EXITQEL";
    const int reason = App().link->SendLine(command, false) != 0
                           ? msgCannotSendCommand
                           : JudgeAnswer(msgCommandRefused, exitTimeoutSeconds);
    if (!PumpOrFail())
        return;
    if (reason == 0)
        PostSuccess();
    else if (failures + 1 < maxAttempts)
        PostMessage(WM_TRANSMIT_EXIT, static_cast<WPARAM>(failures + 1));
    else
        ShowLinkError(msgCannotSendCommand, command, reason);
}

void CTransmissionDlg::ShowLinkError(int primaryId, const std::string& subject, int reasonId) {
    CUpgradeApp& app = App();
    std::string message = app.Message(primaryId, subject);
    if (reasonId != primaryId)
        message += "\n" + app.Message(reasonId);
    app.AppendLinkCheckEnding(message);
    const int answer = app.DoMessageBox(message, MB_OKCANCEL | MB_ICONEXCLAMATION);
    PostMessage(answer == IDOK ? WM_TRANSMIT_RETRY : WM_TRANSMIT_FAILED);
}
