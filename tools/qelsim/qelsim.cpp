// qelsim: an instrument whose monitor talks the upgrade protocol on a pseudo-terminal. It is
// published as COMn in a ports folder (and as a Wine dosdevices link), logs every byte it
// receives, rebuilds the memory image from the records it accepts, and misbehaves on demand.
#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <signal.h>
#include <sys/prctl.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

namespace {

const char* const usage = R"(usage: qelsim [options]
Publishes a simulated instrument on a pseudo-terminal and answers its monitor's protocol:
  "QEL?"       the identification answer: state code and reference of every monitor
  "MODEQELn"   monitor n enters upgrade mode (its state code becomes 1); no answer
  ":..." lines  checked (length, hex digits, checksum): "OK", or "NACK"; accepted records
               (data, extended segment/linear address, end) rebuild the memory image
  "EXITQEL"    "OK"; upgrade mode ends
Prints "ready COMn DEVICE" on standard output once the port is published.

Where:
  --ports DIR            publish the port as DIR/COMn (default: $QEL32_PORTS)
  --port N               the n of COMn (default 1)
  --dosdevices DIR       also link DIR/comN, for Wine
  --monitor REF          a monitor, in answer order (repeatable); state code 0 until selected
  --state-codes LIST     the state codes outside upgrade mode, comma separated
  --identities LIST      monitors after each EXITQEL, groups separated by ';' ("-r" runs)
  --answer TEXT          answer every "QEL?" with TEXT as is (\n \r \0 \xHH understood)
  --log FILE             every byte received, appended as received
  --image FILE           the rebuilt image (binary, lowest to highest address, gaps 0xFF),
                         written after each EXITQEL and at exit
Faults:
  --silent               answer nothing at all
  --silent-queries LIST  leave these "QEL?" unanswered (1-based counts)
  --silent-lines LIST    leave these record lines unanswered (1-based, counting every record
                         line received, repeats included)
  --nack-lines LIST      answer NACK to these record lines (same counting)
  --late-lines LIST      answer these record lines only after --late-ms (same counting)
  --late-ms MS           how late a late line is answered (default 4000)
  --nack-exit            answer NACK to "EXITQEL"
  --silent-exits LIST    leave these "EXITQEL" unanswered (1-based counts)
  --ok-text TEXT         the acceptance (default OK)
  --nack-text TEXT       the refusal (default NACK)
  --garbled-queries LIST answer these "QEL?" with bytes that are no identification
  --mode-answer TEXT     answer "MODEQELn" with TEXT (a monitor that says more than asked)
  --mode-refused         "MODEQELn" leaves the state codes as they are
  --xoff-after N         after the N-th line received, send XOFF and then nothing at all
  --greeting TEXT        send TEXT as soon as the port is published, before any opening
  --garbage              answer every line with bytes that hold neither OK nor NACK
  --echo                 send each received line back before the answer
  --line-end crlf|lf|lfcr|none  how answers end (default lf)
  --byte-delay MS        pause between the bytes of an answer
  --baud RATE            each byte, in and out, takes its wire time (10 bits at RATE)
  --turnaround MS        pause between a line's last byte and the answer
  --hangup-after N       close the line for good after N received lines
  --exit-after-exits N   end after the N-th "EXITQEL" (default: run until killed)
  --stats FILE           at the end: bytes received and sent, lines, answers, and the seconds
                         from the first byte received to the last byte sent
  --stats-from LINE      count the seconds of --stats from the first byte of this line
                         received (e.g. MODEQEL0: the transmission without the wait for its
                         confirmation)
  --timeline FILE        each line received, with the seconds since the start when its last
                         byte arrived (the simulator's own clock)
  --help                 this text
)";

volatile sig_atomic_t stopRequested = 0;
void OnSignal(int) {
    stopRequested = 1;
}

std::set<long> ParseList(const std::string& text) {
    std::set<long> values;
    std::stringstream in(text);
    std::string item;
    while (std::getline(in, item, ','))
        if (!item.empty())
            values.insert(std::strtol(item.c_str(), nullptr, 10));
    return values;
}

std::vector<std::string> Split(const std::string& text, char separator) {
    std::vector<std::string> parts;
    std::stringstream in(text);
    std::string item;
    while (std::getline(in, item, separator))
        if (!item.empty())
            parts.push_back(item);
    return parts;
}

std::string Unescape(const std::string& text) {
    std::string out;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '\\' || i + 1 >= text.size()) {
            out += text[i];
            continue;
        }
        const char c = text[++i];
        if (c == 'n')
            out += '\n';
        else if (c == 'r')
            out += '\r';
        else if (c == '0')
            out += '\0';
        else if (c == 'x' && i + 2 < text.size()) {
            out += static_cast<char>(std::strtol(text.substr(i + 1, 2).c_str(), nullptr, 16));
            i += 2;
        } else
            out += c;
    }
    return out;
}

