#include "app/command_line.h"

#include "sys/text.h"

namespace {

using sys::ReadDecimal;

char FirstChar(const std::string& field) {
    return field.empty() ? '\0' : field[0];
}

// value: the text right after the letter 'c', up to the next '-'.
void ParseLinkFields(const std::string& value, LinkSettings& link) {
    link.port = 0;
    std::string fields[6];
    size_t start = 0;
    for (int i = 0; i < 5; ++i) {
        const size_t comma = value.find(',', start);
        if (comma == std::string::npos)
            return; // incomplete: the option has no effect
        fields[i] = value.substr(start, comma - start);
        start = comma + 1;
    }
    fields[5] = value.substr(start);

    link.baudIndex = BaudIndexOfRate(ReadDecimal(fields[1]));
    link.eightDataBits = FirstChar(fields[2]) == '7' ? 0 : 1;
    link.twoStopBits = FirstChar(fields[3]) == '2' ? 1 : 0;
    switch (FirstChar(fields[4])) {
    case 'e': link.parity = LinkSettings::parityEven; break;
    case 'o': link.parity = LinkSettings::parityOdd; break;
    case 'i': link.parity = LinkSettings::parityIgnored; break;
    default: link.parity = LinkSettings::parityNone; break;
    }
    switch (FirstChar(fields[5])) {
    case 's': link.handshake = LinkSettings::handshakeXonXoff; break;
    case 'h': link.handshake = LinkSettings::handshakeHardware; break;
    default: link.handshake = LinkSettings::handshakeNone; break;
    }
    link.port = static_cast<std::int32_t>(ReadDecimal(fields[0]));
}

} // namespace

namespace {

// value: the text after the option's letter, as typed.
void ApplyOption(char letter, const std::string& value, CommandLineValues& values,
                 bool keepFileNameCase) {
    const std::string lower = sys::LowerCase(value);
    switch (letter) {
    case 'c': ParseLinkFields(lower, values.commandLineLink); break;
    case 'd': values.traceMode = 1; break;
    case 'f': values.forceByPosition = 1; break;
    case 'h': values.givenFileName = keepFileNameCase ? value : lower; break;
    case 'l': values.languageOption = FirstChar(lower) == 'f' ? 0 : 1; break;
    case 'r': values.repeatRun = 1; break;
    case 's': values.selectionMode = 1; break;
    case 'w': values.readyWaitCount = static_cast<std::uint8_t>(ReadDecimal(value) & 0xFF); break;
    default: break;
    }
}

bool TakesValue(const std::string& argument) {
    return argument.size() == 2 && argument[0] == '-' &&
           std::string("chlwCHLW").find(argument[1]) != std::string::npos;
}

} // namespace

// The case mapping keeps every character's length, so the text as typed and its lower case
// stand at the same positions.
void ParseCommandLine(const std::string& commandLine, CommandLineValues& values,
                      bool keepFileNameCase) {
    const std::string text = sys::LowerCase(commandLine);
    size_t dash = text.find('-');
    while (dash != std::string::npos && dash + 1 < text.size()) {
        const size_t letter = dash + 1;
        const size_t nextDash = text.find('-', letter);
        const size_t valueEnd = nextDash == std::string::npos ? text.size() : nextDash;
        ApplyOption(text[letter], commandLine.substr(letter + 1, valueEnd - letter - 1), values,
                    keepFileNameCase);
        dash = nextDash;
    }
}

void ParseArguments(const std::vector<std::string>& arguments, CommandLineValues& values) {
    for (size_t i = 0; i < arguments.size(); ++i) {
        const std::string& argument = arguments[i];
        if (TakesValue(argument) && i + 1 < arguments.size() && !arguments[i + 1].empty() &&
            arguments[i + 1][0] != '-') {
            ApplyOption(sys::LowerCase(argument)[1], arguments[++i], values, true);
            continue;
        }
        ParseCommandLine(argument, values, true);
    }
}
