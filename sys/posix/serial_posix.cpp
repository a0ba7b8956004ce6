// The Windows serial contract emulated with termios.
#include "sys/posix/serial_flags.h"
#include "sys/posix/termios_state.h"
#include "sys/posix/usb_ports.h"
#include "sys/posix/uucp_lock.h"
#include "sys/serial.h"
#include "sys/stop.h"

#include <fcntl.h>
#include <linux/serial.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <optional>
#include <chrono>
#include <cstring>

namespace sys {

namespace posix {
SerialFlagsCall serialFlagsCall = [](int fd, unsigned long request, serial_struct* serial) {
    return ::ioctl(fd, request, serial);
};
} // namespace posix

namespace {

thread_local DWORD lastError = 0;

BOOL Fail(int code) {
    lastError = static_cast<DWORD>(code);
    return FALSE;
}

// Modem-line requests that the device does not have (a pseudo-terminal) are not failures.
bool IsUnsupported(int code) {
    return code == ENOTTY || code == EINVAL || code == ENOTSUP;
}

// Unix98 pseudo-terminal slaves: majors 136 to 143.
bool IsPseudoTerminal(int fd) {
    struct stat st {};
    return ::fstat(fd, &st) == 0 && S_ISCHR(st.st_mode) && major(st.st_rdev) >= 136 &&
           major(st.st_rdev) <= 143;
}

} // namespace

struct SerialPort::Impl {
    // Every port open now, for an end that runs no destructors. Plain storage that no exit
    // handler destroys: ports are still closed by destructors that run after it would be.
    struct Registry {
        Impl* ports[16];
        int count;
        void Add(Impl* p) {
            if (count < 16)
                ports[count++] = p;
        }
        void Remove(Impl* p) {
            for (int i = 0; i < count; ++i)
                if (ports[i] == p) {
                    ports[i] = ports[--count];
                    return;
                }
        }
    };
    static Registry& OpenPorts() {
        static Registry registry{};
        return registry;
    }

    int fd = -1;
    CommTimeouts timeouts{0, 0, 10000, 0, 0};
    bool pseudoTerminal = false;
    std::optional<termios> before; // the line as it was found, put back at closing
    // The driver's low-latency flag as it was found, when the opening changed it.
    std::optional<bool> lowLatencyBefore;
    posix::UucpLock lock;
    bool lost = false; // the device went away or hung up: only closing is left

    BOOL Fail(int code) {
        if (code == EIO || code == ENXIO || code == ENODEV)
            lost = true;
        return sys::Fail(code);
    }

    // A USB adapter holds a short answer until its latency timer expires, 16 ms by default,
    // which every acknowledged line would wait for: while the port is ours its driver hands
    // over what arrives at once (ftdi_sio sets the timer to 1 ms). An ordinary user may set the
    // flag; a device without it (a pseudo-terminal) or a driver that refuses it is no failure.
    void SetLowLatency(bool on) {
        serial_struct serial{};
        if (posix::serialFlagsCall(fd, TIOCGSERIAL, &serial) != 0)
            return;
        const bool was = (serial.flags & ASYNC_LOW_LATENCY) != 0;
        if (was == on)
            return;
        serial.flags = on ? serial.flags | ASYNC_LOW_LATENCY : serial.flags & ~ASYNC_LOW_LATENCY;
        if (posix::serialFlagsCall(fd, TIOCSSERIAL, &serial) == 0 && !lowLatencyBefore)
            lowLatencyBefore = was;
    }

    // Undoes everything the opening did, so that the port is as the next user expects it.
    int Close() {
        if (lowLatencyBefore)
            SetLowLatency(*lowLatencyBefore);
        lowLatencyBefore.reset();
        if (before)
            ::tcsetattr(fd, TCSANOW, &*before);
        before.reset();
        ::ioctl(fd, TIOCNXCL);
        const int result = ::close(fd);
        const int error = errno;
        fd = -1;
        lock.Release();
        OpenPorts().Remove(this);
        errno = error;
        return result;
    }
};

SerialPort::SerialPort() : impl_(std::make_unique<Impl>()) {}

void ReleaseOpenPorts() {
    auto& open = SerialPort::Impl::OpenPorts();
    while (open.count > 0)
        open.ports[open.count - 1]->Close();
}

SerialPort::~SerialPort() {
    if (impl_->fd >= 0)
        impl_->Close();
}

bool SerialPort::IsOpen() const {
    return impl_->fd >= 0;
}

bool SerialPort::DeviceLost() const {
    return impl_->fd >= 0 && impl_->lost;
}

DWORD SerialPort::Open(int portNumber) {
    if (impl_->fd >= 0) {
        lastError = EBUSY;
        return lastError;
    }
    const std::string device = PortDeviceName(portNumber);
    if (device.empty()) {
        lastError = ENOENT;
        return lastError;
    }
    // No sharing: a port that another program holds, by its lock file, by flock or by its
    // exclusive mode, is refused as Windows refuses it.
    if (const int held = impl_->lock.Acquire(device); held != 0) {
        lastError = static_cast<DWORD>(held);
        return lastError;
    }
    // Non-blocking, so that a modem line cannot hold the open and every read and write is
    // bounded by its own time-out (poll) rather than by the driver.
    const int fd = ::open(device.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        lastError = static_cast<DWORD>(errno == EBUSY ? EACCES : errno);
        impl_->lock.Release();
        return lastError;
    }
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        ::close(fd);
        impl_->lock.Release();
        lastError = EACCES;
        return lastError;
    }
    ::ioctl(fd, TIOCEXCL);
    posix::RememberPortDevice(portNumber, device);
    impl_->fd = fd;
    impl_->lost = false;
    Impl::OpenPorts().Add(impl_.get());
    impl_->timeouts = CommTimeouts{0, 0, 10000, 0, 0};
    impl_->pseudoTerminal = IsPseudoTerminal(fd);
    termios before{};
    if (::tcgetattr(fd, &before) == 0)
        impl_->before = before;
    impl_->SetLowLatency(true);
    return 0;
}

