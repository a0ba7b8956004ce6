#pragma once

#include <map>
#include <string>
#include <vector>

namespace sys::posix {

// A serial device of the machine as the port map numbers it.
struct SerialDevice {
    std::string name; // ttyS0, ttyUSB0, ...
    int port = 0;     // n of COMn
    bool usb = false;
    std::string vendorId, productId, serial, product; // as sysfs gives them (hex ids)
    std::string usbPath; // where it is plugged in: the USB device's name (1-1.2)
};

// The device the fixed numbering gives port n: COM1-16 ttyS0-15, COM17-32 ttyUSB0-15, COM33-48
// ttyACM0-15; empty outside.
std::string NumberedDevice(int port);
// The names of the machine's ttys (sysfs class/tty), sorted.
std::vector<std::string> TtyNames();
// Fills the USB identity of device.name from sysfs; device.usb stays false for a tty that is
// not on USB.
void ReadUsbIdentity(SerialDevice& device);

// The port numbers that follow their adapter: after port n opened a USB adapter, port n opens
// whatever tty carries that adapter's identity now (vendor, product, serial text; its USB path
// when it has no serial text of its own), whatever name the kernel gave it when it came back.
void RememberPortDevice(int port, const std::string& device);
// The device port n follows, or empty when it follows none that is present.
std::string FollowedDevice(int port);
// The ports that follow an adapter present now, by the name of its tty (ttyUSB3).
std::map<std::string, int> FollowingPorts();

// The serial devices, in port order: through QEL32_PORTS when it is set, else by the fixed
// numbering; USB identities from sysfs (QEL32_SYSFS, default /sys).
std::vector<SerialDevice> SerialDevices();

} // namespace sys::posix
