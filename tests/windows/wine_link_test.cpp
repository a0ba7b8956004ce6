// The Win32 serial backend under Wine, against the simulator whose pseudo-terminal Wine maps
// as COM5: the identification exchange as the program makes it.
#include "app/upgrade_app.h"
#include "sys/timer.h"

#include <gtest/gtest.h>

#include <windows.h>

namespace {

constexpr int simulatedPort = 5;
constexpr int heldPort = 6; // answers once, then XOFF for good

class WineLink : public ::testing::Test {
  protected:
    void SetUp() override {
        app.language = 1;
        app.readyWaitCount = 5;
    }
    CUpgradeApp app;
    CQelComm link{nullptr, app};
};

TEST_F(WineLink, IdentifiesTheSimulatedInstrument) {
    app.commandLineLink = {simulatedPort, 8, 1, 0, 2, 2};
    std::string answer;
    ASSERT_EQ(link.OpenAndIdentify(answer), 1);
    EXPECT_EQ(answer, "0,12345678A01,0,12345678B02\n");
    EXPECT_TRUE(link.IsOpen());
    EXPECT_EQ(link.OpenAndIdentify(answer), 5);
    EXPECT_EQ(link.ClosePort(), 0);
    EXPECT_EQ(link.ClosePort(), 1);
}

TEST_F(WineLink, TheTimerTicksFinelyWhileThePortIsOpen) {
    link.settings = {simulatedPort, 8, 1, 0, 2, 2};
    EXPECT_EQ(sys::FineTimerRequests(), 0);
    ASSERT_EQ(link.OpenPort(), 0u);
    EXPECT_EQ(sys::FineTimerRequests(), 1) << "timeBeginPeriod(1) for the transfer";
    link.ClosePort();
    EXPECT_EQ(sys::FineTimerRequests(), 0) << "timeEndPeriod(1) after it";
}

TEST_F(WineLink, EachSettingOpensThePort) {
    for (int baud : {0, 4, 8, 9, -1})
        for (int parity : {0, 1, 2, 3})
            for (int handshake : {0, 1, 2}) {
                link.settings = {simulatedPort, baud, parity % 2, handshake % 2, parity, handshake};
                EXPECT_EQ(link.OpenPort(), 0u) << baud << "/" << parity << "/" << handshake;
                link.ClosePort();
            }
}

TEST_F(WineLink, AbsentPortGivesTheSystemCodeAndText) {
    link.settings.port = 9;
    const DWORD error = link.OpenPort();
    EXPECT_NE(error, 0u);
    EXPECT_FALSE(link.IsOpen());
    EXPECT_FALSE(CQelComm::SystemErrorText(error).empty()) << error;
    link.settings.port = 0;
    EXPECT_NE(link.OpenPort(), 0u);
}

TEST_F(WineLink, AnswersAndSilence) {
    link.settings = {simulatedPort, 8, 1, 0, 2, 2};
    ASSERT_EQ(link.OpenPort(), 0u);
    std::string answer;
    EXPECT_EQ(link.SendLine("QEL?", true), 0);
    EXPECT_EQ(link.ReadAnswer(answer, 255, 3), 0);
    EXPECT_EQ(answer, "0,12345678A01,0,12345678B02\n");
    EXPECT_EQ(link.ReadAnswer(answer, 255, 1), 16) << "nothing more was sent";
    link.ClosePort();
}

TEST_F(WineLink, AWriteThatFlowControlHoldsFailsInBoundedTime) {
    link.settings = {heldPort, 8, 1, 0, 2, 0}; // Xon/Xoff
    ASSERT_EQ(link.OpenPort(), 0u);
    std::string command = "QEL?", answer;
    ASSERT_EQ(link.SendLine(command, false), 0);
    ASSERT_EQ(link.ReadAnswer(answer, 255, 3), 0);
    const DWORD start = GetTickCount();
    command = "MODEQEL0";
    EXPECT_EQ(link.SendLine(command, true), -1);
    const DWORD elapsed = GetTickCount() - start;
    EXPECT_GE(elapsed, 9000u) << "the write time-out, then the output-queue wait";
    EXPECT_EQ(link.LastWriteError(), static_cast<DWORD>(ERROR_TIMEOUT));
    link.ClosePort();
}

} // namespace
