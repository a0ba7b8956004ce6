#include "app/upgrade_app.h"
#include "files/hex_analysis.h"
#include "hex_test_files.h"

#include <gtest/gtest.h>

namespace {

using namespace testfiles;
using Outcome = HexFileAnalysis::Outcome;

struct Result {
    Outcome outcome;
    CUpgradeFile record;
    std::vector<int> percents;
    int listCallbacks = 0;
};

Result Analyse(const std::string& content) {
    TempFile file(content);
    sys::TextFile stream;
    Result result{Outcome::Continue, CUpgradeFile(file.Path()), {}, 0};
    if (!stream.Open(file.Path()))
        throw std::runtime_error("cannot open " + file.Path());
    HexFileAnalysis analysis(stream, result.record);
    analysis.onPercent = [&](int p) { result.percents.push_back(p); };
    analysis.onListComplete = [&](const fw::CStringArray&) { ++result.listCallbacks; };
    int steps = 0;
    do {
        result.outcome = analysis.NextStep();
    } while (result.outcome == Outcome::Continue && ++steps < 1000000);
    return result;
}

const std::string twoMonitors = ListBytes("12345678A01|12345678B02");

TEST(Analysis, SoundFileCountsRecordsAndReadsTheList) {
    auto lines = DataRecords(std::string(40, '\x11') + twoMonitors + std::string(30, '\x22'), 16);
    lines.push_back(endRecord);
    const auto r = Analyse(Lines(lines));
    EXPECT_EQ(r.outcome, Outcome::Sound);
    EXPECT_EQ(r.record.recordCount, lines.size());
    EXPECT_EQ(r.record.compatibleMonitors, (fw::CStringArray{"12345678A01", "12345678B02"}));
    EXPECT_EQ(r.listCallbacks, 1);
    ASSERT_FALSE(r.percents.empty());
    EXPECT_EQ(r.percents.back(), 100);
}

TEST(Analysis, FileEndsWithoutEndRecord) {
    EXPECT_EQ(Analyse("").outcome, Outcome::NoEndRecord);
    EXPECT_EQ(Analyse(Lines(DataRecords(twoMonitors, 16))).outcome, Outcome::NoEndRecord);
    // Ctrl-Z ends a text file early.
    auto lines = DataRecords(twoMonitors, 16);
    EXPECT_EQ(Analyse(Lines(lines) + "\x1A" + endRecord + "\n").outcome, Outcome::NoEndRecord);
}

TEST(Analysis, EndRecordBeforeTheListStopsTheReading) {
    auto lines = DataRecords("abc", 16);
    lines.push_back(endRecord);
    for (const auto& l : DataRecords(twoMonitors, 16))
        lines.push_back(l);
    const auto r = Analyse(Lines(lines));
    EXPECT_EQ(r.outcome, Outcome::NoList);
    EXPECT_EQ(r.record.recordCount, 2);
}

TEST(Analysis, LowerCaseEndRecordAndLinesWithoutColon) {
    std::vector<std::string> lines{"; a comment", "", "  :00000001FF"};
    for (const auto& l : DataRecords(twoMonitors, 16)) {
        lines.push_back(l);
        lines.push_back("text between records");
    }
    lines.push_back(":00000001ff");
    const auto r = Analyse(Lines(lines, "\r\n"));
    EXPECT_EQ(r.outcome, Outcome::Sound);
    EXPECT_EQ(r.record.recordCount, DataRecords(twoMonitors, 16).size() + 1);
}

TEST(Analysis, RecordLineLengthLimit) {
    // 121 data bytes make a 253-character line: accepted.
    auto lines = DataRecords(twoMonitors + std::string(121 - twoMonitors.size(), '\x55'), 121);
    ASSERT_EQ(lines[0].size(), 253u);
    lines.push_back(endRecord);
    EXPECT_EQ(Analyse(Lines(lines)).outcome, Outcome::Sound);
    // 122 data bytes (255 characters): the first 254 arrive alone, an odd count.
    auto longer = DataRecords(twoMonitors + std::string(122 - twoMonitors.size(), '\x55'), 122);
    longer.push_back(endRecord);
    EXPECT_EQ(Analyse(Lines(longer)).outcome, Outcome::BadRecord);
}

TEST(Analysis, EveryLineEndCountsEveryRecordAndNothingButTextIsRead) {
    auto lines = DataRecords(twoMonitors, 16);
    lines.push_back(endRecord);
    for (const char* end : {"\r", "\n\r", "\r\r\n"}) {
        const auto r = Analyse(Lines(lines, end));
        EXPECT_EQ(r.outcome, Outcome::Sound) << testing::PrintToString(end);
        EXPECT_EQ(r.record.recordCount, lines.size()) << testing::PrintToString(end);
    }
    EXPECT_EQ(Analyse("\xEF\xBB\xBF" + Lines(lines)).record.recordCount, lines.size());
    for (const std::string& damage :
         {std::string(40, '\0'), std::string("; \x1B[0m\n"), std::string("; \x7F\n")}) {
        EXPECT_EQ(
            Analyse(lines[0] + "\n" + damage + Lines({lines.begin() + 1, lines.end()})).outcome,
            Outcome::NotText)
            << testing::PrintToString(damage);
    }
    // Whatever follows the end record is never read.
    EXPECT_EQ(Analyse(Lines(lines) + std::string(8, '\0')).outcome, Outcome::Sound);
}

TEST(Analysis, DamagedRecords) {
    auto lines = DataRecords(twoMonitors, 16);
    lines.push_back(endRecord);
    auto badSum = lines;
    badSum[1].back() = badSum[1].back() == '0' ? '1' : '0';
    EXPECT_EQ(Analyse(Lines(badSum)).outcome, Outcome::BadRecord);
    auto odd = lines;
    odd[0] = ":000000000";
    EXPECT_EQ(Analyse(Lines(odd)).outcome, Outcome::BadRecord);
}

TEST(Analysis, TagSplitAcrossTwoRecords) {
    const std::string tag = "___LIST_COMP_HEX|";
    std::vector<std::string> lines{
        Record(0, 0, "xyz" + tag.substr(0, 10)),
        Record(16, 0, tag.substr(10) + "12345678A01|" + std::string(2, '\0')), endRecord};
    const auto r = Analyse(Lines(lines));
    EXPECT_EQ(r.outcome, Outcome::Sound);
    EXPECT_EQ(r.record.compatibleMonitors, (fw::CStringArray{"12345678A01"}));
}

TEST(Analysis, FourthUnderscoreHidesTheTag) {
    auto lines = DataRecords("_" + twoMonitors, 16);
    lines.push_back(endRecord);
    EXPECT_EQ(Analyse(Lines(lines)).outcome, Outcome::NoList);
}

TEST(Analysis, AddressRecordsInsideTheList) {
    const std::string head = "___LIST_COMP_HEX|12345678A01|";
    // Non-zero upper address: contributes nothing, the list goes on.
    std::vector<std::string> lines{Record(0, 0, head), Record(0, 4, std::string("\0\x01", 2)),
                                   Record(0, 0, std::string("12345678B02|\0\0", 14)), endRecord};
    auto r = Analyse(Lines(lines));
    EXPECT_EQ(r.outcome, Outcome::Sound);
    EXPECT_EQ(r.record.compatibleMonitors, (fw::CStringArray{"12345678A01", "12345678B02"}));
    // Both data bytes zero: read as "||", the list ends there.
    lines[1] = Record(0, 2, std::string(2, '\0'));
    r = Analyse(Lines(lines));
    EXPECT_EQ(r.outcome, Outcome::Sound);
    EXPECT_EQ(r.record.compatibleMonitors, (fw::CStringArray{"12345678A01"}));
}

TEST(Analysis, MalformedLists) {
    for (const std::string refs : {"", "1234567AB01", "12345678a01", "12345678A01|BAD"}) {
        auto lines = DataRecords(ListBytes(refs), 16);
        lines.push_back(endRecord);
        EXPECT_EQ(Analyse(Lines(lines)).outcome, Outcome::BadList) << refs;
    }
    // A list never closed before the end record: no monitor.
    auto open = DataRecords("___LIST_COMP_HEX|12345678A01|", 16);
    open.push_back(endRecord);
    EXPECT_EQ(Analyse(Lines(open)).outcome, Outcome::NoList);
}

TEST(Analysis, ProgressReachesTheFileSizeWithEitherLineEnd) {
    auto lines = DataRecords(twoMonitors + std::string(3000, '\x42'), 32);
    lines.push_back(endRecord);
    for (const char* end : {"\n", "\r\n"}) {
        const auto r = Analyse(Lines(lines, end));
        ASSERT_EQ(r.outcome, Outcome::Sound);
        EXPECT_EQ(r.percents.back(), 100) << "line end " << (end[0] == '\r' ? "CR LF" : "LF");
        for (size_t i = 1; i < r.percents.size(); ++i)
            EXPECT_GT(r.percents[i], r.percents[i - 1]) << "only changes are reported";
    }
}

} // namespace

namespace {

TEST(Analysis, ListTerminatorStraddlingTwoRecords) {
    // The separator after the last reference ends one record, the zero byte opens the next.
    std::vector<std::string> lines{Record(0, 0, "___LIST_COMP_HEX|12345678A01|"),
                                   Record(0, 4, std::string("\0\x01", 2)),
                                   Record(32, 0, std::string("\0\0\0", 3)), endRecord};
    const auto r = Analyse(Lines(lines));
    EXPECT_EQ(r.outcome, Outcome::Sound);
    EXPECT_EQ(r.record.compatibleMonitors, (fw::CStringArray{"12345678A01"}));
    // One data byte per record: every separator straddles.
    auto single = DataRecords(ListBytes("12345678A01|87654321Z99"), 1);
    single.push_back(endRecord);
    EXPECT_EQ(Analyse(Lines(single)).record.compatibleMonitors,
              (fw::CStringArray{"12345678A01", "87654321Z99"}));
}

} // namespace
