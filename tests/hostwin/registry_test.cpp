// Registry API behaviour the library relies on: paths, handles, values,
// enumeration, deletion and access checks.
#include <windows.h>
#include <hostwin.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <functional>
#include <string>
#include <thread>
#include <vector>

namespace {

class RegistryTest : public ::testing::Test {
protected:
    void SetUp() override {
        // A file that does not exist yet gives an empty registry.
        char dir[] = "/tmp/hostwin_registry_XXXXXX";
        ASSERT_NE(mkdtemp(dir), nullptr);
        dir_ = dir;
        ASSERT_EQ(HwSetRegistryFile((dir_ + "/reg.reg").c_str()), DWORD(ERROR_SUCCESS));
    }
    void TearDown() override {
        HwSetRegistryFile((dir_ + "/empty.reg").c_str());
        HwSetRegistryFile(nullptr);
        std::filesystem::remove_all(dir_);
    }

    HKEY Create(const char *path, REGSAM sam = KEY_ALL_ACCESS, HKEY parent = HKEY_LOCAL_MACHINE) {
        HKEY key = nullptr;
        EXPECT_EQ(RegCreateKeyExA(parent, path, 0, nullptr, 0, sam, nullptr, &key, nullptr), ERROR_SUCCESS) << path;
        return key;
    }
    HKEY Open(const char *path, REGSAM sam, HKEY parent = HKEY_LOCAL_MACHINE) {
        HKEY key = nullptr;
        EXPECT_EQ(RegOpenKeyExA(parent, path, 0, sam, &key), ERROR_SUCCESS) << path;
        return key;
    }
    static LONG SetString(HKEY key, const char *name, const char *text) {
        return RegSetValueExA(key, name, 0, REG_SZ, reinterpret_cast<const BYTE *>(text), DWORD(strlen(text) + 1));
    }
    static std::vector<std::string> Subkeys(HKEY key) {
        std::vector<std::string> names;
        char name[256];
        for (DWORD i = 0;; ++i) {
            DWORD cch = sizeof name;
            if (RegEnumKeyExA(key, i, name, &cch, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) break;
            names.emplace_back(name, cch);
        }
        return names;
    }

    std::string dir_;
};

TEST_F(RegistryTest, OpenResolvesPathsCaseInsensitively) {
    RegCloseKey(Create("Software\\Ktz\\Dev"));
    struct Case {
        const char *path;
        LONG expected;
    };
    const Case cases[] = {
        {"Software\\Ktz\\Dev", ERROR_SUCCESS},      {"SOFTWARE\\ktz\\dEV", ERROR_SUCCESS},
        {"Software\\Ktz\\Dev\\", ERROR_SUCCESS},    {"Software", ERROR_SUCCESS},
        {"", ERROR_SUCCESS},                        {nullptr, ERROR_SUCCESS},
        {"\\Software", ERROR_BAD_PATHNAME},         {"Software\\\\Ktz", ERROR_BAD_PATHNAME},
        {"Software\\Ktz\\Missing", ERROR_FILE_NOT_FOUND}, {"Software\\Ktz\\Dev\\Deeper", ERROR_FILE_NOT_FOUND},
    };
    for (const Case &c : cases) {
        HKEY key = reinterpret_cast<HKEY>(1);
        EXPECT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, c.path, 0, KEY_READ, &key), c.expected) << (c.path ? c.path : "NULL");
        if (c.expected == ERROR_SUCCESS) {
            EXPECT_NE(key, HKEY_LOCAL_MACHINE);  // always a handle of its own
            EXPECT_EQ(RegCloseKey(key), ERROR_SUCCESS);
        } else {
            EXPECT_EQ(key, nullptr);
        }
    }
    // The roots are separate trees.
    HKEY key;
    EXPECT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, "Software", 0, KEY_READ, &key), ERROR_FILE_NOT_FOUND);
}

TEST_F(RegistryTest, CreateReportsDispositionAndKeepsFirstCase) {
    DWORD disposition = 0;
    HKEY key;
    ASSERT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, "Software\\MixedCase\\Leaf", 0, nullptr, 0, KEY_ALL_ACCESS,
                              nullptr, &key, &disposition),
              ERROR_SUCCESS);
    EXPECT_EQ(disposition, DWORD(REG_CREATED_NEW_KEY));
    RegCloseKey(key);
    ASSERT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE\\MIXEDCASE\\LEAF", 0, nullptr, 0, KEY_ALL_ACCESS,
                              nullptr, &key, &disposition),
              ERROR_SUCCESS);
    EXPECT_EQ(disposition, DWORD(REG_OPENED_EXISTING_KEY));
    RegCloseKey(key);

    HKEY software = Open("software", KEY_READ);
    EXPECT_EQ(Subkeys(software), std::vector<std::string>{"MixedCase"});
    RegCloseKey(software);
}