int HexValue(char c) {
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    return -1;
}

struct Options {
    std::string portsDir, dosDir, logPath, imagePath, fixedAnswer, statsPath, timelinePath;
    std::string okText = "OK", nackText = "NACK", modeAnswer, greeting, statsFrom;
    bool haveModeAnswer = false, modeRefused = false;
    std::set<long> lateLines, silentExits, garbledQueries;
    int lateMs = 4000;
    long xoffAfter = -1;
    int port = 1;
    std::vector<std::string> monitors;
    std::vector<int> stateCodes;
    std::vector<std::vector<std::string>> identities;
    bool silent = false, garbage = false, echo = false, nackExit = false, haveFixedAnswer = false;
    std::set<long> silentQueries, silentLines, nackLines;
    std::string lineEnd = "\n";
    int byteDelayMs = 0, turnaroundMs = 0;
    long baud = 0;
    long hangupAfter = -1, exitAfterExits = -1;
};

class Instrument {
  public:
    Instrument(Options options, int master) : o_(std::move(options)), master_(master) {
        if (!o_.logPath.empty())
            log_ = std::fopen(o_.logPath.c_str(), "ab");
        if (!o_.timelinePath.empty())
            timeline_ = std::fopen(o_.timelinePath.c_str(), "w");
        start_ = Clock::now();
    }
    ~Instrument() {
        WriteImage();
        if (log_ != nullptr)
            std::fclose(log_);
        if (timeline_ != nullptr)
            std::fclose(timeline_);
        if (!o_.statsPath.empty()) {
            if (std::FILE* f = std::fopen(o_.statsPath.c_str(), "w")) {
                const double seconds =
                    bytesIn_ == 0 ? 0.0
                                  : std::chrono::duration<double>(lastOut_ - firstIn_).count();
                std::fprintf(f, "received %ld\nsent %ld\nlines %ld\nanswers %ld\nseconds %.6f\n",
                             bytesIn_, bytesOut_, linesReceived_, answers_, seconds);
                std::fclose(f);
            }
        }
    }

    // Part of a line has come: the rest is on its way.
    bool InLine() const { return !line_.empty(); }

    // Handles bytes as they arrive; false once the line is hung up.
    bool Receive(const char* data, size_t n) {
        const auto now = Clock::now();
        if (bytesIn_ == 0 || (!o_.statsFrom.empty() && !statsStarted_ && line_.empty()))
            lineStart_ = now; // a line may be the one the statistics count from
        if (bytesIn_ == 0)
            firstIn_ = now;
        bytesIn_ += static_cast<long>(n);
        if (o_.baud > 0 && wire_ < now)
            wire_ = now; // the line was idle: these bytes start crossing now
        for (size_t i = 0; i < n; ++i) {
            if (o_.baud > 0)
                wire_ += ByteTime(); // when this byte has crossed the wire
            if (log_ != nullptr) {
                std::fputc(data[i], log_);
                std::fflush(log_);
            }
            if (data[i] != '\n') {
                line_ += data[i];
                continue;
            }
            if (o_.baud > 0)
                WaitUntil(wire_);
            ++linesReceived_;
            if (!o_.statsFrom.empty() && !statsStarted_ && line_ == o_.statsFrom) {
                statsStarted_ = true;
                firstIn_ = lineStart_;
            }
            if (timeline_ != nullptr) {
                std::fprintf(timeline_, "%.6f %s\n",
                             std::chrono::duration<double>(Clock::now() - start_).count(),
                             line_.c_str());
                std::fflush(timeline_);
            }
            // The instrument's buffer is full after this line; it never recovers. The XOFF goes
            // ahead of the line's answer, so that it holds the PC before the answer is read.
            const bool fillsUp = o_.xoffAfter >= 0 && linesReceived_ >= o_.xoffAfter && !xoffSent_;
            if (fillsUp)
                Write("\x13");
            if (!xoffSent_)
                HandleLine(line_);
            xoffSent_ = xoffSent_ || fillsUp;
            line_.clear();
            if (o_.hangupAfter >= 0 && linesReceived_ >= o_.hangupAfter)
                return false;
            if (o_.exitAfterExits >= 0 && exits_ >= o_.exitAfterExits)
                return false;
        }
        return true;
    }

