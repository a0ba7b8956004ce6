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

TEST_F(Sequence, AFileGoesOutAsModeQuestionRecordsAndExit) {
    const auto outcome = Send(fw.File());
    EXPECT_TRUE(outcome.upgraded);
    EXPECT_EQ(monitor.Wire(), head + fw.Wire() + "EXITQEL\n");
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
            // A text answered late goes again. A question too, and the identification that
            // answers the second copy comes when the first line is due: it is read through,
            // never taken for the line's answer.
            const long late = text == "QEL?" ? 3 : 2;
            EXPECT_EQ(monitor.Copies(text), delay <= limitMs ? 1 : late) << text << " " << delay;
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

// Any one answer lost or garbled costs one attempt of its own step and nothing afterwards: the
// file goes whole, in one pass, and no later step waits for what never came.
TEST_F(Sequence, OneLostOrGarbledAnswerIsAbsorbedByItsStepsAttempts) {
    const std::string garbled[] = {"1,1234#678A01\n", "?#\n"};
    const std::pair<std::string, int> answers[] = {
        {"QEL?", 0}, {fw.records[0], 1}, {fw.records[3], 1}, {endRecord, 1}, {"EXITQEL", 1}};
    for (const auto& [line, kind] : answers) {
        for (const bool lost : {true, false}) {
            Again();
            const std::vector<Reply> answer =
                lost ? std::vector<Reply>{} : std::vector<Reply>{{garbled[kind]}};
            Answer(line, {{1, answer}});
            const auto outcome = Send(fw.File());
            const std::string what = line + (lost ? " lost" : " garbled");
            EXPECT_TRUE(outcome.upgraded) << what << "\n" << monitor.Wire();
            for (const auto& record : fw.records)
                EXPECT_GE(monitor.Copies(record), 1) << what;
            EXPECT_LE(monitor.Copies(line), 2) << what;
        }
    }
    // The verification's question lost: asked once more, and nothing waits for its answer.
    Again();
    Answer("QEL?", {{1, {}}});
    EXPECT_TRUE(Send(fw.File()).upgraded);
    EXPECT_EQ(monitor.Wire(), "MODEQEL0\nQEL?\nQEL?\n" + fw.Wire() + "EXITQEL\n");
}

// An answer that may still come is read through before any other text: the identification
// comes after everything the monitor owed.
TEST_F(Sequence, ALineThatMayStillBeAnsweredIsReadThroughBeforeTheNextOne) {
    // Answered after its limit: sent again, then the question before the next record.
    Answer(fw.records[1], {{1, {{"OK\n", 3500}}}});
    EXPECT_TRUE(Send(fw.File()).upgraded);
    EXPECT_NE(monitor.Wire().find(r1 + r1 + "QEL?\n" + r2), std::string::npos) << monitor.Wire();

    // A failed write may have let part of the line go: it is owed an answer too.
    Again();
    monitor.failingWrites = {4}; // MODEQEL0, QEL?, the address record, then the first data record
    EXPECT_TRUE(Send(fw.File()).upgraded);
    EXPECT_NE(monitor.Wire().find(r1 + "QEL?\n" + r2), std::string::npos) << monitor.Wire();

    // An answer nobody asked for, waiting when a line is due.
    Again();
    monitor.rule = [this](const std::string& line, int) {
        auto answers = monitor.Sound(line);
        if (line == fw.records[1])
            answers.push_back({"READY\n"});
        return answers;
    };
    EXPECT_TRUE(Send(fw.File()).upgraded);
    EXPECT_NE(monitor.Wire().find(r1 + "QEL?\n" + r2), std::string::npos) << monitor.Wire();

    // Line ends, blanks and zeros after an answer are no answer: nothing is read through.
    Again();
    monitor.rule = [this](const std::string& line, int) {
        auto answers = monitor.Sound(line);
        for (auto& a : answers)
            a.text += std::string("\r \0", 3);
        return answers;
    };
    EXPECT_TRUE(Send(fw.File()).upgraded);
    EXPECT_EQ(monitor.Wire(), head + fw.Wire() + "EXITQEL\n");
}

// A refusal that arrives before the next text's first byte has left, even inside the pause
// before it, is the refusal of the line it answers: the line goes again.
TEST_F(Sequence, ALateRefusalIsJudgedForTheLineItAnswers) {
    // 255 character times at 10000 baud: a pause of 255 ms before each text. The port reads
    // the line's format when it opens.
    const auto slowWire = [this] {
        app.readyWaitCount = 255;
        monitor.baud = 10000;
        link.ClosePort();
        ASSERT_EQ(link.OpenPort(), 0u);
    };
    // A record's first copy unanswered in time; the second gets the first's late OK, then its
    // own refusal arrives while the next record waits its pause.
    slowWire();
    Answer(fw.records[1], {{1, {{"OK\n", 3100}}}, {2, {{"NACK\n", 100}}}});
    EXPECT_TRUE(Send(fw.File()).upgraded);
    EXPECT_NE(monitor.Wire().find(r1 + r1 + "QEL?\n" + r1 + r2), std::string::npos)
        << monitor.Wire();

    // The end record refused inside the pause of the question that reads it through: refused,
    // sent again, and three such refusals are the line's failure, never a success.
    for (const int refusedCopies : {1, 3}) {
        Again();
        slowWire();
        std::map<int, std::vector<Reply>> late;
        for (int copy = 1; copy <= refusedCopies; ++copy)
            late[copy] = {{"NACK\n", 3100}};
        Answer(endRecord, late);
        const auto outcome = Send(fw.File());
        EXPECT_EQ(monitor.Copies(endRecord), std::min(refusedCopies + 1, 3)) << monitor.Wire();
        if (refusedCopies == 1) {
            EXPECT_TRUE(outcome.upgraded);
            continue;
        }
        EXPECT_FALSE(outcome.upgraded);
        EXPECT_EQ(outcome.failure.message, Msg::CannotSendLine);
        EXPECT_EQ(outcome.failure.subject, endRecord);
        EXPECT_EQ(outcome.failure.reason, Msg::LineRefused);
        EXPECT_EQ(monitor.Wire().find("EXITQEL"), std::string::npos);
        EXPECT_EQ(outcome.progress, fw.records.size() - 1);
    }

    // The end record accepted by an answer owed to an earlier copy, then refused by its own
    // answer before the exit command leaves: its third failure, and no exit.
    Again();
    Answer(endRecord, {{1, {{"?#\n"}}}, {2, {{"OK\n", 3100}}}, {3, {{"NACK\n", 100}}}});
    const auto outcome = Send(fw.File());
    EXPECT_FALSE(outcome.upgraded);
    EXPECT_EQ(outcome.failure.subject, endRecord);
    EXPECT_EQ(outcome.failure.reason, Msg::LineRefused);
    EXPECT_NE(monitor.Wire().find(end + end + end + "QEL?\n"), std::string::npos) << monitor.Wire();
    EXPECT_EQ(monitor.Wire().find("EXITQEL"), std::string::npos);
}

TEST_F(Sequence, TheEndRecordGoesUnansweredOrIsTriedAsAnyLine) {
    // Unanswered: the exit follows, after the question that shows no answer is on its way.
    Answer(endRecord, {{1, {}}});
    auto outcome = Send(fw.File());
    EXPECT_TRUE(outcome.upgraded);
    EXPECT_EQ(monitor.Wire(), head + fw.Wire() + "QEL?\nEXITQEL\n");
    EXPECT_EQ(outcome.progress, fw.records.size() - 1) << "one short of the record count";
    // Refused, then accepted.
    Again();
    Answer(endRecord, {{1, {{"NACK\n"}}}});
    EXPECT_TRUE(Send(fw.File()).upgraded);
    EXPECT_EQ(monitor.Wire(), head + fw.Wire() + end + "EXITQEL\n");
    // Refused late: the refusal still counts, the record goes again.
    Again();
    Answer(endRecord, {{1, {{"NACK\n", 3500}}}});
    EXPECT_TRUE(Send(fw.File()).upgraded);
    EXPECT_EQ(monitor.Wire(), head + fw.Wire() + "QEL?\n" + end + "EXITQEL\n");
    // Refused, then silent: no longer left to the exit command.
    Again();
    Answer(endRecord, {{1, {{"NACK\n"}}}, {2, {}}, {3, {}}});
    outcome = Send(fw.File());
    EXPECT_FALSE(outcome.upgraded);
    EXPECT_EQ(outcome.failure.message, Msg::CannotSendLine);
    EXPECT_EQ(outcome.failure.subject, endRecord);
    EXPECT_EQ(monitor.Wire().find("EXITQEL"), std::string::npos);
}

// Copies of a line are one line whatever their case: a lower-case end record refused so late
// that the question after it went unanswered first is answered all the same, and its silent
// copies are no longer left to the exit command.
TEST_F(Sequence, CopiesInAnotherCaseAreTheSameLine) {
    const Firmware lower(monitorA, true);
    const std::string lowerEnd = ":00000001ff";
    monitor.rule = [&](const std::string& line, int copy) -> std::vector<Reply> {
        if (line == lowerEnd)
            return {{"NACK\n", 6500}};
        if (Instrument::Upper(line) == endRecord || (line == "QEL?" && copy == 2))
            return {};
        return monitor.Sound(line);
    };
    const auto outcome = Send(lower.File());
    EXPECT_FALSE(outcome.upgraded);
    EXPECT_EQ(outcome.failure.subject, endRecord);
    EXPECT_EQ(monitor.Wire().find("EXITQEL"), std::string::npos) << monitor.Wire();
}

TEST_F(Sequence, AReadThroughThatFailsIsTheQuestionsFailure) {
    // The first data record's first copy is unanswered; before the next record, the question
    // that would read through its late answer goes unanswered three times.
    monitor.rule = [this](const std::string& line, int copy) -> std::vector<Reply> {
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
    Again();
    const auto outcome = SendAnalysed();
    EXPECT_TRUE(outcome.upgraded);
    EXPECT_EQ(outcome.progress, 2u);
}

TEST_F(Sequence, OnlyTheFileAnalysedIsSentAndOnlyItsRecords) {
    // Text lines are neither sent nor counted.
    EXPECT_TRUE(Send("; built today\r\n\r\n " + fw.records[0] + "\r\n" + fw.File()).upgraded);
    EXPECT_EQ(monitor.Wire(), head + fw.Wire() + "EXITQEL\n");
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
