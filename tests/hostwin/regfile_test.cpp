// The registry file: REGEDIT4 text as written, round trips, damaged files.
#include <windows.h>
#include <hostwin.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>
#include <vector>

namespace {

class RegFileTest : public ::testing::Test {
protected:
    void SetUp() override {
        char dir[] = "/tmp/hostwin_regfile_XXXXXX";
        ASSERT_NE(mkdtemp(dir), nullptr);
        dir_ = dir;
    }
    void TearDown() override {
        HwSetRegistryFile((dir_ + "/empty.reg").c_str());
        HwSetRegistryFile(nullptr);
        std::filesystem::remove_all(dir_);
    }

    std::string Path(const char *name) const { return dir_ + "/" + name; }
    static std::string Read(const std::string &path) {
        std::ifstream in(path, std::ios::binary);
        std::stringstream text;
        text << in.rdbuf();
        return text.str();
    }
    static void Write(const std::string &path, const std::string &text) {
        std::ofstream(path, std::ios::binary) << text;
    }

    static HKEY Create(HKEY root, const char *path, DWORD options = 0) {
        HKEY key = nullptr;
        EXPECT_EQ(RegCreateKeyExA(root, path, 0, nullptr, options, KEY_ALL_ACCESS, nullptr, &key, nullptr),
                  ERROR_SUCCESS);
        return key;
    }
    static void Set(HKEY key, const char *name, DWORD type, const std::string &bytes) {
        EXPECT_EQ(RegSetValueExA(key, name, 0, type, reinterpret_cast<const BYTE *>(bytes.data()), DWORD(bytes.size())),
                  ERROR_SUCCESS);
    }
    // Type and bytes of a value, or "missing".
    static std::string Get(HKEY root, const char *path, const char *name) {
        HKEY key;
        if (RegOpenKeyExA(root, path, 0, KEY_READ, &key) != ERROR_SUCCESS) return "missing key";
        char data[512];
        DWORD type = 0, size = sizeof data;
        LONG r = RegQueryValueExA(key, name, nullptr, &type, reinterpret_cast<BYTE *>(data), &size);
        RegCloseKey(key);
        if (r != ERROR_SUCCESS) return "missing";
        return std::to_string(type) + ":" + std::string(data, size);
    }

    std::string dir_;
};

TEST_F(RegFileTest, WritesRegeditText) {
    ASSERT_EQ(HwSetRegistryFile(Path("a.reg").c_str()), DWORD(ERROR_SUCCESS));
    EXPECT_FALSE(std::filesystem::exists(Path("a.reg")));  // nothing changed yet
    EXPECT_STREQ(HwRegistryFile(), Path("a.reg").c_str());

    HKEY key = Create(HKEY_LOCAL_MACHINE, "Software\\Ktz");
    Set(key, "Name", REG_SZ, std::string("a \"q\" \\ b\0", 10));
    Set(key, nullptr, REG_DWORD, std::string("\x2a\0\0\0", 4));
    std::string bytes;
    for (int i = 0; i < 30; ++i) bytes += char(i * 9);
    Set(key, "Data", REG_BINARY, bytes);
    Set(key, "Multi", REG_MULTI_SZ, std::string("a\0b\0\0", 5));
    Set(key, "Short", REG_DWORD, std::string("\1\2", 2));
    // Unterminated, with no terminator after it either.
    ASSERT_EQ(RegSetValueExA(key, "Bare", 0, REG_SZ, reinterpret_cast<const BYTE *>("abX"), 2),
              ERROR_SUCCESS);
    RegCloseKey(key);
    RegCloseKey(Create(HKEY_LOCAL_MACHINE, "Software\\Ktz\\Empty"));
    RegCloseKey(Create(HKEY_LOCAL_MACHINE, "Software\\Ktz\\Temp", REG_OPTION_VOLATILE));
    RegCloseKey(Create(HKEY_LOCAL_MACHINE, "Software\\Ktz\\Temp\\Below", REG_OPTION_VOLATILE));
    key = Create(HKEY_CURRENT_USER, "X");
    Set(key, "v", REG_BINARY, "");
    RegCloseKey(key);

    EXPECT_EQ(Read(Path("a.reg")),
              "REGEDIT4\n"
              "\n"
              "[HKEY_CURRENT_USER\\X]\n"
              "\"v\"=hex:\n"
              "\n"
              "[HKEY_LOCAL_MACHINE\\Software]\n"
              "\n"
              "[HKEY_LOCAL_MACHINE\\Software\\Ktz]\n"
              "\"Name\"=\"a \\\"q\\\" \\\\ b\"\n"
              "@=dword:0000002a\n"
              "\"Data\"=hex:00,09,12,1b,24,2d,36,3f,48,51,5a,63,6c,75,7e,87,90,99,a2,ab,b4,bd,\\\n"
              "  c6,cf,d8,e1,ea,f3,fc,05\n"
              "\"Multi\"=hex(7):61,00,62,00,00\n"
              "\"Short\"=hex(4):01,02\n"
              "\"Bare\"=hex(1):61,62\n"
              "\n"
              "[HKEY_LOCAL_MACHINE\\Software\\Ktz\\Empty]\n"
              "\n");
    // Only the file remains: the temporary one was renamed over it.
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir_), {}), 1);

    HwReboot(TRUE);
    EXPECT_EQ(Read(Path("a.reg")), "REGEDIT4\n\n");
}

