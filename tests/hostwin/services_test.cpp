// The service control manager with a kernel-driver service: its registry
// key, the life cycle with Win32's error codes, and a driver that really
// loads (its device appears) and unloads (its device goes).
#include <gtest/gtest.h>

#include <windows.h>

#include <functional>

#include "test_platform.h"

namespace {

using hwtest::kTestService;
using hwtest::kTestServiceKey;

bool KeyExists(const char *path) {
    HKEY key;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, path, 0, KEY_READ, &key) != ERROR_SUCCESS) return false;
    RegCloseKey(key);
    return true;
}

bool DeviceExists() {
    HANDLE file =
        CreateFileA("\\\\.\\HWTEST", GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    CloseHandle(file);
    return true;
}

class Services : public ::testing::Test {
protected:
    void SetUp() override {
        hwtest::RemoveTestService();
        manager_ = OpenSCManagerA(nullptr, nullptr, SC_MANAGER_ALL_ACCESS);
        ASSERT_NE(manager_, nullptr);
    }
    void TearDown() override {
        CloseServiceHandle(manager_);
        hwtest::RemoveTestService();
    }
    SC_HANDLE manager_ = nullptr;
};

TEST_F(Services, LifecycleWithTheWin32ErrorCodes) {
    SC_HANDLE service = hwtest::CreateTestService(manager_, hwtest::TestDriverImage());
    ASSERT_NE(service, nullptr) << GetLastError();
    EXPECT_TRUE(KeyExists(kTestServiceKey));

    SERVICE_STATUS status{};
    auto create = [&] { return hwtest::CreateTestService(manager_, "x.sys") != nullptr; };
    auto stop = [&] { return ControlService(service, SERVICE_CONTROL_STOP, &status) != FALSE; };
    auto interrogate = [&] {
        return ControlService(service, SERVICE_CONTROL_INTERROGATE, &status) != FALSE;
    };
    auto pause = [&] { return ControlService(service, SERVICE_CONTROL_PAUSE, &status) != FALSE; };
    auto start = [&] { return StartServiceA(service, 0, nullptr) != FALSE; };
    auto remove = [&] { return DeleteService(service) != FALSE; };
    struct Step {
        const char *what;
        std::function<bool()> call;
        DWORD error;  // 0: succeeds
        bool running, device;  // afterwards
    };
    const Step steps[] = {
        {"create an existing service", create, ERROR_SERVICE_EXISTS, false, false},
        {"stop a stopped driver", stop, ERROR_SERVICE_NOT_ACTIVE, false, false},
        {"interrogate a stopped driver", interrogate, ERROR_SERVICE_NOT_ACTIVE, false, false},
        {"pause a stopped driver", pause, ERROR_SERVICE_NOT_ACTIVE, false, false},
        {"start", start, 0, true, true},
        {"start a running driver", start, ERROR_SERVICE_ALREADY_RUNNING, true, true},
        {"interrogate a running driver", interrogate, 0, true, true},
        {"pause a running driver", pause, ERROR_INVALID_SERVICE_CONTROL, true, true},
        {"delete a running driver", remove, 0, true, true},
        {"delete a service marked for deletion", remove, ERROR_SERVICE_MARKED_FOR_DELETE, true,
         true},
        {"create a service marked for deletion", create, ERROR_SERVICE_MARKED_FOR_DELETE, true,
         true},
        {"start a running driver marked for deletion", start, ERROR_SERVICE_ALREADY_RUNNING,
         true, true},
        {"stop", stop, 0, false, false},
        {"stop a stopped driver marked for deletion", stop, ERROR_SERVICE_NOT_ACTIVE, false,
         false},
    };
    for (const Step &step : steps) {
        SCOPED_TRACE(step.what);
        SetLastError(0);
        EXPECT_EQ(step.call(), step.error == 0);
        if (step.error) {
            EXPECT_EQ(GetLastError(), step.error);
        }
        ASSERT_TRUE(QueryServiceStatus(service, &status));
        EXPECT_EQ(status.dwCurrentState,
                  static_cast<DWORD>(step.running ? SERVICE_RUNNING : SERVICE_STOPPED));
        // A running kernel driver takes the stop control (Wine's driver host
        // also takes the shutdown control, which Windows's drivers do not).
        EXPECT_EQ(status.dwControlsAccepted & SERVICE_ACCEPT_STOP,
                  static_cast<DWORD>(step.running ? SERVICE_ACCEPT_STOP : 0));
        EXPECT_EQ(DeviceExists(), step.device);
    }

    // Windows refuses to start a service marked for deletion.
    SetLastError(0);
    const BOOL started = StartServiceA(service, 0, nullptr);
    if (hwtest::OnWine()) {
        hwtest::WineDeparts("Wine starts a service marked for deletion; Windows refuses with "
                            "ERROR_SERVICE_MARKED_FOR_DELETE");
        EXPECT_TRUE(started);
        EXPECT_TRUE(stop());
    } else {
        EXPECT_FALSE(started);
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SERVICE_MARKED_FOR_DELETE));
    }

    // The service and its key go with the last handle.
    EXPECT_TRUE(KeyExists(kTestServiceKey));
    CloseServiceHandle(service);
    EXPECT_TRUE(hwtest::TestServiceGone());
    EXPECT_FALSE(KeyExists(kTestServiceKey));
}

