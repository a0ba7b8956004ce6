#include "sys/posix/locale_language.h"
#include "sys/sys.h"
#include "ui/language_dlg.h"

#include "sys/posix/usb_ports.h"
#include "sys/serial.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <clocale>

#include <cstdlib>
#include <filesystem>
#include <fstream>

namespace {

namespace fs = std::filesystem;

TEST(ProfileLanguage, LocalesGiveWindowsCodes) {
    const std::pair<const char*, const char*> table[] = {
        {"fr_FR.UTF-8", "FRA"},      {"fr_CA.UTF-8", "FRC"}, {"fr_BE", "FRB"},
        {"fr_CH.ISO-8859-1", "FRS"}, {"en_US.UTF-8", "ENU"}, {"en_GB.UTF-8", "ENG"},
        {"de_DE.UTF-8@euro", "DEU"}, {"eo", "EOO"},          {"xx_YY.UTF-8", "XXY"},
    };
    for (const auto& [locale, code] : table)
        EXPECT_EQ(sys::posix::ProfileLanguageFromLocale(nullptr, nullptr, locale).value_or("-"),
                  code)
            << locale;
}

TEST(ProfileLanguage, FirstSetVariableWinsAndCIsAbsent) {
    EXPECT_EQ(sys::posix::ProfileLanguageFromLocale("en_US.UTF-8", "fr_FR", "fr_FR").value(),
              "ENU");
    EXPECT_EQ(sys::posix::ProfileLanguageFromLocale("", "fr_CA", "en_US").value(), "FRC");
    EXPECT_FALSE(sys::posix::ProfileLanguageFromLocale(nullptr, nullptr, nullptr));
    EXPECT_FALSE(sys::posix::ProfileLanguageFromLocale("C", "fr_FR", nullptr));
    EXPECT_FALSE(sys::posix::ProfileLanguageFromLocale(nullptr, nullptr, "POSIX"));
    EXPECT_FALSE(sys::posix::ProfileLanguageFromLocale(nullptr, nullptr, "C.UTF-8"));
}

TEST(ProfileLanguage, ProposalComparesInUpperCase) {
    EXPECT_EQ(ProposedLanguage("FRA"), 0);
    EXPECT_EQ(ProposedLanguage("frc"), 0);
    EXPECT_EQ(ProposedLanguage("FRB"), 1); // other French regions propose English
    EXPECT_EQ(ProposedLanguage("ENU"), 1);
    EXPECT_EQ(ProposedLanguage(""), 1);
}

TEST(ProfileLanguage, ProfileValueIsTruncatedAndDefaulted) {
    ::setenv("LC_ALL", "C", 1);
    EXPECT_EQ(sys::GetProfileString("intl", "sLanguage", "FRA", 10), "FRA");
    ::setenv("LC_ALL", "en_GB.UTF-8", 1);
    EXPECT_EQ(sys::GetProfileString("intl", "sLanguage", "FRA", 10), "ENG");
    EXPECT_EQ(sys::GetProfileString("intl", "sLanguage", "FRA", 3), "EN");
    EXPECT_EQ(sys::GetProfileString("intl", "sCountry", "none", 10), "none");
    ::unsetenv("LC_ALL");
}

// The system's texts follow the user's messages locale and arrive as UTF-8, while the program
// itself stays in the C locale.
TEST(SystemText, SpeaksTheUsersLanguageInUtf8) {
    ::setenv("LC_ALL", "fr_FR.UTF-8", 1);
    EXPECT_EQ(sys::SystemErrorText(EACCES), "Permission non accord\xC3\xA9"
                                            "e");
    EXPECT_STREQ(std::setlocale(LC_MESSAGES, nullptr), "C");
    EXPECT_STREQ(std::setlocale(LC_CTYPE, nullptr), "C");
    ::setenv("LC_ALL", "no_SUCH.locale", 1);
    EXPECT_EQ(sys::SystemErrorText(EACCES), "Permission denied");
    ::unsetenv("LC_ALL");
}

class WindowsNames : public ::testing::Test {
  protected:
    void SetUp() override {
        root = fs::temp_directory_path() / ("qel32-names-" + std::to_string(::getpid()));
        fs::create_directories(root / "Upgrades");
        std::ofstream(root / "Upgrades" / "Firmware.HEX") << ":00000001FF\n";
    }
    void TearDown() override { fs::remove_all(root); }
    fs::path root;
};

TEST_F(WindowsNames, ComponentsMatchWithoutRegardToCase) {
    const std::string expected = (root / "Upgrades" / "Firmware.HEX").string();
    EXPECT_EQ(sys::ResolveUserFileName((root / "upgrades" / "firmware.hex").string()), expected);
    // The command line keeps a blank before the next option; Windows drops it, and dots too.
    EXPECT_EQ(sys::ResolveUserFileName((root / "upgrades" / "firmware.hex ").string()), expected);
    EXPECT_EQ(sys::ResolveUserFileName((root / "upgrades" / "firmware.hex. .").string()), expected);
    EXPECT_EQ(sys::ResolveUserFileName(expected), expected);
}

TEST_F(WindowsNames, NoMatchLeavesTheNameToFail) {
    const std::string missing = (root / "upgrades" / "other.hex").string();
    EXPECT_EQ(sys::ResolveUserFileName(missing), missing);
    EXPECT_EQ(sys::ResolveUserFileName(" "), " ");
}

} // namespace

