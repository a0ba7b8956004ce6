// Win32 backend of the class library: real windows, real dialogs, MessageBox.
#include "fw/win32/win32.h"

#include "fw/backend.h"

namespace fw {

using win32::Narrow;
using win32::Widen;

namespace {

constexpr wchar_t windowClassName[] = L"Qel32Window";
constexpr wchar_t subclassProperty[] = L"Qel32.CWnd";
constexpr int programIconId = 128;

HINSTANCE Instance() {
    return GetModuleHandleW(nullptr);
}
HWND H(Handle h) {
    return static_cast<HWND>(h);
}

// The framework's dialog colours (SetDialogBkColor).
struct DialogColours {
    HBRUSH brush = nullptr;
    COLORREF text = 0;
    COLORREF background = 0;
    ~DialogColours() {
        if (brush != nullptr)
            DeleteObject(brush);
    }
};

DialogColours& Colours() {
    static DialogColours colours;
    return colours;
}

int waitCursorDepth = 0;
HCURSOR cursorBeforeWait = nullptr;

LRESULT CALLBACK WindowThunk(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
INT_PTR CALLBACK DialogThunk(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);

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

} // namespace

struct Backend {
    static Handle& HandleOf(CWnd& w) { return w.handle_; }
    static bool& Unhandled(CDialog& d) { return d.unhandled_; }
    static CWnd* ParentOf(CDialog& d) { return d.parent_; }
    static void*& SuperProcOf(CWnd& w) { return w.superProc_; }
};

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

} // namespace

namespace backend {

void Initialize() {
    Colours();
}

int ShowMessageBox(const std::string& text, const std::string& caption, UINT style) {
    HWND owner = GetActiveWindow();
    if (owner == nullptr)
        owner = OwnerFor(nullptr);
    return MessageBoxW(owner, Widen(text).c_str(), Widen(caption).c_str(), style);
}

} // namespace backend

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

void CWnd::SetDlgItemText(int id, const std::string& text) {
    SetDlgItemTextW(H(handle_), id, Widen(text).c_str());
}

void CWnd::ShowDlgItem(int id, bool show) {
    ::ShowWindow(GetDlgItem(H(handle_), id), show ? SW_SHOW : SW_HIDE);
}

void CWnd::EnableDlgItem(int id, bool enable) {
    EnableWindow(GetDlgItem(H(handle_), id), enable ? TRUE : FALSE);
}

void CWnd::SetDlgItemFixedFont(int id) {
    SendDlgItemMessageW(H(handle_), id, WM_SETFONT,
                        reinterpret_cast<WPARAM>(GetStockObject(ANSI_FIXED_FONT)), TRUE);
    SendDlgItemMessageW(H(handle_), id, EM_SETTABSTOPS, 0, 0);
}

void CWnd::PlaceCaretAtStart(int id) {
    HWND item = GetDlgItem(H(GetSafeHwnd()), id);
    if (item == nullptr)
        return;
    SetFocus(item);
    SendMessageW(item, EM_SETSEL, 0, 0);
    SendMessageW(item, EM_SCROLLCARET, 0, 0);
}

void CWnd::CheckDlgButton(int id, bool checked) {
    ::CheckDlgButton(H(handle_), id, checked ? BST_CHECKED : BST_UNCHECKED);
}

bool CWnd::IsDlgButtonChecked(int id) const {
    return ::IsDlgButtonChecked(H(handle_), id) == BST_CHECKED;
}

int CWnd::ListAddString(int id, const std::string& text) {
    const std::wstring wide = Widen(text);
    return static_cast<int>(SendDlgItemMessageW(H(handle_), id, LB_ADDSTRING, 0,
                                                reinterpret_cast<LPARAM>(wide.c_str())));
}

void CWnd::ListSetItemData(int id, int index, LPARAM data) {
    SendDlgItemMessageW(H(handle_), id, LB_SETITEMDATA, static_cast<WPARAM>(index), data);
}

LPARAM CWnd::ListGetItemData(int id, int index) const {
    return SendDlgItemMessageW(H(handle_), id, LB_GETITEMDATA, static_cast<WPARAM>(index), 0);
}

int CWnd::ListGetCount(int id) const {
    return static_cast<int>(SendDlgItemMessageW(H(handle_), id, LB_GETCOUNT, 0, 0));
}

std::string CWnd::ListGetText(int id, int index) const {
    const LRESULT length =
        SendDlgItemMessageW(H(handle_), id, LB_GETTEXTLEN, static_cast<WPARAM>(index), 0);
    if (length == LB_ERR)
        return std::string();
    std::wstring text(static_cast<size_t>(length) + 1, L'\0');
    SendDlgItemMessageW(H(handle_), id, LB_GETTEXT, static_cast<WPARAM>(index),
                        reinterpret_cast<LPARAM>(text.data()));
    text.resize(static_cast<size_t>(length));
    return Narrow(text);
}

void CWnd::ListSetCurSel(int id, int index) {
    SendDlgItemMessageW(H(handle_), id, LB_SETCURSEL, static_cast<WPARAM>(index), 0);
}

int CWnd::ListGetCurSel(int id) const {
    return static_cast<int>(SendDlgItemMessageW(H(handle_), id, LB_GETCURSEL, 0, 0));
}

void CWnd::ListResetContent(int id) {
    SendDlgItemMessageW(H(handle_), id, LB_RESETCONTENT, 0, 0);
}

void CWnd::ListDir(int id, const std::string& pattern) {
    const std::wstring wide = Widen(pattern);
    SendDlgItemMessageW(H(handle_), id, LB_DIR, 0, reinterpret_cast<LPARAM>(wide.c_str()));
}

bool CWnd::IsDlgItemVisible(int id) const {
    HWND item = GetDlgItem(H(handle_), id);
    return item != nullptr && ::IsWindowVisible(item) != FALSE;
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

RECT ToRECT(const Rect& r) {
    return RECT{r.left, r.top, r.right, r.bottom};
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

Rect CStatic::GetClientRect() const {
    RECT r{};
    ::GetClientRect(H(GetSafeHwnd()), &r);
    return Rect{r.left, r.top, r.right, r.bottom};
}

COLORREF CDC::SetTextColor(COLORREF colour) {
    return ::SetTextColor(reinterpret_cast<HDC>(hdc_), colour);
}

COLORREF CDC::SetBkColor(COLORREF colour) {
    return ::SetBkColor(reinterpret_cast<HDC>(hdc_), colour);
}

void CDC::FrameRectBlack(const Rect& rect) {
    const RECT r = ToRECT(rect);
    ::FrameRect(reinterpret_cast<HDC>(hdc_), &r, static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH)));
}

Size CDC::GetTextExtent(const std::string& text) {
    const std::wstring wide = Widen(text);
    SIZE size{};
    GetTextExtentPoint32W(reinterpret_cast<HDC>(hdc_), wide.c_str(), static_cast<int>(wide.size()),
                          &size);
    return Size{size.cx, size.cy};
}

void CDC::ExtTextOutOpaqueClipped(int x, int y, const Rect& clip, const std::string& text) {
    const std::wstring wide = Widen(text);
    const RECT r = ToRECT(clip);
    ExtTextOutW(reinterpret_cast<HDC>(hdc_), x, y, ETO_OPAQUE | ETO_CLIPPED, &r, wide.c_str(),
                static_cast<UINT>(wide.size()), nullptr);
}

CPaintDC::CPaintDC(CWnd& wnd) : CDC(0), wnd_(wnd), paint_(std::make_shared<PAINTSTRUCT>()) {
    hdc_ = reinterpret_cast<WPARAM>(
        BeginPaint(H(wnd.GetSafeHwnd()), static_cast<PAINTSTRUCT*>(paint_.get())));
}

CPaintDC::~CPaintDC() {
    EndPaint(H(wnd_.GetSafeHwnd()), static_cast<PAINTSTRUCT*>(paint_.get()));
}

void CDC::FillSysColor(const Rect& rect, int sysColorIndex) {
    const RECT r{rect.left, rect.top, rect.right, rect.bottom};
    FillRect(reinterpret_cast<HDC>(hdc_), &r, GetSysColorBrush(sysColorIndex));
}

bool CFrameWnd::Create(const std::string& caption) {
    if (!RegisterWindowClass())
        return false;
    return CreateWindowExW(0, windowClassName, Widen(caption).c_str(), WS_OVERLAPPEDWINDOW,
                           CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, nullptr,
                           nullptr, Instance(), this) != nullptr;
}

Rect CFrameWnd::GetClientRect() const {
    RECT r{};
    ::GetClientRect(H(GetSafeHwnd()), &r);
    return Rect{r.left, r.top, r.right, r.bottom};
}

// --- dialogs ------------------------------------------------------------------------------

int CDialog::DoModal() {
    const DialogTemplate* tmpl = FindDialogTemplate(templateId_);
    if (tmpl == nullptr)
        return -1;
    const std::vector<WORD> words = win32::BuildDialogTemplate(*tmpl);
    const INT_PTR result = DialogBoxIndirectParamW(
        Instance(), reinterpret_cast<const DLGTEMPLATE*>(words.data()),
        OwnerFor(Backend::ParentOf(*this)), DialogThunk, reinterpret_cast<LPARAM>(this));
    return static_cast<int>(result);
}

void CDialog::EndDialog(int result) {
    ::EndDialog(H(GetSafeHwnd()), result);
}

void CDialog::GotoDlgCtrl(int id) {
    HWND item = GetDlgItem(H(GetSafeHwnd()), id);
    if (item != nullptr)
        SendMessageW(H(GetSafeHwnd()), WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(item), TRUE);
}

// --- the queue ----------------------------------------------------------------------------

namespace {
MSG ToNative(const Msg* msg) {
    MSG m{};
    m.hwnd = H(msg->hwnd);
    m.message = msg->message;
    m.wParam = msg->wParam;
    m.lParam = msg->lParam;
    m.time = static_cast<DWORD>(GetMessageTime());
    return m;
}
} // namespace

BOOL PeekMessage(Msg* msg, CWnd* filter, UINT filterMin, UINT filterMax, UINT removeFlags) {
    MSG m{};
    HWND h = filter != nullptr ? H(filter->GetSafeHwnd()) : nullptr;
    if (!PeekMessageW(&m, h, filterMin, filterMax, removeFlags))
        return FALSE;
    msg->hwnd = m.hwnd;
    msg->message = m.message;
    msg->wParam = m.wParam;
    msg->lParam = m.lParam;
    return TRUE;
}

BOOL TranslateMessage(const Msg* msg) {
    const MSG m = ToNative(msg);
    return ::TranslateMessage(&m);
}

LRESULT DispatchMessage(const Msg* msg) {
    const MSG m = ToNative(msg);
    return DispatchMessageW(&m);
}

void PostQuitMessage(int exitCode) {
    ::PostQuitMessage(exitCode);
}

bool PreTranslateMessage(Msg* msg) {
    // Keyboard navigation of the active dialog (Tab, Enter, Escape).
    HWND active = GetActiveWindow();
    if (active == nullptr)
        return false;
    wchar_t className[16] = {};
    GetClassNameW(active, className, 16);
    if (lstrcmpW(className, L"#32770") != 0)
        return false;
    MSG m = ToNative(msg);
    return IsDialogMessageW(active, &m) != FALSE;
}

void MessageBeep(UINT type) {
    ::MessageBeep(type);
}

void CWinApp::SetDialogBkColor(COLORREF background, COLORREF text) {
    DialogColours& colours = Colours();
    if (colours.brush != nullptr)
        DeleteObject(colours.brush);
    colours.brush = CreateSolidBrush(background);
    colours.background = background;
    colours.text = text;
}

void CWinApp::BeginWaitCursor() {
    HCURSOR wait = SetCursor(LoadCursorW(nullptr, MAKEINTRESOURCEW(32514))); // IDC_WAIT
    if (waitCursorDepth++ == 0)
        cursorBeforeWait = wait;
}

void CWinApp::EndWaitCursor() {
    if (waitCursorDepth > 0 && --waitCursorDepth == 0)
        SetCursor(cursorBeforeWait);
}

} // namespace fw
