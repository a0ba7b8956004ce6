#include "sys/clock.h"
#include "sys/stop.h"

#include <poll.h>
#include <unistd.h>

namespace sys {

Clock::time_point Now() {
    return Clock::now();
}

bool SleepUntil(Clock::time_point until) {
    using namespace std::chrono;
    const int stopFd = StopRequestDescriptor();
    for (;;) {
        if (StopRequest() != 0)
            return false;
        const auto left = duration_cast<microseconds>(until - Clock::now()).count();
        if (left <= 0)
            return true;
        // Sub-millisecond remainders in a sleep of their own: poll counts whole milliseconds.
        if (stopFd < 0 || left < 1000) {
            ::usleep(static_cast<useconds_t>(left));
            continue;
        }
        pollfd pfd{stopFd, POLLIN, 0};
        ::poll(&pfd, 1, static_cast<int>(left / 1000));
    }
}

} // namespace sys
