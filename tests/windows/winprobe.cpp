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
//   winprobe gaugeexact <caption> <id> <position> <range>  the bar read exactly: inner width,
//                                         the blue run from the left, the frame, the text's
//                                         pixels on each side, and how many pixels differ from
//                                         the gauge drawn as it must be
//   winprobe state <caption>              enabled, foreground, and the visible top-level windows
//                                         in z-order, topmost first
//   winprobe center <caption> <id>        screen coordinates of a control's centre (for real
//                                         mouse input through the X server)
//   winprobe layout <caption> [face] [points]  controls outside the dialog, and static texts
//                                         that do not fit in the dialog's font (another
//                                         process's font handle means nothing here)
//   winprobe sel <caption> <id>           the selection of an edit control: "start end"
//   winprobe focus <caption>              the control that has the keyboard focus: "id=N"
//   winprobe fits <caption> <id>          an edit control's widest line in the fixed font the
//                                         read-me pane uses, against its client width
//   winprobe endtask <caption>            WM_CLOSE to the top-level window that is no dialog
//                                         (the backdrop), as the task list's End task sends it
//   winprobe manifest <exe>               the application manifest embedded in a program
//   winprobe icons <exe>                  the images of a program's icon: "WxHxBITS ..."
//   winprobe answers <caption> <ms>       whether the window's thread reads its messages: a
//                                         message sent to it is answered within ms ("1"/"0")
//   winprobe lineheight <caption> <id>    the height in pixels of a multi-line edit control's
//                                         lines, from where it places its second line's text
//   winprobe endsession <caption>         the end of a session that does not wait (a forced
//                                         restart): WM_ENDSESSION with TRUE to the window, then
//                                         the end of its process, as Windows ends it
//   winprobe devicechange <caption>       WM_DEVICECHANGE (devices changed), as Windows sends
//                                         every top-level window when an adapter comes or goes
//   winprobe windows                      every visible top-level window: process, class,
//                                         caption, how long it took to give its caption, and
//                                         whether its thread has stopped reading its messages
// Exit status 0 on success, 1 when the window is not found or a wait runs out.
#include <windows.h>
#include <shellapi.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
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

// The pixels, row by row, of a bitmap like the screen's that `draw` paints.
template <typename Draw> std::vector<COLORREF> PixelsDrawnBy(int width, int height, Draw draw) {
    HDC screen = GetDC(nullptr);
    HDC dc = CreateCompatibleDC(screen);
    HBITMAP bitmap = CreateCompatibleBitmap(screen, width, height);
    HGDIOBJ old = SelectObject(dc, bitmap);
    draw(dc, screen);
    std::vector<COLORREF> pixels;
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            pixels.push_back(GetPixel(dc, x, y));
    SelectObject(dc, old);
    DeleteObject(bitmap);
    DeleteDC(dc);
    ReleaseDC(nullptr, screen);
    return pixels;
}

// The screen's pixels of a rectangle.
std::vector<COLORREF> ScreenPixels(int left, int top, int width, int height) {
    return PixelsDrawnBy(width, height, [&](HDC dc, HDC screen) {
        BitBlt(dc, 0, 0, width, height, screen, left, top, SRCCOPY);
    });
}

// A control's client area as the screen shows it, row by row: what a person sees, whichever
// process painted it. `r` gets the client rectangle.
std::vector<COLORREF> ControlPixels(HWND control, RECT& r) {
    GetClientRect(control, &r);
    POINT origin{0, 0};
    ClientToScreen(control, &origin);
    return ScreenPixels(origin.x, origin.y, r.right, r.bottom);
}

