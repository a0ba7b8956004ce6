#pragma once

#include "fw/fw.h"
#include "link/link_host.h"
#include "link/link_settings.h"
#include "sys/serial.h"
#include "sys/timer.h"

#include <cstdint>
#include <optional>
#include <string>

// The program's one serial link: a hidden window, so that it can own the link timer, and the
// line exchange with the instrument's monitor. What it shows, it shows through its host.
class CQelComm : public fw::CWnd {
  public:
    static constexpr UINT linkTimerId = 101;
    static constexpr UINT linkTimerPeriodMs = 1000;
    static constexpr DWORD defaultReadTimeoutMs = 10000;
    // A write that the port cannot take, or a line that cannot leave it, within this time has
    // failed: flow control held forever must end in a message, not a hang.
    static constexpr DWORD writeTimeoutMs = 10000;
    static constexpr std::size_t answerBufferSize = 256;
    static constexpr std::size_t answerMaxChars = 255;
    static constexpr int identifyTimeoutSeconds = 5;

    // Results of OpenAndIdentify.
    enum IdentifyResult {
        identified = 1,
        cancelled = 2,
        portFailed = 3,
        retryRequested = 4,
        alreadyOpen = 5,
    };

    CQelComm(fw::CWnd* parent, LinkHost& host);
    ~CQelComm() override;

    // 0, or the system's error code of the step that failed (the port is then closed).
    DWORD OpenPort();
    // 1 when the port was not open, 0 when closed, -1 when closing failed (shown).
    int ClosePort();
    // True when the last write failed or the device went away or hung up. Such a port is
    // closed before the failure is shown (DropBrokenPort), so that an adapter plugged back in
    // while the box is up gets its name back instead of a new one.
    bool LinkBroken() const {
        return port_.IsOpen() && (lastWriteError_ != 0 || port_.DeviceLost());
    }
    // Closes a broken port without a box of its own: the failure that broke it is the one told.
    void DropBrokenPort();
    static std::string SystemErrorText(DWORD code);
    bool IsOpen() const { return port_.IsOpen(); }
    // True when the last OpenAndIdentify opened the port, even if a broken link closed it since.
    bool OpenedForIdentification() const { return openedForIdentification_; }

    // The line exchange. text is cut in place at its first CR or LF; 0 when handed to the
    // port (and, with waitUntilSent, gone from it), -1 when the write failed (LastWriteError).
    // What the instrument sent before is dropped first, so that a late answer to an earlier
    // line is not read as this line's.
    int SendLine(std::string& text, bool waitUntilSent);
    // The system's code of the last write when it failed, else 0.
    DWORD LastWriteError() const { return lastWriteError_; }
    // True when bytes from the instrument are waiting to be read; line ends, blanks and zeros
    // alone are dropped and are no input.
    bool InputPending();
    void PaceBeforeSend();
    // 0 when the output queue emptied (or a quit came), -1 after 9 to 10 s.
    int WaitOutputDrained();
    // 0 when an answer (maybe partial) was read, else the "no answer" message identifier.
    int ReadAnswer(std::string& answer, std::size_t maxChars, int timeoutSeconds);
    BOOL DiscardInput();
    static std::string EscapeForDisplay(const std::string& text);
    int OpenAndIdentify(std::string& answer);

    // The pause before a write, in milliseconds, for a count of character times.
    static long PauseMilliseconds(unsigned readyWaitCount, const sys::CommState& state);

    LinkSettings settings{1, 4, 1, 0, 2, 2}; // COM1, 9600, 8 bits, 1 stop bit, no parity, none
    std::int32_t tickCountdown = 0;          // seconds left for the output-drain wait

    void OnTimer(UINT timerId) override;

  private:
    BOOL SetReadTimeout(DWORD milliseconds);
    // Reads what the port holds into pendingInput_, waiting up to the read time-out for a
    // first byte; false when none came.
    bool FetchInput();
    // Drops what the instrument sent and nobody read.
    void DropPendingInput();
    LinkHost& host_;
    sys::SerialPort port_;
    DWORD lastWriteError_ = 0;
    bool openedForIdentification_ = false;
    sys::CommState lineState_; // as the port reported it once set up
    DWORD readTimeoutMs_ = 0;  // the read time-out the port has; 0 when unknown
    std::string pendingInput_; // read from the port, not yet part of an answer
    char readBuffer_[256] = {};
    std::optional<sys::FineTimer> fineTimer_; // while the port is open
};

// The port state that the settings ask for, from the state the port reported.
sys::CommState CommStateFor(const LinkSettings& settings, sys::CommState reported);
