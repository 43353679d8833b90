// Registry API behaviour the library relies on: paths, handles, values,
// enumeration, deletion, access checks and the bounds of names and depth.
// Everything happens below the test key, which each test starts without.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "test_platform.h"

namespace {

using hwtest::kTestKey;

class RegistryTest : public ::testing::Test {
protected:
    void SetUp() override {
        hwtest::DeleteTree(HKEY_LOCAL_MACHINE, kTestKey);
        root_ = Create(kTestKey, KEY_ALL_ACCESS, HKEY_LOCAL_MACHINE);
        ASSERT_NE(root_, nullptr);
    }
    void TearDown() override {
        RegCloseKey(root_);
        EXPECT_EQ(hwtest::DeleteTree(HKEY_LOCAL_MACHINE, kTestKey), ERROR_SUCCESS);
    }

    HKEY Create(const char *path, REGSAM sam = KEY_ALL_ACCESS, HKEY parent = nullptr) {
        HKEY key = nullptr;
        EXPECT_EQ(RegCreateKeyExA(parent ? parent : root_, path, 0, nullptr, 0, sam, nullptr, &key,
                                  nullptr),
                  ERROR_SUCCESS)
            << path;
        return key;
    }
    HKEY Open(const char *path, REGSAM sam, HKEY parent = nullptr) {
        HKEY key = nullptr;
        EXPECT_EQ(RegOpenKeyExA(parent ? parent : root_, path, 0, sam, &key), ERROR_SUCCESS)
            << path;
        return key;
    }
    static LONG SetString(HKEY key, const char *name, const char *text) {
        return RegSetValueExA(key, name, 0, REG_SZ, reinterpret_cast<const BYTE *>(text),
                              DWORD(strlen(text) + 1));
    }
    static std::vector<std::string> Subkeys(HKEY key) {
        std::vector<std::string> names;
        char name[257];
        for (DWORD i = 0;; ++i) {
            DWORD cch = sizeof name;
            if (RegEnumKeyExA(key, i, name, &cch, nullptr, nullptr, nullptr, nullptr) !=
                ERROR_SUCCESS)
                break;
            names.emplace_back(name, cch);
        }
        return names;
    }

    HKEY root_ = nullptr;
};

TEST_F(RegistryTest, OpenResolvesPathsCaseInsensitively) {
    RegCloseKey(Create("Software\\Ktz\\Dev"));
    struct Case {
        const char *path;
        LONG expected;
    };
    const Case cases[] = {
        {"Software\\Ktz\\Dev", ERROR_SUCCESS},
        {"SOFTWARE\\ktz\\dEV", ERROR_SUCCESS},
        {"Software\\Ktz\\Dev\\", ERROR_SUCCESS},
        {"Software", ERROR_SUCCESS},
        {"", ERROR_SUCCESS},
        {nullptr, ERROR_SUCCESS},
        {"\\Software", ERROR_BAD_PATHNAME},
        {"Software\\\\Ktz\\\\\\Dev", ERROR_SUCCESS},  // runs of backslashes separate as one
        {"Software\\Ktz\\Missing", ERROR_FILE_NOT_FOUND},
        {"Software\\Ktz\\Dev\\Deeper", ERROR_FILE_NOT_FOUND},
    };
    for (const Case &c : cases) {
        HKEY key = reinterpret_cast<HKEY>(1);
        EXPECT_EQ(RegOpenKeyExA(root_, c.path, 0, KEY_READ, &key), c.expected)
            << (c.path ? c.path : "NULL");
        if (c.expected == ERROR_SUCCESS) {
            EXPECT_NE(key, root_);  // always a handle of its own
            EXPECT_EQ(RegCloseKey(key), ERROR_SUCCESS);
        } else {
            EXPECT_EQ(key, nullptr);
        }
    }
    // The roots are separate trees.
    const std::string path = std::string(kTestKey) + "\\Software";
    HKEY key;
    EXPECT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, path.c_str(), 0, KEY_READ, &key),
              ERROR_FILE_NOT_FOUND);
}

