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
constexpr DWORD purgeInput = PURGE_RXABORT | PURGE_RXCLEAR;
constexpr int drainLimitSeconds = 10;
// A wait that serves the interface looks at its messages this often.
constexpr long long interfaceSliceMs = 100;

int BitsPerCharacter(const sys::CommState& state) {
    return 1 + state.byteSize + (state.parity != NOPARITY ? 1 : 0) +
           (state.stopBits == ONESTOPBIT ? 1 : 2);
}

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

bool CQelComm::GoOnAfterStop(TimePoint& deadline) {
    const auto asked = sys::Now();
    const std::int32_t countdown = tickCountdown; // the question's own seconds do not count
    if (!fw::ServeStopRequestInWait()) {
        stopped_ = true;
        return false;
    }
    tickCountdown = countdown;
    deadline += sys::Now() - asked;
    return true;
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

long CQelComm::PauseMilliseconds(unsigned readyWaitCount, const sys::CommState& state) {
    if (readyWaitCount == 0 || state.baudRate == 0)
        return 0;
    return static_cast<long>(readyWaitCount * BitsPerCharacter(state) * 1000.0 / state.baudRate);
}

bool CQelComm::PaceBeforeSend() {
    if (stopped_)
        return false;
    const unsigned count = host_.ReadyWaitCount();
    if (count == 0)
        return true;
    // The instrument needs this long to get ready; sleeping gives it without using the
    // processor, and the clock makes sure the whole pause passes.
    auto until = sys::Now() + std::chrono::milliseconds(PauseMilliseconds(count, lineState_));
    while (!sys::SleepUntil(until))
        if (!GoOnAfterStop(until))
            return false;
    return true;
}

int CQelComm::WaitOutputDrained() {
    tickCountdown = drainLimitSeconds;
    // The link timer counts the limit as the wait has always counted it; the deadline holds it
    // on the clock of the other waits too.
    auto deadline = sys::Now() + std::chrono::seconds(drainLimitSeconds);
    DWORD errors = 0;
    sys::CommStatus status;
    // A short line has nearly always left by now: then the messages the wait would look at
    // stay for the dialog's own pump.
    if (port_.ClearCommError(&errors, &status) && status.outQueue == 0)
        return 0;
    for (;;) {
        fw::Msg msg;
        if (fw::PeekMessage(&msg, this, WM_TIMER, WM_TIMER, PM_REMOVE))
            OnTimer(static_cast<UINT>(msg.wParam));
        if (fw::PeekMessage(&msg, this, WM_QUIT, WM_QUIT, PM_REMOVE))
            return 0;
        if (tickCountdown == 0 || sys::Now() >= deadline)
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
        if (!sys::SleepUntil(sys::Now() + std::chrono::microseconds(micros)) &&
            !GoOnAfterStop(deadline))
            return -1; // stopped: the line may not have left
    }
}

const std::string& CQelComm::PendingInput() {
    DWORD errors = 0;
    sys::CommStatus status;
    if (port_.IsOpen() && port_.ClearCommError(&errors, &status) && status.inQueue != 0) {
        DWORD read = 0;
        const DWORD wanted = std::min<DWORD>(status.inQueue, sizeof readBuffer_);
        if (port_.ReadFile(readBuffer_, wanted, &read))
            pendingInput_.append(readBuffer_, read);
    }
    return pendingInput_;
}

void CQelComm::DropInput(std::size_t count) {
    pendingInput_.erase(0, count);
}

int CQelComm::SendLine(const std::string& text, bool waitUntilSent) {
    if (!PaceBeforeSend()) {
        lastWriteError_ = sys::InterruptedErrorCode();
        return -1;
    }
    return WriteLine(text, waitUntilSent);
}

int CQelComm::WriteLine(const std::string& text, bool waitUntilSent) {
    const std::string line = text + "\n";
    lastWriteError_ = 0;
    auto deadline = sys::Now() + std::chrono::milliseconds(writeTimeoutMs);
    std::size_t done = 0;
    while (!stopped_) {
        DWORD written = 0;
        const BOOL all =
            port_.WriteFile(line.data() + done, static_cast<DWORD>(line.size() - done), &written);
        done += written;
        if (all)
            break;
        const DWORD error = sys::GetLastError();
        if (sys::StopRequest() != 0 && GoOnAfterStop(deadline)) {
            // The rest goes out in the time the write had left.
            const auto left =
                std::chrono::duration_cast<std::chrono::milliseconds>(deadline - sys::Now());
            SetTimeouts(readTimeoutMs_, static_cast<DWORD>(std::max<long long>(1, left.count())));
            continue;
        }
        lastWriteError_ = stopped_ ? sys::InterruptedErrorCode() : error;
        break;
    }
    SetTimeouts(readTimeoutMs_ != 0 ? readTimeoutMs_ : defaultReadTimeoutMs, writeTimeoutMs);
    if (stopped_ && lastWriteError_ == 0)
        lastWriteError_ = sys::InterruptedErrorCode();
    if (lastWriteError_ != 0) {
        // What did not leave must not leave later, glued to the next attempt.
        port_.PurgeComm(PURGE_TXABORT | PURGE_TXCLEAR);
        return -1;
    }
    // A line still queued when the wait gives up has not been sent, whatever the write said.
    if (waitUntilSent && WaitOutputDrained() != 0) {
        lastWriteError_ = stopped_ ? sys::InterruptedErrorCode() : sys::TimeoutErrorCode();
        port_.PurgeComm(PURGE_TXABORT | PURGE_TXCLEAR);
        return -1;
    }
    if (host_.TraceMode())
        host_.ShowTrace(Msg::LineSent, line);
    return 0;
}

void CQelComm::SetReadWait(std::chrono::milliseconds left) {
    SetReadTimeout(static_cast<DWORD>(
        identifying_ ? std::min<long long>(left.count(), interfaceSliceMs) : left.count()));
}

// What has arrived is read in one call, and what follows an answer's line feed is kept for
// the next answer: the port's input as Windows would hold it, without a call per byte.
bool CQelComm::FetchInput(std::chrono::milliseconds limit) {
    auto deadline = sys::Now() + limit;
    while (!stopped_) {
        DWORD errors = 0;
        sys::CommStatus status;
        port_.ClearCommError(&errors, &status);
        // Nothing there yet: one byte, within the read time-out, then whatever came with it.
        const DWORD wanted =
            status.inQueue == 0 ? 1 : std::min<DWORD>(status.inQueue, sizeof readBuffer_);
        DWORD read = 0;
        if (!port_.ReadFile(readBuffer_, wanted, &read))
            return false; // the device failed: no answer will come
        if (read != 0) {
            pendingInput_.append(readBuffer_, read);
            return true;
        }
        if (identifying_) {
            // The interface is served between slices of the wait; a close ends it.
            if (!fw::ServeInterfaceInWait() || closeRequested_) {
                stopped_ = true;
                return false;
            }
        }
        // Woken by a stop request that the user declined: the wait goes on with its time left.
        if (sys::StopRequest() != 0 && !GoOnAfterStop(deadline))
            return false;
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - sys::Now());
        if (left.count() <= 0)
            return false;
        SetReadWait(left);
    }
    return false;
}

int CQelComm::ReadAnswer(std::string& answer, std::size_t maxChars, int timeoutSeconds) {
    answer.clear();
    const std::chrono::milliseconds limit(static_cast<long long>(timeoutSeconds) * 1000);
    SetReadWait(limit);
    bool anyByte = false;
    for (;;) {
        if (pendingInput_.empty() && !FetchInput(limit)) {
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
