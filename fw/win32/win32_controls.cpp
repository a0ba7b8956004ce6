// Win32 backend: the controls of a dialog, addressed by identifier; list boxes.
#include "fw/win32/win32_backend.h"

namespace fw {

using namespace win32;

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

} // namespace fw
