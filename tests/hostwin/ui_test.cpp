// The headless user interface: dialogs run from scripts, controls with real
// state, message boxes, the journal, and the device manager's side.
#include <gtest/gtest.h>

#include <hostwin.h>
#include <hostwin_ui.h>
#include <windows.h>

#include <functional>
#include <list>
#include <string>
#include <vector>

extern "C" const HW_RESOURCES hostwin_test_resources;

namespace {

constexpr int kTest = 200;
constexpr int kNested = 201;

struct Message {
    UINT message;
    WORD id;
    WORD code;
    bool operator==(const Message &) const = default;
};

std::vector<Message> received;
LPARAM initParam = 0;
INT_PTR nestedResult = 0;
int answer = 0;

INT_PTR CALLBACK NestedProc(HWND dialog, UINT message, WPARAM wParam, LPARAM) {
    if (message == WM_COMMAND && LOWORD(wParam) == IDOK) EndDialog(dialog, 7);
    return message == WM_INITDIALOG;
}

INT_PTR CALLBACK TestProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_INITDIALOG:
        initParam = lParam;
        received.push_back({message, 0, 0});
        for (const char *text : {"pear", "Apple", "fig"})
            SendDlgItemMessageA(dialog, 20, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(text));
        for (int list : {21, 22})
            for (const char *text : {"one", "two"})
                SendDlgItemMessageA(dialog, list, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(text));
        return TRUE;
    case WM_COMMAND:
        received.push_back({message, LOWORD(wParam), HIWORD(wParam)});
        if (LOWORD(wParam) == IDOK) EndDialog(dialog, 1);
        if (LOWORD(wParam) == IDCANCEL) EndDialog(dialog, 2);
        if (LOWORD(wParam) == 15) answer = MessageBoxA(dialog, "Sure?", "Question", MB_YESNO);
        if (LOWORD(wParam) == 16)
            nestedResult = DialogBoxParamA(reinterpret_cast<HINSTANCE>(GetWindowLongPtrA(
                                               dialog, GWLP_USERDATA)),
                                           MAKEINTRESOURCEA(kNested), dialog, NestedProc, 0);
        return TRUE;
    case WM_DESTROY:
        received.push_back({message, 0, 0});
        return FALSE;
    default:
        return FALSE;
    }
}

class HostwinUi : public ::testing::Test {
protected:
    void SetUp() override {
        HwUiReset();
        received.clear();
        module_ = HwRegisterModule("hwuitest.dll");
        ASSERT_TRUE(HwRegisterResources(module_, &hostwin_test_resources));
    }
    void TearDown() override { HwUiReset(); }

    INT_PTR Run(LPARAM param = 0) {
        return DialogBoxParamA(module_, MAKEINTRESOURCEA(kTest), nullptr, TestProc, param);
    }
    void Inspect(std::function<void(HWND)> body) {
        bodies_.push_back(std::move(body));
        HwUiInspect(
            kTest,
            [](HWND dialog, LPVOID context) {
                (*static_cast<std::function<void(HWND)> *>(context))(dialog);
            },
            &bodies_.back());
    }
    std::vector<std::string> Errors() {
        std::vector<std::string> errors;
        HW_UI_EVENT e;
        for (DWORD i = 0; i < HwUiEventCount(); ++i)
            if (HwUiGetEvent(i, &e) && e.kind == HW_UI_ERROR) errors.push_back(e.text);
        return errors;
    }

    HINSTANCE module_ = nullptr;
    std::list<std::function<void(HWND)>> bodies_;
};

TEST_F(HostwinUi, ScriptActionsBecomeCommandsWithTheirNotifications) {
    HwUiClick(kTest, 11);
    HwUiSelect(kTest, 20, 2);
    HwUiSelect(kTest, 21, 1);
    HwUiSelect(kTest, 22, 1);  // a list box without LBS_NOTIFY tells nothing
    HwUiEscape(kTest);
    EXPECT_EQ(Run(1234), 2);
    EXPECT_EQ(initParam, 1234);
    EXPECT_EQ(received, (std::vector<Message>{{WM_INITDIALOG, 0, 0},
                                              {WM_COMMAND, 11, BN_CLICKED},
                                              {WM_COMMAND, 20, CBN_SELCHANGE},
                                              {WM_COMMAND, 21, LBN_SELCHANGE},
                                              {WM_COMMAND, IDCANCEL, BN_CLICKED},
                                              {WM_DESTROY, 0, 0}}));
    EXPECT_TRUE(Errors().empty());
    HW_UI_EVENT e;
    ASSERT_TRUE(HwUiGetEvent(0, &e));
    EXPECT_EQ(e.kind, static_cast<DWORD>(HW_UI_DIALOG_OPENED));
    EXPECT_STREQ(e.text, "Test \"dialog\"");
}

