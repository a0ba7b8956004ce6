#include "app/main_frame.h"

#include "app/upgrade_app.h"

LRESULT CMainFrame::WindowProc(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_ERASEBKGND:
        fw::CDC(wParam).FillSysColor(GetClientRect(), COLOR_BACKGROUND);
        return TRUE;
    case WM_CLOSE:
        // Closed from outside (the task list's End task) while a box is up: that box's close
        // box, so that what it reports stands. While a file is sent and no box is up: the
        // question the transmission's Cancel asks, whose Yes ends as a cancel; No goes on.
        if (fw::CloseMessageBox())
            return 0;
        // While the instrument identifies itself: its wait ends, as a cancel.
        if (App().link->Identifying()) {
            App().link->StopWaiting();
            return 0;
        }
        if (fw::CDialog* transmission = App().transmissionUnderWay) {
            transmission->SendMessage(WM_COMMAND, IDCANCEL, 0);
            return 0;
        }
        return CFrameWnd::WindowProc(message, wParam, lParam);
    case WM_QUERYENDSESSION:
        // No documents; but a file half sent leaves the instrument not operational: the session
        // waits for it, with the reason the system shows.
        if (App().transmissionUnderWay != nullptr)
            return FALSE;
        return CFrameWnd::WindowProc(message, wParam, lParam) != 0 ? 1 : 0;
    case WM_ENDSESSION:
        // Ended all the same (forced): what happened is written before the program goes.
        if (wParam != 0 && App().transmissionUnderWay != nullptr)
            App().SessionEnds();
        return 0;
    default: return CFrameWnd::WindowProc(message, wParam, lParam);
    }
}
