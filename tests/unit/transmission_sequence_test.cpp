// The rules of the transmission sequence, each against a monitor scripted on a virtual clock:
// what goes on the wire, how answers are judged and paired with what they answer, the time
// limits, the attempts, the end record, the file checks.
#include "files/hex_analysis.h"
#include "hex_test_files.h"
#include "protocol/transmission_sequence.h"
#include "scripted_monitor.h"

#include <gtest/gtest.h>

#include <optional>

namespace {

using namespace testfiles;
using res::Msg;
using Kind = TransmissionSequence::Result::Kind;
using Step = TransmissionSequence::Step;
using Answer = ScriptedMonitor::Answer;

struct Outcome {
    bool upgraded = false;
    res::Failure failure; // the box of a failure
    bool retry = false;   // OK in it starts the run again
    std::uint32_t progress = 0;
};

class Sequence : public ::testing::Test {
  protected:
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
        return SendAnalysed();
    }
    // The record as it stands (count and digest as a test left them), to the end.
    Outcome SendAnalysed() {
        sys::TextFile stream;
        if (!stream.Open(file_->Path()))
            throw std::runtime_error("cannot open " + file_->Path());
        TransmissionSequence sequence(monitor, stream, record_, 0);
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
            if (result.kind == Kind::Next)
                step = result.next;
        }
        outcome.upgraded = !step;
        return outcome;
    }
    // A rule that answers the n-th copy of one line (or command) its own way.
    void Answer(const std::string& line,
                std::map<int, std::vector<ScriptedMonitor::Answer>> copies) {
        monitor.rule = [this, line, copies](const std::string& received, int copy) {
            if (received == line && copies.count(copy) != 0)
                return copies.at(copy);
            return monitor.Sound(received);
        };
    }

    ScriptedMonitor monitor;
    Firmware fw{monitorA};
    std::string r1 = fw.records[1] + "\n"; // the first data record, as it goes on the wire
    std::unique_ptr<TempFile> file_;
    CUpgradeFile record_;
};

const std::string head = "MODEQEL0\nQEL?\n";

TEST_F(Sequence, AFileGoesOutAsModeQuestionRecordsAndExit) {
    const auto outcome = Send(fw.File());
    EXPECT_TRUE(outcome.upgraded);
    EXPECT_EQ(monitor.Wire(), head + fw.Wire() + "EXITQEL\n");
    EXPECT_EQ(outcome.progress, fw.records.size());
}

TEST_F(Sequence, ARecordLineIsGivenThreeSecondsTheExitCommandOne) {
    EXPECT_TRUE(Send(fw.File()).upgraded);
    std::vector<int> expected{3}; // the verification
    expected.insert(expected.end(), fw.records.size(), 3);
    expected.push_back(1);
    EXPECT_EQ(monitor.readLimits, expected);
    // Pinned to the millisecond: an acceptance of the exit 1 ms after its limit is none.
    for (const long delay : {999L, 1000L, 1001L}) {
        monitor = ScriptedMonitor();
        Answer("EXITQEL", {{1, {{"OK\n", delay}}}});
        EXPECT_TRUE(Send(fw.File()).upgraded);
        const size_t exits =
            std::count(monitor.received.begin(), monitor.received.end(), "EXITQEL");
        EXPECT_EQ(exits, delay <= 1000 ? 1u : 2u) << delay;
    }
}

