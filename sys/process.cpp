#include "sys/serial.h"
#include "sys/sys.h"

#include <cstdlib>

namespace sys {

// _Exit runs no exit handlers and no destructors, as the run-time's abort does; the status is
// the one that abort gives on Windows. The ports are given back first: the next user of the
// line must not find it as this program set it.
void TerminateAbnormally() {
    ReleaseOpenPorts();
    std::_Exit(3);
}

} // namespace sys