TEST_F(HostwinUi, AutoRadioButtonsClearTheirGroupOnly) {
    Inspect([](HWND d) {
        CheckDlgButton(d, 14, BST_CHECKED);
        CheckRadioButton(d, 11, 13, 13);
    });
    HwUiClick(kTest, 12);
    HwUiClick(kTest, 15);
    HwUiAnswer(kTest, IDNO);
    Inspect([](HWND d) {
        EXPECT_EQ(IsDlgButtonChecked(d, 11), 0u);
        EXPECT_EQ(IsDlgButtonChecked(d, 12), 1u);
        EXPECT_EQ(IsDlgButtonChecked(d, 13), 0u);
        EXPECT_EQ(IsDlgButtonChecked(d, 14), 1u);  // another group
        EXPECT_EQ(IsDlgButtonChecked(d, 15), 1u);  // the check box toggled
    });
    HwUiClick(kTest, IDOK);
    EXPECT_EQ(Run(), 1);
    EXPECT_EQ(answer, IDNO);
    EXPECT_TRUE(Errors().empty());
}

TEST_F(HostwinUi, ComboAndListMessagesKeepItemsAndSelection) {
    Inspect([](HWND d) {
        auto combo = [&](UINT m, WPARAM w = 0, LPARAM l = 0) {
            return SendDlgItemMessageA(d, 20, m, w, l);
        };
        auto text = [](const char *t) { return reinterpret_cast<LPARAM>(t); };
        char buffer[32];
        // CBS_SORT: added in order, case-insensitively; inserted where told.
        EXPECT_EQ(combo(CB_GETLBTEXT, 0, reinterpret_cast<LPARAM>(buffer)), 5);
        EXPECT_STREQ(buffer, "Apple");
        EXPECT_EQ(combo(CB_INSERTSTRING, 0, text("zz")), 0);
        EXPECT_EQ(combo(CB_INSERTSTRING, 9, text("no")), CB_ERR);
        EXPECT_EQ(combo(CB_SETCURSEL, 2), 2);  // "fig"
        EXPECT_EQ(combo(CB_DELETESTRING, 0), 3);
        EXPECT_EQ(combo(CB_GETCURSEL), 1);  // moved up with its item
        EXPECT_EQ(combo(CB_DELETESTRING, 1), 2);
        EXPECT_EQ(combo(CB_GETCURSEL), CB_ERR);  // deleted with its item
        EXPECT_EQ(combo(CB_SELECTSTRING, static_cast<WPARAM>(-1), text("PE")), 1);
        EXPECT_EQ(combo(CB_SELECTSTRING, static_cast<WPARAM>(-1), text("x")), CB_ERR);
        EXPECT_EQ(combo(CB_GETCURSEL), 1);  // unchanged by a failed search
        EXPECT_EQ(combo(CB_SETITEMDATA, 1, 65535), CB_OKAY);
        EXPECT_EQ(combo(CB_GETITEMDATA, 1), 65535);
        EXPECT_EQ(combo(CB_GETITEMDATA, 5), CB_ERR);
        EXPECT_EQ(combo(CB_SETCURSEL, 7), CB_ERR);  // out of range clears
        EXPECT_EQ(combo(CB_GETCURSEL), CB_ERR);
        EXPECT_EQ(SendDlgItemMessageA(d, 21, LB_SETCURSEL, 1, 0), 1);
        EXPECT_EQ(SendDlgItemMessageA(d, 21, LB_RESETCONTENT, 0, 0), LB_OKAY);
        EXPECT_EQ(SendDlgItemMessageA(d, 21, LB_GETCURSEL, 0, 0), LB_ERR);
        EXPECT_EQ(SendDlgItemMessageA(d, 21, LB_GETCOUNT, 0, 0), 0);
    });
    HwUiClick(kTest, IDOK);
    EXPECT_EQ(Run(), 1);
    EXPECT_TRUE(Errors().empty());
}

