// Operating-system services the system calls, shaped like the Windows calls it is written
// against. One contract, two backends (sys/win32, sys/posix).
#pragma once

#include "fw/types.h"

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <optional>
#include <string>
#include <vector>

namespace sys {

// Makes descriptors 0, 1 and 2 valid before anything is opened: one that is closed is opened on
// /dev/null, so that no file or port takes its number (POSIX; nothing on Windows).
void SecureStandardDescriptors();

// Full path of the running program, UTF-8.
std::string ExecutablePath();

// The user's profile value (GetProfileString): at most maxChars - 1 characters, def when the
// value is absent.
std::string GetProfileString(const std::string& section, const std::string& key,
                             const std::string& def, std::size_t maxChars);

// The run-time's abnormal termination: status 3, at once, no clean-up of any kind.
[[noreturn]] void TerminateAbnormally();

// The path to hand to fopen for a name the user gave, matched as Windows matches names:
// components without regard to case, trailing blanks and dots of a name ignored. Returns the
// name unchanged when nothing matches, so that the open fails with the usual error.
std::string ResolveUserFileName(const std::string& name);
// The names a name the user gave could stand for when it is not there as typed and several
// differ from it only in case, on a disk that tells them apart: then no choice is made, and
// the name is not found. Empty otherwise (always on Windows).
std::vector<std::string> CaseTwins(const std::string& name);

// Opens a file the user named (matched as above) for reading in binary. Only a regular file is
// opened: a FIFO, a device or a folder is refused at once, never waited on or read. nullptr on
// failure, with LastFileError() set (POSIX: EISDIR for a folder, EINVAL for anything else that is
// not a file).
std::FILE* OpenRegularFile(const std::string& name);
// The system's code for this thread's last failed file operation: errno on POSIX, GetLastError()
// on Windows. What SystemErrorText takes.
DWORD LastFileError();
// The system's message for an error code, in the user's language (POSIX: the locale's
// LC_MESSAGES, as UTF-8; Windows: FormatMessage, which ends it with CR LF); empty when the
// system has none.
std::string SystemErrorText(DWORD code);
// Size in bytes of an open file; -1 when the system cannot tell.
std::int64_t StreamSize(std::FILE* stream);
// Back to the start of an open file; false on failure, with errno set.
bool SeekToStart(std::FILE* stream);

// The plain files of the current directory whose names match pattern ('*' and '?', without
// regard to case), as the list box directory listing with attribute 0 gives them: no
// directories, no hidden files; on Windows no read-only files, on POSIX no files this user
// cannot read (write permission is no matter there).
std::vector<std::string> ListPlainFiles(const std::string& pattern);
// Makes the folder of the upgrade and read-me files the current directory: on Windows the
// program's own folder, on POSIX the one the command was started in. False when it cannot.
bool EnterFilesFolder();
// True when name exists (a file-status query), relative to the current directory.
bool FileExists(const std::string& name);

// Where the upgrade journal goes: QEL32_JOURNAL when it is set; else the user's own.
std::string JournalPath();
// The user's own journal: Windows %LOCALAPPDATA%\Qel32\journal.jsonl, POSIX
// $XDG_STATE_HOME/qel32/journal.jsonl (by default ~/.local/state/qel32/journal.jsonl).
std::string OwnJournalPath();
// Why a line could not be appended: a rule of the journal's own, or the system's error.
struct AppendFailure {
    enum class Kind {
        System,        // code: the system's error
        NoPlace,       // no path: no folder is known for it
        ForeignLink,   // subject: a link on the way that another user owns
        ForeignFolder, // its folder belongs to another user
        NotRegular,    // it is not a regular file
        ForeignFile,   // it belongs to another user
        Partial,       // the disk took only part of the line
    } kind = Kind::System;
    DWORD code = 0;
    std::string subject;
};
// Appends one line (a line feed is added) to a file, making its folders; false with the reason
// when it cannot.
bool AppendLine(const std::string& path, const std::string& line, AppendFailure& failure);
// True when AppendLine could append to path now (nothing is written); else the reason.
bool CheckAppendable(const std::string& path, AppendFailure& failure);
// A line for whoever started the program from a terminal (POSIX: standard error; a Windows
// program has none).
void WarnOnStandardError(const std::string& line);
// The SHA-256 of a file's bytes as lower-case hexadecimal (what sha256sum prints); empty when
// it cannot be read. The name is matched as OpenRegularFile matches it.
std::string FileSha256(const std::string& name);

// count random bytes from the system's generator; false when it gave none.
bool RandomBytes(void* bytes, std::size_t count);
// count random bytes as lower-case hexadecimal (a run's id); empty when there are none.
std::string RandomHex(std::size_t count);
// The value of an environment variable (UTF-8), or nothing when it is not set.
std::optional<std::string> EnvironmentValue(const std::string& name);

// The user the program runs as (its login name; the number where it has none) and the machine
// it runs on, for the journal.
std::string UserName();
std::string HostName();
// The absolute path of a file the user named (matched as OpenRegularFile matches it); the name
// as given when the system cannot tell.
std::string FullPath(const std::string& name);

// What port n is on this machine: its device and, for a USB adapter, its identity (POSIX).
struct PortDescription {
    std::string device; // "/dev/ttyUSB0"; Windows "\\.\COM5"
    bool usb = false;
    std::string vendorId, productId, serial; // as the system gives them (hex ids)
};
PortDescription DescribePort(int portNumber);
// Why port n could not be opened, as far as the system tells (POSIX; Windows tells nothing
// more than its error text).
struct PortOpenDiagnosis {
    bool absent = false; // no device by that name
    // A device this user may not open: its group, owner and mode, and whether joining that group
    // would let the user in (a group that may read and write it, and not the system's own).
    std::string group, owner;
    unsigned mode = 0;
    bool groupMayUse = false;
    long holderPid = 0;               // a program that holds it
    std::string holderName;           // that program's name
    std::vector<std::string> present; // the ports there are: "COM1 (/dev/ttyS0)"
};
PortOpenDiagnosis DiagnosePortOpen(int portNumber, DWORD error);

// While one lives the system does not go to sleep for want of input, as a laptop on its
// battery timer would in the middle of a file (Windows: SetThreadExecutionState); nothing
// elsewhere.
class StayAwake {
  public:
    StayAwake();
    ~StayAwake();
    StayAwake(const StayAwake&) = delete;
    StayAwake& operator=(const StayAwake&) = delete;
};

// The program's own version data: from its version resource on Windows, built in elsewhere.
struct VersionInfo {
    bool present = false;
    std::string productName, productVersion;
    unsigned long fileVersionMs = 0, fileVersionLs = 0;
};
VersionInfo ReadOwnVersionInfo();

} // namespace sys
