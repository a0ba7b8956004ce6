// The port map: port n is the device that the ports folder names COMn, or else the machine's
// serial device that the numbering rule gives n.
#include "sys/posix/ports_folder.h"
#include "sys/serial.h"

namespace sys {

namespace {

// Linux numbers its serial devices by driver; each family gets a fixed block of COM numbers so
// that plugging a device in never renumbers another.
struct DeviceFamily {
    const char* prefix;
    int firstPort;
};
constexpr DeviceFamily families[] = {{"/dev/ttyS", 1}, {"/dev/ttyUSB", 17}, {"/dev/ttyACM", 33}};
constexpr int portsPerFamily = 16;

} // namespace

std::string PortDeviceName(int portNumber) {
    if (const std::string folder = posix::PortsFolder(); !folder.empty()) {
        for (const auto& [port, path] : posix::PortsFolderEntries(folder))
            if (port == portNumber)
                return path;
        return folder + "/COM" + std::to_string(portNumber); // absent: the open says so
    }
    for (const auto& family : families) {
        const int index = portNumber - family.firstPort;
        if (index >= 0 && index < portsPerFamily)
            return family.prefix + std::to_string(index);
    }
    return std::string();
}

} // namespace sys
