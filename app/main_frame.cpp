#include "app/main_frame.h"

LRESULT CMainFrame::WindowProc(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_ERASEBKGND:
        fw::CDC(wParam).FillSysColor(GetClientRect(), COLOR_BACKGROUND);
        return TRUE;
    case WM_QUERYENDSESSION:
        // No documents: always agree that Windows may end.
        return CFrameWnd::WindowProc(message, wParam, lParam) != 0 ? 1 : 0;
    default: return CFrameWnd::WindowProc(message, wParam, lParam);
    }
}
