#include "sys/stop.h"

#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <initializer_list>

namespace sys {

namespace {

volatile sig_atomic_t request = 0;
int pipeEnds[2] = {-1, -1}; // a byte in it while a request is pending

void OnStopSignal(int signal) {
    const int saved = errno;
    if (request == 0) {
        request = signal;
        const char byte = 1;
        (void)!::write(pipeEnds[1], &byte, 1);
    }
    errno = saved;
}

} // namespace

void WatchStopRequests() {
    if (pipeEnds[0] >= 0)
        return;
    if (::pipe2(pipeEnds, O_CLOEXEC | O_NONBLOCK) != 0)
        pipeEnds[0] = pipeEnds[1] = -1;
    struct sigaction action {};
    action.sa_handler = OnStopSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = 0; // no restart: a blocked call returns, and its wait sees the request
    for (const int signal : {SIGINT, SIGTERM, SIGHUP, SIGQUIT})
        ::sigaction(signal, &action, nullptr);
    ::signal(SIGPIPE, SIG_IGN);
    ::signal(SIGXFSZ, SIG_IGN);
}

int StopRequest() {
    return request;
}

void ClearStopRequest() {
    char bytes[16];
    while (pipeEnds[0] >= 0 && ::read(pipeEnds[0], bytes, sizeof bytes) > 0) {
    }
    request = 0;
}

int StopRequestDescriptor() {
    return pipeEnds[0];
}

} // namespace sys
