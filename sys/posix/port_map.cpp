// The port map: port n is the device that the ports folder names COMn, or else the machine's
// serial device that the numbering rule gives n, or the one its USB adapter now has.
#include "sys/posix/ports_folder.h"
#include "sys/posix/usb_ports.h"
#include "sys/serial.h"

namespace sys {

std::string PortDeviceName(int portNumber) {
    if (const std::string folder = posix::PortsFolder(); !folder.empty()) {
        for (const auto& [port, path] : posix::PortsFolderEntries(folder))
            if (port == portNumber)
                return path;
        return folder + "/COM" + std::to_string(portNumber); // absent: the open says so
    }
    if (std::string followed = posix::FollowedDevice(portNumber); !followed.empty())
        return followed;
    // Its adapter away: the numbering, as the port list numbers what is there.
    return posix::NumberedDevice(portNumber);
}

} // namespace sys
