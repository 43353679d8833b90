// The simulated KTZ3649S driver: detection of the cards, the found-device
// records, one device object per configured device whose card is present,
// the MapEntry values that name them, and request dispatch.
#include "driver.h"

#include <ktz3649_driver.h>

#include <cstdlib>
#include <cstring>
#include <vector>

#include "acquisition.h"
#include "lab.h"
#include "platform.h"

namespace sim {
namespace {

// Request handlers, asked in turn.
const RequestHandler kHandlers[] = {
    HandleRegisterRequest,
    HandleEventRequest,
    HandleOutputRequest,
    HandleAcquisitionRequest,
};

struct Driver {
    std::mutex mutex;
    bool running = false;
    std::vector<std::unique_ptr<DeviceObject>> devices;
};

Driver &TheDriver() {
    static auto *driver = new Driver;
    return *driver;
}

bool IsRegisterCode(DWORD code) {
    return code == KTZ_IOCTL_READ_BYTE || code == KTZ_IOCTL_READ_WORD || code == KTZ_IOCTL_WRITE_BYTE ||
           code == KTZ_IOCTL_WRITE_WORD;
}

void TraceRequest(DWORD device, DWORD code, DWORD error, unsigned kind) {
    KtzSimTraceEntry entry{};
    entry.kind = kind;
    entry.device = device;
    entry.code = code;
    entry.error = error;
    entry.thread = RequesterThread();
    Lab::Get().Record(entry);
}

DWORD OpenDevice(LPVOID deviceContext, LPVOID *fileContext) {
    auto *device = static_cast<DeviceObject *>(deviceContext);
    DWORD error = ERROR_SUCCESS;
    Lab::Get().TakeFault(KTZSIM_OPEN, &error);
    TraceRequest(device->number, KTZSIM_OPEN, error, KTZSIM_TRACE_OPEN);
    if (error != ERROR_SUCCESS) return error;
    auto *file = new OpenFile;
    file->device = device;
    *fileContext = file;
    return ERROR_SUCCESS;
}

DWORD Dispatch(LPVOID fileContext, HW_REQUEST *request, DWORD *bytes) {
    auto &file = *static_cast<OpenFile *>(fileContext);
    Lab &lab = Lab::Get();
    lab.Advance(lab.RequestCost());
    DWORD code = request->kind == HW_REQUEST_READ ? 0 : request->code;
    DWORD error = ERROR_SUCCESS;
    if (lab.TakeFault(code, &error)) {
        TraceRequest(file.device->number, code, error, KTZSIM_TRACE_REQUEST);
        return error;
    }
    std::optional<DWORD> result;
    for (RequestHandler handler : kHandlers) {
        result = handler(file, *request, *bytes);
        if (result) break;
    }
    error = result.value_or(ERROR_INVALID_FUNCTION);
    // A register request that went through traced itself with its value.
    if (!(IsRegisterCode(code) && error == ERROR_SUCCESS))
        TraceRequest(file.device->number, code, error, KTZSIM_TRACE_REQUEST);
    return error;
}

// The last handle of an open is closed: what it left running ends first.
void Cleanup(LPVOID fileContext) {
    auto *file = static_cast<OpenFile *>(fileContext);
    ReleaseAcquisition(*file);
    CleanupOutput(*file);
    delete file;
}

// A kept request is cancelled: the acquisition whose read it is ends as by
// a terminate, the output whose start it is stops.
void Cancel(LPVOID fileContext, HW_REQUEST *request) {
    auto &file = *static_cast<OpenFile *>(fileContext);
    CancelAcquisitionRead(file, *request);
    CancelOutputStart(file, *request);
}

const HW_DEVICE_CALLBACKS kCallbacks = {OpenDevice, Dispatch, Cleanup, Cancel};

DWORD ReadNumber(HKEY key, const char *name, bool *ok) {
    DWORD value = 0, size = sizeof value;
    *ok = RegQueryValueExA(key, name, nullptr, nullptr, reinterpret_cast<BYTE *>(&value), &size) ==
          ERROR_SUCCESS;
    return value;
}

// A configured device: the number of a "DeviceNNN" subkey and its card.
struct Configured {
    DWORD number;
    DWORD bus;
    DWORD slot;
};

std::vector<Configured> ConfiguredDevices() {
    std::vector<Configured> configured;
    HKEY service;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, KTZ_SERVICE_KEY, 0, KEY_READ, &service) != ERROR_SUCCESS)
        return configured;
    for (DWORD index = 0;; ++index) {
        char name[64];
        DWORD length = sizeof name;
        LONG rc = RegEnumKeyExA(service, index, name, &length, nullptr, nullptr, nullptr, nullptr);
        if (rc == ERROR_MORE_DATA) continue;
        if (rc != ERROR_SUCCESS) break;
        if (std::strncmp(name, "Device", 6) != 0 || name[6] < '0' || name[6] > '9') continue;
        HKEY key;
        if (RegOpenKeyExA(service, name, 0, KEY_READ, &key) != ERROR_SUCCESS) continue;
        bool bus = false, slot = false;
        Configured c{static_cast<DWORD>(std::strtoul(name + 6, nullptr, 10)), 0, 0};
        c.bus = ReadNumber(key, "BusNumber", &bus);
        c.slot = ReadNumber(key, "SlotNumber", &slot);
        RegCloseKey(key);
        if (bus && slot) configured.push_back(c);
    }
    RegCloseKey(service);
    return configured;
}

