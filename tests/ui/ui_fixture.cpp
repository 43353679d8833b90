#include "ui_fixture.h"

#include <core/device.h>
#include <ui/dialogs.h>

#include <cstring>
#include <iostream>
#include <sstream>

extern "C" const HW_RESOURCES ktz3649_resources;

namespace ktztest {

std::ostream &operator<<(std::ostream &out, const RegValue &v) {
    out << "type " << v.type << " ";
    if (v.type == REG_DWORD && v.bytes.size() == 4) {
        DWORD n;
        std::memcpy(&n, v.bytes.data(), 4);
        return out << "number " << n;
    }
    return out << "\"" << v.bytes << "\" (" << v.bytes.size() << " bytes)";
}

RegValue Number(DWORD value) {
    return {REG_DWORD, std::string(reinterpret_cast<const char *>(&value), sizeof value)};
}

RegValue Text(const std::string &text, DWORD type) {
    return {type, std::string(text.c_str(), text.size() + 1)};
}

RegValues ReadKey(const std::string &path, const std::vector<std::string> &names) {
    RegValues values;
    HKEY key;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS)
        return values;
    for (const auto &name : names) {
        char data[512];
        DWORD size = sizeof data, type = 0;
        if (RegQueryValueExA(key, name.c_str(), nullptr, &type, reinterpret_cast<BYTE *>(data),
                             &size) == ERROR_SUCCESS)
            values[name] = {type, std::string(data, size)};
    }
    RegCloseKey(key);
    return values;
}

RegValues ReadDeviceKey(const std::string &path) {
    return ReadKey(path, {"DeviceName", "DriverName", "KernelKey", "BaseAddress", "BoardID",
                          "IoPortCount", "AllowConflicts", "Interrupt", "DMA", "DMABaseAddress",
                          "TimerClock", "OnSystem", "BusNumber", "SlotNumber", "CJCChannel",
                          "NumExpChan", "DioPortMode", "FreqArea", "PWMArea", "ChanConfig",
                          "AOSettings 0", "AOSettings 1", "Extra"});
}

RegValues StoredValues(const KtzSimDeviceSettings &s) {
    char name[64], ao[2][32];
    wsprintfA(name, "PCI-3649%s %sI/O=%xH", s.boardId == KTZSIM_PCI3649 ? "" : "L",
              s.numExpChan ? "With Exp. " : "", s.baseAddress);
    for (int k = 0; k < 2; ++k)
        wsprintfA(ao[k], " %5u %5d %5d", s.aoReference[k], static_cast<int>(s.aoMaximum[k]),
                  static_cast<int>(s.aoMinimum[k]));
    return {
        {"DeviceName", Text(name)},         {"DriverName", Text("Ktz3649.dll")},
        {"KernelKey", Text("KTZ3649S")},    {"BaseAddress", Number(s.baseAddress)},
        {"BoardID", Number(s.boardId)},     {"IoPortCount", Number(s.ioPortCount)},
        {"AllowConflicts", Number(s.allowConflicts)}, {"Interrupt", Number(s.interrupt)},
        {"DMA", Number(s.dma)},             {"DMABaseAddress", Number(s.dmaBaseAddress)},
        {"TimerClock", Number(s.timerClock)}, {"OnSystem", Number(s.onSystem)},
        {"BusNumber", Number(s.busNumber)}, {"SlotNumber", Number(s.slotNumber)},
        {"CJCChannel", Number(s.cjcChannel)}, {"NumExpChan", Number(s.numExpChan)},
        {"DioPortMode", Number(s.dioPortMode)}, {"FreqArea", Number(s.freqArea)},
        {"PWMArea", Number(s.pwmArea)},     {"ChanConfig", Number(s.chanConfig)},
        {"AOSettings 0", Text(ao[0])},      {"AOSettings 1", Text(ao[1])},
    };
}

bool KeyExists(const std::string &path) {
    HKEY key;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS)
        return false;
    RegCloseKey(key);
    return true;
}

