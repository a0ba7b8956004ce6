// Looks at and drives the windows of another program through the Win32 window API, so that
// GUI tests check captions, control texts and identifiers rather than pixels.
//
//   winprobe wait <caption> [seconds]     wait for a visible top-level window
//   winprobe gone <caption> [seconds]     wait until no such window is left
//   winprobe dump <caption>               the window and its controls, one per line
//   winprobe click <caption> <id>         press a button
//   winprobe key <caption> return|escape  a key to the focused control of the window
//   winprobe close <caption>              the close box
//   winprobe select <caption> <id> <index>  select a list box item
//   winprobe list <caption> <id>          a list box's items: "index|text|data|selected"
//   winprobe move <caption> <x> <y>       move a window (to uncover another)
//   winprobe gauge <caption> <id>         pixel counts of a painted bar: blue, white, other
// Exit status 0 on success, 1 when the window is not found or a wait runs out.
#include <windows.h>
#include <shellapi.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

std::wstring Widen(const char* text) {
    const int n = MultiByteToWideChar(CP_UTF8, 0, text, -1, nullptr, 0);
    std::wstring wide(static_cast<size_t>(n), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, text, -1, wide.data(), n);
    wide.resize(wide.size() - 1);
    return wide;
}

std::string Narrow(const std::wstring& wide) {
    const int n = WideCharToMultiByte(CP_UTF8, 0, wide.c_str(), -1, nullptr, 0, nullptr, nullptr);
    std::string text(static_cast<size_t>(n), '\0');
    WideCharToMultiByte(CP_UTF8, 0, wide.c_str(), -1, text.data(), n, nullptr, nullptr);
    text.resize(text.size() - 1);
    return text;
}

void Print(const std::string& line) {
    DWORD written = 0;
    const std::string out = line + "\n";
    WriteFile(GetStdHandle(STD_OUTPUT_HANDLE), out.data(), static_cast<DWORD>(out.size()), &written,
              nullptr);
}

std::wstring TextOf(HWND hwnd) {
    wchar_t buffer[1024] = {};
    GetWindowTextW(hwnd, buffer, 1024);
    return buffer;
}

std::wstring ClassOf(HWND hwnd) {
    wchar_t buffer[256] = {};
    GetClassNameW(hwnd, buffer, 256);
    return buffer;
}

struct Search {
    std::wstring caption;
    bool dialogsOnly;
    HWND found = nullptr;
};

// A dialog wins over another window of the same caption (the backdrop and the welcome dialog
// share theirs).
BOOL CALLBACK MatchTopLevel(HWND hwnd, LPARAM param) {
    auto* search = reinterpret_cast<Search*>(param);
    if (!IsWindowVisible(hwnd) || TextOf(hwnd) != search->caption)
        return TRUE;
    if (ClassOf(hwnd) == L"#32770") {
        search->found = hwnd;
        return FALSE;
    }
    if (search->found == nullptr && !search->dialogsOnly)
        search->found = hwnd;
    return TRUE;
}

