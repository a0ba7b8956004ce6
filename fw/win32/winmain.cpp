// Entry point of the Windows program. Like the framework's WinMain, it hands the application
// the command line without the program's own name.
#include "fw/win32/win32.h"

namespace {

std::string TextAfterProgramName(const wchar_t* line) {
    if (*line == L'"') {
        ++line;
        while (*line != L'\0' && *line != L'"')
            ++line;
        if (*line == L'"')
            ++line;
    } else {
        while (*line != L'\0' && *line != L' ' && *line != L'\t')
            ++line;
    }
    while (*line == L' ' || *line == L'\t')
        ++line;
    return fw::win32::Narrow(line);
}

} // namespace

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
    return fw::AfxWinMain(TextAfterProgramName(GetCommandLineW()));
}
