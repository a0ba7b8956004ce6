// Entry point of the console program: the application tells the command line its arguments
// stand for.
#include "fw/console/console_io.h"
#include "fw/fw.h"
#include "sys/stop.h"
#include "sys/sys.h"

#include <cstdio>
#include <string>
#include <vector>

int main(int argc, char** argv) {
    // Before anything opens a file or a port.
    sys::SecureStandardDescriptors();
    sys::WatchStopRequests();
    const std::vector<std::string> arguments(argv + 1, argv + argc);
    fw::CWinApp* app = fw::AfxGetApp();
    const std::string commandLine =
        app != nullptr ? app->ConsoleCommandLine(arguments) : std::string();
    if (std::string text; app != nullptr && app->ConsoleRequest(commandLine, text)) {
        // A terminal gets the text in its own character set, as every other text.
        std::fputs(fw::console::ConsoleIo::Instance().ForTerminal(text).c_str(), stdout);
        return std::fflush(stdout) == 0 ? 0 : 1;
    }
    const int status = fw::AfxWinMain(commandLine);
    fw::console::ConsoleIo::Instance().Flush();
    // Ended by a signal, through the program's own paths: its status, as the shell expects.
    return sys::StopRequest() != 0 ? 128 + sys::StopRequest() : status;
}
