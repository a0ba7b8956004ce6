#include "fw/console/console_io.h"
#include "fw/console/console_window.h"
#include "sys/sys.h"
#include "sys/text.h"
#include "sys/posix/iconv_text.h"
#include "sys/stop.h"

#include <langinfo.h>
#include <poll.h>
#include <unistd.h>

#include <cerrno>
#include <clocale>
#include <cstring>
#include <memory>
#include <strings.h>

namespace fw::console {

namespace {
std::unique_ptr<ConsoleIo>& Slot() {
    static std::unique_ptr<ConsoleIo> instance;
    return instance;
}
// The character set of the user's terminal, as the locale names it; the program itself keeps
// the C locale, whose case rules never touch the bytes of UTF-8 names.
std::string TerminalCodeset() {
    const std::string previous = std::setlocale(LC_CTYPE, nullptr);
    std::setlocale(LC_CTYPE, "");
    const std::string codeset = nl_langinfo(CODESET);
    std::setlocale(LC_CTYPE, previous.c_str());
    return codeset;
}

} // namespace

ConsoleIo::ConsoleIo(int inputFd, std::FILE* output)
    : inputFd_(inputFd), output_(output), inputIsTerminal_(isatty(inputFd) != 0),
      outputIsTerminal_(isatty(fileno(output)) != 0) {
    // Line by line, so that whoever follows a log or a pipe sees the work as it goes.
    std::setvbuf(output_, nullptr, _IOLBF, 0);
    // A terminal shows the text in its own character set; a pipe or a file gets UTF-8.
    if (outputIsTerminal_) {
        const std::string codeset = TerminalCodeset();
        if (strcasecmp(codeset.c_str(), "UTF-8") != 0 && strcasecmp(codeset.c_str(), "utf8") != 0)
            terminalCodeset_ = codeset;
    }
}

std::string ConsoleIo::ForTerminal(const std::string& text) const {
    // What the terminal's set cannot hold becomes its nearest or '?'.
    return terminalCodeset_.empty()
               ? text
               : sys::posix::IconvText(text, terminalCodeset_ + "//TRANSLIT", "UTF-8", "?");
}

ConsoleIo& ConsoleIo::Instance() {
    if (!Slot())
        Slot() = std::make_unique<ConsoleIo>(0, stdout);
    return *Slot();
}

void ConsoleIo::Redirect(int inputFd, std::FILE* output) {
    Slot() = std::make_unique<ConsoleIo>(inputFd, output);
}

void ConsoleIo::Put(const std::string& bytes) {
    if (outputFailed_)
        return;
    if (std::fwrite(bytes.data(), 1, bytes.size(), output_) == bytes.size() &&
        !std::ferror(output_))
        return;
    // A reader gone (a pipe into head) or a full disk: what is shown is lost, the upgrade is not.
    outputFailed_ = true;
    const int error = errno;
    std::clearerr(output_);
    const std::string why = sys::TrimSystemText(sys::SystemErrorText(static_cast<DWORD>(error)));
    std::fprintf(stderr, "%s\n",
                 (InProgramLanguage("qel32: the output cannot be written (",
                                    "qel32 : la sortie ne peut être "
                                    "écrite (") +
                  why + InProgramLanguage("); the upgrade goes on", ") ; la mise à jour continue"))
                     .c_str());
}

void ConsoleIo::Write(const std::string& text) {
    if (midLine_) {
        Put("\n");
        midLine_ = false;
    }
    Put(ForTerminal(text));
}

void ConsoleIo::WriteInPlace(const std::string& line) {
    Put("\r" + ForTerminal(line));
    Flush();
    midLine_ = true;
}

void ConsoleIo::Flush() {
    if (!outputFailed_ && std::fflush(output_) != 0)
        Put(std::string()); // notes the failure
}

bool ConsoleIo::HasWholeLine() const {
    return pending_.find('\n') != std::string::npos;
}

bool ConsoleIo::FillOnce(int timeoutMs) {
    stopped_ = sys::StopRequest() != 0;
    if (stopped_)
        return false;
    pollfd pfd[2] = {{inputFd_, POLLIN, 0}, {sys::StopRequestDescriptor(), POLLIN, 0}};
    int ready;
    do {
        ready = poll(pfd, 2, timeoutMs);
        stopped_ = sys::StopRequest() != 0;
    } while (ready < 0 && errno == EINTR && !stopped_);
    if (ready <= 0 || stopped_ || pfd[0].revents == 0)
        return false;
    char buffer[512];
    ssize_t n;
    do {
        n = read(inputFd_, buffer, sizeof buffer);
    } while (n < 0 && errno == EINTR);
    if (n <= 0)
        ended_ = true;
    else
        pending_.append(buffer, static_cast<size_t>(n));
    return true;
}

bool ConsoleIo::WaitForLine(int timeoutMs) {
    while (!HasWholeLine() && !ended_) {
        if (!FillOnce(timeoutMs))
            return false;
    }
    return true;
}

std::string ConsoleIo::TakeLine() {
    const auto end = pending_.find('\n');
    std::string line = pending_.substr(0, end);
    pending_.erase(0, end == std::string::npos ? pending_.size() : end + 1);
    if (!line.empty() && line.back() == '\r')
        line.pop_back();
    return line;
}

std::optional<std::string> ConsoleIo::ReadLine() {
    if (!WaitForLine(-1) && stopped_)
        return std::nullopt;
    if (HasWholeLine())
        return TakeLine();
    if (!pending_.empty()) // a last line without its end
        return TakeLine();
    return std::nullopt;
}

std::optional<std::string> ConsoleIo::PeekReadyLine() {
    while (!HasWholeLine() && !ended_ && FillOnce(0)) {
    }
    if (!HasWholeLine() && !(ended_ && !pending_.empty()))
        return std::nullopt;
    const auto end = pending_.find('\n');
    std::string line = pending_.substr(0, end);
    if (!line.empty() && line.back() == '\r')
        line.pop_back();
    return line;
}

void ConsoleIo::DropPeekedLine() {
    TakeLine();
}

} // namespace fw::console
