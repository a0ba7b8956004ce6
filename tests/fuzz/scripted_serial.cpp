// The serial port contract and the clock of the link's waits over the scripted instrument: a
// read, the pause and the drain wait move the virtual clock, never sleep. It defines every
// symbol of the POSIX serial backend and of the clock, so that the linker takes neither into
// the targets that use it.
#include "scripted_instrument.h"
#include "sys/clock.h"
#include "sys/posix/termios_state.h"
#include "sys/serial.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

namespace scripted {
Instrument& TheInstrument() {
    static Instrument instrument;
    return instrument;
}
} // namespace scripted

namespace sys {

namespace {
thread_local DWORD lastError = 0;
scripted::Instrument& I() {
    return scripted::TheInstrument();
}
} // namespace

struct SerialPort::Impl {
    bool open = false;
    CommTimeouts timeouts{0, 0, 10000, 0, 0};
};

SerialPort::SerialPort() : impl_(std::make_unique<Impl>()) {}
SerialPort::~SerialPort() = default;

DWORD SerialPort::Open(int) {
    impl_->open = true;
    return 0;
}

bool SerialPort::IsOpen() const {
    return impl_->open;
}

bool SerialPort::DeviceLost() const {
    return false;
}

BOOL SerialPort::SetupComm(DWORD, DWORD) {
    return TRUE;
}

// Output already on the wire cannot be called back; only what flow control holds is dropped.
BOOL SerialPort::PurgeComm(DWORD flags) {
    if ((flags & (PURGE_TXABORT | PURGE_TXCLEAR)) != 0)
        I().heldOutput.clear();
    if ((flags & (PURGE_RXABORT | PURGE_RXCLEAR)) != 0) {
        auto& toPc = I().toPc;
        toPc.erase(toPc.begin(), toPc.begin() + static_cast<long>(I().Arrived()));
    }
    return TRUE;
}

BOOL SerialPort::SetCommTimeouts(const CommTimeouts& timeouts) {
    impl_->timeouts = timeouts;
    return TRUE;
}

BOOL SerialPort::GetCommState(CommState& state) {
    state.baudRate = static_cast<DWORD>(I().baud);
    return TRUE;
}

BOOL SerialPort::SetCommState(const CommState&) {
    return TRUE;
}

BOOL SerialPort::WriteFile(const void* data, DWORD size, DWORD* written) {
    if (written != nullptr)
        *written = 0;
    if (I().WriteFails()) {
        lastError = EIO;
        return FALSE;
    }
    const std::string bytes(static_cast<const char*>(data), size);
    if (I().outputHeld)
        I().heldOutput += bytes;
    else
        I().Write(bytes);
    if (written != nullptr)
        *written = size;
    return TRUE;
}

BOOL SerialPort::ReadFile(void* data, DWORD size, DWORD* read) {
    if (read != nullptr)
        *read = 0;
    auto& instrument = I();
    const scripted::Us limit =
        1000LL * (impl_->timeouts.readTotalTimeoutConstant +
                  static_cast<long long>(impl_->timeouts.readTotalTimeoutMultiplier) * size);
    if (size == 0 || instrument.toPc.empty() ||
        instrument.toPc.front().at > instrument.now + limit) {
        instrument.now += limit;
        return TRUE;
    }
    instrument.now = std::max(instrument.now, instrument.toPc.front().at);
    DWORD n = 0;
    auto* bytes = static_cast<char*>(data);
    while (n < size && !instrument.toPc.empty() && instrument.toPc.front().at <= instrument.now) {
        bytes[n++] = instrument.toPc.front().c;
        instrument.delivered.push_back(instrument.toPc.front().answer);
        instrument.toPc.pop_front();
    }
    if (read != nullptr)
        *read = n;
    if (scripted::Instrument::Tracing())
        std::fprintf(stderr, "%10.3f ms  PC read \"%s\"\n", instrument.now / 1000.0,
                     std::string(bytes, n).c_str());
    return TRUE;
}

BOOL SerialPort::ClearCommError(DWORD* errors, CommStatus* status) {
    if (errors != nullptr)
        *errors = 0;
    if (status != nullptr) {
        status->inQueue = static_cast<DWORD>(I().Arrived());
        status->outQueue = static_cast<DWORD>(I().OutQueue());
    }
    return TRUE;
}

void ReleaseOpenPorts() {}

BOOL SerialPort::CloseHandle() {
    impl_->open = false;
    return TRUE;
}

DWORD GetLastError() {
    return lastError;
}

DWORD TimeoutErrorCode() {
    return ETIMEDOUT;
}

DWORD InterruptedErrorCode() {
    return EINTR;
}

std::string PortDeviceName(int portNumber) {
    return "scripted" + std::to_string(portNumber);
}

int TermiosForCommState(const CommState&, termios&) {
    return 0;
}

Clock::time_point Now() {
    return Clock::time_point(std::chrono::microseconds(I().now));
}

bool SleepUntil(Clock::time_point until) {
    const auto at =
        std::chrono::duration_cast<std::chrono::microseconds>(until.time_since_epoch()).count();
    I().now = std::max<scripted::Us>(I().now, at);
    return true;
}

} // namespace sys
