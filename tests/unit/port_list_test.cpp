#include "link/port_list.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <map>

namespace {

constexpr DWORD windowsNt = 0x23F00206;    // 6.2
constexpr DWORD windows95 = 0xC0000004;    // 4.0, top bit set
constexpr DWORD windowsOther = 0x0000000A; // neither family

std::string Normal(std::string path) {
    while (!path.empty() && path.back() == '\\')
        path.pop_back();
    std::transform(path.begin(), path.end(), path.begin(), ::tolower);
    return path;
}

class FakeRegistry : public sys::Registry {
  public:
    void Add(const std::string& key, const std::string& name, const std::string& value) {
        keys_[Normal(key)].emplace_back(name, value);
    }
    void AddKey(const std::string& key) { keys_[Normal(key)]; }

    std::optional<std::vector<std::string>> ValueData(const std::string& keyPath,
                                                      std::size_t maxValues, std::size_t) override {
        const auto it = keys_.find(Normal(keyPath));
        if (it == keys_.end())
            return std::nullopt;
        std::vector<std::string> data;
        for (const auto& [name, value] : it->second)
            if (data.size() < maxValues)
                data.push_back(value);
        return data;
    }
    bool KeyOpens(const std::string& keyPath) override { return keys_.count(Normal(keyPath)) != 0; }
    std::optional<std::string> Value(const std::string& keyPath, const std::string& valueName,
                                     std::size_t) override {
        const auto it = keys_.find(Normal(keyPath));
        if (it == keys_.end())
            return std::nullopt;
        for (const auto& [name, value] : it->second)
            if (Normal(name) == Normal(valueName))
                return value;
        return std::nullopt;
    }

  private:
    std::map<std::string, std::vector<std::pair<std::string, std::string>>> keys_;
};

struct FakeDevice {
    WORD vid, pid;
    std::string serial, product;
    bool opens = true, vidReads = true;
};

class FakeLibrary : public sys::BridgeLibrary {
  public:
    std::vector<FakeDevice> devices;
    int opened = 0, closed = 0;

    int GetNumDevices(DWORD* count) override {
        *count = static_cast<DWORD>(devices.size());
        return 0;
    }
    int Open(DWORD index, Device* device) override {
        if (!devices[index].opens)
            return 1;
        ++opened;
        *device = &devices[index];
        return 0;
    }
    int Close(Device) override {
        ++closed;
        return 0;
    }
    int GetProductText(Device d, char* text, BYTE* length) override {
        std::strcpy(text, Of(d).product.c_str());
        *length = static_cast<BYTE>(Of(d).product.size());
        return 0;
    }
    int GetSerialText(Device d, char* text, BYTE* length) override {
        std::memcpy(text, Of(d).serial.data(), Of(d).serial.size()); // no terminating zero
        *length = static_cast<BYTE>(Of(d).serial.size());
        return 0;
    }
    int GetVid(Device d, WORD* vid) override {
        *vid = Of(d).vid;
        return Of(d).vidReads ? 0 : 1;
    }
    int GetPid(Device d, WORD* pid) override {
        *pid = Of(d).pid;
        return 0;
    }

