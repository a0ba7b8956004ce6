// The lines the program writes on standard error, in its own language (a Windows program has
// none, and writes nothing): what could not be recorded, and what to do about a port.
#pragma once

#include "sys/sys.h"

#include <string>

// The journal could not be written: where, and why.
std::string JournalWarning(int language, const std::string& path,
                           const sys::AppendFailure& failure);
// After the box of a port that could not be opened: the device behind the number, and what
// the system tells of why (the adapter missing and the ports there are, the group that may use
// it and the command that adds the user to it, the program that holds it).
std::string PortFailureLine(int language, int port, const sys::PortDescription& description,
                            const sys::PortOpenDiagnosis& diagnosis);
