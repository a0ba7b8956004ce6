#pragma once

#include "fw/fw.h"

// The backdrop: maximized behind every dialog, painted in the desktop colour, owner of every
// dialog and message box.
class CMainFrame : public fw::CFrameWnd {
  public:
    LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override;
};
