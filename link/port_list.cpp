#include "link/port_list.h"

#include "sys/text.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

namespace {

const std::string deviceMapKey = "Hardware\\DeviceMap\\SerialComm";
const std::string usbEnumKey = "SYSTEM\\CurrentControlSet\\Enum\\USB\\";
constexpr std::size_t maxDeviceMapValues = 256;
constexpr std::size_t deviceMapBufferBytes = 256;
constexpr std::size_t valueBufferBytes = 100;
constexpr std::size_t serialBufferBytes = 64;
constexpr std::size_t productBufferBytes = 100;

// "COM12" → 12: the number after the first three characters, as atoi reads it.
std::int32_t PortNumberAfterPrefix(const std::string& portName) {
    return static_cast<std::int32_t>(
        sys::ReadDecimal(portName.size() > 3 ? portName.substr(3) : ""));
}

std::string PlainLabel(std::int32_t port) {
    return "COM" + std::to_string(port);
}

std::string Format(const char* pattern, unsigned vid, unsigned pid, const std::string& serial) {
    char buffer[512];
    std::snprintf(buffer, sizeof buffer, pattern, vid, pid, serial.c_str());
    return buffer;
}

} // namespace

std::int32_t FindBridgePortNt(sys::Registry& registry, std::uint16_t vendorId,
                              std::uint16_t productId, std::string serialText) {
    std::replace(serialText.begin(), serialText.end(), ' ', '_');
    if (!registry.KeyOpens(usbEnumKey))
        return -1;
    std::string key = usbEnumKey + Format("Vid_%04x&Pid_%04x&Mi_00\\%s_00\\Device Parameters\\",
                                          vendorId, productId, serialText);
    if (!registry.KeyOpens(key)) {
        key = usbEnumKey +
              Format("Vid_%04x&Pid_%04x\\%s\\Device Parameters\\", vendorId, productId, serialText);
        if (!registry.KeyOpens(key))
            return -1;
    }
    const auto portName = registry.Value(key, "PortName", valueBufferBytes);
    return portName ? PortNumberAfterPrefix(*portName) : -1;
}

std::int32_t FindBridgePort9x(sys::Registry& registry, std::uint16_t vendorId,
                              std::uint16_t productId, std::string serialText) {
    std::replace(serialText.begin(), serialText.end(), ' ', '_');
    for (auto& c : serialText)
        if (c >= 'a' && c <= 'z')
            c = static_cast<char>(c - 'a' + 'A');
    const std::string expected =
        Format("USB\\VID_%04X&PID_%04X&MI_00\\%s_00", vendorId, productId, serialText);
    std::int32_t result = -1;
    // Every instance is looked at: the last one that matches wins.
    for (int k = 0;; ++k) {
        char key[64];
        std::snprintf(key, sizeof key, "Enum\\SLABCR\\guid\\%.4d", k);
        if (!registry.KeyOpens(key))
            break;
        const auto identity = registry.Value(key, "CRLowerDeviceID", valueBufferBytes);
        if (identity && *identity == expected)
            if (const auto portName = registry.Value(key, "Portname", valueBufferBytes))
                result = PortNumberAfterPrefix(*portName);
    }
    return result;
}

std::vector<BridgeDevice> EnumerateBridges(sys::Registry& registry, sys::BridgeLibrary& library,
                                           DWORD version) {
    DWORD count = 0;
    library.GetNumDevices(&count);
    std::vector<BridgeDevice> bridges;
    for (DWORD index = 0; index < count; ++index) {
        BridgeDevice bridge;
        sys::BridgeLibrary::Device device = nullptr;
        const bool opened = library.Open(index, &device) == 0;
        if (opened && library.GetVid(device, &bridge.vendorId) == 0 &&
            library.GetPid(device, &bridge.productId) == 0) {
            char serial[serialBufferBytes] = {};
            BYTE length = 0;
            library.GetSerialText(device, serial, &length);
            bridge.serialText.assign(serial, std::min<std::size_t>(length, serialBufferBytes - 1));
            char product[productBufferBytes] = {};
            BYTE productLength = static_cast<BYTE>(productBufferBytes);
            if (library.GetProductText(device, product, &productLength) == 0)
                bridge.extraText.assign(product, strnlen(product, productBufferBytes));
        }
        // The lookup runs with whatever was read: identifiers not read are 0, and find nothing.
        const DWORD family = version & 0x8000000F;
        if (family == 5 || family == 6)
            bridge.portNumber =
                FindBridgePortNt(registry, bridge.vendorId, bridge.productId, bridge.serialText);
        else if (family == 0x80000004)
            bridge.portNumber =
                FindBridgePort9x(registry, bridge.vendorId, bridge.productId, bridge.serialText);
        if (opened)
            library.Close(device);
        bridges.push_back(bridge);
    }
    return bridges;
}

std::vector<PortListEntry> BuildPortList(sys::Registry& registry, sys::BridgeLibrary& library,
                                         DWORD version) {
    std::vector<PortListEntry> list;
    // The device map, smallest port first; equal numbers each keep their entry.
    if (auto names = registry.ValueData(deviceMapKey, maxDeviceMapValues, deviceMapBufferBytes)) {
        std::vector<std::int32_t> numbers;
        for (const auto& name : *names)
            numbers.push_back(PortNumberAfterPrefix(name));
        std::stable_sort(numbers.begin(), numbers.end());
        for (std::int32_t n : numbers)
            list.push_back({PlainLabel(n), n});
    }
    // The bridges, marked in place or appended.
    for (const auto& bridge : EnumerateBridges(registry, library, version)) {
        const std::string plain = PlainLabel(bridge.portNumber);
        const auto same = std::find_if(list.begin(), list.end(), [&](const PortListEntry& e) {
            return sys::LowerCase(e.label) == sys::LowerCase(plain);
        });
        const PortListEntry marked{plain + " (USB)", bridge.portNumber};
        if (same != list.end())
            *same = marked;
        else
            list.push_back(marked);
    }
    return list;
}

std::vector<PortListEntry> BuildPortList() {
    auto registry = sys::OpenSystemRegistry();
    auto library = sys::LoadBridgeLibrary();
    return BuildPortList(*registry, *library, sys::GetVersion());
}
