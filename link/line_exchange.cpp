// The line exchange with the instrument's monitor: the pause before a line, the write and the
// wait for it to leave, the read of one answer within a limit. Every wait is bounded, resumes
// after a stop request the user declined, and, while the instrument identifies itself and no
// dialog serves the interface, serves it in slices: a close then ends the wait as a cancel.
#include "link/qel_comm.h"

#include "sys/clock.h"
#include "sys/stop.h"
#include "sys/sys.h"

#include <algorithm>
#include <chrono>

namespace {

using res::Msg;

constexpr int drainLimitSeconds = 10;
constexpr DWORD purgeInput = PURGE_RXABORT | PURGE_RXCLEAR;
// A wait that serves the interface looks at its messages this often.
constexpr long long interfaceSliceMs = 100;

int BitsPerCharacter(const sys::CommState& state) {
    return 1 + state.byteSize + (state.parity != NOPARITY ? 1 : 0) +
           (state.stopBits == ONESTOPBIT ? 1 : 2);
}

} // namespace

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

long CQelComm::PauseMilliseconds(unsigned readyWaitCount, const sys::CommState& state) {
    if (readyWaitCount == 0 || state.baudRate == 0)
        return 0;
    return static_cast<long>(readyWaitCount * BitsPerCharacter(state) * 1000.0 / state.baudRate);
}

bool CQelComm::BetweenSlices(TimePoint& deadline) {
    if (identifying_ && (!fw::ServeInterfaceInWait() || closeRequested_)) {
        stopped_ = true;
        return false;
    }
    return sys::StopRequest() == 0 || GoOnAfterStop(deadline);
}

CQelComm::TimePoint CQelComm::SliceEnd(TimePoint deadline) const {
    return identifying_
               ? std::min(deadline, sys::Now() + std::chrono::milliseconds(interfaceSliceMs))
               : deadline;
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
    while (sys::Now() < until) {
        const bool slept = sys::SleepUntil(SliceEnd(until)); // false: woken by a stop request
        if ((!slept || sys::Now() < until) && !BetweenSlices(until))
            return false;
    }
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
        sys::SleepUntil(sys::Now() + std::chrono::microseconds(micros));
        if (!BetweenSlices(deadline))
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
    const auto writeSlice = [&] {
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(SliceEnd(deadline) - sys::Now());
        SetTimeouts(readTimeoutMs_, static_cast<DWORD>(std::max<long long>(1, left.count())));
    };
    if (identifying_)
        writeSlice();
    std::size_t done = 0;
    while (!stopped_) {
        DWORD written = 0;
        const BOOL all =
            port_.WriteFile(line.data() + done, static_cast<DWORD>(line.size() - done), &written);
        done += written;
        if (all)
            break;
        const DWORD error = sys::GetLastError();
        // A slice of the write ended, or a stop request came: the rest goes out in the time
        // the write had left.
        const bool sliceEnded =
            identifying_ && error == sys::TimeoutErrorCode() && sys::Now() < deadline;
        if ((sliceEnded || sys::StopRequest() != 0) && BetweenSlices(deadline)) {
            writeSlice();
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
        // The interface served, a stop request the user declined: the wait goes on with its
        // time left.
        if (!BetweenSlices(deadline))
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
