// Win32 backend of the class library: windows and their procedures, timers, subclassed
// controls and the message box.
#include "fw/win32/win32.h"

#include "fw/backend.h"
#include "fw/win32/win32_backend.h"

#include <vector>

namespace fw {

using namespace win32;

namespace {

constexpr wchar_t subclassProperty[] = L"Qel32.CWnd";
constexpr int programIconId = 128;

LRESULT CALLBACK WindowThunk(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);

} // namespace

namespace win32 {

HINSTANCE Instance() {
    return GetModuleHandleW(nullptr);
}

DialogColours& Colours() {
    static DialogColours colours;
    return colours;
}

bool RegisterWindowClass() {
    static bool registered = false;
    if (registered)
        return true;
    WNDCLASSEXW wc{};
    wc.cbSize = sizeof wc;
    wc.style = CS_HREDRAW | CS_VREDRAW;
    wc.lpfnWndProc = WindowThunk;
    wc.hInstance = Instance();
    wc.hIcon = LoadIconW(Instance(), MAKEINTRESOURCEW(programIconId));
    wc.hCursor = LoadCursorW(nullptr, MAKEINTRESOURCEW(32512)); // IDC_ARROW
    wc.lpszClassName = windowClassName;
    registered = RegisterClassExW(&wc) != 0;
    return registered;
}

} // namespace win32

namespace {

LRESULT CALLBACK WindowThunk(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    auto* wnd = reinterpret_cast<CWnd*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
    if (message == WM_NCCREATE) {
        wnd = static_cast<CWnd*>(reinterpret_cast<CREATESTRUCTW*>(lParam)->lpCreateParams);
        SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(wnd));
        if (wnd != nullptr)
            Backend::HandleOf(*wnd) = hwnd;
    }
    if (wnd == nullptr)
        return DefWindowProcW(hwnd, message, wParam, lParam);
    const LRESULT result = wnd->WindowProc(message, wParam, lParam);
    if (message == WM_NCDESTROY) {
        SetWindowLongPtrW(hwnd, GWLP_USERDATA, 0);
        Backend::HandleOf(*wnd) = nullptr;
    }
    return result;
}

} // namespace

namespace win32 {

INT_PTR CALLBACK DialogThunk(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    auto* dialog = reinterpret_cast<CDialog*>(GetWindowLongPtrW(hwnd, DWLP_USER));
    if (message == WM_INITDIALOG) {
        dialog = reinterpret_cast<CDialog*>(lParam);
        SetWindowLongPtrW(hwnd, DWLP_USER, reinterpret_cast<LONG_PTR>(dialog));
        Backend::HandleOf(*dialog) = hwnd;
    }
    if (dialog == nullptr)
        return FALSE;
    if ((message == WM_CTLCOLORDLG || message == WM_CTLCOLORSTATIC || message == WM_CTLCOLORBTN) &&
        Colours().brush != nullptr) {
        const HDC dc = reinterpret_cast<HDC>(wParam);
        SetTextColor(dc, Colours().text);
        SetBkColor(dc, Colours().background);
        return reinterpret_cast<INT_PTR>(Colours().brush);
    }
    Backend::Unhandled(*dialog) = false;
    const LRESULT result = dialog->WindowProc(message, wParam, lParam);
    const bool unhandled = Backend::Unhandled(*dialog);
    if (message == WM_NCDESTROY) {
        SetWindowLongPtrW(hwnd, DWLP_USER, 0);
        Backend::HandleOf(*dialog) = nullptr;
    }
    if (message == WM_INITDIALOG)
        return static_cast<INT_PTR>(result);
    if (unhandled)
        return FALSE;
    SetWindowLongPtrW(hwnd, DWLP_MSGRESULT, result);
    return TRUE;
}

HWND OwnerFor(CWnd* parent) {
    if (parent != nullptr && parent->GetSafeHwnd() != nullptr)
        return H(parent->GetSafeHwnd());
    CWinApp* app = AfxGetApp();
    if (app != nullptr && app->mainWnd != nullptr && app->mainWnd->GetSafeHwnd() != nullptr)
        return H(app->mainWnd->GetSafeHwnd());
    return nullptr;
}

} // namespace win32