TEST_F(RegistryTest, CreateReportsDispositionAndKeepsFirstCase) {
    struct Case {
        const char *path;
        DWORD disposition;
    };
    const Case cases[] = {
        {"MixedCase\\Leaf", REG_CREATED_NEW_KEY},
        {"MIXEDCASE\\LEAF", REG_OPENED_EXISTING_KEY},
        {"mixedcase\\Other", REG_CREATED_NEW_KEY},  // a part of the path existed
        {"MixedCase", REG_OPENED_EXISTING_KEY},
    };
    for (const Case &c : cases) {
        DWORD disposition = 0;
        HKEY key;
        ASSERT_EQ(RegCreateKeyExA(root_, c.path, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key,
                                  &disposition),
                  ERROR_SUCCESS)
            << c.path;
        EXPECT_EQ(disposition, c.disposition) << c.path;
        RegCloseKey(key);
    }
    EXPECT_EQ(Subkeys(root_), std::vector<std::string>{"MixedCase"});
}

// A volatile key (HKEY_LOCAL_MACHINE\HARDWARE is one) takes volatile subkeys only.
TEST_F(RegistryTest, VolatileKeysTakeVolatileSubkeysOnly) {
    const struct {
        HKEY parent;
        const char *path;
        DWORD options;
        LONG result;
    } cases[] = {
        {HKEY_LOCAL_MACHINE, "HARDWARE\\KtzHostwinTest", 0, ERROR_CHILD_MUST_BE_VOLATILE},
        {root_, "Volatile", REG_OPTION_VOLATILE, ERROR_SUCCESS},
        {root_, "Volatile\\Stored", 0, ERROR_CHILD_MUST_BE_VOLATILE},
        {root_, "Volatile\\Also", REG_OPTION_VOLATILE, ERROR_SUCCESS},
    };
    for (const auto &c : cases) {
        HKEY key = nullptr;
        EXPECT_EQ(RegCreateKeyExA(c.parent, c.path, 0, nullptr, c.options, KEY_ALL_ACCESS, nullptr,
                                  &key, nullptr),
                  c.result)
            << c.path;
        if (key) RegCloseKey(key);
    }
    EXPECT_EQ(Subkeys(root_), std::vector<std::string>{"Volatile"});
}

// What RegQueryValueExA writes into the buffer and the size for each
// combination of buffer and size.
TEST_F(RegistryTest, QueryValueFollowsBufferRules) {
    HKEY key = Create("Values");
    ASSERT_EQ(SetString(key, "Name", "abc"), ERROR_SUCCESS);
    ASSERT_EQ(SetString(key, nullptr, "default"), ERROR_SUCCESS);
    const DWORD number = 0x11223344;
    ASSERT_EQ(RegSetValueExA(key, "Number", 0, REG_DWORD, reinterpret_cast<const BYTE *>(&number),
                             sizeof number),
              ERROR_SUCCESS);

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
        {"larger", "Name", true, true, 99, ERROR_SUCCESS, 4, "abc"},
        {"number too small", "Number", true, true, 2, ERROR_MORE_DATA, 4, "xxxx"},
        {"missing", "Other", true, true, 4, ERROR_FILE_NOT_FOUND, 4, "xxxx"},
        {"default by empty name", "", false, true, 0, ERROR_SUCCESS, 8, "xxxx"},
        {"default by NULL", nullptr, false, true, 0, ERROR_SUCCESS, 8, "xxxx"},
    };
    for (const Case &c : cases) {
        char buffer[5] = "xxxx";
        DWORD size = c.size, type = 99;
        LONG r = RegQueryValueExA(key, c.name, nullptr, &type,
                                  c.withData ? reinterpret_cast<BYTE *>(buffer) : nullptr,
                                  c.withSize ? &size : nullptr);
        EXPECT_EQ(r, c.expected) << c.label;
        if (c.withSize) {
            EXPECT_EQ(size, c.sizeAfter) << c.label;
        }
        EXPECT_EQ(memcmp(buffer, c.dataAfter, strlen(c.dataAfter) + 1), 0) << c.label;
    }
    RegCloseKey(key);
}

