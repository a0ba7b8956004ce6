// An instrument's monitor on a virtual clock, behind the serial port contract: scripted_serial.cpp
// stands in for the platform's serial backend and clock, so that the program's own link (its
// pause, its drain wait, its reads) runs against it and every wait moves the clock instead of
// sleeping. Bytes take their wire time at a baud rate both ways. The monitor answers the lines
// it receives in order, each at most once, as a test's rule says or, without one, as fuzz
// bytes decide: an acknowledgement, a refusal, garbage or nothing, late by any delay and in
// chunks. An answer without a line end is followed by the silence that ends it. It records what it received and answered, and when, for the oracles.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <deque>
#include <functional>
#include <map>
#include <set>
#include <string>
#include <vector>

namespace scripted {

using Us = std::int64_t; // microseconds of the virtual clock

// One answer: its text, when it starts (after the line has arrived, or after the answer
// before it), and in how many pieces it comes.
struct Reply {
    std::string text;
    double delayMs = 0;
    int chunks = 1;
    double gapMs = 0; // between two pieces
};

struct Instrument {
    // How the monitor answers the copy-th copy (from 1) of a line; none: Sound, or the fuzz
    // bytes when there are any.
    using Rule = std::function<std::vector<Reply>(const std::string& line, int copy)>;

    Rule rule;
    const std::uint8_t* data = nullptr; // fuzz bytes; when they run out, prompt answers
    std::size_t size = 0;
    long baud = 0; // 10 bits a byte at this rate; 0: bytes take no time
    std::vector<std::string> monitors{"12345678A01"};
    std::set<int> failingWrites; // 1-based counts of writes that fail
    // Flow control holds the PC's output: what it writes stays in its output queue.
    bool outputHeld = false;
    std::string heldOutput;

    Us now = 0;
    std::deque<std::pair<Us, char>> toPc; // bytes on their way, by arrival time
    long mode = -1;                       // the monitor in upgrade mode

    struct Received {
        std::string line;
        Us leftAt;    // its first byte left the PC
        Us arrivedAt; // its line feed reached the monitor
    };
    std::vector<Received> received;
    struct Answered {
        std::string line; // what it answers
        std::string text;
        Us firstByteAt; // reached the PC
    };
    std::vector<Answered> answers;

    void Reset(const std::uint8_t* bytes = nullptr, std::size_t count = 0) {
        *this = Instrument();
        data = bytes;
        size = count;
    }

    std::uint8_t Next() {
        if (size == 0)
            return 0;
        --size;
        return *data++;
    }

    bool WriteFails() {
        ++writes_;
        if (failingWrites.count(writes_) != 0)
            return true;
        return !rule && size != 0 && Next() % 16 == 15;
    }

    Us ByteTime() const { return baud > 0 ? 10'000'000 / baud : 0; }

    // The bytes the PC writes now: they leave one after the other, and each line is handled
    // when its line feed arrives.
    void Write(const std::string& bytes) {
        Us at = std::max(now, txFreeAt_);
        for (const char c : bytes) {
            if (partial_.empty())
                partialLeftAt_ = at;
            at += ByteTime();
            departures_.push_back(at);
            if (c != '\n') {
                partial_ += c;
                continue;
            }
            Handle(partial_, partialLeftAt_, at);
            partial_.clear();
        }
        txFreeAt_ = at;
    }

    // PC output not yet on the wire.
    std::size_t OutQueue() {
        while (!departures_.empty() && departures_.front() <= now)
            departures_.pop_front();
        return departures_.size() + heldOutput.size();
    }

    // Bytes that have reached the PC by now.
    std::size_t Arrived() const {
        std::size_t n = 0;
        while (n < toPc.size() && toPc[n].first <= now)
            ++n;
        return n;
    }

    // The lines received, each followed by a line feed.
    std::string Wire() const {
        std::string text;
        for (const auto& r : received)
            text += r.line + "\n";
        return text;
    }
    std::vector<std::string> Lines() const {
        std::vector<std::string> lines;
        for (const auto& r : received)
            lines.push_back(r.line);
        return lines;
    }
    long Copies(const std::string& line) const {
        return std::count_if(received.begin(), received.end(),
                             [&](const Received& r) { return r.line == line; });
    }

    // A sound monitor: the identification (state code 1 at the monitor in upgrade mode),
    // nothing to the upgrade-mode command, and OK to every record line and the exit command.
    std::vector<Reply> Sound(const std::string& line) const {
        if (line == "QEL?")
            return {{Identification()}};
        if (line.rfind("MODEQEL", 0) == 0)
            return {};
        return {{"OK\n"}};
    }
    std::string Identification() const {
        std::string text;
        for (std::size_t i = 0; i < monitors.size(); ++i)
            text += std::string(text.empty() ? "" : ",") +
                    (mode == static_cast<long>(i) ? "1," : "0,") + monitors[i];
        return text + "\n";
    }

