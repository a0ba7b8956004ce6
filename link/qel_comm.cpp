#include "link/qel_comm.h"

#include "sys/clock.h"
#include "sys/stop.h"
#include "sys/sys.h"

#include <algorithm>
#include <chrono>

namespace {

using res::Msg;

constexpr int linkWindowChildId = 100;
constexpr DWORD purgeAll = PURGE_TXABORT | PURGE_RXABORT | PURGE_TXCLEAR | PURGE_RXCLEAR;

} // namespace

sys::CommState CommStateFor(const LinkSettings& s, sys::CommState state) {
    state.baudRate = BaudRateOfIndex(s.baudIndex);
    state.byteSize = s.eightDataBits != 0 ? 8 : 7;
    state.stopBits = s.twoStopBits != 0 ? TWOSTOPBITS : ONESTOPBIT;
    state.parity = s.parity == LinkSettings::parityEven  ? EVENPARITY
                   : s.parity == LinkSettings::parityOdd ? ODDPARITY
                                                         : NOPARITY;
    switch (s.handshake) {
    case LinkSettings::handshakeXonXoff:
        state.dtrControl = DTR_CONTROL_DISABLE;
        state.outX = true;
        state.inX = true;
        state.rtsControl = RTS_CONTROL_DISABLE;
        break;
    case LinkSettings::handshakeHardware: // CTS and DSR flow control left as they were
        state.dtrControl = DTR_CONTROL_ENABLE;
        state.outX = false;
        state.inX = false;
        state.rtsControl = RTS_CONTROL_ENABLE;
        break;
    default:
        state.outxCtsFlow = false;
        state.outxDsrFlow = false;
        state.dtrControl = DTR_CONTROL_DISABLE;
        state.dsrSensitivity = false;
        state.outX = false;
        state.inX = false;
        state.rtsControl = RTS_CONTROL_DISABLE;
        break;
    }
    return state;
}

CQelComm::CQelComm(fw::CWnd* parent, LinkHost& host) : host_(host) {
    if (parent == nullptr && fw::AfxGetApp() != nullptr)
        parent = fw::AfxGetApp()->mainWnd;
    CreateGeneric("CQelComm", WS_CHILD | WS_OVERLAPPEDWINDOW, fw::Rect{0, 0, 10, 10}, parent,
                  linkWindowChildId);
}

CQelComm::~CQelComm() {
    ClosePort();
    DestroyWindow();
}

void CQelComm::OnTimer(UINT timerId) {
    if (timerId == linkTimerId && tickCountdown != 0)
        --tickCountdown;
}

std::string CQelComm::SystemErrorText(DWORD code) {
    return sys::SystemErrorText(code);
}

// Each call is a round trip to the driver (and to the Wine server): the time-outs are set only
// when an exchange needs other ones.
BOOL CQelComm::SetTimeouts(DWORD readMs, DWORD writeMs) {
    if (readTimeoutMs_ == readMs && writeTimeoutMs_ == writeMs)
        return TRUE;
    const BOOL set = port_.SetCommTimeouts(sys::CommTimeouts{0, 0, readMs, 0, writeMs});
    readTimeoutMs_ = set ? readMs : 0;
    writeTimeoutMs_ = set ? writeMs : 0;
    return set;
}

DWORD CQelComm::OpenPort() {
    // The timer that counts down the output-drain wait.
    if (SetTimer(linkTimerId, linkTimerPeriodMs) == 0)
        return sys::GetLastError();
    // The device, opened for this program alone.
    DWORD error = port_.Open(settings.port);
    readTimeoutMs_ = writeTimeoutMs_ = 0;
    stopped_ = false;
    pendingInput_.clear();
    // Queues, purge, time-outs, then the line format; the state as the port then reports
    // it paces every line while the port is open.
    sys::CommState state;
    if (error == 0) {
        if (!port_.SetupComm(1024, 1024)) {
            error = sys::GetLastError();
        } else {
            port_.PurgeComm(purgeAll);
            if (!SetReadTimeout(defaultReadTimeoutMs) || !port_.GetCommState(state) ||
                !port_.SetCommState(CommStateFor(settings, state)) ||
                !port_.GetCommState(lineState_))
                error = sys::GetLastError();
        }
    }
    lastOpenError_ = error;
    if (error != 0) {
        if (port_.IsOpen())
            port_.CloseHandle();
        KillTimer(linkTimerId);
        return error;
    }
    fineTimer_.emplace();
    return 0;
}

void CQelComm::DropBrokenPort() {
    if (!port_.IsOpen())
        return;
    fineTimer_.reset();
    pendingInput_.clear();
    port_.CloseHandle();
    KillTimer(linkTimerId);
}

int CQelComm::ClosePort() {
    if (!port_.IsOpen())
        return 1;
    fineTimer_.reset();
    pendingInput_.clear();
    port_.PurgeComm(purgeAll);
    if (port_.CloseHandle()) {
        KillTimer(linkTimerId);
        return 0;
    }
    const DWORD error = sys::GetLastError();
    fw::MessageBeep(0xFFFFFFFF);
    host_.ReportFailure(
        {Msg::UnableToClose, "", Msg::None, SystemErrorText(error), res::Ending::None, MB_OK});
    KillTimer(linkTimerId);
    return -1;
}

int CQelComm::OpenAndIdentify(std::string& answer) {
    if (port_.IsOpen())
        return alreadyOpen;
    openedForIdentification_ = false;
    if (!host_.ChooseSettings(settings))
        return cancelled; // the settings stay as they were
    fw::CWaitCursor wait;

    const DWORD error = OpenPort();
    if (error != 0) {
        host_.ReportFailure(
            {Msg::None, "", Msg::None, SystemErrorText(error), res::Ending::Upgrade, MB_OK});
        return portFailed;
    }
    openedForIdentification_ = true;
    // No dialog serves the interface while the instrument answers (up to four reads of 5 s):
    // the waits do, and a close ends them as a cancel.
    identifying_ = true;
    closeRequested_ = false;
    struct Done {
        bool& flag;
        ~Done() { flag = false; }
    } done{identifying_};
    // Two questions an attempt, and only the second answer counts: the first ends whatever the
    // monitor holds half received from before (an adapter plugged in, a run cut short), and
    // what it answers may be that line's refusal.
    for (int attempt = 0; attempt < 2 && !stopped_; ++attempt) {
        SendLine("QEL?", false);
        ReadAnswer(answer, answerMaxChars, identifyTimeoutSeconds);
        SendLine("QEL?", false);
        if (ReadAnswer(answer, answerMaxChars, identifyTimeoutSeconds) == 0)
            return identified;
    }
    if (stopped_)
        return cancelled;
    if (LinkBroken())
        DropBrokenPort();
    const int answerToBox =
        host_.ReportFailure({Msg::UnableToIdentify, "", Msg::None, "", res::Ending::LinkCheck,
                             MB_OKCANCEL | MB_ICONEXCLAMATION});
    return answerToBox == IDOK ? retryRequested : cancelled;
}
