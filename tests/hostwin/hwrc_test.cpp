// hwrc's compiler on damaged and hostile input: each row is an input that
// once hung it, overflowed its stack or its arithmetic, or named the wrong
// line; now it ends with a message that names the line, or compiles.
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
        {"a sum past the largest number (wraps)", "1 DIALOG 9223372036854775807+1,0,0,-(-9223372036854775807-1)\nBEGIN\nEND\n",
         false,
         "dialog 1 style=0x80880000 exstyle=0x00000000 at -9223372036854775808,0,0,-9223372036854775808 "
         "caption=\"\" font=0,\"\"\n"},
    };
    for (const Case &c : cases) EXPECT_EQ(Compile(c.input, c.compiled), c.expected) << c.what;
}

}  // namespace