// A percentage gauge as it must look: a black frame; inside it the part done (inner width x
// position / range, truncated) in the bar colour, the rest in the background; the percentage
// "%3d%%" centred, in the bar colour over the rest and in the background colour over the bar.
std::vector<COLORREF> ExpectedGauge(int width, int height, unsigned position, unsigned range,
                                    COLORREF bar, COLORREF background) {
    if (range == 0)
        range = 1;
    position = std::min(position, range);
    const int inner = width - 2;
    const int split =
        1 + static_cast<int>(static_cast<unsigned long long>(inner) * position / range);
    char text[16];
    std::snprintf(text, sizeof text, "%3u%%", static_cast<unsigned>(position * 100ull / range));
    const auto length = static_cast<UINT>(std::strlen(text));
    return PixelsDrawnBy(width, height, [&](HDC dc, HDC) {
        RECT all{0, 0, width, height};
        FrameRect(dc, &all, static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH)));
        SIZE extent{};
        GetTextExtentPoint32A(dc, text, static_cast<int>(length), &extent);
        const int x = (inner - extent.cx) / 2 + 1;
        const int y = (height - 2 - extent.cy) / 2 + 1;
        const RECT rest{split, 1, width - 1, height - 1};
        const RECT done{1, 1, split, height - 1};
        SetTextColor(dc, bar);
        SetBkColor(dc, background);
        ExtTextOutA(dc, x, y, ETO_OPAQUE | ETO_CLIPPED, &rest, text, length, nullptr);
        SetTextColor(dc, background);
        SetBkColor(dc, bar);
        ExtTextOutA(dc, x, y, ETO_OPAQUE | ETO_CLIPPED, &done, text, length, nullptr);
    });
}

void Print(const std::string& line) {
    DWORD written = 0;
    const std::string out = line + "\n";
    WriteFile(GetStdHandle(STD_OUTPUT_HANDLE), out.data(), static_cast<DWORD>(out.size()), &written,
              nullptr);
}

