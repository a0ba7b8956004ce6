#include "files/record_check.h"

#include "sys/text.h"

#include <algorithm>

namespace {

int HexDigit(char c) {
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    return -1;
}

// The byte of two hexadecimal digits; -1 when either is not one. A record that reads "G1" as 0
// would reach the instrument and be refused there, halfway through an upgrade.
int HexPair(char high, char low) {
    const int h = HexDigit(high);
    const int l = HexDigit(low);
    return h < 0 || l < 0 ? -1 : h * 16 + l;
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
    constexpr size_t framingBytes = 5;
    unsigned sum = 0;
    int byteCount = 0;
    std::string bytes;
    for (size_t i = 0; i < digits; i += 2) {
        const int byte = HexPair(line[1 + i], line[2 + i]);
        if (byte < 0)
            return false;
        if (i == 0)
            byteCount = byte;
        sum += static_cast<unsigned>(byte);
        if (i >= firstDataDigit && i + 2 < digits)
            bytes += byte == 0 ? '|' : static_cast<char>(byte);
    }
    // The instrument takes the count at its word: one that disagrees with the data is refused.
    if (static_cast<size_t>(byteCount) + framingBytes != digits / 2 || (sum & 0xFF) != 0)
        return false;
    if (data != nullptr)
        *data += bytes;
    return true;
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
                      std::vector<std::uint8_t>* stateCodes,
                      const std::function<void(const std::string&)>& onMonitor) {
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
        if (onMonitor)
            onMonitor(reference);
        monitors->push_back(reference);
        if (stateCodes != nullptr)
            stateCodes->push_back(code);
    }
    return !monitors->empty() && !malformed;
}
