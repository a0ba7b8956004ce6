// The registry read for real, and the bridge maker's library loaded at run time with its
// functions taken by ordinal, so that the program starts (and lists the plain ports) without it.
#include "sys/win32/utf16.h"

#include "sys/registry.h"

#include <vector>

namespace sys {

namespace {

// A key of HKEY_LOCAL_MACHINE, closed with the object.
class Key {
  public:
    explicit Key(const std::string& path) {
        if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, path.c_str(), 0, KEY_READ, &key_) != ERROR_SUCCESS)
            key_ = nullptr;
    }
    ~Key() {
        if (key_ != nullptr)
            RegCloseKey(key_);
    }
    Key(const Key&) = delete;
    Key& operator=(const Key&) = delete;
    HKEY Get() const { return key_; }

  private:
    HKEY key_ = nullptr;
};

class WindowsRegistry : public Registry {
  public:
    std::optional<std::vector<std::string>>
    ValueData(const std::string& keyPath, std::size_t maxValues, std::size_t bufferBytes) override {
        Key key(keyPath);
        if (key.Get() == nullptr)
            return std::nullopt;
        std::vector<std::string> data;
        for (DWORD index = 0; index < maxValues; ++index) {
            std::vector<char> name(bufferBytes), value(bufferBytes);
            DWORD nameSize = static_cast<DWORD>(name.size());
            DWORD valueSize = static_cast<DWORD>(value.size());
            const LONG status =
                RegEnumValueA(key.Get(), index, name.data(), &nameSize, nullptr, nullptr,
                              reinterpret_cast<BYTE*>(value.data()), &valueSize);
            if (status == ERROR_NO_MORE_ITEMS)
                break;
            if (status != ERROR_SUCCESS)
                continue;
            data.emplace_back(value.data(), strnlen(value.data(), value.size()));
        }
        return data;
    }

    bool KeyOpens(const std::string& keyPath) override { return Key(keyPath).Get() != nullptr; }

    std::optional<std::string> Value(const std::string& keyPath, const std::string& valueName,
                                     std::size_t bufferBytes) override {
        Key key(keyPath);
        if (key.Get() == nullptr)
            return std::nullopt;
        std::vector<char> value(bufferBytes);
        DWORD size = static_cast<DWORD>(value.size());
        if (RegQueryValueExA(key.Get(), valueName.c_str(), nullptr, nullptr,
                             reinterpret_cast<BYTE*>(value.data()), &size) != ERROR_SUCCESS)
            return std::nullopt;
        return std::string(value.data(), strnlen(value.data(), value.size()));
    }
};

class Cp210xLibrary : public BridgeLibrary {
  public:
    Cp210xLibrary() : module_(LoadLibraryA("CP210xManufacturing.dll")) {
        if (module_ == nullptr)
            return;
        getNumDevices_ = Take<GetNumDevicesFn>(1);
        open_ = Take<OpenFn>(3);
        close_ = Take<CloseFn>(4);
        getProductText_ = Take<TextFn>(12);
        getSerialText_ = Take<TextFn>(13);
        getVid_ = Take<IdFn>(14);
        getPid_ = Take<IdFn>(15);
    }
    ~Cp210xLibrary() override {
        if (module_ != nullptr)
            FreeLibrary(module_);
    }
    Cp210xLibrary(const Cp210xLibrary&) = delete;
    Cp210xLibrary& operator=(const Cp210xLibrary&) = delete;

    int GetNumDevices(DWORD* count) override {
        *count = 0;
        return getNumDevices_ != nullptr ? getNumDevices_(count) : 1;
    }
    int Open(DWORD index, Device* device) override {
        return open_ != nullptr ? open_(index, device) : 1;
    }
    int Close(Device device) override { return close_ != nullptr ? close_(device) : 1; }
    int GetProductText(Device device, char* text, BYTE* length) override {
        *length = 100;
        return getProductText_ != nullptr ? getProductText_(device, text, length, TRUE) : 1;
    }
    int GetSerialText(Device device, char* text, BYTE* length) override {
        *length = 0;
        return getSerialText_ != nullptr ? getSerialText_(device, text, length, TRUE) : 1;
    }
    int GetVid(Device device, WORD* vid) override {
        return getVid_ != nullptr ? getVid_(device, vid) : 1;
    }
    int GetPid(Device device, WORD* pid) override {
        return getPid_ != nullptr ? getPid_(device, pid) : 1;
    }

  private:
    using GetNumDevicesFn = int(WINAPI*)(DWORD*);
    using OpenFn = int(WINAPI*)(DWORD, Device*);
    using CloseFn = int(WINAPI*)(Device);
    using TextFn = int(WINAPI*)(Device, char*, BYTE*, BOOL);
    using IdFn = int(WINAPI*)(Device, WORD*);

    template <class Fn> Fn Take(int ordinal) {
        return reinterpret_cast<Fn>(
            reinterpret_cast<void*>(GetProcAddress(module_, MAKEINTRESOURCEA(ordinal))));
    }

    HMODULE module_;
    GetNumDevicesFn getNumDevices_ = nullptr;
    OpenFn open_ = nullptr;
    CloseFn close_ = nullptr;
    TextFn getProductText_ = nullptr, getSerialText_ = nullptr;
    IdFn getVid_ = nullptr, getPid_ = nullptr;
};

} // namespace

std::unique_ptr<Registry> OpenSystemRegistry() {
    return std::make_unique<WindowsRegistry>();
}
std::unique_ptr<BridgeLibrary> LoadBridgeLibrary() {
    return std::make_unique<Cp210xLibrary>();
}
DWORD GetVersion() {
    return ::GetVersion();
}

} // namespace sys