    static std::string Upper(std::string text) {
        for (auto& c : text)
            c = static_cast<char>(c >= 'a' && c <= 'z' ? c - 32 : c);
        return text;
    }
    static bool Accepts(const std::string& answer) {
        const std::string upper = Upper(answer);
        return upper.find("OK") != std::string::npos && upper.find("NACK") == std::string::npos;
    }

    // QEL32_FUZZ_TRACE=1 shows, for an input run by hand, what the monitor received, when each
    // answer was due and what the PC read when.
    static bool Tracing() {
        static const bool on = std::getenv("QEL32_FUZZ_TRACE") != nullptr;
        return on;
    }

  private:
    // The fuzz bytes' monitor: "QEL?" gets its identification or nothing; "MODEQELn" nothing
    // or "OK"; any other line an acknowledgement, a refusal, garbage or nothing. Each answer
    // late by up to 10.5 s, in up to three pieces apart by up to 750 ms: under the shortest
    // read limit, as the line's rule of silence requires for an answer to be one.
    std::vector<Reply> FuzzReplies(const std::string& line) {
        std::string text;
        if (line == "QEL?") {
            if (Next() % 4 == 3)
                return {};
            text = Identification();
        } else if (line.rfind("MODEQEL", 0) == 0) {
            if (Next() % 2 == 0)
                return {};
            text = "OK\n";
        } else {
            static const char* const kinds[] = {"OK\n",   "NACK\n",    "?#\n", "",
                                                "ok\r\n", "OK NACK\n", "OK",   "NACK"};
            text = kinds[Next() % 8];
            if (text.empty())
                return {};
        }
        const std::uint8_t timing = Next();
        const std::uint8_t split = Next();
        return {{text, (timing % 16) * 700.0, 1 + split % 3, ((split / 3) % 4) * 250.0}};
    }

    void Handle(const std::string& line, Us leftAt, Us arrivedAt) {
        if (Tracing())
            std::fprintf(stderr, "%10.3f ms  received %s\n", arrivedAt / 1000.0, line.c_str());
        received.push_back({line, leftAt, arrivedAt});
        if (line.rfind("MODEQEL", 0) == 0)
            mode = std::strtol(line.c_str() + 7, nullptr, 10);
        const int copy = ++copies_[line];
        const auto replies = rule ? rule(line, copy) : data != nullptr ? FuzzReplies(line)
                                                                       : Sound(line);
        Us at = std::max(arrivedAt, busyUntil_);
        for (const auto& reply : replies) {
            // An answer without a line end ends only when the line stays silent for the read
            // limit counted from when the reader looks: one that followed sooner would be the
            // same answer to any reader.
            if (unended_)
                at = std::max(at, busyUntil_ + silenceThatEndsUs);
            at += static_cast<Us>(reply.delayMs * 1000);
            const std::size_t chunks = static_cast<std::size_t>(std::max(1, reply.chunks));
            const std::size_t per = (reply.text.size() + chunks - 1) / chunks;
            Us first = -1;
            for (std::size_t i = 0; i < reply.text.size(); ++i) {
                if (i > 0 && per > 0 && i % per == 0)
                    at += static_cast<Us>(reply.gapMs * 1000);
                at += ByteTime();
                if (first < 0)
                    first = at;
                toPc.emplace_back(at, reply.text[i]);
            }
            if (first >= 0)
                answers.push_back({line, reply.text, first});
            if (!reply.text.empty()) {
                // Line ends, blanks and zeros after its line feed leave an answer ended.
                const auto lf = reply.text.rfind('\n');
                const std::string after =
                    lf == std::string::npos ? reply.text : reply.text.substr(lf + 1);
                unended_ = after.find_first_not_of(std::string("\r \0", 3)) != std::string::npos;
                busyUntil_ = at;
            }
            if (Tracing())
                std::fprintf(stderr, "%10.3f ms  answer due until %.3f ms: %s\n",
                             arrivedAt / 1000.0, at / 1000.0, reply.text.c_str());
        }
        busyUntil_ = std::max(busyUntil_, at);
        std::stable_sort(toPc.begin(), toPc.end(),
                         [](const auto& a, const auto& b) { return a.first < b.first; });
    }

    // The longest read limit (3 s) after the longest time a reader may take to look: a pause
    // of 255 characters and a line of 254 at 600 baud (8.5 s).
    static constexpr Us silenceThatEndsUs = 11'600'000;
    int writes_ = 0;
    bool unended_ = false; // the last answer had no line end
    std::map<std::string, int> copies_;
    std::string partial_;
    Us partialLeftAt_ = 0;
    Us txFreeAt_ = 0;
    Us busyUntil_ = 0;
    std::deque<Us> departures_;
};

Instrument& TheInstrument();

} // namespace scripted
