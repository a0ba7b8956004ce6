// Runs the native program as a person would: arguments, environment, lines typed on standard
// input; collects what it shows and how it ends.
#pragma once

#include <map>
#include <string>
#include <vector>

struct ProgramRun {
    int status = -1; // exit status, or 128 + signal
    std::string output;
};

struct ProgramOptions {
    std::vector<std::string> args;
    std::string input;                      // standard input, whole
    std::map<std::string, std::string> env; // set on top of a clean locale
    std::string workingDirectory;
    std::string program; // another copy of the program; the built one when empty
    int timeoutSeconds = 60;
};

ProgramRun RunProgram(const ProgramOptions& options);

// Path of the built native program.
std::string ProgramPath();