// The bytes given are the bytes stored, whatever the type says, except
// that a string whose size leaves out a terminator that follows it gets the
// terminator counted; a value is replaced by name, type included.
TEST_F(RegistryTest, SetValueStoresTheBytesGivenAndReplacesByName) {
    HKEY key = Create("Values");
    struct Case {
        const char *name;
        DWORD type;
        std::string given;  // the data, then the byte after it
        std::string stored;
    };
    const Case cases[] = {
        {"Str", REG_SZ, std::string("ab\0", 3), std::string("ab\0", 3)},
        {"Unterminated", REG_SZ, "abX", "ab"},
        {"Expand", REG_EXPAND_SZ, std::string("%x%\0", 4), std::string("%x%\0", 4)},
        {"Multi", REG_MULTI_SZ, std::string("a\0b\0", 5), std::string("a\0b\0", 4)},
        {"sTR", REG_DWORD, std::string("\x78\x56\x34\x12\x01", 5), std::string("\x78\x56\x34\x12", 4)},
        {"Short", REG_DWORD, std::string("\1\2\0", 3), std::string("\1\2", 2)},
        {"Binary", REG_BINARY, std::string("\0\xff\0\0", 4), std::string("\0\xff\0", 3)},
        {"Empty", REG_BINARY, std::string("\0", 1), ""},
    };
    for (const Case &c : cases) {
        const DWORD size = DWORD(c.given.size() - 1);
        ASSERT_EQ(RegSetValueExA(key, c.name, 0, c.type,
                                 size ? reinterpret_cast<const BYTE *>(c.given.data()) : nullptr,
                                 size),
                  ERROR_SUCCESS)
            << c.name;
        BYTE buffer[8];
        DWORD got = sizeof buffer, type = 0;
        ASSERT_EQ(RegQueryValueExA(key, c.name, nullptr, &type, buffer, &got), ERROR_SUCCESS)
            << c.name;
        EXPECT_EQ(type, c.type) << c.name;
        EXPECT_EQ(std::string(reinterpret_cast<char *>(buffer), got), c.stored) << c.name;
    }

    DWORD size = 0;
    EXPECT_EQ(RegDeleteValueA(key, "sTr"), ERROR_SUCCESS);  // "Str", a number now
    EXPECT_EQ(RegDeleteValueA(key, "Str"), ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(RegQueryValueExA(key, "Str", nullptr, nullptr, nullptr, &size), ERROR_FILE_NOT_FOUND);
    RegCloseKey(key);
}

TEST_F(RegistryTest, EnumeratesSubkeysInRegistryOrder) {
    HKEY parent = Create("Enum");
    for (const char *name : {"b_x", "Zeta", "Ba", "beta", "alpha"})
        RegCloseKey(Create(name, KEY_ALL_ACCESS, parent));
    // Windows compares names upper-cased (as RtlCompareUnicodeString does),
    // so '_' sorts after the letters.
    if (hwtest::OnWine()) {
        hwtest::WineDeparts("Wine's server keeps subkeys in lower-cased order, so '_' sorts "
                            "before the letters");
        EXPECT_EQ(Subkeys(parent), (std::vector<std::string>{"alpha", "b_x", "Ba", "beta", "Zeta"}));
    } else {
        EXPECT_EQ(Subkeys(parent), (std::vector<std::string>{"alpha", "Ba", "beta", "b_x", "Zeta"}));
    }

    char name[8];
    char cls[4] = "zz";
    DWORD cch = 5, cchClass = sizeof cls;
    EXPECT_EQ(RegEnumKeyExA(parent, 0, name, &cch, nullptr, cls, &cchClass, nullptr),
              ERROR_MORE_DATA);  // "alpha" and its terminator need 6
    EXPECT_EQ(cch, 5u);
    cch = 6;
    ASSERT_EQ(RegEnumKeyExA(parent, 0, name, &cch, nullptr, cls, &cchClass, nullptr),
              ERROR_SUCCESS);
    EXPECT_STREQ(name, "alpha");
    EXPECT_EQ(cch, 5u);
    EXPECT_STREQ(cls, "");
    EXPECT_EQ(cchClass, 0u);
    cch = sizeof name;
    EXPECT_EQ(RegEnumKeyExA(parent, 5, name, &cch, nullptr, nullptr, nullptr, nullptr),
              ERROR_NO_MORE_ITEMS);
    RegCloseKey(parent);
}

// A key name holds at most 256 characters, and a key lies at most 512
// levels below the registry's root (the test key is level 4: HKEY_LOCAL_MACHINE
// is \REGISTRY\MACHINE).
TEST_F(RegistryTest, NamesAndDepthAreBounded) {
    const std::string longest(256, 'n'), tooLong(257, 'n');
    struct Case {
        const char *what;
        std::string path;
        LONG created;
    };
    const Case cases[] = {
        {"256 characters", longest, ERROR_SUCCESS},
        {"257 characters", tooLong, ERROR_INVALID_PARAMETER},
        {"257 characters below", "S\\" + tooLong, ERROR_INVALID_PARAMETER},
    };
    for (const Case &c : cases) {
        HKEY key = nullptr;
        EXPECT_EQ(RegCreateKeyExA(root_, c.path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                                  &key, nullptr),
                  c.created)
            << c.what;
        if (key) RegCloseKey(key);
        EXPECT_EQ(RegOpenKeyExA(root_, c.path.c_str(), 0, KEY_READ, &key), c.created) << c.what;
        if (c.created == ERROR_SUCCESS) RegCloseKey(key);
    }
    // Keys are made one level at a time: the level refused leaves those above it.
    EXPECT_EQ(Subkeys(root_), (std::vector<std::string>{longest, "S"}));

    // Keys made one level at a time below the test key.
    HKEY key = root_;
    int level = 4;
    LONG rc = ERROR_SUCCESS;
    while (level < 520) {
        HKEY sub = nullptr;
        rc = RegCreateKeyExA(key, "d", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &sub, nullptr);
        if (rc != ERROR_SUCCESS) break;
        if (key != root_) RegCloseKey(key);
        key = sub;
        ++level;
    }
    if (key != root_) RegCloseKey(key);
    if (hwtest::OnWine()) {
        hwtest::WineDeparts("Wine does not bound the depth of the registry tree");
        EXPECT_EQ(rc, ERROR_SUCCESS);
    } else {
        EXPECT_EQ(level, 512);
        EXPECT_EQ(rc, ERROR_INVALID_PARAMETER);
    }
}

TEST_F(RegistryTest, DeleteKeyRulesAndDeletedHandles) {
    RegCloseKey(Create("Del\\Child"));
    HKEY child = Open("Del\\Child", KEY_ALL_ACCESS);

    EXPECT_EQ(RegDeleteKeyA(root_, "Del"), ERROR_ACCESS_DENIED);  // has a subkey
    EXPECT_EQ(RegDeleteKeyA(root_, "Del\\Nope"), ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(RegDeleteKeyA(root_, "del\\CHILD"), ERROR_SUCCESS);

    // A new key at the same path does not revive the old handle.
    RegCloseKey(Create("Del\\Child"));
    const std::vector<std::pair<const char *, std::function<LONG()>>> uses = {
        {"query", [&] { DWORD n; return RegQueryValueExA(child, "x", nullptr, nullptr, nullptr, &n); }},
        {"set", [&] { return SetString(child, "x", "y"); }},
        {"delete value", [&] { return RegDeleteValueA(child, "x"); }},
        {"create", [&] { HKEY k; return RegCreateKeyExA(child, "Sub", 0, nullptr, 0, KEY_READ, nullptr, &k, nullptr); }},
        {"enumerate", [&] { char n[8]; DWORD c = 8; return RegEnumKeyExA(child, 0, n, &c, nullptr, nullptr, nullptr, nullptr); }},
    };
    for (const auto &[label, use] : uses) EXPECT_EQ(use(), ERROR_KEY_DELETED) << label;
    EXPECT_EQ(RegCloseKey(child), ERROR_SUCCESS);

    // "" deletes the key the handle is open on.
    HKEY again = Open("Del\\Child", KEY_ALL_ACCESS);
    EXPECT_EQ(RegDeleteKeyA(again, ""), ERROR_SUCCESS);
    EXPECT_EQ(RegDeleteKeyA(root_, "Del\\Child"), ERROR_FILE_NOT_FOUND);
    RegCloseKey(again);
}

TEST_F(RegistryTest, AccessMaskIsChecked) {
    RegCloseKey(Create("Acc\\Existing"));
    struct Case {
        const char *label;
        REGSAM sam;
        LONG query, set, deleteValue, enumerate;
    };
    const Case cases[] = {
        {"read", KEY_READ, ERROR_SUCCESS, ERROR_ACCESS_DENIED, ERROR_ACCESS_DENIED, ERROR_SUCCESS},
        {"set only", KEY_SET_VALUE, ERROR_ACCESS_DENIED, ERROR_SUCCESS, ERROR_SUCCESS,
         ERROR_ACCESS_DENIED},
        {"write", KEY_WRITE, ERROR_ACCESS_DENIED, ERROR_SUCCESS, ERROR_SUCCESS, ERROR_ACCESS_DENIED},
        {"generic read", GENERIC_READ, ERROR_SUCCESS, ERROR_ACCESS_DENIED, ERROR_ACCESS_DENIED,
         ERROR_SUCCESS},
    };
    HKEY full = Open("Acc", KEY_ALL_ACCESS);
    for (const Case &c : cases) {
        ASSERT_EQ(SetString(full, "v", "1"), ERROR_SUCCESS);
        RegDeleteKeyA(full, "New");
        HKEY key = Open("Acc", c.sam);
        DWORD size;
        HKEY sub = nullptr;
        char name[16];
        DWORD cch = sizeof name;
        EXPECT_EQ(RegQueryValueExA(key, "v", nullptr, nullptr, nullptr, &size), c.query) << c.label;
        EXPECT_EQ(SetString(key, "v", "2"), c.set) << c.label;
        EXPECT_EQ(RegDeleteValueA(key, "v"), c.deleteValue) << c.label;
        // Creating or opening a subkey needs no access through the parent's handle.
        for (const char *subkey : {"New", "Existing"}) {
            EXPECT_EQ(RegCreateKeyExA(key, subkey, 0, nullptr, 0, KEY_READ, nullptr, &sub, nullptr),
                      ERROR_SUCCESS)
                << c.label << subkey;
            RegCloseKey(sub);
        }
        EXPECT_EQ(RegEnumKeyExA(key, 0, name, &cch, nullptr, nullptr, nullptr, nullptr), c.enumerate)
            << c.label;
        RegCloseKey(key);
    }
    RegCloseKey(full);
}

TEST_F(RegistryTest, HandlesAreChecked) {
    HKEY closed = Create("H");
    ASSERT_EQ(RegCloseKey(closed), ERROR_SUCCESS);
    for (HKEY bad : {closed, static_cast<HKEY>(nullptr), reinterpret_cast<HKEY>(0x1234)}) {
        DWORD n = 8;
        HKEY k;
        char name[8];
        EXPECT_EQ(RegOpenKeyExA(bad, "", 0, KEY_READ, &k), ERROR_INVALID_HANDLE);
        EXPECT_EQ(RegQueryValueExA(bad, "", nullptr, nullptr, nullptr, &n), ERROR_INVALID_HANDLE);
        EXPECT_EQ(SetString(bad, "", ""), ERROR_INVALID_HANDLE);
        EXPECT_EQ(RegEnumKeyExA(bad, 0, name, &n, nullptr, nullptr, nullptr, nullptr),
                  ERROR_INVALID_HANDLE);
        EXPECT_EQ(RegDeleteKeyA(bad, "x"), ERROR_INVALID_HANDLE);
        EXPECT_EQ(RegCloseKey(bad), ERROR_INVALID_HANDLE);
    }
    // Closing a root changes nothing.
    EXPECT_EQ(RegCloseKey(HKEY_LOCAL_MACHINE), ERROR_SUCCESS);
    HKEY key;
    ASSERT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, kTestKey, 0, KEY_READ, &key), ERROR_SUCCESS);
    RegCloseKey(key);

    // RegOpenKeyA: the same handle for "", all access for a subkey.
    HKEY same = nullptr, all = nullptr;
    EXPECT_EQ(RegOpenKeyA(root_, "", &same), ERROR_SUCCESS);
    EXPECT_EQ(same, root_);
    ASSERT_EQ(RegOpenKeyA(root_, "H", &all), ERROR_SUCCESS);
    EXPECT_EQ(SetString(all, "v", "x"), ERROR_SUCCESS);
    RegCloseKey(all);
}

TEST_F(RegistryTest, ConcurrentWritersAllLand) {
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([this, t] {
            for (int i = 0; i < 50; ++i) {
                std::string path = "Conc\\T" + std::to_string(t) + "_" + std::to_string(i);
                HKEY key;
                if (RegCreateKeyExA(root_, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                                    &key, nullptr) == ERROR_SUCCESS) {
                    SetString(key, "v", "x");
                    RegCloseKey(key);
                }
            }
        });
    }
    for (auto &thread : threads) thread.join();
    HKEY parent = Open("Conc", KEY_READ);
    EXPECT_EQ(Subkeys(parent).size(), 200u);
    RegCloseKey(parent);
}

}  // namespace
