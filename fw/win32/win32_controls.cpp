// Win32 backend: the controls of a dialog, addressed by identifier; list boxes.
#include "fw/win32/win32_backend.h"

namespace fw {

using namespace win32;

void CWnd::SetDlgItemText(int id, const std::string& text) {
    SetDlgItemTextW(H(handle_), id, Widen(text).c_str());
}

std::string CWnd::GetDlgItemText(int id) const {
    const HWND item = GetDlgItem(H(handle_), id);
    std::wstring text(static_cast<size_t>(GetWindowTextLengthW(item)) + 1, L'\0');
    text.resize(
        static_cast<size_t>(GetWindowTextW(item, text.data(), static_cast<int>(text.size()))));
    return Narrow(text);
}

void CWnd::ShowDlgItem(int id, bool show) {
    ::ShowWindow(GetDlgItem(H(handle_), id), show ? SW_SHOW : SW_HIDE);
}

void CWnd::EnableDlgItem(int id, bool enable) {
    EnableWindow(GetDlgItem(H(handle_), id), enable ? TRUE : FALSE);
}

// The stock fixed font keeps its 100 % size in a program that declares itself aware of the
// display's scaling: the same font made for the dialog's DPI follows the scaling instead.
void CWnd::SetDlgItemFixedFont(int id) {
    LOGFONTW font{};
    HFONT fixed = nullptr;
    if (GetObjectW(GetStockObject(ANSI_FIXED_FONT), sizeof font, &font) != 0) {
        HDC dc = GetDC(H(handle_));
        const int dpi = GetDeviceCaps(dc, LOGPIXELSY);
        ReleaseDC(H(handle_), dc);
        font.lfHeight = MulDiv(font.lfHeight, dpi, 96);
        font.lfWidth = MulDiv(font.lfWidth, dpi, 96);
        fixed = CreateFontIndirectW(&font);
    }
    if (fixed != nullptr)
        ownedFont_.reset(fixed, [](void* f) { DeleteObject(static_cast<HFONT>(f)); });
    SendDlgItemMessageW(
        H(handle_), id, WM_SETFONT,
        reinterpret_cast<WPARAM>(fixed != nullptr ? fixed : GetStockObject(ANSI_FIXED_FONT)), TRUE);
    SendDlgItemMessageW(H(handle_), id, EM_SETTABSTOPS, 0, 0);
}

bool CWnd::DlgItemTextFits(int id, const std::string& text) const {
    HWND item = GetDlgItem(H(handle_), id);
    if (item == nullptr)
        return true;
    RECT client{};
    GetClientRect(item, &client);
    HDC dc = GetDC(item);
    const HGDIOBJ old =
        SelectObject(dc, reinterpret_cast<HFONT>(SendMessageW(item, WM_GETFONT, 0, 0)));
    const std::wstring wide = Widen(text);
    SIZE size{};
    GetTextExtentPoint32W(dc, wide.c_str(), static_cast<int>(wide.size()), &size);
    SelectObject(dc, old);
    ReleaseDC(item, dc);
    return size.cx <= client.right - client.left;
}

void CWnd::BlockSessionEnd(const std::string& reason) {
    ShutdownBlockReasonCreate(H(handle_), Widen(reason).c_str());
}

void CWnd::AllowSessionEnd() {
    ShutdownBlockReasonDestroy(H(handle_));
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

} // namespace fw