namespace {

// The message boxes up, innermost last: each one's window, noted by a hook when the box is
// first activated (nullptr until then).
std::vector<HWND> boxesUp;
HHOOK boxHook = nullptr;

LRESULT CALLBACK NoteMessageBox(int code, WPARAM wParam, LPARAM lParam) {
    const LRESULT next = CallNextHookEx(boxHook, code, wParam, lParam);
    if (code == HCBT_ACTIVATE && !boxesUp.empty() && boxesUp.back() == nullptr) {
        boxesUp.back() = reinterpret_cast<HWND>(wParam);
        UnhookWindowsHookEx(boxHook);
        boxHook = nullptr;
    }
    return next;
}

} // namespace

namespace backend {

void Initialize() {
    Colours();
}

int ShowMessageBox(const std::string& text, const std::string& caption, UINT style,
                   const std::string&) {
    HWND owner = GetActiveWindow();
    if (owner == nullptr)
        owner = OwnerFor(nullptr);
    boxesUp.push_back(nullptr);
    if (boxHook == nullptr)
        boxHook = SetWindowsHookExW(WH_CBT, NoteMessageBox, nullptr, GetCurrentThreadId());
    const int answer = MessageBoxW(owner, Widen(text).c_str(), Widen(caption).c_str(), style);
    if (boxHook != nullptr) {
        UnhookWindowsHookEx(boxHook);
        boxHook = nullptr;
    }
    boxesUp.pop_back();
    return answer;
}

} // namespace backend

// The box's own handling of WM_CLOSE is its close box: Cancel where it has one, OK where it is
// alone, nothing where it offers Yes and No only.
bool CloseMessageBox() {
    if (boxesUp.empty() || boxesUp.back() == nullptr || !IsWindow(boxesUp.back()))
        return false;
    PostMessageW(boxesUp.back(), WM_CLOSE, 0, 0);
    return true;
}

// --- CWnd ---------------------------------------------------------------------------------

CWnd::CWnd() = default;

CWnd::~CWnd() {
    if (superProc_ != nullptr && handle_ != nullptr && ::IsWindow(H(handle_))) {
        SetWindowLongPtrW(H(handle_), GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(superProc_));
        RemovePropW(H(handle_), subclassProperty);
        handle_ = nullptr;
    }
    if (handle_ != nullptr && ::IsWindow(H(handle_))) {
        // Too late for virtual calls: detach, then destroy.
        SetWindowLongPtrW(H(handle_), GWLP_USERDATA, 0);
        ::DestroyWindow(H(handle_));
    }
    handle_ = nullptr;
}

LRESULT CWnd::DefWindowProc(UINT message, WPARAM wParam, LPARAM lParam) {
    // The wait cursor stays while the program serves its messages inside a wait.
    if (message == WM_SETCURSOR && LOWORD(lParam) == HTCLIENT && WaitCursorShown()) {
        SetCursor(LoadCursorW(nullptr, MAKEINTRESOURCEW(32514))); // IDC_WAIT
        return TRUE;
    }
    if (superProc_ != nullptr)
        return CallWindowProcW(reinterpret_cast<WNDPROC>(superProc_), H(handle_), message, wParam,
                               lParam);
    return DefWindowProcW(H(handle_), message, wParam, lParam);
}

BOOL CWnd::PostMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    return PostMessageW(H(handle_), message, wParam, lParam);
}

LRESULT CWnd::SendMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    return SendMessageW(H(handle_), message, wParam, lParam);
}

// Message box buttons are the system's, in the language of the Windows installation.
void SetInterfaceLanguage(int) {}

void CWnd::SetWindowText(const std::string& text) {
    SetWindowTextW(H(handle_), Widen(text).c_str());
}

