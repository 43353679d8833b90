// The device manager's property page (102): the provider's search by PCI bus
// and slot, the page's fields, its button, and the pages it must not add.
#include <core/device.h>
#include <ui/dialogs.h>
#include <ui/resource.h>

#include "ui_fixture.h"

namespace ktztest {
namespace {

std::vector<std::string> traceLines;

class PropertyPageTest : public UiTest {
protected:
    void SetUp() override {
        UiTest::SetUp();
        traceLines.clear();
        ktz::SetDebugTraceSink([](const char *line) { traceLines.push_back(line); });
    }
    void TearDown() override {
        ktz::SetDebugTraceSink(nullptr);
        UiTest::TearDown();
    }
    static void DeviceKey(const std::string &name, DWORD bus, DWORD slot, DWORD board) {
        std::string path = std::string(kServiceKeyPath) + "\\" + name;
        WriteNumber(path, "BusNumber", bus);
        WriteNumber(path, "SlotNumber", slot);
        WriteNumber(path, "BoardID", board);
    }
    // Shows the card's properties; returns the page's dump ("" without a page).
    std::string Show(DWORD bus, DWORD address, BOOL *providerResult = nullptr,
                     BOOL refuse = FALSE) {
        HW_DEVICE_NODE node{};
        node.busNumber = bus;
        node.address = address;
        node.refusePages = refuse;
        BOOL result = FALSE;
        int pages = HwDevMgrShowProperties(KtxDevicePropPage, &node, &result);
        if (providerResult) *providerResult = result;
        auto shown = Events(HW_UI_PAGE);
        EXPECT_EQ(static_cast<size_t>(pages), shown.size());
        return shown.empty() ? std::string() : shown.back().text;
    }
    static std::string Field(const std::string &dump, int id) {
        return ControlLines(dump, id).at(0);
    }
};

TEST_F(PropertyPageTest, CardOnBus2Slot13MapsToDevice3) {
    int card = KtzSimAddCard(2, 13, KTZSIM_PCI3649);
    Install(0);        // bus 0, slot 13: same slot, other bus
    Install(3, card);  // bus 2, slot 13
    DeviceKey("Device001", 2, 12, 97);  // same bus, other slot
    BOOL added = FALSE;
    std::string page = Show(2, 13u << 16, &added);
    EXPECT_TRUE(added);
    EXPECT_EQ(Field(page, IDC_PAGE_DEVICE_NUMBER), "  static 1000 \"0x3\"");
    EXPECT_EQ(Field(page, IDC_PAGE_BOARD_ID), "  static 1003 \"0x610000\"");
    EXPECT_EQ(Field(page, IDC_PAGE_BASE_ADDRESS), "  static 1001 \"0xe100\"");
    EXPECT_EQ(Field(page, IDC_PAGE_INTERRUPT), "  static 1002 \"0x6\"");
    EXPECT_EQ(Field(page, IDC_PAGE_BUS_NUMBER), "  static 1004 \"0x2\"");
    EXPECT_EQ(Field(page, IDC_PAGE_SLOT_NUMBER), "  static 1005 \"0xd\"");
    EXPECT_EQ(page.substr(0, page.find('\n')), "dialog 102 \"PCI3649 Property\"");
    EXPECT_EQ(traceLines.back(), "Add Property Sheet Page Succeed!\n");
}

TEST_F(PropertyPageTest, LongAndLetteredSubkeyNamesAreHandled) {
    // 40 characters, sorted before the match, with a matching bus and slot.
    DeviceKey("Device" + std::string(34, '0'), 7, 9, 97);
    DeviceKey("DeviceXYZ", 7, 9, 169);
    std::string page = Show(7, (9u << 16) | 1);  // the function number is dropped
    // "DeviceXYZ" has no settings to show: the fields stay as in the template.
    EXPECT_EQ(Field(page, IDC_PAGE_DEVICE_NUMBER), "  static 1000 \"\"");
    auto traced = [](const char *line) {
        return std::find(traceLines.begin(), traceLines.end(), line) != traceLines.end();
    };
    EXPECT_TRUE(traced("ktz3649 -- Device Number = 0\n"));
    EXPECT_TRUE(traced("Add Property Sheet Page Succeed!\n"));
    EXPECT_EQ(traceLines.back(), "Read Device parameters failed.\n");
}

TEST_F(PropertyPageTest, NoPageWithoutAMatchingDevice) {
    Install(0);
    struct Case {
        const char *name;
        DWORD bus, address;
        BOOL refuse;
        const char *lastTrace;
    };
    const Case cases[] = {
        {"no matching key", 0, 12u << 16, FALSE, "Get Device instance information failed.\n"},
        {"the sheet refuses the page", 0, 13u << 16, TRUE, "Add Property Sheet Page failed!\n"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        traceLines.clear();
        BOOL added = TRUE;
        EXPECT_EQ(Show(c.bus, c.address, &added, c.refuse), "");
        EXPECT_FALSE(added);
        EXPECT_EQ(traceLines.back(), c.lastTrace);
        EXPECT_EQ(HwOpenPropertyPageCount(), 0u);  // the refused page is not leaked
    }
}

TEST_F(PropertyPageTest, SettingButtonOpensTheConfigurationOfThatDevice) {
    int card = KtzSimAddCard(1, 2, KTZSIM_PCI3649L);
    Install(5, card);
    HwUiClick(IDD_PROPERTY_PAGE, IDC_PAGE_SETTING);
    Snapshot(IDD_DEVICE_SETTING);
    HwUiClick(IDD_DEVICE_SETTING, IDCANCEL);
    EXPECT_EQ(HwDevMgrShowCardProperties(KtxDevicePropPage, 1, 2), 1);
    EXPECT_EQ(OpenedDialogs(), std::vector<int>{IDD_DEVICE_SETTING});
    // The device's own settings: a PCI-3649L, so the outputs are disabled.
    EXPECT_NE(ControlLines(dumps_.at(0), IDC_DA0_RANGE)[0].find("disabled"), std::string::npos);
    EXPECT_EQ(ktz::CurrentDeviceNumber(), 5u);
}

TEST_F(PropertyPageTest, OtherPageRequestsAreServedAndTraced) {
    Install(0);
    HW_DEVICE_NODE node{};
    node.address = 13u << 16;
    node.pageRequested = SPPSR_ENUM_BASIC_DEVICE_PROPERTIES;
    EXPECT_EQ(HwDevMgrShowProperties(KtxDevicePropPage, &node, nullptr), 1);
    EXPECT_EQ(traceLines.at(1),
              "Request a page, but not EnumPropPages32! This maybe is an error!\n");
    node.missing = HW_DEVPROP_NO_BUSNUMBER;
    EXPECT_EQ(HwDevMgrShowProperties(KtxDevicePropPage, &node, nullptr), 0);
    EXPECT_EQ(KtxDevicePropPage(nullptr, nullptr, 0), FALSE);
}

}  // namespace
}  // namespace ktztest
