// The service control manager: the service database in the registry, and
// kernel-driver services that really load and unload their driver module.
#include <gtest/gtest.h>

#include <hostwin.h>
#include <windows.h>

#include "test_driver.h"

namespace {

constexpr char kKey[] = "SYSTEM\\CurrentControlSet\\Services\\HWTESTDRV";

SC_HANDLE Manager() { return OpenSCManagerA(nullptr, nullptr, SC_MANAGER_ALL_ACCESS); }

SC_HANDLE Create(SC_HANDLE manager, const char *image = "C:\\WINDOWS\\system32\\drivers\\HWTESTDRV.SYS",
                 DWORD start = SERVICE_DEMAND_START) {
    return CreateServiceA(manager, "HWTESTDRV", "Hostwin test driver", SERVICE_ALL_ACCESS,
                          SERVICE_KERNEL_DRIVER, start, SERVICE_ERROR_NORMAL, image, nullptr,
                          nullptr, nullptr, nullptr, nullptr);
}

bool KeyExists(const char *path) {
    HKEY key;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, path, 0, KEY_READ, &key) != ERROR_SUCCESS) return false;
    RegCloseKey(key);
    return true;
}

class Services : public ::testing::Test {
protected:
    void SetUp() override { HwReboot(TRUE); }
    void TearDown() override { HwReboot(TRUE); }
};

TEST_F(Services, LifecycleWithTheWin32ErrorCodes) {
    SC_HANDLE manager = Manager();
    ASSERT_NE(manager, nullptr);
    SC_HANDLE service = Create(manager);
    ASSERT_NE(service, nullptr);
    EXPECT_TRUE(KeyExists(kKey));

    EXPECT_EQ(Create(manager), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SERVICE_EXISTS));

    SERVICE_STATUS status{};
    // Not running: the stop control is not accepted.
    EXPECT_FALSE(ControlService(service, SERVICE_CONTROL_STOP, &status));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_SERVICE_CONTROL));

    int entries = HwTestEntries();
    ASSERT_TRUE(StartServiceA(service, 0, nullptr)) << GetLastError();
    EXPECT_EQ(HwTestEntries(), entries + 1);
    EXPECT_FALSE(StartServiceA(service, 0, nullptr));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SERVICE_ALREADY_RUNNING));
    ASSERT_TRUE(QueryServiceStatus(service, &status));
    EXPECT_EQ(status.dwCurrentState, static_cast<DWORD>(SERVICE_RUNNING));

    int unloads = HwTestUnloads();
    ASSERT_TRUE(ControlService(service, SERVICE_CONTROL_STOP, &status));
    EXPECT_EQ(status.dwCurrentState, static_cast<DWORD>(SERVICE_STOPPED));
    EXPECT_EQ(HwTestUnloads(), unloads + 1);

    ASSERT_TRUE(DeleteService(service));
    EXPECT_FALSE(DeleteService(service));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SERVICE_MARKED_FOR_DELETE));
    EXPECT_FALSE(StartServiceA(service, 0, nullptr));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SERVICE_MARKED_FOR_DELETE));
    // The service and its key go with the last handle.
    EXPECT_TRUE(KeyExists(kKey));
    CloseServiceHandle(service);
    EXPECT_FALSE(KeyExists(kKey));
    EXPECT_EQ(OpenServiceA(manager, "HWTESTDRV", SERVICE_ALL_ACCESS), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SERVICE_DOES_NOT_EXIST));
    CloseServiceHandle(manager);
}

TEST_F(Services, CreateWritesTheServiceKey) {
    SC_HANDLE manager = Manager();
    SC_HANDLE service = Create(manager);
    ASSERT_NE(service, nullptr);
    HKEY key;
    ASSERT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, kKey, 0, KEY_READ, &key), ERROR_SUCCESS);
    DWORD value = 0, size = sizeof value, type = 0;
    ASSERT_EQ(RegQueryValueExA(key, "Type", nullptr, &type, reinterpret_cast<BYTE *>(&value), &size),
              ERROR_SUCCESS);
    EXPECT_EQ(value, static_cast<DWORD>(SERVICE_KERNEL_DRIVER));
    size = sizeof value;
    RegQueryValueExA(key, "Start", nullptr, &type, reinterpret_cast<BYTE *>(&value), &size);
    EXPECT_EQ(value, static_cast<DWORD>(SERVICE_DEMAND_START));
    char image[MAX_PATH] = {};
    size = sizeof image;
    ASSERT_EQ(RegQueryValueExA(key, "ImagePath", nullptr, &type, reinterpret_cast<BYTE *>(image),
                               &size),
              ERROR_SUCCESS);
    EXPECT_EQ(type, static_cast<DWORD>(REG_EXPAND_SZ));
    EXPECT_STREQ(image, "C:\\WINDOWS\\system32\\drivers\\HWTESTDRV.SYS");
    RegCloseKey(key);
    CloseServiceHandle(service);
    CloseServiceHandle(manager);
}

TEST_F(Services, MissingDriverModuleFailsTheStart) {
    SC_HANDLE manager = Manager();
    SC_HANDLE service = Create(manager, "C:\\WINDOWS\\system32\\drivers\\NOSUCHDRV.SYS");
    ASSERT_NE(service, nullptr);
    EXPECT_FALSE(StartServiceA(service, 0, nullptr));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
    CloseServiceHandle(service);
    CloseServiceHandle(manager);
}

TEST_F(Services, AutomaticDriversStartWhenTheHostBoots) {
    SC_HANDLE manager = Manager();
    CloseServiceHandle(Create(manager, "C:\\WINDOWS\\system32\\drivers\\HWTESTDRV.SYS",
                              SERVICE_AUTO_START));
    CloseServiceHandle(manager);
    int entries = HwTestEntries();
    HwReboot(FALSE);  // the service database is read from the registry again
    EXPECT_EQ(HwTestEntries(), entries + 1);
    manager = Manager();
    SC_HANDLE service = OpenServiceA(manager, "HWTESTDRV", SERVICE_ALL_ACCESS);
    ASSERT_NE(service, nullptr);
    SERVICE_STATUS status{};
    ASSERT_TRUE(QueryServiceStatus(service, &status));
    EXPECT_EQ(status.dwCurrentState, static_cast<DWORD>(SERVICE_RUNNING));
    CloseServiceHandle(service);
    CloseServiceHandle(manager);
}

}  // namespace

DWORD StartTestDriver() {
    SC_HANDLE manager = Manager();
    SC_HANDLE service = Create(manager);
    if (!service) service = OpenServiceA(manager, "HWTESTDRV", SERVICE_ALL_ACCESS);
    DWORD error = StartServiceA(service, 0, nullptr) ? 0 : GetLastError();
    CloseServiceHandle(service);
    CloseServiceHandle(manager);
    return error;
}

void StopTestDriver() {
    SC_HANDLE manager = Manager();
    SC_HANDLE service = OpenServiceA(manager, "HWTESTDRV", SERVICE_ALL_ACCESS);
    SERVICE_STATUS status;
    ControlService(service, SERVICE_CONTROL_STOP, &status);
    CloseServiceHandle(service);
    CloseServiceHandle(manager);
}
