// The messages of the string table by what they say, under their French identifier n (the
// English text is n + 1), and a failure as its box shows it: the one description from which
// both the box and the journal entry are made.
#pragma once

#include "fw/types.h"

#include <string>

namespace res {

enum class Msg : int {
    None = 0,
    NoUpgradeFile = 3,
    CannotOpenFile = 5,
    FileWrong = 7,
    UnableToUpgrade = 9,
    UnableToClose = 11,
    NoAnswer = 15,
    Transmitting = 37,
    InProgress = 39,
    Success = 41,
    LineRefused = 43,
    CannotSendLine = 45,
    UnableToIdentify = 47,
    CommandRefused = 49,
    CannotSendCommand = 51,
    ModeNotSet = 53,
    Analysing = 55,
    AbortAnalysisQuestion = 57,
    ListWrong = 59,
    NoFileFits = 61,
    Confirmation = 63,
    ContactReseller = 65,
    CheckLink = 67,
    StopTransmissionQuestion = 69,
    LineSent = 71,
    AnswerReceived = 73,
    CompareReferences = 75,
    InstrumentMonitor = 77,
    CompatibilityList = 79,
    NoList = 81,
    UpgradingInstruments = 83,
    Version = 85, // one text for both languages
};

// How a failure's box ends: the upgrade is impossible (9/10, 65/66), or check the link
// (67/68), or nothing more.
enum class Ending { None, Upgrade, LinkCheck };

// A failure as the user is told of it: the message (its %1 the subject), then on lines of
// their own a second message that gives the reason and the system's own text, then the ending.
// With no message the system's text leads. The journal records the same numbers and text.
struct Failure {
    Msg message = Msg::None;
    std::string subject;
    Msg reason = Msg::None;
    std::string systemText;
    Ending ending = Ending::Upgrade;
    UINT style = MB_OK | MB_ICONEXCLAMATION;
};

} // namespace res