  private:
    static FakeDevice& Of(Device d) { return *static_cast<FakeDevice*>(d); }
};

const std::string deviceMap = "Hardware\\DeviceMap\\SerialComm";
const std::string usb = "SYSTEM\\CurrentControlSet\\Enum\\USB\\";

void AddNtPort(FakeRegistry& r, const std::string& form, const std::string& port) {
    r.AddKey("SYSTEM\\CurrentControlSet\\");
    r.AddKey(usb);
    r.Add(usb + form + "\\Device Parameters\\", "PortName", port);
}

std::vector<std::string> Labels(const std::vector<PortListEntry>& list) {
    std::vector<std::string> labels;
    for (const auto& e : list)
        labels.push_back(e.label + "=" + std::to_string(e.portNumber));
    return labels;
}

TEST(PortList, DeviceMapInAscendingOrder) {
    FakeRegistry r;
    r.Add(deviceMap, "\\Device\\Serial2", "COM3");
    r.Add(deviceMap, "\\Device\\Serial0", "COM1");
    r.Add(deviceMap, "\\Device\\Serial9", "COM10");
    r.Add(deviceMap, "\\Device\\Odd", "XYZ");
    r.Add(deviceMap, "\\Device\\Again", "COM1");
    FakeLibrary lib;
    EXPECT_EQ(Labels(BuildPortList(r, lib, windowsNt)),
              (std::vector<std::string>{"COM0=0", "COM1=1", "COM1=1", "COM3=3", "COM10=10"}));
}

TEST(PortList, BridgesReplaceInPlaceOrAppend) {
    FakeRegistry r;
    r.Add(deviceMap, "a", "COM1");
    r.Add(deviceMap, "b", "COM3");
    r.Add(deviceMap, "c", "COM4");
    AddNtPort(r, "Vid_10c4&Pid_ea60\\0001", "COM3");
    AddNtPort(r, "Vid_10c4&Pid_ea60\\0002", "COM20");
    AddNtPort(r, "Vid_10c4&Pid_ea60\\0003", "COM3");
    FakeLibrary lib;
    lib.devices = {{0x10C4, 0xEA60, "0001", "CP2102"},
                   {0x10C4, 0xEA60, "0002", "CP2102"},
                   {0x10C4, 0xEA60, "0003", "CP2102"}};
    EXPECT_EQ(Labels(BuildPortList(r, lib, windowsNt)),
              (std::vector<std::string>{"COM1=1", "COM3 (USB)=3", "COM4=4", "COM20 (USB)=20",
                                        "COM3 (USB)=3"}));
    EXPECT_EQ(lib.opened, 3);
    EXPECT_EQ(lib.closed, 3);
}

TEST(PortList, NoDeviceMapListsTheBridgesOnly) {
    FakeRegistry r;
    AddNtPort(r, "Vid_0403&Pid_6001\\A1", "COM7");
    FakeLibrary lib;
    lib.devices = {{0x0403, 0x6001, "A1", "FT232R"}};
    EXPECT_EQ(Labels(BuildPortList(r, lib, windowsNt)), (std::vector<std::string>{"COM7 (USB)=7"}));
}

TEST(PortList, BridgeWithoutRegistryEntryByFamily) {
    FakeRegistry r;
    r.Add(deviceMap, "a", "COM1");
    FakeLibrary lib;
    lib.devices = {{0x10C4, 0xEA60, "X", ""}};
    EXPECT_EQ(BuildPortList(r, lib, windowsNt).back().label, "COM-1 (USB)");
    EXPECT_EQ(BuildPortList(r, lib, windows95).back().label, "COM-1 (USB)");
    EXPECT_EQ(BuildPortList(r, lib, windowsOther).back().label, "COM0 (USB)");
    EXPECT_EQ(BuildPortList(r, lib, windowsOther).back().portNumber, 0);
}

TEST(PortList, FailedLibraryCallsLeaveZerosAndFindNothing) {
    FakeRegistry r;
    AddNtPort(r, "Vid_10c4&Pid_ea60\\S", "COM5");
    FakeLibrary lib;
    lib.devices = {{0x10C4, 0xEA60, "S", ""}, {0x10C4, 0xEA60, "S", ""}};
    lib.devices[0].opens = false;
    lib.devices[1].vidReads = false;
    const auto bridges = EnumerateBridges(r, lib, windowsNt);
    ASSERT_EQ(bridges.size(), 2u);
    EXPECT_EQ(bridges[0].vendorId, 0);
    EXPECT_EQ(bridges[0].portNumber, -1);
    EXPECT_EQ(bridges[1].serialText, "") << "not read after the failed vendor ID";
    EXPECT_EQ(bridges[1].portNumber, -1);
    EXPECT_EQ(lib.closed, 1) << "only what was opened is closed";
}

TEST(BridgeLookupNt, InterfaceFormFirstThenDeviceForm) {
    FakeRegistry r;
    AddNtPort(r, "Vid_10c4&Pid_ea70&Mi_00\\My_Serial_00", "COM12");
    AddNtPort(r, "Vid_10c4&Pid_ea70\\My_Serial", "COM13");
    EXPECT_EQ(FindBridgePortNt(r, 0x10C4, 0xEA70, "My Serial"), 12) << "blanks as underscores";
    AddNtPort(r, "Vid_10c4&Pid_ea60\\ABC", "COM7");
    EXPECT_EQ(FindBridgePortNt(r, 0x10C4, 0xEA60, "ABC"), 7);
    // The interface key without its value: no second try.
    r.AddKey(usb + "Vid_10c4&Pid_ea80&Mi_00\\Z_00\\Device Parameters\\");
    AddNtPort(r, "Vid_10c4&Pid_ea80\\Z", "COM9");
    EXPECT_EQ(FindBridgePortNt(r, 0x10C4, 0xEA80, "Z"), -1);
    EXPECT_EQ(FindBridgePortNt(r, 0x10C4, 0xEA90, "none"), -1);
    FakeRegistry empty;
    EXPECT_EQ(FindBridgePortNt(empty, 0x10C4, 0xEA60, "ABC"), -1);
}

TEST(BridgeLookup9x, UpperCaseIdentityAndTheLastMatchWins) {
    FakeRegistry r;
    const std::string id = "USB\\VID_10C4&PID_EA60&MI_00\\MY_SERIAL_00";
    r.Add("Enum\\SLABCR\\guid\\0000", "CRLowerDeviceID", id);
    r.Add("Enum\\SLABCR\\guid\\0000", "Portname", "COM4");
    r.Add("Enum\\SLABCR\\guid\\0001", "CRLowerDeviceID", "USB\\VID_10C4&PID_EA60&MI_00\\other_00");
    r.Add("Enum\\SLABCR\\guid\\0001", "Portname", "COM5");
    r.Add("Enum\\SLABCR\\guid\\0002", "CRLowerDeviceID", id);
    r.Add("Enum\\SLABCR\\guid\\0002", "Portname", "COM6");
    r.Add("Enum\\SLABCR\\guid\\0004", "CRLowerDeviceID", id); // after a gap: never reached
    r.Add("Enum\\SLABCR\\guid\\0004", "Portname", "COM8");
    EXPECT_EQ(FindBridgePort9x(r, 0x10C4, 0xEA60, "my serial"), 6);
    FakeRegistry lower;
    lower.Add("Enum\\SLABCR\\guid\\0000", "CRLowerDeviceID", "USB\\VID_10c4&PID_ea60&MI_00\\S_00");
    lower.Add("Enum\\SLABCR\\guid\\0000", "Portname", "COM4");
    EXPECT_EQ(FindBridgePort9x(lower, 0x10C4, 0xEA60, "S"), -1) << "compared case-sensitively";
}

} // namespace
