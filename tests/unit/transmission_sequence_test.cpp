// The rules of the transmission sequence, driven through the program's own link against a
// monitor scripted on a virtual clock (tests/fuzz/scripted_serial.cpp in place of the serial
// backend): what goes on the wire, how answers are judged and paired with what they answer,
// the time limits, the attempts, the end record, the pause, the file checks.
#include "../fuzz/scripted_instrument.h"
#include "app/upgrade_app.h"
#include "files/hex_analysis.h"
#include "hex_test_files.h"
#include "protocol/link_exchange.h"

#include <gtest/gtest.h>

#include <optional>

namespace {

using namespace testfiles;
using res::Msg;
using scripted::Instrument;
using scripted::Reply;
using Kind = TransmissionSequence::Result::Kind;
using Step = TransmissionSequence::Step;

struct Outcome {
    bool upgraded = false;
    res::Failure failure; // the box of a failure
    bool retry = false;   // OK in it starts the run again
    std::uint32_t progress = 0;
};

class Sequence : public ::testing::Test {
  protected:
    void SetUp() override {
        monitor.Reset();
        app.language = 1;
        app.readyWaitCount = 0;
        ASSERT_EQ(link.OpenPort(), 0u);
    }
    // The file analysed as the program analyses it, then sent to the monitor to the end.
    Outcome Send(const std::string& text) {
        file_ = std::make_unique<TempFile>(text, "firmware.hex");
        record_ = CUpgradeFile(file_->Path());
        sys::TextFile analysed;
        if (!analysed.Open(file_->Path()))
            throw std::runtime_error("cannot open " + file_->Path());
        HexFileAnalysis analysis(analysed, record_);
        while (analysis.NextStep() == HexFileAnalysis::Outcome::Continue) {
        }
        record_.monitorReference = monitorA;
        return SendAnalysed();
    }
    // The record as it stands (count and digest as a test left them), to the end.
    Outcome SendAnalysed() {
        sys::TextFile stream;
        if (!stream.Open(file_->Path()))
            throw std::runtime_error("cannot open " + file_->Path());
        LinkExchangePort port(link);
        TransmissionSequence sequence(port, stream, record_, 0);
        Outcome outcome;
        std::optional<Step> step = Step::Check;
        for (int calls = 0; step && calls < 10000; ++calls) {
            TransmissionSequence::Result result;
            switch (*step) {
            case Step::Check: result = sequence.Check(); break;
            case Step::Mode: result = sequence.Mode(); break;
            case Step::Verify: result = sequence.Verify(); break;
            case Step::Line: result = sequence.Line(); break;
            case Step::Exit: result = sequence.Exit(); break;
            }
            outcome.progress = sequence.Progress();
            if (result.kind == Kind::Failed) {
                outcome.failure = result.failure;
                outcome.retry = result.retry;
                return outcome;
            }
            if (result.kind != Kind::Skipped)
                step = result.next;
        }
        outcome.upgraded = !step;
        return outcome;
    }
    // The n-th copy of one line (or command) answered its own way, everything else soundly.
    void Answer(const std::string& line, std::map<int, std::vector<Reply>> copies) {
        monitor.rule = [this, line, copies](const std::string& received, int copy) {
            if (received == line && copies.count(copy) != 0)
                return copies.at(copy);
            return monitor.Sound(received);
        };
    }
    // A fresh monitor and link, as for another run.
    void Again() {
        link.ClosePort();
        monitor.Reset();
        ASSERT_EQ(link.OpenPort(), 0u);
    }

