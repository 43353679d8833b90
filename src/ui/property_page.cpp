// The device manager's property page "PCI3649 Property" (template 102): the
// provider maps the card's PCI bus and slot to a device number; the page
// shows the device's stored settings and opens the configuration dialog.
#include <cstdarg>
#include <cstddef>
#include <cstdlib>
#include <cstring>

#include "config/registry_paths.h"
#include "core/device.h"
#include "ui/dialogs.h"
#include "ui/resource.h"

namespace ktz {
namespace {

// The page structure with the header-title members: 48 bytes on 32-bit Windows.
static_assert(sizeof(void *) != 4 ||
              offsetof(PROPSHEETPAGEA, pszHeaderSubTitle) + sizeof(LPCSTR) == 48);

constexpr char kDevicePrefix[] = "Device";
constexpr DWORD kSubkeyNameLength = 32;

// One per created page: freed by the page at WM_DESTROY, or by the provider
// when the page cannot be created or added.
struct PageContext {
    DWORD boardId;
    DWORD deviceNumber;
};

DebugTraceSink traceSink = nullptr;

void Trace(const char *format, ...) {
    if (!traceSink) return;
    char line[256];
    va_list args;
    va_start(args, format);
    wvsprintfA(line, format, args);
    va_end(args);
    traceSink(line);
}

bool QueryNumber(HKEY key, const char *name, DWORD *value) {
    DWORD size = sizeof *value;
    return RegQueryValueExA(key, name, nullptr, nullptr, reinterpret_cast<BYTE *>(value), &size) ==
           ERROR_SUCCESS;
}

bool ReadProperty(HDEVINFO set, PSP_DEVINFO_DATA data, DWORD property, DWORD *value) {
    return SetupDiGetDeviceRegistryPropertyA(set, data, property, nullptr,
                                             reinterpret_cast<BYTE *>(value), sizeof *value,
                                             nullptr) != FALSE;
}

// Whether the device subkey `name` holds this bus and slot; its BoardID
// goes to *boardId as it is read.
bool SubkeyMatches(HKEY service, const char *name, DWORD bus, DWORD slot, DWORD *boardId) {
    HKEY key;
    if (RegOpenKeyExA(service, name, 0, KEY_READ, &key) != ERROR_SUCCESS) {
        Trace("open device key failed.%d\n", static_cast<int>(GetLastError()));
        return false;
    }
    DWORD keyBus = 0, keySlot = 0;
    bool read = false;
    if (!QueryNumber(key, "BusNumber", &keyBus)) {
        Trace("Get Bus number failed.%d\n", static_cast<int>(GetLastError()));
    } else if (QueryNumber(key, "SlotNumber", &keySlot)) {
        Trace("%s Bus and Slot: %x, %x\n", name, keyBus, keySlot);
        read = QueryNumber(key, "BoardID", boardId);
        if (!read) Trace("Get board ID failed.%d\n", static_cast<int>(GetLastError()));
    }
    RegCloseKey(key);
    return read && keyBus == bus && keySlot == slot;
}

void FillPage(HWND page, const PageContext &context) {
    DeviceSettings settings{};
    if (ReadDeviceSettings(context.deviceNumber, &settings) != 0) {
        Trace("Read Device parameters failed.\n");
        return;
    }
    const struct {
        int id;
        DWORD value;
    } fields[] = {
        {IDC_PAGE_DEVICE_NUMBER, context.deviceNumber},
        {IDC_PAGE_BOARD_ID, settings.BoardID << 16},
        {IDC_PAGE_BASE_ADDRESS, settings.BaseAddress},
        {IDC_PAGE_INTERRUPT, settings.Interrupt},
        {IDC_PAGE_BUS_NUMBER, settings.BusNumber},
        {IDC_PAGE_SLOT_NUMBER, settings.SlotNumber},
    };
    for (const auto &field : fields) {
        char text[16];
        wsprintfA(text, "0x%x", static_cast<UINT>(field.value));
        SetDlgItemTextA(page, field.id, text);
    }
}

PageContext *Context(HWND page) {
    return reinterpret_cast<PageContext *>(GetWindowLongPtrA(page, GWLP_USERDATA));
}

}  // namespace

void SetDebugTraceSink(DebugTraceSink sink) { traceSink = sink; }

BOOL FindDeviceByBusSlot(HDEVINFO deviceInfoSet, PSP_DEVINFO_DATA deviceInfoData,
                         DWORD *deviceNumber, DWORD *boardId) {
    DWORD address = 0, bus = 0;
    if (!ReadProperty(deviceInfoSet, deviceInfoData, SPDRP_ADDRESS, &address)) {
        Trace("Get device slot number failed.%d\n", static_cast<int>(GetLastError()));
        return FALSE;
    }
    DWORD slot = address >> 16;  // the PCI device; the function number is dropped
    Trace("Device slot number: %x\n", slot);
    if (!ReadProperty(deviceInfoSet, deviceInfoData, SPDRP_BUSNUMBER, &bus)) {
        Trace("Get device bus number failed.%d\n", static_cast<int>(GetLastError()));
        return FALSE;
    }
    Trace("Device Bus number: %x\n", bus);
    HKEY service;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, kServiceKey, 0, KEY_READ, &service) != ERROR_SUCCESS) {
        Trace("Open driver key failed. %d\n", static_cast<int>(GetLastError()));
        return FALSE;
    }
    Trace("Open driver key successed\n");
    bool found = false;
    for (DWORD index = 0; !found; ++index) {
        char name[kSubkeyNameLength];
        DWORD length = kSubkeyNameLength;
        LONG rc = RegEnumKeyExA(service, index, name, &length, nullptr, nullptr, nullptr, nullptr);
        if (rc == ERROR_MORE_DATA) continue;  // a name too long for a device key
        if (rc != ERROR_SUCCESS) break;
        if (std::strncmp(name, kDevicePrefix, sizeof kDevicePrefix - 1) != 0) continue;
        if (!SubkeyMatches(service, name, bus, slot, boardId)) continue;
        *deviceNumber = static_cast<DWORD>(std::strtol(name + sizeof kDevicePrefix - 1, nullptr, 10));
        found = true;
    }
    RegCloseKey(service);
    return found ? TRUE : FALSE;
}

