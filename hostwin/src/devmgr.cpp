// The device manager's side: property sheet pages, the device registry
// properties of SetupAPI, and the stand-in that asks a page provider for its
// pages of one device and shows them.
#include "ui_internal.h"

#include <algorithm>
#include <cstring>
#include <new>
#include <unordered_set>

struct _PSP {
    PROPSHEETPAGEA page;  // the caller's structure, as far as its dwSize says
};

namespace hostwin::ui {
namespace {

// A device-information set of the stand-in: one device.
struct DeviceInfoSet {
    HW_DEVICE_NODE node;
    DWORD devInst;
};

struct Sheet {
    bool refuse = false;
    std::vector<HPROPSHEETPAGE> pages;
};

std::unordered_set<HPROPSHEETPAGE> &Pages() {
    static auto *pages = new std::unordered_set<HPROPSHEETPAGE>;
    return *pages;
}

std::unordered_set<DeviceInfoSet *> &Sets() {
    static auto *sets = new std::unordered_set<DeviceInfoSet *>;
    return *sets;
}

BOOL CALLBACK AddPage(HPROPSHEETPAGE page, LPARAM lParam) {
    auto *sheet = reinterpret_cast<Sheet *>(lParam);
    if (sheet->refuse || !page) return FALSE;
    sheet->pages.push_back(page);
    return TRUE;
}

void ShowPage(HPROPSHEETPAGE page) {
    PROPSHEETPAGEA &psp = page->page;
    int id = IS_INTRESOURCE(psp.pszTemplate)
                 ? static_cast<int>(reinterpret_cast<ULONG_PTR>(psp.pszTemplate))
                 : 0;
    const HW_DIALOG_TEMPLATE *t = HwFindDialogTemplate(psp.hInstance, id);
    if (!t) {
        RecordError(id, "property page template " + std::to_string(id) + " not found");
        return;
    }
    auto dialog = CreateFromTemplate(*t, psp.hInstance, nullptr, psp.pfnDlgProc);
    if ((psp.dwFlags & PSP_USETITLE) && psp.pszTitle && IS_INTRESOURCE(psp.pszTitle) == 0)
        dialog->text = psp.pszTitle;
    Run(std::move(dialog), reinterpret_cast<LPARAM>(&psp), true);
}

}  // namespace
}  // namespace hostwin::ui

using namespace hostwin;
using namespace hostwin::ui;

extern "C" {

HPROPSHEETPAGE WINAPI CreatePropertySheetPageA(LPCPROPSHEETPAGEA lppsp) {
    if (!lppsp || lppsp->dwSize < PROPSHEETPAGEA_V1_SIZE)
        return Fail<HPROPSHEETPAGE>(ERROR_INVALID_PARAMETER, nullptr);
    auto *page = new (std::nothrow) _PSP{};
    if (!page) return Fail<HPROPSHEETPAGE>(ERROR_NOT_ENOUGH_MEMORY, nullptr);
    std::memcpy(&page->page, lppsp, std::min<size_t>(lppsp->dwSize, sizeof(PROPSHEETPAGEA)));
    std::lock_guard lock(Mutex());
    Pages().insert(page);
    return page;
}

BOOL WINAPI DestroyPropertySheetPage(HPROPSHEETPAGE page) {
    std::lock_guard lock(Mutex());
    if (!Pages().erase(page)) return Fail(ERROR_INVALID_HANDLE, FALSE);
    delete page;
    return TRUE;
}

DWORD WINAPI HwOpenPropertyPageCount(VOID) {
    std::lock_guard lock(Mutex());
    return static_cast<DWORD>(Pages().size());
}

BOOL WINAPI SetupDiGetDeviceRegistryPropertyA(HDEVINFO DeviceInfoSet,
                                              PSP_DEVINFO_DATA DeviceInfoData, DWORD Property,
                                              PDWORD PropertyRegDataType, PBYTE PropertyBuffer,
                                              DWORD PropertyBufferSize, PDWORD RequiredSize) {
    std::lock_guard lock(Mutex());
    auto *set = static_cast<hostwin::ui::DeviceInfoSet *>(DeviceInfoSet);
    if (!set || !Sets().count(set)) return Fail(ERROR_INVALID_HANDLE, FALSE);
    if (!DeviceInfoData || DeviceInfoData->cbSize != sizeof(SP_DEVINFO_DATA))
        return Fail(ERROR_INVALID_PARAMETER, FALSE);
    if (DeviceInfoData->DevInst != set->devInst) return Fail(ERROR_NO_SUCH_DEVINST, FALSE);
    DWORD value = 0;
    if (Property == SPDRP_BUSNUMBER && !(set->node.missing & HW_DEVPROP_NO_BUSNUMBER))
        value = set->node.busNumber;
    else if (Property == SPDRP_ADDRESS && !(set->node.missing & HW_DEVPROP_NO_ADDRESS))
        value = set->node.address;
    else
        return Fail(ERROR_INVALID_DATA, FALSE);
    if (PropertyRegDataType) *PropertyRegDataType = REG_DWORD;
    if (RequiredSize) *RequiredSize = sizeof value;
    if (!PropertyBuffer || PropertyBufferSize < sizeof value)
        return Fail(ERROR_INSUFFICIENT_BUFFER, FALSE);
    std::memcpy(PropertyBuffer, &value, sizeof value);
    return TRUE;
}

int WINAPI HwDevMgrShowProperties(HW_PROPPAGE_PROVIDER provider, const HW_DEVICE_NODE *device,
                                  BOOL *providerResult) {
    if (!provider || !device) return Fail(ERROR_INVALID_PARAMETER, 0);
    std::lock_guard lock(Mutex());
    DeviceInfoSet set{*device, 1};
    Sets().insert(&set);
    SP_DEVINFO_DATA data{};
    data.cbSize = sizeof data;
    data.DevInst = set.devInst;
    SP_PROPSHEETPAGE_REQUEST request{};
    request.cbSize = sizeof request;
    request.PageRequested =
        device->pageRequested ? device->pageRequested : SPPSR_ENUM_ADV_DEVICE_PROPERTIES;
    request.DeviceInfoSet = &set;
    request.DeviceInfoData = &data;
    Sheet sheet;
    sheet.refuse = device->refusePages != FALSE;
    BOOL result = provider(&request, AddPage, reinterpret_cast<LPARAM>(&sheet));
    if (providerResult) *providerResult = result;
    for (HPROPSHEETPAGE page : sheet.pages) {
        ShowPage(page);
        DestroyPropertySheetPage(page);
    }
    Sets().erase(&set);
    return static_cast<int>(sheet.pages.size());
}

int WINAPI HwDevMgrShowCardProperties(HW_PROPPAGE_PROVIDER provider, DWORD bus, DWORD slot) {
    HW_DEVICE_NODE node{};
    node.busNumber = bus;
    node.address = slot << 16;
    return HwDevMgrShowProperties(provider, &node, nullptr);
}

}  // extern "C"
