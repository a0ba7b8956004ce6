#pragma once

#include "sys/registry.h"

#include <cstdint>
#include <string>
#include <vector>

struct PortListEntry {
    std::string label;
    std::int32_t portNumber;
};

struct BridgeDevice {
    std::uint16_t vendorId = 0;
    std::uint16_t productId = 0;
    std::string serialText;
    std::string extraText;
    std::int32_t portNumber = 0;
};

// The ports of the device map in ascending order, each USB bridge's port marked " (USB)" in
// place or appended.
std::vector<PortListEntry> BuildPortList(sys::Registry& registry, sys::BridgeLibrary& library,
                                         DWORD version);
std::vector<BridgeDevice> EnumerateBridges(sys::Registry& registry, sys::BridgeLibrary& library,
                                           DWORD version);
// The port of a bridge from its USB identity, or -1.
std::int32_t FindBridgePortNt(sys::Registry& registry, std::uint16_t vendorId,
                              std::uint16_t productId, std::string serialText);
std::int32_t FindBridgePort9x(sys::Registry& registry, std::uint16_t vendorId,
                              std::uint16_t productId, std::string serialText);
// With the system's own registry and library.
std::vector<PortListEntry> BuildPortList();
