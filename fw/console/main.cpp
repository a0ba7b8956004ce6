// Entry point of the console program: the command line is the arguments joined by single
// blanks, as Windows hands a program the text after its name.
#include "fw/console/console_io.h"
#include "fw/fw.h"
#include "sys/stop.h"
#include "sys/sys.h"

#include <cstdio>
#include <string>

int main(int argc, char** argv) {
    // Before anything opens a file or a port.
    sys::SecureStandardDescriptors();
    sys::WatchStopRequests();
    std::string commandLine;
    for (int i = 1; i < argc; ++i) {
        if (i > 1)
            commandLine += ' ';
        commandLine += argv[i];
    }
    if (std::string text;
        fw::AfxGetApp() != nullptr && fw::AfxGetApp()->ConsoleRequest(commandLine, text)) {
        std::fputs(text.c_str(), stdout);
        return std::fflush(stdout) == 0 ? 0 : 1;
    }
    const int status = fw::AfxWinMain(commandLine);
    fw::console::ConsoleIo::Instance().Flush();
    // Ended by a signal, through the program's own paths: its status, as the shell expects.
    return sys::StopRequest() != 0 ? 128 + sys::StopRequest() : status;
}