    CUpgradeApp app;
    CQelComm link{nullptr, app};
    scripted::Instrument& monitor = scripted::TheInstrument();
    Firmware fw{monitorA};
    std::string r1 = fw.records[1] + "\n"; // the first data record, as it goes on the wire
    std::string r2 = fw.records[2] + "\n";
    std::unique_ptr<TempFile> file_;
    CUpgradeFile record_;
};

const std::string head = "MODEQEL0\nQEL?\n";
const std::string end = endRecord + "\n";
// The question that shows every record's answers in, then the exit command.
const std::string tail = "QEL?\nEXITQEL\n";

TEST_F(Sequence, AFileGoesOutAsModeQuestionRecordsQuestionAndExit) {
    const auto outcome = Send(fw.File());
    EXPECT_TRUE(outcome.upgraded);
    EXPECT_EQ(monitor.Wire(), head + fw.Wire() + tail);
    EXPECT_EQ(outcome.progress, fw.records.size());
}

// Pinned to the millisecond: an answer at its limit counts, one a millisecond later does not
// (the text then goes again).
TEST_F(Sequence, TheVerificationAndEachLineHaveThreeSecondsTheExitCommandOne) {
    const std::pair<std::string, long> limits[] = {
        {"QEL?", 3000}, {fw.records[2], 3000}, {"EXITQEL", 1000}};
    for (const auto& [text, limitMs] : limits) {
        for (const long delay : {limitMs - 1, limitMs, limitMs + 1}) {
            Again();
            const std::string answer = text == "QEL?" ? "1,12345678A01\n" : "OK\n";
            Answer(text, {{1, {{answer, static_cast<double>(delay)}}}});
            EXPECT_TRUE(Send(fw.File()).upgraded) << text << " " << delay;
            // A text answered late goes again; the identification that answers the second
            // question comes while the first record waits and is never taken for its answer.
            const long endQuestion = text == "QEL?" ? 1 : 0;
            EXPECT_EQ(monitor.Copies(text), (delay <= limitMs ? 1 : 2) + endQuestion)
                << text << " " << delay;
        }
    }
}

TEST_F(Sequence, EachStepHasThreeAttemptsAndTheBoxNamesWhatFailed) {
    struct Case {
        const char* what;
        std::string line;
        std::vector<Reply> answer;
        Msg message;
        std::string subject;
        Msg reason;
    };
    const Case cases[] = {
        {"a refused line",
         fw.records[1],
         {{"NACK\n"}},
         Msg::CannotSendLine,
         fw.records[1],
         Msg::LineRefused},
        {"a silent line", fw.records[1], {}, Msg::CannotSendLine, fw.records[1], Msg::NoAnswer},
        {"a refused exit",
         "EXITQEL",
         {{"NACK\n"}},
         Msg::CannotSendCommand,
         "EXITQEL",
         Msg::CommandRefused},
        {"a monitor out of upgrade mode",
         "QEL?",
         {{"0,12345678A01\n"}},
         Msg::CannotSendCommand,
         "QEL?",
         Msg::ModeNotSet},
        {"another instrument on the cable",
         "QEL?",
         {{"1,11112222C33\n"}},
         Msg::CannotSendCommand,
         "QEL?",
         Msg::ModeNotSet},
    };
    for (const auto& c : cases) {
        Again();
        Answer(c.line, {{1, c.answer}, {2, c.answer}, {3, c.answer}});
        const auto failed = Send(fw.File());
        EXPECT_FALSE(failed.upgraded) << c.what;
        EXPECT_TRUE(failed.retry) << c.what;
        EXPECT_EQ(failed.failure.message, c.message) << c.what;
        EXPECT_EQ(failed.failure.subject, c.subject) << c.what;
        EXPECT_EQ(failed.failure.reason, c.reason) << c.what;
        EXPECT_EQ(failed.failure.ending, res::Ending::LinkCheck) << c.what;
        EXPECT_EQ(monitor.Copies(c.line), 3) << c.what;
        // The third attempt succeeds: the sequence goes on.
        Again();
        Answer(c.line, {{1, c.answer}, {2, c.answer}});
        EXPECT_TRUE(Send(fw.File()).upgraded) << c.what;
    }
    // A file for another monitor never reaches the records, whatever its state code says.
    Again();
    monitor.monitors = {"11112222C33"};
    EXPECT_FALSE(Send(fw.File()).upgraded);
    EXPECT_EQ(monitor.Wire(), "MODEQEL0\nQEL?\nQEL?\nQEL?\n");
    // A write that fails three times: the system's reason, no catalogue reason.
    Again();
    monitor.failingWrites = {1, 2, 3};
    const auto failed = Send(fw.File());
    EXPECT_EQ(failed.failure.message, Msg::CannotSendCommand);
    EXPECT_EQ(failed.failure.subject, "MODEQEL0");
    EXPECT_EQ(failed.failure.reason, Msg::None);
    EXPECT_EQ(failed.failure.systemText, "Input/output error");
}

TEST_F(Sequence, AnAnswerIsJudgedWithoutRegardToCaseAndNackWins) {
    const std::pair<std::string, bool> answers[] = {
        {"ok\n", true}, {"done, Ok\n", true}, {"OK NACK\n", false}, {"\n", false}, {"?#\n", false}};
    for (const auto& [text, accepted] : answers) {
        Again();
        Answer(fw.records[1], {{1, {{text}}}});
        EXPECT_TRUE(Send(fw.File()).upgraded);
        EXPECT_EQ(monitor.Copies(fw.records[1]), accepted ? 1 : 2) << testing::PrintToString(text);
    }
}

// Before a text leaves, what may still be answered is read: the answers that came, and, while a
// text other than the one leaving is owed an answer or an answer came that none was owed, a
// question read through to its identification. A record some pairing of what was read refuses
// goes again, after the address record it needs.
TEST_F(Sequence, WhatMayStillBeAnsweredIsReadBeforeTheNextText) {
    const Firmware lower(monitorA, true);
    const std::string r0 = fw.records[0] + "\n", lowerEnd = ":00000001ff";
    const std::string r4 = fw.records[fw.records.size() - 2] + "\n";
    const std::string all = head + fw.Wire();
    struct Case {
        const char* what;
        Instrument::Rule rule;
        bool slowWire;      // a pause of 255 ms before each text
        std::string wire;   // the wire, or a part of it
        std::string failed; // the line the failure's box names, if any
        const Firmware* file = nullptr;
    };
    const auto copies = [this](const std::string& line, std::map<int, std::vector<Reply>> by) {
        return [this, line, by](const std::string& received, int copy) {
            return received == line && by.count(copy) != 0 ? by.at(copy) : monitor.Sound(received);
        };
    };
    const std::vector<Reply> lateNack{{"NACK\n", 3100}};
    const Case cases[] = {
        {"answered after its limit: the second copy's answer is there when the next is due",
         copies(fw.records[1], {{1, {{"OK\n", 3500}}}}), false, r1 + r1 + r2, ""},
        {"an answer nobody asked for after an acceptance",
         copies(fw.records[1], {{1, {{"OK\n"}, {"READY\n"}}}}), false, r1 + "QEL?\n" + r0 + r1 + r2,
         ""},
        {"the verification answered late, its second question's answer while a record waits",
         copies("QEL?", {{1, {{"1,12345678A01\n", 3100}}}, {2, {{"1,12345678A01\n", 200}}}}), false,
         "QEL?\nQEL?\n" + fw.records[0] + "\n" + r1, ""},
        {"line ends, blanks and zeros after each answer",
         [this](const std::string& line, int) {
             auto answers = monitor.Sound(line);
             for (auto& a : answers)
                 a.text += std::string("\r \0", 3);
             return answers;
         },
         false, all + tail, ""},
        {"a late acceptance, then the copy's own refusal inside the next record's pause",
         copies(fw.records[1], {{1, {{"OK\n", 3300}}}, {2, {{"NACK\n", 200}}}}), true,
         r1 + r1 + "QEL?\n" + r0 + r1 + r2, ""},
        // The late refusal may be the record's before it, said twice: that one goes again too.
        {"the end record refused inside the pause of the question after it",
         copies(endRecord, {{1, lateNack}}), true, all + "QEL?\n" + r0 + r4 + end + tail, ""},
        {"the end record refused so three times",
         copies(endRecord, {{1, lateNack}, {2, lateNack}, {3, lateNack}}), true, "", endRecord},
        {"an answer owed to an earlier copy accepts the end record, its own refuses it",
         copies(endRecord, {{1, {{"?#\n"}}}, {2, {{"OK\n", 3100}}}, {3, {{"NACK\n", 100}}}}), false,
         "", endRecord},
        {"the end record unanswered", copies(endRecord, {{1, {}}}), false, all + tail, ""},
        {"the end record refused, then accepted", copies(endRecord, {{1, {{"NACK\n"}}}}), false,
         all + end + tail, ""},
        {"the end record refused late", copies(endRecord, {{1, {{"NACK\n", 3500}}}}), false,
         all + "QEL?\n" + r0 + r4 + end + tail, ""},
        {"the end record refused, then silent: heard, it is no longer left to the exit",
         copies(endRecord, {{1, {{"NACK\n"}}}, {2, {}}, {3, {}}}), false, "", endRecord},
        {"a lower-case end record refused after its question went unanswered",
         [&](const std::string& line, int copy) -> std::vector<Reply> {
             if (line == lowerEnd)
                 return {{"NACK\n", 6500}};
             if (Instrument::Upper(line) == endRecord || (line == "QEL?" && copy == 2))
                 return {};
             return monitor.Sound(line);
         },
         false, "", endRecord, &lower},
    };
    for (const auto& c : cases) {
        Again();
        app.readyWaitCount = c.slowWire ? 255 : 0;
        monitor.baud = c.slowWire ? 10000 : 0;
        link.ClosePort(); // the line's format is read at opening
        ASSERT_EQ(link.OpenPort(), 0u);
        monitor.rule = c.rule;
        const auto outcome = Send((c.file != nullptr ? *c.file : fw).File());
        EXPECT_EQ(outcome.upgraded, c.failed.empty()) << c.what << "\n" << monitor.Wire();
        EXPECT_NE(monitor.Wire().find(c.wire), std::string::npos) << c.what << "\n"
                                                                  << monitor.Wire();
        if (c.failed.empty())
            continue;
        EXPECT_EQ(outcome.failure.message, Msg::CannotSendLine) << c.what;
        EXPECT_EQ(outcome.failure.subject, c.failed) << c.what;
        EXPECT_EQ(monitor.Wire().find("EXITQEL"), std::string::npos) << c.what;
        EXPECT_EQ(outcome.progress, fw.records.size() - 1) << c.what;
    }
}

TEST_F(Sequence, TheProgressNeverPassesTheRecordCount) {
    Send(fw.File());
    record_.recordCount = 2; // fewer than the file holds
    Again();
    const auto outcome = SendAnalysed();
    EXPECT_TRUE(outcome.upgraded);
    EXPECT_EQ(outcome.progress, 2u);
}

TEST_F(Sequence, OnlyTheFileAnalysedIsSentAndOnlyItsRecords) {
    // Text lines are neither sent nor counted.
    EXPECT_TRUE(Send("; built today\r\n\r\n " + fw.records[0] + "\r\n" + fw.File()).upgraded);
    EXPECT_EQ(monitor.Wire(), head + fw.Wire() + tail);
    // Changed since the analysis: nothing of it goes out.
    Again();
    Send(fw.File());
    std::ofstream(file_->Path(), std::ios::binary | std::ios::trunc)
        << Lines({fw.records[0], Record(0x100, 0, "changed"), endRecord});
    Again();
    auto outcome = SendAnalysed();
    EXPECT_EQ(outcome.failure.message, Msg::FileWrong);
    EXPECT_FALSE(outcome.retry);
    EXPECT_EQ(outcome.failure.ending, res::Ending::Upgrade);
    EXPECT_TRUE(monitor.received.empty());
}

} // namespace
