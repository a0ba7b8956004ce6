#include "files/record_check.h"

#include "app/upgrade_app.h"
#include "sys/text.h"

#include <algorithm>

namespace {

constexpr int msgInstrumentMonitor = 77;

int HexDigit(char c) {
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    return -1;
}

// Two characters read as "%2x" reads them.
unsigned HexPair(char high, char low) {
    const int h = HexDigit(high);
    if (h < 0)
        return 0;
    const int l = HexDigit(low);
    return l < 0 ? static_cast<unsigned>(h) : static_cast<unsigned>(h * 16 + l);
}

bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}

// As atoi, kept to its low 8 bits.
std::uint8_t StateCode(const std::string& text) {
    return static_cast<std::uint8_t>(static_cast<unsigned long>(sys::ReadDecimal(text)) & 0xFF);
}

} // namespace

bool CheckHexRecord(std::string line, std::string* data) {
    const size_t cr = line.find('\r');
    if (cr != std::string::npos)
        line.resize(cr);
    const size_t lf = line.find('\n');
    if (lf != std::string::npos)
        line.resize(lf);
    if (line.empty() || line[0] != ':')
        return false;
    const size_t digits = line.size() - 1;
    if (digits < 10 || digits % 2 != 0)
        return false;

    // Byte count, address and record type come first; the last pair is the checksum.
    constexpr size_t firstDataDigit = 8;
    unsigned sum = 0;
    for (size_t i = 0; i < digits; i += 2) {
        const unsigned byte = HexPair(line[1 + i], line[2 + i]);
        sum += byte;
        if (data != nullptr && i >= firstDataDigit && i + 2 < digits)
            *data += byte == 0 ? '|' : static_cast<char>(byte);
    }
    return (sum & 0xFF) == 0;
}

bool IsValidMonitorReference(std::string reference) {
    if (reference.size() != 11)
        return false;
    for (size_t i = 0; i < 11; ++i) {
        const char c = reference[i];
        const bool ok = i == 8 ? (c >= 'A' && c <= 'Z') : IsDigit(c);
        if (!ok)
            return false;
    }
    return true;
}

bool ParseMonitorList(std::string answer, fw::CStringArray* monitors,
                      std::vector<std::uint8_t>* stateCodes) {
    if (monitors == nullptr)
        return false;
    answer.erase(std::remove(answer.begin(), answer.end(), ' '), answer.end());
    const size_t lf = answer.find('\n');
    if (lf != std::string::npos)
        answer.resize(lf);
    answer = sys::UpperCase(answer);

    monitors->clear();
    if (stateCodes != nullptr)
        stateCodes->clear();
    bool malformed = false;
    while (!answer.empty()) {
        const size_t comma = answer.find(',');
        if (comma == std::string::npos)
            break;
        const std::uint8_t code = StateCode(answer.substr(0, comma));
        answer.erase(0, comma + 1);

        std::string reference;
        const size_t next = answer.find(',');
        if (next != std::string::npos) {
            reference = answer.substr(0, next);
            answer.erase(0, next + 1);
        } else {
            reference = answer; // the loop stops at the next search for a comma
        }
        if (!IsValidMonitorReference(reference)) {
            malformed = true;
            break;
        }
        CUpgradeApp& app = App();
        if (app.traceMode)
            app.ShowTrace(app.Message(msgInstrumentMonitor, reference));
        monitors->push_back(reference);
        if (stateCodes != nullptr)
            stateCodes->push_back(code);
    }
    return !monitors->empty() && !malformed;
}