TEST_F(RegFileTest, ReadingRestoresWhatWasWritten) {
    struct V {
        const char *name;
        DWORD type;
        std::string bytes;
    };
    std::string longBinary;
    for (int i = 0; i < 200; ++i) longBinary += char(255 - i);
    const std::vector<V> values = {
        {"Plain", REG_SZ, std::string("text\0", 5)},
        {"Quotes\\\"", REG_SZ, std::string("\"\\\\\"\0", 5)},
        {"EmptyString", REG_SZ, std::string("\0", 1)},
        {"NoBytes", REG_SZ, ""},
        {"TwoNuls", REG_SZ, std::string("a\0\0", 3)},
        {"Lines", REG_SZ, std::string("a\r\nb\0", 5)},
        {"Expand", REG_EXPAND_SZ, std::string("%x%\0", 4)},
        {"Dword", REG_DWORD, std::string("\xff\xfe\0\x80", 4)},
        {"LongDword", REG_DWORD, std::string("\1\2\3\4\5", 5)},
        {"Long", REG_BINARY, longBinary},
        {"Odd", 0x12345, "\x01"},
        {"None", REG_NONE, ""},
        {"", REG_SZ, std::string("default\0", 8)},
        {"High", REG_SZ, std::string("\xe4\xf6\0", 3)},
    };
    ASSERT_EQ(HwSetRegistryFile(Path("a.reg").c_str()), DWORD(ERROR_SUCCESS));
    HKEY key = Create(HKEY_LOCAL_MACHINE, "Software\\Round Trip\\[x]");
    for (const V &v : values) Set(key, v.name, v.type, v.bytes);
    RegCloseKey(key);
    RegCloseKey(Create(HKEY_USERS, "S-1\\Empty"));
    const std::string written = Read(Path("a.reg"));

    std::filesystem::copy_file(Path("a.reg"), Path("b.reg"));
    ASSERT_EQ(HwSetRegistryFile(nullptr), DWORD(ERROR_SUCCESS));
    RegCloseKey(Create(HKEY_LOCAL_MACHINE, "Software\\Stale"));
    ASSERT_EQ(HwSetRegistryFile(Path("b.reg").c_str()), DWORD(ERROR_SUCCESS));
    for (const V &v : values) {
        EXPECT_EQ(Get(HKEY_LOCAL_MACHINE, "Software\\Round Trip\\[x]", v.name), std::to_string(v.type) + ":" + v.bytes)
            << v.name;
    }
    EXPECT_EQ(Get(HKEY_LOCAL_MACHINE, "Software\\Stale", ""), "missing key");  // replaced, not merged
    EXPECT_EQ(Get(HKEY_USERS, "S-1\\Empty", "x"), "missing");

    // Any change rewrites the file; undone, the text is the same again.
    RegCloseKey(Create(HKEY_LOCAL_MACHINE, "Software\\Scratch"));
    ASSERT_EQ(RegDeleteKeyA(HKEY_LOCAL_MACHINE, "Software\\Scratch"), ERROR_SUCCESS);
    EXPECT_EQ(Read(Path("b.reg")), written);
}

TEST_F(RegFileTest, ReadsWhatRegeditAccepts) {
    Write(Path("in.reg"),
          "REGEDIT4\r\n"
          "; a comment\r\n"
          "\r\n"
          "[hkey_local_machine\\Software\\A]\r\n"
          "\"Bin\"=hex:01, 02 ,\\\r\n"
          "      03,\\\r\n"
          "04\r\n"
          "\"D\"=dword:2A\r\n"
          "\"Q\"=hex(b):01,00,00,00,00,00,00,00\r\n"
          "[HKEY_LOCAL_MACHINE\\Software\\A]\r\n"
          "\"D\"=dword:7\r\n"
          "\"S\"=\"x\"\r\n");
    ASSERT_EQ(HwSetRegistryFile(Path("in.reg").c_str()), DWORD(ERROR_SUCCESS)) << HwRegistryFileError();
    EXPECT_STREQ(HwRegistryFileError(), "");
    EXPECT_EQ(Get(HKEY_LOCAL_MACHINE, "Software\\A", "Bin"), std::string("3:\1\2\3\4", 6));
    EXPECT_EQ(Get(HKEY_LOCAL_MACHINE, "Software\\A", "D"), std::string("4:\7\0\0\0", 6));
    EXPECT_EQ(Get(HKEY_LOCAL_MACHINE, "Software\\A", "Q"), std::string("11:\1\0\0\0\0\0\0\0", 11));
    EXPECT_EQ(Get(HKEY_LOCAL_MACHINE, "Software\\A", "S"), std::string("1:x\0", 4));
}

