// The device manager's part in showing a card's properties: a device
// information set with the card in it, the provider's request, and the
// property sheet with the pages the provider adds.
//
// The provider finds the device number by the card's PCI bus number and
// address (SPDRP_BUSNUMBER, SPDRP_ADDRESS). Windows keeps both for every PCI
// device; Wine's SetupDiGetDeviceRegistryPropertyA knows neither, and there
// is no PCI card in a Wine prefix anyway. So the library's import of that
// function is pointed at a stand-in that answers those two properties for
// the card of this sheet and passes every other question on to setupapi.
#include "device_manager.h"

#include <commctrl.h>
#include <prsht.h>
#include <setupapi.h>

#include <cstring>
#include <vector>

namespace pictures {
namespace {

using GetPropertyFn = BOOL(WINAPI *)(HDEVINFO, PSP_DEVINFO_DATA, DWORD, PDWORD, PBYTE, DWORD,
                                     PDWORD);

// The setup class of devices without one of their own.
constexpr GUID kUnknownClass = {
    0x4d36e97e, 0xe325, 0x11ce, {0xbf, 0xc1, 0x08, 0x00, 0x2b, 0xe1, 0x03, 0x18}};

struct Card {
    HDEVINFO set = INVALID_HANDLE_VALUE;
    SP_DEVINFO_DATA data{};
    DWORD bus = 0;
    DWORD address = 0;  // PCI device number << 16 | function number
};
Card card;
GetPropertyFn setupapiGetProperty = nullptr;

BOOL WINAPI CardProperty(HDEVINFO set, PSP_DEVINFO_DATA data, DWORD property, PDWORD type,
                         PBYTE buffer, DWORD size, PDWORD required) {
    bool ours = set == card.set && data && data->DevInst == card.data.DevInst;
    if (!ours || (property != SPDRP_BUSNUMBER && property != SPDRP_ADDRESS))
        return setupapiGetProperty(set, data, property, type, buffer, size, required);
    DWORD value = property == SPDRP_BUSNUMBER ? card.bus : card.address;
    if (type) *type = REG_DWORD;
    if (required) *required = sizeof value;
    if (!buffer || size < sizeof value) {
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return FALSE;
    }
    std::memcpy(buffer, &value, sizeof value);
    return TRUE;
}

// Points `module`'s import of `function` from `dll` at `replacement`;
// returns what it pointed at before, or null if there is no such import.
void *ReplaceImport(HMODULE module, const char *dll, const char *function, void *replacement) {
    auto *base = reinterpret_cast<BYTE *>(module);
    auto *dos = reinterpret_cast<IMAGE_DOS_HEADER *>(base);
    auto *nt = reinterpret_cast<IMAGE_NT_HEADERS *>(base + dos->e_lfanew);
    const IMAGE_DATA_DIRECTORY &imports =
        nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
    if (imports.VirtualAddress == 0) return nullptr;
    for (auto *entry = reinterpret_cast<IMAGE_IMPORT_DESCRIPTOR *>(base + imports.VirtualAddress);
         entry->Name; ++entry) {
        if (lstrcmpiA(reinterpret_cast<char *>(base + entry->Name), dll) != 0) continue;
        DWORD names = entry->OriginalFirstThunk ? entry->OriginalFirstThunk : entry->FirstThunk;
        auto *name = reinterpret_cast<IMAGE_THUNK_DATA *>(base + names);
        auto *slot = reinterpret_cast<IMAGE_THUNK_DATA *>(base + entry->FirstThunk);
        for (; name->u1.AddressOfData; ++name, ++slot) {
            if (IMAGE_SNAP_BY_ORDINAL(name->u1.Ordinal)) continue;
            auto *byName = reinterpret_cast<IMAGE_IMPORT_BY_NAME *>(base + name->u1.AddressOfData);
            if (std::strcmp(reinterpret_cast<char *>(byName->Name), function) != 0) continue;
            DWORD protection;
            if (!VirtualProtect(&slot->u1.Function, sizeof slot->u1.Function, PAGE_READWRITE,
                                &protection))
                return nullptr;
            void *previous = reinterpret_cast<void *>(slot->u1.Function);
            slot->u1.Function = reinterpret_cast<ULONG_PTR>(replacement);
            VirtualProtect(&slot->u1.Function, sizeof slot->u1.Function, protection, &protection);
            return previous;
        }
    }
    return nullptr;
}

BOOL CALLBACK AddPage(HPROPSHEETPAGE page, LPARAM lParam) {
    reinterpret_cast<std::vector<HPROPSHEETPAGE> *>(lParam)->push_back(page);
    return TRUE;
}

}  // namespace

INT_PTR ShowDeviceProperties(HMODULE library, PageProvider provider, DWORD bus, DWORD slot,
                             const char *caption) {
    constexpr char kFunction[] = "SetupDiGetDeviceRegistryPropertyA";
    setupapiGetProperty = reinterpret_cast<GetPropertyFn>(
        ReplaceImport(library, "setupapi.dll", kFunction, reinterpret_cast<void *>(CardProperty)));
    if (!setupapiGetProperty) return -1;

    INT_PTR result = -1;
    card.bus = bus;
    card.address = slot << 16;
    card.data = SP_DEVINFO_DATA{};
    card.data.cbSize = sizeof card.data;
    card.set = SetupDiCreateDeviceInfoList(&kUnknownClass, nullptr);
    // A phantom device (never registered): it leaves the registry with the set.
    if (card.set != INVALID_HANDLE_VALUE &&
        SetupDiCreateDeviceInfoA(card.set, "KTZ3649", &kUnknownClass, "PCI-3649", nullptr,
                                 DICD_GENERATE_ID, &card.data)) {
        SP_PROPSHEETPAGE_REQUEST request{};
        request.cbSize = sizeof request;
        request.PageRequested = SPPSR_ENUM_ADV_DEVICE_PROPERTIES;
        request.DeviceInfoSet = card.set;
        request.DeviceInfoData = &card.data;
        std::vector<HPROPSHEETPAGE> pages;
        if (provider(&request, AddPage, reinterpret_cast<LPARAM>(&pages)) && !pages.empty()) {
            PROPSHEETHEADERA header{};
            header.dwSize = sizeof header;
            header.dwFlags = PSH_NOAPPLYNOW;
            header.hInstance = GetModuleHandleA(nullptr);
            header.pszCaption = caption;
            header.nPages = static_cast<UINT>(pages.size());
            header.phpage = pages.data();
            result = PropertySheetA(&header);
        } else {
            result = -2;
        }
    }
    if (card.set != INVALID_HANDLE_VALUE) SetupDiDestroyDeviceInfoList(card.set);
    card.set = INVALID_HANDLE_VALUE;
    ReplaceImport(library, "setupapi.dll", kFunction,
                  reinterpret_cast<void *>(setupapiGetProperty));
    return result;
}

}  // namespace pictures
