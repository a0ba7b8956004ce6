#include "sys/posix/uucp_lock.h"

#include <fcntl.h>
#include <limits.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace sys::posix {

std::string UucpLock::PathFor(const std::string& device) {
    char resolved[PATH_MAX];
    std::string name = ::realpath(device.c_str(), resolved) != nullptr ? resolved : device;
    if (name.rfind("/dev/", 0) == 0)
        name.erase(0, 5);
    std::replace(name.begin(), name.end(), '/', '_');
    return Folder() + "/LCK.." + name;
}

pid_t UucpLock::Holder(const std::string& device) {
    const pid_t owner = Owner(PathFor(device));
    return owner > 0 && (::kill(owner, 0) == 0 || errno == EPERM) ? owner : 0;
}

int UucpLock::Acquire(const std::string& device) {
    const std::string path = PathFor(device);
    for (int attempt = 0; attempt < 2; ++attempt) {
        const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
        if (fd >= 0) {
            char text[16];
            const int n = std::snprintf(text, sizeof text, "%10d\n", static_cast<int>(::getpid()));
            const bool written = ::write(fd, text, static_cast<size_t>(n)) == n;
            ::close(fd);
            if (!written) {
                ::unlink(path.c_str());
                return 0;
            }
            path_ = path;
            return 0;
        }
        if (errno != EEXIST)
            return 0; // no lock folder, or no right to lock: nothing to honour either
        const pid_t owner = Owner(path);
        if (owner > 0 && (::kill(owner, 0) == 0 || errno == EPERM))
            return EACCES;
        ::unlink(path.c_str()); // its owner is gone, or it is no lock: the name goes, never
                                // what a link points to
    }
    return 0;
}

void UucpLock::Release() {
    if (!path_.empty() && Owner(path_) == ::getpid())
        ::unlink(path_.c_str());
    path_.clear();
}

std::string UucpLock::Folder() {
    const char* folder = std::getenv("QEL32_LOCKDIR");
    if (folder != nullptr && *folder != '\0')
        return folder;
    struct stat st {};
    return ::stat("/run/lock", &st) == 0 ? "/run/lock" : "/var/lock";
}

// The lock folder is everyone's: what stands under the lock's name may be a link, a FIFO or
// anything else another user placed there. It is opened without following a link or waiting
// for a writer, and only a regular file is read.
pid_t UucpLock::Owner(const std::string& path) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0)
        return -1;
    struct stat st {};
    char text[32] = {};
    ssize_t n = -1;
    if (::fstat(fd, &st) == 0 && S_ISREG(st.st_mode))
        n = ::read(fd, text, sizeof text - 1);
    ::close(fd);
    if (n <= 0)
        return -1;
    // Decimal digits among blanks, whatever their number: the ASCII form ("%10d\n", or a short
    // "107\n" from a program that does not pad). Four bytes of anything else: a binary int.
    const std::string content(text, static_cast<size_t>(n));
    const bool ascii = content.find_first_not_of("0123456789 \t\n") == std::string::npos &&
                       content.find_first_of("0123456789") != std::string::npos;
    if (ascii)
        return static_cast<pid_t>(std::strtol(text, nullptr, 10));
    if (n == static_cast<ssize_t>(sizeof(int))) {
        int binary = 0;
        std::memcpy(&binary, text, sizeof binary);
        return binary;
    }
    return -1; // garbage: no owner
}

} // namespace sys::posix
