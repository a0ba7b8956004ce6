// The fixed numbering of the machine's serial devices, and the ports that follow their USB
// adapter from one name to the next.
#include "sys/posix/ports_folder.h"
#include "sys/posix/usb_ports.h"

#include <map>

namespace sys::posix {

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

std::string NumberedDevice(int portNumber) {
    for (const auto& family : families) {
        const int index = portNumber - family.firstPort;
        if (index >= 0 && index < portsPerFamily)
            return family.prefix + std::to_string(index);
    }
    return std::string();
}

namespace {

struct KnownAdapter {
    SerialDevice identity;
    bool byPath = false; // its serial text is shared with another adapter, or it has none
};

// Each port's adapter at its last opening, for this run of the program.
std::map<int, KnownAdapter>& KnownAdapters() {
    static std::map<int, KnownAdapter> known;
    return known;
}

SerialDevice DeviceNamed(const std::string& name) {
    SerialDevice device;
    device.name = name;
    ReadUsbIdentity(device);
    return device;
}

bool SameIdentity(const SerialDevice& a, const SerialDevice& b) {
    return a.usb && b.usb && a.vendorId == b.vendorId && a.productId == b.productId &&
           a.serial == b.serial;
}

bool IsAdapter(const SerialDevice& device, const KnownAdapter& known) {
    return SameIdentity(device, known.identity) &&
           (!known.byPath || device.usbPath == known.identity.usbPath);
}

std::string BaseName(const std::string& path) {
    return path.substr(path.find_last_of('/') + 1);
}

} // namespace

void RememberPortDevice(int port, const std::string& device) {
    // A ports folder names its devices itself (/dev/serial/by-id holds across plugging).
    if (!PortsFolder().empty())
        return;
    KnownAdapter known{DeviceNamed(BaseName(device)), false};
    if (!known.identity.usb) {
        KnownAdapters().erase(port);
        return;
    }
    known.byPath = known.identity.serial.empty();
    for (const auto& name : TtyNames())
        if (name != known.identity.name && SameIdentity(DeviceNamed(name), known.identity))
            known.byPath = true;
    KnownAdapters()[port] = known;
}

std::string FollowedDevice(int port) {
    const auto known = KnownAdapters().find(port);
    if (known == KnownAdapters().end())
        return std::string();
    // Where it was, first: most often the kernel gives a name back to the adapter that had it.
    // When more than one adapter carries its identity now, where it is plugged in tells.
    std::vector<SerialDevice> candidates;
    for (const auto& name : TtyNames())
        if (SerialDevice device = DeviceNamed(name); IsAdapter(device, known->second))
            candidates.push_back(device);
    if (candidates.size() > 1) {
        std::vector<SerialDevice> samePlace;
        for (const auto& device : candidates)
            if (device.usbPath == known->second.identity.usbPath)
                samePlace.push_back(device);
        candidates = samePlace;
    }
    for (const auto& device : candidates)
        if (device.name == known->second.identity.name)
            return "/dev/" + device.name;
    return candidates.empty() ? std::string() : "/dev/" + candidates.front().name;
}

std::map<std::string, int> FollowingPorts() {
    std::map<std::string, int> following;
    for (const auto& entry : KnownAdapters())
        if (const std::string device = FollowedDevice(entry.first); !device.empty())
            following.emplace(BaseName(device), entry.first); // the lowest port, if two
    return following;
}

} // namespace sys::posix
