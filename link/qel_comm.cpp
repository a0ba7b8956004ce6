#include "link/qel_comm.h"

#include "sys/stop.h"
#include "sys/sys.h"

#include <algorithm>
#include <chrono>

namespace {

using res::Msg;

constexpr int linkWindowChildId = 100;
constexpr DWORD purgeAll = PURGE_TXABORT | PURGE_RXABORT | PURGE_TXCLEAR | PURGE_RXCLEAR;
constexpr DWORD purgeInput = PURGE_RXABORT | PURGE_RXCLEAR;
constexpr int drainLimitSeconds = 10;

using Clock = std::chrono::steady_clock;

int BitsPerCharacter(const sys::CommState& state) {
    return 1 + state.byteSize + (state.parity != NOPARITY ? 1 : 0) +
           (state.stopBits == ONESTOPBIT ? 1 : 2);
}

} // namespace

sys::CommState CommStateFor(const LinkSettings& s, sys::CommState state) {
    state.baudRate = BaudRateOfIndex(s.baudIndex);
    state.byteSize = s.eightDataBits != 0 ? 8 : 7;
    state.stopBits = s.twoStopBits != 0 ? TWOSTOPBITS : ONESTOPBIT;
    state.parity = s.parity == 0 ? EVENPARITY : s.parity == 1 ? ODDPARITY : NOPARITY;
    switch (s.handshake) {
    case 0: // Xon/Xoff
        state.dtrControl = DTR_CONTROL_DISABLE;
        state.outX = true;
        state.inX = true;
        state.rtsControl = RTS_CONTROL_DISABLE;
        break;
    case 1: // hardware: DTR and RTS held on; CTS and DSR flow control left as they were
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
BOOL CQelComm::SetReadTimeout(DWORD milliseconds) {
    if (readTimeoutMs_ == milliseconds)
        return TRUE;
    const BOOL set =
        port_.SetCommTimeouts(sys::CommTimeouts{0, 0, milliseconds, 0, writeTimeoutMs});
    readTimeoutMs_ = set ? milliseconds : 0;
    return set;
}

DWORD CQelComm::OpenPort() {
    // 1. The timer that counts down the output-drain wait.
    if (SetTimer(linkTimerId, linkTimerPeriodMs) == 0)
        return sys::GetLastError();
    // 2-3. The device, opened for this program alone.
    DWORD error = port_.Open(settings.port);
    readTimeoutMs_ = 0;
    pendingInput_.clear();
    // 4-9. Queues, purge, time-outs, then the line format; the state as the port then reports
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

long CQelComm::PauseMilliseconds(unsigned readyWaitCount, const sys::CommState& state) {
    if (readyWaitCount == 0 || state.baudRate == 0)
        return 0;
    return static_cast<long>(readyWaitCount * BitsPerCharacter(state) * 1000.0 / state.baudRate);
}

void CQelComm::PaceBeforeSend() {
    const unsigned count = host_.ReadyWaitCount();
    if (count == 0)
        return;
    // The instrument needs this long to get ready; sleeping gives it without using the
    // processor, and the clock makes sure the whole pause passes.
    sys::SleepUntil(Clock::now() + std::chrono::milliseconds(PauseMilliseconds(count, lineState_)));
}

int CQelComm::WaitOutputDrained() {
    tickCountdown = drainLimitSeconds;
    DWORD errors = 0;
    sys::CommStatus status;
    // Gone already, as at any speed a short line nearly is: nothing to wait for, and the
    // messages the wait would look at stay for the dialog's own pump.
    if (port_.ClearCommError(&errors, &status) && status.outQueue == 0)
        return 0;
    for (;;) {
        fw::Msg msg;
        if (fw::PeekMessage(&msg, this, WM_TIMER, WM_TIMER, PM_REMOVE))
            OnTimer(static_cast<UINT>(msg.wParam));
        if (fw::PeekMessage(&msg, this, WM_QUIT, WM_QUIT, PM_REMOVE))
            return 0;
        if (tickCountdown == 0)
            return -1;
        port_.ClearCommError(&errors, &status);
        if (status.outQueue == 0)
            return 0;
        // Sleep for about the wire time of what is still queued, then look again: no spinning,
        // and no more than a fraction of a character's time late. Never past the timer's tick.
        long micros = lineState_.baudRate != 0
                          ? static_cast<long>(status.outQueue * BitsPerCharacter(lineState_) *
                                              1000000.0 / lineState_.baudRate)
                          : 1000;
        micros = std::clamp(micros, 50L, 100000L);
        if (!sys::SleepUntil(Clock::now() + std::chrono::microseconds(micros)))
            return -1; // the program is asked to stop: the line may not have left
    }
}

void CQelComm::DropPendingInput() {
    pendingInput_.clear();
    DWORD errors = 0;
    sys::CommStatus status;
    if (port_.ClearCommError(&errors, &status) && status.inQueue != 0)
        port_.PurgeComm(purgeInput);
}

// The CR of a monitor that ends its answers with LF CR, or blanks and zeros after an answer,
// answer nothing: taken for an answer, each would cost a read-through before every line.
bool CQelComm::InputPending() {
    DWORD errors = 0;
    sys::CommStatus status;
    if (port_.ClearCommError(&errors, &status) && status.inQueue != 0) {
        DWORD read = 0;
        const DWORD wanted = std::min<DWORD>(status.inQueue, sizeof readBuffer_);
        if (port_.ReadFile(readBuffer_, wanted, &read))
            pendingInput_.append(readBuffer_, read);
    }
    static const std::string leftovers("\r\n \0", 4);
    if (pendingInput_.find_first_not_of(leftovers) != std::string::npos)
        return true;
    pendingInput_.clear();
    return false;
}

int CQelComm::SendLine(std::string& text, bool waitUntilSent) {
    const size_t end = text.find_first_of("\r\n");
    if (end != std::string::npos)
        text.resize(end);
    const std::string line = text + "\n";
    PaceBeforeSend();
    DropPendingInput();
    lastWriteError_ = 0;
    DWORD written = 0;
    if (!port_.WriteFile(line.data(), static_cast<DWORD>(line.size()), &written)) {
        lastWriteError_ = sys::GetLastError();
        // What did not leave must not leave later, glued to the next attempt.
        port_.PurgeComm(PURGE_TXABORT | PURGE_TXCLEAR);
        return -1;
    }
    // A line still queued when the wait gives up has not been sent, whatever the write said.
    if (waitUntilSent && WaitOutputDrained() != 0) {
        lastWriteError_ = sys::TimeoutErrorCode();
        port_.PurgeComm(PURGE_TXABORT | PURGE_TXCLEAR);
        return -1;
    }
    if (host_.TraceMode())
        host_.ShowTrace(Msg::LineSent, line);
    return 0;
}

// What has arrived is read in one call, and what follows an answer's line feed is kept for
// the next answer: the port's input as Windows would hold it, without a call per byte.
bool CQelComm::FetchInput() {
    DWORD errors = 0;
    sys::CommStatus status;
    port_.ClearCommError(&errors, &status);
    // Nothing there yet: one byte, within the read time-out, then whatever came with it.
    const DWORD wanted =
        status.inQueue == 0 ? 1 : std::min<DWORD>(status.inQueue, sizeof readBuffer_);
    DWORD read = 0;
    if (!port_.ReadFile(readBuffer_, wanted, &read) || read == 0)
        return false;
    pendingInput_.append(readBuffer_, read);
    return true;
}

int CQelComm::ReadAnswer(std::string& answer, std::size_t maxChars, int timeoutSeconds) {
    answer.clear();
    SetReadTimeout(static_cast<DWORD>(timeoutSeconds) * 1000);
    bool anyByte = false;
    for (;;) {
        if (pendingInput_.empty() && !FetchInput()) {
            if (!anyByte) // the message's identifier in the language of the moment
                return static_cast<int>(Msg::NoAnswer) + (host_.Language() == 0 ? 0 : 1);
            break;
        }
        const char byte = pendingInput_.front();
        pendingInput_.erase(0, 1);
        anyByte = true;
        if (answer.size() >= maxChars)
            break;        // the answer is full; this byte is dropped
        if (byte != '\0') // a zero would end the text: the next byte takes its place
            answer += byte;
        if (byte == '\n')
            break;
    }
    if (host_.TraceMode())
        host_.ShowTrace(Msg::AnswerReceived, EscapeForDisplay(answer));
    return 0;
}

BOOL CQelComm::DiscardInput() {
    pendingInput_.clear();
    return port_.PurgeComm(purgeInput);
}

std::string CQelComm::EscapeForDisplay(const std::string& text) {
    std::string shown;
    for (char c : text) {
        if (c == '\n')
            shown += "\\n";
        else if (c == '\r')
            shown += "\\r";
        else
            shown += c;
    }
    return shown;
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
    for (int attempt = 0; attempt < 2; ++attempt) {
        std::string command = "QEL?";
        SendLine(command, false);
        ReadAnswer(answer, answerMaxChars, identifyTimeoutSeconds);
        command = "QEL?";
        SendLine(command, false);
        if (ReadAnswer(answer, answerMaxChars, identifyTimeoutSeconds) == 0)
            return identified;
    }
    if (LinkBroken())
        DropBrokenPort();
    const int answerToBox =
        host_.ReportFailure({Msg::UnableToIdentify, "", Msg::None, "", res::Ending::LinkCheck,
                             MB_OKCANCEL | MB_ICONEXCLAMATION});
    return answerToBox == IDOK ? retryRequested : cancelled;
}
