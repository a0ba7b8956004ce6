// The link's own rules on a port scripted on a virtual clock: tests/fuzz/scripted_serial.cpp
// stands in for the serial backend, so that no simulator is needed and a read waits by moving
// the clock.
#include "../fuzz/scripted_instrument.h"
#include "app/upgrade_app.h"

#include <gtest/gtest.h>

#include <cerrno>

namespace {

class LinkRules : public ::testing::Test {
  protected:
    void SetUp() override {
        app.language = 1;
        app.readyWaitCount = 0;
        monitor.Reset(nullptr, 0);
        ASSERT_EQ(link.OpenPort(), 0u);
    }
    // Bytes that have arrived from the instrument by now.
    void Arrive(const std::string& bytes) {
        for (char c : bytes)
            monitor.toPc.emplace_back(monitor.now, c);
    }
    CUpgradeApp app;
    CQelComm link{nullptr, app};
    scripted::Instrument& monitor = scripted::TheInstrument();
};

// A line the port took but could not send within the drain wait (9 to 10 s of the link's own
// timer) has not been sent: it fails with the time-out, and nothing of it leaves later.
TEST_F(LinkRules, ALineStillQueuedWhenTheDrainWaitEndsIsNotSent) {
    monitor.outputHeld = true;
    std::string line = ":00000001FF";
    EXPECT_EQ(link.SendLine(line, true), -1);
    EXPECT_EQ(link.LastWriteError(), static_cast<DWORD>(ETIMEDOUT));
    EXPECT_TRUE(monitor.heldOutput.empty()) << "purged";
    monitor.outputHeld = false;
    std::string question = "QEL?";
    EXPECT_EQ(link.SendLine(question, false), 0);
    EXPECT_EQ(monitor.received, std::vector<std::string>{"QEL?"});
}

// What follows an answer's line feed and holds only line ends, blanks or zeros is no input; an
// answer that follows them is.
TEST_F(LinkRules, LineEndsLeftAfterAnAnswerAreNoInput) {
    Arrive(std::string("OK\n\r \0\n", 7));
    std::string answer;
    ASSERT_EQ(link.ReadAnswer(answer, 255, 3), 0);
    EXPECT_EQ(answer, "OK\n");
    EXPECT_FALSE(link.InputPending());
    Arrive("\rNACK\n");
    EXPECT_TRUE(link.InputPending());
}

} // namespace