void WriteBinary(const std::string &path, const char *name, const void *data, DWORD size) {
    HKEY key;
    ASSERT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS,
                              nullptr, &key, nullptr),
              ERROR_SUCCESS);
    EXPECT_EQ(RegSetValueExA(key, name, 0, REG_BINARY, static_cast<const BYTE *>(data), size),
              ERROR_SUCCESS);
    RegCloseKey(key);
}

void WriteNumber(const std::string &path, const char *name, DWORD value) {
    HKEY key;
    ASSERT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS,
                              nullptr, &key, nullptr),
              ERROR_SUCCESS);
    EXPECT_EQ(RegSetValueExA(key, name, 0, REG_DWORD, reinterpret_cast<const BYTE *>(&value),
                             sizeof value),
              ERROR_SUCCESS);
    RegCloseKey(key);
}

void UiTest::SetUp() {
    LabTest::SetUp();
    HwUiReset();
    HwSetVersion(VER_PLATFORM_WIN32_NT, 6, 1, 7601);
    HwSetWindowsDirectory("C:\\WINDOWS");
    ktz::SetDebugTraceSink(nullptr);
    // What the loader stand-in does for libktz3649.so.
    module_ = HwRegisterModule("Ktz3649.dll");
    ASSERT_TRUE(HwRegisterResources(module_, &ktz3649_resources));
    ASSERT_TRUE(DllMain(module_, DLL_PROCESS_ATTACH, nullptr));
}

void UiTest::TearDown() {
    for (const auto &e : Events(HW_UI_ERROR)) ADD_FAILURE() << "user interface: " << e.text;
    if (HasFailure()) {
        for (DWORD i = 0; i < HwUiEventCount(); ++i) {
            auto e = std::make_unique<HW_UI_EVENT>();
            HwUiGetEvent(i, e.get());
            std::cerr << "  journal: kind " << e->kind << " dialog " << e->dialogId << " result "
                      << e->result << " " << e->caption << " " << e->text << "\n";
        }
    }
    EXPECT_EQ(HwUiPendingActions(-1), 0u) << "script actions left over";
    EXPECT_EQ(HwOpenPropertyPageCount(), 0u);
    HwUiReset();
    LabTest::TearDown();
}

void UiTest::Inspect(int dialogId, std::function<void(HWND)> body) {
    inspectors_.push_back(std::make_unique<std::function<void(HWND)>>(std::move(body)));
    HwUiInspect(
        dialogId,
        [](HWND dialog, LPVOID context) {
            (*static_cast<std::function<void(HWND)> *>(context))(dialog);
        },
        inspectors_.back().get());
}

void UiTest::Snapshot(int dialogId) {
    Inspect(dialogId, [this](HWND dialog) {
        std::string text(HwUiDumpWindow(dialog, nullptr, 0) + 1, '\0');
        HwUiDumpWindow(dialog, text.data(), static_cast<DWORD>(text.size()));
        text.pop_back();
        dumps_.push_back(text);
    });
}

std::vector<HW_UI_EVENT> UiTest::Events(DWORD kind) {
    std::vector<HW_UI_EVENT> events;
    for (DWORD i = 0; i < HwUiEventCount(); ++i) {
        auto e = std::make_unique<HW_UI_EVENT>();
        if (HwUiGetEvent(i, e.get()) && e->kind == kind) events.push_back(*e);
    }
    return events;
}

std::vector<int> UiTest::OpenedDialogs() {
    std::vector<int> ids;
    for (const auto &e : Events(HW_UI_DIALOG_OPENED)) ids.push_back(e.dialogId);
    return ids;
}

std::vector<std::string> ControlLines(const std::string &dump, int id) {
    std::vector<std::string> lines;
    std::istringstream in(dump);
    std::string line;
    std::string prefix = " " + std::to_string(id) + " ";
    bool inside = false;
    while (std::getline(in, line)) {
        bool control = line.rfind("  ", 0) == 0 && line.rfind("   ", 0) != 0;
        if (control) inside = line.find(prefix) != std::string::npos &&
                              line.find(prefix) == line.find(' ', 2);
        if (inside) lines.push_back(line);
    }
    return lines;
}

}  // namespace ktztest