TEST_F(Sequence, EachStepHasThreeAttemptsAndTheBoxNamesWhatFailed) {
    struct Case {
        const char* what;
        std::string line;
        std::vector<ScriptedMonitor::Answer> answer;
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
    };
    for (const auto& c : cases) {
        monitor = ScriptedMonitor();
        Answer(c.line, {{1, c.answer}, {2, c.answer}, {3, c.answer}});
        const auto failed = Send(fw.File());
        EXPECT_FALSE(failed.upgraded) << c.what;
        EXPECT_TRUE(failed.retry) << c.what;
        EXPECT_EQ(failed.failure.message, c.message) << c.what;
        EXPECT_EQ(failed.failure.subject, c.subject) << c.what;
        EXPECT_EQ(failed.failure.reason, c.reason) << c.what;
        EXPECT_EQ(failed.failure.ending, res::Ending::LinkCheck) << c.what;
        EXPECT_EQ(std::count(monitor.received.begin(), monitor.received.end(), c.line), 3)
            << c.what;
        // The third attempt succeeds: the sequence goes on.
        monitor = ScriptedMonitor();
        Answer(c.line, {{1, c.answer}, {2, c.answer}});
        EXPECT_TRUE(Send(fw.File()).upgraded) << c.what;
    }
    // A write that fails three times: the system's reason, no catalogue reason.
    monitor = ScriptedMonitor();
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
        monitor = ScriptedMonitor();
        Answer(fw.records[1], {{1, {{text}}}});
        EXPECT_TRUE(Send(fw.File()).upgraded);
        const auto copies =
            std::count(monitor.received.begin(), monitor.received.end(), fw.records[1]);
        EXPECT_EQ(copies, accepted ? 1 : 2) << testing::PrintToString(text);
    }
}

// An answer that may still come is read through before any other text: the identification
// comes after everything the monitor owed.
TEST_F(Sequence, ALineThatMayStillBeAnsweredIsReadThroughBeforeTheNextOne) {
    // Answered after its limit: sent again, then the question before the next record.
    Answer(fw.records[1], {{1, {{"OK\n", 3500}}}});
    EXPECT_TRUE(Send(fw.File()).upgraded);
    const std::string r2 = fw.records[2] + "\n";
    EXPECT_NE(monitor.Wire().find(r1 + r1 + "QEL?\n" + r2), std::string::npos) << monitor.Wire();

    // A failed write may have let part of the line go: it is owed an answer too.
    monitor = ScriptedMonitor();
    monitor.failingWrites = {4}; // MODEQEL0, QEL?, the address record, then the first data record
    EXPECT_TRUE(Send(fw.File()).upgraded);
    EXPECT_NE(monitor.Wire().find(r1 + "QEL?\n" + r2), std::string::npos) << monitor.Wire();

    // An answer nobody asked for, waiting when a line is due.
    monitor = ScriptedMonitor();
    monitor.rule = [this](const std::string& line, int) {
        auto answers = monitor.Sound(line);
        if (line == fw.records[1])
            answers.push_back({"READY\n"});
        return answers;
    };
    EXPECT_TRUE(Send(fw.File()).upgraded);
    EXPECT_NE(monitor.Wire().find(r1 + "QEL?\n" + r2), std::string::npos) << monitor.Wire();
}

// A question that went unanswered may be answered later, and its identification would end the
// next read-through too soon: each one is read.
TEST_F(Sequence, EveryUnansweredQuestionIsReadThrough) {
    monitor.rule = [this](const std::string& line,
                          int copy) -> std::vector<ScriptedMonitor::Answer> {
        if (line == fw.records[1] && copy == 1)
            return {{"OK", 0}}; // no line end: it may go on
        if (line == "QEL?" && copy == 2)
            return {{"1,12345678A01\n", 3500}}; // after the limit
        if (line == fw.records[2] && copy == 1)
            return {{"NACK\n"}};
        return monitor.Sound(line);
    };
    EXPECT_TRUE(Send(fw.File()).upgraded);
    // The refusal of the second record is its own, not taken by the late identification.
    const std::string r2 = fw.records[2] + "\n";
    EXPECT_NE(monitor.Wire().find(r1 + "QEL?\nQEL?\n" + r2 + r2), std::string::npos)
        << monitor.Wire();
}

