// Opens every configuration dialog of Ktz3649.dll as an application and the
// device manager do, saves a picture of each (a BMP per dialog, in the
// folder given as the argument) and leaves each one by Cancel, so that
// nothing is stored. A watcher thread plays the user: it waits for each
// dialog to appear, takes its picture and presses the next button.
// Exit code 0 only when every dialog appeared, every picture was saved, the
// calls returned what they should and the registry holds no new settings.
#include <windows.h>
#include <commctrl.h>

#include <cstdio>
#include <string>

#include <ktz3649.h>
#include <ui/resource.h>

#include "device_manager.h"
#include "layout_check.h"
#include "machine.h"
#include "window_capture.h"

namespace pictures {
namespace {

constexpr DWORD kAppearMs = 20000;

constexpr char kSettingCaption[] = "PCI-3649 Device Setting";
constexpr char kSheetCaption[] = "PCI-3649 Properties";

// ---- what the user does ------------------------------------------------------

void Press(HWND dialog, int id) {
    PostMessageA(dialog, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED),
                 reinterpret_cast<LPARAM>(GetDlgItem(dialog, id)));
}
void PressOk(HWND dialog) { Press(dialog, IDOK); }
void PressCancel(HWND dialog) { Press(dialog, IDCANCEL); }
void PressAbout(HWND dialog) { Press(dialog, IDC_ABOUT); }

// The settings dialog keeps its Options button hidden and disabled; a host
// that offers the expansion board options shows it.
void PressOptions(HWND dialog) {
    HWND button = GetDlgItem(dialog, IDC_OPTIONS);
    ShowWindow(button, SW_SHOW);
    EnableWindow(button, TRUE);
    Press(dialog, IDC_OPTIONS);
}

// Chooses the XTBD-5203 in the board-type selector; the dialog asks first.
void ChooseExpansionBoard(HWND dialog) {
    HWND selector = GetDlgItem(dialog, IDC_BOARD_TYPE);
    SendMessageA(selector, CB_SETCURSEL, 0, 0);
    PostMessageA(dialog, WM_COMMAND, MAKEWPARAM(IDC_BOARD_TYPE, CBN_SELCHANGE),
                 reinterpret_cast<LPARAM>(selector));
}

void CancelSheet(HWND sheet) { PostMessageA(sheet, PSM_PRESSBUTTON, PSBTN_CANCEL, 0); }

void SelectFirstCard(HWND dialog) {
    SendDlgItemMessageA(dialog, IDC_FOUND_LIST, LB_SETCURSEL, 0, 0);
}

// The focus on the default button: no caret blinking in the channel field.
void FocusOk(HWND dialog) {
    SendMessageA(dialog, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(GetDlgItem(dialog, IDOK)), TRUE);
}

// The page of a property sheet: the library's template in the sheet.
HWND SheetPage(HWND sheet) {
    return reinterpret_cast<HWND>(SendMessageA(sheet, PSM_GETCURRENTPAGEHWND, 0, 0));
}

// One dialog as the watcher meets it.
struct Step {
    const char *caption;
    const char *picture;              // file name without ".bmp"; null: no picture
    void (*prepare)(HWND);            // before the picture; may be null
    void (*leave)(HWND);              // the button pressed afterwards
    bool closes;                      // the button closes this dialog
    HWND (*laidOut)(HWND) = nullptr;  // the window whose layout is checked; null: the dialog
};

// In the order in which the calls of main() open the dialogs.
constexpr Step kSteps[] = {
    {"Warnning", "warning", nullptr, PressOk, true},  // closes by OK only
    {"Existing unconfigured PCI-3649", "discovery", SelectFirstCard, PressCancel, true},
    {kSettingCaption, "settings", FocusOk, PressAbout, false},
    {"About PCI-3649", "about", nullptr, PressCancel, true},
    {kSettingCaption, nullptr, nullptr, PressOptions, false},
    {"Options", "options", nullptr, ChooseExpansionBoard, false},
    {"Note", nullptr, nullptr, PressOk, true},
    {"Options", "options-connected", nullptr, PressCancel, true},
    {kSettingCaption, nullptr, nullptr, PressCancel, true},
    {kSettingCaption, "settings-pci3649l", FocusOk, PressCancel, true},
    {kSheetCaption, "property-page", nullptr, CancelSheet, true, SheetPage},
};

std::string outputFolder = ".";

DWORD WINAPI Watch(LPVOID) {
    int failures = 0;
    for (const Step &step : kSteps) {
        HWND dialog = WaitForDialog(step.caption, kAppearMs);
        if (!dialog) {
            std::fprintf(stderr, "FAIL: \"%s\" did not appear\n", step.caption);
            std::fflush(nullptr);
            ExitProcess(1);  // the calls of main() wait in a dialog that nobody closes
        }
        if (step.prepare) step.prepare(dialog);
        if (step.picture) {
            // Pictured dialogs are laid out from the library's templates.
            failures += CheckLayout(step.laidOut ? step.laidOut(dialog) : dialog, step.picture);
            std::string path = outputFolder + "\\" + step.picture + ".bmp";
            if (SaveWindowPicture(dialog, path)) {
                std::printf("saved %s.bmp (\"%s\")\n", step.picture, step.caption);
            } else {
                std::fprintf(stderr, "FAIL: no picture of \"%s\"\n", step.caption);
                ++failures;
            }
        }
        step.leave(dialog);
        if (step.closes && !WaitForClose(dialog, kAppearMs)) {
            std::fprintf(stderr, "FAIL: \"%s\" did not close\n", step.caption);
            std::fflush(nullptr);
            ExitProcess(1);
        }
    }
    return static_cast<DWORD>(failures);
}

// ---- the machine -------------------------------------------------------------

// Device 0: a PCI-3649 on bus 0, slot 13.
constexpr StoredDevice kDevice0 = {
    .boardId = KTZ_BOARD_PCI3649,
    .baseAddress = 0xE800,
    .interrupt = 0x0B,
    .bus = 0,
    .slot = 13,
    .chanConfig = 0x0003,   // channels 0 and 1 form a differential pair
    .dioPortMode = 0x0010,  // DIO port 1 is an input
    .freqArea = 1,
    .pwmArea = 0,
    // Output 0 internal, -10 V to 10 V; output 1 external unipolar.
    .outputs = {{0, 10, -10}, {1, 5, 0}},
};
// A card as the kernel driver records it; `configured` when a device uses it.
constexpr KtzFoundDevice Card(DWORD bus, DWORD slot, DWORD kind, DWORD configured) {
    return {bus, slot, configured, {}, kind, 0};
}
constexpr KtzFoundDevice kCard0 = Card(0, 13, KTZ_CARD_KIND_PCI3649, 1);  // device 0's
constexpr KtzFoundDevice kFreeCard = Card(0, 14, KTZ_CARD_KIND_PCI3649, 0);
constexpr KtzFoundDevice kFreeCardL = Card(2, 5, KTZ_CARD_KIND_PCI3649L, 0);

// The library's entry points, resolved by their exported names as an
// application that loads the DLL at run time does.
using DeviceConfigFn = decltype(&DeviceConfig);
using DeviceConfigExtFn = decltype(&DeviceConfigExt);
DeviceConfigFn deviceConfig = nullptr;
DeviceConfigExtFn deviceConfigExt = nullptr;
PageProvider pageProvider = nullptr;

template <class Function>
bool Resolve(HMODULE library, const char *name, Function *function) {
    *function =
        reinterpret_cast<Function>(reinterpret_cast<void (*)()>(GetProcAddress(library, name)));
    if (!*function) std::fprintf(stderr, "FAIL: Ktz3649.dll does not export %s\n", name);
    return *function != nullptr;
}

int failures = 0;

void Expect(const char *what, long result, long expected) {
    if (result == expected) return;
    std::fprintf(stderr, "FAIL: %s returned %ld, expected %ld\n", what, result, expected);
    ++failures;
}

void ExpectAbsent(const char *path) {
    if (!KeyExists(path)) return;
    std::fprintf(stderr, "FAIL: a dialog stored %s\n", path);
    ++failures;
}

}  // namespace
}  // namespace pictures

