// An instrument's monitor played from fuzz bytes on a virtual clock, behind the serial port
// contract (scripted_serial.cpp stands in for the POSIX backend in this target). It answers
// every line it receives in order, each at most once: a record line or "EXITQEL" with an
// acknowledgement, a refusal, garbage or nothing; "QEL?" with its identification or nothing;
// "MODEQELn" with nothing or an acknowledgement. Each answer may come late by any delay and
// in chunks; the gaps inside one answer stay under the shortest read limit, as the line's
// rule of silence requires for an answer to be one.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <deque>
#include <map>
#include <string>
#include <vector>

namespace scripted {

struct Instrument {
    using Ms = std::int64_t;

    // The fuzz bytes that decide each behaviour; when they run out, prompt acknowledgements.
    const std::uint8_t* data = nullptr;
    std::size_t size = 0;

    Ms now = 0;                              // the virtual clock
    std::deque<std::pair<Ms, char>> toPc;    // bytes on their way, by arrival time
    Ms busyUntil = 0;                        // the monitor answers one line after the other
    std::string partial;                     // a line being received
    long mode = -1;                          // the monitor in upgrade mode
    std::vector<std::string> received;       // every line, in order
    std::map<std::string, int> answered;     // record lines (upper case) given any answer
    std::map<std::string, int> acknowledged; // record lines (upper case) given an acceptance
    int exitsAcknowledged = 0;
    // Flow control holds the PC's output: what it writes stays in its output queue.
    bool outputHeld = false;
    std::string heldOutput;

    void Reset(const std::uint8_t* bytes, std::size_t count) {
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

    bool WriteFails() { return size != 0 && Next() % 16 == 15; }

    // The bytes of a line received at `now`.
    void Receive(const std::string& bytes) {
        for (char c : bytes) {
            if (c != '\n') {
                partial += c;
                continue;
            }
            Handle(partial);
            partial.clear();
        }
    }

    // Bytes that have arrived by `now`.
    std::size_t Arrived() const {
        std::size_t n = 0;
        while (n < toPc.size() && toPc[n].first <= now)
            ++n;
        return n;
    }

    static std::string Upper(std::string text) {
        for (auto& c : text)
            c = static_cast<char>(c >= 'a' && c <= 'z' ? c - 32 : c);
        return text;
    }

  private:
    static bool Accepts(std::string answer) {
        for (auto& c : answer)
            c = static_cast<char>(c >= 'a' && c <= 'z' ? c - 32 : c);
        return answer.find("OK") != std::string::npos && answer.find("NACK") == std::string::npos;
    }

    void Answer(const std::string& text) {
        const std::uint8_t timing = Next();
        const std::uint8_t split = Next();
        Ms at = std::max(now, busyUntil) + static_cast<Ms>(timing % 16) * 700;
        const std::size_t chunks = 1 + split % 3;
        const Ms gap = static_cast<Ms>((split / 3) % 4) * 250;
        for (std::size_t i = 0; i < text.size(); ++i) {
            if (i > 0 && i % ((text.size() + chunks - 1) / chunks) == 0)
                at += gap;
            toPc.emplace_back(at, text[i]);
        }
        busyUntil = at;
        if (Tracing())
            std::fprintf(stderr, "%8lld ms  answer due until %lld ms: %s",
                         static_cast<long long>(now), static_cast<long long>(at), text.c_str());
    }

  public:
    // QEL32_FUZZ_TRACE=1 shows, for an artifact run by hand, what the monitor received, when
    // each answer was due and what the PC read when.
    static bool Tracing() {
        static const bool on = std::getenv("QEL32_FUZZ_TRACE") != nullptr;
        return on;
    }

  private:

    void Handle(const std::string& line) {
        if (Tracing())
            std::fprintf(stderr, "%8lld ms  received %s\n", static_cast<long long>(now),
                         line.c_str());
        received.push_back(line);
        if (line == "QEL?") {
            if (Next() % 4 != 3)
                Answer(std::string(mode == 0 ? "1" : "0") + ",12345678A01\n");
        } else if (line.rfind("MODEQEL", 0) == 0) {
            mode = std::stol(line.substr(7));
            if (Next() % 2 == 1)
                Answer("OK\n");
        } else {
            static const char* const answers[] = {"OK\n",   "NACK\n",    "?#\n", "",
                                                  "ok\r\n", "OK NACK\n", "OK",   "NACK"};
            const std::string answer = answers[Next() % 8];
            if (answer.empty())
                return;
            if (line != "EXITQEL")
                ++answered[Upper(line)];
            if (Accepts(answer)) {
                if (line == "EXITQEL")
                    ++exitsAcknowledged;
                else
                    ++acknowledged[Upper(line)];
            }
            Answer(answer);
        }
    }
};

Instrument& TheInstrument();

} // namespace scripted
