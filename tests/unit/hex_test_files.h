// Builds upgrade files for the tests: records with correct checksums, lines as given, and the
// firmware most tests send.
#pragma once

#include <cctype>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace testfiles {

inline std::string Record(unsigned address, unsigned type, const std::string& data) {
    static const char digits[] = "0123456789ABCDEF";
    std::vector<unsigned> bytes{static_cast<unsigned>(data.size()), (address >> 8) & 0xFF,
                                address & 0xFF, type};
    for (unsigned char c : data)
        bytes.push_back(c);
    unsigned sum = 0;
    for (unsigned b : bytes)
        sum += b;
    bytes.push_back((0x100 - (sum & 0xFF)) & 0xFF);
    std::string line = ":";
    for (unsigned b : bytes) {
        line += digits[b >> 4];
        line += digits[b & 0xF];
    }
    return line;
}

// Data records of `bytes`, `perRecord` bytes each.
inline std::vector<std::string> DataRecords(const std::string& bytes, size_t perRecord,
                                            unsigned address = 0) {
    std::vector<std::string> lines;
    for (size_t i = 0; i < bytes.size(); i += perRecord) {
        lines.push_back(Record(address, 0, bytes.substr(i, perRecord)));
        address += static_cast<unsigned>(perRecord);
    }
    return lines;
}

inline const std::string endRecord = ":00000001FF";

inline std::string ListBytes(const std::string& references) {
    return "___LIST_COMP_HEX|" + references + std::string(2, '\0');
}

// A unique file in the temporary folder, removed with the object.
class TempFile {
  public:
    explicit TempFile(const std::string& content, const std::string& name = "upgrade.hex") {
        static int counter = 0;
        folder_ = std::filesystem::temp_directory_path() /
                  ("qel32-test-" + std::to_string(reinterpret_cast<std::uintptr_t>(this)) + "-" +
                   std::to_string(++counter));
        std::filesystem::create_directories(folder_);
        path_ = folder_ / name;
        std::ofstream(path_, std::ios::binary) << content;
    }
    ~TempFile() {
        std::error_code ignored;
        std::filesystem::remove_all(folder_, ignored);
    }
    TempFile(const TempFile&) = delete;
    TempFile& operator=(const TempFile&) = delete;
    std::string Path() const { return path_.string(); }
    std::string Folder() const { return folder_.string(); }

  private:
    std::filesystem::path folder_, path_;
};

inline std::string Lines(const std::vector<std::string>& lines, const std::string& end = "\n") {
    std::string text;
    for (const auto& l : lines)
        text += l + end;
    return text;
}

inline const std::string monitorA = "12345678A01";
inline const std::string monitorB = "12345678B02";

// A firmware image with its compatibility list, as records of 16 data bytes.
struct Firmware {
    explicit Firmware(const std::string& references, bool lowerCase = false, size_t perRecord = 16,
                      size_t filler = 20) {
        data = std::string("\x01\x02\x03\x04\x05\x06\x07\x08\x09\x0A", 10) + ListBytes(references) +
               std::string(filler, '\x5A');
        records = DataRecords(data, perRecord, 0x100);
        records.insert(records.begin(), Record(0, 4, std::string("\0\x02", 2)));
        records.push_back(endRecord);
        if (lowerCase)
            for (auto& r : records)
                for (auto& c : r)
                    c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    }
    std::string Wire() const { return Lines(records); } // each record line with its LF
    std::string File() const { return Lines(records, "\r\n"); }
    std::string data;
    std::vector<std::string> records;
};

} // namespace testfiles
