#include "sys/stop.h"

namespace sys {

void WatchStopRequests() {}

int StopRequest() {
    return 0;
}

void ClearStopRequest() {}

int StopRequestDescriptor() {
    return -1;
}

} // namespace sys
