#include "options.h"

#include <cstdio>
#include <cstdlib>
#include <functional>
#include <sstream>

namespace {

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

// \n \r \0 and \xHH in a text given on the command line.
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

int Int(const std::string& v) {
    return std::atoi(v.c_str());
}
long Long(const std::string& v) {
    return std::atol(v.c_str());
}

struct Option {
    const char* name;
    const char* value; // nullptr: a switch
    const char* help;  // its lines after the first start with a tab
    std::function<void(Options&, const std::string&)> set;
};

using O = Options;
using V = const std::string&;

const Option where[] = {
    {"--ports", "DIR",
     "publish the port as DIR/COMn (default: $QEL32_PORTS, else\n\t$XDG_RUNTIME_DIR/qel32-ports, "
     "else /tmp/qel32-ports-UID)",
     [](O& o, V v) { o.portsDir = v; }},
    {"--port", "N", "the n of COMn (default 1)", [](O& o, V v) { o.port = Int(v); }},
    {"--dosdevices", "DIR", "also link DIR/comN, for Wine", [](O& o, V v) { o.dosDir = v; }},
    {"--monitor", "REF", "a monitor, in answer order (repeatable); state code 0 until selected",
     [](O& o, V v) { o.monitors.push_back(v); }},
    {"--state-codes", "LIST", "the state codes outside upgrade mode, comma separated",
     [](O& o, V v) {
         for (long c : ParseList(v))
             o.stateCodes.push_back(static_cast<int>(c));
     }},
    {"--identities", "LIST", "monitors after each EXITQEL, groups separated by ';' (\"-r\" runs)",
     [](O& o, V v) {
         for (const auto& group : Split(v, ';'))
             o.identities.push_back(Split(group, ','));
     }},
    {"--swap-to", "LIST",
     "on SIGUSR1, another instrument is on the cable: these monitors\n\t(comma separated), none "
     "in upgrade mode, and an empty image; \"swapped\"\n\ton standard output once it is",
     [](O& o, V v) { o.swapTo = Split(v, ','); }},
    {"--answer", "TEXT", "answer every \"QEL?\" with TEXT as is (\\n \\r \\0 \\xHH understood)",
     [](O& o, V v) { o.fixedAnswer = Unescape(v), o.haveFixedAnswer = true; }},
    {"--log", "FILE", "every byte received, appended as received",
     [](O& o, V v) { o.logPath = v; }},
    {"--image", "FILE",
     "the rebuilt image (binary, lowest to highest address, gaps 0xFF),\n\twritten after each "
     "EXITQEL and at exit",
     [](O& o, V v) { o.imagePath = v; }},
};

const Option faults[] = {
    {"--silent", nullptr, "answer nothing at all", [](O& o, V) { o.silent = true; }},
    {"--silent-queries", "LIST", "leave these \"QEL?\" unanswered (1-based counts)",
     [](O& o, V v) { o.silentQueries = ParseList(v); }},
    {"--silent-lines", "LIST",
     "leave these record lines unanswered (1-based, counting every record\n\tline received, "
     "repeats included)",
     [](O& o, V v) { o.silentLines = ParseList(v); }},
    {"--nack-lines", "LIST", "answer NACK to these record lines (same counting)",
     [](O& o, V v) { o.nackLines = ParseList(v); }},
    {"--late-lines", "LIST", "answer these record lines only after --late-ms (same counting)",
     [](O& o, V v) { o.lateLines = ParseList(v); }},
    {"--late-ms", "MS", "how late a late line is answered (default 4000)",
     [](O& o, V v) { o.lateMs = Int(v); }},
    {"--nack-exit", nullptr, "answer NACK to \"EXITQEL\"", [](O& o, V) { o.nackExit = true; }},
    {"--silent-exits", "LIST", "leave these \"EXITQEL\" unanswered (1-based counts)",
     [](O& o, V v) { o.silentExits = ParseList(v); }},
    {"--ok-text", "TEXT", "the acceptance (default OK)", [](O& o, V v) { o.okText = Unescape(v); }},
    {"--nack-text", "TEXT", "the refusal (default NACK)",
     [](O& o, V v) { o.nackText = Unescape(v); }},
    {"--garbled-queries", "LIST", "answer these \"QEL?\" with bytes that are no identification",
     [](O& o, V v) { o.garbledQueries = ParseList(v); }},
    {"--doubled-queries", "LIST", "answer these \"QEL?\" twice",
     [](O& o, V v) { o.doubledQueries = ParseList(v); }},
    {"--extra-answer", "N:MS:TEXT",
     "after the answer to the N-th record line (same counting), TEXT and\n\tthe line end MS ms "
     "later, while the next line may arrive; the next\n\tanswer waits for it (repeatable)",
     [](O& o, V v) {
         const auto first = v.find(':'), second = v.find(':', first + 1);
         if (second == std::string::npos) {
             std::fprintf(stderr, "qelsim: --extra-answer wants N:MS:TEXT\n");
             std::exit(2);
         }
         o.extras.push_back({Long(v.substr(0, first)), Int(v.substr(first + 1, second - first - 1)),
                             Unescape(v.substr(second + 1))});
     }},
    {"--mode-answer", "TEXT", "answer \"MODEQELn\" with TEXT (a monitor that says more than asked)",
     [](O& o, V v) { o.modeAnswer = Unescape(v), o.haveModeAnswer = true; }},
    {"--mode-refused", nullptr, "\"MODEQELn\" leaves the state codes as they are",
     [](O& o, V) { o.modeRefused = true; }},
    {"--xoff-after", "N", "after the N-th line received, send XOFF and then nothing at all",
     [](O& o, V v) { o.xoffAfter = Long(v); }},
    {"--greeting", "TEXT", "send TEXT as soon as the port is published, before any opening",
     [](O& o, V v) { o.greeting = Unescape(v); }},
    {"--garbage", nullptr, "answer every line with bytes that hold neither OK nor NACK",
     [](O& o, V) { o.garbage = true; }},
    {"--echo", nullptr, "send each received line back before the answer",
     [](O& o, V) { o.echo = true; }},
    {"--line-end", "crlf|lf|lfcr|none", "how answers end (default lf)",
     [](O& o, V v) {
         o.lineEnd = v == "crlf" ? "\r\n" : v == "lfcr" ? "\n\r" : v == "none" ? "" : "\n";
     }},
    {"--byte-delay", "MS", "pause between the bytes of an answer",
     [](O& o, V v) { o.byteDelayMs = Int(v); }},
    {"--baud", "RATE", "each byte, in and out, takes its wire time (10 bits at RATE)",
     [](O& o, V v) { o.baud = Long(v); }},
    {"--turnaround", "MS", "pause between a line's last byte and the answer",
     [](O& o, V v) { o.turnaroundMs = Int(v); }},
    {"--adapter-latency", "MS",
     "an answer shorter than 62 bytes reaches the PC only MS after its first\n\tbyte, as through "
     "a USB adapter whose latency timer holds it",
     [](O& o, V v) { o.adapterLatencyMs = Int(v); }},
    {"--hangup-after", "N", "close the line for good after N received lines",
     [](O& o, V v) { o.hangupAfter = Long(v); }},
    {"--exit-after-exits", "N", "end after the N-th \"EXITQEL\" (default: run until killed)",
     [](O& o, V v) { o.exitAfterExits = Long(v); }},
    {"--stats", "FILE",
     "at the end: bytes received and sent, lines, answers, and the seconds\n\tfrom the first "
     "byte received to the last byte sent",
     [](O& o, V v) { o.statsPath = v; }},
    {"--stats-from", "LINE",
     "count the seconds of --stats from the first byte of this line\n\treceived (e.g. MODEQEL0: "
     "the transmission without the wait for its\n\tconfirmation)",
     [](O& o, V v) { o.statsFrom = v; }},
    {"--timeline", "FILE",
     "each line received, with the seconds since the start when its last\n\tbyte arrived (the "
     "simulator's own clock)",
     [](O& o, V v) { o.timelinePath = v; }},
};

const char* const intro = R"(usage: qelsim [options]
Publishes a simulated instrument on a pseudo-terminal and answers its monitor's protocol:
  "QEL?"       the identification answer: state code and reference of every monitor
  "MODEQELn"   monitor n enters upgrade mode (its state code becomes 1); no answer
  ":..." lines  checked (length, hex digits, checksum): "OK", or "NACK"; accepted records
               (data, extended segment/linear address, end) rebuild the memory image
  "EXITQEL"    "OK"; upgrade mode ends
Prints "ready COMn DEVICE" on standard output once the port is published.
)";

