// UTF-8 inside the program, UTF-16 at the Windows API.
#pragma once

#include <windows.h>

#include <string>

namespace sys::win32 {

// UTF-8 text, or text in another code page (CP_ACP: the system's ANSI code page), as UTF-16.
inline std::wstring Widen(const std::string& text, UINT codePage = CP_UTF8) {
    if (text.empty())
        return std::wstring();
    const int n =
        MultiByteToWideChar(codePage, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    std::wstring wide(static_cast<size_t>(n), L'\0');
    MultiByteToWideChar(codePage, 0, text.data(), static_cast<int>(text.size()), wide.data(), n);
    return wide;
}

inline std::string Narrow(const std::wstring& wide) {
    if (wide.empty())
        return std::string();
    const int n = WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()),
                                      nullptr, 0, nullptr, nullptr);
    std::string text(static_cast<size_t>(n), '\0');
    WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()), text.data(), n,
                        nullptr, nullptr);
    return text;
}

} // namespace sys::win32
