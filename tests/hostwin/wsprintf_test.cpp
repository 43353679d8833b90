// wsprintfA: the Win32 conversions, flags, sizes and the 1024-character limit.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace {

TEST(WsprintfTest, FormatsLikeWin32) {
    struct Case {
        std::string expected;
        std::string got;
    };
    char b[1100];
    auto f = [&b](auto... args) {
        int n = wsprintfA(b, args...);
        EXPECT_EQ(n, lstrlenA(b));
        return std::string(b);
    };
    const Case cases[] = {
        {"42 -7 4294967289", f("%d %i %u", 42, -7, -7)},
        {"ff FF 0xff 0XFF", f("%x %X %#x %#X", 255, 255, 255, 255)},
        {"[   42][42   ][00042][-0042]", f("[%5d][%-5d][%05d][%05d]", 42, 42, 42, -42)},
        // The width leaves out the "0x"; the precision counts the sign.
        {"[0x00002a][    0x2a]", f("[%#06x][%#6x]", 42, 42)},
        {"[  007][-07][5]", f("[%5.3d][%.3d][%.0d]", 7, -7, 5)},
        // h and l read an int, as without them.
        {"65535 131071 ffffffff", f("%hd %hu %hx", 0xffff, 0x1ffff, -1)},
        {"-2147483648 80000000", f("%ld %lx", 0x80000000u, 0x80000000u)},
        {"A [  x] [y  ] [  z]", f("%c [%3c] [%-3c] [%03c]", 'A', 'x', 'y', 'z')},
        {"abc [  abc] [ab] [ab   ] (null)", f("%s [%5s] [%.2s] [%-5.2s] %s", "abc", "abc", "abcdef", "abc",
                                             static_cast<const char *>(nullptr))},
        // S and ls take wide strings, hs a narrow one.
        {"wide long short", f("%S %ls %hs", u"wide", u"long", "short")},
        // Not conversions: the character as it stands, after the width's padding.
        {"100% f q [    q]", f("100%% %f %q [%4q]")},
        {"trailing ", f("trailing %")},
    };
    for (const Case &c : cases) EXPECT_EQ(c.got, c.expected);
}

// At most 1023 characters and the terminator; a conversion is cut to fit,
// and an output that fills the buffer is reported as 1024 long.
TEST(WsprintfTest, StopsAt1023Characters) {
    std::string longText(2000, 'z');
    char out[1100];
    memset(out, '#', sizeof out);
    EXPECT_EQ(wsprintfA(out, "ab%s", longText.c_str()), 1024);
    EXPECT_EQ(std::string(out), "ab" + std::string(1021, 'z'));

    EXPECT_EQ(wsprintfA(out, "%2000d", 5), 1024);
    EXPECT_EQ(std::string(out), std::string(1022, ' ') + "5");
    EXPECT_EQ(lstrlenA(nullptr), 0);
}

}  // namespace
