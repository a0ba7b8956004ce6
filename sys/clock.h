// The clock of the link's waits: the system's monotonic clock. A test may link a virtual one in
// its place (tests/fuzz/scripted_serial.cpp defines both functions), so that the pause, the
// drain wait and every read limit run on the same clock as the instrument it scripts.
#pragma once

#include <chrono>

namespace sys {

using Clock = std::chrono::steady_clock;

Clock::time_point Now();
// Sleeps until the time given or a stop request, whichever comes first; false on a request.
bool SleepUntil(Clock::time_point until);

} // namespace sys