TEST_F(RegistryTest, QueryValueFollowsBufferRules) {
    HKEY key = Create("Software\\Values");
    ASSERT_EQ(SetString(key, "Name", "abc"), ERROR_SUCCESS);
    ASSERT_EQ(SetString(key, nullptr, "default"), ERROR_SUCCESS);

    struct Case {
        const char *label;
        const char *name;
        bool withData;
        bool withSize;
        DWORD size;
        LONG expected;
        DWORD sizeAfter;
        const char *dataAfter;  // buffer content afterwards, 4 bytes
    };
    const Case cases[] = {
        {"size only", "Name", false, true, 0, ERROR_SUCCESS, 4, "xxxx"},
        {"too small", "Name", true, true, 3, ERROR_MORE_DATA, 4, "xxxx"},
        {"exact", "NAME", true, true, 4, ERROR_SUCCESS, 4, "abc"},
        {"data without size", "Name", true, false, 0, ERROR_INVALID_PARAMETER, 0, "xxxx"},
        {"missing", "Other", true, true, 4, ERROR_FILE_NOT_FOUND, 4, "xxxx"},
        {"default by empty name", "", false, true, 0, ERROR_SUCCESS, 8, "xxxx"},
        {"default by NULL", nullptr, false, true, 0, ERROR_SUCCESS, 8, "xxxx"},
    };
    for (const Case &c : cases) {
        char buffer[5] = "xxxx";
        DWORD size = c.size, type = 99;
        LONG r = RegQueryValueExA(key, c.name, nullptr, &type, c.withData ? reinterpret_cast<BYTE *>(buffer) : nullptr,
                                  c.withSize ? &size : nullptr);
        EXPECT_EQ(r, c.expected) << c.label;
        if (c.withSize) {
            EXPECT_EQ(size, c.sizeAfter) << c.label;
        }
        EXPECT_EQ(memcmp(buffer, c.dataAfter, strlen(c.dataAfter) + 1), 0) << c.label;
        if (r == ERROR_SUCCESS || r == ERROR_MORE_DATA) {
            EXPECT_EQ(type, DWORD(REG_SZ)) << c.label;
        }
    }
    RegCloseKey(key);
}

