// What only a POSIX machine can arrange: a stream that fails in the middle, and files written
// by srec_cat from a binary image.
#include "app/upgrade_app.h"
#include "files/hex_analysis.h"
#include "hex_test_files.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <sstream>

namespace {

using namespace testfiles;
using Outcome = HexFileAnalysis::Outcome;

// A stream that gives its text, then fails with EIO.
struct FailingSource {
    std::string text;
    size_t offset = 0;
};

ssize_t ReadThenFail(void* cookie, char* buffer, size_t size) {
    auto* source = static_cast<FailingSource*>(cookie);
    if (source->offset >= source->text.size()) {
        errno = EIO;
        return -1;
    }
    const size_t n = std::min(size, source->text.size() - source->offset);
    std::memcpy(buffer, source->text.data() + source->offset, n);
    source->offset += n;
    return static_cast<ssize_t>(n);
}

TEST(AnalysisReadError, ReadErrorInTheMiddleIsNotTheEnd) {
    FailingSource source{Lines(DataRecords(ListBytes("12345678A01"), 16))};
    cookie_io_functions_t functions{ReadThenFail, nullptr, nullptr, nullptr};
    std::FILE* stream = fopencookie(&source, "r", functions);
    ASSERT_NE(stream, nullptr);
    std::setvbuf(stream, nullptr, _IONBF, 0);
    sys::TextFile file;
    file.Attach(stream);
    CUpgradeFile record("failing.hex");
    HexFileAnalysis analysis(file, record);
    Outcome outcome;
    while ((outcome = analysis.NextStep()) == Outcome::Continue) {
    }
    EXPECT_EQ(outcome, Outcome::ReadError);
    EXPECT_EQ(file.ErrorCode(), EIO);
}

class SrecCatFiles : public ::testing::TestWithParam<std::tuple<int, int, bool>> {};

TEST_P(SrecCatFiles, AnalyseWithTheirRecordCountAndList) {
    const auto [blockSize, addressLength, crlf] = GetParam();
    // An image of 80 KiB with the list in it, placed across a 64 KiB boundary.
    std::string image;
    for (int i = 0; i < 300; ++i)
        for (int b = 0; b < 256; ++b)
            image += static_cast<char>(b);
    image += ListBytes("12345678A01|87654321Z99") + std::string(500, '\0');
    TempFile bin(image, "image.bin");
    const std::string hex = bin.Folder() + "/image.hex";
    const std::string command = "srec_cat " + bin.Path() + " -binary -offset 0x1F000 -o " + hex +
                                " -intel -Output_Block_Size " + std::to_string(blockSize) +
                                " -address-length=" + std::to_string(addressLength);
    ASSERT_EQ(std::system(command.c_str()), 0) << command;

    std::ifstream in(hex);
    std::string line, text;
    size_t records = 0;
    while (std::getline(in, line)) {
        if (!line.empty() && line[0] == ':')
            ++records;
        text += line + (crlf ? "\r\n" : "\n");
    }
    std::ofstream(hex, std::ios::binary) << text;

    sys::TextFile file;
    ASSERT_TRUE(file.Open(hex));
    CUpgradeFile record(hex);
    HexFileAnalysis analysis(file, record);
    Outcome outcome;
    while ((outcome = analysis.NextStep()) == Outcome::Continue) {
    }
    EXPECT_EQ(outcome, Outcome::Sound);
    EXPECT_EQ(record.recordCount, records) << "block size 1 makes more than 65,535 records";
    EXPECT_EQ(record.compatibleMonitors, (fw::CStringArray{"12345678A01", "87654321Z99"}));
}

INSTANTIATE_TEST_SUITE_P(BlockSizesLineEndsAndAddressRecords, SrecCatFiles,
                         ::testing::Combine(::testing::Values(1, 2, 16, 32, 64, 121),
                                            ::testing::Values(3, 4), // segment, linear
                                            ::testing::Bool()));

} // namespace
