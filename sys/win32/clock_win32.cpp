#include "sys/clock.h"

#include <thread>

namespace sys {

Clock::time_point Now() {
    return Clock::now();
}

// Windows tells a program to stop through its windows: no request ends a sleep here.
bool SleepUntil(Clock::time_point until) {
    while (Clock::now() < until)
        std::this_thread::sleep_until(until);
    return true;
}

} // namespace sys