std::string CWnd::GetWindowText() const {
    const int length = GetWindowTextLengthW(H(handle_));
    std::wstring text(static_cast<size_t>(length) + 1, L'\0');
    const int n = GetWindowTextW(H(handle_), text.data(), length + 1);
    text.resize(static_cast<size_t>(n));
    return Narrow(text);
}

BOOL CWnd::ShowWindow(int command) {
    return ::ShowWindow(H(handle_), command);
}
bool CWnd::IsWindowVisible() const {
    return ::IsWindowVisible(H(handle_)) != FALSE;
}
void CWnd::UpdateWindow() {
    ::UpdateWindow(H(handle_));
}
void CWnd::Invalidate(bool erase) {
    InvalidateRect(H(handle_), nullptr, erase ? TRUE : FALSE);
}

void CWnd::CenterWindow() {
    RECT self{};
    GetWindowRect(H(handle_), &self);
    RECT area{};
    HWND owner = GetWindow(H(handle_), GW_OWNER);
    if (owner != nullptr && ::IsWindowVisible(owner) && !IsIconic(owner))
        GetWindowRect(owner, &area);
    else
        SystemParametersInfoW(SPI_GETWORKAREA, 0, &area, 0);
    const int width = self.right - self.left;
    const int height = self.bottom - self.top;
    const int x = area.left + (area.right - area.left - width) / 2;
    const int y = area.top + (area.bottom - area.top - height) / 2;
    SetWindowPos(H(handle_), nullptr, x, y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void CWnd::DestroyWindow() {
    if (handle_ != nullptr)
        ::DestroyWindow(H(handle_));
}

UINT CWnd::SetTimer(UINT timerId, UINT periodMs) {
    return static_cast<UINT>(::SetTimer(H(handle_), timerId, periodMs, nullptr));
}

BOOL CWnd::KillTimer(UINT timerId) {
    return ::KillTimer(H(handle_), timerId);
}

bool CWnd::CreateGeneric(const std::string& name, DWORD style, const Rect& rect, CWnd* parent,
                         int childId) {
    if (!RegisterWindowClass())
        return false;
    HWND parentHwnd = parent != nullptr ? H(parent->GetSafeHwnd()) : nullptr;
    return CreateWindowExW(0, windowClassName, Widen(name).c_str(), style, rect.left, rect.top,
                           rect.Width(), rect.Height(), parentHwnd,
                           reinterpret_cast<HMENU>(static_cast<INT_PTR>(childId)), Instance(),
                           this) != nullptr;
}

namespace {

LRESULT CALLBACK SubclassThunk(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    auto* wnd = static_cast<CWnd*>(GetPropW(hwnd, subclassProperty));
    if (wnd == nullptr)
        return DefWindowProcW(hwnd, message, wParam, lParam);
    const WNDPROC super = reinterpret_cast<WNDPROC>(Backend::SuperProcOf(*wnd));
    if (message == WM_NCDESTROY) {
        // Give the control back its own procedure before it goes.
        SetWindowLongPtrW(hwnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(super));
        RemovePropW(hwnd, subclassProperty);
        Backend::HandleOf(*wnd) = nullptr;
        Backend::SuperProcOf(*wnd) = nullptr;
        return CallWindowProcW(super, hwnd, message, wParam, lParam);
    }
    return wnd->WindowProc(message, wParam, lParam);
}

} // namespace

bool CWnd::SubclassDlgItem(int id, CWnd* parent) {
    if (parent == nullptr || handle_ != nullptr)
        return false;
    HWND item = GetDlgItem(H(parent->GetSafeHwnd()), id);
    if (item == nullptr)
        return false;
    handle_ = item;
    SetPropW(item, subclassProperty, this);
    superProc_ = reinterpret_cast<void*>(
        SetWindowLongPtrW(item, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(SubclassThunk)));
    return true;
}

} // namespace fw
