// The simulated driver: detection, found-device records, device objects,
// MapEntry and BaseAddress, and the exact buffer sizes of its requests.
#include <ktz3649_driver.h>

#include <string>

#include "lab_fixture.h"

namespace ktztest {
namespace {

constexpr char kServiceKey[] = "SYSTEM\\CurrentControlSet\\Services\\KTZ3649S";

struct Found {
    DWORD bus, slot, configured, base, irq, function, kind, reserved;
};

bool ReadFound(int index, Found *found) {
    HKEY key;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, kServiceKey, 0, KEY_READ, &key) != ERROR_SUCCESS)
        return false;
    char name[32];
    wsprintfA(name, "FoundDevice%d", index);
    DWORD size = sizeof *found, type = 0;
    LONG rc = RegQueryValueExA(key, name, nullptr, &type, reinterpret_cast<BYTE *>(found), &size);
    RegCloseKey(key);
    return rc == ERROR_SUCCESS && type == REG_BINARY && size == 32;
}

std::string MapEntry(unsigned device) {
    HKEY key;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SYSTEM\\CurrentControlSet\\Services\\KTZDAQ\\MapEntry",
                      0, KEY_READ, &key) != ERROR_SUCCESS)
        return "";
    char name[16], path[128] = {};
    wsprintfA(name, "%u", device);
    DWORD size = sizeof path - 1;
    LONG rc = RegQueryValueExA(key, name, nullptr, nullptr, reinterpret_cast<BYTE *>(path), &size);
    RegCloseKey(key);
    return rc == ERROR_SUCCESS ? path : "";
}

class DriverTest : public LabTest {};

TEST_F(DriverTest, StartRecordsFoundCardsAndPublishesConfiguredDevices) {
    KtzSimCard second{2, 5, KTZSIM_PCI3649L, 0xD800, 10};
    ASSERT_EQ(KtzSimAddCardEx(&second), 1);
    Install(4, 1, [](KtzSimDeviceSettings &s) { s.baseAddress = 0; });

    Found f0{}, f1{}, f2{};
    ASSERT_TRUE(ReadFound(0, &f0));
    ASSERT_TRUE(ReadFound(1, &f1));
    EXPECT_FALSE(ReadFound(2, &f2));
    EXPECT_EQ(f0.bus, 0u);
    EXPECT_EQ(f0.slot, 13u);
    EXPECT_EQ(f0.configured, 0u);
    EXPECT_EQ(f0.kind, 0x9054u);
    EXPECT_EQ(f1.bus, 2u);
    EXPECT_EQ(f1.slot, 5u);
    EXPECT_EQ(f1.configured, 1u);
    EXPECT_NE(f1.kind, 0x9054u);

    EXPECT_EQ(KtzSimCardOfDevice(4), 1);
    EXPECT_EQ(MapEntry(4), "\\\\.\\KTZ3649S4");
    // The driver records the card's base address in the device's settings.
    HKEY key;
    ASSERT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, (std::string(kServiceKey) + "\\Device004").c_str(),
                            0, KEY_READ, &key),
              ERROR_SUCCESS);
    DWORD base = 0, size = sizeof base;
    RegQueryValueExA(key, "BaseAddress", nullptr, nullptr, reinterpret_cast<BYTE *>(&base), &size);
    RegCloseKey(key);
    EXPECT_EQ(base, 0xD800u);
    // Its ten named events exist.
    HANDLE event = OpenEventA(EVENT_ALL_ACCESS, FALSE, "Global\\KTZ_EVT_AO_UNDERRUN4");
    EXPECT_NE(event, nullptr);
    CloseHandle(event);

    ASSERT_EQ(KtzSimStopDriver(), 0);
    EXPECT_EQ(MapEntry(4), "");
    EXPECT_EQ(KtzSimCardOfDevice(4), -1);
    EXPECT_EQ(OpenEventA(EVENT_ALL_ACCESS, FALSE, "Global\\KTZ_EVT_AO_UNDERRUN4"), nullptr);
    KTZHANDLE handle = 0;
    EXPECT_EQ(DeviceOpen(4, &handle), 0x5001u);
}

