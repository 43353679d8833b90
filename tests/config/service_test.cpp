// The kernel service's keys, the event-log source and the service-control
// sequences of the configuration.
#include "service_fixture.h"

namespace ktztest {
namespace {

TEST_F(ServiceTest, NewKeysGetTheirValues) {
    CreateKey(kEventLog);  // the event-log root, which every Windows has
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

TEST_F(ServiceTest, ExistingKeysAreNeverRewritten) {
    SetNumber(kService, "Start", 3);
    SetNumber(kShared, "Type", 9);
    SetNumber(kSource, "TypesSupported", 1);
    ASSERT_EQ(ktz::RegisterDriverKeys(), 0u);
    EXPECT_EQ(Value(kService, "Start"), "dword:3");
    EXPECT_EQ(Value(kService, "Type"), "");
    EXPECT_EQ(Value(kShared, "Type"), "dword:9");
    EXPECT_EQ(Value(kShared, "Group"), "");
    EXPECT_EQ(Value(kSource, "TypesSupported"), "dword:1");
    EXPECT_EQ(Value(kSource, "EventMessageFile"), "");
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
    if (OnWine()) {
        WineDeparts("Wine's CreateServiceA stores the whole configuration, and without a group "
                    "deletes the Group value that the driver's keys were given before");
        EXPECT_EQ(Value(kService, "Group"), "");
    } else {
        EXPECT_EQ(Value(kService, "Group"), Sz("Extended Base"));
    }
    // The key exists now: nothing is written or installed, and the caller must not remove it.
    EXPECT_EQ(ktz::RemoveService("KTZ3649S"), 0u);
    SetNumber(kService, "Start", 3);
    EXPECT_EQ(ktz::TemporaryServiceInstall("KTZ3649S", kService) & 0xFF, 0u);
    EXPECT_EQ(KtzSimDriverRunning(), 0);
    EXPECT_EQ(Value(kService, "Start"), "dword:3");
}

}  // namespace
}  // namespace ktztest
