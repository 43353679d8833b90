// Device settings in the registry: the reader's order and defaults, the
// analog-output strings, the description, and the writer.
#include <config/registry_paths.h>
#include <config/settings.h>
#include <core/device.h>

#include <map>
#include <string>
#include <vector>

#include "lab_fixture.h"

namespace ktztest {
namespace {

using ktz::DeviceSettings;

constexpr char kSettings0[] = "SYSTEM\\CurrentControlSet\\Services\\KTZ3649S\\Device000";

// Every value of a key: name -> (type, bytes).
using Values = std::map<std::string, std::pair<DWORD, std::string>>;

Values ReadValues(const char *path) {
    Values values;
    HKEY key;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, path, 0, KEY_READ, &key) != ERROR_SUCCESS) return values;
    static const char *const names[] = {
        "DeviceName", "DriverName", "KernelKey",   "BaseAddress",  "BoardID",    "IoPortCount",
        "AllowConflicts", "Interrupt", "DMA",      "DMABaseAddress", "TimerClock", "OnSystem",
        "BusNumber", "SlotNumber", "CJCChannel", "NumExpChan",  "DioPortMode", "FreqArea",
        "PWMArea",   "ChanConfig", "AOSettings 0", "AOSettings 1", "Extra"};
    for (const char *name : names) {
        char data[256];
        DWORD size = sizeof data, type = 0;
        if (RegQueryValueExA(key, name, nullptr, &type, reinterpret_cast<BYTE *>(data), &size) ==
            ERROR_SUCCESS)
            values[name] = {type, std::string(data, size)};
    }
    RegCloseKey(key);
    return values;
}

void SetValue(const char *path, const char *name, DWORD type, const void *data, DWORD size) {
    HKEY key;
    ASSERT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, path, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                              &key, nullptr),
              ERROR_SUCCESS);
    RegSetValueExA(key, name, 0, type, static_cast<const BYTE *>(data), size);
    RegCloseKey(key);
}

void SetNumber(const char *name, DWORD value) {
    SetValue(kSettings0, name, REG_DWORD, &value, sizeof value);
}

void SetText(const char *name, const char *text) {
    SetValue(kSettings0, name, REG_SZ, text, static_cast<DWORD>(strlen(text) + 1));
}

void DeleteValue(const char *name) {
    HKEY key;
    ASSERT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, kSettings0, 0, KEY_ALL_ACCESS, &key),
              ERROR_SUCCESS);
    RegDeleteValueA(key, name);
    RegCloseKey(key);
}

class SettingsTest : public LabTest {
protected:
    void SetUp() override {
        LabTest::SetUp();
        Install(0);
    }
};

TEST_F(SettingsTest, ReadStopsAtTheFirstMissingNumber) {
    SetNumber("Interrupt", 11);
    SetNumber("ChanConfig", 0x00F0);
    DeleteValue("TimerClock");  // read after Interrupt and DMA, before NumExpChan
    SetNumber("NumExpChan", 3);
    DeviceSettings s{};
    s.DioPortMode = 0x4321;  // a field the defaults set
    EXPECT_EQ(ktz::ReadDeviceSettings(0, &s), 1u);
    EXPECT_EQ(s.BaseAddress, 0xE000);
    EXPECT_EQ(s.Interrupt, 11);
    EXPECT_EQ(s.TimerClock, 1);   // default
    EXPECT_EQ(s.NumExpChan, 0);   // default, not the stored 3
    EXPECT_EQ(s.CJCChannel, 0xFFFF);
    EXPECT_EQ(s.DioPortMode, 0);  // default
    EXPECT_EQ(s.ChanConfig, 0);   // not reached
    EXPECT_EQ(s.aoSettings[0].maximum, 5.0f);

    SetNumber("TimerClock", 1);
    DeleteValue("ChanConfig");  // the last number
    s = {};
    EXPECT_EQ(ktz::ReadDeviceSettings(0, &s), 1u);
    EXPECT_EQ(s.NumExpChan, 3);
    EXPECT_EQ(s.DMABaseAddress, 0);
    KTZHANDLE handle = 1;
    EXPECT_EQ(DeviceOpen(0, &handle), 2u);
}

