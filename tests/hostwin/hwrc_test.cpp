// hwrc's compiler on damaged and hostile input: each row is an input that
// once hung it, overflowed its stack or its arithmetic, named the wrong line
// or misread `defined`; now it ends with a message that names the line, or
// compiles as a resource compiler does.
#include <hwrc_compile.h>

#include <gtest/gtest.h>

#include <stdexcept>
#include <string>

namespace {

// The --dump text of the script or compiled file, or "error: <message>".
std::string Compile(const std::string &input, bool compiled) {
    try {
        auto dialogs = compiled ? hwrc::ReadCompiled(input)
                                : hwrc::CompileScript(input, "t.rc", {}, [](auto &, auto *) { return false; });
        return hwrc::Dump(dialogs);
    } catch (const std::runtime_error &e) {
        return std::string("error: ") + e.what();
    }
}

TEST(HwrcTest, HostileInputEndsWithAMessage) {
    struct Case {
        const char *what;
        std::string input;
        bool compiled;
        std::string expected;
    };
    const std::string deep(300, '(');
    const Case cases[] = {
        {"a resource header of size 0 (looped)", std::string(16, '\0'), true,
         "error: resource file: malformed resource header"},
        {"a macro that doubles at each level (2^32 tokens)",
         "#define A A A\n1 DIALOG A,0,0,0\nBEGIN\nEND\n", false, "error: t.rc:2: macro expansion too large"},
        {"parentheses nested past the stack", "1 DIALOG " + deep + "0", false,
         "error: t.rc:1: expression nested too deeply"},
        {"a #if of nested negations", "#if " + std::string(300, '-') + "1\n#endif\n", false,
         "error: t.rc:1:1: expression nested too deeply"},
        {"a fault after directives names its own line",
         "#define X 1\n#if X\n1 DIALOG 0,0,0,0\nBEGIN\nFOO\nEND\n#endif\n", false,
         "error: t.rc:5: unknown control statement FOO"},
        {"defined names a macro with a value", "#define X 5\n#if defined(X) & defined X\n1 DIALOG 0,0,1,1\nBEGIN\nEND\n#endif\n",
         false, "dialog 1 style=0x80880000 exstyle=0x00000000 at 0,0,1,1 caption=\"\" font=0,\"\"\n"},
        {"a sum past the largest number (wraps)", "1 DIALOG 9223372036854775807+1,0,0,-(-9223372036854775807-1)\nBEGIN\nEND\n",
         false,
         "dialog 1 style=0x80880000 exstyle=0x00000000 at -9223372036854775808,0,0,-9223372036854775808 "
         "caption=\"\" font=0,\"\"\n"},
    };
    for (const Case &c : cases) EXPECT_EQ(Compile(c.input, c.compiled), c.expected) << c.what;
}

// Each statement with a style list of 0, as windres compiles it: the text
// statements lose WS_GROUP, the radio and three-state buttons WS_TABSTOP,
// COMBOBOX all of its own; and the .res reader reads a DIALOG (not EX)
// whose style does not start with the word 1.
TEST(HwrcTest, StyleListsAsWindres) {
    const std::string dump = Compile(
        "1 DIALOGEX 0,0,9,9\nBEGIN\n"
        "LTEXT \"\",1,0,0,1,1,0\nCTEXT \"\",2,0,0,1,1,0\nPUSHBUTTON \"\",3,0,0,1,1,0\n"
        "RADIOBUTTON \"\",4,0,0,1,1,0\nAUTO3STATE \"\",5,0,0,1,1,0\nEDITTEXT 6,0,0,1,1,0\n"
        "COMBOBOX 7,0,0,1,1,0\nLISTBOX 8,0,0,1,1,0\nEND\n",
        false);
    const char *expected[] = {"STATIC 1 style=0x50000000", "STATIC 2 style=0x50000001",
                              "BUTTON 3 style=0x50010000", "BUTTON 4 style=0x50000004",
                              "BUTTON 5 style=0x50000006", "EDIT 6 style=0x50810000",
                              "COMBOBOX 7 style=0x50000000", "LISTBOX 8 style=0x50800001"};
    for (const char *line : expected) EXPECT_NE(dump.find(line), std::string::npos) << line << "\n" << dump;

    // A DIALOG resource (type 5, id 1) of style 0x80C80000 with no controls.
    std::string res(32, '\0');  // the empty first resource of a .res file
    res[4] = 0x20;
    const unsigned char dialog[] = {
        0x18, 0, 0, 0, 0x20, 0, 0, 0, 0xFF, 0xFF, 5, 0, 0xFF, 0xFF, 1, 0,  // sizes, type, name
        0, 0, 0, 0, 0x30, 0x10, 0x09, 0x04, 0, 0, 0, 0, 0, 0, 0, 0,          // version, language
        0, 0, 0xC8, 0x80, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 4, 0, 4, 0, 0, 0, 0, 0, 0, 0};
    res.append(reinterpret_cast<const char *>(dialog), sizeof dialog);
    EXPECT_EQ(Compile(res, true),
              "dialog 1 style=0x80C80000 exstyle=0x00000000 at 0,0,4,4 caption=\"\" font=0,\"\"\n");
}

}  // namespace