TEST_F(Sequence, TheEndRecordGoesUnansweredOrIsTriedAsAnyLine) {
    const std::string end = endRecord + "\n";
    // Unanswered: the exit follows, after the question that shows no answer is on its way.
    Answer(endRecord, {{1, {}}});
    auto outcome = Send(fw.File());
    EXPECT_TRUE(outcome.upgraded);
    EXPECT_EQ(monitor.Wire(), head + fw.Wire() + "QEL?\nEXITQEL\n");
    EXPECT_EQ(outcome.progress, fw.records.size() - 1) << "one short of the record count";
    // Refused, then accepted.
    monitor = ScriptedMonitor();
    Answer(endRecord, {{1, {{"NACK\n"}}}});
    EXPECT_TRUE(Send(fw.File()).upgraded);
    EXPECT_EQ(monitor.Wire(), head + fw.Wire() + end + "EXITQEL\n");
    // Refused late: the refusal still counts, the record goes again.
    monitor = ScriptedMonitor();
    Answer(endRecord, {{1, {{"NACK\n", 3500}}}});
    EXPECT_TRUE(Send(fw.File()).upgraded);
    EXPECT_EQ(monitor.Wire(), head + fw.Wire() + "QEL?\n" + end + "EXITQEL\n");
    // Refused, then silent: no longer left to the exit command.
    monitor = ScriptedMonitor();
    Answer(endRecord, {{1, {{"NACK\n"}}}, {2, {}}, {3, {}}});
    outcome = Send(fw.File());
    EXPECT_FALSE(outcome.upgraded);
    EXPECT_EQ(outcome.failure.message, Msg::CannotSendLine);
    EXPECT_EQ(outcome.failure.subject, endRecord);
    EXPECT_EQ(monitor.Wire().find("EXITQEL"), std::string::npos);
}

TEST_F(Sequence, AReadThroughThatFailsIsTheQuestionsFailure) {
    // The first data record's first copy is unanswered; before the next record, the question
    // that would read through its late answer goes unanswered three times.
    monitor.rule = [this](const std::string& line,
                          int copy) -> std::vector<ScriptedMonitor::Answer> {
        if ((line == fw.records[1] && copy == 1) || (line == "QEL?" && copy > 1))
            return {};
        return monitor.Sound(line);
    };
    const auto outcome = Send(fw.File());
    EXPECT_EQ(outcome.failure.message, Msg::CannotSendCommand);
    EXPECT_EQ(outcome.failure.subject, "QEL?");
    EXPECT_EQ(outcome.failure.reason, Msg::NoAnswer);
    EXPECT_EQ(monitor.Wire().find(fw.records[2]), std::string::npos) << "it never left";
}

TEST_F(Sequence, TheProgressNeverPassesTheRecordCount) {
    Send(fw.File());
    record_.recordCount = 2; // fewer than the file holds
    monitor = ScriptedMonitor();
    const auto outcome = SendAnalysed();
    EXPECT_TRUE(outcome.upgraded);
    EXPECT_EQ(outcome.progress, 2u);
}

TEST_F(Sequence, OnlyTheFileAnalysedIsSentAndOnlyItsRecords) {
    // Text lines are neither sent nor counted.
    EXPECT_TRUE(Send("; built today\r\n\r\n " + fw.records[0] + "\r\n" + fw.File()).upgraded);
    EXPECT_EQ(monitor.Wire(), head + fw.Wire() + "EXITQEL\n");
    // Changed since the analysis: nothing of it goes out.
    Send(fw.File());
    std::ofstream(file_->Path(), std::ios::binary | std::ios::trunc)
        << Lines({fw.records[0], Record(0x100, 0, "changed"), endRecord});
    monitor = ScriptedMonitor();
    auto outcome = SendAnalysed();
    EXPECT_EQ(outcome.failure.message, Msg::FileWrong);
    EXPECT_FALSE(outcome.retry);
    EXPECT_EQ(outcome.failure.ending, res::Ending::Upgrade);
    EXPECT_TRUE(monitor.received.empty());
}

} // namespace
