// Fixture for the configuration user interface on the virtual lab: the
// library's templates registered for its module, scripted dialogs, the
// journal, and registry helpers.
#pragma once

#include <hostwin.h>
#include <hostwin_ui.h>

#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "lab_fixture.h"

namespace ktztest {

constexpr char kServiceKeyPath[] = "SYSTEM\\CurrentControlSet\\Services\\KTZ3649S";
constexpr char kDeviceKey0[] = "SYSTEM\\CurrentControlSet\\Services\\KTZ3649S\\Device000";
constexpr char kListKey0[] = "SYSTEM\\CurrentControlSet\\Services\\KTZDAQ\\Device000";

// A registry value as type and bytes; numbers compare as REG_DWORD values.
struct RegValue {
    DWORD type;
    std::string bytes;
    bool operator==(const RegValue &) const = default;
};
std::ostream &operator<<(std::ostream &out, const RegValue &v);
RegValue Number(DWORD value);
RegValue Text(const std::string &text, DWORD type = REG_SZ);
using RegValues = std::map<std::string, RegValue>;

// The values of a key among `names` (missing ones are left out).
RegValues ReadKey(const std::string &path, const std::vector<std::string> &names);
// The values that a device's settings key holds, by name.
RegValues ReadDeviceKey(const std::string &path);
bool KeyExists(const std::string &path);
// The settings key of a device as the library stores these settings.
RegValues StoredValues(const KtzSimDeviceSettings &s);
void WriteNumber(const std::string &path, const char *name, DWORD value);
void WriteBinary(const std::string &path, const char *name, const void *data, DWORD size);

class UiTest : public LabTest {
protected:
    void SetUp() override;
    void TearDown() override;

    // Runs `body` with the dialog at this point of its template's script.
    void Inspect(int dialogId, std::function<void(HWND)> body);
    // Records the dump of the dialog at this point of the script in dumps_.
    void Snapshot(int dialogId);
    // The journal's events of one kind.
    std::vector<HW_UI_EVENT> Events(DWORD kind);
    // The IDs of the dialogs opened, in order.
    std::vector<int> OpenedDialogs();

    HINSTANCE module_ = nullptr;
    std::vector<std::string> dumps_;
    std::vector<std::unique_ptr<std::function<void(HWND)>>> inspectors_;
};

// The lines of a dump that describe one control (and its items).
std::vector<std::string> ControlLines(const std::string &dump, int id);

}  // namespace ktztest