INT_PTR CALLBACK DevicePageProc(HWND page, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_INITDIALOG: {
        auto *sheetPage = reinterpret_cast<LPPROPSHEETPAGEA>(lParam);
        auto *context = sheetPage ? reinterpret_cast<PageContext *>(sheetPage->lParam) : nullptr;
        SetWindowLongPtrA(page, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(context));
        if (context) FillPage(page, *context);
        return TRUE;
    }
    case WM_COMMAND:
        if (LOWORD(wParam) == IDC_PAGE_SETTING && HIWORD(wParam) == BN_CLICKED) {
            if (const PageContext *context = Context(page))
                DeviceConfig(context->deviceNumber, context->boardId, page);
            return TRUE;
        }
        return FALSE;
    case WM_DESTROY:
        if (PageContext *context = Context(page)) {
            HeapFree(GetProcessHeap(), 0, context);
            SetWindowLongPtrA(page, GWLP_USERDATA, 0);
        }
        return FALSE;
    default:
        return FALSE;
    }
}

}  // namespace ktz

using namespace ktz;

extern "C" BOOL WINAPI KtxDevicePropPage(struct _SP_PROPSHEETPAGE_REQUEST *request,
                                         BOOL(CALLBACK *addPage)(struct _PSP *, LPARAM),
                                         LPARAM lParam) {
    Trace("Entry Exported Function\n");
    if (!request || !addPage) return FALSE;
    if (request->PageRequested != SPPSR_ENUM_ADV_DEVICE_PROPERTIES)
        Trace("Request a page, but not EnumPropPages32! This maybe is an error!\n");
    DWORD deviceNumber = 0, boardId = 0;
    if (!FindDeviceByBusSlot(request->DeviceInfoSet, request->DeviceInfoData, &deviceNumber,
                             &boardId)) {
        Trace("Get Device instance information failed.\n");
        return FALSE;
    }
    Trace("ktz3649 -- Device Number = %d\n", static_cast<int>(deviceNumber));
    auto *context = static_cast<PageContext *>(
        HeapAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY, sizeof(PageContext)));
    if (!context) {
        Trace("Alloc memory for context failed.%d\n", static_cast<int>(GetLastError()));
        return FALSE;
    }
    context->boardId = boardId;
    context->deviceNumber = deviceNumber;

    PROPSHEETPAGEA sheetPage{};
    sheetPage.dwSize = PROPSHEETPAGEA_V2_SIZE;
    sheetPage.dwFlags = PSP_USETITLE;
    sheetPage.hInstance = ModuleHandle();
    sheetPage.pszTemplate = MAKEINTRESOURCEA(IDD_PROPERTY_PAGE);
    sheetPage.pszTitle = "PCI3649 Property";
    sheetPage.pfnDlgProc = DevicePageProc;
    sheetPage.lParam = reinterpret_cast<LPARAM>(context);
    HPROPSHEETPAGE handle = CreatePropertySheetPageA(&sheetPage);
    if (!handle) {
        Trace("Create PsP failed. Error = %d\n", static_cast<int>(GetLastError()));
        HeapFree(GetProcessHeap(), 0, context);
        return FALSE;
    }
    Trace("Create PsP OK!!!\n");
    if (!addPage(handle, lParam)) {
        Trace("Add Property Sheet Page failed!\n");
        // A page the sheet did not take is destroyed here, with its context.
        DestroyPropertySheetPage(handle);
        HeapFree(GetProcessHeap(), 0, context);
        return FALSE;
    }
    Trace("Add Property Sheet Page Succeed!\n");
    return TRUE;
}