  private:
    using Clock = std::chrono::steady_clock;

    // Sleeping alone overshoots by a fraction of a millisecond, as much as a byte's wire time
    // at high rates: sleep most of the way, then spin to the exact moment.
    static void WaitUntil(Clock::time_point t) {
        constexpr auto spin = std::chrono::microseconds(600);
        if (t - Clock::now() > spin)
            std::this_thread::sleep_until(t - spin);
        while (Clock::now() < t) {
        }
    }

    // 10 bits a byte: start, 8 data, stop.
    std::chrono::nanoseconds ByteTime() const {
        return std::chrono::nanoseconds(10'000'000'000LL / o_.baud);
    }

    // The answer is written once its last byte would have crossed the wire.
    void Send(const std::string& bytes) {
        if (o_.baud > 0 && o_.byteDelayMs == 0) {
            wire_ = std::max(Clock::now(), wire_) + ByteTime() * static_cast<long>(bytes.size());
            WaitUntil(wire_);
            Write(bytes);
            return;
        }
        for (char c : bytes) {
            Write(std::string(1, c));
            if (o_.byteDelayMs > 0)
                std::this_thread::sleep_for(std::chrono::milliseconds(o_.byteDelayMs));
        }
    }

    void Write(const std::string& bytes) {
        size_t done = 0;
        while (done < bytes.size()) {
            const ssize_t w = ::write(master_, bytes.data() + done, bytes.size() - done);
            if (w < 0 && errno == EINTR)
                continue;
            if (w <= 0)
                return;
            done += static_cast<size_t>(w);
        }
        bytesOut_ += static_cast<long>(bytes.size());
        lastOut_ = Clock::now();
    }

    void Answer(const std::string& text, int lateMs = 0) {
        if (o_.silent)
            return;
        if (lateMs > 0)
            WaitUntil(std::max(Clock::now(), wire_) + std::chrono::milliseconds(lateMs));
        ++answers_;
        if (o_.turnaroundMs > 0) {
            // The instrument's own time to think, counted on the wire's clock.
            wire_ = std::max(Clock::now(), wire_) + std::chrono::milliseconds(o_.turnaroundMs);
            WaitUntil(wire_);
        }
        Send(o_.garbage ? std::string("?#~") + o_.lineEnd : text + o_.lineEnd);
    }

    std::string Identification() const {
        std::string text;
        for (size_t i = 0; i < o_.monitors.size(); ++i) {
            int code = i < o_.stateCodes.size() ? o_.stateCodes[i] : 0;
            if (mode_ == static_cast<long>(i))
                code = 1;
            if (!text.empty())
                text += ',';
            text += std::to_string(code) + "," + o_.monitors[i];
        }
        return text;
    }

    void HandleLine(std::string line) {
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        if (o_.echo)
            Send(line + "\n");
        if (line == "QEL?") {
            ++queries_;
            if (o_.silentQueries.count(queries_) != 0)
                return;
            if (o_.haveFixedAnswer) {
                if (!o_.silent)
                    Send(o_.fixedAnswer);
                return;
            }
            Answer(o_.garbledQueries.count(queries_) != 0 ? "1,1234#678A01" : Identification());
        } else if (line.rfind("MODEQEL", 0) == 0) {
            if (!o_.modeRefused)
                mode_ = std::strtol(line.c_str() + 7, nullptr, 10);
            if (o_.haveModeAnswer)
                Answer(o_.modeAnswer);
        } else if (line == "EXITQEL") {
            ++exits_;
            mode_ = -1;
            WriteImage();
            if (!o_.identities.empty()) {
                o_.monitors = o_.identities[static_cast<size_t>(identity_) % o_.identities.size()];
                ++identity_;
            }
            if (o_.silentExits.count(exits_) == 0)
                Answer(o_.nackExit ? o_.nackText : o_.okText);
        } else if (!line.empty() && line[0] == ':') {
            ++records_;
            if (o_.silentLines.count(records_) != 0)
                return;
            const bool accepted = o_.nackLines.count(records_) == 0 && Apply(line);
            Answer(accepted ? o_.okText : o_.nackText,
                   o_.lateLines.count(records_) != 0 ? o_.lateMs : 0);
        } else {
            Answer(o_.nackText);
        }
    }

    // Checks a record and applies it to the image; false when it is not valid.
    bool Apply(const std::string& line) {
        const std::string digits = line.substr(1);
        if (digits.size() < 10 || digits.size() % 2 != 0)
            return false;
        std::vector<unsigned> bytes;
        for (size_t i = 0; i < digits.size(); i += 2) {
            const int h = HexValue(digits[i]), l = HexValue(digits[i + 1]);
            if (h < 0 || l < 0)
                return false;
            bytes.push_back(static_cast<unsigned>(h * 16 + l));
        }
        unsigned sum = 0;
        for (unsigned b : bytes)
            sum += b;
        if ((sum & 0xFF) != 0 || bytes[0] + 5 != bytes.size())
            return false;
        const unsigned address = (bytes[1] << 8) | bytes[2];
        switch (bytes[3]) {
        case 0:
            for (unsigned i = 0; i < bytes[0]; ++i)
                image_[base_ + address + i] = static_cast<unsigned char>(bytes[4 + i]);
            break;
        case 2: base_ = ((bytes[4] << 8) | bytes[5]) << 4; break;
        case 4: base_ = ((bytes[4] << 8) | bytes[5]) << 16; break;
        default: break; // end record, start addresses
        }
        return true;
    }

    void WriteImage() {
        if (o_.imagePath.empty())
            return;
        std::ofstream out(o_.imagePath, std::ios::binary | std::ios::trunc);
        if (image_.empty())
            return;
        const unsigned long first = image_.begin()->first, last = image_.rbegin()->first;
        std::string bytes(last - first + 1, '\xFF');
        for (const auto& [address, value] : image_)
            bytes[address - first] = static_cast<char>(value);
        out << bytes;
    }

    Options o_;
    int master_;
    std::FILE* log_ = nullptr;
    std::FILE* timeline_ = nullptr;
    Clock::time_point start_{};
    bool xoffSent_ = false;
    std::string line_;
    long mode_ = -1, queries_ = 0, records_ = 0, linesReceived_ = 0, exits_ = 0, identity_ = 0;
    long bytesIn_ = 0, bytesOut_ = 0, answers_ = 0;
    Clock::time_point firstIn_{}, lastOut_{}, lineStart_{};
    bool statsStarted_ = false;
    unsigned long base_ = 0;
    std::map<unsigned long, unsigned char> image_;
    Clock::time_point wire_{};
};

bool ParseOptions(int argc, char** argv, Options& o) {
    if (const char* env = std::getenv("QEL32_PORTS"))
        o.portsDir = env;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        auto value = [&]() -> std::string {
            if (i + 1 >= argc) {
                std::fprintf(stderr, "qelsim: %s needs a value\n", a.c_str());
                std::exit(2);
            }
            return argv[++i];
        };
        if (a == "--help") {
            std::fputs(usage, stdout);
            std::exit(0);
        } else if (a == "--ports")
            o.portsDir = value();
        else if (a == "--port")
            o.port = std::atoi(value().c_str());
        else if (a == "--dosdevices")
            o.dosDir = value();
        else if (a == "--monitor")
            o.monitors.push_back(value());
        else if (a == "--state-codes") {
            for (long v : ParseList(value()))
                o.stateCodes.push_back(static_cast<int>(v));
        } else if (a == "--identities") {
            for (const auto& group : Split(value(), ';'))
                o.identities.push_back(Split(group, ','));
        } else if (a == "--answer") {
            o.fixedAnswer = Unescape(value());
            o.haveFixedAnswer = true;
        } else if (a == "--log")
            o.logPath = value();
        else if (a == "--image")
            o.imagePath = value();
        else if (a == "--silent")
            o.silent = true;
        else if (a == "--silent-queries")
            o.silentQueries = ParseList(value());
        else if (a == "--silent-lines")
            o.silentLines = ParseList(value());
        else if (a == "--nack-lines")
            o.nackLines = ParseList(value());
        else if (a == "--nack-exit")
            o.nackExit = true;
        else if (a == "--late-lines")
            o.lateLines = ParseList(value());
        else if (a == "--late-ms")
            o.lateMs = std::atoi(value().c_str());
        else if (a == "--silent-exits")
            o.silentExits = ParseList(value());
        else if (a == "--ok-text")
            o.okText = Unescape(value());
        else if (a == "--nack-text")
            o.nackText = Unescape(value());
        else if (a == "--garbled-queries")
            o.garbledQueries = ParseList(value());
        else if (a == "--mode-answer") {
            o.modeAnswer = Unescape(value());
            o.haveModeAnswer = true;
        } else if (a == "--mode-refused")
            o.modeRefused = true;
        else if (a == "--xoff-after")
            o.xoffAfter = std::atol(value().c_str());
        else if (a == "--timeline")
            o.timelinePath = value();
        else if (a == "--stats-from")
            o.statsFrom = value();
        else if (a == "--greeting")
            o.greeting = Unescape(value());
        else if (a == "--garbage")
            o.garbage = true;
        else if (a == "--echo")
            o.echo = true;
        else if (a == "--line-end") {
            const std::string e = value();
            o.lineEnd = e == "crlf" ? "\r\n" : e == "lfcr" ? "\n\r" : e == "none" ? "" : "\n";
        } else if (a == "--byte-delay")
            o.byteDelayMs = std::atoi(value().c_str());
        else if (a == "--baud")
            o.baud = std::atol(value().c_str());
        else if (a == "--turnaround")
            o.turnaroundMs = std::atoi(value().c_str());
        else if (a == "--hangup-after")
            o.hangupAfter = std::atol(value().c_str());
        else if (a == "--exit-after-exits")
            o.exitAfterExits = std::atol(value().c_str());
        else if (a == "--stats")
            o.statsPath = value();
        else {
            std::fprintf(stderr, "qelsim: unknown option %s\n%s", a.c_str(), usage);
            return false;
        }
    }
    return true;
}

