// The instrument's monitor behind the simulator's pseudo-terminal: it answers the protocol,
// logs what it receives, rebuilds the image from the records it accepts, and misbehaves as
// the options say.
#pragma once

#include "options.h"

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <map>
#include <string>
#include <thread>
#include <utility>
#include <vector>

namespace qelsim {

inline int HexValue(char c) {
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    return -1;
}

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

    // Another instrument is put on the cable in place of this one: its own monitors, none in
    // upgrade mode, nothing written into it yet. What the first received is in its image.
    void Swap() {
        if (o_.swapTo.empty())
            return;
        WriteImage();
        o_.imagePath += ".swapped";
        o_.monitors = o_.swapTo;
        o_.stateCodes.clear();
        mode_ = -1;
        image_.clear();
        base_ = 0;
        line_.clear();
    }

    // Part of a line has come: the rest is on its way.
    bool InLine() const { return !line_.empty(); }

    // Milliseconds until an extra answer is due (-1: none), and the ones due sent.
    int UntilExtraDue() const {
        if (scheduled_.empty())
            return -1;
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            scheduled_.front().first - Clock::now());
        return static_cast<int>(std::max<long long>(0, left.count()));
    }
    void SendExtrasDue(bool all = false) {
        while (!scheduled_.empty() && (all || scheduled_.front().first <= Clock::now())) {
            WaitUntil(scheduled_.front().first);
            Send(scheduled_.front().second);
            scheduled_.erase(scheduled_.begin());
        }
    }

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
            if (o_.exitAfterExits >= 0 && exits_ >= o_.exitAfterExits) {
                // Long enough for the program to read the answer: a closed line loses it.
                std::this_thread::sleep_for(std::chrono::milliseconds(300));
                return false;
            }
        }
        return true;
    }

  private:
    using Clock = std::chrono::steady_clock;
    static constexpr size_t adapterPacketBytes = 62; // an FTDI chip's USB packet, less its status

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
    // A USB adapter in between holds fewer than 62 received bytes until its latency timer runs
    // out, counted from their first byte.
    void Send(const std::string& bytes) {
        if (o_.baud > 0 && o_.byteDelayMs == 0) {
            const auto start = std::max(Clock::now(), wire_);
            wire_ = start + ByteTime() * static_cast<long>(bytes.size());
            auto delivered = wire_;
            if (o_.adapterLatencyMs > 0 && bytes.size() < adapterPacketBytes)
                delivered = std::max(delivered, start + ByteTime() +
                                                    std::chrono::milliseconds(o_.adapterLatencyMs));
            WaitUntil(delivered);
            Write(bytes);
            return;
        }
        if (o_.adapterLatencyMs > 0 && bytes.size() < adapterPacketBytes)
            std::this_thread::sleep_for(std::chrono::milliseconds(o_.adapterLatencyMs));
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
        SendExtrasDue(true); // the monitor answers in order
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
            const std::string answer =
                o_.garbledQueries.count(queries_) != 0 ? "1,1234#678A01" : Identification();
            Answer(answer);
            if (o_.doubledQueries.count(queries_) != 0)
                Answer(answer);
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
            for (const auto& extra : o_.extras)
                if (extra.line == records_)
                    scheduled_.emplace_back(Clock::now() + std::chrono::milliseconds(extra.delayMs),
                                            extra.text + o_.lineEnd);
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
    std::vector<std::pair<Clock::time_point, std::string>> scheduled_; // extra answers, by time
};

} // namespace qelsim
