#include "files/record_check.h"
#include "hex_test_files.h"

#include <gtest/gtest.h>

namespace {

using testfiles::Record;

TEST(CheckHexRecord, ChecksumLengthAndColon) {
    EXPECT_TRUE(CheckHexRecord(":00000001FF", nullptr));
    EXPECT_TRUE(CheckHexRecord(":00000001ff", nullptr));
    EXPECT_TRUE(CheckHexRecord(Record(0x1234, 0, "AB"), nullptr));
    EXPECT_FALSE(CheckHexRecord(":00000001FE", nullptr)) << "sum not 0";
    EXPECT_FALSE(CheckHexRecord(":000000001", nullptr)) << "9 characters";
    EXPECT_FALSE(CheckHexRecord(":0000000100F", nullptr)) << "11 characters";
    EXPECT_FALSE(CheckHexRecord("00000001FF", nullptr)) << "no colon";
    EXPECT_FALSE(CheckHexRecord("", nullptr));
    EXPECT_FALSE(CheckHexRecord(":", nullptr));
}

TEST(CheckHexRecord, LineEndIsNotPartOfTheRecord) {
    EXPECT_TRUE(CheckHexRecord(":00000001FF\r\n", nullptr));
    EXPECT_TRUE(CheckHexRecord(":00000001FF\n", nullptr));
    EXPECT_TRUE(CheckHexRecord(":00000001FF\rjunk\n", nullptr));
}

TEST(CheckHexRecord, EveryPairIsTwoHexDigitsAndTheCountMatchesTheData) {
    // Each sums to 0 if a non-digit reads as 0 ("1G" as 0x10), a pair with one as its digit's
    // value ("1G" as 0x01), or a pair the reader gives up on as -1, that is 0xFF: only the
    // digits' check can refuse them.
    EXPECT_FALSE(CheckHexRecord(":01000000G1FE", nullptr)) << "G1";
    EXPECT_FALSE(CheckHexRecord(":01000000G100", nullptr)) << "G1 as 0xFF";
    EXPECT_FALSE(CheckHexRecord(":010000001GEF", nullptr)) << "1G as 0x10";
    EXPECT_FALSE(CheckHexRecord(":010000001GFE", nullptr)) << "1G as 0x01";
    EXPECT_FALSE(CheckHexRecord(":0100000 01FE", nullptr)) << "blank";
    EXPECT_FALSE(CheckHexRecord(":00000-01FF", nullptr)) << "sign";
    // Count 02 with one data byte, and count 00 with one: the sums are still 0.
    EXPECT_FALSE(CheckHexRecord(":0200000041BD", nullptr));
    EXPECT_FALSE(CheckHexRecord(":0000000041BF", nullptr));
    // The record type is still not checked.
    EXPECT_TRUE(CheckHexRecord(Record(0, 0x7E, "xy"), nullptr));
}

TEST(CheckHexRecord, DataBytesOfAValidRecordAreAppendedZeroAsBar) {
    std::string data = "x";
    EXPECT_TRUE(CheckHexRecord(":00000001FF", &data));
    EXPECT_EQ(data, "x");
    EXPECT_TRUE(CheckHexRecord(Record(0, 0, std::string("A\0B", 3)), &data));
    EXPECT_EQ(data, "xA|B");
    std::string bad;
    EXPECT_FALSE(CheckHexRecord(":0300000041004200", &bad));
    EXPECT_EQ(bad, "");
}

TEST(MonitorReference, Syntax) {
    EXPECT_TRUE(IsValidMonitorReference("12345678A01"));
    EXPECT_TRUE(IsValidMonitorReference("00000000Z99"));
    const char* bad[] = {"1234567AB01", "12345678a01", "12345678A0", "12345678A012",
                         "12345678-01", "1234567 A01", "12345678É1", ""};
    for (const char* reference : bad)
        EXPECT_FALSE(IsValidMonitorReference(reference)) << reference;
    EXPECT_FALSE(IsValidMonitorReference(std::string("12345678\xC1"
                                                     "01")));
}

class MonitorList : public ::testing::Test {
  protected:
    fw::CStringArray monitors;
    std::vector<std::uint8_t> codes;
};

TEST_F(MonitorList, PairsOfStateCodeAndReference) {
    EXPECT_TRUE(ParseMonitorList("1,12345678A01,0,12345678B02\n", &monitors, &codes));
    EXPECT_EQ(monitors, (fw::CStringArray{"12345678A01", "12345678B02"}));
    EXPECT_EQ(codes, (std::vector<std::uint8_t>{1, 0}));
}

TEST_F(MonitorList, BlanksCaseAndSecondLine) {
    EXPECT_TRUE(ParseMonitorList(" 1, 12345678a01\n2,99999999Z99\n", &monitors, &codes));
    EXPECT_EQ(monitors, (fw::CStringArray{"12345678A01"}));
    EXPECT_EQ(codes, (std::vector<std::uint8_t>{1}));
}

TEST_F(MonitorList, StateCodeKeepsItsLowBits) {
    EXPECT_TRUE(ParseMonitorList("300,12345678A01", &monitors, &codes));
    EXPECT_EQ(codes, (std::vector<std::uint8_t>{44}));
    EXPECT_TRUE(ParseMonitorList("x,12345678A01", &monitors, &codes));
    EXPECT_EQ(codes, (std::vector<std::uint8_t>{0}));
}

TEST_F(MonitorList, Rejections) {
    EXPECT_FALSE(ParseMonitorList("12345678A01\n", &monitors, &codes)) << "no comma";
    EXPECT_TRUE(monitors.empty());
    EXPECT_FALSE(ParseMonitorList("1,12345678A01\r\n", &monitors, &codes)) << "CR stays";
    EXPECT_FALSE(ParseMonitorList("", &monitors, nullptr));
    EXPECT_FALSE(ParseMonitorList("1,12345678A01", nullptr, nullptr));
    // Those read before a malformed reference stay.
    EXPECT_FALSE(ParseMonitorList("1,12345678A01,1,BAD,1,12345678B02", &monitors, &codes));
    EXPECT_EQ(monitors, (fw::CStringArray{"12345678A01"}));
    // A trailing comma ends the answer; a trailing state code without reference is ignored.
    EXPECT_TRUE(ParseMonitorList("1,12345678A01,", &monitors, &codes));
    EXPECT_TRUE(ParseMonitorList("1,12345678A01,7", &monitors, &codes));
    EXPECT_EQ(monitors.size(), 1u);
    // A state code followed by a comma and nothing: an empty, malformed reference.
    EXPECT_FALSE(ParseMonitorList("1,12345678A01,7,", &monitors, &codes));
}

TEST_F(MonitorList, StateCodesAreOptionalAndArraysAreReplaced) {
    monitors = {"old"};
    EXPECT_TRUE(ParseMonitorList("5,12345678A01", &monitors, nullptr));
    EXPECT_EQ(monitors, (fw::CStringArray{"12345678A01"}));
}

} // namespace