// A REGEDIT4 path of levels keys named name below a root.
std::string Section(const char *root, int levels, const std::string &name) {
    std::string path = root;
    for (int i = 0; i < levels; ++i) path += "\\" + name;
    return "[" + path + "]\n";
}

TEST_F(RegFileTest, DamagedFilesAreRefusedAndLeftAlone) {
    struct Case {
        std::string text;
        int line;
        const char *what;
    };
    const std::string longName(257, 'n');
    const Case cases[] = {
        {"", 1, "REGEDIT4"},
        {"Windows Registry Editor Version 5.00\n\n", 1, "REGEDIT4"},
        {"REGEDIT4\n\n\"a\"=\"b\"\n", 3, "outside"},
        {"REGEDIT4\n[HKEY_NOWHERE\\A]\n", 2, "unknown root"},
        {"REGEDIT4\n[HKEY_LOCAL_MACHINE\\A\n", 2, "section"},
        {"REGEDIT4\n[HKEY_LOCAL_MACHINE\\A]\n\"a\"=hex:01,zz\n", 3, "hex"},
        {"REGEDIT4\n[HKEY_LOCAL_MACHINE\\A]\n\"a\"=hex:01,\\\n", 3, "end of the file"},
        {"REGEDIT4\n[HKEY_LOCAL_MACHINE\\A]\n\"a\"=\"open\n", 3, "unterminated"},
        {"REGEDIT4\n[HKEY_LOCAL_MACHINE\\A]\n\"a=1\n", 3, "unterminated"},
        {"REGEDIT4\n[HKEY_LOCAL_MACHINE\\A]\n\"a\"=dword:123456789\n", 3, "dword"},
        {"REGEDIT4\n[HKEY_LOCAL_MACHINE\\A]\n\"a\"=float:1\n", 3, "value data"},
        {"REGEDIT4\n[HKEY_LOCAL_MACHINE\\A]\ngarbage\n", 3, "unrecognised"},
        // Windows's bounds: names, depth (HKEY_LOCAL_MACHINE is 2 levels deep,
        // HKEY_CURRENT_USER 3), and a tree that could not be saved again.
        {"REGEDIT4\n" + Section("HKEY_LOCAL_MACHINE", 1, longName), 2, "longer than 256"},
        {"REGEDIT4\n" + Section("HKEY_LOCAL_MACHINE", 511, "a"), 2, "512 levels"},
        {"REGEDIT4\n" + Section("HKEY_CURRENT_USER", 510, "a"), 2, "512 levels"},
        {"REGEDIT4\n" + Section("HKEY_LOCAL_MACHINE", 300000, "a"), 2, "512 levels"},
        {"REGEDIT4\n" + Section("HKEY_LOCAL_MACHINE", 400, std::string(256, 'n')), 2,
         "would be saved as more than 4194304 bytes"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.text.substr(0, 80));
        const std::string path = Path("bad.reg");
        Write(path, c.text);
        ASSERT_EQ(HwSetRegistryFile(path.c_str()), DWORD(ERROR_BADDB));
        const std::string error = HwRegistryFileError();
        EXPECT_NE(error.find(path + ":" + std::to_string(c.line) + ":"), std::string::npos) << error;
        EXPECT_NE(error.find(c.what), std::string::npos) << error;
        EXPECT_EQ(HwRegistryFile(), nullptr);

        HKEY key;
        EXPECT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, "A", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr),
                  ERROR_BADDB);
        EXPECT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "", 0, KEY_READ, &key), ERROR_BADDB);
        DWORD size;
        EXPECT_EQ(RegQueryValueExA(HKEY_LOCAL_MACHINE, "x", nullptr, nullptr, nullptr, &size), ERROR_BADDB);

        // Memory only again: the registry works and the damaged file stays as it was.
        ASSERT_EQ(HwSetRegistryFile(nullptr), DWORD(ERROR_SUCCESS));
        EXPECT_STREQ(HwRegistryFileError(), "");
        ASSERT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, "A", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr),
                  ERROR_SUCCESS);
        RegCloseKey(key);
        HwReboot(TRUE);
        EXPECT_EQ(Read(path), c.text);
    }
}