HKEY CreateKey(const char *path) {
    HKEY key = nullptr;
    if (RegCreateKeyExA(HKEY_LOCAL_MACHINE, path, 0, nullptr, REG_OPTION_NON_VOLATILE,
                        KEY_ALL_ACCESS, nullptr, &key, nullptr) != ERROR_SUCCESS)
        return nullptr;
    return key;
}

// Records every detected card as FoundDevice0, 1, ... and drops older ones.
void RecordFoundDevices(const std::vector<KtzSimCard> &cards,
                        const std::vector<Configured> &configured) {
    HKEY key = CreateKey(KTZ_SERVICE_KEY);
    if (!key) return;
    for (DWORD index = 0;; ++index) {
        char name[32];
        wsprintfA(name, KTZ_FOUND_DEVICE_FORMAT, static_cast<int>(index));
        if (index < cards.size()) {
            const KtzSimCard &card = cards[index];
            // The driver's own words hold the card's base address and interrupt.
            KtzFoundDevice found{card.bus,
                                 card.slot,
                                 0,
                                 {card.baseAddress, card.interrupt, 0},
                                 card.boardId == KTZSIM_PCI3649 ? DWORD(KTZ_CARD_KIND_PCI3649)
                                                                : DWORD(KTZ_CARD_KIND_PCI3649L),
                                 0};
            for (const auto &c : configured)
                if (c.bus == card.bus && c.slot == card.slot) found.Configured = 1;
            RegSetValueExA(key, name, 0, REG_BINARY, reinterpret_cast<const BYTE *>(&found),
                           sizeof found);
        } else if (RegDeleteValueA(key, name) != ERROR_SUCCESS) {
            break;
        }
    }
    RegCloseKey(key);
}

void PublishDevice(std::unique_ptr<DeviceObject> device, const KtzSimCard &card,
                   std::vector<std::unique_ptr<DeviceObject>> &devices) {
    char path[64];
    wsprintfA(path, "\\\\.\\KTZ3649S%u", device->number);
    device->device = HwCreateDevice(path, &kCallbacks, device.get());
    if (!device->device) return;
    unsigned withheld = EventsWithheld(*device->card);
    for (int slot = 0; slot < kEventSlots; ++slot) {
        if (withheld >> slot & 1) continue;
        char name[96];
        wsprintfA(name, "%s%u", KtzEventBaseName(slot), device->number & 0xFFFFF);
        device->events[slot] = CreateEventA(nullptr, TRUE, FALSE, name);
    }
    if (HKEY map = CreateKey(KTZ_MAPENTRY_KEY)) {
        char name[16];
        wsprintfA(name, "%u", device->number);
        RegSetValueExA(map, name, 0, REG_SZ, reinterpret_cast<const BYTE *>(path),
                       static_cast<DWORD>(std::strlen(path) + 1));
        RegCloseKey(map);
    }
    char settings[128];
    wsprintfA(settings, KTZ_SERVICE_KEY KTZ_DEVICE_SUBKEY_FORMAT, static_cast<int>(device->number));
    HKEY key;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, settings, 0, KEY_SET_VALUE, &key) == ERROR_SUCCESS) {
        DWORD base = card.baseAddress;
        RegSetValueExA(key, "BaseAddress", 0, REG_DWORD, reinterpret_cast<const BYTE *>(&base),
                       sizeof base);
        RegCloseKey(key);
    }
    devices.push_back(std::move(device));
}

void Withdraw(DeviceObject &device) {
    HwDeleteDevice(device.device);  // every open is cleaned up before this returns
    for (HANDLE &event : device.events) {
        if (event) CloseHandle(event);
        event = nullptr;
    }
    HKEY map;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, KTZ_MAPENTRY_KEY, 0, KEY_SET_VALUE, &map) == ERROR_SUCCESS) {
        char name[16];
        wsprintfA(name, "%u", device.number);
        RegDeleteValueA(map, name);
        RegCloseKey(map);
    }
}

}  // namespace
}  // namespace sim

using namespace sim;

extern "C" {

KTZSIM_API DWORD HwDriverEntry(LPCSTR) {
    auto &driver = TheDriver();
    std::lock_guard lock(driver.mutex);
    if (driver.running) return ERROR_SERVICE_ALREADY_RUNNING;
    Lab &lab = Lab::Get();
    auto cards = lab.Inventory();
    auto configured = ConfiguredDevices();
    RecordFoundDevices(cards, configured);
    for (const auto &c : configured) {
        for (size_t index = 0; index < cards.size(); ++index) {
            if (cards[index].bus != c.bus || cards[index].slot != c.slot) continue;
            auto device = std::make_unique<DeviceObject>();
            device->number = c.number;
            device->cardIndex = static_cast<int>(index);
            device->card = lab.CardAt(static_cast<int>(index));
            PublishDevice(std::move(device), cards[index], driver.devices);
            break;
        }
    }
    driver.running = true;
    return ERROR_SUCCESS;
}

KTZSIM_API VOID HwDriverUnload(VOID) {
    auto &driver = TheDriver();
    std::lock_guard lock(driver.mutex);
    for (auto &device : driver.devices) Withdraw(*device);
    driver.devices.clear();
    driver.running = false;
}

int KtzSimCardOfDevice(unsigned deviceNumber) {
    auto &driver = TheDriver();
    std::lock_guard lock(driver.mutex);
    for (auto &device : driver.devices)
        if (device->number == deviceNumber) return device->cardIndex;
    return -1;
}

int KtzSimDriverRunning(void) {
    auto &driver = TheDriver();
    std::lock_guard lock(driver.mutex);
    return driver.running ? 1 : 0;
}

}  // extern "C"