BOOL SerialPort::SetupComm(DWORD, DWORD) {
    // The driver sizes its own queues.
    return impl_->fd >= 0 ? TRUE : impl_->Fail(EBADF);
}

BOOL SerialPort::PurgeComm(DWORD flags) {
    const bool rx = (flags & (PURGE_RXABORT | PURGE_RXCLEAR)) != 0;
    const bool tx = (flags & (PURGE_TXABORT | PURGE_TXCLEAR)) != 0;
    if (!rx && !tx)
        return TRUE;
    const int queue = rx && tx ? TCIOFLUSH : rx ? TCIFLUSH : TCOFLUSH;
    return ::tcflush(impl_->fd, queue) == 0 ? TRUE : impl_->Fail(errno);
}

BOOL SerialPort::SetCommTimeouts(const CommTimeouts& timeouts) {
    if (impl_->fd < 0)
        return impl_->Fail(EBADF);
    impl_->timeouts = timeouts;
    return TRUE;
}

BOOL SerialPort::GetCommState(CommState& state) {
    auto tio = std::make_shared<termios>();
    if (::tcgetattr(impl_->fd, tio.get()) != 0)
        return impl_->Fail(errno);
    const speed_t speed = ::cfgetospeed(tio.get());
    state.baudRate = RateOfSpeed(speed);
    switch (tio->c_cflag & CSIZE) {
    case CS5: state.byteSize = 5; break;
    case CS6: state.byteSize = 6; break;
    case CS7: state.byteSize = 7; break;
    default: state.byteSize = 8; break;
    }
    state.parity = (tio->c_cflag & PARENB) == 0   ? NOPARITY
                   : (tio->c_cflag & PARODD) != 0 ? ODDPARITY
                                                  : EVENPARITY;
    state.stopBits = (tio->c_cflag & CSTOPB) != 0 ? TWOSTOPBITS : ONESTOPBIT;
    state.outxCtsFlow = (tio->c_cflag & CRTSCTS) != 0;
    state.outxDsrFlow = false; // termios has no DSR flow control
    state.dsrSensitivity = false;
    state.outX = (tio->c_iflag & IXON) != 0;
    state.inX = (tio->c_iflag & IXOFF) != 0;
    int lines = 0;
    if (::ioctl(impl_->fd, TIOCMGET, &lines) != 0)
        lines = 0;
    state.dtrControl = (lines & TIOCM_DTR) != 0 ? DTR_CONTROL_ENABLE : DTR_CONTROL_DISABLE;
    state.rtsControl = (lines & TIOCM_RTS) != 0 ? RTS_CONTROL_ENABLE : RTS_CONTROL_DISABLE;
    state.native = tio;
    return TRUE;
}

BOOL SerialPort::SetCommState(const CommState& state) {
    termios tio{};
    if (state.native)
        tio = *static_cast<const termios*>(state.native.get());
    else if (::tcgetattr(impl_->fd, &tio) != 0)
        return impl_->Fail(errno);
    if (const int error = TermiosForCommState(state, tio); error != 0)
        return impl_->Fail(error);
    if (::tcsetattr(impl_->fd, TCSANOW, &tio) != 0) {
        // A pseudo-terminal forces 8 data bits without parity whatever it is given, and the C
        // library reports that as EINVAL. Like a modem line the device lacks, it is not a
        // failure when everything else took. Any other device that refuses a setting cannot
        // talk to the instrument as asked: that is the opening's failure.
        const int error = errno;
        termios applied{};
        constexpr tcflag_t format = CSIZE | PARENB | PARODD;
        if (!impl_->pseudoTerminal || error != EINVAL || ::tcgetattr(impl_->fd, &applied) != 0 ||
            (applied.c_cflag & ~format) != (tio.c_cflag & ~format) ||
            applied.c_iflag != tio.c_iflag || ::cfgetospeed(&applied) != ::cfgetospeed(&tio))
            return impl_->Fail(error);
    }

    int dtr = TIOCM_DTR, rts = TIOCM_RTS;
    const bool raiseDtr = state.dtrControl == DTR_CONTROL_ENABLE;
    const bool raiseRts = state.rtsControl == RTS_CONTROL_ENABLE;
    if (::ioctl(impl_->fd, raiseDtr ? TIOCMBIS : TIOCMBIC, &dtr) != 0 && !IsUnsupported(errno))
        return impl_->Fail(errno);
    if (::ioctl(impl_->fd, raiseRts ? TIOCMBIS : TIOCMBIC, &rts) != 0 && !IsUnsupported(errno))
        return impl_->Fail(errno);
    return TRUE;
}

