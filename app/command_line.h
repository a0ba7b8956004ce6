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
// options are never reported: they are skipped or leave their value as the rules say. Option
// letters are case-blind; so is the value of "-h", which is taken in lower case, unless
// keepFileNameCase asks for it as typed (for a system whose names tell case apart).
void ParseCommandLine(const std::string& commandLine, CommandLineValues& values,
                      bool keepFileNameCase = false);

// A console program's arguments, as POSIX commands take them: each argument is read as a
// command line of its own (the value of "-h" as typed), except that an option letter given
// alone (-c, -h, -l, -w) takes the next argument whole as its value, hyphens and blanks
// included, when that argument does not begin with '-' ("-h fw-2.hex" names fw-2.hex).
void ParseArguments(const std::vector<std::string>& arguments, CommandLineValues& values);
