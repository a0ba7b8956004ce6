#include "app/command_line.h"

#include <gtest/gtest.h>

namespace {

CommandLineValues Parse(const std::string& text) {
    CommandLineValues values;
    ParseCommandLine(text, values);
    return values;
}

void ExpectLink(const LinkSettings& link, int port, int baud, int eight, int two, int parity,
                int handshake) {
    EXPECT_EQ(link.port, port);
    EXPECT_EQ(link.baudIndex, baud);
    EXPECT_EQ(link.eightDataBits, eight);
    EXPECT_EQ(link.twoStopBits, two);
    EXPECT_EQ(link.parity, parity);
    EXPECT_EQ(link.handshake, handshake);
}

TEST(CommandLine, TextWithoutADashIsNoOption) {
    const auto v = Parse("hello world le c2 h");
    EXPECT_EQ(v.languageOption, -1);
    EXPECT_EQ(v.givenFileName, "");
    EXPECT_EQ(v.commandLineLink.port, 0);
    EXPECT_EQ(v.readyWaitCount, 5u);
}

TEST(CommandLine, CapitalsBehaveAsLowerCase) {
    const auto v = Parse("-LE -C2,19200,8,1,N,H");
    EXPECT_EQ(v.languageOption, 1);
    ExpectLink(v.commandLineLink, 2, 5, 1, 0, 2, 1);
}

TEST(CommandLine, FlagsAndLanguage) {
    const auto v = Parse("-d -f -r -s -lf");
    EXPECT_EQ(v.traceMode, 1);
    EXPECT_EQ(v.forceByPosition, 1);
    EXPECT_EQ(v.repeatRun, 1);
    EXPECT_EQ(v.selectionMode, 1);
    EXPECT_EQ(v.languageOption, 0);
    // Any letter but 'f', or nothing, is English; a later option overrides an earlier one.
    EXPECT_EQ(Parse("-lx").languageOption, 1);
    EXPECT_EQ(Parse("-l").languageOption, 1);
    EXPECT_EQ(Parse("-lf -le").languageOption, 1);
    EXPECT_EQ(Parse("-l f").languageOption, 1); // the blank is the character after 'l'
}

TEST(CommandLine, UnknownLettersAndStrayTextAreSkipped) {
    const auto v = Parse("junk -x -q42 -1 -- -r");
    EXPECT_EQ(v.repeatRun, 1);
    EXPECT_EQ(v.languageOption, -1);
    // A lone '-' at the end stops the scan.
    EXPECT_EQ(Parse("-").repeatRun, 0);
}

TEST(CommandLine, CompleteLinkFields) {
    ExpectLink(Parse("-c1,600,7,2,e,s").commandLineLink, 1, 0, 0, 1, 0, 0);
    ExpectLink(Parse("-c3,1200,8,1,o,h").commandLineLink, 3, 1, 1, 0, 1, 1);
    ExpectLink(Parse("-c8,115200,8,1,i,n").commandLineLink, 8, 8, 1, 0, 3, 2);
    ExpectLink(Parse("-c12,57600,x,x,x,x").commandLineLink, 12, 7, 1, 0, 2, 2);
}

TEST(CommandLine, BaudRatesMapToIndexes) {
    const std::pair<const char*, int> table[] = {
        {"600", 0},   {"1200", 1},  {"2400", 2},   {"4800", 3}, {"9600", 4}, {"19200", 5},
        {"38400", 6}, {"57600", 7}, {"115200", 8}, {"2000", 4}, {"abc", 4},  {"  4800", 3},
    };
    for (const auto& [rate, index] : table)
        EXPECT_EQ(Parse(std::string("-c1,") + rate + ",8,1,n,n").commandLineLink.baudIndex, index)
            << rate;
}

TEST(CommandLine, FiveFieldsHaveNoEffect) {
    EXPECT_EQ(Parse("-c1,9600,8,1,n").commandLineLink.port, 0);
    EXPECT_EQ(Parse("-c1").commandLineLink.port, 0);
}

TEST(CommandLine, BlanksAfterCommasOnlyHelpTheRate) {
    ExpectLink(Parse("-c1, 9600, 7, 2, e, s").commandLineLink, 1, 4, 1, 0, 2, 2);
}

TEST(CommandLine, PortZeroLeavesTheOptionWithoutEffect) {
    EXPECT_EQ(Parse("-c0,9600,8,1,n,n").commandLineLink.port, 0);
}

TEST(CommandLine, LaterIncompleteLinkOptionResetsThePort) {
    EXPECT_EQ(Parse("-c2,9600,8,1,n,n -c3,9600").commandLineLink.port, 0);
}

TEST(CommandLine, PacingCount) {
    EXPECT_EQ(Parse("-w0").readyWaitCount, 0);
    EXPECT_EQ(Parse("-w300").readyWaitCount, 44);
    EXPECT_EQ(Parse("-wabc").readyWaitCount, 0);
    EXPECT_EQ(Parse("-w 12").readyWaitCount, 12);
    EXPECT_EQ(Parse("-w").readyWaitCount, 0);
    EXPECT_EQ(Parse("-w99999999999").readyWaitCount, 255); // saturates like the run-time
}

TEST(CommandLine, GivenFileName) {
    EXPECT_EQ(Parse("-hUPDATE.HEX").givenFileName, "update.hex");
    // The value runs to the next '-' and keeps its blanks.
    EXPECT_EQ(Parse("-hFile.hex -le").givenFileName, "file.hex ");
    // A '-' inside the name cuts it and starts a new option.
    const auto v = Parse("-hmy-file.hex");
    EXPECT_EQ(v.givenFileName, "my");
    EXPECT_EQ(v.forceByPosition, 1);
    // A blank and another option: the value is a single blank.
    const auto w = Parse("-h -le");
    EXPECT_EQ(w.givenFileName, " ");
    EXPECT_EQ(w.languageOption, 1);
    // Empty value: the welcome dialog stays in use.
    EXPECT_EQ(Parse("-h").givenFileName, "");
}

TEST(CommandLine, AccentedNamesAreLowerCasedWhole) {
    EXPECT_EQ(Parse("-hMISE_À_JOUR.HEX").givenFileName, "mise_à_jour.hex");
}

} // namespace

