// The serial link against the instrument simulator on a pseudo-terminal.
#include "app/upgrade_app.h"
#include "sys/posix/serial_flags.h"
#include "console_script.h"
#include "simulator_process.h"
#include "sys/posix/termios_state.h"
#include "sys/timer.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/wait.h>
#include <termios.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iomanip>
#include <thread>

namespace {

const std::string englishEnding = ".\n\nUnable to upgrade the instrument. Contact your resaler";

class Link : public ::testing::Test {
  protected:
    void SetUp() override {
        app.language = 1;
        app.readyWaitCount = 0;
    }
    // Waits until the simulator has received `count` bytes at least.
    static std::string Received(const SimulatorProcess& sim, size_t count) {
        for (int i = 0; i < 200 && sim.Received().size() < count; ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        return sim.Received();
    }
    CUpgradeApp app;
    CQelComm link{nullptr, app};
};

struct TermiosCase {
    LinkSettings settings;
    speed_t speed;
    tcflag_t size;
    bool parityOn, parityOdd, twoStop, xonXoff;
};

TEST_F(Link, EverySettingReachesTheDevice) {
    const TermiosCase cases[] = {
        {{1, 0, 1, 0, 2, 2}, B600, CS8, false, false, false, false},
        {{1, 1, 0, 1, 0, 0}, B1200, CS7, true, false, true, true},
        {{1, 2, 1, 0, 1, 1}, B2400, CS8, true, true, false, false},
        {{1, 3, 1, 0, 3, 2}, B4800, CS8, false, false, false, false},
        {{1, 4, 1, 0, 2, 2}, B9600, CS8, false, false, false, false},
        {{1, 5, 1, 1, 2, 2}, B19200, CS8, false, false, true, false},
        {{1, 6, 0, 0, 0, 2}, B38400, CS7, true, false, false, false},
        {{1, 7, 1, 0, 2, 0}, B57600, CS8, false, false, false, true},
        {{1, 8, 1, 0, 2, 2}, B115200, CS8, false, false, false, false},
        {{1, 9, 1, 0, 2, 2}, B9600, CS8, false, false, false, false},
        {{1, -1, 1, 0, 2, 2}, B9600, CS8, false, false, false, false},
    };
    SimulatorProcess sim({"--monitor", "12345678A01"});
    // Opened before the link takes the port for itself: a window on the same line's state.
    const int observer = ::open(sim.Device().c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    ASSERT_GE(observer, 0);
    for (const auto& c : cases) {
        link.settings = c.settings;
        ASSERT_EQ(link.OpenPort(), 0u) << c.settings.baudIndex;
        termios tio{};
        ASSERT_EQ(::tcgetattr(observer, &tio), 0);
        EXPECT_EQ(::cfgetospeed(&tio), c.speed) << c.settings.baudIndex;
        EXPECT_EQ(::cfgetispeed(&tio), c.speed) << c.settings.baudIndex;
        // A pseudo-terminal forces 8 bits without parity on whatever it is given; the link's
        // own view of the port shows what was set.
        sys::CommState state;
        termios handed = tio;
        state.native = std::make_shared<termios>(tio);
        ASSERT_EQ(sys::TermiosForCommState(CommStateFor(c.settings, state), handed), 0);
        EXPECT_EQ(handed.c_cflag & CSIZE, c.size);
        EXPECT_EQ((handed.c_cflag & PARENB) != 0, c.parityOn);
        EXPECT_EQ((handed.c_cflag & PARODD) != 0, c.parityOdd);
        EXPECT_EQ((tio.c_cflag & CSTOPB) != 0, c.twoStop);
        EXPECT_EQ((tio.c_iflag & IXON) != 0, c.xonXoff);
        EXPECT_EQ((tio.c_iflag & IXOFF) != 0, c.xonXoff);
        EXPECT_EQ(tio.c_cflag & CRTSCTS, 0u);
        EXPECT_EQ(tio.c_lflag & (ICANON | ECHO), 0u) << "raw bytes";
        EXPECT_EQ(link.ClosePort(), 0);
    }
    // Parity "ignored" configures the port exactly as "none".
    termios none{}, ignored{};
    link.settings = {1, 4, 1, 0, 2, 2};
    ASSERT_EQ(link.OpenPort(), 0u);
    ::tcgetattr(observer, &none);
    link.ClosePort();
    link.settings.parity = 3;
    ASSERT_EQ(link.OpenPort(), 0u);
    ::tcgetattr(observer, &ignored);
    link.ClosePort();
    EXPECT_EQ(none.c_cflag, ignored.c_cflag);
    EXPECT_EQ(none.c_iflag, ignored.c_iflag);
    ::close(observer);
}

TEST_F(Link, OpenFailuresReturnTheSystemCode) {
    SimulatorProcess sim({"--monitor", "12345678A01"});
    link.settings.port = 7; // nothing published as COM7
    EXPECT_EQ(link.OpenPort(), static_cast<DWORD>(ENOENT));
    EXPECT_FALSE(link.IsOpen());
    link.settings.port = 0;
    EXPECT_EQ(link.OpenPort(), static_cast<DWORD>(ENOENT));
    link.settings.port = -1;
    EXPECT_EQ(link.OpenPort(), static_cast<DWORD>(ENOENT));
    // Held by another program.
    const int holder = ::open(sim.Device().c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    ASSERT_EQ(::flock(holder, LOCK_EX | LOCK_NB), 0);
    link.settings.port = 1;
    EXPECT_EQ(link.OpenPort(), static_cast<DWORD>(EACCES));
    EXPECT_FALSE(link.IsOpen());
    ::close(holder);
    EXPECT_EQ(link.OpenPort(), 0u);
    EXPECT_EQ(link.ClosePort(), 0);
    EXPECT_EQ(link.ClosePort(), 1) << "already closed";
}

// The line goes as given with one LF; the caller's line end was cut where the file's line
// became the line sent.
TEST_F(Link, SendLineAddsOneLf) {
    SimulatorProcess sim({"--monitor", "12345678A01"});
    ASSERT_EQ(link.OpenPort(), 0u);
    EXPECT_EQ(link.SendLine("ABC", true), 0);
    EXPECT_EQ(link.SendLine("", false), 0);
    EXPECT_EQ(link.SendLine("X", false), 0);
    EXPECT_EQ(Received(sim, 7), "ABC\n\nX\n");
}

TEST_F(Link, AnswersAreReadUpToTheirLineFeed) {
    SimulatorProcess sim({"--answer", "OK\\r\\nnext line\\n"});
    ASSERT_EQ(link.OpenPort(), 0u);
    std::string query = "QEL?", answer;
    link.SendLine(query, false);
    EXPECT_EQ(link.ReadAnswer(answer, 255, 3), 0);
    EXPECT_EQ(answer, "OK\r\n");
    EXPECT_EQ(CQelComm::EscapeForDisplay(answer), "OK\\r\\n");
    EXPECT_EQ(link.ReadAnswer(answer, 255, 3), 0);
    EXPECT_EQ(answer, "next line\n");
}

TEST_F(Link, LongAnswerIsCutAtTheLimitAndTheRestStaysInTheInput) {
    SimulatorProcess sim({"--answer", std::string(300, 'x')});
    ASSERT_EQ(link.OpenPort(), 0u);
    std::string query = "QEL?", answer;
    link.SendLine(query, false);
    EXPECT_EQ(link.ReadAnswer(answer, 255, 2), 0);
    EXPECT_EQ(answer, std::string(255, 'x'));
    // The 256th was read and dropped; 44 are left, ended by silence.
    EXPECT_EQ(link.ReadAnswer(answer, 255, 1), 0);
    EXPECT_EQ(answer, std::string(44, 'x'));
}

TEST_F(Link, ZeroBytePartialAnswerAndSilence) {
    {
        SimulatorProcess sim({"--answer", "O\\0K\\n"});
        ASSERT_EQ(link.OpenPort(), 0u);
        std::string query = "QEL?", answer;
        link.SendLine(query, false);
        EXPECT_EQ(link.ReadAnswer(answer, 255, 2), 0);
        EXPECT_EQ(answer, "OK\n");
        link.ClosePort();
    }
    {
        SimulatorProcess sim({"--answer", "PART"});
        ASSERT_EQ(link.OpenPort(), 0u);
        std::string query = "QEL?", answer;
        link.SendLine(query, false);
        EXPECT_EQ(link.ReadAnswer(answer, 255, 1), 0) << "ended by silence, still an answer";
        EXPECT_EQ(answer, "PART");
        link.ClosePort();
    }
    {
        SimulatorProcess sim({"--silent"});
        ASSERT_EQ(link.OpenPort(), 0u);
        std::string query = "QEL?", answer = "stale";
        link.SendLine(query, false);
        EXPECT_EQ(link.ReadAnswer(answer, 255, 1), 16);
        EXPECT_EQ(answer, "");
        app.language = 0;
        EXPECT_EQ(link.ReadAnswer(answer, 255, 1), 15);
    }
}

TEST_F(Link, DiscardInputDropsPendingBytes) {
    SimulatorProcess sim({"--answer", "stale\\n"});
    ASSERT_EQ(link.OpenPort(), 0u);
    std::string query = "QEL?", answer;
    link.SendLine(query, false);
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    EXPECT_TRUE(link.DiscardInput());
    EXPECT_EQ(link.ReadAnswer(answer, 255, 1), 16);
}

TEST_F(Link, IdentifiedOnTheSecondAnswer) {
    SimulatorProcess sim({"--monitor", "12345678A01", "--monitor", "12345678B02"});
    app.commandLineLink = {1, 8, 1, 0, 2, 2};
    std::string answer;
    EXPECT_EQ(link.OpenAndIdentify(answer), 1);
    EXPECT_EQ(answer, "0,12345678A01,0,12345678B02\n");
    EXPECT_TRUE(link.IsOpen());
    EXPECT_EQ(link.settings.baudIndex, 8) << "the command line's settings are the link's";
    EXPECT_EQ(Received(sim, 10), "QEL?\nQEL?\n");
    EXPECT_EQ(link.OpenAndIdentify(answer), 5) << "already open";
    EXPECT_EQ(Received(sim, 10), "QEL?\nQEL?\n") << "nothing more sent";
}

TEST_F(Link, WithoutCommandLineSettingsTheDialogChooses) {
    SimulatorProcess sim({"--monitor", "12345678A01"});
    {
        // Cancel: nothing opens and the settings stay as they were.
        ConsoleScript console("c\n");
        link.settings = {1, 2, 0, 1, 0, 0};
        std::string answer;
        EXPECT_EQ(link.OpenAndIdentify(answer), 2);
        EXPECT_FALSE(link.IsOpen());
        EXPECT_EQ(link.settings.baudIndex, 2);
        EXPECT_EQ(link.settings.parity, 0);
        EXPECT_NE(console.Shown().find("Ports\n  > COM1\n"), std::string::npos) << console.Shown();
    }
    {
        // A changed rate, then OK: the dialog's values are the link's, and the port opens.
        ConsoleScript console("b 115200\nh hardware\n\n");
        std::string answer;
        EXPECT_EQ(link.OpenAndIdentify(answer), 1) << console.Shown();
        EXPECT_EQ(link.settings.port, 1);
        EXPECT_EQ(link.settings.baudIndex, 8);
        EXPECT_EQ(link.settings.handshake, 1);
        EXPECT_EQ(link.settings.parity, 0) << "unchanged";
        EXPECT_EQ(answer, "0,12345678A01\n");
    }
}

TEST_F(Link, BothLanguagesGiveTheSameCodes) {
    SimulatorProcess sim({"--monitor", "12345678A01"}, 3);
    // The same visual choice in each language: 19200 baud, 7 bits, 2 stop bits, odd, Xon/Xoff.
    const std::pair<int, std::string> scripts[] = {
        {0, "v 19200\nb 7\na 2\nr impaire\nc xon/xoff\n\n"},
        {1, "b 19200\nd 7\ns 2\nr odd\nh xon/xoff\n\n"},
    };
    for (const auto& [language, answers] : scripts) {
        app.language = language;
        ConsoleScript console(answers);
        link.settings = {3, 4, 1, 0, 2, 2};
        std::string answer;
        ASSERT_EQ(link.OpenAndIdentify(answer), 1) << console.Shown();
        EXPECT_EQ(link.settings.port, 3) << "COM3, selected by its number";
        EXPECT_EQ(link.settings.baudIndex, 5) << language;
        EXPECT_EQ(link.settings.eightDataBits, 0) << language;
        EXPECT_EQ(link.settings.twoStopBits, 1) << language;
        EXPECT_EQ(link.settings.parity, 1) << language;
        EXPECT_EQ(link.settings.handshake, 0) << language;
        link.ClosePort();
    }
}

TEST_F(Link, AnEarlierPortNoLongerListedFallsBackToThePortsOneToEight) {
    SimulatorProcess sim({"--monitor", "12345678A01"}, 8);
    {
        // Port 12, chosen earlier: the entry for port 8 is selected.
        ConsoleScript console("\n");
        link.settings = {12, 4, 1, 0, 2, 2};
        std::string answer;
        EXPECT_EQ(link.OpenAndIdentify(answer), 1) << console.Shown();
        EXPECT_EQ(link.settings.port, 8);
        link.ClosePort();
    }
}

TEST_F(Link, SettingsDialogWithAnEmptyListGivesPortMinusOne) {
    const auto empty = std::filesystem::temp_directory_path() / "qel32-no-ports";
    std::filesystem::create_directories(empty);
    ::setenv("QEL32_PORTS", empty.c_str(), 1);
    ConsoleScript console("\n\n");
    std::string answer;
    EXPECT_EQ(link.OpenAndIdentify(answer), 3);
    EXPECT_EQ(link.settings.port, -1);
    EXPECT_NE(console.Shown().find("    (empty)\n"), std::string::npos) << console.Shown();
    EXPECT_NE(console.Shown().find("No such file or directory" + englishEnding), std::string::npos);
    ::unsetenv("QEL32_PORTS");
}

TEST_F(Link, PortFailuresAreShownWithTheSystemText) {
    SimulatorProcess sim({"--monitor", "12345678A01"});
    // Port 0 and below cannot come from the command line ("-c0" has no effect).
    const std::pair<int, std::string> cases[] = {{7, "No such file or directory"},
                                                 {12, "No such file or directory"}};
    for (const auto& [port, text] : cases) {
        ConsoleScript console("\n");
        app.commandLineLink = {port, 4, 1, 0, 2, 2};
        std::string answer;
        EXPECT_EQ(link.OpenAndIdentify(answer), 3);
        EXPECT_FALSE(link.IsOpen());
        EXPECT_NE(console.Shown().find("---- qel32_link_tests [exclamation] ----\n" + text +
                                       englishEnding + "\nButtons: (o) OK; Enter: OK\n"),
                  std::string::npos)
            << console.Shown();
    }
    const int holder = ::open(sim.Device().c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    ASSERT_EQ(::flock(holder, LOCK_EX | LOCK_NB), 0);
    ConsoleScript console("\n");
    app.commandLineLink = {1, 4, 1, 0, 2, 2};
    std::string answer;
    EXPECT_EQ(link.OpenAndIdentify(answer), 3);
    EXPECT_NE(console.Shown().find("Permission denied" + englishEnding), std::string::npos)
        << console.Shown();
    ::close(holder);
}

// Four reads of 5 s each: the slow cases share one test each.
TEST_F(Link, NoAnswerAsksAndOkMeansTryAgain) {
    SimulatorProcess sim({"--silent"});
    ConsoleScript console("o\n");
    app.commandLineLink = {1, 4, 1, 0, 2, 2};
    std::string answer;
    EXPECT_EQ(link.OpenAndIdentify(answer), 4);
    EXPECT_TRUE(link.IsOpen()) << "the caller closes it";
    EXPECT_NE(console.Shown().find("---- qel32_link_tests [exclamation] ----\n"
                                   "Unable to identify the instrument.\n\n"
                                   "Verify the link cable and the communication parameters\n"
                                   "or close other applications using this port.\n"
                                   "Buttons: (o) OK, (c) Cancel; Enter: OK\n"),
              std::string::npos)
        << console.Shown();
    EXPECT_EQ(sim.Received(), "QEL?\nQEL?\nQEL?\nQEL?\n");
}

TEST_F(Link, SecondQueryUnansweredCountsAsNoAnswer) {
    SimulatorProcess sim({"--monitor", "12345678A01", "--silent-queries", "2,4"});
    ConsoleScript console("c\n");
    app.commandLineLink = {1, 4, 1, 0, 2, 2};
    std::string answer;
    EXPECT_EQ(link.OpenAndIdentify(answer), 2) << "Cancel";
    EXPECT_TRUE(link.IsOpen());
    EXPECT_NE(console.Shown().find("Unable to identify the instrument."), std::string::npos);
}

TEST_F(Link, TraceShowsEveryLineAndAnswer) {
    SimulatorProcess sim({"--answer", "OK\\r\\n"});
    ConsoleScript console("o\no\n");
    app.traceMode = 1;
    ASSERT_EQ(link.OpenPort(), 0u);
    std::string query = "QEL?", answer;
    link.SendLine(query, false);
    link.ReadAnswer(answer, 255, 2);
    const std::string shown = console.Shown();
    EXPECT_NE(shown.find("---- qel32_link_tests [stop] ----\n"
                         "Following line has just been sent:\nQEL?\n"
                         "Buttons: (o) OK, (c) Cancel; Enter: OK\n"),
              std::string::npos)
        << shown;
    EXPECT_NE(shown.find("Following answer has just been received:\nOK\\r\\n\n"), std::string::npos)
        << shown;
}

TEST_F(Link, TraceCancelEndsTheProgramAtOnce) {
    SimulatorProcess sim({"--answer", "OK\\n"});
    app.traceMode = 1;
    ASSERT_EQ(link.OpenPort(), 0u);
    EXPECT_EXIT(
        {
            ConsoleScript console("c\n");
            std::string query = "QEL?";
            link.SendLine(query, false);
        },
        ::testing::ExitedWithCode(3), "");
}

// The line as a freshly plugged adapter has it (stty sane), seen through a second descriptor.
termios SaneLine(int fd) {
    termios tio{};
    ::tcgetattr(fd, &tio);
    tio.c_iflag |= BRKINT | ICRNL | IMAXBEL | IXON;
    tio.c_oflag |= OPOST | ONLCR;
    tio.c_lflag |= ICANON | ECHO | ECHOE | ECHOK | ISIG | IEXTEN;
    tio.c_cflag |= CRTSCTS | HUPCL;
    ::cfsetspeed(&tio, B38400);
    ::tcsetattr(fd, TCSANOW, &tio);
    ::tcgetattr(fd, &tio);
    return tio;
}

bool SameLine(const termios& a, const termios& b) {
    return a.c_iflag == b.c_iflag && a.c_oflag == b.c_oflag && a.c_lflag == b.c_lflag &&
           a.c_cflag == b.c_cflag && ::cfgetospeed(&a) == ::cfgetospeed(&b) &&
           std::equal(std::begin(a.c_cc), std::end(a.c_cc), std::begin(b.c_cc));
}

TEST_F(Link, OpeningMakesAnyLineRawAndClosingPutsItBack) {
    SimulatorProcess sim({"--monitor", "12345678A01"});
    const int observer = ::open(sim.Device().c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    ASSERT_GE(observer, 0);
    const termios before = SaneLine(observer);
    link.settings = {1, 8, 1, 0, 2, 2};
    ASSERT_EQ(link.OpenPort(), 0u);
    termios open{};
    ::tcgetattr(observer, &open);
    EXPECT_EQ(open.c_lflag & (ICANON | ECHO | ECHOE | ECHOK | ISIG | IEXTEN), 0u);
    EXPECT_EQ(open.c_iflag & (BRKINT | ICRNL | IXON | IMAXBEL), 0u);
    EXPECT_EQ(open.c_oflag & OPOST, 0u);
    EXPECT_EQ(open.c_cflag & CRTSCTS, 0u) << "no handshake clears the CTS flow control";
    EXPECT_EQ(open.c_cc[VMIN], 0);
    EXPECT_EQ(open.c_cc[VTIME], 0);
    // Bytes cross unchanged both ways.
    std::string query = "QEL?", answer;
    link.SendLine(query, false);
    EXPECT_EQ(link.ReadAnswer(answer, 255, 3), 0);
    EXPECT_EQ(answer, "0,12345678A01\n");
    EXPECT_EQ(Received(sim, 5), "QEL?\n");
    EXPECT_EQ(link.ClosePort(), 0);
    termios after{};
    ::tcgetattr(observer, &after);
    EXPECT_TRUE(SameLine(before, after)) << "the line as it was found";
    // Hardware handshake keeps the CTS flow control the port had.
    link.settings.handshake = 1;
    ASSERT_EQ(link.OpenPort(), 0u);
    ::tcgetattr(observer, &open);
    EXPECT_NE(open.c_cflag & CRTSCTS, 0u);
    link.ClosePort();
    ::close(observer);
}

TEST_F(Link, TheTimerTicksFinelyWhileThePortIsOpenAndOnlyThen) {
    SimulatorProcess sim({"--monitor", "12345678A01"});
    EXPECT_EQ(sys::FineTimerRequests(), 0);
    ASSERT_EQ(link.OpenPort(), 0u);
    EXPECT_EQ(sys::FineTimerRequests(), 1) << "raised for the transfer";
    EXPECT_EQ(link.ClosePort(), 0);
    EXPECT_EQ(sys::FineTimerRequests(), 0) << "given back";
    link.settings.port = 7; // nothing there: a failed opening leaves it as it was
    EXPECT_NE(link.OpenPort(), 0u);
    EXPECT_EQ(sys::FineTimerRequests(), 0);
}

TEST_F(Link, WhatCameBeforeTheOpeningIsDropped) {
    SimulatorProcess sim({"--monitor", "12345678A01", "--greeting", "stale answer\n"});
    ASSERT_EQ(link.OpenPort(), 0u);
    std::string answer;
    EXPECT_EQ(link.ReadAnswer(answer, 255, 1), 16) << answer;
}

TEST_F(Link, ALowerCaseEntryOfThePortsFolderOpens) {
    SimulatorProcess sim({"--monitor", "12345678A01"});
    const std::string folder = sim.PortsFolder();
    ASSERT_EQ(::rename((folder + "/COM1").c_str(), (folder + "/com1").c_str()), 0);
    EXPECT_EQ(link.OpenPort(), 0u);
    EXPECT_EQ(link.ClosePort(), 0);
}

class LockFiles : public Link {
  protected:
    void SetUp() override {
        Link::SetUp();
        folder =
            std::filesystem::temp_directory_path() / ("qel32-locks-" + std::to_string(::getpid()));
        std::filesystem::create_directories(folder);
        ::setenv("QEL32_LOCKDIR", folder.c_str(), 1);
    }
    void TearDown() override {
        ::unsetenv("QEL32_LOCKDIR");
        std::filesystem::remove_all(folder);
    }
    std::string LockOf(const SimulatorProcess& sim) const {
        std::string name = sim.Device().substr(5); // "/dev/pts/N"
        std::replace(name.begin(), name.end(), '/', '_');
        return (folder / ("LCK.." + name)).string();
    }
    static void Write(const std::string& path, long pid) {
        std::ofstream(path) << std::setw(10) << pid << "\n";
    }
    static long Read(const std::string& path) {
        long pid = -1;
        std::ifstream(path) >> pid;
        return pid;
    }
    std::filesystem::path folder;
};

TEST_F(LockFiles, TheOpenPortIsLockedAsTerminalProgramsLockIt) {
    SimulatorProcess sim({"--monitor", "12345678A01"});
    ASSERT_EQ(link.OpenPort(), 0u);
    EXPECT_EQ(Read(LockOf(sim)), static_cast<long>(::getpid()));
    EXPECT_EQ(link.ClosePort(), 0);
    EXPECT_FALSE(std::filesystem::exists(LockOf(sim))) << "released with the port";
}

TEST_F(LockFiles, ALiveLockIsHonouredAndAStaleOneRemoved) {
    SimulatorProcess sim({"--monitor", "12345678A01"});
    // A live owner: a child that waits.
    const pid_t owner = ::fork();
    if (owner == 0) {
        ::pause();
        ::_exit(0);
    }
    Write(LockOf(sim), owner);
    EXPECT_EQ(link.OpenPort(), static_cast<DWORD>(EACCES));
    EXPECT_EQ(CQelComm::SystemErrorText(EACCES), "Permission denied");
    EXPECT_EQ(Read(LockOf(sim)), static_cast<long>(owner)) << "not ours to remove";
    ::kill(owner, SIGKILL);
    ::waitpid(owner, nullptr, 0);
    // Its owner is gone: the lock is taken over.
    EXPECT_EQ(link.OpenPort(), 0u);
    EXPECT_EQ(Read(LockOf(sim)), static_cast<long>(::getpid()));
    link.ClosePort();
}

TEST_F(LockFiles, NoLockFolderIsNoObstacle) {
    SimulatorProcess sim({"--monitor", "12345678A01"});
    ::setenv("QEL32_LOCKDIR", "/nonexistent/qel32-locks", 1);
    EXPECT_EQ(link.OpenPort(), 0u);
    EXPECT_EQ(link.ClosePort(), 0);
}

TEST_F(Link, ExclusiveUseNeverOutlivesTheProgramsOwn) {
    SimulatorProcess sim({"--monitor", "12345678A01"});
    // Held open throughout, so that the terminal and its flag outlive each closing; root reads
    // the flag, as exclusive use does not bind root.
    const int watcher = ::open(sim.Device().c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    ASSERT_GE(watcher, 0) << std::strerror(errno);
    for (int pass = 0; pass < 3; ++pass) {
        ASSERT_EQ(link.OpenPort(), 0u) << "pass " << pass;
        int exclusive = 0;
        ASSERT_EQ(::ioctl(watcher, TIOCGEXCL, &exclusive), 0);
        EXPECT_EQ(exclusive, 1) << "pass " << pass << ": the port is the program's alone";
        EXPECT_EQ(link.ClosePort(), 0);
        ASSERT_EQ(::ioctl(watcher, TIOCGEXCL, &exclusive), 0);
        EXPECT_EQ(exclusive, 0) << "pass " << pass << ": given back at closing";
    }
    ::close(watcher);
    // Another program of the same user opens it afterwards.
    const int other = ::open(sim.Device().c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    EXPECT_GE(other, 0) << std::strerror(errno);
    if (other >= 0)
        ::close(other);
}

// While the port is held its driver hands over what arrives at once (low-latency mode), and the
// flags found are given back at closing: a pseudo-terminal has no such flags, so a stand-in
// driver's take its place.
TEST_F(Link, LowLatencyWhileHeldAndTheFlagsFoundGivenBack) {
    static int flags = 0;
    const auto saved = sys::posix::serialFlagsCall;
    sys::posix::serialFlagsCall = [](int, unsigned long request, serial_struct* serial) {
        if (request == TIOCGSERIAL)
            serial->flags = flags;
        else
            flags = serial->flags;
        return 0;
    };
    SimulatorProcess sim({"--monitor", "12345678A01"});
    for (const int found : {ASYNC_SKIP_TEST, ASYNC_SKIP_TEST | ASYNC_LOW_LATENCY}) {
        flags = found;
        ASSERT_EQ(link.OpenPort(), 0u);
        EXPECT_EQ(flags, found | ASYNC_LOW_LATENCY) << "while the port is held";
        EXPECT_EQ(link.ClosePort(), 0);
        EXPECT_EQ(flags, found) << "as found, after closing";
    }
    sys::posix::serialFlagsCall = saved;
}

TEST_F(Link, APortInAnotherProgramsExclusiveModeIsRefused) {
    if (::geteuid() == 0)
        GTEST_SKIP() << "the exclusive mode does not bind root";
    SimulatorProcess sim({"--monitor", "12345678A01"});
    const int holder = ::open(sim.Device().c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    ASSERT_GE(holder, 0);
    ASSERT_EQ(::ioctl(holder, TIOCEXCL), 0);
    EXPECT_EQ(link.OpenPort(), static_cast<DWORD>(EACCES));
    ::ioctl(holder, TIOCNXCL);
    ::close(holder);
    EXPECT_EQ(link.OpenPort(), 0u);
    link.ClosePort();
}

TEST(Pause, CharacterTimesAtTheLineSpeed) {
    sys::CommState tenBits; // 8 data bits, no parity, 1 stop bit
    const std::tuple<unsigned, DWORD, long> table[] = {
        {5, 600, 83}, {5, 9600, 5}, {5, 115200, 0}, {255, 600, 4250}, {0, 600, 0},
    };
    for (const auto& [count, rate, ms] : table) {
        tenBits.baudRate = rate;
        EXPECT_EQ(CQelComm::PauseMilliseconds(count, tenBits), ms) << count << " at " << rate;
    }
    sys::CommState twelveBits; // 8 data bits, parity, 2 stop bits
    twelveBits.baudRate = 1200;
    twelveBits.parity = EVENPARITY;
    twelveBits.stopBits = TWOSTOPBITS;
    EXPECT_EQ(CQelComm::PauseMilliseconds(10, twelveBits), 100);
}

} // namespace
