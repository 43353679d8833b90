// KtzResultText: results in words, and the bounds of the caller's buffer.
#include <gtest/gtest.h>

#include <ktz3649.h>

#include <cstring>
#include <string>

extern "C" char *ResultTextFromC(DWORD result, char *buffer, size_t size);

namespace {

TEST(ResultText, WordsOfEveryKindOfResult) {
    const struct {
        DWORD result;
        const char *text;
    } cases[] = {
        {0, "success"},
        {0x1007, "device 0: invalid channel"},
        {0x301B, "device 2: not supported"},
        {0x10018, "device 15: unsupported board"},
        {3, "invalid handle"},
        {106, "port access failed"},
        {0x1000 + 77, "device 0: kernel driver status 77"},  // passed on from the driver
        {0xFFFFFFFF, "device 1048574: kernel driver status 4095"},
        {6, "error 6"},  // no error of the library
        {4095, "error 4095"},
    };
    for (const auto &c : cases) {
        char text[64], fromC[64];
        EXPECT_STREQ(KtzResultText(c.result, text, sizeof text), c.text) << c.result;
        EXPECT_STREQ(ResultTextFromC(c.result, fromC, sizeof fromC), c.text) << c.result;
    }
}

TEST(ResultText, CutShortWithinTheBufferAndAlwaysTerminated) {
    const std::string full = "device 12: invalid parameter";
    for (size_t size : {0, 1, 2, 8, 9, 10, 11, 28, 29, 40}) {
        char buffer[48];
        std::memset(buffer, '#', sizeof buffer);
        ASSERT_EQ(KtzResultText(0xD00A, buffer, size), buffer);
        for (size_t i = size; i < sizeof buffer; ++i) ASSERT_EQ(buffer[i], '#') << size << " " << i;
        if (size == 0) continue;
        EXPECT_EQ(std::string(buffer), full.substr(0, size - 1)) << size;
    }
    EXPECT_EQ(KtzResultText(0, nullptr, 8), nullptr);
}

}  // namespace
