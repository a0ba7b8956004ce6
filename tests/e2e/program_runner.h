// Runs the native program as a person would: arguments, environment, lines typed on standard
// input; collects what it shows and how it ends.
#pragma once

#include <sys/types.h>

#include <functional>
#include <map>
#include <string>
#include <vector>

struct ProgramRun {
    int status = -1; // exit status, or 128 + signal
    std::string output;
};

// Once the program has shown `shown` (after what the step before saw), do `action`, send it
// `signal` when one is given, then type `input`.
struct ProgramStep {
    std::string shown;
    std::function<void()> action;
    std::string input;
    int signal = 0;
};

struct ProgramOptions {
    std::vector<std::string> args;
    std::string input;                      // standard input, whole (typed first with steps)
    std::vector<ProgramStep> steps;         // when given, standard input ends after the last
    std::map<std::string, std::string> env; // set on top of a clean locale
    std::vector<std::string> unset;         // environment variables it starts without
    // Another user to run as (the test runs as root): its uid, gid and supplementary groups.
    uid_t uid = 0;
    gid_t gid = 0;
    std::vector<gid_t> groups;
    std::string workingDirectory;
    std::string program;        // another copy of the program; the built one when empty
    bool terminal = false;      // what it shows goes to a pseudo-terminal (raw, no CR added)
    bool terminalInput = false; // with terminal: its input is that terminal too
    std::vector<int> closed;    // standard descriptors closed before it starts
    long outputReadLimit = -1;  // its output into a pipe whose reader goes away after so many bytes
    long fileSizeLimit = -1;    // RLIMIT_FSIZE, in bytes
    int timeoutSeconds = 60;
};

ProgramRun RunProgram(const ProgramOptions& options);

// Path of the built native program.
std::string ProgramPath();
