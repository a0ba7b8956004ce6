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
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <fstream>

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

// A process other than this one with the device open, as far as this user may see: a program
// that takes no lock file (a shell redirection, a plain cat) shows only here.
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
            diagnosis.present.push_back("COM" + std::to_string(present.port) + " (/dev/" +
                                        present.name + ")");
        return diagnosis;
    }
    if (error != EACCES && error != EBUSY && error != EPERM)
        return diagnosis;
    diagnosis.holderPid = posix::UucpLock::Holder(device);
    if (diagnosis.holderPid == 0)
        diagnosis.holderPid = ProcessHolding(device);
    if (diagnosis.holderPid != 0) {
        diagnosis.holderName = ProcessName(diagnosis.holderPid);
        return diagnosis;
    }
    struct stat st {};
    if (::access(device.c_str(), R_OK | W_OK) != 0 && ::stat(device.c_str(), &st) == 0) {
        const group* owner = ::getgrgid(st.st_gid);
        diagnosis.group = owner != nullptr ? owner->gr_name : std::to_string(st.st_gid);
    }
    return diagnosis;
}

} // namespace sys
