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

int UucpLock::Acquire(const std::string& device) {
    char resolved[PATH_MAX];
    std::string name = ::realpath(device.c_str(), resolved) != nullptr ? resolved : device;
    if (name.rfind("/dev/", 0) == 0)
        name.erase(0, 5);
    std::replace(name.begin(), name.end(), '/', '_');
    const std::string path = Folder() + "/LCK.." + name;
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
        ::unlink(path.c_str()); // its owner is gone
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

pid_t UucpLock::Owner(const std::string& path) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return -1;
    char text[32] = {};
    const ssize_t n = ::read(fd, text, sizeof text - 1);
    ::close(fd);
    if (n == static_cast<ssize_t>(sizeof(int))) {
        int binary = 0;
        std::memcpy(&binary, text, sizeof binary);
        return binary;
    }
    return n > 0 ? static_cast<pid_t>(std::strtol(text, nullptr, 10)) : -1;
}

} // namespace sys::posix
