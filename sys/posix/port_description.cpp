// What a port is and why it would not open, told so that the operator knows what to do: the
// device behind the number, the adapter's identity, the group that may use it, the program
// that holds it, the ports there are.
#include "sys/posix/usb_ports.h"
#include "sys/posix/uucp_lock.h"
#include "sys/serial.h"
#include "sys/sys.h"

#include <dirent.h>
#include <grp.h>
#include <limits.h>
#include <pwd.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <fstream>
#include <sstream>

namespace sys {

namespace {

std::string Resolved(const std::string& path) {
    char resolved[PATH_MAX];
    return ::realpath(path.c_str(), resolved) != nullptr ? resolved : path;
}

std::string ProcessName(long pid) {
    std::ifstream comm("/proc/" + std::to_string(pid) + "/comm");
    std::string name;
    std::getline(comm, name);
    return name;
}

// The process that holds an flock on the device, from the kernel's table of locks
// ("1: FLOCK  ADVISORY  WRITE 1234 00:05:7 0 EOF": its pid, then major:minor:inode).
long FlockHolder(const std::string& device) {
    struct stat st {};
    if (::stat(device.c_str(), &st) != 0)
        return 0;
    std::ifstream locks("/proc/locks");
    for (std::string line; std::getline(locks, line);) {
        std::istringstream fields(line);
        std::string number, kind, mode, access, where;
        long pid = 0;
        if (!(fields >> number >> kind >> mode >> access >> pid >> where) || kind != "FLOCK")
            continue;
        unsigned major = 0, minor = 0;
        unsigned long inode = 0;
        if (std::sscanf(where.c_str(), "%x:%x:%lu", &major, &minor, &inode) == 3 &&
            inode == st.st_ino && makedev(major, minor) == st.st_dev && pid != ::getpid())
            return pid;
    }
    return 0;
}

// A process other than this one with the device open, as far as this user may see: a program
// that takes no lock at all (a shell redirection, a plain cat) shows only here.
long ProcessHolding(const std::string& device) {
    struct stat wanted {};
    if (::stat(device.c_str(), &wanted) != 0)
        return 0;
    DIR* proc = ::opendir("/proc");
    if (proc == nullptr)
        return 0;
    long found = 0;
    while (const dirent* entry = ::readdir(proc)) {
        char* end = nullptr;
        const long pid = std::strtol(entry->d_name, &end, 10);
        if (pid <= 0 || *end != '\0' || pid == ::getpid())
            continue;
        const std::string fds = std::string("/proc/") + entry->d_name + "/fd";
        DIR* dir = ::opendir(fds.c_str());
        if (dir == nullptr)
            continue; // another user's: not ours to see
        while (const dirent* fd = ::readdir(dir)) {
            struct stat st {};
            if (fd->d_name[0] != '.' && ::stat((fds + "/" + fd->d_name).c_str(), &st) == 0 &&
                S_ISCHR(st.st_mode) && st.st_rdev == wanted.st_rdev) {
                found = pid;
                break;
            }
        }
        ::closedir(dir);
        if (found != 0)
            break;
    }
    ::closedir(proc);
    return found;
}

} // namespace

PortDescription DescribePort(int portNumber) {
    PortDescription port;
    const std::string name = PortDeviceName(portNumber);
    port.device = Resolved(name);
    posix::SerialDevice device;
    device.name = port.device.substr(port.device.find_last_of('/') + 1);
    if (port.device.rfind("/dev/", 0) == 0)
        posix::ReadUsbIdentity(device);
    port.usb = device.usb;
    port.vendorId = device.vendorId;
    port.productId = device.productId;
    port.serial = device.serial;
    return port;
}

PortOpenDiagnosis DiagnosePortOpen(int portNumber, DWORD error) {
    PortOpenDiagnosis diagnosis;
    const std::string device = Resolved(PortDeviceName(portNumber));
    if (error == ENOENT || error == ENXIO || error == ENODEV) {
        diagnosis.absent = true;
        for (const auto& present : posix::SerialDevices())
            diagnosis.present.push_back("COM" + std::to_string(present.port) + " (" +
                                        Resolved(PortDeviceName(present.port)) + ")");
        return diagnosis;
    }
    if (error != EACCES && error != EBUSY && error != EPERM)
        return diagnosis;
    // A device this user may not open is that first, whoever else has it open.
    struct stat st {};
    if (::access(device.c_str(), R_OK | W_OK) != 0 && ::stat(device.c_str(), &st) == 0) {
        const group* grp = ::getgrgid(st.st_gid);
        diagnosis.group = grp != nullptr ? grp->gr_name : std::to_string(st.st_gid);
        const passwd* owner = ::getpwuid(st.st_uid);
        diagnosis.owner = owner != nullptr ? owner->pw_name : std::to_string(st.st_uid);
        diagnosis.mode = st.st_mode & 07777;
        diagnosis.groupMayUse =
            (st.st_mode & (S_IRGRP | S_IWGRP)) == (S_IRGRP | S_IWGRP) && st.st_gid != 0;
        return diagnosis;
    }
    // Else who holds it, by the ways programs agree on first.
    using Finder = long (*)(const std::string&);
    const Finder finders[] = {
        [](const std::string& d) -> long { return posix::UucpLock::Holder(d); }, FlockHolder,
        ProcessHolding};
    for (const Finder holder : finders) {
        diagnosis.holderPid = holder(device);
        if (diagnosis.holderPid != 0) {
            diagnosis.holderName = ProcessName(diagnosis.holderPid);
            break;
        }
    }
    return diagnosis;
}

} // namespace sys