TEST_F(SettingsTest, NumbersTakeTheirWidth) {
    SetNumber("IoPortCount", 65537);  // a u16 field: the low 16 bits
    SetNumber("BusNumber", 0x12345678);
    DeviceSettings s{};
    ASSERT_EQ(ktz::ReadDeviceSettings(0, &s), 0u);
    EXPECT_EQ(s.IoPortCount, 1);
    EXPECT_EQ(s.BusNumber, 0x12345678u);
}

TEST_F(SettingsTest, AnalogOutputStringsParse) {
    const struct {
        const char *text;
        WORD reference;
        float maximum, minimum;
    } cases[] = {
        {"     0    10   -10", 0, 10.0f, -10.0f},
        {"     2     5     0", 2, 5.0f, 0.0f},
        {"  1.5  2.5x    -3", 1, 2.5f, -3.0f},  // parsing stops at what does not fit
        {"     1", 1, 0.0f, 0.0f},               // a short string leaves zeros
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.text);
        SetText("AOSettings 1", c.text);
        DeviceSettings s{};
        ASSERT_EQ(ktz::ReadDeviceSettings(0, &s), 0u);
        EXPECT_EQ(s.aoSettings[1].referenceSource, c.reference);
        EXPECT_EQ(s.aoSettings[1].maximum, c.maximum);
        EXPECT_EQ(s.aoSettings[1].minimum, c.minimum);
    }
    // The widest strings the writer stores (six-character voltages) are read;
    // only longer ones are refused.
    const struct {
        const char *text;
        DWORD result;
    } sizes[] = {{"     0 -10000    -5", 0}, {"     0 -10000 -32768", 0},
                 {"     0 -10000 -32768 ", 1}};
    for (const auto &c : sizes) {
        SCOPED_TRACE(c.text);
        SetText("AOSettings 1", c.text);
        DeviceSettings s{};
        EXPECT_EQ(ktz::ReadDeviceSettings(0, &s), c.result);
    }
}

TEST_F(SettingsTest, WidestStoredRangeStillOpens) {
    DeviceSettings s{};
    ASSERT_EQ(ktz::ReadDeviceSettings(0, &s), 0u);
    s.aoSettings[0] = {0, 100000.0f, -10000.0f, 0, 0};
    ktz::SetCurrentDeviceNumber(0);
    ASSERT_EQ(ktz::WriteDeviceSettings(&s), 0u);
    KTZHANDLE handle = 0;
    ASSERT_EQ(DeviceOpen(0, &handle), 0u);
    open_.push_back(handle);
}

TEST_F(SettingsTest, WriterStoresTruncatedWholeVolts) {
    DeviceSettings s{};
    ASSERT_EQ(ktz::ReadDeviceSettings(0, &s), 0u);
    s.aoSettings[0] = {0, 5.9f, -0.5f, 0, 0};
    s.aoSettings[1] = {2, -10.7f, 40000.0f, 0, 0};
    ktz::SetCurrentDeviceNumber(0);
    ASSERT_EQ(ktz::WriteDeviceSettings(&s), 0u);
    auto values = ReadValues(kSettings0);
    EXPECT_EQ(values["AOSettings 0"], std::make_pair(DWORD{REG_SZ},
                                                     std::string("     0     5     0\0", 19)));
    // 40000 does not fit 16 bits: it wraps as a 16-bit integer would.
    EXPECT_EQ(values["AOSettings 1"].second, std::string("     2   -10 -25536\0", 20));
}

TEST_F(SettingsTest, Descriptions) {
    const struct {
        DWORD board;
        WORD base, expansion;
        const char *text;
    } cases[] = {
        {97, 0xE000, 2, "PCI-3649 With Exp. I/O=e000H"},
        {97, 0x220, 0, "PCI-3649 I/O=220H"},
        {169, 0xC800, 0, "PCI-3649L I/O=c800H"},
        {5, 0x0, 1, "PCI-3649L With Exp. I/O=0H"},
    };
    for (const auto &c : cases) {
        DeviceSettings s{};
        s.BoardID = c.board;
        s.BaseAddress = c.base;
        s.NumExpChan = c.expansion;
        char text[64];
        ktz::DescribeDevice(s, text, sizeof text);
        EXPECT_STREQ(text, c.text);
    }
}