#include "link/port_list.h"

namespace {

// A machine with a built-in UART (ttyS0), an absent one (ttyS1), a CP2102 adapter (ttyUSB0,
// serial with a blank) and a CDC-ACM adapter (ttyACM0).
class FakeSysfs : public ::testing::Test {
  protected:
    void SetUp() override {
        root = fs::temp_directory_path() / ("qel32-sysfs-" + std::to_string(::getpid()));
        const fs::path tty = root / "class" / "tty";
        const fs::path usb = root / "devices" / "pci0" / "usb1";
        Write(tty / "ttyS0" / "type", "4");
        fs::create_directories(root / "devices" / "platform" / "serial8250" / "tty" / "ttyS0");
        fs::create_directory_symlink(root / "devices" / "platform" / "serial8250",
                                     tty / "ttyS0" / "device");
        Write(tty / "ttyS1" / "type", "0");
        fs::create_directory_symlink(root / "devices" / "platform" / "serial8250",
                                     tty / "ttyS1" / "device");
        Adapter(usb / "1-1", "10c4", "ea60", "0001 A", "CP2102 USB to UART Bridge Controller");
        fs::create_directories(usb / "1-1" / "1-1:1.0" / "ttyUSB0");
        fs::create_directories(tty / "ttyUSB0");
        fs::create_directory_symlink(usb / "1-1" / "1-1:1.0" / "ttyUSB0",
                                     tty / "ttyUSB0" / "device");
        Adapter(usb / "1-2", "2341", "0043", "85736323", "Arduino Uno");
        fs::create_directories(usb / "1-2" / "1-2:1.0");
        fs::create_directories(tty / "ttyACM0");
        fs::create_directory_symlink(usb / "1-2" / "1-2:1.0", tty / "ttyACM0" / "device");
        ::setenv("QEL32_SYSFS", root.c_str(), 1);
        ::unsetenv("QEL32_PORTS");
    }
    void TearDown() override {
        ::unsetenv("QEL32_SYSFS");
        ::unsetenv("QEL32_PORTS");
        fs::remove_all(root);
    }
    static void Write(const fs::path& file, const std::string& text) {
        fs::create_directories(file.parent_path());
        std::ofstream(file) << text << "\n";
    }
    static void Adapter(const fs::path& dir, const char* vid, const char* pid, const char* serial,
                        const char* product) {
        Write(dir / "idVendor", vid);
        Write(dir / "idProduct", pid);
        Write(dir / "serial", serial);
        Write(dir / "product", product);
    }
    static std::vector<std::string> Labels() {
        std::vector<std::string> labels;
        for (const auto& e : BuildPortList())
            labels.push_back(e.label + "=" + std::to_string(e.portNumber));
        return labels;
    }
    fs::path root;
};

TEST_F(FakeSysfs, DefaultNumberingMarksTheUsbAdapters) {
    EXPECT_EQ(Labels(), (std::vector<std::string>{"COM1=1", "COM17 (USB)=17", "COM33 (USB)=33"}));
}

TEST_F(FakeSysfs, AdaptersWithOneIdentityEachGiveTheirOwnMarkedPort) {
    // A second CP2102 with the same serial, and a CH340 pair without any.
    const fs::path usb = root / "devices" / "usb";
    const fs::path tty = root / "class" / "tty";
    auto adapter = [&](const std::string& bus, const std::string& name, const char* vid,
                       const char* pid, const char* serial) {
        Adapter(usb / bus, vid, pid, serial, "bridge");
        fs::create_directories(usb / bus / (bus + ":1.0") / name);
        fs::create_directories(tty / name);
        fs::create_directory_symlink(usb / bus / (bus + ":1.0") / name, tty / name / "device");
    };
    adapter("1-3", "ttyUSB1", "10c4", "ea60", "0001 A");
    adapter("1-4", "ttyUSB2", "1a86", "7523", "");
    adapter("1-5", "ttyUSB3", "1a86", "7523", "");
    EXPECT_EQ(Labels(),
              (std::vector<std::string>{"COM1=1", "COM17 (USB)=17", "COM18 (USB)=18",
                                        "COM19 (USB)=19", "COM20 (USB)=20", "COM33 (USB)=33"}));
}

// An adapter pulled out and plugged back in may come back under another name: the port that
// opened it opens it again, and lists it under its own number.
TEST_F(FakeSysfs, APortFollowsItsAdapterToItsNewName) {
    const fs::path usb = root / "devices" / "pci0" / "usb1"; // where ttyUSB0 is
    const fs::path tty = root / "class" / "tty";
    auto plug = [&](const std::string& bus, const std::string& name) {
        fs::create_directories(usb / bus / (bus + ":1.0") / name);
        fs::create_directories(tty / name);
        fs::create_directory_symlink(usb / bus / (bus + ":1.0") / name, tty / name / "device");
    };
    auto unplug = [&](const std::string& name) { fs::remove_all(tty / name); };
    sys::posix::RememberPortDevice(17, "/dev/ttyUSB0");
    EXPECT_EQ(sys::PortDeviceName(17), "/dev/ttyUSB0");
    unplug("ttyUSB0");
    plug("1-1", "ttyUSB1");
    EXPECT_EQ(sys::PortDeviceName(17), "/dev/ttyUSB1");
    EXPECT_EQ(Labels(), (std::vector<std::string>{"COM1=1", "COM17 (USB)=17", "COM33 (USB)=33"}));
    // Away: the numbering again, for what is there.
    unplug("ttyUSB1");
    EXPECT_EQ(sys::PortDeviceName(17), "/dev/ttyUSB0");
    // Another adapter with the same identity, elsewhere on the bus, is not this one: an adapter
    // whose serial text another shares is told by where it is plugged in.
    plug("1-1", "ttyUSB0");
    Adapter(usb / "1-3", "10c4", "ea60", "0001 A", "bridge");
    plug("1-3", "ttyUSB1");
    sys::posix::RememberPortDevice(18, "/dev/ttyUSB1");
    unplug("ttyUSB1");
    unplug("ttyUSB0");
    plug("1-3", "ttyUSB0");
    plug("1-1", "ttyUSB1");
    EXPECT_EQ(sys::PortDeviceName(18), "/dev/ttyUSB0");
    EXPECT_EQ(sys::PortDeviceName(17), "/dev/ttyUSB1") << "the first one's serial is shared now";
    // A port that opens a device not on USB follows nothing any more.
    sys::posix::RememberPortDevice(17, "/dev/ttyS0");
    sys::posix::RememberPortDevice(18, "/dev/ttyS0");
    EXPECT_EQ(sys::PortDeviceName(18), "/dev/ttyUSB1");
}

TEST_F(FakeSysfs, PortMapNumbersTheDevices) {
    const fs::path ports = root / "ports";
    fs::create_directories(ports);
    fs::create_symlink("/dev/ttyS0", ports / "COM1");
    fs::create_symlink("/dev/ttyUSB0", ports / "COM3");
    fs::create_symlink("/dev/ttyACM0", ports / "com4"); // as Wine writes them
    ::setenv("QEL32_PORTS", ports.c_str(), 1);
    EXPECT_EQ(Labels(), (std::vector<std::string>{"COM1=1", "COM3 (USB)=3", "COM4 (USB)=4"}));
    auto library = sys::LoadBridgeLibrary();
    auto registry = sys::OpenSystemRegistry();
    const auto bridges = EnumerateBridges(*registry, *library, sys::GetVersion());
    ASSERT_EQ(bridges.size(), 2u);
    EXPECT_EQ(bridges[0].vendorId, 0x10C4);
    EXPECT_EQ(bridges[0].productId, 0xEA60);
    // The text that keys the adapter's registry entry: its device, then its serial.
    EXPECT_EQ(bridges[0].serialText, "ttyUSB0&0001 A");
    EXPECT_EQ(bridges[0].extraText, "CP2102 USB to UART Bridge Controller");
}

} // namespace

