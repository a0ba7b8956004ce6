// An instrument's monitor scripted by a test, behind the transmission sequence's port, on a
// virtual clock: reads wait by moving the clock, never by sleeping, so that a time limit is
// pinned to the millisecond and no real time-out is waited out.
#pragma once

#include "protocol/transmission_sequence.h"

#include <deque>
#include <functional>
#include <map>
#include <set>
#include <string>
#include <vector>

struct ScriptedMonitor : ExchangePort {
    struct Answer {
        std::string text;
        long delayMs = 0; // after the line, or after the answer before it
    };
    // The answers to a line received; copy counts the copies of that text, from 1.
    using Rule = std::function<std::vector<Answer>(const std::string& line, int copy)>;

    // A sound monitor: the identification (state code 1 once in upgrade mode), and OK to
    // every record line and to the exit command.
    std::vector<Answer> Sound(const std::string& line) {
        if (line == "QEL?")
            return {{std::string(mode ? "1" : "0") + ",12345678A01\n"}};
        if (line.rfind("MODEQEL", 0) == 0) {
            mode = line == "MODEQEL0";
            return {};
        }
        return {{"OK\n"}};
    }

    Rule rule; // none: Sound

    std::set<int> failingWrites; // 1-based counts of SendLine calls that fail

    long now = 0;                      // ms
    std::vector<std::string> received; // every line that left, in order
    std::vector<int> readLimits;       // the time limit of every read, in seconds
    std::vector<long> sentAt;          // when each line left
    bool mode = false;

    int SendLine(std::string& text, bool) override {
        text.resize(std::min(text.size(), text.find_first_of("\r\n")));
        if (failingWrites.count(++writes_) != 0)
            return -1;
        received.push_back(text);
        sentAt.push_back(now);
        long at = std::max(now, lastArrival_);
        const int copy = ++copies_[text];
        for (const auto& answer : rule ? rule(text, copy) : Sound(text)) {
            at += answer.delayMs;
            toPc_.push_back({at, answer.text});
        }
        lastArrival_ = at;
        return 0;
    }
    std::string WriteFailureText() override { return "Input/output error"; }
    int ReadAnswer(std::string& answer, int timeoutSeconds) override {
        readLimits.push_back(timeoutSeconds);
        const long limit = now + timeoutSeconds * 1000L;
        if (toPc_.empty() || toPc_.front().first > limit) {
            now = limit;
            return 16;
        }
        now = std::max(now, toPc_.front().first);
        answer = toPc_.front().second;
        toPc_.pop_front();
        return 0;
    }
    bool InputPending() override { return !toPc_.empty() && toPc_.front().first <= now; }

    // The lines received, each followed by a line feed.
    std::string Wire() const {
        std::string text;
        for (const auto& line : received)
            text += line + "\n";
        return text;
    }

  private:
    int writes_ = 0;
    std::map<std::string, int> copies_;
    std::deque<std::pair<long, std::string>> toPc_;
    long lastArrival_ = 0;
};
