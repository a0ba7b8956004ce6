#pragma once

#include "fw/fw.h"
#include "link/link_host.h"
#include "link/link_settings.h"
#include "sys/serial.h"
#include "sys/timer.h"

#include <chrono>
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
    // The error of the last opening that failed.
    DWORD LastOpenError() const { return lastOpenError_; }
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

    // The line exchange moves bytes and never drops what the instrument sent: what an answer
    // belongs to is its caller's to judge (the transmission sequence).
    //
    // The pause, then the line: 0 when handed to the port (and, with waitUntilSent, gone from
    // it), -1 when not (LastWriteError).
    int SendLine(const std::string& text, bool waitUntilSent);
    // The pause of a few character times that lets the instrument get ready for a line; false
    // when the work was stopped during it.
    bool PaceBeforeSend();
    // text and one LF, without a pause; the caller's text holds no line end.
    int WriteLine(const std::string& text, bool waitUntilSent);
    // The system's code of the last write when it failed, else 0.
    DWORD LastWriteError() const { return lastWriteError_; }
    // 0 when the output queue emptied (or a quit came), -1 after 9 to 10 s.
    int WaitOutputDrained();
    // 0 when an answer (maybe partial) was read, else the "no answer" message identifier.
    int ReadAnswer(std::string& answer, std::size_t maxChars, int timeoutSeconds);
    // What has arrived and no answer has taken yet, without waiting.
    const std::string& PendingInput();
    // Forgets the first count bytes of the pending input.
    void DropInput(std::size_t count);
    // The port's input purged and the pending input forgotten: what came before is no answer.
    BOOL DiscardInput();
    // True once a stop request ended a wait: nothing more may be sent until the port is opened
    // again.
    bool Stopped() const { return stopped_; }
    // True while the instrument is asked to identify itself: no dialog's loop serves the
    // interface then, so the waits do.
    bool Identifying() const { return identifying_; }
    // The program is asked to close while the link waits outside any dialog: the wait ends as
    // stopped.
    void StopWaiting() { closeRequested_ = true; }
    static std::string EscapeForDisplay(const std::string& text);
    int OpenAndIdentify(std::string& answer);

    // The pause before a write, in milliseconds, for a count of character times.
    static long PauseMilliseconds(unsigned readyWaitCount, const sys::CommState& state);

    LinkSettings settings{1,
                          LinkSettings::baudIndex9600,
                          1,
                          0,
                          LinkSettings::parityNone,
                          LinkSettings::handshakeNone}; // COM1, 8 data bits, 1 stop bit
    std::int32_t tickCountdown = 0;                     // seconds left for the output-drain wait

    void OnTimer(UINT timerId) override;

  private:
    using TimePoint = std::chrono::steady_clock::time_point;
    BOOL SetTimeouts(DWORD readMs, DWORD writeMs);
    BOOL SetReadTimeout(DWORD milliseconds) { return SetTimeouts(milliseconds, writeTimeoutMs); }
    // The read time-out for a wait with this much left: the whole of it, or a slice while the
    // identification serves the interface between reads.
    void SetReadWait(std::chrono::milliseconds left);
    // Reads what the port holds into pendingInput_, waiting up to limit for a first byte;
    // false when none came (or the work was stopped).
    bool FetchInput(std::chrono::milliseconds limit);
    // A stop request woke a wait that ends at deadline: true when the work goes on, the
    // deadline moved by the time the question took, so that the wait has the time it had left.
    bool GoOnAfterStop(TimePoint& deadline);
    // A slice of a wait ending at deadline is over: while the instrument identifies itself the
    // interface is served (a close ends the wait as a cancel), and a stop request is. False
    // when the wait ends there.
    bool BetweenSlices(TimePoint& deadline);
    // Where the next slice of a wait ends: the deadline, or a slice while the identification
    // serves the interface.
    TimePoint SliceEnd(TimePoint deadline) const;
    LinkHost& host_;
    sys::SerialPort port_;
    DWORD lastWriteError_ = 0;
    DWORD lastOpenError_ = 0;
    bool openedForIdentification_ = false;
    bool stopped_ = false;
    bool identifying_ = false;
    bool closeRequested_ = false;
    sys::CommState lineState_; // as the port reported it once set up
    DWORD readTimeoutMs_ = 0;  // the read time-out the port has; 0 when unknown
    DWORD writeTimeoutMs_ = 0; // the write time-out the port has
    std::string pendingInput_; // read from the port, not yet part of an answer
    char readBuffer_[answerBufferSize] = {};
    std::optional<sys::FineTimer> fineTimer_; // while the port is open
};

// The port state that the settings ask for, from the state the port reported.
sys::CommState CommStateFor(const LinkSettings& settings, sys::CommState reported);
