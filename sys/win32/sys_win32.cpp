// Windows OS services: direct calls.
#include "sys/win32/utf16.h"

#undef GetProfileString // the service keeps the Windows name

#include "sys/sys.h"

#include <vector>

namespace sys {

std::string ExecutablePath() {
    std::vector<wchar_t> buffer(MAX_PATH);
    for (;;) {
        const DWORD n =
            GetModuleFileNameW(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
        if (n < buffer.size())
            return win32::Narrow(std::wstring(buffer.data(), n));
        buffer.resize(buffer.size() * 2);
    }
}

std::string GetProfileString(const std::string& section, const std::string& key,
                             const std::string& def, std::size_t maxChars) {
    if (maxChars == 0)
        return std::string();
    std::vector<wchar_t> buffer(maxChars);
    const DWORD n = GetProfileStringW(win32::Widen(section).c_str(), win32::Widen(key).c_str(),
                                      win32::Widen(def).c_str(), buffer.data(),
                                      static_cast<DWORD>(buffer.size()));
    return win32::Narrow(std::wstring(buffer.data(), n));
}

// Windows itself matches names as the user expects.
std::string ResolveUserFileName(const std::string& name) {
    return name;
}

} // namespace sys
