#include "sys/stop.h"

#include <thread>

namespace sys {

void WatchStopRequests() {}

int StopRequest() {
    return 0;
}

void ClearStopRequest() {}

int StopRequestDescriptor() {
    return -1;
}

bool SleepUntil(std::chrono::steady_clock::time_point until) {
    while (std::chrono::steady_clock::now() < until)
        std::this_thread::sleep_until(until);
    return true;
}

} // namespace sys