TEST_F(RegistryTest, SetValueStoresExactBytesAndReplacesByName) {
    HKEY key = Create("Software\\Values");
    const BYTE unterminated[] = {'a', 'b'};
    ASSERT_EQ(RegSetValueExA(key, "Str", 0, REG_SZ, unterminated, 2), ERROR_SUCCESS);
    BYTE buffer[8];
    DWORD size = sizeof buffer, type;
    ASSERT_EQ(RegQueryValueExA(key, "str", nullptr, &type, buffer, &size), ERROR_SUCCESS);
    EXPECT_EQ(size, 2u);
    EXPECT_EQ(memcmp(buffer, "ab", 2), 0);

    DWORD number = 0x12345678;
    ASSERT_EQ(RegSetValueExA(key, "STR", 0, REG_DWORD, reinterpret_cast<BYTE *>(&number), 4), ERROR_SUCCESS);
    DWORD got = 0;
    size = sizeof got;
    ASSERT_EQ(RegQueryValueExA(key, "Str", nullptr, &type, reinterpret_cast<BYTE *>(&got), &size), ERROR_SUCCESS);
    EXPECT_EQ(type, DWORD(REG_DWORD));
    EXPECT_EQ(got, number);

    ASSERT_EQ(RegSetValueExA(key, "Empty", 0, REG_BINARY, nullptr, 0), ERROR_SUCCESS);
    size = sizeof buffer;
    EXPECT_EQ(RegQueryValueExA(key, "Empty", nullptr, nullptr, buffer, &size), ERROR_SUCCESS);
    EXPECT_EQ(size, 0u);

    EXPECT_EQ(RegDeleteValueA(key, "sTr"), ERROR_SUCCESS);
    EXPECT_EQ(RegDeleteValueA(key, "Str"), ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(RegQueryValueExA(key, "Str", nullptr, nullptr, nullptr, &size), ERROR_FILE_NOT_FOUND);
    RegCloseKey(key);
}

TEST_F(RegistryTest, EnumeratesSubkeysInRegistryOrder) {
    HKEY parent = Create("Software\\Enum");
    for (const char *name : {"b_x", "Zeta", "Ba", "beta", "alpha"}) RegCloseKey(Create(name, KEY_ALL_ACCESS, parent));
    // Names compare upper-cased, so '_' sorts after the letters.
    EXPECT_EQ(Subkeys(parent), (std::vector<std::string>{"alpha", "Ba", "beta", "b_x", "Zeta"}));

    char name[8];
    char cls[4] = "zz";
    DWORD cch = 5, cchClass = sizeof cls;
    FILETIME time = {1, 1};
    EXPECT_EQ(RegEnumKeyExA(parent, 0, name, &cch, nullptr, cls, &cchClass, &time), ERROR_MORE_DATA);  // "alpha"
    cch = 6;
    ASSERT_EQ(RegEnumKeyExA(parent, 0, name, &cch, nullptr, cls, &cchClass, &time), ERROR_SUCCESS);
    EXPECT_STREQ(name, "alpha");
    EXPECT_EQ(cch, 5u);
    EXPECT_STREQ(cls, "");
    EXPECT_EQ(cchClass, 0u);
    EXPECT_EQ(time.dwLowDateTime | time.dwHighDateTime, 0u);
    cch = sizeof name;
    EXPECT_EQ(RegEnumKeyExA(parent, 5, name, &cch, nullptr, nullptr, nullptr, nullptr), ERROR_NO_MORE_ITEMS);
    RegCloseKey(parent);
}

TEST_F(RegistryTest, DeleteKeyRulesAndDeletedHandles) {
    RegCloseKey(Create("Software\\Del\\Child"));
    HKEY child = Open("Software\\Del\\Child", KEY_ALL_ACCESS);

    EXPECT_EQ(RegDeleteKeyA(HKEY_LOCAL_MACHINE, "Software\\Del"), ERROR_ACCESS_DENIED);  // has a subkey
    EXPECT_EQ(RegDeleteKeyA(HKEY_LOCAL_MACHINE, "Software\\Del\\Nope"), ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(RegDeleteKeyA(HKEY_LOCAL_MACHINE, ""), ERROR_ACCESS_DENIED);  // a root
    EXPECT_EQ(RegDeleteKeyA(HKEY_LOCAL_MACHINE, "software\\del\\CHILD"), ERROR_SUCCESS);

    // A new key at the same path does not revive the old handle.
    RegCloseKey(Create("Software\\Del\\Child"));
    const std::vector<std::pair<const char *, std::function<LONG()>>> uses = {
        {"query", [&] { DWORD n; return RegQueryValueExA(child, "x", nullptr, nullptr, nullptr, &n); }},
        {"set", [&] { return SetString(child, "x", "y"); }},
        {"delete value", [&] { return RegDeleteValueA(child, "x"); }},
        {"open", [&] { HKEY k; return RegOpenKeyExA(child, "", 0, KEY_READ, &k); }},
        {"create", [&] { HKEY k; return RegCreateKeyExA(child, "Sub", 0, nullptr, 0, KEY_READ, nullptr, &k, nullptr); }},
        {"enumerate", [&] { char n[8]; DWORD c = 8; return RegEnumKeyExA(child, 0, n, &c, nullptr, nullptr, nullptr, nullptr); }},
    };
    for (const auto &[label, use] : uses) EXPECT_EQ(use(), ERROR_KEY_DELETED) << label;
    EXPECT_EQ(RegCloseKey(child), ERROR_SUCCESS);

    // "" deletes the key the handle is open on.
    HKEY again = Open("Software\\Del\\Child", KEY_READ);
    EXPECT_EQ(RegDeleteKeyA(again, ""), ERROR_SUCCESS);
    EXPECT_EQ(RegDeleteKeyA(HKEY_LOCAL_MACHINE, "Software\\Del\\Child"), ERROR_FILE_NOT_FOUND);
    RegCloseKey(again);
}

TEST_F(RegistryTest, AccessMaskIsChecked) {
    RegCloseKey(Create("Software\\Acc\\Existing"));
    struct Case {
        const char *label;
        REGSAM sam;
        LONG query, set, deleteValue, createNew, openExisting, enumerate;
    };
    const Case cases[] = {
        {"read", KEY_READ, ERROR_SUCCESS, ERROR_ACCESS_DENIED, ERROR_ACCESS_DENIED, ERROR_ACCESS_DENIED,
         ERROR_SUCCESS, ERROR_SUCCESS},
        {"set only", KEY_SET_VALUE, ERROR_ACCESS_DENIED, ERROR_SUCCESS, ERROR_SUCCESS, ERROR_ACCESS_DENIED,
         ERROR_SUCCESS, ERROR_ACCESS_DENIED},
        {"write", KEY_WRITE, ERROR_ACCESS_DENIED, ERROR_SUCCESS, ERROR_SUCCESS, ERROR_SUCCESS, ERROR_SUCCESS,
         ERROR_ACCESS_DENIED},
        {"generic read", GENERIC_READ, ERROR_SUCCESS, ERROR_ACCESS_DENIED, ERROR_ACCESS_DENIED,
         ERROR_ACCESS_DENIED, ERROR_SUCCESS, ERROR_SUCCESS},
    };
    HKEY full = Open("Software\\Acc", KEY_ALL_ACCESS);
    for (const Case &c : cases) {
        ASSERT_EQ(SetString(full, "v", "1"), ERROR_SUCCESS);
        RegDeleteKeyA(full, "New");
        HKEY key = Open("Software\\Acc", c.sam);
        DWORD size;
        HKEY sub = nullptr;
        char name[16];
        DWORD cch = sizeof name;
        EXPECT_EQ(RegQueryValueExA(key, "v", nullptr, nullptr, nullptr, &size), c.query) << c.label;
        EXPECT_EQ(SetString(key, "v", "2"), c.set) << c.label;
        EXPECT_EQ(RegDeleteValueA(key, "v"), c.deleteValue) << c.label;
        EXPECT_EQ(RegCreateKeyExA(key, "New", 0, nullptr, 0, KEY_READ, nullptr, &sub, nullptr), c.createNew) << c.label;
        if (sub) RegCloseKey(sub);
        EXPECT_EQ(RegCreateKeyExA(key, "Existing", 0, nullptr, 0, KEY_READ, nullptr, &sub, nullptr), c.openExisting)
            << c.label;
        if (sub) RegCloseKey(sub);
        EXPECT_EQ(RegEnumKeyExA(key, 0, name, &cch, nullptr, nullptr, nullptr, nullptr), c.enumerate) << c.label;
        RegCloseKey(key);
    }
    RegCloseKey(full);
}

TEST_F(RegistryTest, HandlesAreCheckedAndNotReused) {
    HKEY first = Create("Software\\H");
    ASSERT_EQ(RegCloseKey(first), ERROR_SUCCESS);
    HKEY second = Open("Software\\H", KEY_READ);
    EXPECT_NE(second, first);
    RegCloseKey(second);

    for (HKEY bad : {first, static_cast<HKEY>(nullptr), reinterpret_cast<HKEY>(0x1234)}) {
        DWORD n = 8;
        HKEY k;
        char name[8];
        EXPECT_EQ(RegOpenKeyExA(bad, "", 0, KEY_READ, &k), ERROR_INVALID_HANDLE);
        EXPECT_EQ(RegQueryValueExA(bad, "", nullptr, nullptr, nullptr, &n), ERROR_INVALID_HANDLE);
        EXPECT_EQ(SetString(bad, "", ""), ERROR_INVALID_HANDLE);
        EXPECT_EQ(RegEnumKeyExA(bad, 0, name, &n, nullptr, nullptr, nullptr, nullptr), ERROR_INVALID_HANDLE);
        EXPECT_EQ(RegDeleteKeyA(bad, "x"), ERROR_INVALID_HANDLE);
        EXPECT_EQ(RegCloseKey(bad), ERROR_INVALID_HANDLE);
    }
    EXPECT_EQ(RegCloseKey(HKEY_LOCAL_MACHINE), ERROR_SUCCESS);
    EXPECT_EQ(SetString(HKEY_LOCAL_MACHINE, "RootValue", "ok"), ERROR_SUCCESS);  // roots keep working

    // RegOpenKeyA: the same handle for "", all access for a subkey.
    HKEY same = nullptr, all = nullptr;
    EXPECT_EQ(RegOpenKeyA(HKEY_LOCAL_MACHINE, "", &same), ERROR_SUCCESS);
    EXPECT_EQ(same, HKEY_LOCAL_MACHINE);
    ASSERT_EQ(RegOpenKeyA(HKEY_LOCAL_MACHINE, "Software\\H", &all), ERROR_SUCCESS);
    EXPECT_EQ(SetString(all, "v", "x"), ERROR_SUCCESS);
    RegCloseKey(all);
}

TEST_F(RegistryTest, ConcurrentWritersAllLand) {
    HwSetRegistryFile(nullptr);
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([t] {
            for (int i = 0; i < 50; ++i) {
                std::string path = "Software\\Conc\\T" + std::to_string(t) + "_" + std::to_string(i);
                HKEY key;
                if (RegCreateKeyExA(HKEY_LOCAL_MACHINE, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key,
                                    nullptr) == ERROR_SUCCESS) {
                    SetString(key, "v", "x");
                    RegCloseKey(key);
                }
            }
        });
    }
    for (auto &thread : threads) thread.join();
    HKEY parent = Open("Software\\Conc", KEY_READ);
    EXPECT_EQ(Subkeys(parent).size(), 200u);
    RegCloseKey(parent);
}

}  // namespace
