// The lines the program writes on standard error, in its own language (a Windows program has
// none, and writes nothing): what could not be recorded, and what to do about a port.
#pragma once

#include "sys/sys.h"

#include <cstdint>
#include <string>
#include <vector>

// The journal could not be written: where, and why; and where the line went instead, when the
// user's own journal took it.
std::string JournalWarning(int language, const std::string& path, const sys::AppendFailure& failure,
                           const std::string& wentTo = "");
// The box of a station that requires its journal, when it cannot be written: nothing is sent.
std::string JournalRequiredText(int language, const std::string& path,
                                const sys::AppendFailure& failure);
// One pass of a "-r" loop, for its operator: the pass number, the outcome (the journal's
// Outcome), each file with the monitor it went to and its records accepted of its count, the
// time, the unit.
struct LoopPass {
    int pass;
    int outcome;
    std::string unit;
    double seconds;
    struct File {
        std::string name, monitor;
        std::uint32_t accepted, records;
    };
    std::vector<File> files;
};
std::string LoopPassLine(int language, const LoopPass& pass);
// Another instrument than the one identified answered the verification.
std::string OtherInstrumentLine(int language, const std::vector<std::string>& identified,
                                const std::vector<std::string>& verified);
// A file's permission bits as ls and chmod write them: "0600".
std::string ModeText(unsigned mode);
// After the box of a port that could not be opened: the device behind the number, and what
// the system tells of why (the adapter missing and the ports there are, the group that may use
// it and the command that adds the user to it, the program that holds it).
std::string PortFailureLine(int language, int port, const sys::PortDescription& description,
                            const sys::PortOpenDiagnosis& diagnosis);
