// The kernel service's keys, the event-log source and the service-control
// sequences of the configuration.
#include <config/registry_paths.h>
#include <config/service.h>

#include <hostwin.h>

#include <cstring>
#include <string>

#include "lab_fixture.h"

namespace ktztest {
namespace {

constexpr char kShared[] = "SYSTEM\\CurrentControlSet\\Services\\KTZDAQ";
constexpr char kService[] = "SYSTEM\\CurrentControlSet\\Services\\KTZ3649S";
constexpr char kEventLog[] = "SYSTEM\\CurrentControlSet\\Services\\EventLog\\System";
constexpr char kSource[] = "SYSTEM\\CurrentControlSet\\Services\\EventLog\\System\\KTZ3649S";

// A value as "type:bytes" (numbers in decimal), or "" when missing.
std::string Value(const char *path, const char *name) {
    HKEY key;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, path, 0, KEY_READ, &key) != ERROR_SUCCESS) return "";
    char data[512];
    DWORD size = sizeof data, type = 0;
    LONG rc = RegQueryValueExA(key, name, nullptr, &type, reinterpret_cast<BYTE *>(data), &size);
    RegCloseKey(key);
    if (rc != ERROR_SUCCESS) return "";
    if (type == REG_DWORD) {
        DWORD n;
        std::memcpy(&n, data, sizeof n);
        return "dword:" + std::to_string(n);
    }
    return std::to_string(type) + ":" + std::string(data, size);
}

void SetNumber(const char *path, const char *name, DWORD value) {
    HKEY key;
    ASSERT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, path, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                              &key, nullptr),
              ERROR_SUCCESS);
    RegSetValueExA(key, name, 0, REG_DWORD, reinterpret_cast<const BYTE *>(&value), sizeof value);
    RegCloseKey(key);
}

std::string Sz(const char *text, DWORD type = REG_SZ) {
    return std::to_string(type) + ":" + std::string(text, std::strlen(text) + 1);
}

class ServiceTest : public LabTest {
protected:
    void SetUp() override {
        LabTest::SetUp();
        HwSetWindowsDirectory("C:\\WINDOWS");
    }
    // A step through its own service-manager connection.
    static DWORD Step(DWORD (*step)(SC_HANDLE, LPCSTR)) {
        SC_HANDLE manager = OpenSCManagerA(nullptr, nullptr, SC_MANAGER_ALL_ACCESS);
        DWORD result = step(manager, "KTZ3649S");
        DWORD error = GetLastError();
        CloseServiceHandle(manager);
        SetLastError(error);
        return result;
    }
};

TEST_F(ServiceTest, NewKeysGetTheirValues) {
    SetNumber(kEventLog, "Root", 1);  // the event-log root exists
    ASSERT_EQ(ktz::RegisterDriverKeys(), 0u);
    struct Row {
        const char *path;
        const char *name;
        std::string value;
    };
    const Row rows[] = {
        {kShared, "Type", "dword:1"},
        {kShared, "Start", "dword:4"},
        {kShared, "Group", Sz("Extended Base")},
        {kShared, "ErrorControl", "dword:1"},
        {kService, "Type", "dword:1"},
        {kService, "Start", "dword:2"},
        {kService, "Group", Sz("Extended Base")},
        {kService, "ErrorControl", "dword:1"},
        {kSource, "EventMessageFile", Sz("%SystemRoot%\\System32\\IoLogMsg.dll", REG_EXPAND_SZ)},
        {kSource, "TypesSupported", "dword:7"},
    };
    for (const auto &row : rows) EXPECT_EQ(Value(row.path, row.name), row.value) << row.name;
    EXPECT_EQ(Sz("Extended Base").size(), 2u + 14u);
}

TEST_F(ServiceTest, ExistingKeysAreNeverRewrittenAndAMissingEventLogIsNoError) {
    SetNumber(kService, "Start", 3);
    SetNumber(kShared, "Type", 9);
    ASSERT_EQ(ktz::RegisterDriverKeys(), 0u);
    EXPECT_EQ(Value(kService, "Start"), "dword:3");
    EXPECT_EQ(Value(kService, "Type"), "");
    EXPECT_EQ(Value(kShared, "Type"), "dword:9");
    EXPECT_EQ(Value(kShared, "Group"), "");
    EXPECT_EQ(Value(kSource, "TypesSupported"), "");  // no event-log root, no source

    SetNumber(kSource, "TypesSupported", 1);
    ASSERT_EQ(ktz::RegisterDriverKeys(), 0u);
    EXPECT_EQ(Value(kSource, "TypesSupported"), "dword:1");
    EXPECT_EQ(Value(kSource, "EventMessageFile"), "");
}

