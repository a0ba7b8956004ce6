// An instrument's monitor on a virtual clock, behind the serial port contract: scripted_serial.cpp
// stands in for the platform's serial backend and clock, so that the program's own link (its
// pause, its drain wait, its reads) runs against it and every wait moves the clock instead of
// sleeping. Bytes take their wire time at a baud rate both ways. The monitor answers the lines
// it receives in order, as a test's rule says or, without one, as fuzz bytes decide. An answer
// without a line end is followed by the silence that ends it. It keeps, per monitor, the image
// the records it took have written, and records what it received and answered, and when, and
// which answer each byte the PC read belongs to, for the oracles.
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

// A byte on its way to the PC: when it arrives, and the answer it belongs to (-1: none).
struct Byte {
    Byte(Us when, char value, int of = -1) : at(when), c(value), answer(of) {}
    Us at;
    char c;
    int answer;
};

using Image = std::map<unsigned long, unsigned char>;

// Applies a record line to an image at the base address it keeps; false when the line is no
// valid record. Data, extended segment and linear address records; the others change nothing.
inline bool ApplyRecord(const std::string& line, Image& image, unsigned long& base) {
    const auto hex = [](char c) {
        return c >= '0' && c <= '9'   ? c - '0'
               : c >= 'A' && c <= 'F' ? c - 'A' + 10
               : c >= 'a' && c <= 'f' ? c - 'a' + 10
                                      : -1;
    };
    if (line.size() < 11 || line[0] != ':' || line.size() % 2 == 0)
        return false;
    std::vector<unsigned> bytes;
    unsigned sum = 0;
    for (std::size_t i = 1; i < line.size(); i += 2) {
        const int h = hex(line[i]), l = hex(line[i + 1]);
        if (h < 0 || l < 0)
            return false;
        bytes.push_back(static_cast<unsigned>(h * 16 + l));
        sum += bytes.back();
    }
    if ((sum & 0xFF) != 0 || bytes[0] + 5 != bytes.size())
        return false;
    const unsigned long address = (bytes[1] << 8) | bytes[2];
    if (bytes[3] == 0)
        for (unsigned i = 0; i < bytes[0]; ++i)
            image[base + address + i] = static_cast<unsigned char>(bytes[4 + i]);
    else if (bytes[3] == 2 && bytes[0] == 2)
        base = ((bytes[4] << 8) | bytes[5]) << 4;
    else if (bytes[3] == 4 && bytes[0] == 2)
        base = static_cast<unsigned long>((bytes[4] << 8) | bytes[5]) << 16;
    return true;
}

struct Instrument {
    // How the monitor answers the copy-th copy (from 1) of a line; none: Sound, or the fuzz
    // bytes when there are any.
    using Rule = std::function<std::vector<Reply>(const std::string& line, int copy)>;
    // What the fuzz bytes' monitor may do: lose answers (an end record's too), or say more than
    // asked (doubled and unasked answers, a refusal followed by an acceptance); never both, for
    // a loss where another's double took its place in time leaves no trace any reader could see.
    enum class Fuzz { Losses, Surplus };

    Rule rule;
    const std::uint8_t* data = nullptr; // fuzz bytes; when they run out, prompt answers
    std::size_t size = 0;
    Fuzz fuzz = Fuzz::Losses;
    long baud = 0; // 10 bits a byte at this rate; 0: bytes take no time
    std::vector<std::string> monitors{"12345678A01"};
    std::set<int> failingWrites; // 1-based counts of writes that fail
    // Flow control holds the PC's output: what it writes stays in its output queue.
    bool outputHeld = false;
    std::string heldOutput;

