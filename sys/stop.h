// Requests to stop the program from outside it. On POSIX these are the signals INT, TERM, HUP
// and QUIT: their handlers only note them, and every wait of the program wakes on them within
// a fraction of a second, so that the program ends through its own paths (the line given back,
// the lock removed, the journal written). Windows tells a program to stop through its windows,
// so there nothing is noted.
#pragma once

namespace sys {

// Installs the handlers (once, before anything is opened); output that cannot be written and
// files that grow past a limit are then failed writes, not the end of the program.
void WatchStopRequests();
// The signal that asked the program to stop, or 0.
int StopRequest();
// Forgets the request: it was served another way (Ctrl-C taken as a dialog's Cancel).
void ClearStopRequest();
// A descriptor that is readable while a request is pending, for the waits that poll (POSIX);
// -1 where there is none.
int StopRequestDescriptor();

} // namespace sys
