// An application that links only the library: the loader stand-in made the
// library's dialog templates its resources, so the settings dialog opens
// from libktz3649.so and runs its script.
#include <ktz3649.h>

#include <hostwin_ui.h>

#include <cstdio>

int main() {
    KtzFoundDevice card{};
    card.SlotNumber = 13;
    HwUiClick(105, IDCANCEL);
    LONG result = DeviceConfigExt(0, KTZ_BOARD_PCI3649, nullptr, &card, 0);
    HW_UI_EVENT opened{};
    if (result != 0 || !HwUiGetEvent(0, &opened) || opened.kind != HW_UI_DIALOG_OPENED ||
        opened.dialogId != 105 || HwUiErrorCount() != 0) {
        std::fprintf(stderr, "DeviceConfigExt: %d, first event %u of dialog %d, %u errors\n",
                     static_cast<int>(result), opened.kind, opened.dialogId, HwUiErrorCount());
        return 1;
    }
    std::printf("dialog 105 \"%s\" ran from the library's resources\n", opened.text);
    return 0;
}
