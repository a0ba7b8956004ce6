#pragma once

#include "sys/serial.h"

#include <termios.h>

namespace sys {

// The termios that carries a Windows port state: speed, character size, parity, stop bits,
// XON/XOFF and CTS flow control, raw bytes. 0, or the errno for a value the line cannot take.
int TermiosForCommState(const CommState& state, termios& tio);

} // namespace sys
