// Processor time of the link while it waits: for an answer that does not come (5 s) and for
// the pause before a write (255 character times at 600 baud, 4.25 s). Target: near zero.
#include "app/upgrade_app.h"
#include "../tests/unit/simulator_process.h"

#include <sys/resource.h>

#include <chrono>
#include <cstdio>
#include <functional>

namespace {

double CpuSeconds() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_utime.tv_sec + usage.ru_stime.tv_sec +
           (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

void Measure(const char* what, const std::function<void()>& wait) {
    const double cpu0 = CpuSeconds();
    const auto t0 = std::chrono::steady_clock::now();
    wait();
    const double elapsed =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    const double cpu = CpuSeconds() - cpu0;
    std::printf("%-44s elapsed %6.3f s, processor %7.4f s (%.2f%%)\n", what, elapsed, cpu,
                100.0 * cpu / elapsed);
}

} // namespace

int main() {
    CUpgradeApp app;
    app.language = 1;
    CQelComm link(nullptr, app);
    SimulatorProcess sim({"--silent"});
    link.settings = {1, 0, 1, 0, 2, 2}; // 600 baud
    if (link.OpenPort() != 0) {
        std::puts("cannot open the simulated port");
        return 1;
    }
    std::string answer;
    Measure("ReadAnswer, no answer within 5 s", [&] { link.ReadAnswer(answer, 255, 5); });
    app.readyWaitCount = 255;
    Measure("PaceBeforeSend, 255 characters at 600 baud", [&] { link.PaceBeforeSend(); });
    app.readyWaitCount = 0;
    std::string line(1000, 'x');
    Measure("SendLine of 1000 bytes, waiting for the queue", [&] { link.SendLine(line, true); });
    return 0;
}