// The bounds of the loader are the bounds of the API.
TEST_F(RegFileTest, TheDeepestAndLongestKeysLoad) {
    const std::string longest(256, 'n');
    Write(Path("edge.reg"), "REGEDIT4\n" + Section("HKEY_LOCAL_MACHINE", 510, "d") +
                                Section("HKEY_LOCAL_MACHINE", 1, longest));
    ASSERT_EQ(HwSetRegistryFile(Path("edge.reg").c_str()), DWORD(ERROR_SUCCESS)) << HwRegistryFileError();
    std::string deepest = "d";
    for (int i = 1; i < 510; ++i) deepest += "\\d";
    HKEY key = nullptr, sub = nullptr;
    ASSERT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, deepest.c_str(), 0, KEY_ALL_ACCESS, &key), ERROR_SUCCESS);
    EXPECT_EQ(RegCreateKeyExA(key, "d", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &sub, nullptr),
              ERROR_INVALID_PARAMETER);
    RegCloseKey(key);
    ASSERT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, longest.c_str(), 0, KEY_READ, &key), ERROR_SUCCESS);
    RegCloseKey(key);
}

// A file larger than the bound is refused unread; a change that would make
// the file larger fails, is undone and leaves the file as it was.
TEST_F(RegFileTest, TheFileIsBoundedInSize) {
    const std::string big = Path("big.reg");
    Write(big, "REGEDIT4\n");
    std::filesystem::resize_file(big, (4 << 20) + 1);
    EXPECT_EQ(HwSetRegistryFile(big.c_str()), DWORD(ERROR_BADDB));
    EXPECT_NE(std::string(HwRegistryFileError()).find("4194305 bytes, more than 4194304"),
              std::string::npos)
        << HwRegistryFileError();
    EXPECT_EQ(std::filesystem::file_size(big), (4u << 20) + 1);

    ASSERT_EQ(HwSetRegistryFile(Path("a.reg").c_str()), DWORD(ERROR_SUCCESS));
    HKEY key = Create(HKEY_LOCAL_MACHINE, "Software\\Full");
    const std::string before = Read(Path("a.reg"));
    std::string path = "P";
    for (int i = 0; i < 400; ++i) path += "\\" + std::string(256, 'n');
    const std::vector<BYTE> data(2 << 20);
    struct Change {
        const char *what;
        std::function<LONG()> make;
        std::function<bool()> there;
    };
    const Change changes[] = {
        {"a value of 2 MiB",
         [&] { return RegSetValueExA(key, "Big", 0, REG_BINARY, data.data(), DWORD(data.size())); },
         [&] { return Get(HKEY_LOCAL_MACHINE, "Software\\Full", "Big") != "missing"; }},
        {"400 levels of long names",
         [&] {
             HKEY sub = nullptr;
             LONG rc = RegCreateKeyExA(key, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &sub, nullptr);
             if (sub) RegCloseKey(sub);
             return rc;
         },
         [&] { return Get(HKEY_LOCAL_MACHINE, "Software\\Full\\P", "") != "missing key"; }},
    };
    for (const Change &c : changes) {
        EXPECT_EQ(c.make(), ERROR_NO_SYSTEM_RESOURCES) << c.what;
        EXPECT_FALSE(c.there()) << c.what;
        EXPECT_EQ(Read(Path("a.reg")), before) << c.what;
    }
    RegCloseKey(key);
}

TEST_F(RegFileTest, ReplacingTheRegistryInvalidatesOldKeys) {
    ASSERT_EQ(HwSetRegistryFile(nullptr), DWORD(ERROR_SUCCESS));
    HKEY old = Create(HKEY_LOCAL_MACHINE, "Software\\Old");
    HKEY root = nullptr;
    ASSERT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, nullptr, 0, KEY_ALL_ACCESS, &root), ERROR_SUCCESS);
    Write(Path("new.reg"), "REGEDIT4\n\n[HKEY_LOCAL_MACHINE\\Software\\New]\n\"v\"=\"1\"\n");
    ASSERT_EQ(HwSetRegistryFile(Path("new.reg").c_str()), DWORD(ERROR_SUCCESS));

    EXPECT_EQ(RegSetValueExA(old, "v", 0, REG_BINARY, nullptr, 0), ERROR_KEY_DELETED);
    HKEY key;
    EXPECT_EQ(RegOpenKeyExA(root, "Software\\New", 0, KEY_READ, &key), ERROR_SUCCESS);  // roots stay valid
    RegCloseKey(key);
    RegCloseKey(old);
    RegCloseKey(root);
}

}  // namespace
