// While a FineTimer lives, the system's timer ticks finely enough for the short waits of a
// transfer: on Windows Sleep otherwise rounds up to the 15.6 ms tick, longer than a whole line
// exchange at 115200 baud. Elsewhere sleeps are already fine.
#pragma once

namespace sys {

class FineTimer {
  public:
    FineTimer();
    ~FineTimer();
    FineTimer(const FineTimer&) = delete;
    FineTimer& operator=(const FineTimer&) = delete;
};

// How many FineTimer live now.
int FineTimerRequests();

// The platform's own request (Windows: timeBeginPeriod(1) / timeEndPeriod(1)).
void RaiseTimerResolution();
void RestoreTimerResolution();

} // namespace sys