// A command's arguments: a value may be the next argument, taken whole; a file name keeps its
// case, for a disk that tells case apart.
TEST(CommandLine, ArgumentsTakeAValueFromTheNextOneWhole) {
    using Args = std::vector<std::string>;
    const auto parse = [](const Args& arguments) {
        CommandLineValues values;
        ParseArguments(arguments, values);
        return values;
    };
    EXPECT_EQ(parse({"-h", "fw.hex"}).givenFileName, "fw.hex");
    EXPECT_EQ(parse({"-h", "Instrument-v2.hex"}).givenFileName, "Instrument-v2.hex");
    EXPECT_EQ(parse({"-H", "release-2/FW.HEX"}).givenFileName, "release-2/FW.HEX");
    EXPECT_EQ(parse({"-hFW.HEX"}).givenFileName, "FW.HEX");
    const auto link = parse({"-c", "5,9600,8,1,n,n", "-W", "20", "-l", "e"});
    EXPECT_EQ(link.commandLineLink.port, 5);
    EXPECT_EQ(link.readyWaitCount, 20);
    EXPECT_EQ(link.languageOption, 1);
    // A letter that takes no value, or a next argument that is an option, keeps its own.
    const auto mixed = parse({"-s", "x", "-h", "-d", "-w", "-h", "f"});
    EXPECT_EQ(mixed.selectionMode, 1);
    EXPECT_EQ(mixed.traceMode, 1);
    EXPECT_EQ(mixed.readyWaitCount, 0);
    EXPECT_EQ(mixed.givenFileName, "f");
    // A name with blanks stays whole, and nothing more.
    const auto blanks = parse({"-h", "my file.hex", "-s"});
    EXPECT_EQ(blanks.givenFileName, "my file.hex");
    EXPECT_EQ(blanks.selectionMode, 1);
    // Written the Windows way, the options are read as Windows reads them.
    const auto windows = parse({"-le", "-c5,9600,8,1,n,n", "-hfw.hex"});
    EXPECT_EQ(windows.languageOption, 1);
    EXPECT_EQ(windows.commandLineLink.port, 5);
    EXPECT_EQ(windows.givenFileName, "fw.hex");
    EXPECT_EQ(parse({}).givenFileName, "");
}
