// <windows.h> for the Win32 backend, included before any library header. The A/W macros that
// share a name with the library's own members are removed; the backend calls the W functions.
#pragma once

#include <windows.h>

#undef PostMessage
#undef SendMessage
#undef PeekMessage
#undef DispatchMessage
#undef MessageBox
#undef SetWindowText
#undef GetWindowText
#undef SetDlgItemText
#undef GetDlgItemText
#undef DefWindowProc
#undef LoadString
#undef GetProfileString

#include "fw/dialog_template.h"
#include "fw/fw.h"
#include "sys/win32/utf16.h"

#include <vector>

namespace fw::win32 {

using sys::win32::Narrow;
using sys::win32::Widen;

// An in-memory DLGTEMPLATE for a dialog template of res/.
std::vector<WORD> BuildDialogTemplate(const DialogTemplate& tmpl);

} // namespace fw::win32
