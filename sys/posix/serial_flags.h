// The driver's serial flags (TIOCGSERIAL, TIOCSSERIAL), through a pointer a test may replace: a
// pseudo-terminal has none, so a test stands in for a driver that has them to see low-latency
// mode asked at opening and given back at closing.
#pragma once

#include <linux/serial.h>

namespace sys::posix {

using SerialFlagsCall = int (*)(int fd, unsigned long request, serial_struct* serial);
extern SerialFlagsCall serialFlagsCall;

} // namespace sys::posix
