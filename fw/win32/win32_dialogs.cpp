// Win32 backend: modal dialogs, the thread's message queue, dialog colours, the wait cursor.
#include "fw/win32/win32_backend.h"

namespace fw {

using namespace win32;

namespace {
int waitCursorDepth = 0;
HCURSOR cursorBeforeWait = nullptr;
} // namespace

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

// Windows asks a program to stop through its windows, which the dialogs' own loops serve.
bool ServeStopRequestInWait() {
    return true;
}

bool ServeInterfaceInWait() {
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
        if (msg.message == WM_QUIT) {
            PostQuitMessage(static_cast<int>(msg.wParam)); // for the loop that ends on it
            return false;
        }
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
    return true;
}

namespace win32 {
bool WaitCursorShown() {
    return waitCursorDepth > 0;
}
} // namespace win32

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
