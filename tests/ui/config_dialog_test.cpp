// DeviceConfig and the settings dialog (105): the two paths of the entry
// point, the controls filled from a stored record, and what OK stores.
#include <ui/dialogs.h>
#include <ui/resource.h>

#include "ui_fixture.h"

namespace ktztest {
namespace {

class SettingDialogTest : public UiTest {
protected:
    KtzSimDeviceSettings Defaults(int card = 0) {
        KtzSimDeviceSettings s;
        EXPECT_EQ(KtzSimDefaultSettings(card, &s), 0);
        return s;
    }
    std::string LastDump() { return dumps_.empty() ? std::string() : dumps_.back(); }
};

TEST_F(SettingDialogTest, ConfiguredDeviceGoesStraightToTheSettingsAndReturnsZero) {
    for (int button : {IDOK, IDCANCEL}) {
        SCOPED_TRACE(button);
        Install(0);
        WriteNumber(kDeviceKey0, "Extra", 1);
        HwUiClick(IDD_DEVICE_SETTING, button);
        EXPECT_EQ(DeviceConfig(0, KTZ_BOARD_PCI3649, nullptr), 0);
        EXPECT_EQ(OpenedDialogs(), std::vector<int>{IDD_DEVICE_SETTING});
        // OK rewrites the key whole; Cancel stores nothing.
        EXPECT_EQ(ReadDeviceKey(kDeviceKey0).count("Extra"), button == IDCANCEL ? 1u : 0u);
        HwUiReset();
    }
}

TEST_F(SettingDialogTest, OkStoresTheEditedControlsValueByValue) {
    Install(0);
    HwUiSelect(IDD_DEVICE_SETTING, IDC_AI_CHANNEL, 2);
    HwUiClick(IDD_DEVICE_SETTING, IDC_DIFFERENTIAL);
    HwUiClick(IDD_DEVICE_SETTING, IDC_DA0_EXT_BIPOLAR);
    HwUiSelect(IDD_DEVICE_SETTING, IDC_DA1_RANGE, 3);
    HwUiSelect(IDD_DEVICE_SETTING, IDC_DIO_PORT1, 1);
    HwUiSelect(IDD_DEVICE_SETTING, IDC_FREQ_AREA, 3);
    HwUiSelect(IDD_DEVICE_SETTING, IDC_PWM_AREA, 2);
    HwUiClick(IDD_DEVICE_SETTING, IDOK);
    ASSERT_EQ(DeviceConfig(0, KTZ_BOARD_PCI3649, nullptr), 0);

    KtzSimDeviceSettings expected = Defaults();
    expected.timerClock = 1;
    expected.chanConfig = 0x000C;
    expected.aoReference[0] = 2;
    expected.aoMaximum[1] = 10;
    expected.aoMinimum[1] = -10;
    expected.dioPortMode = 0x10;
    expected.freqArea = 3;
    expected.pwmArea = 2;
    EXPECT_EQ(ReadDeviceKey(kDeviceKey0), StoredValues(expected));
    EXPECT_EQ(ReadKey(kListKey0, {"DeviceName", "DriverName", "KernelKey", "BoardID"}),
              (RegValues{{"DeviceName", Text("PCI-3649 I/O=e000H")},
                         {"DriverName", Text("Ktz3649.dll")},
                         {"KernelKey", Text("KTZ3649S")},
                         {"BoardID", Number(97)}}));
    // The service was restarted and serves the device again.
    EXPECT_EQ(KtzSimCardOfDevice(0), 0);
}

TEST_F(SettingDialogTest, StoredRecordFillsTheControls) {
    Install(0, 0, [](KtzSimDeviceSettings &s) {
        s.aoMaximum[0] = 7;  // none of the four ranges
        s.aoReference[1] = 1;
        s.freqArea = 7;
        s.pwmArea = 3;
        s.dioPortMode = 0x01;
        s.chanConfig = 0x0003;
    });
    Snapshot(IDD_DEVICE_SETTING);
    HwUiClick(IDD_DEVICE_SETTING, IDOK);
    ASSERT_EQ(DeviceConfig(0, KTZ_BOARD_PCI3649, nullptr), 0);
    std::string dump = LastDump();

    EXPECT_EQ(ControlLines(dump, IDC_BASE_ADDRESS)[0], "  static 1002 \"E000\"");
    EXPECT_EQ(ControlLines(dump, IDC_INTERRUPT)[0], "  static 1001 \"5\"");
    EXPECT_EQ(ControlLines(dump, IDC_DA0_RANGE),
              (std::vector<std::string>{"  combobox 1018 \"\" sel=none", "    [0] \"0 ~ 5V\"",
                                        "    [1] \"0 ~ 10V\"", "    [2] \"-5V ~ 5V\"",
                                        "    [3] \"-10V ~ 10V\""}));
    EXPECT_EQ(ControlLines(dump, IDC_DA0_INTERNAL)[0], "  radio 1021 \"Internal\" checked");
    EXPECT_EQ(ControlLines(dump, IDC_DA1_EXT_UNIPOLAR)[0],
              "  radio 1022 \"External Unipolar\" checked");
    EXPECT_EQ(ControlLines(dump, IDC_DA1_RANGE)[0], "  combobox 1025 \"0 ~ 5V\" disabled sel=0");
    EXPECT_EQ(ControlLines(dump, IDC_FREQ_AREA)[0], "  combobox 1040 \"\" sel=none");
    EXPECT_EQ(ControlLines(dump, IDC_PWM_AREA)[0],
              "  combobox 1041 \"655350us ~ 6553500us\" sel=3");
    EXPECT_EQ(ControlLines(dump, IDC_DIO_PORT0)[0], "  combobox 1030 \"IN\" sel=1");
    EXPECT_EQ(ControlLines(dump, IDC_DIO_PORT1)[0], "  combobox 1031 \"OUT\" sel=0");
    EXPECT_EQ(ControlLines(dump, IDC_AI_CHANNEL).size(), 17u);
    EXPECT_EQ(ControlLines(dump, IDC_DIFFERENTIAL)[0], "  radio 1017 \"Differential\" checked");
    EXPECT_EQ(ControlLines(dump, IDC_OPTIONS)[0],
              "  button 1009 \"&Options\" disabled hidden");

    // OK keeps the unmatched range and stores "no selection" as 65535.
    auto stored = ReadDeviceKey(kDeviceKey0);
    EXPECT_EQ(stored["AOSettings 0"], Text("     0     7     0"));
    EXPECT_EQ(stored["AOSettings 1"], Text("     1     5     0"));
    EXPECT_EQ(stored["FreqArea"], Number(65535));
    EXPECT_EQ(stored["PWMArea"], Number(3));
    EXPECT_EQ(stored["DioPortMode"], Number(0x01));
}

TEST_F(SettingDialogTest, ChannelPairsAreSetFromTheirEvenChannel) {
    Install(0);
    auto checked = [](HWND dialog) { return IsDlgButtonChecked(dialog, IDC_DIFFERENTIAL); };
    HwUiSelect(IDD_DEVICE_SETTING, IDC_AI_CHANNEL, 3);
    HwUiClick(IDD_DEVICE_SETTING, IDC_DIFFERENTIAL);  // odd channel: nothing changes
    HwUiSelect(IDD_DEVICE_SETTING, IDC_AI_CHANNEL, 0);
    Inspect(IDD_DEVICE_SETTING, [&](HWND d) { EXPECT_EQ(checked(d), 0u) << "channel 0"; });
    HwUiSelect(IDD_DEVICE_SETTING, IDC_AI_CHANNEL, 3);
    Inspect(IDD_DEVICE_SETTING, [&](HWND d) { EXPECT_EQ(checked(d), 0u) << "channel 3"; });
    HwUiSelect(IDD_DEVICE_SETTING, IDC_AI_CHANNEL, 2);
    HwUiClick(IDD_DEVICE_SETTING, IDC_DIFFERENTIAL);
    HwUiSelect(IDD_DEVICE_SETTING, IDC_AI_CHANNEL, 3);
    Inspect(IDD_DEVICE_SETTING, [&](HWND d) { EXPECT_EQ(checked(d), 1u) << "pair 2/3"; });
    HwUiSelect(IDD_DEVICE_SETTING, IDC_AI_CHANNEL, 4);
    Inspect(IDD_DEVICE_SETTING, [&](HWND d) { EXPECT_EQ(checked(d), 0u) << "channel 4"; });
    HwUiClick(IDD_DEVICE_SETTING, IDOK);
    ASSERT_EQ(DeviceConfig(0, KTZ_BOARD_PCI3649, nullptr), 0);
    EXPECT_EQ(ReadDeviceKey(kDeviceKey0)["ChanConfig"], Number(0x000C));
}

TEST_F(SettingDialogTest, BoardWithoutOutputsDisablesThemAndKeepsTheirValues) {
    int card = KtzSimAddCard(1, 4, KTZSIM_PCI3649L);
    Install(0, card, [](KtzSimDeviceSettings &s) {
        s.aoReference[0] = 2;
        s.aoMaximum[0] = 10;
        s.aoMinimum[0] = -10;
    });
    Snapshot(IDD_DEVICE_SETTING);
    HwUiClick(IDD_DEVICE_SETTING, IDOK);
    ASSERT_EQ(DeviceConfig(0, KTZ_BOARD_PCI3649L, nullptr), 0);
    for (int id : {IDC_DA0_RANGE, IDC_DA0_EXT_UNIPOLAR, IDC_DA0_EXT_BIPOLAR, IDC_DA0_INTERNAL,
                   IDC_DA1_RANGE, IDC_DA1_EXT_UNIPOLAR, IDC_DA1_EXT_BIPOLAR, IDC_DA1_INTERNAL})
        EXPECT_NE(ControlLines(LastDump(), id)[0].find(" disabled"), std::string::npos) << id;
    auto stored = ReadDeviceKey(kDeviceKey0);
    EXPECT_EQ(stored["AOSettings 0"], Text("     2    10   -10"));
    EXPECT_EQ(stored["AOSettings 1"], Text("     0     5     0"));
    EXPECT_EQ(stored["BoardID"], Number(KTZSIM_PCI3649L));
}

TEST_F(SettingDialogTest, UnknownAddressHelpAndAbout) {
    Install(0);
    WriteNumber(kDeviceKey0, "BaseAddress", 0);
    WriteNumber(kDeviceKey0, "Interrupt", 0);
    Snapshot(IDD_DEVICE_SETTING);
    HwUiClick(IDD_DEVICE_SETTING, IDC_SETTING_HELP);
    HwUiClick(IDD_DEVICE_SETTING, IDC_ABOUT);
    HwUiEscape(IDD_ABOUT);
    HwUiEscape(IDD_DEVICE_SETTING);
    ASSERT_EQ(DeviceConfig(0, KTZ_BOARD_PCI3649, nullptr), 0);
    EXPECT_EQ(ControlLines(LastDump(), IDC_BASE_ADDRESS)[0], "  static 1002 \"Unknow\"");
    EXPECT_EQ(ControlLines(LastDump(), IDC_INTERRUPT)[0], "  static 1001 \"Unknow\"");
    auto help = Events(HW_UI_HELP);
    ASSERT_EQ(help.size(), 1u);
    EXPECT_STREQ(help[0].text, "kt3649.hlp");
    EXPECT_EQ(help[0].type, static_cast<UINT>(HELP_CONTENTS));
    auto ended = Events(HW_UI_DIALOG_ENDED);
    ASSERT_EQ(ended.size(), 2u);
    EXPECT_EQ(ended[0].dialogId, IDD_ABOUT);
    EXPECT_EQ(ended[0].result, 1);
}

TEST_F(SettingDialogTest, DeviceConfigExtAssignsTheGivenCardToANewDevice) {
    KtzFoundDevice card{};
    card.BusNumber = 0;
    card.SlotNumber = 13;
    HwUiClick(IDD_DEVICE_SETTING, IDOK);
    EXPECT_EQ(DeviceConfigExt(0, KTZ_BOARD_PCI3649, nullptr, &card, 0), 0);
    auto stored = ReadDeviceKey(kDeviceKey0);
    EXPECT_EQ(stored["SlotNumber"], Number(13));
    EXPECT_EQ(stored["OnSystem"], Number(1));
    EXPECT_EQ(stored["BaseAddress"], Number(0xE000));  // recorded by the restarted service
    EXPECT_EQ(DeviceConfigExt(0, KTZ_BOARD_PCI3649, nullptr, nullptr, 0), -1);
}

TEST_F(SettingDialogTest, CardMarkedAbsentIsChosenAgainOnOpening) {
    // Only card 0 exists and device 0 names it: no unconfigured card is found,
    // and the dialog keeps the device's own card.
    Install(0, 0, [](KtzSimDeviceSettings &s) { s.onSystem = 0; });
    HwUiClick(IDD_DEVICE_SETTING, IDOK);
    ASSERT_EQ(DeviceConfig(0, KTZ_BOARD_PCI3649, nullptr), 0);
    EXPECT_EQ(OpenedDialogs(), (std::vector<int>{IDD_DEVICE_SETTING, IDD_FOUND_DEVICE}));
    auto stored = ReadDeviceKey(kDeviceKey0);
    EXPECT_EQ(stored["OnSystem"], Number(1));
    EXPECT_EQ(stored["SlotNumber"], Number(13));

    // With an unconfigured card, cancelling the choice ends the settings dialog.
    HwUiReset();
    ASSERT_EQ(KtzSimAddCard(3, 3, KTZSIM_PCI3649), 1);
    Install(0, 0, [](KtzSimDeviceSettings &s) { s.onSystem = 0; });
    WriteNumber(kDeviceKey0, "Extra", 1);
    HwUiEscape(IDD_FOUND_DEVICE);
    ASSERT_EQ(DeviceConfig(0, KTZ_BOARD_PCI3649, nullptr), 0);
    EXPECT_EQ(ReadDeviceKey(kDeviceKey0)["OnSystem"], Number(0));
    EXPECT_EQ(ReadDeviceKey(kDeviceKey0).count("Extra"), 1u);  // nothing stored
    auto ended = Events(HW_UI_DIALOG_ENDED);
    ASSERT_EQ(ended.size(), 2u);
    EXPECT_EQ(ended[1].dialogId, IDD_DEVICE_SETTING);
    EXPECT_EQ(ended[1].result, 0);
}

}  // namespace
}  // namespace ktztest
