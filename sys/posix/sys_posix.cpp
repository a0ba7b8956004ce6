// POSIX emulation of the OS services.
#include "sys/posix/iconv_text.h"
#include "sys/posix/locale_language.h"
#include "sys/sys.h"
#include "sys/text.h"
#include "sys/timer.h"
#include "res/version.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <cstdlib>
#include <vector>

namespace sys {

std::string ExecutablePath() {
    std::vector<char> buffer(4096);
    const ssize_t n = readlink("/proc/self/exe", buffer.data(), buffer.size() - 1);
    if (n <= 0)
        return "qel32";
    return std::string(buffer.data(), static_cast<size_t>(n));
}

std::string GetProfileString(const std::string& section, const std::string& key,
                             const std::string& def, std::size_t maxChars) {
    std::string value = def;
    // The only profile value the system reads is the user's language, which POSIX keeps in
    // the locale.
    if (LowerCase(section) == "intl" && LowerCase(key) == "slanguage") {
        if (auto code = posix::ProfileLanguageFromLocale(
                std::getenv("LC_ALL"), std::getenv("LC_MESSAGES"), std::getenv("LANG")))
            value = *code;
    }
    if (maxChars == 0)
        return std::string();
    if (value.size() > maxChars - 1)
        value.resize(maxChars - 1);
    return value;
}

namespace {

bool Exists(const std::string& path) {
    struct stat st {};
    return lstat(path.c_str(), &st) == 0;
}

// Windows drops trailing blanks and dots from a name before it looks it up.
std::string TrimWindowsName(std::string name) {
    while (!name.empty() && (name.back() == ' ' || name.back() == '.'))
        name.pop_back();
    return name;
}

// The entry of folder that Windows would open for component, or nothing.
std::string MatchInFolder(const std::string& folder, const std::string& component) {
    const std::string wanted = LowerCase(TrimWindowsName(component));
    if (wanted.empty())
        return std::string();
    DIR* dir = opendir(folder.empty() ? "." : folder.c_str());
    if (dir == nullptr)
        return std::string();
    std::vector<std::string> candidates;
    while (const dirent* entry = readdir(dir)) {
        const std::string entryName = entry->d_name;
        if (LowerCase(TrimWindowsName(entryName)) == wanted)
            candidates.push_back(entryName);
    }
    closedir(dir);
    if (candidates.empty())
        return std::string();
    // Several names differing only in case: the one typed as is wins, else a stable choice.
    std::sort(candidates.begin(), candidates.end());
    const std::string trimmed = TrimWindowsName(component);
    for (const auto& candidate : candidates)
        if (candidate == trimmed)
            return candidate;
    return candidates.front();
}

} // namespace

std::string ResolveUserFileName(const std::string& name) {
    if (name.empty() || Exists(name))
        return name;
    std::string path = name;
    std::replace(path.begin(), path.end(), '\\', '/');
    std::string resolved = path[0] == '/' ? "/" : "";
    size_t start = path[0] == '/' ? 1 : 0;
    while (start <= path.size()) {
        size_t end = path.find('/', start);
        if (end == std::string::npos)
            end = path.size();
        const std::string component = path.substr(start, end - start);
        start = end + 1;
        if (component.empty())
            continue;
        std::string next;
        if (component == "." || component == ".." || Exists(resolved + component)) {
            next = component;
        } else {
            next = MatchInFolder(resolved, component);
            if (next.empty())
                return name;
        }
        resolved += next;
        if (end < path.size())
            resolved += '/';
    }
    return resolved;
}

namespace {

bool WildcardMatch(const char* pattern, const char* name) {
    for (; *pattern != '\0'; ++pattern, ++name) {
        if (*pattern == '*') {
            for (const char* rest = name;; ++rest) {
                if (WildcardMatch(pattern + 1, rest))
                    return true;
                if (*rest == '\0')
                    return false;
            }
        }
        if (*name == '\0')
            return false;
        if (*pattern != '?' && std::tolower(static_cast<unsigned char>(*pattern)) !=
                                   std::tolower(static_cast<unsigned char>(*name)))
            return false;
    }
    return *name == '\0';
}

} // namespace

// What Windows' attributes mean here: a name that starts with '.' is hidden, a file its owner
// cannot write is read-only; only regular files (links followed) are files.
std::vector<std::string> ListPlainFiles(const std::string& pattern) {
    std::vector<std::string> names;
    DIR* dir = opendir(".");
    if (dir == nullptr)
        return names;
    while (const dirent* entry = readdir(dir)) {
        const std::string name = entry->d_name;
        struct stat st {};
        if (name.empty() || name[0] == '.' || !WildcardMatch(pattern.c_str(), name.c_str()) ||
            stat(name.c_str(), &st) != 0 || !S_ISREG(st.st_mode) || (st.st_mode & S_IWUSR) == 0)
            continue;
        names.push_back(name);
    }
    closedir(dir);
    return names;
}

bool EnterExecutableFolder() {
    const std::string path = ExecutablePath();
    const auto slash = path.find_last_of('/');
    return slash != std::string::npos && chdir(path.substr(0, slash + 1).c_str()) == 0;
}

// The same data as the Windows version resource, from the one source both builds use.
VersionInfo ReadOwnVersionInfo() {
    VersionInfo info;
    info.present = true;
    info.productName = QEL32_PRODUCT_NAME;
    info.productVersion = QEL32_PRODUCT_VERSION;
    info.fileVersionMs = QEL32_FILE_VERSION_MS;
    info.fileVersionLs = QEL32_FILE_VERSION_LS;
    return info;
}

std::FILE* OpenRegularFile(const std::string& name) {
    // Without O_NONBLOCK, opening a FIFO would wait for a writer before anything is known.
    const int fd =
        ::open(ResolveUserFileName(name).c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0)
        return nullptr;
    struct stat st {};
    int error = 0;
    if (fstat(fd, &st) != 0)
        error = errno;
    else if (!S_ISREG(st.st_mode))
        error = S_ISDIR(st.st_mode) ? EISDIR : EINVAL;
    else if (const int flags = fcntl(fd, F_GETFL);
             flags < 0 || fcntl(fd, F_SETFL, flags & ~O_NONBLOCK) != 0)
        error = errno;
    std::FILE* stream = error == 0 ? fdopen(fd, "rb") : nullptr;
    if (stream == nullptr) {
        if (error == 0)
            error = errno;
        ::close(fd);
        errno = error;
    }
    return stream;
}

std::int64_t StreamSize(std::FILE* stream) {
    struct stat st {};
    return fstat(fileno(stream), &st) == 0 ? static_cast<std::int64_t>(st.st_size) : -1;
}

bool SeekToStart(std::FILE* stream) {
    return fseeko(stream, 0, SEEK_SET) == 0;
}

std::string JournalPath() {
    if (const char* path = std::getenv("QEL32_JOURNAL"); path != nullptr && *path != '\0')
        return path;
    // The XDG base directories: a relative value is to be ignored.
    std::string state;
    if (const char* xdg = std::getenv("XDG_STATE_HOME"); xdg != nullptr && xdg[0] == '/')
        state = xdg;
    else if (const char* home = std::getenv("HOME"); home != nullptr && *home != '\0')
        state = std::string(home) + "/.local/state";
    else
        return std::string();
    return state + "/qel32/journal.jsonl";
}

bool AppendLine(const std::string& path, const std::string& line, std::string& reason) {
    if (path.empty()) {
        reason = "no journal folder (HOME is not set)";
        return false;
    }
    // Folders as the XDG rules make them: for the user alone.
    for (size_t slash = path.find('/', 1); slash != std::string::npos;
         slash = path.find('/', slash + 1))
        if (::mkdir(path.substr(0, slash).c_str(), 0700) != 0 && errno != EEXIST) {
            reason = std::strerror(errno);
            return false;
        }
    const int fd = ::open(path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0600);
    if (fd < 0) {
        reason = std::strerror(errno);
        return false;
    }
    // One write: lines from two programs appending at once never interleave.
    const std::string text = line + "\n";
    const ssize_t written = ::write(fd, text.data(), text.size());
    const int error = errno;
    ::close(fd);
    if (written != static_cast<ssize_t>(text.size())) {
        reason = written < 0 ? std::strerror(error) : "the disk took only part of it";
        return false;
    }
    return true;
}

void WarnOnStandardError(const std::string& line) {
    std::fprintf(stderr, "%s\n", line.c_str());
}

// Linux sleeps to the microsecond already.
void RaiseTimerResolution() {}
void RestoreTimerResolution() {}

bool FileExists(const std::string& name) {
    struct stat st {};
    return stat(ResolveUserFileName(name).c_str(), &st) == 0;
}

std::string AnsiToUtf8(const std::string& bytes) {
    // Five bytes of 1252 are undefined: each becomes the replacement character.
    return posix::IconvText(bytes, "UTF-8", "CP1252", "\xEF\xBF\xBD");
}

} // namespace sys