TEST_F(SettingsTest, WriterReplacesBothKeysWhole) {
    const char *shared = "SYSTEM\\CurrentControlSet\\Services\\KTZDAQ\\Device007";
    const char *settings = "SYSTEM\\CurrentControlSet\\Services\\KTZ3649S\\Device007";
    DWORD one = 1;
    SetValue(shared, "Extra", REG_DWORD, &one, 4);
    SetValue(settings, "Extra", REG_DWORD, &one, 4);
    SetValue((std::string(settings) + "\\Sub").c_str(), "Extra", REG_DWORD, &one, 4);
    DeviceSettings s{};
    ASSERT_EQ(ktz::ReadDeviceSettings(0, &s), 0u);
    ktz::SetCurrentDeviceNumber(7);
    ASSERT_EQ(ktz::WriteDeviceSettings(&s), 0u);
    EXPECT_EQ(ReadValues(shared).count("Extra"), 0u);
    EXPECT_EQ(ReadValues(settings).count("Extra"), 0u);
    HKEY key;
    EXPECT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, (std::string(settings) + "\\Sub").c_str(), 0,
                            KEY_READ, &key),
              ERROR_FILE_NOT_FOUND);
    auto list = ReadValues(shared);
    EXPECT_EQ(list.size(), 4u);
    EXPECT_EQ(list["DeviceName"].second, std::string("PCI-3649 I/O=e000H\0", 19));
    EXPECT_EQ(list["KernelKey"].second, std::string("KTZ3649S\0", 9));
}

TEST_F(SettingsTest, LabInstallStoresWhatTheWriterStores) {
    // The lab's one-call install and the library's writer agree value for value.
    auto installed = ReadValues(kSettings0);
    auto installedShared = ReadValues("SYSTEM\\CurrentControlSet\\Services\\KTZDAQ\\Device000");
    DeviceSettings s{};
    ASSERT_EQ(ktz::ReadDeviceSettings(0, &s), 0u);
    ktz::SetCurrentDeviceNumber(0);
    ASSERT_EQ(ktz::WriteDeviceSettings(&s), 0u);
    EXPECT_EQ(ReadValues(kSettings0), installed);
    EXPECT_EQ(ReadValues("SYSTEM\\CurrentControlSet\\Services\\KTZDAQ\\Device000"), installedShared);
    EXPECT_EQ(installed.size(), 22u);
}

TEST_F(SettingsTest, ConfiguredMeansBusAndSlotAreStored) {
    DWORD out[2] = {};
    EXPECT_EQ(ktz::IsDeviceConfigured(0, out) & 0xFF, 1u);
    EXPECT_EQ(out[0], 0u);
    EXPECT_EQ(out[1], 13u);
    DeleteValue("SlotNumber");
    EXPECT_EQ(ktz::IsDeviceConfigured(0, out) & 0xFF, 0u);
    EXPECT_EQ(ktz::IsDeviceConfigured(9, out) & 0xFF, 0u);
}

TEST_F(SettingsTest, DeleteKeyTree) {
    DWORD one = 1;
    SetValue("SOFTWARE\\Tree\\A\\B\\C", "v", REG_DWORD, &one, 4);
    SetValue("SOFTWARE\\Tree\\D", "v", REG_DWORD, &one, 4);
    EXPECT_EQ(ktz::DeleteKeyTree(HKEY_LOCAL_MACHINE, nullptr), 1010u);
    EXPECT_EQ(ktz::DeleteKeyTree(HKEY_LOCAL_MACHINE, ""), 1010u);
    EXPECT_EQ(ktz::DeleteKeyTree(HKEY_LOCAL_MACHINE, "SOFTWARE\\Tree"), 0u);
    HKEY key;
    EXPECT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Tree", 0, KEY_READ, &key),
              ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(ktz::DeleteKeyTree(HKEY_LOCAL_MACHINE, "SOFTWARE\\Tree"),
              static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
}

}  // namespace
}  // namespace ktztest