TEST_F(HostwinUi, ImpossibleActionsAreErrorsTheTestSees) {
    HwUiClick(kTest, 10);      // disabled and hidden
    HwUiClick(kTest, 99);      // no such control
    HwUiSelect(kTest, 21, 5);  // two items
    HwUiAnswer(kTest, IDOK);   // no message box
    HwUiClick(kTest, 15);      // asks, but the script has no answer
    EXPECT_EQ(Run(), -1);      // and then runs out
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_TIMEOUT));
    EXPECT_EQ(answer, 0);
    auto errors = Errors();
    ASSERT_EQ(errors.size(), 6u);
    EXPECT_NE(errors[0].find("control 10 is disabled"), std::string::npos) << errors[0];
    EXPECT_NE(errors[1].find("has no control 99"), std::string::npos) << errors[1];
    EXPECT_NE(errors[2].find("has no item 5 (2 items)"), std::string::npos) << errors[2];
    EXPECT_NE(errors[3].find("no message box is shown"), std::string::npos) << errors[3];
    EXPECT_NE(errors[4].find("not an answer"), std::string::npos) << errors[4];
    EXPECT_NE(errors[5].find("script has run out"), std::string::npos) << errors[5];
    // Nothing but the check box's click reached the procedure.
    EXPECT_EQ(received.size(), 3u);

    EXPECT_EQ(DialogBoxParamA(module_, MAKEINTRESOURCEA(999), nullptr, TestProc, 0), -1);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_RESOURCE_NAME_NOT_FOUND));
}

TEST_F(HostwinUi, EscapeIsIgnoredWhileCancelIsDisabled) {
    Inspect([](HWND d) { EnableWindow(GetDlgItem(d, IDCANCEL), FALSE); });
    HwUiEscape(kTest);
    HwUiClick(kTest, IDOK);
    EXPECT_EQ(Run(), 1);
    EXPECT_EQ(received.size(), 3u);  // init, OK, destroy
}

TEST_F(HostwinUi, NestedDialogsRunTheirOwnScripts) {
    // The test procedure takes the module from its user data.
    Inspect([this](HWND d) {
        SetWindowLongPtrA(d, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(module_));
        EXPECT_EQ(GetWindowLongPtrA(d, GWLP_USERDATA), reinterpret_cast<LONG_PTR>(module_));
    });
    HwUiClick(kTest, 16);
    HwUiClick(kNested, IDOK);
    HwUiClick(kTest, IDOK);
    EXPECT_EQ(Run(), 1);
    EXPECT_EQ(nestedResult, 7);
    EXPECT_EQ(HwUiPendingActions(-1), 0u);
    EXPECT_TRUE(Errors().empty());
}

TEST_F(HostwinUi, DumpShowsTheControlsState) {
    std::string dump;
    HWND seen = nullptr;
    Inspect([&](HWND d) {
        seen = d;
        SendDlgItemMessageA(d, 20, CB_SETCURSEL, 1, 0);
        SendDlgItemMessageA(d, 20, CB_SETITEMDATA, 1, 262);
        CheckDlgButton(d, 15, BST_CHECKED);
        SetDlgItemTextA(d, 30, "Changed\ttext");
        std::string text(HwUiDumpWindow(d, nullptr, 0) + 1, '\0');
        HwUiDumpWindow(d, text.data(), static_cast<DWORD>(text.size()));
        dump = text.c_str();
    });
    HwUiClick(kTest, IDOK);
    EXPECT_EQ(Run(), 1);
    EXPECT_EQ(dump,
              "dialog 200 \"Test \\\"dialog\\\"\"\n"
              "  button 1 \"OK\"\n"
              "  button 2 \"Cancel\"\n"
              "  button 10 \"Hidden\" disabled hidden\n"
              "  button 16 \"Nested\"\n"
              "  radio 11 \"A\"\n"
              "  radio 12 \"B\"\n"
              "  radio 13 \"C\"\n"
              "  radio 14 \"D\"\n"
              "  checkbox 15 \"Ask\" checked\n"
              "  combobox 20 \"fig\" sel=1\n"
              "    [0] \"Apple\"\n"
              "   *[1] \"fig\" data=262\n"
              "    [2] \"pear\"\n"
              "  listbox 21 \"\" sel=none\n"
              "    [0] \"one\"\n"
              "    [1] \"two\"\n"
              "  listbox 22 \"\" sel=none\n"
              "    [0] \"one\"\n"
              "    [1] \"two\"\n"
              "  static 30 \"Changed\\ttext\"\n");
    // The dialog's windows are gone with it.
    EXPECT_FALSE(IsWindow(seen));
    EXPECT_EQ(GetDlgItem(seen, IDOK), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_WINDOW_HANDLE));
}