std::wstring TextOf(HWND hwnd) {
    // WM_GETTEXT: GetWindowText gives another process's edit control as empty.
    wchar_t buffer[1024] = {};
    SendMessageTimeoutW(hwnd, WM_GETTEXT, 1024, reinterpret_cast<LPARAM>(buffer), SMTO_ABORTIFHUNG,
                        2000, nullptr);
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
    // Window handles fit in 32 bits, also in a 64-bit process.
    const auto handle = static_cast<unsigned long>(reinterpret_cast<ULONG_PTR>(hwnd));
    std::string line = "window handle=" + Hex(handle) + " class=" + Narrow(ClassOf(hwnd)) +
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
    // Coordinates and font sizes as they are on the screen, at any scaling.
    SetProcessDPIAware();
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
    if (argc == 2 && std::string(argv[1]) == "windows") {
        // What a failed wait saw: a window that does not answer stalls every search.
        for (HWND w = GetTopWindow(nullptr); w != nullptr; w = GetWindow(w, GW_HWNDNEXT)) {
            if (!IsWindowVisible(w))
                continue;
            DWORD pid = 0;
            GetWindowThreadProcessId(w, &pid);
            const DWORD start = GetTickCount();
            const std::wstring text = TextOf(w);
            Print("pid=" + std::to_string(pid) + " class=" + Narrow(ClassOf(w)) + " caption=\"" +
                  Narrow(text) + "\" ms=" + std::to_string(GetTickCount() - start) +
                  " hung=" + (IsHungAppWindow(w) ? "1" : "0"));
        }
        return 0;
    }
    if (argc < 3)
        return Usage();
    const std::string command = argv[1];
    const char* caption = argv[2];
    if (command == "wait" || command == "gone") {
        const int seconds = argc > 3 ? std::atoi(argv[3]) : 30;
        return WaitFor(caption, seconds, command == "wait") != nullptr ? 0 : 1;
    }
    if (command == "manifest") {
        // Read from the file: Wine itself takes every program as aware of the scaling.
        HMODULE module = LoadLibraryExW(Widen(argv[2]).c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
        HRSRC found = module != nullptr ? FindResourceW(module, MAKEINTRESOURCEW(1),
                                                        MAKEINTRESOURCEW(24)) // RT_MANIFEST
                                        : nullptr;
        if (found == nullptr)
            return 1;
        const auto* text = static_cast<const char*>(LockResource(LoadResource(module, found)));
        DWORD written = 0;
        WriteFile(GetStdHandle(STD_OUTPUT_HANDLE), text, SizeofResource(module, found), &written,
                  nullptr);
        FreeLibrary(module);
        return 0;
    }
    if (command == "icons") {
        HMODULE module = LoadLibraryExW(Widen(argv[2]).c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
        HRSRC found = module != nullptr
                          ? FindResourceW(module, MAKEINTRESOURCEW(128), MAKEINTRESOURCEW(14))
                          : nullptr; // RT_GROUP_ICON
        if (found == nullptr)
            return 1;
        const auto* group = static_cast<const BYTE*>(LockResource(LoadResource(module, found)));
        // GRPICONDIR: reserved, type, count; then 14-byte entries: width, height, colours,
        // reserved, planes, bit count, bytes, id.
        const WORD count = *reinterpret_cast<const WORD*>(group + 4);
        std::string images;
        for (WORD i = 0; i < count; ++i) {
            const BYTE* entry = group + 6 + 14 * i;
            const int width = entry[0] == 0 ? 256 : entry[0], height = entry[1] == 0 ? 256 : entry[1];
            const WORD bits = *reinterpret_cast<const WORD*>(entry + 6);
            images += (images.empty() ? "" : " ") + std::to_string(width) + "x" +
                      std::to_string(height) + "x" + std::to_string(bits);
        }
        FreeLibrary(module);
        Print(images);
        return 0;
    }
    if (command == "endtask") {
        struct Frame {
            std::wstring caption;
            HWND found = nullptr;
        } frame{Widen(caption)};
        EnumWindows(
            [](HWND w, LPARAM param) -> BOOL {
                auto* f = reinterpret_cast<Frame*>(param);
                if (IsWindowVisible(w) && TextOf(w) == f->caption && ClassOf(w) != L"#32770") {
                    f->found = w;
                    return FALSE;
                }
                return TRUE;
            },
            reinterpret_cast<LPARAM>(&frame));
        if (frame.found == nullptr)
            return 1;
        PostMessageW(frame.found, WM_CLOSE, 0, 0);
        return 0;
    }
    // Any top-level window for dump and answers (the backdrop is no dialog); dialogs otherwise.
    HWND hwnd = FindTopLevel(caption, command != "dump" && command != "answers" &&
                                          command != "endsession");
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
        RECT r{};
        const std::vector<COLORREF> seen = ControlPixels(control, r);
        int blue = 0, white = 0, other = 0;
        const int y = 2; // inside the frame, above the text
        for (int x = 1; x < r.right - 1 && y < r.bottom; ++x) {
            const COLORREF c = seen[size_t(y) * size_t(r.right) + size_t(x)];
            if (c == RGB(0, 0, 255))
                ++blue;
            else if (c == RGB(255, 255, 255))
                ++white;
            else
                ++other;
        }
        Print("blue=" + std::to_string(blue) + " white=" + std::to_string(white) +
              " other=" + std::to_string(other));
        return 0;
    }
    if (command == "gaugeexact" && argc > 5) {
        HWND control = GetDlgItem(hwnd, std::atoi(argv[3]));
        if (control == nullptr)
            return 1;
        const auto position = static_cast<unsigned>(std::atoi(argv[4]));
        const auto range = static_cast<unsigned>(std::atoi(argv[5]));
        RECT r{};
        const std::vector<COLORREF> seen = ControlPixels(control, r);
        const auto at = [&](int x, int y) { return seen[size_t(y) * size_t(r.right) + size_t(x)]; };
        const COLORREF black = RGB(0, 0, 0), blue = RGB(0, 0, 255), white = RGB(255, 255, 255);
        bool frame = true;
        for (int x = 0; x < r.right; ++x)
            frame = frame && at(x, 0) == black && at(x, r.bottom - 1) == black;
        for (int y = 0; y < r.bottom; ++y)
            frame = frame && at(0, y) == black && at(r.right - 1, y) == black;
        // The bar on the row just inside the frame, above the text.
        int bar = 0;
        while (1 + bar < r.right - 1 && at(1 + bar, 1) == blue)
            ++bar;
        bool clean = true; // blue then white, nothing else, on that row
        for (int x = 1 + bar; x < r.right - 1; ++x)
            clean = clean && at(x, 1) == white;
        // What a correct gauge shows: drawn here in the same default font, then compared
        // pixel by pixel, which pins the text, its place and its inversion over the bar.
        const std::vector<COLORREF> expected =
            ExpectedGauge(r.right, r.bottom, position, range, blue, white);
        int differ = 0, restText = 0, doneText = 0;
        for (int y = 1; y < r.bottom - 1; ++y)
            for (int x = 1; x < r.right - 1; ++x) {
                const COLORREF c = at(x, y);
                differ += c != expected[size_t(y) * size_t(r.right) + size_t(x)];
                if (x < 1 + bar)
                    doneText += c != blue;
                else
                    restText += c != white;
            }
        Print("inner=" + std::to_string(r.right - 2) + " bar=" + std::to_string(bar) +
              " frame=" + (frame ? "ok" : "bad") + " row=" + (clean ? "ok" : "bad") +
              " restText=" + std::to_string(restText) + " doneText=" + std::to_string(doneText) +
              " differ=" + std::to_string(differ));
        return 0;
    }
    if (command == "state") {
        std::string line = std::string("enabled=") + (IsWindowEnabled(hwnd) ? "1" : "0") +
                           " foreground=" + (GetForegroundWindow() == hwnd ? "1" : "0") +
                           " zorder=";
        for (HWND w = GetTopWindow(nullptr); w != nullptr; w = GetWindow(w, GW_HWNDNEXT))
            if (IsWindowVisible(w) && !TextOf(w).empty())
                line += "[" + Narrow(TextOf(w)) + "|" + Narrow(ClassOf(w)) + "]";
        Print(line);
        return 0;
    }
    if (command == "center" && argc > 3) {
        HWND control = GetDlgItem(hwnd, std::atoi(argv[3]));
        if (control == nullptr)
            return 1;
        RECT r{};
        GetWindowRect(control, &r);
        Print(std::to_string((r.left + r.right) / 2) + " " +
              std::to_string((r.top + r.bottom) / 2));
        return 0;
    }
    if (command == "sel" && argc > 3) {
        HWND control = GetDlgItem(hwnd, std::atoi(argv[3]));
        if (control == nullptr)
            return 1;
        // Both ends in the result: no pointer has to cross into the other process.
        const LRESULT both = SendMessageW(control, EM_GETSEL, 0, 0);
        Print(std::to_string(LOWORD(both)) + " " + std::to_string(HIWORD(both)));
        return 0;
    }
    if (command == "layout") {
        RECT client{};
        GetClientRect(hwnd, &client);
        HDC screen = GetDC(nullptr);
        const int points = argc > 4 ? std::atoi(argv[4]) : 8;
        HFONT font = CreateFontW(
            -MulDiv(points, GetDeviceCaps(screen, LOGPIXELSY), 72), 0, 0, 0, FW_NORMAL, FALSE,
            FALSE, FALSE, DEFAULT_CHARSET, OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY,
            DEFAULT_PITCH, argc > 3 ? Widen(argv[3]).c_str() : L"MS Sans Serif");
        ReleaseDC(nullptr, screen);
        struct Check {
            HWND dialog;
            RECT client;
            HFONT font;
            int problems = 0;
        } check{hwnd, client, font};
        EnumChildWindows(
            hwnd,
            [](HWND child, LPARAM param) -> BOOL {
                auto* c = reinterpret_cast<Check*>(param);
                if (!IsWindowVisible(child) || GetParent(child) != c->dialog)
                    return TRUE;
                RECT r{};
                GetWindowRect(child, &r);
                MapWindowPoints(nullptr, c->dialog, reinterpret_cast<POINT*>(&r), 2);
                const std::string id = std::to_string(GetDlgCtrlID(child));
                if (r.left < 0 || r.top < 0 || r.right > c->client.right ||
                    r.bottom > c->client.bottom) {
                    Print("outside id=" + id);
                    ++c->problems;
                }
                const std::wstring text = TextOf(child);
                if (ClassOf(child) == L"Static" && !text.empty() &&
                    (GetWindowLongW(child, GWL_STYLE) & SS_TYPEMASK) <= SS_RIGHT) {
                    HDC dc = GetDC(nullptr);
                    HGDIOBJ old = SelectObject(dc, c->font);
                    RECT need{0, 0, r.right - r.left, 0};
                    DrawTextW(dc, text.c_str(), -1, &need, DT_CALCRECT | DT_WORDBREAK);
                    SelectObject(dc, old);
                    ReleaseDC(nullptr, dc);
                    if (need.bottom > r.bottom - r.top || need.right > r.right - r.left) {
                        Print("overflow id=" + id + " need=" + std::to_string(need.right) + "x" +
                              std::to_string(need.bottom) +
                              " have=" + std::to_string(r.right - r.left) + "x" +
                              std::to_string(r.bottom - r.top) + " text=\"" + Narrow(text) + "\"");
                        ++c->problems;
                    }
                }
                return TRUE;
            },
            reinterpret_cast<LPARAM>(&check));
        DeleteObject(font);
        Print("problems=" + std::to_string(check.problems));
        return 0;
    }
    if (command == "focus") {
        HWND focused = FocusOf(hwnd);
        if (focused == nullptr)
            return 1;
        Print("id=" + std::to_string(GetDlgCtrlID(focused)) + " class=" + Narrow(ClassOf(focused)) +
              " text=\"" + Narrow(TextOf(focused)) + "\"");
        return 0;
    }
    if (command == "fits" && argc > 3) {
        // Where the control itself places each line's last character, in whatever font it has:
        // another process's font handle means nothing here.
        HWND control = GetDlgItem(hwnd, std::atoi(argv[3]));
        if (control == nullptr)
            return 1;
        RECT client{};
        GetClientRect(control, &client);
        const auto xOf = [&](LRESULT index) {
            return static_cast<short>(LOWORD(SendMessageW(control, EM_POSFROMCHAR,
                                                          static_cast<WPARAM>(index), 0)));
        };
        const LRESULT lines = SendMessageW(control, EM_GETLINECOUNT, 0, 0);
        int widest = 0;
        LRESULT widestLine = 0;
        for (LRESULT line = 0; line < lines; ++line) {
            const LRESULT first = SendMessageW(control, EM_LINEINDEX, static_cast<WPARAM>(line), 0);
            const LRESULT length = SendMessageW(control, EM_LINELENGTH, static_cast<WPARAM>(first), 0);
            if (first < 0 || length < 2)
                continue;
            const int left = xOf(first), last = xOf(first + length - 1);
            const int right = last + (last - left) / static_cast<int>(length - 1);
            if (right > widest) {
                widest = right;
                widestLine = line;
            }
        }
        // The edit control keeps a margin on each side of its text.
        const int room = client.right - 4;
        Print("widest=" + std::to_string(widest) + " room=" + std::to_string(room) +
              " fits=" + (widest <= room ? "1" : "0") + " line=" + std::to_string(widestLine));
        return 0;
    }
    if (command == "answers" && argc > 3) {
        DWORD_PTR ignored = 0;
        const bool answered = SendMessageTimeoutW(hwnd, WM_NULL, 0, 0, SMTO_ABORTIFHUNG,
                                                  static_cast<UINT>(std::atoi(argv[3])),
                                                  &ignored) != 0;
        Print(answered ? "1" : "0");
        return 0;
    }
    if (command == "lineheight" && argc > 3) {
        HWND control = GetDlgItem(hwnd, std::atoi(argv[3]));
        if (control == nullptr)
            return 1;
        const LRESULT second = SendMessageW(control, EM_LINEINDEX, 1, 0);
        if (second < 0)
            return 1;
        const LRESULT first = SendMessageW(control, EM_POSFROMCHAR, 0, 0);
        const LRESULT next = SendMessageW(control, EM_POSFROMCHAR, static_cast<WPARAM>(second), 0);
        Print(std::to_string(static_cast<short>(HIWORD(next)) - static_cast<short>(HIWORD(first))));
        return 0;
    }
    if (command == "endsession") {
        DWORD_PTR ignored = 0;
        SendMessageTimeoutW(hwnd, WM_ENDSESSION, TRUE, ENDSESSION_CRITICAL, SMTO_NORMAL, 10000,
                            &ignored);
        DWORD pid = 0;
        GetWindowThreadProcessId(hwnd, &pid);
        if (HANDLE process = OpenProcess(PROCESS_TERMINATE, FALSE, pid)) {
            TerminateProcess(process, 0);
            CloseHandle(process);
        }
        return 0;
    }
    if (command == "devicechange") {
        SendMessageW(hwnd, WM_DEVICECHANGE, 0x0007, 0); // DBT_DEVNODES_CHANGED
        return 0;
    }
    if (command == "close") {
        PostMessageW(hwnd, WM_SYSCOMMAND, SC_CLOSE, 0);
        return 0;
    }
    return Usage();
}
