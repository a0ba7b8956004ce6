// The serial port as the Windows communications API offers it: open by port number, queues,
// purges, time-outs, the DCB fields the link sets, one-byte reads, whole writes, the output
// queue, and the system's own error codes and texts. Win32: the real calls. POSIX: termios.
#pragma once

#include "fw/types.h"

#include <cstdint>
#include <memory>
#include <string>

#ifndef _WINDOWS_
constexpr DWORD PURGE_TXABORT = 0x0001;
constexpr DWORD PURGE_RXABORT = 0x0002;
constexpr DWORD PURGE_TXCLEAR = 0x0004;
constexpr DWORD PURGE_RXCLEAR = 0x0008;
constexpr BYTE NOPARITY = 0;
constexpr BYTE ODDPARITY = 1;
constexpr BYTE EVENPARITY = 2;
constexpr BYTE ONESTOPBIT = 0;
constexpr BYTE TWOSTOPBITS = 2;
constexpr DWORD DTR_CONTROL_DISABLE = 0;
constexpr DWORD DTR_CONTROL_ENABLE = 1;
constexpr DWORD RTS_CONTROL_DISABLE = 0;
constexpr DWORD RTS_CONTROL_ENABLE = 1;
constexpr DWORD ERROR_FILE_NOT_FOUND = 2;
constexpr DWORD ERROR_ACCESS_DENIED = 5;
#endif

namespace sys {

struct CommTimeouts {
    DWORD readIntervalTimeout;
    DWORD readTotalTimeoutMultiplier;
    DWORD readTotalTimeoutConstant; // ms a read waits for its bytes
    DWORD writeTotalTimeoutMultiplier;
    DWORD writeTotalTimeoutConstant;
};

// The fields of the Windows DCB that the link reads or sets. The port keeps every other field
// as it reported it.
struct CommState {
    DWORD baudRate = 0;
    BYTE byteSize = 8;
    BYTE parity = NOPARITY;
    BYTE stopBits = ONESTOPBIT;
    bool outxCtsFlow = false;
    bool outxDsrFlow = false;
    DWORD dtrControl = DTR_CONTROL_DISABLE;
    bool dsrSensitivity = false;
    bool outX = false;
    bool inX = false;
    DWORD rtsControl = RTS_CONTROL_DISABLE;
    std::shared_ptr<void> native; // the platform's whole state, as the port reported it
};

struct CommStatus {
    DWORD inQueue = 0;  // cbInQue
    DWORD outQueue = 0; // cbOutQue
};

// One open port; closed by CloseHandle or by the destructor.
class SerialPort {
  public:
    SerialPort();
    ~SerialPort();
    SerialPort(const SerialPort&) = delete;
    SerialPort& operator=(const SerialPort&) = delete;

    // CreateFile on "\\.\COMn": read and write, no sharing. The system's error code, 0 on
    // success.
    DWORD Open(int portNumber);
    bool IsOpen() const;
    // True once the device has gone or hung up (an input/output error): only closing is left.
    bool DeviceLost() const;

    BOOL SetupComm(DWORD inQueue, DWORD outQueue);
    BOOL PurgeComm(DWORD flags);
    BOOL SetCommTimeouts(const CommTimeouts& timeouts);
    BOOL GetCommState(CommState& state);
    BOOL SetCommState(const CommState& state);
    // Writes all of it within the write time-out (none when both write values are 0); FALSE
    // with the system's code when the port does not take it all in time.
    BOOL WriteFile(const void* data, DWORD size, DWORD* written);
    // Reads up to size bytes within the read time-out; fewer (0) when it runs out.
    BOOL ReadFile(void* data, DWORD size, DWORD* read);
    BOOL ClearCommError(DWORD* errors, CommStatus* status);
    BOOL CloseHandle();

  private:
    friend void ReleaseOpenPorts();
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

// The code of the last failed call of this thread.
DWORD GetLastError();
// The system's code for an operation that ran out of time.
DWORD TimeoutErrorCode();
// The system's code for an operation that a stop request ended.
DWORD InterruptedErrorCode();

// Gives back every port still open, as closing would (POSIX: the line as it was found,
// exclusive use, the lock file), for an end of the program that runs no destructors.
void ReleaseOpenPorts();

// The device behind COMn (POSIX: the port map; Windows: "\\.\COMn").
std::string PortDeviceName(int portNumber);

} // namespace sys
