// The expansion board options dialog (107), opened from the settings dialog
// by a host that makes its hidden "&Options" button available.
#include <ui/resource.h>

#include "ui_fixture.h"

namespace ktztest {
namespace {

constexpr char kConnectNote[] =
    "When connecting to the XTBD-5201, no other expansion boards may be connected to channels "
    "0 - 15.   Pressing OK will overwrite these channels.";

class OptionsTest : public UiTest {
protected:
    // A device with these stored CJC channel and channel modes; the settings
    // dialog shows and enables "&Options" and clicks it.
    void Open(unsigned cjcChannel, unsigned chanConfig = 0) {
        Install(0, 0, [&](KtzSimDeviceSettings &s) {
            s.cjcChannel = cjcChannel;
            s.chanConfig = chanConfig;
        });
        Inspect(IDD_DEVICE_SETTING, [](HWND dialog) {
            HWND options = GetDlgItem(dialog, IDC_OPTIONS);
            ShowWindow(options, SW_SHOW);
            EnableWindow(options, TRUE);
        });
        HwUiClick(IDD_DEVICE_SETTING, IDC_OPTIONS);
    }
    // Closes the settings dialog with OK and returns what it stored.
    RegValues Finish() {
        HwUiClick(IDD_DEVICE_SETTING, IDOK);
        EXPECT_EQ(DeviceConfig(0, KTZ_BOARD_PCI3649, nullptr), 0);
        return ReadDeviceKey(kDeviceKey0);
    }
    std::vector<std::string> Table(size_t dump) {
        auto lines = ControlLines(dumps_.at(dump), IDC_CHANNEL_TABLE);
        return {lines.begin() + 1, lines.end()};
    }
    static std::vector<std::string> ConnectedTable() {
        std::vector<std::string> lines;
        for (int i = 0; i < 16; ++i) {
            char line[64];
            wsprintfA(line, "%s[%d] \"%2d\\tXTBD-5203\\t1\"", i == 0 ? "   *" : "    ", i, i);
            lines.push_back(line);
        }
        return lines;
    }
    void Connect(int answer = IDOK) {
        HwUiSelect(IDD_OPTIONS, IDC_BOARD_TYPE, 0);
        HwUiAnswer(IDD_OPTIONS, answer);
    }
};

TEST_F(OptionsTest, ConnectingAssignsTheBoardToAllChannelsAndDisablesCjc) {
    Open(0);
    Snapshot(IDD_OPTIONS);
    Connect();
    Snapshot(IDD_OPTIONS);
    HwUiClick(IDD_OPTIONS, IDOK);
    auto stored = Finish();

    EXPECT_EQ(ControlLines(dumps_[0], IDC_BOARD_TYPE)[0], "  combobox 1044 \"\" sel=none");
    EXPECT_EQ(Table(0)[0], "    [0] \" 0\\tCJC Channel\"");
    EXPECT_EQ(Table(0)[1], "    [1] \" 1\"");
    EXPECT_EQ(Table(1), ConnectedTable());
    EXPECT_EQ(ControlLines(dumps_[1], IDC_CJC_CHANNEL),
              (std::vector<std::string>{"  combobox 1047 \"X (Disabled)\" sel=0",
                                        "   *[0] \"X (Disabled)\" data=-1", "    [1] \"0\""}));
    EXPECT_EQ(ControlLines(dumps_[1], IDC_BOARD_TYPE)[0],
              "  combobox 1044 \"XTBD-5203\" sel=0");
    auto notes = Events(HW_UI_MESSAGEBOX);
    ASSERT_EQ(notes.size(), 1u);
    EXPECT_STREQ(notes[0].caption, "Note");
    EXPECT_STREQ(notes[0].text, kConnectNote);
    EXPECT_EQ(notes[0].type, static_cast<UINT>(MB_OKCANCEL | MB_ICONEXCLAMATION));
    EXPECT_EQ(stored["NumExpChan"], Number(16));
    EXPECT_EQ(stored["CJCChannel"], Number(65535));
    EXPECT_EQ(stored["DeviceName"], Text("PCI-3649 With Exp. I/O=e000H"));
}

TEST_F(OptionsTest, ChoosingChannelZeroAsCjcTakesTheBoardOffIt) {
    Open(65535);
    Connect();
    HwUiSelect(IDD_OPTIONS, IDC_CJC_CHANNEL, 1);
    Snapshot(IDD_OPTIONS);
    HwUiClick(IDD_OPTIONS, IDOK);
    auto stored = Finish();
    EXPECT_EQ(Table(0)[0], "   *[0] \" 0\\tCJC Channel\"");
    EXPECT_EQ(Table(0)[1], "    [1] \" 1\\tXTBD-5203\\t1\"");
    EXPECT_EQ(stored["NumExpChan"], Number(15));
    EXPECT_EQ(stored["CJCChannel"], Number(0));
}

TEST_F(OptionsTest, CjcLinesFollowTheModeOfChannelsZeroAndOne) {
    struct Case {
        unsigned chanConfig;
        std::vector<std::string> first;  // the first three lines
    };
    const Case cases[] = {
        {0x0003, {"    [0] \" 0\\tCJC Channel\"", "    [1] \" 1\\tCJC Channel\"", "    [2] \" 2\""}},
        {0x0001, {"    [0] \" 0\\tCJC Channel\"", "    [1] \" 1\\tCJC Channel\"", "    [2] \" 2\""}},
        {0x000C, {"    [0] \" 0\\tCJC Channel\"", "    [1] \" 1\"", "    [2] \" 2\""}},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.chanConfig);
        dumps_.clear();
        Open(0, c.chanConfig);
        Snapshot(IDD_OPTIONS);
        HwUiClick(IDD_OPTIONS, IDCANCEL);
        Finish();
        auto table = Table(0);
        ASSERT_EQ(table.size(), 16u);
        EXPECT_EQ(std::vector<std::string>(table.begin(), table.begin() + 3), c.first);
        EXPECT_EQ(table[15], "    [15] \"15\"");
        HwUiReset();
    }
}

TEST_F(OptionsTest, DeleteAsksOnlyWhenConnectedAndClearsEverything) {
    Open(65535);
    HwUiClick(IDD_OPTIONS, IDC_DELETE);  // not connected: nothing, no question
    Connect();
    HwUiClick(IDD_OPTIONS, IDC_DELETE);
    HwUiAnswer(IDD_OPTIONS, IDCANCEL);  // declined: still connected
    HwUiClick(IDD_OPTIONS, IDC_DELETE);
    HwUiAnswer(IDD_OPTIONS, IDOK);
    Snapshot(IDD_OPTIONS);
    HwUiClick(IDD_OPTIONS, IDC_OPTIONS_HELP);
    HwUiClick(IDD_OPTIONS, IDOK);
    auto stored = Finish();
    EXPECT_EQ(Events(HW_UI_MESSAGEBOX).size(), 3u);
    EXPECT_EQ(Table(0)[0], "   *[0] \" 0\"");
    EXPECT_EQ(ControlLines(dumps_[0], IDC_BOARD_TYPE)[0], "  combobox 1044 \"\" sel=none");
    EXPECT_EQ(stored["NumExpChan"], Number(0));
    EXPECT_EQ(stored["CJCChannel"], Number(65535));
    auto help = Events(HW_UI_HELP);
    ASSERT_EQ(help.size(), 1u);
    EXPECT_STREQ(help[0].text, "options.hlp");
}

TEST_F(OptionsTest, DecliningOrCancellingLeavesTheRecordAsItWas) {
    for (bool cancelDialog : {false, true}) {
        SCOPED_TRACE(cancelDialog);
        dumps_.clear();
        Open(0);
        Connect(cancelDialog ? IDOK : IDCANCEL);
        Snapshot(IDD_OPTIONS);
        HwUiClick(IDD_OPTIONS, cancelDialog ? IDCANCEL : IDOK);
        auto stored = Finish();
        if (!cancelDialog) {
            EXPECT_EQ(ControlLines(dumps_[0], IDC_BOARD_TYPE)[0],
                      "  combobox 1044 \"\" sel=none");
            EXPECT_EQ(Table(0)[0], "    [0] \" 0\\tCJC Channel\"");
        }
        EXPECT_EQ(stored["NumExpChan"], Number(0));
        EXPECT_EQ(stored["CJCChannel"], Number(0));
        HwUiReset();
    }
}

}  // namespace
}  // namespace ktztest
