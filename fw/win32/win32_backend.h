// What the files of the Win32 backend share: the module, handles, the window class, dialog
// colours and the dialog procedure.
#pragma once

#include "fw/win32/win32.h"

namespace fw {

// The library's private members, as the backend reaches them.
struct Backend {
    static Handle& HandleOf(CWnd& w) { return w.handle_; }
    static bool& Unhandled(CDialog& d) { return d.unhandled_; }
    static CWnd* ParentOf(CDialog& d) { return d.parent_; }
    static void*& SuperProcOf(CWnd& w) { return w.superProc_; }
};

namespace win32 {

inline constexpr wchar_t windowClassName[] = L"Qel32Window";

HINSTANCE Instance();
inline HWND H(Handle h) {
    return static_cast<HWND>(h);
}
inline RECT ToRECT(const Rect& r) {
    return RECT{r.left, r.top, r.right, r.bottom};
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
DialogColours& Colours();

// The program's window class, registered once.
bool RegisterWindowClass();
INT_PTR CALLBACK DialogThunk(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
// The owner of a dialog or box: the parent, else the main window.
HWND OwnerFor(CWnd* parent);

// True while the application shows the wait cursor (BeginWaitCursor without its end).
bool WaitCursorShown();

} // namespace win32
} // namespace fw
