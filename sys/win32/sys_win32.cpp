// Windows OS services: direct calls.
#include "sys/win32/utf16.h"

#undef GetProfileString // the service keeps the Windows name

#include "sys/serial.h"
#include "sys/sys.h"
#include "sys/text.h"
#include "sys/timer.h"

#include <timeapi.h>

#include <fcntl.h>
#include <io.h>
#include <sys/stat.h>

#include <cerrno>
#include <cstdio>
#include <cwchar>
#include <vector>

namespace sys {

// A Windows program has no standard descriptors to protect.
void SecureStandardDescriptors() {}

std::string ExecutablePath() {
    std::vector<wchar_t> buffer(MAX_PATH);
    for (;;) {
        const DWORD n =
            GetModuleFileNameW(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
        if (n < buffer.size())
            return win32::Narrow(std::wstring(buffer.data(), n));
        buffer.resize(buffer.size() * 2);
    }
}

std::string GetProfileString(const std::string& section, const std::string& key,
                             const std::string& def, std::size_t maxChars) {
    if (maxChars == 0)
        return std::string();
    std::vector<wchar_t> buffer(maxChars);
    const DWORD n = GetProfileStringW(win32::Widen(section).c_str(), win32::Widen(key).c_str(),
                                      win32::Widen(def).c_str(), buffer.data(),
                                      static_cast<DWORD>(buffer.size()));
    return win32::Narrow(std::wstring(buffer.data(), n));
}

// Windows itself matches names as the user expects.
std::string ResolveUserFileName(const std::string& name) {
    return name;
}

// Windows matches names without regard to case: one name, one file.
std::vector<std::string> CaseTwins(const std::string&) {
    return {};
}

std::FILE* OpenRegularFile(const std::string& name) {
    // The system's own call, so that a failure has the system's own code and text, and wide,
    // so that any name the user can type opens.
    const HANDLE file =
        CreateFileW(win32::Widen(name).c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                    nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return nullptr;
    // Device names ("CON", "COM1", "NUL") open as files would; only a file on a disk is one.
    if (GetFileType(file) != FILE_TYPE_DISK) {
        CloseHandle(file);
        SetLastError(ERROR_INVALID_FUNCTION);
        return nullptr;
    }
    const int fd = _open_osfhandle(reinterpret_cast<intptr_t>(file), _O_RDONLY | _O_BINARY);
    if (fd < 0) {
        CloseHandle(file);
        SetLastError(ERROR_TOO_MANY_OPEN_FILES);
        return nullptr;
    }
    std::FILE* stream = _fdopen(fd, "rb");
    if (stream == nullptr) {
        _close(fd);
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    }
    return stream;
}

DWORD LastFileError() {
    return ::GetLastError();
}

std::string SystemErrorText(DWORD code) {
    // The wide call, so that a French system's accents arrive as UTF-8.
    wchar_t* buffer = nullptr;
    const DWORD n = FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_IGNORE_INSERTS |
                                       FORMAT_MESSAGE_FROM_SYSTEM,
                                   nullptr, code, MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT),
                                   reinterpret_cast<wchar_t*>(&buffer), 0, nullptr);
    std::string text;
    if (n != 0 && buffer != nullptr)
        text = win32::Narrow(std::wstring(buffer, n));
    if (buffer != nullptr)
        LocalFree(buffer);
    return text;
}

std::int64_t StreamSize(std::FILE* stream) {
    struct _stat64 st {};
    return _fstat64(_fileno(stream), &st) == 0 ? static_cast<std::int64_t>(st.st_size) : -1;
}

bool SeekToStart(std::FILE* stream) {
    return _fseeki64(stream, 0, SEEK_SET) == 0;
}

std::string JournalPath() {
    const auto path = EnvironmentValue("QEL32_JOURNAL");
    return path && !path->empty() ? *path : OwnJournalPath();
}

std::string OwnJournalPath() {
    const auto folder = EnvironmentValue("LOCALAPPDATA");
    return folder && !folder->empty() ? *folder + "\\Qel32\\journal.jsonl" : std::string();
}

namespace {

// The journal opened for appending, its folders made; INVALID_HANDLE_VALUE with the reason.
HANDLE OpenJournal(const std::string& path, AppendFailure& failure) {
    failure = AppendFailure();
    if (path.empty()) {
        failure.kind = AppendFailure::Kind::NoPlace;
        return INVALID_HANDLE_VALUE;
    }
    const std::wstring wide = win32::Widen(path);
    for (size_t slash = wide.find_first_of(L"\\/", 3); slash != std::wstring::npos;
         slash = wide.find_first_of(L"\\/", slash + 1))
        CreateDirectoryW(wide.substr(0, slash).c_str(), nullptr);
    const HANDLE file =
        CreateFileW(wide.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                    OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        failure.code = ::GetLastError();
    return file;
}

} // namespace

bool CheckAppendable(const std::string& path, AppendFailure& failure) {
    const HANDLE file = OpenJournal(path, failure);
    if (file == INVALID_HANDLE_VALUE)
        return false;
    CloseHandle(file);
    return true;
}

bool AppendLine(const std::string& path, const std::string& line, AppendFailure& failure) {
    const HANDLE file = OpenJournal(path, failure);
    if (file == INVALID_HANDLE_VALUE)
        return false;
    const std::string text = line + "\r\n";
    DWORD written = 0;
    const BOOL ok =
        WriteFile(file, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
    const DWORD error = ::GetLastError();
    CloseHandle(file);
    if (!ok || written != text.size()) {
        failure.code = error;
        return false;
    }
    return true;
}

// A Windows program has no standard error to speak to.
void WarnOnStandardError(const std::string&) {}

std::optional<std::string> EnvironmentValue(const std::string& name) {
    std::vector<wchar_t> buffer(32768);
    SetLastError(0);
    const DWORD n = GetEnvironmentVariableW(win32::Widen(name).c_str(), buffer.data(),
                                            static_cast<DWORD>(buffer.size()));
    if (n == 0 && GetLastError() == ERROR_ENVVAR_NOT_FOUND)
        return std::nullopt;
    return n < buffer.size() ? win32::Narrow(std::wstring(buffer.data(), n)) : std::string();
}

std::string UserName() {
    wchar_t name[257] = {};
    DWORD size = 257;
    return GetUserNameW(name, &size) ? win32::Narrow(name) : std::string();
}

std::string HostName() {
    wchar_t name[MAX_COMPUTERNAME_LENGTH + 1] = {};
    DWORD size = MAX_COMPUTERNAME_LENGTH + 1;
    return GetComputerNameW(name, &size) ? win32::Narrow(name) : std::string();
}

std::string FullPath(const std::string& name) {
    wchar_t full[32768];
    const DWORD n = GetFullPathNameW(win32::Widen(name).c_str(), 32768, full, nullptr);
    return n != 0 && n < 32768 ? win32::Narrow(std::wstring(full, n)) : name;
}

StayAwake::StayAwake() {
    SetThreadExecutionState(ES_SYSTEM_REQUIRED | ES_CONTINUOUS);
}

StayAwake::~StayAwake() {
    SetThreadExecutionState(ES_CONTINUOUS);
}

PortDescription DescribePort(int portNumber) {
    PortDescription port;
    port.device = PortDeviceName(portNumber);
    return port;
}

PortOpenDiagnosis DiagnosePortOpen(int, DWORD) {
    return {};
}

void RaiseTimerResolution() {
    timeBeginPeriod(1);
}

void RestoreTimerResolution() {
    timeEndPeriod(1);
}

std::vector<std::string> ListPlainFiles(const std::string& pattern) {
    std::vector<std::string> names;
    WIN32_FIND_DATAW data;
    HANDLE find = FindFirstFileW(win32::Widen(pattern).c_str(), &data);
    if (find == INVALID_HANDLE_VALUE)
        return names;
    constexpr DWORD excluded = FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_HIDDEN |
                               FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_READONLY;
    do {
        if ((data.dwFileAttributes & excluded) == 0)
            names.push_back(win32::Narrow(data.cFileName));
    } while (FindNextFileW(find, &data));
    FindClose(find);
    return names;
}

bool EnterFilesFolder() {
    const std::string path = ExecutablePath();
    const auto slash = path.find_last_of("\\/");
    return slash != std::string::npos &&
           SetCurrentDirectoryW(win32::Widen(path.substr(0, slash + 1)).c_str()) != 0;
}

// The executable's version resource, read as a reader of it would: the block, its first
// translation, the two product strings under it and the fixed file version. Through the wide
// calls, so that a folder named in letters outside the ANSI code page (a profile such as
// C:\Users\Łukasz) still finds the program's own file.
VersionInfo ReadOwnVersionInfo() {
    VersionInfo info;
    const std::wstring path = win32::Widen(ExecutablePath());
    DWORD ignored = 0;
    const DWORD size = GetFileVersionInfoSizeW(path.c_str(), &ignored);
    if (size == 0)
        return info;
    std::vector<char> block(size);
    WORD* translation = nullptr;
    UINT length = 0;
    if (!GetFileVersionInfoW(path.c_str(), 0, size, block.data()) ||
        !VerQueryValueW(block.data(), L"\\VarFileInfo\\Translation",
                        reinterpret_cast<void**>(&translation), &length) ||
        translation == nullptr)
        return info;
    info.present = true;
    const auto query = [&](const wchar_t* name) {
        wchar_t key[260];
        std::swprintf(key, 260, L"\\StringFileInfo\\%04x%04x\\%ls", translation[0], translation[1],
                      name);
        wchar_t* value = nullptr;
        UINT n = 0;
        return VerQueryValueW(block.data(), key, reinterpret_cast<void**>(&value), &n) && value
                   ? win32::Narrow(value)
                   : std::string();
    };
    info.productName = query(L"ProductName");
    info.productVersion = query(L"ProductVersion");
    VS_FIXEDFILEINFO* fixed = nullptr;
    if (VerQueryValueW(block.data(), L"\\", reinterpret_cast<void**>(&fixed), &length) && fixed) {
        info.fileVersionMs = fixed->dwFileVersionMS;
        info.fileVersionLs = fixed->dwFileVersionLS;
    }
    return info;
}

bool FileExists(const std::string& name) {
    return GetFileAttributesW(win32::Widen(name).c_str()) != INVALID_FILE_ATTRIBUTES;
}

std::string AnsiToUtf8(const std::string& bytes) {
    return win32::Narrow(win32::Widen(bytes, CP_ACP));
}

} // namespace sys
