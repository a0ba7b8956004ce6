// The simulator's options: what the instrument is and how it misbehaves.
#pragma once

#include <set>
#include <string>
#include <vector>

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
    std::vector<std::string> swapTo; // the instrument SIGUSR1 puts on the cable
    bool silent = false, garbage = false, echo = false, nackExit = false, haveFixedAnswer = false;
    std::set<long> silentQueries, silentLines, nackLines, doubledQueries;
    // After the answer to the n-th record line: a text (with the line end) so many ms later.
    struct Extra {
        long line;
        int delayMs;
        std::string text;
    };
    std::vector<Extra> extras;
    std::string lineEnd = "\n";
    int byteDelayMs = 0, turnaroundMs = 0, adapterLatencyMs = 0;
    long baud = 0;
    long hangupAfter = -1, exitAfterExits = -1;
};

// Reads the command line into options (the ports folder defaults to $QEL32_PORTS). False, with
// the reason and the usage on standard error, for an option it does not know; "--help" prints
// the usage and exits.
bool ParseOptions(int argc, char** argv, Options& options);