void PrintGroup(std::FILE* out, const char* heading, const Option* first, const Option* last) {
    std::fprintf(out, "\n%s\n", heading);
    for (const Option* o = first; o != last; ++o) {
        const std::string head =
            std::string(o->name) + (o->value ? std::string(" ") + o->value : "");
        std::string help = o->help;
        for (size_t tab; (tab = help.find('\t')) != std::string::npos;)
            help.replace(tab, 1, std::string(25, ' '));
        std::fprintf(out, "  %-22s %s\n", head.c_str(), help.c_str());
    }
}

void PrintUsage(std::FILE* out) {
    std::fputs(intro, out);
    PrintGroup(out, "Where:", std::begin(where), std::end(where));
    PrintGroup(out, "Faults:", std::begin(faults), std::end(faults));
    std::fprintf(out, "  %-22s %s\n", "--help", "this text");
}

const Option* Find(const std::string& name) {
    for (const Option& o : where)
        if (name == o.name)
            return &o;
    for (const Option& o : faults)
        if (name == o.name)
            return &o;
    return nullptr;
}

} // namespace

bool ParseOptions(int argc, char** argv, Options& options) {
    if (const char* env = std::getenv("QEL32_PORTS"))
        options.portsDir = env;
    for (int i = 1; i < argc; ++i) {
        const std::string name = argv[i];
        if (name == "--help") {
            PrintUsage(stdout);
            std::exit(0);
        }
        const Option* option = Find(name);
        if (option == nullptr) {
            std::fprintf(stderr, "qelsim: unknown option %s\n", name.c_str());
            PrintUsage(stderr);
            return false;
        }
        if (option->value != nullptr && i + 1 >= argc) {
            std::fprintf(stderr, "qelsim: %s needs a value\n", name.c_str());
            std::exit(2);
        }
        option->set(options, option->value != nullptr ? argv[++i] : "");
    }
    return true;
}
