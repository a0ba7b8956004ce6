// The Windows serial port: the real calls with the values the link gives.
#include "sys/win32/utf16.h"

#include "sys/serial.h"

#include <cstdio>

namespace sys {

std::string PortDeviceName(int portNumber) {
    char name[32];
    std::snprintf(name, sizeof name, "\\\\.\\COM%d", portNumber);
    return name;
}

// A named mutex per port, held while the port is open: the exclusive use that the share mode
// asks for, which Wine does not give on serial ports.
struct PortClaim {
    HANDLE mutex = nullptr;
    // 0, or ERROR_ACCESS_DENIED when another process holds the port.
    DWORD Take(int portNumber) {
        const std::wstring name = L"Global\\Qel32-COM" + std::to_wstring(portNumber);
        mutex = CreateMutexW(nullptr, FALSE, name.c_str());
        if (mutex == nullptr)
            return 0; // no claim to be had: the share mode alone decides
        if (::GetLastError() == ERROR_ALREADY_EXISTS) {
            Release();
            return ERROR_ACCESS_DENIED;
        }
        return 0;
    }
    void Release() {
        if (mutex != nullptr)
            ::CloseHandle(mutex);
        mutex = nullptr;
    }
    ~PortClaim() { Release(); }
};

struct SerialPort::Impl {
    HANDLE handle = INVALID_HANDLE_VALUE;
    PortClaim claim;
    bool lost = false;
    // A read or status call that fails (not a time-out, which succeeds with fewer bytes) means
    // the device is gone: a USB adapter pulled out answers so until its handle is closed.
    BOOL Check(BOOL ok) {
        if (!ok)
            lost = true;
        return ok;
    }
};

SerialPort::SerialPort() : impl_(std::make_unique<Impl>()) {}

SerialPort::~SerialPort() {
    if (impl_->handle != INVALID_HANDLE_VALUE)
        ::CloseHandle(impl_->handle);
}

bool SerialPort::IsOpen() const {
    return impl_->handle != INVALID_HANDLE_VALUE;
}

bool SerialPort::DeviceLost() const {
    return IsOpen() && impl_->lost;
}

DWORD SerialPort::Open(int portNumber) {
    if (const DWORD held = impl_->claim.Take(portNumber); held != 0)
        return held;
    impl_->handle = CreateFileA(PortDeviceName(portNumber).c_str(), GENERIC_READ | GENERIC_WRITE, 0,
                                nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    impl_->lost = false;
    if (impl_->handle != INVALID_HANDLE_VALUE)
        return 0;
    const DWORD error = ::GetLastError();
    impl_->claim.Release();
    return error;
}

BOOL SerialPort::SetupComm(DWORD inQueue, DWORD outQueue) {
    return ::SetupComm(impl_->handle, inQueue, outQueue);
}

BOOL SerialPort::PurgeComm(DWORD flags) {
    return ::PurgeComm(impl_->handle, flags);
}

BOOL SerialPort::SetCommTimeouts(const CommTimeouts& t) {
    COMMTIMEOUTS native{t.readIntervalTimeout, t.readTotalTimeoutMultiplier,
                        t.readTotalTimeoutConstant, t.writeTotalTimeoutMultiplier,
                        t.writeTotalTimeoutConstant};
    return ::SetCommTimeouts(impl_->handle, &native);
}

BOOL SerialPort::GetCommState(CommState& state) {
    auto dcb = std::make_shared<DCB>();
    dcb->DCBlength = sizeof(DCB);
    if (!::GetCommState(impl_->handle, dcb.get()))
        return FALSE;
    state.baudRate = dcb->BaudRate;
    state.byteSize = dcb->ByteSize;
    state.parity = dcb->Parity;
    state.stopBits = dcb->StopBits;
    state.outxCtsFlow = dcb->fOutxCtsFlow != 0;
    state.outxDsrFlow = dcb->fOutxDsrFlow != 0;
    state.dtrControl = dcb->fDtrControl;
    state.dsrSensitivity = dcb->fDsrSensitivity != 0;
    state.outX = dcb->fOutX != 0;
    state.inX = dcb->fInX != 0;
    state.rtsControl = dcb->fRtsControl;
    state.native = dcb;
    return TRUE;
}

BOOL SerialPort::SetCommState(const CommState& state) {
    DCB dcb{};
    dcb.DCBlength = sizeof(DCB);
    if (state.native)
        dcb = *static_cast<const DCB*>(state.native.get());
    dcb.BaudRate = state.baudRate;
    dcb.ByteSize = state.byteSize;
    dcb.Parity = state.parity;
    dcb.StopBits = state.stopBits;
    dcb.fOutxCtsFlow = state.outxCtsFlow;
    dcb.fOutxDsrFlow = state.outxDsrFlow;
    dcb.fDtrControl = state.dtrControl;
    dcb.fDsrSensitivity = state.dsrSensitivity;
    dcb.fOutX = state.outX;
    dcb.fInX = state.inX;
    dcb.fRtsControl = state.rtsControl;
    return ::SetCommState(impl_->handle, &dcb);
}

BOOL SerialPort::WriteFile(const void* data, DWORD size, DWORD* written) {
    DWORD done = 0;
    BOOL ok = ::WriteFile(impl_->handle, data, size, &done, nullptr);
    // A write time-out completes the call with success and fewer bytes written.
    if (ok && done < size) {
        SetLastError(ERROR_TIMEOUT);
        ok = FALSE;
    }
    if (written != nullptr)
        *written = done;
    return ok;
}

BOOL SerialPort::ReadFile(void* data, DWORD size, DWORD* read) {
    DWORD done = 0;
    const BOOL ok = impl_->Check(::ReadFile(impl_->handle, data, size, &done, nullptr));
    if (read != nullptr)
        *read = done;
    return ok;
}

BOOL SerialPort::ClearCommError(DWORD* errors, CommStatus* status) {
    COMSTAT stat{};
    DWORD flags = 0;
    const BOOL ok = impl_->Check(::ClearCommError(impl_->handle, &flags, &stat));
    if (errors != nullptr)
        *errors = flags;
    if (status != nullptr) {
        status->inQueue = stat.cbInQue;
        status->outQueue = stat.cbOutQue;
    }
    return ok;
}

// Windows gives the port back, and its state, when the process ends.
void ReleaseOpenPorts() {}

BOOL SerialPort::CloseHandle() {
    const HANDLE handle = impl_->handle;
    impl_->handle = INVALID_HANDLE_VALUE;
    const BOOL closed = ::CloseHandle(handle);
    const DWORD error = ::GetLastError();
    impl_->claim.Release();
    SetLastError(error);
    return closed;
}

DWORD GetLastError() {
    return ::GetLastError();
}

DWORD TimeoutErrorCode() {
    return ERROR_TIMEOUT;
}

DWORD InterruptedErrorCode() {
    return ERROR_OPERATION_ABORTED;
}

} // namespace sys
