// The card discovery dialog "Existing unconfigured PCI-3649" (template 104)
// with the enumeration of the detected cards, and the warning (103) and
// About (106) boxes.
#include <cstring>

#include "config/registry_paths.h"
#include "ui/dialogs.h"
#include "ui/resource.h"

namespace ktz {
namespace {

// The list of the open discovery dialog (one at a time per process).
LPVOID foundList = nullptr;

constexpr DWORD kListHeader = sizeof(DWORD);

void FreeFoundList() {
    if (foundList) GlobalFree(foundList);
    foundList = nullptr;
}

// Reads FoundDevice<index> into a zeroed record, with the bytes read in
// *size; false when the value is missing or longer than a record.
bool QueryFoundDevice(HKEY key, DWORD index, KtzFoundDevice *record, DWORD *size) {
    char name[32];
    wsprintfA(name, KTZ_FOUND_DEVICE_FORMAT, static_cast<int>(index));
    std::memset(record, 0, sizeof *record);
    *size = sizeof *record;
    return RegQueryValueExA(key, name, nullptr, nullptr, reinterpret_cast<BYTE *>(record),
                            size) == ERROR_SUCCESS;
}

}  // namespace

KtzFoundDevice *FoundDeviceEntry(LPVOID list, DWORD index) {
    return reinterpret_cast<KtzFoundDevice *>(static_cast<BYTE *>(list) + kListHeader) + index;
}

DWORD EnumFoundDevices(LPVOID *list) {
    HKEY key;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, kServiceKey, 0, KEY_READ, &key) != ERROR_SUCCESS)
        return 0;
    KtzFoundDevice record;
    DWORD size = 0, count = 0;
    for (DWORD index = 0; QueryFoundDevice(key, index, &record, &size); ++index)
        if (record.Configured == 0) ++count;
    LPVOID block =
        count ? GlobalAlloc(GPTR, kListHeader + count * sizeof(KtzFoundDevice)) : nullptr;
    if (!block) {
        RegCloseKey(key);
        return 0;
    }
    // The service may add values meanwhile: never more entries than counted.
    DWORD copied = 0;
    for (DWORD index = 0; copied < count; ++index) {
        if (!QueryFoundDevice(key, index, &record, &size)) break;
        if (record.Configured == 0) std::memcpy(FoundDeviceEntry(block, copied++), &record, size);
    }
    RegCloseKey(key);
    // Values gone since the count: with nothing copied there is no list.
    if (copied == 0) {
        GlobalFree(block);
        return 0;
    }
    *static_cast<DWORD *>(block) = copied;
    *list = block;
    return copied;
}

INT_PTR CALLBACK WarningDlgProc(HWND dialog, UINT message, WPARAM wParam, LPARAM) {
    if (message == WM_INITDIALOG) return TRUE;
    if (message == WM_COMMAND && LOWORD(wParam) == IDOK) {
        EndDialog(dialog, 0);
        return TRUE;
    }
    return FALSE;  // Escape and the close box do not close the warning
}

}  // namespace ktz

using namespace ktz;

extern "C" {

INT_PTR CALLBACK ConfigProcFoundDev(HWND dialog, UINT message, WPARAM wParam, LPARAM) {
    switch (message) {
    case WM_INITDIALOG: {
        DWORD count = EnumFoundDevices(&foundList);
        if (count == 0) {
            EndDialog(dialog, -1);
            return TRUE;
        }
        for (DWORD index = 0; index < count; ++index) {
            const KtzFoundDevice &card = *FoundDeviceEntry(foundList, index);
            char line[96];
            wsprintfA(line, "%s Bus: %03XH, Slot: %03XH",
                      card.CardKind == KTZ_CARD_KIND_PCI3649 ? "PCI-3649" : "PCI-3649L",
                      static_cast<UINT>(card.BusNumber), static_cast<UINT>(card.SlotNumber));
            SendDlgItemMessageA(dialog, IDC_FOUND_LIST, LB_ADDSTRING, 0,
                                reinterpret_cast<LPARAM>(line));
        }
        return TRUE;
    }
    case WM_COMMAND:
        if (LOWORD(wParam) == IDOK) {
            LRESULT selected = SendDlgItemMessageA(dialog, IDC_FOUND_LIST, LB_GETCURSEL, 0, 0);
            if (selected == LB_ERR || !foundList ||
                selected >= static_cast<LRESULT>(*static_cast<DWORD *>(foundList)))
                return TRUE;  // no line chosen: the dialog stays open
            std::memcpy(&ContextFoundDevice(),
                        FoundDeviceEntry(foundList, static_cast<DWORD>(selected)),
                        sizeof(KtzFoundDevice));
            FreeFoundList();
            EndDialog(dialog, 1);
        } else if (LOWORD(wParam) == IDCANCEL) {
            FreeFoundList();
            EndDialog(dialog, 0);
        }
        return TRUE;
    case WM_DESTROY:
        // Ended another way (or still held when the dialog is destroyed): no leak.
        FreeFoundList();
        return FALSE;
    default:
        return FALSE;
    }
}

INT_PTR CALLBACK AboutProc(HWND dialog, UINT message, WPARAM wParam, LPARAM) {
    if (message == WM_INITDIALOG) return TRUE;
    if (message == WM_COMMAND && (LOWORD(wParam) == IDOK || LOWORD(wParam) == IDCANCEL)) {
        EndDialog(dialog, 1);
        return TRUE;
    }
    return FALSE;
}

}  // extern "C"