TEST_F(Services, CreateWritesTheServiceKey) {
    const std::string image = hwtest::TestDriverImage();
    SC_HANDLE service = hwtest::CreateTestService(manager_, image, SERVICE_AUTO_START);
    ASSERT_NE(service, nullptr);
    HKEY key;
    ASSERT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, kTestServiceKey, 0, KEY_READ, &key),
              ERROR_SUCCESS);
    for (auto [name, expected] : {std::pair{"Type", SERVICE_KERNEL_DRIVER},
                                  std::pair{"Start", SERVICE_AUTO_START},
                                  std::pair{"ErrorControl", SERVICE_ERROR_NORMAL}}) {
        DWORD value = 0, size = sizeof value, type = 0;
        ASSERT_EQ(RegQueryValueExA(key, name, nullptr, &type, reinterpret_cast<BYTE *>(&value),
                                   &size),
                  ERROR_SUCCESS)
            << name;
        EXPECT_EQ(type, static_cast<DWORD>(REG_DWORD)) << name;
        EXPECT_EQ(value, static_cast<DWORD>(expected)) << name;
    }
    char text[MAX_PATH] = {};
    DWORD size = sizeof text, type = 0;
    ASSERT_EQ(RegQueryValueExA(key, "ImagePath", nullptr, &type, reinterpret_cast<BYTE *>(text),
                               &size),
              ERROR_SUCCESS);
    if (hwtest::OnWine()) {
        hwtest::WineDeparts("Wine stores a service's ImagePath as REG_SZ; Windows as REG_EXPAND_SZ");
        EXPECT_EQ(type, static_cast<DWORD>(REG_SZ));
    } else {
        EXPECT_EQ(type, static_cast<DWORD>(REG_EXPAND_SZ));
    }
    EXPECT_EQ(text, image);
    RegCloseKey(key);
    CloseServiceHandle(service);
}

TEST_F(Services, MissingDriverImageFailsTheStart) {
    std::string image = hwtest::TestDriverImage();
    image.replace(image.rfind("HWTESTDRV"), 9, "NOSUCHDRV");
    SC_HANDLE service = hwtest::CreateTestService(manager_, image);
    ASSERT_NE(service, nullptr);
    EXPECT_FALSE(StartServiceA(service, 0, nullptr));
    if (hwtest::OnWine()) {
        hwtest::WineDeparts("Wine's driver host reports a missing driver image as "
                            "ERROR_DLL_INIT_FAILED; Windows as ERROR_FILE_NOT_FOUND");
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_DLL_INIT_FAILED));
    } else {
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
    }
    SERVICE_STATUS status{};
    ASSERT_TRUE(QueryServiceStatus(service, &status));
    EXPECT_EQ(status.dwCurrentState, static_cast<DWORD>(SERVICE_STOPPED));
    CloseServiceHandle(service);
}

}  // namespace