TEST_F(DriverTest, DeviceWhoseCardIsAbsentGetsNoObject) {
    Install(0, 0, [](KtzSimDeviceSettings &s) { s.slotNumber = 14; });
    EXPECT_EQ(MapEntry(0), "");
    Found f0{};
    ASSERT_TRUE(ReadFound(0, &f0));
    EXPECT_EQ(f0.configured, 0u);
}

TEST_F(DriverTest, RequestsNeedTheirExactBufferSizes) {
    Install(0);
    HANDLE file = CreateFileA(MapEntry(0).c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                              OPEN_EXISTING, FILE_FLAG_OVERLAPPED, nullptr);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    BYTE in[8] = {40, 0, 0, 0, 0x5A, 0}, out[4] = {};
    DWORD bytes = 0;
    const struct {
        DWORD code, inSize, outSize;
        bool ok;
    } cases[] = {
        {KTZ_IOCTL_WRITE_BYTE, 5, 0, true},  {KTZ_IOCTL_WRITE_BYTE, 6, 0, false},
        {KTZ_IOCTL_WRITE_BYTE, 5, 1, false}, {KTZ_IOCTL_WRITE_WORD, 6, 0, true},
        {KTZ_IOCTL_WRITE_WORD, 5, 0, false}, {KTZ_IOCTL_READ_BYTE, 4, 1, true},
        {KTZ_IOCTL_READ_BYTE, 4, 2, false},  {KTZ_IOCTL_READ_WORD, 4, 2, true},
        {KTZ_IOCTL_READ_WORD, 3, 2, false},  {KTZ_IOCTL_CLOSE, 0, 0, true},
        {KTZ_IOCTL_CLOSE, 4, 0, false},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.code);
        SCOPED_TRACE(c.inSize);
        BOOL ok = DeviceIoControl(file, c.code, in, c.inSize, out, c.outSize, &bytes, nullptr);
        EXPECT_EQ(ok != FALSE, c.ok);
        if (!c.ok) {
            EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
        }
    }
    EXPECT_FALSE(DeviceIoControl(file, 0x9C40FFFC, nullptr, 0, nullptr, 0, &bytes, nullptr));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_FUNCTION));
    CloseHandle(file);
}

TEST_F(DriverTest, FaultsFailTheNextRequestsThenStop) {
    Install(0);
    KTZHANDLE handle = Open(0);
    KtzSimFailRequest(KTZ_IOCTL_WRITE_BYTE, ERROR_TOO_MANY_CMDS, 2);
    EXPECT_EQ(WritePortByte(handle, 0xE028, 1), 103u);
    EXPECT_EQ(WritePortByte(handle, 0xE028, 2), 103u);
    EXPECT_EQ(WritePortByte(handle, 0xE028, 3), 0u);
    KtzSimFailRequest(KTZ_IOCTL_WRITE_BYTE, ERROR_GEN_FAILURE, -1);
    for (int i = 0; i < 5; ++i) EXPECT_EQ(WritePortByte(handle, 0xE028, 4), 106u);
    KtzSimClearFaults();
    EXPECT_EQ(WritePortByte(handle, 0xE028, 5), 0u);
    EXPECT_EQ(KtzSimPeek(0, 40, 8), 5u);  // failed writes never reached the card
}

TEST_F(DriverTest, EveryRequestCostsVirtualTime) {
    Install(0);
    KTZHANDLE handle = Open(0);
    KtzSimSetRequestCost(2500);
    unsigned long long before = KtzSimNow();
    WORD value;
    for (int i = 0; i < 4; ++i) ReadPortWord(handle, 0xE000, &value);
    EXPECT_EQ(KtzSimNow() - before, 10000u);
}

}  // namespace
}  // namespace ktztest
