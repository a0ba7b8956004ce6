// The link's own rules on a port scripted on a virtual clock: tests/fuzz/scripted_serial.cpp
// stands in for the serial backend and its clock, so that no simulator is needed and every
// wait moves the clock.
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
        monitor.Reset();
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
    EXPECT_EQ(link.SendLine(":00000001FF", true), -1);
    EXPECT_EQ(link.LastWriteError(), static_cast<DWORD>(ETIMEDOUT));
    EXPECT_TRUE(monitor.heldOutput.empty()) << "purged";
    monitor.outputHeld = false;
    EXPECT_EQ(link.SendLine("QEL?", false), 0);
    EXPECT_EQ(monitor.Lines(), std::vector<std::string>{"QEL?"});
}

// The pause before each line is that many character times of the line's format, on the clock
// of every other wait.
TEST_F(LinkRules, ThePauseIsThatManyCharacterTimes) {
    const std::pair<unsigned, long> cases[] = {{0, 0}, {5, 83}, {255, 4250}};
    for (const auto& [count, pauseMs] : cases) {
        monitor.Reset();
        monitor.baud = 600;
        link.ClosePort();
        ASSERT_EQ(link.OpenPort(), 0u);
        app.readyWaitCount = static_cast<std::uint8_t>(count);
        ASSERT_EQ(link.SendLine("A", true), 0);
        ASSERT_EQ(link.SendLine("B", true), 0);
        const auto& lines = monitor.received;
        ASSERT_EQ(lines.size(), 2u);
        // Two bytes of wire time (33.3 ms) between the first line's start and the pause.
        EXPECT_EQ((lines[1].leftAt - lines[0].leftAt) / 1000, pauseMs + 33) << count;
    }
}

// Each read of the identification waits 5 s: an answer 4.9 s after the attempt's second
// question identifies the instrument; 5.1 s after it, the next attempt asks again.
TEST_F(LinkRules, EachIdentificationReadWaitsFiveSeconds) {
    for (const auto& [delayMs, questions] : {std::pair{4900.0, 2u}, std::pair{5100.0, 4u}}) {
        link.ClosePort();
        monitor.Reset();
        monitor.rule = [delayMs = delayMs, this](const std::string& line, int copy) {
            if (line != "QEL?" || copy == 1)
                return std::vector<scripted::Reply>{};
            return std::vector<scripted::Reply>{
                {monitor.Identification(), copy == 2 ? delayMs : 0.0}};
        };
        app.commandLineLink = {1, 4, 1, 0, 2, 2};
        std::string answer;
        EXPECT_EQ(link.OpenAndIdentify(answer), CQelComm::identified) << delayMs;
        EXPECT_EQ(monitor.received.size(), questions) << delayMs << " ms";
    }
}

// The link moves bytes and judges none: an answer that arrives before a line is written stays
// to be read whole, and only the bytes its caller names are ever dropped.
TEST_F(LinkRules, NothingTheInstrumentSentIsDroppedByTheLink) {
    monitor.rule = [](const std::string&, int) { return std::vector<scripted::Reply>{}; };
    Arrive(std::string("NACK\n\r", 6));
    app.readyWaitCount = 5;
    monitor.baud = 9600;
    ASSERT_EQ(link.SendLine(":00000001FF", true), 0);
    EXPECT_EQ(link.PendingInput(), std::string("NACK\n\r", 6));
    link.DropInput(0);
    std::string answer;
    ASSERT_EQ(link.ReadAnswer(answer, 255, 3), 0);
    EXPECT_EQ(answer, "NACK\n");
    EXPECT_EQ(link.PendingInput(), "\r");
    link.DropInput(1);
    EXPECT_EQ(link.PendingInput(), "");
    EXPECT_EQ(link.ReadAnswer(answer, 255, 1), 16) << "nothing left: no answer";
}

} // namespace
