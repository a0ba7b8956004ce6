#include "sys/sys.h"

#include <cstdlib>

namespace sys {

// _Exit runs no exit handlers and no destructors, as the run-time's abort does; the status is
// the one that abort gives on Windows.
void TerminateAbnormally() {
    std::_Exit(3);
}

} // namespace sys
