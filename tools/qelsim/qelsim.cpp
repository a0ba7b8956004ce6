// qelsim: an instrument whose monitor talks the upgrade protocol on a pseudo-terminal. It is
// published as COMn in a ports folder (and as a Wine dosdevices link), logs every byte it
// receives, rebuilds the memory image from the records it accepts, and misbehaves on demand.
#include "instrument.h"
#include "options.h"

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <algorithm>
#include <cstring>
#include <filesystem>
#include <string>

namespace {

volatile sig_atomic_t stopRequested = 0;
volatile sig_atomic_t swapRequested = 0;
void OnSignal(int) {
    stopRequested = 1;
}
void OnSwap(int) {
    swapRequested = 1;
}

void Publish(const std::string& target, const std::string& link) {
    ::unlink(link.c_str());
    if (::symlink(target.c_str(), link.c_str()) != 0) {
        std::fprintf(stderr, "qelsim: cannot link %s: %s\n", link.c_str(), std::strerror(errno));
        std::exit(1);
    }
}

} // namespace

int main(int argc, char** argv) {
    Options options;
    if (!ParseOptions(argc, argv, options))
        return 2;
    // Without a folder named, one of the user's own: a fixed one in /tmp would be another
    // user's as soon as they ran the simulator first.
    if (options.portsDir.empty()) {
        const char* runtime = std::getenv("XDG_RUNTIME_DIR");
        options.portsDir = runtime != nullptr && runtime[0] == '/'
                               ? std::string(runtime) + "/qel32-ports"
                               : "/tmp/qel32-ports-" + std::to_string(::getuid());
        struct stat st {};
        if (::mkdir(options.portsDir.c_str(), 0700) != 0 &&
            (::lstat(options.portsDir.c_str(), &st) != 0 || !S_ISDIR(st.st_mode) ||
             st.st_uid != ::getuid())) {
            std::fprintf(stderr, "qelsim: %s is not a folder of yours; name one with --ports\n",
                         options.portsDir.c_str());
            return 1;
        }
        std::fprintf(stderr, "qelsim: ports folder %s (give it to qel32 as QEL32_PORTS)\n",
                     options.portsDir.c_str());
    }
    int master = -1, slave = -1;
    char name[256] = {};
    if (::openpty(&master, &slave, name, nullptr, nullptr) != 0) {
        std::perror("qelsim: openpty");
        return 1;
    }
    // Raw from the start, so nothing is echoed before the program sets the line up. The
    // simulator keeps its own slave open so that the line survives the program's closings.
    termios tio{};
    ::tcgetattr(slave, &tio);
    ::cfmakeraw(&tio);
    ::tcsetattr(slave, TCSANOW, &tio);

    // A ports folder that is not there yet is made, as a user who names one expects.
    for (const auto& folder : {options.portsDir, options.dosDir}) {
        std::error_code error;
        if (!folder.empty() && !std::filesystem::exists(folder) &&
            !std::filesystem::create_directories(folder, error)) {
            std::fprintf(stderr, "qelsim: cannot make %s: %s\n", folder.c_str(),
                         error.message().c_str());
            return 1;
        }
    }
    const std::string comLink = options.portsDir + "/COM" + std::to_string(options.port);
    Publish(name, comLink);
    std::string dosLink;
    if (!options.dosDir.empty()) {
        dosLink = options.dosDir + "/com" + std::to_string(options.port);
        Publish(name, dosLink);
    }
    struct sigaction sa {};
    sa.sa_handler = OnSignal;
    ::sigaction(SIGTERM, &sa, nullptr);
    ::sigaction(SIGINT, &sa, nullptr);
    struct sigaction swap {};
    swap.sa_handler = OnSwap;
    ::sigaction(SIGUSR1, &swap, nullptr);
    // Sleeps end when they should: the wire-time model is only as good as they are.
    ::prctl(PR_SET_TIMERSLACK, 1UL);
    if (!options.greeting.empty() &&
        ::write(master, options.greeting.data(), options.greeting.size()) < 0)
        std::perror("qelsim: greeting");
    std::printf("ready COM%d %s\n", options.port, name);
    std::fflush(stdout);

    {
        qelsim::Instrument instrument(options, master);
        char buffer[4096];
        while (!stopRequested) {
            if (swapRequested) {
                swapRequested = 0;
                instrument.Swap();
                // Whoever swapped it knows when the other instrument is on the cable.
                std::printf("swapped\n");
                std::fflush(stdout);
            }
            // With wire timing the simulator watches a line it is receiving without pause, as
            // a UART does: a sleeping process wakes a fraction of a millisecond late. Between
            // lines it sleeps until the next byte wakes it, so that a long session does not
            // hold a processor the program under test needs.
            pollfd pfd{master, POLLIN, 0};
            int timeout = options.baud > 0 && instrument.InLine() ? 0 : 200;
            if (instrument.UntilExtraDue() >= 0)
                timeout = std::min(timeout, instrument.UntilExtraDue());
            const int ready = ::poll(&pfd, 1, timeout);
            instrument.SendExtrasDue();
            if (ready <= 0)
                continue;
            const ssize_t n = ::read(master, buffer, sizeof buffer);
            if (n <= 0)
                continue; // no program on the line at the moment
            if (!instrument.Receive(buffer, static_cast<size_t>(n)))
                break;
        }
    }
    ::close(slave);
    ::close(master);
    ::unlink(comLink.c_str());
    if (!dosLink.empty())
        ::unlink(dosLink.c_str());
    return 0;
}
