#include "test_platform.h"

namespace hwtest {

LONG DeleteTree(HKEY root, const char *path) {
    HKEY key;
    LONG rc = RegOpenKeyExA(root, path, 0, KEY_ALL_ACCESS, &key);
    if (rc != ERROR_SUCCESS) return rc;
    char name[257];
    DWORD length = sizeof name;
    while (RegEnumKeyExA(key, 0, name, &length, nullptr, nullptr, nullptr, nullptr) ==
           ERROR_SUCCESS) {
        if ((rc = DeleteTree(key, name)) != ERROR_SUCCESS) break;
        length = sizeof name;
    }
    RegCloseKey(key);
    return rc == ERROR_SUCCESS ? RegDeleteKeyA(root, path) : rc;
}

std::string TestDriverImage() {
#ifdef _WIN32
    // The driver image is built beside the test program.
    char path[MAX_PATH];
    DWORD length = GetModuleFileNameA(nullptr, path, sizeof path);
    std::string image(path, length);
    return image.substr(0, image.find_last_of('\\') + 1) + "HWTESTDRV.SYS";
#else
    // hostwin loads the module named after the image (libhwtestdrv.so).
    return "C:\\WINDOWS\\system32\\drivers\\HWTESTDRV.SYS";
#endif
}

SC_HANDLE CreateTestService(SC_HANDLE manager, const std::string &image, DWORD start) {
    return CreateServiceA(manager, kTestService, "Hostwin test driver", SERVICE_ALL_ACCESS,
                          SERVICE_KERNEL_DRIVER, start, SERVICE_ERROR_NORMAL, image.c_str(),
                          nullptr, nullptr, nullptr, nullptr, nullptr);
}

namespace {

// Runs step on the test service, opened with all access; false if there is none.
template <class Step>
bool OnTestService(Step step) {
    SC_HANDLE manager = OpenSCManagerA(nullptr, nullptr, SC_MANAGER_ALL_ACCESS);
    SC_HANDLE service = OpenServiceA(manager, kTestService, SERVICE_ALL_ACCESS);
    if (service) step(service);
    CloseServiceHandle(service);
    CloseServiceHandle(manager);
    return service != nullptr;
}

}  // namespace

DWORD StartTestDriver() {
    SC_HANDLE manager = OpenSCManagerA(nullptr, nullptr, SC_MANAGER_ALL_ACCESS);
    SC_HANDLE service = CreateTestService(manager, TestDriverImage());
    if (!service) service = OpenServiceA(manager, kTestService, SERVICE_ALL_ACCESS);
    DWORD error = StartServiceA(service, 0, nullptr) ? 0 : GetLastError();
    CloseServiceHandle(service);
    CloseServiceHandle(manager);
    return error;
}

void StopTestDriver() {
    OnTestService([](SC_HANDLE service) {
        SERVICE_STATUS status;
        ControlService(service, SERVICE_CONTROL_STOP, &status);
    });
}

void RemoveTestService() {
    bool existed = OnTestService([](SC_HANDLE service) {
        SERVICE_STATUS status;
        ControlService(service, SERVICE_CONTROL_STOP, &status);
        DeleteService(service);
    });
    if (existed) TestServiceGone();
}

bool TestServiceGone() {
    SC_HANDLE manager = OpenSCManagerA(nullptr, nullptr, SC_MANAGER_ALL_ACCESS);
    bool gone = false;
    for (int tries = 0; tries < 1000 && !gone; ++tries) {
        SC_HANDLE service = OpenServiceA(manager, kTestService, SERVICE_QUERY_STATUS);
        gone = !service && GetLastError() == ERROR_SERVICE_DOES_NOT_EXIST;
        if (service) {
            CloseServiceHandle(service);
            Sleep(10);
        }
    }
    CloseServiceHandle(manager);
    return gone;
}

}  // namespace hwtest