TEST_F(ServiceTest, BinaryPathComesFromTheWindowsDirectory) {
    HwSetWindowsDirectory("D:\\WINNT");
    ASSERT_EQ(Step(ktz::CreateDriverService), 1u);
    EXPECT_EQ(Value(kService, "ImagePath"),
              Sz("D:\\WINNT\\system32\\drivers\\KTZ3649S.SYS", REG_EXPAND_SZ));
    EXPECT_EQ(Value(kService, "Start"), "dword:2");
    // An existing service counts as created.
    EXPECT_EQ(Step(ktz::CreateDriverService), 1u);

    ASSERT_EQ(Step(ktz::DeleteDriverService), 1u);
    HwSetWindowsDirectory(std::string(300, 'W').c_str());  // too long for the path
    EXPECT_EQ(Step(ktz::CreateDriverService), 0u);
    EXPECT_EQ(Step(ktz::StartDriverService), 0u);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SERVICE_DOES_NOT_EXIST));
}

TEST_F(ServiceTest, StepsCountTheHarmlessErrorsAsSuccess) {
    struct Row {
        const char *what;
        DWORD (*step)(SC_HANDLE, LPCSTR);
        DWORD result;
        int running;  // afterwards
    };
    const Row rows[] = {
        {"stop a service that does not exist", ktz::StopDriverService, 0, 0},
        {"create", ktz::CreateDriverService, 1, 0},
        {"stop a driver that is not running (1062)", ktz::StopDriverService, 1, 0},
        {"start", ktz::StartDriverService, 1, 1},
        {"start a running driver (1056)", ktz::StartDriverService, 1, 1},
        {"stop", ktz::StopDriverService, 1, 0},
        {"delete", ktz::DeleteDriverService, 1, 0},
        {"delete a deleted service", ktz::DeleteDriverService, 0, 0},
    };
    for (const auto &row : rows) {
        EXPECT_EQ(Step(row.step), row.result) << row.what;
        EXPECT_EQ(KtzSimDriverRunning(), row.running) << row.what;
    }
}

TEST_F(ServiceTest, InstallRestartAndRemove) {
    ASSERT_EQ(ktz::RegisterDriverKeys(), 0u);
    EXPECT_EQ(ktz::InstallAndRestartService("KTZ3649S"), 0u);
    EXPECT_EQ(KtzSimDriverRunning(), 1);
    EXPECT_EQ(ktz::InstallAndRestartService("KTZ3649S"), 0u);  // exists and runs: restarted
    EXPECT_EQ(KtzSimDriverRunning(), 1);
    EXPECT_EQ(ktz::RemoveService("KTZ3649S"), 0u);
    EXPECT_EQ(KtzSimDriverRunning(), 0);
    EXPECT_EQ(Value(kService, "Type"), "");  // the deleted service takes its key along
    EXPECT_EQ(ktz::RemoveService("KTZ3649S"), static_cast<DWORD>(ERROR_SERVICE_DOES_NOT_EXIST));
}

TEST_F(ServiceTest, TemporaryInstallOnlyWhenTheKeyIsNew) {
    EXPECT_EQ(ktz::TemporaryServiceInstall("KTZ3649S", kService) & 0xFF, 1u);
    EXPECT_EQ(KtzSimDriverRunning(), 1);
    EXPECT_EQ(Value(kService, "Group"), Sz("Extended Base"));
    // The key exists now: nothing is written or installed, and the caller must not remove it.
    EXPECT_EQ(ktz::RemoveService("KTZ3649S"), 0u);
    SetNumber(kService, "Start", 3);
    EXPECT_EQ(ktz::TemporaryServiceInstall("KTZ3649S", kService) & 0xFF, 0u);
    EXPECT_EQ(KtzSimDriverRunning(), 0);
    EXPECT_EQ(Value(kService, "Start"), "dword:3");
}

}  // namespace
}  // namespace ktztest
