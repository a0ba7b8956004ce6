// Tests only: a stand-in for the USB bridge maker's library, exporting the seven operations by
// the ordinals the program imports. Its devices come from QEL32_BRIDGES:
// "VID:PID:SERIAL:PRODUCT;..." (identifiers in hex).
#include <windows.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

struct Device {
    WORD vid = 0, pid = 0;
    std::string serial, product;
};

std::vector<Device> Devices() {
    std::vector<Device> devices;
    const char* config = std::getenv("QEL32_BRIDGES");
    std::string text = config != nullptr ? config : "";
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find(';', start);
        if (end == std::string::npos)
            end = text.size();
        const std::string item = text.substr(start, end - start);
        start = end + 1;
        std::vector<std::string> fields;
        size_t f = 0;
        for (int i = 0; i < 3; ++i) {
            const size_t colon = item.find(':', f);
            if (colon == std::string::npos)
                break;
            fields.push_back(item.substr(f, colon - f));
            f = colon + 1;
        }
        fields.push_back(item.substr(f));
        if (fields.size() != 4)
            continue;
        Device d;
        d.vid = static_cast<WORD>(std::strtoul(fields[0].c_str(), nullptr, 16));
        d.pid = static_cast<WORD>(std::strtoul(fields[1].c_str(), nullptr, 16));
        d.serial = fields[2];
        d.product = fields[3];
        devices.push_back(d);
    }
    return devices;
}

Device* Of(void* handle) {
    return static_cast<Device*>(handle);
}

} // namespace

extern "C" {

__declspec(dllexport) int WINAPI StandInCount(DWORD* count) {
    *count = static_cast<DWORD>(Devices().size());
    return 0;
}

__declspec(dllexport) int WINAPI StandInOpen(DWORD index, void** handle) {
    static std::vector<Device> opened;
    opened = Devices();
    if (index >= opened.size())
        return 2;
    *handle = &opened[index];
    return 0;
}

__declspec(dllexport) int WINAPI StandInClose(void*) {
    return 0;
}

__declspec(dllexport) int WINAPI StandInProduct(void* handle, char* text, BYTE* length, BOOL) {
    const std::string& p = Of(handle)->product;
    const size_t n = p.size() < 99 ? p.size() : 99;
    std::memcpy(text, p.data(), n);
    text[n] = '\0';
    *length = static_cast<BYTE>(n);
    return 0;
}

__declspec(dllexport) int WINAPI StandInSerial(void* handle, char* text, BYTE* length, BOOL) {
    const std::string& s = Of(handle)->serial;
    const size_t n = s.size() < 63 ? s.size() : 63;
    std::memcpy(text, s.data(), n); // no terminating zero, as the program expects
    *length = static_cast<BYTE>(n);
    return 0;
}

__declspec(dllexport) int WINAPI StandInVid(void* handle, WORD* vid) {
    *vid = Of(handle)->vid;
    return 0;
}

__declspec(dllexport) int WINAPI StandInPid(void* handle, WORD* pid) {
    *pid = Of(handle)->pid;
    return 0;
}
}