    Us now = 0;
    std::deque<Byte> toPc; // bytes on their way, by arrival time
    long mode = -1;        // the monitor in upgrade mode
    // What the records the monitor took wrote, per monitor; a record is taken unless its
    // answer (the first, when there are more) refuses it.
    std::map<long, Image> images;
    std::vector<int> delivered; // the answer of each byte the PC read, in order

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
        while (n < toPc.size() && toPc[n].at <= now)
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
    // The fuzz bytes' monitor: "QEL?" gets its identification, maybe garbled or doubled, or
    // nothing; "MODEQELn" nothing or "OK", and may leave the mode unset; any other line an
    // acknowledgement, a refusal or garbage, with or without a line end, or nothing; then maybe
    // more. Each answer late by up to 10.5 s, in up to three pieces apart by up to 750 ms: under
    // the shortest read limit, as the line's rule of silence requires for an answer to be one.
    std::vector<Reply> FuzzReplies(const std::string& line) {
        const bool surplus = fuzz == Fuzz::Surplus;
        std::vector<std::string> texts;
        if (line == "QEL?") {
            const std::uint8_t kind = Next() % 8;
            if (kind == 7 && !surplus)
                return {};
            texts.push_back(kind == 6 ? "1,1234#678A01\n" : Identification());
            if (surplus && kind == 5)
                texts.push_back(texts.back());
        } else if (line.rfind("MODEQEL", 0) == 0) {
            if (Next() % 2 == 0)
                return {};
            texts.push_back("OK\n");
        } else {
            static const char* const kinds[] = {"OK\n",      "NACK\n", "?#\n", "ok\r\n",
                                                "OK NACK\n", "OK",     "NACK", ""};
            const char* first = kinds[Next() % (surplus ? 7 : 8)];
            if (*first == '\0')
                return {};
            texts.push_back(first);
            static const char* const more[] = {"OK\n", "NACK\n", "?#\n", "READY\n"};
            const int extras = surplus && Next() % 4 == 3 ? 1 + Next() % 2 : 0;
            for (int extra = 0; extra < extras; ++extra)
                texts.push_back(more[Next() % 4]);
        }
        std::vector<Reply> replies;
        for (const auto& text : texts) {
            const std::uint8_t timing = Next();
            const std::uint8_t split = Next();
            replies.push_back(
                {text, (timing % 16) * 700.0, 1 + split % 3, ((split / 3) % 4) * 250.0});
        }
        return replies;
    }

    void Handle(const std::string& line, Us leftAt, Us arrivedAt) {
        if (Tracing())
            std::fprintf(stderr, "%10.3f ms  received %s\n", arrivedAt / 1000.0, line.c_str());
        received.push_back({line, leftAt, arrivedAt});
        const int copy = ++copies_[line];
        const auto replies = rule              ? rule(line, copy)
                             : data != nullptr ? FuzzReplies(line)
                                               : Sound(line);
        if (line.rfind("MODEQEL", 0) == 0 && (rule || data == nullptr || Next() % 8 != 7))
            mode = std::strtol(line.c_str() + 7, nullptr, 10);
        const bool refused =
            !replies.empty() && Upper(replies.front().text).find("NACK") != std::string::npos;
        if (line == "EXITQEL") {
            mode = -1;
        } else if (!line.empty() && line[0] == ':' && mode >= 0 && !refused) {
            ApplyRecord(line, images[mode], bases_[mode]);
        }
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
            const int index = static_cast<int>(answers.size());
            for (std::size_t i = 0; i < reply.text.size(); ++i) {
                if (i > 0 && per > 0 && i % per == 0)
                    at += static_cast<Us>(reply.gapMs * 1000);
                at += ByteTime();
                if (first < 0)
                    first = at;
                toPc.emplace_back(at, reply.text[i], index);
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
                         [](const Byte& a, const Byte& b) { return a.at < b.at; });
    }

    // The longest read limit (3 s) after the longest time a reader may take to look: a pause
    // of 255 characters and a line of 254 at 600 baud (8.5 s).
    static constexpr Us silenceThatEndsUs = 11'600'000;
    int writes_ = 0;
    bool unended_ = false; // the last answer had no line end
    std::map<std::string, int> copies_;
    std::map<long, unsigned long> bases_;
    std::string partial_;
    Us partialLeftAt_ = 0;
    Us txFreeAt_ = 0;
    Us busyUntil_ = 0;
    std::deque<Us> departures_;
};

Instrument& TheInstrument();

} // namespace scripted
