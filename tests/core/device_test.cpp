// Opening and closing devices: the shared record, the reset of the first
// open, and every failure of the way with its result code.
#include <ktz3649.h>

#include <ktz3649_driver.h>

#include "lab_fixture.h"
#include "record.h"
#include "target.h"

namespace ktztest {
namespace {

class DeviceOpenTest : public LabTest {};

TEST_F(DeviceOpenTest, SecondOpenSharesTheRecordAndCountsDown) {
    Install(3);
    KTZHANDLE first = Open(3);
    KTZHANDLE second = Open(3);
    EXPECT_EQ(first, second);
    EXPECT_EQ(Record(first).openCount, 2);

    KTZHANDLE copy = second;
    Close(copy);
    EXPECT_EQ(copy, 0u);  // only the closing caller's variable is cleared
    EXPECT_EQ(Record(first).openCount, 1);
    WORD value = 0;
    EXPECT_EQ(ReadPortByte(first, 0xE028, &value), 0u);

    Close(first);
    EXPECT_EQ(ReadPortByte(second, 0xE028, &value), 3u);  // a released record is no handle
}

TEST_F(DeviceOpenTest, FirstOpenResetsTheCardOnce) {
    Install(0);
    KtzSimTraceClear();
    KTZHANDLE handle = 0;
    ASSERT_EQ(DeviceOpen(0, &handle), 0u);
    open_.push_back(handle);
    EXPECT_EQ(Registers(), (std::vector<Access>{W8(2, 0), W8(4, 0), W8(5, 0), W8(6, 0), W8(8, 0),
                                                W8(9, 0)}));
    KtzSimTraceClear();
    Open(0);
    EXPECT_TRUE(Registers().empty());
}

TEST_F(DeviceOpenTest, AllowConflictsSkipsTheReset) {
    Install(0, 0, [](KtzSimDeviceSettings &s) { s.allowConflicts = 1; });
    KtzSimTraceClear();
    KTZHANDLE handle = 0;
    ASSERT_EQ(DeviceOpen(0, &handle), 0u);
    open_.push_back(handle);
    EXPECT_TRUE(Registers().empty());
}

TEST_F(DeviceOpenTest, LaterOpenKeepsTheSettingsOfTheFirst) {
    Install(0);
    KTZHANDLE handle = Open(0);
    HKEY key;
    ASSERT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE,
                            "SYSTEM\\CurrentControlSet\\Services\\KTZ3649S\\Device000", 0,
                            KEY_SET_VALUE, &key),
              ERROR_SUCCESS);
    DWORD mode = 0x11;
    RegSetValueExA(key, "DioPortMode", 0, REG_DWORD, reinterpret_cast<BYTE *>(&mode), 4);
    RegCloseKey(key);
    Open(0);
    EXPECT_EQ(Record(handle).settings.DioPortMode, 0);
}

TEST_F(DeviceOpenTest, FailuresAndTheirResults) {
    KtzSimAddCard(0, 14, KTZSIM_PCI3649);
    Install(0);
    Install(1, 1);
    KTZHANDLE handle = 0x1234;
    // No settings at all: bare KtzErrSettingsNotFound.
    EXPECT_EQ(DeviceOpen(7, &handle), 2u);
    // Settings but no MapEntry value: KtzErrMemoryAlloc, and other devices still open.
    HKEY map;
    ASSERT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE,
                            "SYSTEM\\CurrentControlSet\\Services\\KTZDAQ\\MapEntry", 0,
                            KEY_ALL_ACCESS, &map),
              ERROR_SUCCESS);
    char path[64] = {};
    DWORD size = sizeof path - 1;
    ASSERT_EQ(RegQueryValueExA(map, "0", nullptr, nullptr, reinterpret_cast<BYTE *>(path), &size),
              ERROR_SUCCESS);
    ASSERT_EQ(RegDeleteValueA(map, "0"), ERROR_SUCCESS);
    EXPECT_EQ(DeviceOpen(0, &handle), 0x1001u);
    EXPECT_EQ(handle, 0x1234u);
    Open(1);
    RegSetValueExA(map, "0", 0, REG_SZ, reinterpret_cast<BYTE *>(path), size);
    RegCloseKey(map);
    // A device object that cannot be opened: KtzErrKernelOpen.
    if (OnWine()) {
        WineDeparts("Wine 8 opens a device file without waiting for the driver's answer to "
                    "IRP_MJ_CREATE: a driver cannot refuse an open, so no open fails here");
    } else {
        KtzSimFailRequest(KTZSIM_OPEN, ERROR_ACCESS_DENIED, 1);
        EXPECT_EQ(DeviceOpen(0, &handle), 0x101Au);
        EXPECT_EQ(handle, 0x1234u);
    }
    Open(0);
}

