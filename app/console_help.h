#pragma once

#include <string>

// The console program's "--help": the options of the command-line help page, the others, the
// exit statuses, the journal and an example, in a language (0 French).
std::string ConsoleHelp(int language);
// The console program's "--version": "qel32 <dotted file version>", then the About line.
std::string ConsoleVersion();