// Dialogs and message boxes only, unless any window will do (dump).
HWND FindTopLevel(const char* caption, bool dialogsOnly = true) {
    Search search{Widen(caption), dialogsOnly};
    EnumWindows(MatchTopLevel, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

HWND WaitFor(const char* caption, int seconds, bool present) {
    for (int i = 0; i < seconds * 10; ++i) {
        HWND hwnd = FindTopLevel(caption);
        if ((hwnd != nullptr) == present)
            return present ? hwnd : reinterpret_cast<HWND>(1);
        Sleep(100);
    }
    return nullptr;
}

std::string Hex(unsigned long value) {
    char buffer[16];
    std::snprintf(buffer, sizeof buffer, "0x%08lx", value);
    return buffer;
}

BOOL CALLBACK DumpChild(HWND hwnd, LPARAM) {
    Print("control id=" + std::to_string(GetDlgCtrlID(hwnd)) + " class=" + Narrow(ClassOf(hwnd)) +
          " visible=" + (IsWindowVisible(hwnd) ? "1" : "0") +
          " style=" + Hex(static_cast<unsigned long>(GetWindowLongW(hwnd, GWL_STYLE))) +
          " text=\"" + Narrow(TextOf(hwnd)) + "\"");
    return TRUE;
}

void Dump(HWND hwnd) {
    RECT r{};
    GetWindowRect(hwnd, &r);
    std::string line = "window class=" + Narrow(ClassOf(hwnd)) +
                       " zoomed=" + (IsZoomed(hwnd) ? "1" : "0") +
                       " rect=" + std::to_string(r.left) + "," + std::to_string(r.top) + "," +
                       std::to_string(r.right) + "," + std::to_string(r.bottom) +
                       " screen=" + std::to_string(GetSystemMetrics(SM_CXSCREEN)) + "x" +
                       std::to_string(GetSystemMetrics(SM_CYSCREEN));
    if (ClassOf(hwnd) == L"#32770") {
        DWORD_PTR defId = 0;
        SendMessageTimeoutW(hwnd, DM_GETDEFID, 0, 0, SMTO_ABORTIFHUNG, 2000, &defId);
        line += " defid=" + std::to_string(LOWORD(defId));
    }
    HWND owner = GetWindow(hwnd, GW_OWNER);
    if (owner != nullptr)
        line += " owner=\"" + Narrow(TextOf(owner)) + "\"";
    line += " caption=\"" + Narrow(TextOf(hwnd)) + "\"";
    Print(line);
    EnumChildWindows(hwnd, DumpChild, 0);
}

HWND FocusOf(HWND window) {
    GUITHREADINFO info{};
    info.cbSize = sizeof info;
    if (GetGUIThreadInfo(GetWindowThreadProcessId(window, nullptr), &info) &&
        info.hwndFocus != nullptr)
        return info.hwndFocus;
    return window;
}

int Usage() {
    Print("usage: winprobe wait|gone|dump|click|key|close <caption> [argument]");
    return 2;
}

} // namespace

int main() {
    // The wide command line: a caption such as "Mise à jour des appareils" arrives whole, which
    // the ANSI arguments cannot promise.
    int argc = 0;
    wchar_t** wide = CommandLineToArgvW(GetCommandLineW(), &argc);
    std::vector<std::string> args;
    for (int i = 0; i < argc; ++i)
        args.push_back(Narrow(wide[i]));
    LocalFree(wide);
    std::vector<char*> pointers;
    for (auto& a : args)
        pointers.push_back(a.data());
    char** argv = pointers.data();
    if (argc < 3)
        return Usage();
    const std::string command = argv[1];
    const char* caption = argv[2];
    if (command == "wait" || command == "gone") {
        const int seconds = argc > 3 ? std::atoi(argv[3]) : 30;
        return WaitFor(caption, seconds, command == "wait") != nullptr ? 0 : 1;
    }
    HWND hwnd = FindTopLevel(caption, command != "dump");
    if (hwnd == nullptr) {
        Print("no window \"" + std::string(caption) + "\"");
        return 1;
    }
    if (command == "dump") {
        Dump(hwnd);
        return 0;
    }
    if (command == "click" && argc > 3) {
        const int id = std::atoi(argv[3]);
        HWND button = GetDlgItem(hwnd, id);
        if (button == nullptr)
            return 1;
        // What a click makes the button send; unlike a simulated mouse click it does not
        // depend on which window is in front.
        PostMessageW(hwnd, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED),
                     reinterpret_cast<LPARAM>(button));
        return 0;
    }
    if (command == "key" && argc > 3) {
        const std::string key = argv[3];
        const WPARAM vk = key == "return" ? VK_RETURN : key == "escape" ? VK_ESCAPE : 0;
        if (vk == 0)
            return Usage();
        HWND target = FocusOf(hwnd);
        PostMessageW(target, WM_KEYDOWN, vk, 1);
        PostMessageW(target, WM_KEYUP, vk, 0xC0000001);
        return 0;
    }
    if (command == "select" && argc > 4) {
        HWND list = GetDlgItem(hwnd, std::atoi(argv[3]));
        if (list == nullptr)
            return 1;
        SendMessageW(list, LB_SETCURSEL, static_cast<WPARAM>(std::atoi(argv[4])), 0);
        return 0;
    }
    if (command == "list" && argc > 3) {
        HWND list = GetDlgItem(hwnd, std::atoi(argv[3]));
        if (list == nullptr)
            return 1;
        const LRESULT count = SendMessageW(list, LB_GETCOUNT, 0, 0);
        const LRESULT selected = SendMessageW(list, LB_GETCURSEL, 0, 0);
        for (LRESULT i = 0; i < count; ++i) {
            wchar_t text[256] = {};
            SendMessageW(list, LB_GETTEXT, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(text));
            const LRESULT data = SendMessageW(list, LB_GETITEMDATA, static_cast<WPARAM>(i), 0);
            Print(std::to_string(i) + "|" + Narrow(text) + "|" + std::to_string(data) + "|" +
                  (i == selected ? "selected" : ""));
        }
        return 0;
    }
    if (command == "move" && argc > 4) {
        SetWindowPos(hwnd, nullptr, std::atoi(argv[3]), std::atoi(argv[4]), 0, 0,
                     SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
        Sleep(300); // let the uncovered window repaint
        return 0;
    }
    if (command == "gauge" && argc > 3) {
        HWND control = GetDlgItem(hwnd, std::atoi(argv[3]));
        if (control == nullptr)
            return 1;
        // Read from the screen: what a person sees, whichever process painted it.
        RECT r{};
        GetClientRect(control, &r);
        POINT origin{0, 0};
        ClientToScreen(control, &origin);
        HDC dc = GetDC(nullptr);
        int blue = 0, white = 0, other = 0;
        const int y = origin.y + 2; // inside the frame, above the text
        for (int x = origin.x + 1; x < origin.x + r.right - 1; ++x) {
            const COLORREF c = GetPixel(dc, x, y);
            if (c == RGB(0, 0, 255))
                ++blue;
            else if (c == RGB(255, 255, 255))
                ++white;
            else
                ++other;
        }
        ReleaseDC(nullptr, dc);
        Print("blue=" + std::to_string(blue) + " white=" + std::to_string(white) +
              " other=" + std::to_string(other));
        return 0;
    }
    if (command == "close") {
        PostMessageW(hwnd, WM_SYSCOMMAND, SC_CLOSE, 0);
        return 0;
    }
    return Usage();
}
