#pragma once

#include <string>
#include <vector>

namespace sys::posix {

// A serial device of the machine as the port map numbers it.
struct SerialDevice {
    std::string name; // ttyS0, ttyUSB0, ...
    int port = 0;     // n of COMn
    bool usb = false;
    std::string vendorId, productId, serial, product; // as sysfs gives them (hex ids)
};

// The serial devices, in port order: through QEL32_PORTS when it is set, else by the fixed
// numbering; USB identities from sysfs (QEL32_SYSFS, default /sys).
std::vector<SerialDevice> SerialDevices();

} // namespace sys::posix
