#include "sys/timer.h"

namespace sys {

namespace {
int requests = 0; // the user-interface thread is the only one
}

FineTimer::FineTimer() {
    if (requests++ == 0)
        RaiseTimerResolution();
}

FineTimer::~FineTimer() {
    if (--requests == 0)
        RestoreTimerResolution();
}

int FineTimerRequests() {
    return requests;
}

} // namespace sys
