// What the port list reads of the system: the registry under HKEY_LOCAL_MACHINE (read only),
// the USB-to-UART bridge maker's library, and the system's version. Win32: RegOpenKeyEx and
// friends, the library loaded at run time with its functions taken by ordinal. POSIX: a
// registry view and a library synthesized from the port map and sysfs.
#pragma once

#include "fw/types.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace sys {

class Registry {
  public:
    virtual ~Registry() = default;
    // The data of the key's values in the key's order, at most maxValues; nothing when the key
    // does not open. Names and data are read with buffers of bufferBytes.
    virtual std::optional<std::vector<std::string>>
    ValueData(const std::string& keyPath, std::size_t maxValues, std::size_t bufferBytes) = 0;
    virtual bool KeyOpens(const std::string& keyPath) = 0;
    // A string value; nothing when the key or the value does not read.
    virtual std::optional<std::string>
    Value(const std::string& keyPath, const std::string& valueName, std::size_t bufferBytes) = 0;
};

// The seven operations of the bridge library, by their ordinals; each returns a status, 0 for
// success.
class BridgeLibrary {
  public:
    using Device = void*;
    virtual ~BridgeLibrary() = default;
    virtual int GetNumDevices(DWORD* count) = 0;                             // 1
    virtual int Open(DWORD index, Device* device) = 0;                       // 3
    virtual int Close(Device device) = 0;                                    // 4
    virtual int GetProductText(Device device, char* text, BYTE* length) = 0; // 12, 100 bytes
    virtual int GetSerialText(Device device, char* text, BYTE* length) = 0;  // 13, 64 bytes
    virtual int GetVid(Device device, WORD* vid) = 0;                        // 14
    virtual int GetPid(Device device, WORD* pid) = 0;                        // 15
};

std::unique_ptr<Registry> OpenSystemRegistry();
// The library, or a stand-in that reports no device when it is absent.
std::unique_ptr<BridgeLibrary> LoadBridgeLibrary();
DWORD GetVersion();

} // namespace sys
