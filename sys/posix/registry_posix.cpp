// The registry and the bridge library, synthesized from the port map and sysfs: the device map
// lists every serial device as COMn, and each USB serial adapter appears under its USB identity
// with its port name, as Windows records it; the library reports the USB adapters.
#include "sys/posix/ports_folder.h"
#include "sys/posix/usb_ports.h"
#include "sys/registry.h"
#include "sys/serial.h"
#include "sys/text.h"

#include <dirent.h>
#include <limits.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <map>

namespace sys {

namespace posix {

namespace {

std::string SysfsRoot() {
    const char* root = std::getenv("QEL32_SYSFS");
    return root != nullptr && *root != '\0' ? root : "/sys";
}

std::string ReadLine(const std::string& path) {
    std::ifstream in(path);
    std::string line;
    std::getline(in, line);
    return line;
}

bool Exists(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0;
}

std::string RealPath(const std::string& path) {
    char resolved[PATH_MAX];
    return ::realpath(path.c_str(), resolved) != nullptr ? resolved : std::string();
}

std::vector<std::string> List(const std::string& folder) {
    std::vector<std::string> names;
    if (DIR* dir = ::opendir(folder.c_str())) {
        while (const dirent* e = ::readdir(dir))
            if (e->d_name[0] != '.')
                names.push_back(e->d_name);
        ::closedir(dir);
    }
    std::sort(names.begin(), names.end());
    return names;
}

} // namespace

std::vector<std::string> TtyNames() {
    return List(SysfsRoot() + "/class/tty");
}

// The USB identity of a tty: the first folder above its device that has idVendor.
void ReadUsbIdentity(SerialDevice& device) {
    std::string dir = RealPath(SysfsRoot() + "/class/tty/" + device.name + "/device");
    for (int depth = 0; depth < 6 && !dir.empty() && dir != "/"; ++depth) {
        if (Exists(dir + "/idVendor")) {
            device.usb = true;
            device.vendorId = ReadLine(dir + "/idVendor");
            device.productId = ReadLine(dir + "/idProduct");
            device.serial = ReadLine(dir + "/serial");
            device.product = ReadLine(dir + "/product");
            device.usbPath = dir.substr(dir.find_last_of('/') + 1);
            return;
        }
        dir = dir.substr(0, dir.find_last_of('/'));
    }
}

namespace {

// A built-in serial port is listed only when its UART exists (type not 0).
bool IsPresent(const std::string& name) {
    const std::string base = SysfsRoot() + "/class/tty/" + name;
    if (name.rfind("ttyS", 0) == 0)
        return Exists(base + "/device") && ReadLine(base + "/type") != "0" &&
               !ReadLine(base + "/type").empty();
    return Exists(base + "/device");
}

} // namespace

std::vector<SerialDevice> SerialDevices() {
    std::vector<SerialDevice> devices;
    if (const std::string folder = PortsFolder(); !folder.empty()) {
        int last = -1;
        for (const auto& [port, link] : PortsFolderEntries(folder)) {
            if (port == last)
                continue; // the entry that opening takes is the one listed
            last = port;
            // The device a COMn names; a link to a device that is not there still tells which.
            std::string target = RealPath(link);
            if (target.empty()) {
                char text[PATH_MAX] = {};
                const ssize_t n = ::readlink(link.c_str(), text, sizeof text - 1);
                target = n > 0 ? std::string(text, static_cast<size_t>(n)) : link;
            }
            SerialDevice device;
            device.name = target.substr(target.find_last_of('/') + 1);
            device.port = port;
            ReadUsbIdentity(device);
            devices.push_back(device);
        }
    } else {
        // Each known adapter looked for once, not once a tty.
        const std::map<std::string, int> following = FollowingPorts();
        for (const auto& name : TtyNames()) {
            const auto followed = following.find(name);
            int port = followed != following.end() ? followed->second : 0;
            for (int n = 1; n <= 48 && port == 0; ++n)
                if (NumberedDevice(n) == "/dev/" + name)
                    port = n;
            if (port == 0 || !IsPresent(name))
                continue;
            SerialDevice device;
            device.name = name;
            device.port = port;
            ReadUsbIdentity(device);
            devices.push_back(device);
        }
    }
    std::stable_sort(devices.begin(), devices.end(),
                     [](const SerialDevice& a, const SerialDevice& b) { return a.port < b.port; });
    return devices;
}

} // namespace posix

namespace {

// Registry paths compare as Windows compares them: without regard to case or a final '\'.
std::string KeyOf(std::string path) {
    while (!path.empty() && path.back() == '\\')
        path.pop_back();
    return LowerCase(path);
}

const std::string deviceMapKey = KeyOf("Hardware\\DeviceMap\\SerialComm");
const std::string usbEnumKey = KeyOf("SYSTEM\\CurrentControlSet\\Enum\\USB");

constexpr std::size_t maxSerialText = 63; // what the library's serial text holds

// Windows keeps one key per adapter even when two share their USB identity (boards that all
// ship serial "0001", CH340 bridges with none): the device's own name makes the text unique.
std::string BridgeSerialText(const posix::SerialDevice& d) {
    return (d.name + "&" + d.serial).substr(0, maxSerialText);
}

std::string UsbKeyOf(const posix::SerialDevice& d) {
    std::string serial = BridgeSerialText(d);
    std::replace(serial.begin(), serial.end(), ' ', '_');
    return usbEnumKey + "\\" +
           KeyOf("Vid_" + d.vendorId + "&Pid_" + d.productId + "\\" + serial +
                 "\\Device Parameters");
}

class SynthesizedRegistry : public Registry {
  public:
    SynthesizedRegistry() : devices_(posix::SerialDevices()) {}