TEST_F(DeviceOpenTest, NullArgumentsAreRefused) {
    Install(4);
    KtzSimTraceClear();
    EXPECT_EQ(DeviceOpen(4, nullptr), 0x500Au);
    EXPECT_TRUE(Trace().empty());  // nothing opened or sent
    EXPECT_EQ(DeviceClose(nullptr), 3u);
    KTZHANDLE zero = 0;
    EXPECT_EQ(DeviceClose(&zero), 3u);
    KTZHANDLE never = 0x10000;  // not the record of an open device
    EXPECT_EQ(DeviceClose(&never), 3u);
    EXPECT_EQ(never, 0x10000u);
}

TEST_F(DeviceOpenTest, UnknownBoardRefusedAtResetLeavesNothingListed) {
    KtzSimCard card{2, 5, KTZSIM_PCI3649, 0xD000, 9};
    int index = KtzSimAddCardEx(&card);
    Install(15, index, [](KtzSimDeviceSettings &s) { s.boardId = 5; });
    KTZHANDLE handle = 0;
    EXPECT_EQ(DeviceOpen(15, &handle), 0x10018u);  // device bits from the device number
    EXPECT_EQ(handle, 0u);
    // Nothing stays listed: the next open starts again, with the reset.
    Install(15, index);
    KtzSimTraceClear();
    ASSERT_EQ(DeviceOpen(15, &handle), 0u);
    open_.push_back(handle);
    EXPECT_EQ(RegisterWrites().size(), 6u);
    EXPECT_EQ(Record(handle).openCount, 1);
}

TEST_F(DeviceOpenTest, RejectedCloseRequestKeepsTheRecordOpen) {
    Install(0);
    KTZHANDLE handle = Open(0);
    KtzSimFailRequest(KTZ_IOCTL_CLOSE, ERROR_GEN_FAILURE, 1);
    KTZHANDLE copy = handle;
    EXPECT_EQ(DeviceClose(&copy), 0x1064u);
    EXPECT_EQ(copy, handle);
    WORD value = 0;
    EXPECT_EQ(ReadPortByte(handle, 0xE028, &value), 0u);  // still an open device
    EXPECT_EQ(Record(handle).openCount, 1);
    // The close request goes out on every close.
    KTZHANDLE second = Open(0);
    KtzSimTraceClear();
    Close(second);
    EXPECT_EQ(RequestCount(KTZ_IOCTL_CLOSE), 1u);
}

TEST_F(DeviceOpenTest, ClosingTheMiddleOfThreeKeepsTheOthers) {
    KtzSimAddCard(0, 14, KTZSIM_PCI3649);
    KtzSimAddCard(0, 15, KTZSIM_PCI3649L);
    for (unsigned d = 0; d < 3; ++d) Install(d, static_cast<int>(d));
    KTZHANDLE a = Open(0), b = Open(1), c = Open(2);
    EXPECT_EQ(Record(a).next, &Record(b));
    Close(b);
    EXPECT_EQ(Record(a).next, &Record(c));
    WORD value;
    EXPECT_EQ(ReadPortByte(a, 0xE028, &value), 0u);
    EXPECT_EQ(ReadPortByte(c, 0xE228, &value), 0u);
    KTZHANDLE d = Open(1);
    EXPECT_EQ(Record(c).next, &Record(d));  // appended at the tail
}

}  // namespace
}  // namespace ktztest