#include "app/upgrade_app.h"
#include "console_script.h"
#include "ui/comm_settings_dlg.h"

namespace {

TEST_F(FakeSysfs, SettingsDialogListsThePortsWithTheirMarks) {
    CUpgradeApp app;
    app.language = 1;
    ConsoleScript console("p COM33 (USB)\n\n");
    CCommSettingsDlg dialog(nullptr);
    dialog.SetFrom({17, 4, 1, 0, 2, 2});
    EXPECT_EQ(dialog.DoModal(), IDOK);
    const std::string shown = console.Shown();
    // The port chosen before stays selected, above 8 too.
    EXPECT_NE(shown.find("Ports\n    COM1\n  > COM17 (USB)\n    COM33 (USB)\n"), std::string::npos)
        << shown;
    EXPECT_NE(shown.find("Ports\n    COM1\n    COM17 (USB)\n  > COM33 (USB)\n"), std::string::npos)
        << "after the answer: " << shown;
    EXPECT_EQ(dialog.port, 33) << "the item data is the port";
}

TEST_F(FakeSysfs, SettingsDialogFallsBackWhenThePortIsNotListed) {
    CUpgradeApp app;
    app.language = 1;
    for (const auto& [given, shownList] :
         {std::pair<int, std::string>{12, "Ports\n  > COM1\n    COM17 (USB)\n"},
          std::pair<int, std::string>{0, "Ports\n  > COM1\n    COM17 (USB)\n"}}) {
        ConsoleScript console("\n");
        CCommSettingsDlg dialog(nullptr);
        dialog.SetFrom({given, 4, 1, 0, 2, 2});
        EXPECT_EQ(dialog.DoModal(), IDOK);
        EXPECT_NE(console.Shown().find(shownList), std::string::npos) << given << console.Shown();
        EXPECT_EQ(dialog.port, 1) << given;
    }
}

} // namespace