void Publish(const std::string& target, const std::string& link) {
    ::unlink(link.c_str());
    if (::symlink(target.c_str(), link.c_str()) != 0) {
        std::fprintf(stderr, "qelsim: cannot link %s: %s\n", link.c_str(), std::strerror(errno));
        std::exit(1);
    }
}

} // namespace

int main(int argc, char** argv) {
    Options options;
    if (!ParseOptions(argc, argv, options))
        return 2;
    if (options.portsDir.empty()) {
        std::fprintf(stderr, "qelsim: no ports folder (--ports or QEL32_PORTS)\n");
        return 2;
    }
    int master = -1, slave = -1;
    char name[256] = {};
    if (::openpty(&master, &slave, name, nullptr, nullptr) != 0) {
        std::perror("qelsim: openpty");
        return 1;
    }
    // Raw from the start, so nothing is echoed before the program sets the line up. The
    // simulator keeps its own slave open so that the line survives the program's closings.
    termios tio{};
    ::tcgetattr(slave, &tio);
    ::cfmakeraw(&tio);
    ::tcsetattr(slave, TCSANOW, &tio);

    // A ports folder that is not there yet is made, as a user who names one expects.
    for (const auto& folder : {options.portsDir, options.dosDir}) {
        std::error_code error;
        if (!folder.empty() && !std::filesystem::exists(folder) &&
            !std::filesystem::create_directories(folder, error)) {
            std::fprintf(stderr, "qelsim: cannot make %s: %s\n", folder.c_str(),
                         error.message().c_str());
            return 1;
        }
    }
    const std::string comLink = options.portsDir + "/COM" + std::to_string(options.port);
    Publish(name, comLink);
    std::string dosLink;
    if (!options.dosDir.empty()) {
        dosLink = options.dosDir + "/com" + std::to_string(options.port);
        Publish(name, dosLink);
    }
    struct sigaction sa {};
    sa.sa_handler = OnSignal;
    ::sigaction(SIGTERM, &sa, nullptr);
    ::sigaction(SIGINT, &sa, nullptr);
    // Sleeps end when they should: the wire-time model is only as good as they are.
    ::prctl(PR_SET_TIMERSLACK, 1UL);
    if (!options.greeting.empty() &&
        ::write(master, options.greeting.data(), options.greeting.size()) < 0)
        std::perror("qelsim: greeting");
    std::printf("ready COM%d %s\n", options.port, name);
    std::fflush(stdout);

    {
        Instrument instrument(options, master);
        char buffer[4096];
        while (!stopRequested) {
            // With wire timing the simulator watches a line it is receiving without pause, as
            // a UART does: a sleeping process wakes a fraction of a millisecond late. Between
            // lines it sleeps until the next byte wakes it, so that a long session does not
            // hold a processor the program under test needs.
            pollfd pfd{master, POLLIN, 0};
            const int ready = ::poll(&pfd, 1, options.baud > 0 && instrument.InLine() ? 0 : 200);
            if (ready <= 0)
                continue;
            const ssize_t n = ::read(master, buffer, sizeof buffer);
            if (n <= 0)
                continue; // no program on the line at the moment
            if (!instrument.Receive(buffer, static_cast<size_t>(n)))
                break;
        }
    }
    ::close(slave);
    ::close(master);
    ::unlink(comLink.c_str());
    if (!dosLink.empty())
        ::unlink(dosLink.c_str());
    return 0;
}
