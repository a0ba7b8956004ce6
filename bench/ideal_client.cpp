// The fastest possible program: pauses as the program does, replays the lines another run sent (one per line of a log) on
// a serial port and waits for each answer, doing nothing else. What the simulated wire costs
// this client is the floor for any program on the same machine.
#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <thread>
#include <fstream>
#include <string>

int main(int argc, char** argv) {
    if (argc != 4) {
        std::fprintf(stderr, "usage: ideal_client DEVICE LOG PAUSE_MS\n");
        return 2;
    }
    const auto pause = std::chrono::milliseconds(std::atoi(argv[3]));  // before each write
    const int fd = ::open(argv[1], O_RDWR | O_NOCTTY);
    if (fd < 0) {
        std::perror("open");
        return 1;
    }
    termios tio{};
    ::tcgetattr(fd, &tio);
    ::cfmakeraw(&tio);
    ::tcsetattr(fd, TCSANOW, &tio);
    std::ifstream log(argv[2], std::ios::binary);
    std::string line;
    const auto start = std::chrono::steady_clock::now();
    while (std::getline(log, line)) {
        line += '\n';
        std::this_thread::sleep_for(pause);
        if (::write(fd, line.data(), line.size()) < 0)
            return 1;
        if (line.rfind("MODEQEL", 0) == 0)
            continue;  // never answered
        char c = 0;
        do {
            pollfd pfd{fd, POLLIN, 0};
            if (::poll(&pfd, 1, 5000) <= 0 || ::read(fd, &c, 1) != 1)
                break;
        } while (c != '\n');
    }
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    std::printf("%.6f\n", seconds);
    ::close(fd);
    return 0;
}
