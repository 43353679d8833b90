// The features record, byte for byte against a literal table.
#include <ktz3649.h>

#include <cstring>

#include "lab_fixture.h"

namespace ktztest {
namespace {

// The PCI-3649 record as the card's documentation lists it.
std::vector<BYTE> Expected3649() {
    std::vector<BYTE> r(520, 0);
    auto put16 = [&](size_t at, WORD v) { std::memcpy(&r[at], &v, 2); };
    auto put32 = [&](size_t at, DWORD v) { std::memcpy(&r[at], &v, 4); };
    auto putF = [&](size_t at, float v) { std::memcpy(&r[at], &v, 4); };
    std::memcpy(&r[0], "Ver 1.0", 7);
    std::memcpy(&r[8], "ktz3649.dll", 11);
    put32(24, 97);
    const WORD words[] = {8, 16, 2, 16, 16, 1, 3, 0, 12, 2, 12, 2, 9};
    for (size_t i = 0; i < std::size(words); ++i) put16(28 + 2 * i, words[i]);
    const struct {
        WORD code;
        float upper, lower;
        const char *name;
    } gains[] = {{16, 10.0f, 0.0f, "0-10V"},   {17, 5.0f, 0.0f, "0-5V"},
                 {18, 2.5f, 0.0f, "0-2.5V"},   {19, 1.25f, 0.0f, "0-1.25"},
                 {4, 10.0f, -10.0f, "+/-10V"}, {0, 5.0f, -5.0f, "+/-5V"},
                 {1, 2.5f, -2.5f, "+/-2.5V"},  {2, 1.25f, -1.25f, "+/-1.25V"},
                 {3, 0.625f, -0.625f, "+/-0.625V"}};
    for (size_t i = 0; i < std::size(gains); ++i) {
        size_t at = 56 + 28 * i;
        put16(at, gains[i].code);
        putF(at + 4, gains[i].upper);
        putF(at + 8, gains[i].lower);
        std::memcpy(&r[at + 12], gains[i].name, std::strlen(gains[i].name));
    }
    put32(504, 0x001C1133);
    return r;
}

class FeaturesTest : public LabTest {};

TEST_F(FeaturesTest, RecordsOfBothBoardsByteForByte) {
    KtzSimAddCard(0, 14, KTZSIM_PCI3649L);
    Install(0, 0);
    Install(1, 1);
    std::vector<BYTE> expected = Expected3649();
    std::vector<BYTE> got(600, 0xEE);
    // A stated size of 0 still gets the whole record, and nothing beyond it.
    ASSERT_EQ(DeviceGetFeatures(Open(0), got.data(), 0), 0u);
    EXPECT_EQ(std::vector<BYTE>(got.begin(), got.begin() + 520), expected);
    EXPECT_EQ(got[520], 0xEE);

    // The PCI-3649L differs in the version, board ID, output fields and bits 4 and 5.
    std::memcpy(&expected[0], "Ver 2.2", 7);
    const DWORD board = 169, capabilities = 0x001C1103;
    std::memcpy(&expected[24], &board, 4);
    const WORD none = 0;
    for (size_t at : {32, 48, 50}) std::memcpy(&expected[at], &none, 2);
    std::memcpy(&expected[504], &capabilities, 4);
    ASSERT_EQ(DeviceGetFeatures(Open(1), got.data(), 520), 0u);
    EXPECT_EQ(std::vector<BYTE>(got.begin(), got.begin() + 520), expected);
}

TEST_F(FeaturesTest, RefusalsWriteNothing) {
    Install(2, 0, [](KtzSimDeviceSettings &s) {
        s.boardId = 5;
        s.allowConflicts = 1;  // no reset, so the open itself succeeds
    });
    Install(3);
    KtzDeviceFeatures features{};
    EXPECT_EQ(DeviceGetFeatures(0, &features, 520), 3u);
    KTZHANDLE handle = Open(2);
    EXPECT_EQ(DeviceGetFeatures(handle, &features, 520), 0x3018u);
    EXPECT_EQ(features.boardId, 0u);
    EXPECT_EQ(DeviceGetFeatures(Open(3), nullptr, 520), 0x400Au);
}

}  // namespace
}  // namespace ktztest
