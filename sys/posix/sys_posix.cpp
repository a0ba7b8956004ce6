// POSIX emulation of the OS services.
#include "sys/posix/iconv_text.h"
#include "sys/posix/locale_language.h"
#include "sys/sys.h"
#include "sys/text.h"
#include "sys/timer.h"
#include "res/version.h"

#include <dirent.h>
#include <limits.h>
#include <fcntl.h>
#include <pwd.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <cstdlib>
#include <vector>

namespace sys {

void SecureStandardDescriptors() {
    for (int fd = 0; fd <= 2; ++fd) {
        if (fcntl(fd, F_GETFD) != -1 || errno != EBADF)
            continue;
        // The lowest free number is this one, since those below it are open.
        const int opened = ::open("/dev/null", fd == 0 ? O_RDONLY : O_WRONLY);
        if (opened >= 0 && opened != fd) {
            ::dup2(opened, fd);
            ::close(opened);
        }
    }
}

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

// The entries of folder that Windows would open for component: the one typed as is when it is
// there, else every name that differs from it only in case (more than one: no choice is made).
std::vector<std::string> MatchInFolder(const std::string& folder, const std::string& component) {
    const std::string wanted = LowerCase(TrimWindowsName(component));
    if (wanted.empty())
        return {};
    DIR* dir = opendir(folder.empty() ? "." : folder.c_str());
    if (dir == nullptr)
        return {};
    std::vector<std::string> candidates;
    while (const dirent* entry = readdir(dir)) {
        const std::string entryName = entry->d_name;
        if (LowerCase(TrimWindowsName(entryName)) == wanted)
            candidates.push_back(entryName);
    }
    closedir(dir);
    std::sort(candidates.begin(), candidates.end());
    const std::string trimmed = TrimWindowsName(component);
    for (const auto& candidate : candidates)
        if (candidate == trimmed)
            return {candidate};
    return candidates;
}

// The path for name, and the names it could stand for when one of its components matches
// several that differ only in case (the path is then name itself).
std::string Resolve(const std::string& name, std::vector<std::string>* twins) {
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
            const auto matches = MatchInFolder(resolved, component);
            if (matches.size() != 1) {
                if (twins != nullptr && matches.size() > 1)
                    for (const auto& match : matches)
                        twins->push_back(resolved + match);
                return name;
            }
            next = matches.front();
        }
        resolved += next;
        if (end < path.size())
            resolved += '/';
    }
    return resolved;
}

} // namespace

std::string ResolveUserFileName(const std::string& name) {
    return Resolve(name, nullptr);
}

std::vector<std::string> CaseTwins(const std::string& name) {
    std::vector<std::string> twins;
    Resolve(name, &twins);
    return twins;
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

// What Windows' attributes mean here: a name that starts with '.' is hidden; only regular files
// (links followed) are files. A file without write permission is listed all the same: a release
// folder is often protected so, and the program only ever reads its files. One this user cannot
// read is not.
std::vector<std::string> ListPlainFiles(const std::string& pattern) {
    std::vector<std::string> names;
    DIR* dir = opendir(".");
    if (dir == nullptr)
        return names;
    while (const dirent* entry = readdir(dir)) {
        const std::string name = entry->d_name;
        struct stat st {};
        if (name.empty() || name[0] == '.' || !WildcardMatch(pattern.c_str(), name.c_str()) ||
            stat(name.c_str(), &st) != 0 || !S_ISREG(st.st_mode) || access(name.c_str(), R_OK) != 0)
            continue;
        names.push_back(name);
    }
    closedir(dir);
    return names;
}

// A command takes its files where it was started: an installed one lives in /usr/bin.
bool EnterFilesFolder() {
    return true;
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

std::optional<std::string> EnvironmentValue(const std::string& name) {
    const char* value = std::getenv(name.c_str());
    return value != nullptr ? std::optional<std::string>(value) : std::nullopt;
}

std::string UserName() {
    if (const passwd* user = ::getpwuid(::geteuid()))
        return user->pw_name;
    return std::to_string(::geteuid());
}

std::string HostName() {
    char name[256] = {};
    return ::gethostname(name, sizeof name - 1) == 0 ? name : std::string();
}

std::string FullPath(const std::string& name) {
    char resolved[PATH_MAX];
    return ::realpath(ResolveUserFileName(name).c_str(), resolved) != nullptr ? resolved : name;
}

// A command line machine sleeps by its own policy; nothing here asks otherwise.
StayAwake::StayAwake() = default;
StayAwake::~StayAwake() = default;

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
