// The serial port contract over the scripted instrument, on its virtual clock: a read waits by
// moving the clock, never by sleeping. It defines every symbol of the POSIX serial backend, so
// that the linker takes none of that backend into this target.
#include "scripted_instrument.h"
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
    state.baudRate = 115200;
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
    if (I().outputHeld)
        I().heldOutput.append(static_cast<const char*>(data), size);
    else
        I().Receive(std::string(static_cast<const char*>(data), size));
    if (written != nullptr)
        *written = size;
    return TRUE;
}

BOOL SerialPort::ReadFile(void* data, DWORD size, DWORD* read) {
    if (read != nullptr)
        *read = 0;
    auto& instrument = I();
    const auto limit =
        static_cast<scripted::Instrument::Ms>(impl_->timeouts.readTotalTimeoutConstant +
                                              impl_->timeouts.readTotalTimeoutMultiplier * size);
    if (size == 0 || instrument.toPc.empty() ||
        instrument.toPc.front().first > instrument.now + limit) {
        instrument.now += limit;
        return TRUE;
    }
    instrument.now = std::max(instrument.now, instrument.toPc.front().first);
    DWORD n = 0;
    auto* bytes = static_cast<char*>(data);
    while (n < size && !instrument.toPc.empty() &&
           instrument.toPc.front().first <= instrument.now) {
        bytes[n++] = instrument.toPc.front().second;
        instrument.toPc.pop_front();
    }
    if (read != nullptr)
        *read = n;
    if (scripted::Instrument::Tracing())
        std::fprintf(stderr, "%8lld ms  PC read \"%s\"\n", static_cast<long long>(instrument.now),
                     std::string(bytes, n).c_str());
    return TRUE;
}

BOOL SerialPort::ClearCommError(DWORD* errors, CommStatus* status) {
    if (errors != nullptr)
        *errors = 0;
    if (status != nullptr) {
        status->inQueue = static_cast<DWORD>(I().Arrived());
        status->outQueue = static_cast<DWORD>(I().heldOutput.size());
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

std::string PortDeviceName(int portNumber) {
    return "scripted" + std::to_string(portNumber);
}

int TermiosForCommState(const CommState&, termios&) {
    return 0;
}

} // namespace sys