    std::optional<std::vector<std::string>>
    ValueData(const std::string& keyPath, std::size_t maxValues, std::size_t bufferBytes) override {
        if (KeyOf(keyPath) != deviceMapKey)
            return std::nullopt;
        std::vector<std::string> data;
        for (const auto& d : devices_)
            if (data.size() < maxValues)
                data.push_back(("COM" + std::to_string(d.port)).substr(0, bufferBytes - 1));
        return data;
    }

    bool KeyOpens(const std::string& keyPath) override {
        const std::string key = KeyOf(keyPath);
        if (key == deviceMapKey || key == usbEnumKey || KeyOf("SYSTEM\\CurrentControlSet") == key)
            return true;
        return std::any_of(devices_.begin(), devices_.end(), [&](const posix::SerialDevice& d) {
            return d.usb && UsbKeyOf(d) == key;
        });
    }

    std::optional<std::string> Value(const std::string& keyPath, const std::string& valueName,
                                     std::size_t bufferBytes) override {
        if (LowerCase(valueName) != "portname")
            return std::nullopt;
        const std::string key = KeyOf(keyPath);
        for (const auto& d : devices_)
            if (d.usb && UsbKeyOf(d) == key)
                return ("COM" + std::to_string(d.port)).substr(0, bufferBytes - 1);
        return std::nullopt;
    }

  private:
    std::vector<posix::SerialDevice> devices_;
};

class SysfsBridgeLibrary : public BridgeLibrary {
  public:
    SysfsBridgeLibrary() {
        for (auto& d : posix::SerialDevices())
            if (d.usb)
                adapters_.push_back(d);
    }
    int GetNumDevices(DWORD* count) override {
        *count = static_cast<DWORD>(adapters_.size());
        return 0;
    }
    int Open(DWORD index, Device* device) override {
        if (index >= adapters_.size())
            return 1;
        *device = &adapters_[index];
        return 0;
    }
    int Close(Device) override { return 0; }
    int GetProductText(Device device, char* text, BYTE* length) override {
        const std::string& product = Of(device).product;
        const std::size_t n = std::min<std::size_t>(product.size(), 99);
        std::memcpy(text, product.data(), n);
        text[n] = '\0';
        *length = static_cast<BYTE>(n);
        return 0;
    }
    int GetSerialText(Device device, char* text, BYTE* length) override {
        const std::string serial = BridgeSerialText(Of(device));
        const std::size_t n = serial.size();
        std::memcpy(text, serial.data(), n);
        *length = static_cast<BYTE>(n);
        return 0;
    }
    int GetVid(Device device, WORD* vid) override { return Hex(Of(device).vendorId, vid); }
    int GetPid(Device device, WORD* pid) override { return Hex(Of(device).productId, pid); }

  private:
    static const posix::SerialDevice& Of(Device device) {
        return *static_cast<const posix::SerialDevice*>(device);
    }
    static int Hex(const std::string& text, WORD* value) {
        char* end = nullptr;
        const unsigned long v = std::strtoul(text.c_str(), &end, 16);
        if (text.empty() || end == text.c_str() || v > 0xFFFF)
            return 1;
        *value = static_cast<WORD>(v);
        return 0;
    }
    std::vector<posix::SerialDevice> adapters_;
};

} // namespace

std::unique_ptr<Registry> OpenSystemRegistry() {
    return std::make_unique<SynthesizedRegistry>();
}
std::unique_ptr<BridgeLibrary> LoadBridgeLibrary() {
    return std::make_unique<SysfsBridgeLibrary>();
}

// The family whose registry layout the synthesized view follows: Windows NT 6.
DWORD GetVersion() {
    return 0x00000106;
}

} // namespace sys
