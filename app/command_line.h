#pragma once

#include "link/link_settings.h"

#include <cstdint>
#include <string>
#include <vector>

// What the command line can set; read by the whole procedure, never changed after start-up.
struct CommandLineValues {
    std::int32_t traceMode = 0;       // -d
    std::int32_t forceByPosition = 0; // -f
    std::int32_t repeatRun = 0;       // -r
    std::int32_t languageOption = -1; // -l: -1 not given, 0 French, 1 English
    std::int32_t selectionMode = 0;   // -s
    std::uint8_t readyWaitCount = 5;  // -w: character times to wait before each write
    std::string givenFileName;        // -h
    LinkSettings commandLineLink{};   // -c; port 0: not given
};

// Reads the options of commandLine (the text after the program's name) into values. Malformed
// options are never reported: they are skipped or leave their value as the rules say.
void ParseCommandLine(const std::string& commandLine, CommandLineValues& values);

// The command line that a console program's arguments stand for: the arguments joined by
// blanks, as Windows hands the text after the program's name, except that an option letter
// given alone (-c, -h, -l, -w) takes the next argument as its value when that argument does not
// begin with '-', as POSIX commands take their values ("-h fw.hex" is "-hfw.hex").
std::string CommandLineOfArguments(const std::vector<std::string>& arguments);
