// What is analysed is what is sent, record for record: every line end a file may hold, text
// that is no text, the end record's answer, and the boxes of a read-through that fails.
#include "upgrade_helpers.h"

#include <nlohmann/json.hpp>

#include <fstream>

namespace {

using namespace testfiles;
using namespace upgrade;

std::string Joined(const std::vector<std::string>& lines, const std::vector<std::string>& ends) {
    std::string text;
    for (size_t i = 0; i < lines.size(); ++i)
        text += lines[i] + ends[i % ends.size()];
    return text;
}

const std::string wholeSequence(const Firmware& fw) {
    return WholePass(fw);
}

TEST(RecordsSent, EveryLineEndEndsALineAndEveryRecordReachesTheInstrument) {
    Firmware fw(monitorA);
    const auto& r = fw.records;
    // The whole file fits in the first 254 characters: read up to its first CR, it would be
    // one record line that holds the end record.
    ASSERT_LT(Lines(r, "\r").size(), 254u);
    std::string twoOnOneLine = r[0] + "\n" + r[1] + "\r" + r[2] + "\n";
    for (size_t i = 3; i < r.size(); ++i)
        twoOnOneLine += r[i] + "\n";
    const std::vector<std::pair<std::string, std::string>> files{
        {"CR only", Lines(r, "\r")},
        {"a record, a lone CR and a record on one line", twoOnOneLine},
        {"LF, CR LF, CR and LF CR mixed", Joined(r, {"\n", "\r\n", "\r", "\n\r"})},
        {"an editor's UTF-8 mark before the first record", "\xEF\xBB\xBF" + fw.File()},
    };
    for (const auto& [what, text] : files) {
        SimulatorProcess sim({"--monitor", monitorA});
        TempFile file(text, "firmware.hex");
        const auto run = Upgrade(file, "o\no\n");
        EXPECT_EQ(run.status, 0) << what << "\n" << run.output;
        EXPECT_EQ(sim.Received(), wholeSequence(fw)) << what;
        sim.Stop();
        EXPECT_EQ(sim.Image(), fw.data) << what;
    }
}

TEST(RecordsSent, AFileThatIsNotTextIsRefusedAndNothingIsSent) {
    Firmware fw(monitorA);
    const auto& r = fw.records;
    // A torn copy: zeros where two record lines were, the rest sound.
    std::string torn = r[0] + "\r\n" + std::string(r[1].size() + r[2].size() + 4, '\0');
    for (size_t i = 3; i < r.size(); ++i)
        torn += r[i] + "\r\n";
    ExpectInBothLanguages({"--monitor", monitorA}, torn, "o\n", link115200, 1, "exclamation",
                          {"Le fichier \"firmware.hex\" n'est pas intègre" + failureEnding.french,
                           "File \"firmware.hex\" is wrong" + failureEnding.english},
                          okOnlyBoth, std::string());
    for (const std::string control : {"\x01", "\x1B[2J", "\x7F", "\x1A\x1A"}) {
        // In a comment between records; a Ctrl-Z there ends the file before its end record.
        SimulatorProcess sim({"--monitor", monitorA});
        TempFile file(r[0] + "\n; built " + control + "today\n" + Lines({r.begin() + 1, r.end()}),
                      "firmware.hex");
        const auto run = Upgrade(file, "o\n");
        EXPECT_EQ(run.status, 1) << run.output;
        EXPECT_SHOWN(run, "File \"firmware.hex\" is wrong");
        EXPECT_EQ(sim.Received(), "");
    }
    // Text with tabs, and a DOS end-of-file mark after the last line, are what text files hold.
    SimulatorProcess sim({"--monitor", monitorA});
    TempFile file("\t; version\t2\r\n" + fw.File() + "\x1A", "firmware.hex");
    const auto run = Upgrade(file, "o\no\n");
    EXPECT_EQ(run.status, 0) << run.output;
    EXPECT_EQ(sim.Received(), wholeSequence(fw));
}

TEST(RecordsSent, ARefusedEndRecordIsTriedAsAnyLine) {
    Firmware fw(monitorA);
    const std::string end = fw.records.back() + "\n";
    const size_t last = fw.records.size();
    const auto copy = [&](size_t n) { return std::to_string(last + n); };
    {
        // Refused once, accepted the second time.
        SimulatorProcess sim({"--monitor", monitorA, "--nack-lines", copy(0)});
        TempFile file(fw.File(), "firmware.hex");
        const auto run = Upgrade(file, "o\no\n");
        EXPECT_EQ(run.status, 0) << run.output;
        EXPECT_EQ(sim.Received(), identification + Transfer(fw.Wire() + end));
    }
    // Three refusals: the link box, and no exit command.
    ExpectInBothLanguages(
        {"--monitor", monitorA, "--nack-lines", copy(0) + "," + copy(1) + "," + copy(2)}, fw,
        "o\nc\n", link115200, 1, "exclamation",
        {"Impossible de transmettre la ligne:\n  \"" + fw.records.back() +
             "\"\nLa ligne n'a pas été comprise par l'appareil" + linkCheckEnding.french,
         "Unable to transmit line:\n  \"" + fw.records.back() +
             "\"\nThe line has not be accepted by the instrument" + linkCheckEnding.english},
        okCancelBoth, identification + "MODEQEL0\nQEL?\n" + fw.Wire() + end + end);
    // OK in that box runs the whole file again.
    SimulatorProcess sim(
        {"--monitor", monitorA, "--nack-lines", copy(0) + "," + copy(1) + "," + copy(2)});
    TempFile file(fw.File(), "firmware.hex");
    const auto run = Upgrade(file, "o\no\no\n");
    EXPECT_EQ(run.status, 0) << run.output;
    EXPECT_EQ(sim.Received(),
              identification + "MODEQEL0\nQEL?\n" + fw.Wire() + end + end + wholeSequence(fw));
    sim.Stop();
    EXPECT_EQ(sim.Image(), fw.data);
}

TEST(RecordsSent, AReadThroughThatFailsNamesTheLineItClearedTheWayFor) {
    Firmware fw(monitorA);
    const auto& r = fw.records;
    // The second record line's first copy goes unanswered; its second copy is accepted, but
    // the first copy's answer may still come, so the next line waits for a "QEL?" that never
    // gets an answer (questions 1 and 2 identify, 3 verifies). The box names that line, which
    // never left.
    for (const bool french : {true, false}) {
        SimulatorProcess sim(
            {"--monitor", monitorA, "--silent-lines", "2", "--silent-queries", "4,5,6"});
        TempFile file(fw.File(), "firmware.hex");
        const std::string journal = file.Folder() + "/journal.jsonl";
        auto options =
            UpgradeOptions(file, "o\nc\n", {french ? "-lf" : "-le", "-c1,115200,8,1,n,n"});
        options.env["QEL32_JOURNAL"] = journal;
        const auto run = RunProgram(options);
        EXPECT_EQ(run.status, 1) << run.output;
        EXPECT_SHOWN(
            run, Box("exclamation",
                     (french ? "Impossible de transmettre la ligne:\n  \""
                             : "Unable to transmit line:\n  \"") +
                         r[2] +
                         (french ? "\"\nPas de réponse de l'appareil" + linkCheckEnding.french
                                 : "\"\nNo answer from the instrument" + linkCheckEnding.english),
                     french ? okCancelFrench : okCancel));
        EXPECT_EQ(sim.Received(), identification + "MODEQEL0\nQEL?\n" + r[0] + "\n" + r[1] + "\n" +
                                      r[1] + "\nQEL?\nQEL?\nQEL?\n");
        std::ifstream in(journal);
        std::string line;
        ASSERT_TRUE(std::getline(in, line));
        const auto entry = nlohmann::json::parse(line);
        EXPECT_EQ(entry["message"], french ? 45 : 46);
        EXPECT_EQ(entry["reason"], french ? 15 : 16);
    }
}

TEST(RecordsSent, LineEndsLeftAfterAnAnswerAreNoAnswer) {
    Firmware fw(monitorA);
    // LF CR: the CR that follows every answer asks for no read-through.
    SimulatorProcess sim({"--monitor", monitorA, "--line-end", "lfcr"});
    TempFile file(fw.File(), "firmware.hex");
    const auto run = Upgrade(file, "o\no\n");
    EXPECT_EQ(run.status, 0) << run.output;
    EXPECT_EQ(sim.Received(), wholeSequence(fw));
    sim.Stop();
    EXPECT_EQ(sim.Image(), fw.data);
}

} // namespace
