// The fastest possible Win32 program on the same port: pauses as the program does, replays the
// lines another run sent (one per line of a log) and waits for each answer, doing nothing else.
// What the simulated wire and the Win32 layer cost this client is the floor for Qel32.exe on
// the same machine.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>

int main(int argc, char** argv) {
    if (argc != 5) {
        std::fprintf(stderr, "usage: ideal_client_win32 PORT RATE LOG PAUSE_MS\n");
        return 2;
    }
    const std::string name = std::string("\\\\.\\COM") + argv[1];
    const HANDLE port = CreateFileA(name.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                    OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (port == INVALID_HANDLE_VALUE) {
        std::fprintf(stderr, "cannot open %s: %lu\n", name.c_str(), GetLastError());
        return 1;
    }
    DCB dcb{};
    dcb.DCBlength = sizeof dcb;
    GetCommState(port, &dcb);
    dcb.BaudRate = static_cast<DWORD>(std::atol(argv[2]));
    dcb.ByteSize = 8;
    dcb.Parity = NOPARITY;
    dcb.StopBits = ONESTOPBIT;
    dcb.fOutX = dcb.fInX = FALSE;
    dcb.fOutxCtsFlow = dcb.fOutxDsrFlow = FALSE;
    SetCommState(port, &dcb);
    // A read of one byte waits up to 5 s for it; what has arrived besides is then read at once.
    COMMTIMEOUTS timeouts{0, 0, 5000, 0, 0};
    SetCommTimeouts(port, &timeouts);
    const DWORD pauseMs = static_cast<DWORD>(std::atol(argv[4]));
    std::ifstream log(argv[3], std::ios::binary);
    std::string line;
    LARGE_INTEGER frequency, start, end;
    QueryPerformanceFrequency(&frequency);
    QueryPerformanceCounter(&start);
    while (std::getline(log, line)) {
        line += '\n';
        if (pauseMs != 0)
            Sleep(pauseMs);
        DWORD written = 0;
        if (!WriteFile(port, line.data(), static_cast<DWORD>(line.size()), &written, nullptr))
            return 1;
        if (line.rfind("MODEQEL", 0) == 0)
            continue; // never answered
        for (bool done = false; !done;) {
            char buffer[256];
            DWORD read = 0, errors = 0;
            COMSTAT status{};
            ClearCommError(port, &errors, &status);
            const DWORD want = status.cbInQue == 0 ? 1 : status.cbInQue < 256 ? status.cbInQue : 256;
            if (!ReadFile(port, buffer, want, &read, nullptr) || read == 0)
                break;
            done = std::string(buffer, read).find('\n') != std::string::npos;
        }
    }
    QueryPerformanceCounter(&end);
    std::printf("%.6f\n", static_cast<double>(end.QuadPart - start.QuadPart) / frequency.QuadPart);
    CloseHandle(port);
    return 0;
}