TEST_F(HostwinUi, TemplatesKeepTheCompiledStyles) {
    const HW_DIALOG_TEMPLATE *t = HwFindDialogTemplate(module_, kTest);
    ASSERT_NE(t, nullptr);
    EXPECT_EQ(t->style, static_cast<DWORD>(DS_SETFONT | DS_MODALFRAME | WS_POPUP | WS_CAPTION |
                                           WS_SYSMENU));
    EXPECT_STREQ(t->fontName, "MS Shell Dlg");
    ASSERT_EQ(t->itemCount, 13u);
    EXPECT_EQ(t->items[2].style, static_cast<DWORD>(WS_CHILD | WS_DISABLED | WS_TABSTOP));
    // As windres compiles it: a style list leaves out the radio button's WS_TABSTOP.
    EXPECT_EQ(t->items[4].style,
              static_cast<DWORD>(WS_CHILD | WS_VISIBLE | WS_GROUP | BS_AUTORADIOBUTTON));
    EXPECT_STREQ(t->items[12].text, "Label\twith tab");
    EXPECT_STREQ(t->items[12].className, "STATIC");
    const HW_DIALOG_TEMPLATE *nested = HwFindDialogTemplate(module_, kNested);
    ASSERT_NE(nested, nullptr);
    EXPECT_EQ(nested->style, static_cast<DWORD>(WS_POPUP | WS_BORDER | WS_SYSMENU | WS_CAPTION));
    EXPECT_EQ(HwFindDialogTemplate(HwRegisterModule("other.dll"), kTest), nullptr);
}

// A page provider that offers one page of template 200 for bus 3, address 0x00050001.
BOOL WINAPI TestProvider(PSP_PROPSHEETPAGE_REQUEST request, LPFNADDPROPSHEETPAGE addPage,
                         LPARAM lParam) {
    DWORD type = 0, value = 0, needed = 0;
    BYTE small[2];
    EXPECT_FALSE(SetupDiGetDeviceRegistryPropertyA(request->DeviceInfoSet,
                                                   request->DeviceInfoData, SPDRP_ADDRESS, &type,
                                                   small, sizeof small, &needed));
    if (GetLastError() == ERROR_INVALID_DATA) return FALSE;  // the device has no address
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
    EXPECT_EQ(needed, 4u);
    if (!SetupDiGetDeviceRegistryPropertyA(request->DeviceInfoSet, request->DeviceInfoData,
                                           SPDRP_ADDRESS, &type,
                                           reinterpret_cast<BYTE *>(&value), sizeof value,
                                           nullptr))
        return FALSE;
    EXPECT_EQ(type, static_cast<DWORD>(REG_DWORD));
    EXPECT_EQ(value, 0x00050001u);
    if (!SetupDiGetDeviceRegistryPropertyA(request->DeviceInfoSet, request->DeviceInfoData,
                                           SPDRP_BUSNUMBER, nullptr,
                                           reinterpret_cast<BYTE *>(&value), sizeof value,
                                           nullptr))
        return FALSE;
    EXPECT_EQ(value, 3u);
    PROPSHEETPAGEA page{};
    page.dwSize = PROPSHEETPAGEA_V1_SIZE - 1;
    EXPECT_EQ(CreatePropertySheetPageA(&page), nullptr);  // too small a structure
    page.dwSize = PROPSHEETPAGEA_V2_SIZE;
    page.dwFlags = PSP_USETITLE;
    page.hInstance = HwRegisterModule("hwuitest.dll");
    page.pszTemplate = MAKEINTRESOURCEA(kTest);
    page.pszTitle = "Page title";
    page.pfnDlgProc = TestProc;
    page.lParam = 99;
    HPROPSHEETPAGE handle = CreatePropertySheetPageA(&page);
    if (!addPage(handle, lParam)) {
        DestroyPropertySheetPage(handle);
        return FALSE;
    }
    return TRUE;
}

TEST_F(HostwinUi, DeviceManagerShowsTheProvidersPages) {
    HW_DEVICE_NODE node{};
    node.busNumber = 3;
    node.address = 0x00050001;
    HwUiClick(kTest, 11);  // a page's script may run out: the sheet closes
    BOOL added = FALSE;
    EXPECT_EQ(HwDevMgrShowProperties(TestProvider, &node, &added), 1);
    EXPECT_TRUE(added);
    EXPECT_EQ(HwOpenPropertyPageCount(), 0u);
    EXPECT_TRUE(Errors().empty());
    ASSERT_GE(received.size(), 3u);
    EXPECT_EQ(received.back(), (Message{WM_DESTROY, 0, 0}));
    HW_UI_EVENT e;
    ASSERT_TRUE(HwUiGetEvent(HwUiEventCount() - 1, &e));
    EXPECT_EQ(e.kind, static_cast<DWORD>(HW_UI_PAGE));
    EXPECT_EQ(std::string(e.text).substr(0, 23), "dialog 200 \"Page title\"");

    node.missing = HW_DEVPROP_NO_ADDRESS;
    EXPECT_EQ(HwDevMgrShowProperties(TestProvider, &node, &added), 0);
    EXPECT_FALSE(added);
    node.missing = 0;
    node.refusePages = TRUE;
    EXPECT_EQ(HwDevMgrShowProperties(TestProvider, &node, &added), 0);
    EXPECT_EQ(HwOpenPropertyPageCount(), 0u);
}

}  // namespace
