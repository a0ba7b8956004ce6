// The upgrade journal's file on POSIX: where it goes, and a line appended only where the running
// user owns the way there.
#include "sys/sys.h"

#include <fcntl.h>
#include <pwd.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <string>

namespace sys {

std::string JournalPath() {
    if (const char* path = std::getenv("QEL32_JOURNAL"); path != nullptr && *path != '\0')
        return path;
    return OwnJournalPath();
}

std::string OwnJournalPath() {
    // The XDG base directories: a relative value is to be ignored.
    std::string state;
    if (const char* xdg = std::getenv("XDG_STATE_HOME"); xdg != nullptr && xdg[0] == '/')
        state = xdg;
    else if (const char* home = std::getenv("HOME"); home != nullptr && *home != '\0')
        state = std::string(home) + "/.local/state";
    // Started without HOME (cron, a udev rule, env -i): the home the password database gives.
    else if (const passwd* user = ::getpwuid(::geteuid());
             user != nullptr && user->pw_dir[0] == '/')
        state = std::string(user->pw_dir) + "/.local/state";
    else
        return std::string();
    return state + "/qel32/journal.jsonl";
}

namespace {

// An owner whose files this program may follow and write: the running user, or root.
bool Trusted(uid_t owner) {
    return owner == ::geteuid() || owner == 0;
}

// A descriptor closed when it goes.
struct Fd {
    int fd = -1;
    explicit Fd(int f = -1) : fd(f) {}
    Fd(const Fd&) = delete;
    Fd& operator=(const Fd&) = delete;
    ~Fd() {
        if (fd >= 0)
            ::close(fd);
    }
    void Reset(int f) {
        if (fd >= 0)
            ::close(fd);
        fd = f;
    }
};

// Opens name in the folder at, following a link only when the running user or root owns it,
// as the kernel's protected links do in a shared folder.
int OpenTrusted(int at, const std::string& name, int flags, mode_t mode, AppendFailure& failure) {
    int fd = ::openat(at, name.c_str(), flags | O_NOFOLLOW | O_CLOEXEC, mode);
    if (fd >= 0 || (errno != ELOOP && errno != ENOTDIR && errno != EMLINK))
        return fd;
    struct stat link {};
    if (::fstatat(at, name.c_str(), &link, AT_SYMLINK_NOFOLLOW) != 0 || !S_ISLNK(link.st_mode))
        return -1;
    if (!Trusted(link.st_uid)) {
        failure = {AppendFailure::Kind::ForeignLink, EPERM, name};
        errno = EPERM;
        return -1;
    }
    return ::openat(at, name.c_str(), flags | O_CLOEXEC, mode);
}

// The journal is written only where the running user owns the way there: another user who can
// write in a folder on the way must not make this program write a file of their choosing.
// Opens it for appending (making its folders), or fails with the reason.
int OpenJournal(const std::string& path, AppendFailure& failure, struct stat& st) {
    using Kind = AppendFailure::Kind;
    failure = AppendFailure();
    if (path.empty()) {
        failure.kind = Kind::NoPlace;
        return -1;
    }
    const auto fail = [&](int error) {
        if (failure.kind == Kind::System)
            failure.code = static_cast<DWORD>(error);
        return -1;
    };
    // The folders, each opened in the one before it; those missing are made for the user
    //    alone, as the XDG rules make them.
    Fd folder(::open(path[0] == '/' ? "/" : ".", O_PATH | O_DIRECTORY | O_CLOEXEC));
    if (folder.fd < 0)
        return fail(errno);
    size_t start = path[0] == '/' ? 1 : 0;
    const size_t lastSlash = path.rfind('/');
    const std::string name = lastSlash == std::string::npos ? path : path.substr(lastSlash + 1);
    while (lastSlash != std::string::npos && start <= lastSlash) {
        const size_t slash = path.find('/', start);
        const std::string component = path.substr(start, slash - start);
        start = slash + 1;
        if (component.empty() || component == ".")
            continue;
        int next = OpenTrusted(folder.fd, component, O_PATH | O_DIRECTORY, 0, failure);
        if (next < 0 && errno == ENOENT && ::mkdirat(folder.fd, component.c_str(), 0700) == 0)
            next = OpenTrusted(folder.fd, component, O_PATH | O_DIRECTORY, 0, failure);
        if (next < 0)
            return fail(errno);
        folder.Reset(next);
    }
    if (::fstat(folder.fd, &st) != 0)
        return fail(errno);
    if (!Trusted(st.st_uid)) {
        failure.kind = Kind::ForeignFolder;
        return -1;
    }
    // The file: never waited for (a FIFO), only a regular file of the user's or root's, or
    //    the null device.
    Fd file(OpenTrusted(folder.fd, name, O_RDWR | O_APPEND | O_CREAT | O_NONBLOCK | O_NOCTTY, 0600,
                        failure));
    if (file.fd < 0)
        return fail(errno);
    if (::fstat(file.fd, &st) != 0)
        return fail(errno);
    const bool null = S_ISCHR(st.st_mode) && st.st_rdev == makedev(1, 3);
    if (!null && !S_ISREG(st.st_mode)) {
        failure.kind = Kind::NotRegular;
        return -1;
    }
    if (!null && !Trusted(st.st_uid)) {
        failure.kind = Kind::ForeignFile;
        return -1;
    }
    const int fd = file.fd;
    file.fd = -1;
    return fd;
}

} // namespace

bool CheckAppendable(const std::string& path, AppendFailure& failure) {
    struct stat st {};
    Fd file(OpenJournal(path, failure, st));
    return file.fd >= 0;
}

bool AppendLine(const std::string& path, const std::string& line, AppendFailure& failure) {
    struct stat st {};
    Fd file(OpenJournal(path, failure, st));
    if (file.fd < 0)
        return false;
    if (S_ISCHR(st.st_mode))
        return true; // /dev/null: the journal asked away
    // One write, that starts at the beginning of a line even after a torn one (a full disk,
    //    a size limit): lines from two programs appending at once never interleave.
    std::string text = line + "\n";
    char last = '\n';
    if (st.st_size > 0 && ::pread(file.fd, &last, 1, st.st_size - 1) == 1 && last != '\n')
        text.insert(0, "\n");
    const ssize_t written = ::write(file.fd, text.data(), text.size());
    if (written != static_cast<ssize_t>(text.size())) {
        if (written >= 0)
            failure.kind = AppendFailure::Kind::Partial;
        else
            failure.code = static_cast<DWORD>(errno);
        return false;
    }
    return true;
}

} // namespace sys