int main(int argc, char **argv) {
    using namespace pictures;
    if (argc > 1) outputFolder = argv[1];
    INITCOMMONCONTROLSEX controls{sizeof controls, ICC_STANDARD_CLASSES | ICC_TAB_CLASSES};
    InitCommonControlsEx(&controls);
    HMODULE library = LoadLibraryA("Ktz3649.dll");
    if (!library) {
        std::fprintf(stderr, "FAIL: cannot load Ktz3649.dll: %lu\n", GetLastError());
        return 1;
    }
    if (!Resolve(library, "DeviceConfig", &deviceConfig) ||
        !Resolve(library, "_DeviceConfigExt@20", &deviceConfigExt) ||
        !Resolve(library, "KtxDevicePropPage", &pageProvider))
        return 1;

    // Only a card that device 0 uses: DeviceConfig of device 3 finds no free
    // card and warns.
    if (!ResetMachine() || !AddFoundDevice(0, kCard0) || !InstallDevice(0, kDevice0)) {
        std::fprintf(stderr, "FAIL: cannot set up the registry\n");
        return 1;
    }
    HANDLE watcher = CreateThread(nullptr, 0, Watch, nullptr, 0, nullptr);
    if (!watcher) return 1;

    Expect("DeviceConfig(3) without a free card", deviceConfig(3, KTZ_BOARD_PCI3649, nullptr), 0);
    if (!AddFoundDevice(1, kFreeCard) || !AddFoundDevice(2, kFreeCardL)) ++failures;
    Expect("DeviceConfig(3) with two free cards", deviceConfig(3, KTZ_BOARD_PCI3649, nullptr), 0);
    Expect("DeviceConfig(0)", deviceConfig(0, KTZ_BOARD_PCI3649, nullptr), 0);
    Expect("DeviceConfigExt(1) for a PCI-3649L",
           deviceConfigExt(1, KTZ_BOARD_PCI3649L, nullptr, &kFreeCardL, 0), 0);
    Expect("the property sheet of the card on bus 0, slot 13",
           static_cast<long>(ShowDeviceProperties(library, pageProvider, 0, 13, kSheetCaption)), 0);

    DWORD watched = 1;
    if (WaitForSingleObject(watcher, kAppearMs) != WAIT_OBJECT_0 ||
        !GetExitCodeThread(watcher, &watched) || watched != 0)
        ++failures;
    CloseHandle(watcher);

    // Every dialog was left by Cancel: no settings, no service.
    ExpectAbsent(KTZ_SERVICE_KEY "\\Device001");
    ExpectAbsent(KTZ_SERVICE_KEY "\\Device003");
    ExpectAbsent(KTZ_SHARED_KEY);
    if (ServiceExists(KTZ_SERVICE_NAME)) {
        std::fprintf(stderr, "FAIL: the service %s was installed\n", KTZ_SERVICE_NAME);
        ++failures;
    }
    std::printf("%s\n", failures ? "FAILED" : "all dialogs pictured");
    return failures ? 1 : 0;
}
