// A device without a card: the temporary service, the card discovery (104),
// the warning (103), and the enumeration of the found-device values.
#include <ui/dialogs.h>
#include <ui/resource.h>

#include <cstring>

#include "ui_fixture.h"

namespace ktztest {
namespace {

class DiscoveryTest : public UiTest {
protected:
    static KtzFoundDevice Found(DWORD bus, DWORD slot, DWORD mark, DWORD kind) {
        KtzFoundDevice f{};
        f.BusNumber = bus;
        f.SlotNumber = slot;
        f.Configured = mark;
        f.Reserved1[0] = 0xA0 + slot;  // carried along unread
        f.CardKind = kind;
        f.Reserved2 = 0x55AA;
        return f;
    }
    static void Record(int index, const KtzFoundDevice &f) {
        WriteBinary(kServiceKeyPath, ("FoundDevice" + std::to_string(index)).c_str(), &f,
                    sizeof f);
    }
    std::vector<std::string> ListLines() {
        auto lines = ControlLines(dumps_.at(0), IDC_FOUND_LIST);
        return {lines.begin() + 1, lines.end()};
    }
};

TEST_F(DiscoveryTest, NewDeviceGetsTheChosenCardThroughTheTemporaryService) {
    ASSERT_EQ(KtzSimAddCard(2, 5, KTZSIM_PCI3649L), 1);
    ASSERT_FALSE(KeyExists(kServiceKeyPath));
    Snapshot(IDD_FOUND_DEVICE);
    Inspect(IDD_FOUND_DEVICE, [](HWND) { EXPECT_EQ(KtzSimDriverRunning(), 1); });
    HwUiSelect(IDD_FOUND_DEVICE, IDC_FOUND_LIST, 1);
    HwUiClick(IDD_FOUND_DEVICE, IDOK);
    // The temporary service is gone again when the settings dialog opens.
    Inspect(IDD_DEVICE_SETTING, [](HWND) {
        EXPECT_EQ(KtzSimDriverRunning(), 0);
        EXPECT_FALSE(KeyExists(kServiceKeyPath));
    });
    HwUiClick(IDD_DEVICE_SETTING, IDOK);
    ASSERT_EQ(DeviceConfig(0, KTZ_BOARD_PCI3649, nullptr), 0);

    EXPECT_EQ(ListLines(), (std::vector<std::string>{"    [0] \"PCI-3649 Bus: 000H, Slot: 00DH\"",
                                                     "    [1] \"PCI-3649L Bus: 002H, Slot: 005H\""}));
    EXPECT_EQ(OpenedDialogs(), (std::vector<int>{IDD_FOUND_DEVICE, IDD_DEVICE_SETTING}));
    auto stored = ReadDeviceKey(kDeviceKey0);
    EXPECT_EQ(stored["BusNumber"], Number(2));
    EXPECT_EQ(stored["SlotNumber"], Number(5));
    EXPECT_EQ(stored["OnSystem"], Number(1));
    EXPECT_EQ(stored["BaseAddress"], Number(0xE100));  // read back from the restarted service
    EXPECT_EQ(KtzSimCardOfDevice(0), 1);
    KTZHANDLE handle = Open(0);
    Close(handle);
}

TEST_F(DiscoveryTest, RecordedValuesGiveTheListAndTheChosenRecord) {
    HwSetVersion(VER_PLATFORM_WIN32_NT, 5, 1, 2600);  // no temporary service on NT 5
    Record(0, Found(0, 13, 1, 0x9054));
    Record(1, Found(2, 5, 0, 0x9054));
    Record(2, Found(0, 16, 0, 0x1234));
    Snapshot(IDD_FOUND_DEVICE);
    HwUiClick(IDD_FOUND_DEVICE, IDOK);  // no line chosen: stays open
    HwUiSelect(IDD_FOUND_DEVICE, IDC_FOUND_LIST, 1);
    HwUiClick(IDD_FOUND_DEVICE, IDOK);
    HwUiClick(IDD_DEVICE_SETTING, IDCANCEL);
    EXPECT_EQ(DeviceConfig(0, KTZ_BOARD_PCI3649, nullptr), 0);
    EXPECT_EQ(ListLines(), (std::vector<std::string>{"    [0] \"PCI-3649 Bus: 002H, Slot: 005H\"",
                                                     "    [1] \"PCI-3649L Bus: 000H, Slot: 010H\""}));
    KtzFoundDevice expected = Found(0, 16, 0, 0x1234);
    EXPECT_EQ(std::memcmp(&ktz::ContextFoundDevice(), &expected, sizeof expected), 0);
    EXPECT_EQ(KtzSimDriverRunning(), 0);
    EXPECT_FALSE(KeyExists(kDeviceKey0));  // cancelled: nothing stored
}

TEST_F(DiscoveryTest, CancelLeavesTheContextRecordUnchanged) {
    Record(0, Found(4, 4, 0, 0x9054));
    KtzFoundDevice before = Found(9, 9, 0, 0x9054);
    ktz::ContextFoundDevice() = before;
    HwUiEscape(IDD_FOUND_DEVICE);
    EXPECT_EQ(DeviceConfig(0, KTZ_BOARD_PCI3649, nullptr), 0);
    EXPECT_EQ(std::memcmp(&ktz::ContextFoundDevice(), &before, sizeof before), 0);
    EXPECT_EQ(OpenedDialogs(), std::vector<int>{IDD_FOUND_DEVICE});
}

TEST_F(DiscoveryTest, NoUnconfiguredCardOnNt5ShowsTheWarningWhichIgnoresEscape) {
    HwSetVersion(VER_PLATFORM_WIN32_NT, 5, 0, 2195);
    HwUiEscape(IDD_WARNING);
    HwUiClick(IDD_WARNING, IDOK);
    EXPECT_EQ(DeviceConfig(0, KTZ_BOARD_PCI3649, nullptr), 0);
    EXPECT_EQ(OpenedDialogs(), (std::vector<int>{IDD_FOUND_DEVICE, IDD_WARNING}));
    EXPECT_EQ(Events(HW_UI_DIALOG_ENDED)[0].result, -1);
    EXPECT_FALSE(KeyExists(kServiceKeyPath));  // NT 5: the service was never installed
}

TEST_F(DiscoveryTest, EnumerationStopsAtTheFirstMissingOrOversizedValue) {
    struct Case {
        const char *name;
        std::vector<int> indexes;     // values written, with mark 0 unless listed below
        std::vector<int> configured;  // indexes with mark 1
        bool oversized1;              // FoundDevice1 is 33 bytes
        std::vector<DWORD> buses;     // the list
    };
    const Case cases[] = {
        {"gap at index 0", {1, 2}, {}, false, {}},
        {"only configured cards", {0, 1}, {0, 1}, false, {}},
        {"gap after 1", {0, 1, 3}, {}, false, {0x100, 0x101}},
        {"oversized value ends it", {0, 1, 2}, {}, true, {0x100}},
        {"configured skipped", {0, 1, 2}, {1}, false, {0x100, 0x102}},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        KtzSimReset(0);
        for (int index : c.indexes) {
            bool mark = std::find(c.configured.begin(), c.configured.end(), index) !=
                        c.configured.end();
            KtzFoundDevice f = Found(0x100 + index, 1, mark ? 1 : 0, 0x9054);
            Record(index, f);
        }
        if (c.oversized1) {
            char big[33] = {};
            WriteBinary(kServiceKeyPath, "FoundDevice1", big, sizeof big);
        }
        LPVOID list = nullptr;
        DWORD count = ktz::EnumFoundDevices(&list);
        ASSERT_EQ(count, c.buses.size());
        ASSERT_EQ(list == nullptr, c.buses.empty());
        for (DWORD i = 0; i < count; ++i)
            EXPECT_EQ(ktz::FoundDeviceEntry(list, i)->BusNumber, c.buses[i]);
        if (list) GlobalFree(list);
    }
}

TEST_F(DiscoveryTest, BusWithFourDigitsIsPrintedInFull) {
    HwSetVersion(VER_PLATFORM_WIN32_NT, 5, 1, 2600);
    Record(0, Found(0x1234, 5, 0, 0x9054));
    Snapshot(IDD_FOUND_DEVICE);
    HwUiClick(IDD_FOUND_DEVICE, IDCANCEL);
    EXPECT_EQ(DeviceConfig(0, KTZ_BOARD_PCI3649, nullptr), 0);
    EXPECT_EQ(ListLines(), std::vector<std::string>{"    [0] \"PCI-3649 Bus: 1234H, Slot: 005H\""});
}

}  // namespace
}  // namespace ktztest