// Windows counts the write time-out from the call: all of it must be taken by then.
BOOL SerialPort::WriteFile(const void* data, DWORD size, DWORD* written) {
    using Clock = std::chrono::steady_clock;
    const auto* bytes = static_cast<const char*>(data);
    const CommTimeouts& t = impl_->timeouts;
    const long long limitMs =
        static_cast<long long>(t.writeTotalTimeoutConstant) +
        static_cast<long long>(t.writeTotalTimeoutMultiplier) * static_cast<long long>(size);
    const auto deadline = Clock::now() + std::chrono::milliseconds(limitMs);
    DWORD done = 0;
    int error = 0;
    while (done < size && error == 0) {
        const ssize_t n = ::write(impl_->fd, bytes + done, size - done);
        if (n >= 0) {
            done += static_cast<DWORD>(n);
            continue;
        }
        if (errno == EINTR)
            continue;
        if (errno != EAGAIN) {
            error = errno;
            break;
        }
        // The driver's queue is full or flow control holds it: wait for room, in time.
        int waitMs = -1;
        if (limitMs > 0) {
            const auto left =
                std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
            if (left.count() <= 0) {
                error = ETIMEDOUT;
                break;
            }
            waitMs = static_cast<int>(std::min<long long>(left.count(), 0x7FFFFFFF));
        }
        pollfd pfd[2] = {{impl_->fd, POLLOUT, 0}, {StopRequestDescriptor(), POLLIN, 0}};
        if (::poll(pfd, 2, waitMs) < 0 && errno != EINTR)
            error = errno;
        else if ((pfd[0].revents & (POLLERR | POLLHUP)) != 0 && (pfd[0].revents & POLLOUT) == 0)
            error = EIO;
        else if (StopRequest() != 0)
            error = EINTR; // the program is asked to stop: the rest is not sent
    }
    if (written != nullptr)
        *written = done;
    return error == 0 ? TRUE : impl_->Fail(error);
}

BOOL SerialPort::ReadFile(void* data, DWORD size, DWORD* read) {
    if (read != nullptr)
        *read = 0;
    if (impl_->fd < 0)
        return impl_->Fail(EBADF);
    const CommTimeouts& t = impl_->timeouts;
    const long long limitMs =
        static_cast<long long>(t.readTotalTimeoutConstant) +
        static_cast<long long>(t.readTotalTimeoutMultiplier) * static_cast<long long>(size);
    // A stop request ends the wait as its time-out would.
    pollfd pfd[2] = {{impl_->fd, POLLIN, 0}, {StopRequestDescriptor(), POLLIN, 0}};
    const int ready = ::poll(pfd, 2, static_cast<int>(limitMs > 0x7FFFFFFF ? 0x7FFFFFFF : limitMs));
    if (ready < 0 && errno != EINTR)
        return impl_->Fail(errno);
    if (ready <= 0 || (pfd[0].revents & (POLLIN | POLLHUP | POLLERR)) == 0)
        return TRUE; // the time-out or a stop request: no byte, not an error
    ssize_t n;
    do {
        n = ::read(impl_->fd, data, size);
    } while (n < 0 && errno == EINTR);
    if (n < 0 && errno == EAGAIN)
        n = 0; // taken by someone else between the poll and the read: nothing for us
    else if (n < 0)
        return impl_->Fail(errno);
    if (n == 0 && (pfd[0].revents & POLLHUP) != 0)
        return impl_->Fail(EIO); // the other end hung up
    if (read != nullptr)
        *read = static_cast<DWORD>(n);
    return TRUE;
}

BOOL SerialPort::ClearCommError(DWORD* errors, CommStatus* status) {
    if (errors != nullptr)
        *errors = 0;
    if (status == nullptr)
        return TRUE;
    int out = 0, in = 0;
    if (::ioctl(impl_->fd, TIOCOUTQ, &out) != 0)
        return impl_->Fail(errno);
    if (::ioctl(impl_->fd, FIONREAD, &in) != 0)
        return impl_->Fail(errno);
    status->outQueue = static_cast<DWORD>(out);
    status->inQueue = static_cast<DWORD>(in);
    return TRUE;
}

BOOL SerialPort::CloseHandle() {
    if (impl_->fd < 0)
        return impl_->Fail(EBADF);
    return impl_->Close() == 0 ? TRUE : impl_->Fail(errno);
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

} // namespace sys
