// Device properties through DriverProc codes 107, 108 and 109.
#include <ktz3649.h>

#include <cstring>

#include "lab_fixture.h"
#include "record.h"

namespace ktztest {
namespace {

class PropertyTest : public LabTest {
protected:
    void SetUp() override {
        LabTest::SetUp();
        Install(0);
        handle_ = Open(0);
    }
    DWORD Get(WORD property, DWORD *length, void *buffer) {
        DeviceGetPropertyBlock block{property, 0, length, buffer};
        return DriverProc(0, 0, 109, handle_, reinterpret_cast<ULONG_PTR>(&block));
    }
    DWORD Set(WORD property, DWORD length, const void *data) {
        DeviceSetPropertyBlock block{property, 0, length, const_cast<void *>(data)};
        return DriverProc(0, 0, 108, handle_, reinterpret_cast<ULONG_PTR>(&block));
    }
    template <class T>
    T GetValue(WORD property) {
        T value{};
        DWORD length = sizeof value;
        EXPECT_EQ(Get(property, &length, &value), 0u);
        EXPECT_EQ(length, sizeof value);
        return value;
    }
    ktz::DeviceRecord &Device() { return Record(handle_); }
    KTZHANDLE handle_ = 0;
};

TEST_F(PropertyTest, SizesAndShortBuffers) {
    const struct {
        WORD property;
        DWORD size;
    } sizes[] = {{0x0000, 4}, {0x0001, 4}, {0x0003, 2}, {0x0004, 2}, {0x0005, 4},
                 {0x0006, 4}, {0x1000, 2}, {0x1001, 4}, {0x2000, 64}, {0x2001, 4},
                 {0x2004, 16}, {0x3005, 2}, {0x3006, 8}, {0x3C82, 4}, {0x3C83, 4},
                 {0x3C84, 4}, {0x4806, 4}, {0x4807, 4}, {0x4808, 4}, {0x5001, 12},
                 {0x5002, 4}, {0x5007, 16}};
    for (const auto &s : sizes) {
        SCOPED_TRACE(s.property);
        DWORD length = 0;
        EXPECT_EQ(Get(s.property, &length, nullptr), 0u);
        EXPECT_EQ(length, s.size);
    }
    BYTE buffer[64];
    std::memset(buffer, 0xAB, sizeof buffer);
    DWORD length = 32;
    EXPECT_EQ(Get(0x2000, &length, buffer), 0x100Au);
    EXPECT_EQ(length, 64u);
    EXPECT_EQ(buffer[0], 0xAB);  // nothing written
    EXPECT_EQ(Get(0x0002, &length, buffer), 0x103Eu);
    EXPECT_EQ(Get(0x0000, nullptr, buffer), 0x100Au);
}

TEST_F(PropertyTest, DeviceValuesZeroTheWholeBufferFirst) {
    BYTE buffer[8];
    std::memset(buffer, 0xAB, sizeof buffer);
    DWORD length = sizeof buffer;
    ASSERT_EQ(Get(0x0003, &length, buffer), 0u);
    EXPECT_EQ(length, 2u);
    const BYTE expected[8] = {0x00, 0xE0, 0, 0, 0, 0, 0, 0};
    EXPECT_EQ(std::memcmp(buffer, expected, 8), 0);
    EXPECT_EQ(GetValue<DWORD>(0x0006), 13u);
    // The constants that are not zero-filled leave the rest alone.
    std::memset(buffer, 0xAB, sizeof buffer);
    length = sizeof buffer;
    ASSERT_EQ(Get(0x3C83, &length, buffer), 0u);
    EXPECT_EQ(buffer[4], 0xAB);
}

TEST_F(PropertyTest, ChanConfigSetsPairsFromTheEvenChannel) {
    const struct {
        WORD written, stored;
    } cases[] = {{0x0005, 0x000F}, {0x0002, 0x0000}, {0x8001, 0x0003}, {0x4000, 0xC000}};
    for (const auto &c : cases) {
        ASSERT_EQ(Set(0x1000, 2, &c.written), 0u);
        EXPECT_EQ(Device().settings.ChanConfig, c.stored);
        EXPECT_EQ(GetValue<WORD>(0x1000), c.stored);
    }
    WORD value = 1;
    EXPECT_EQ(Set(0x1000, 4, &value), 0x100Au);
}

TEST_F(PropertyTest, PacerRatesProgramTheCard) {
    EXPECT_EQ(GetValue<DWORD>(0x1001), 0u);  // no divisor yet: no rate
    DWORD rate = 1000;
    KtzSimTraceClear();
    ASSERT_EQ(Set(0x1001, 4, &rate), 0u);
    EXPECT_EQ(Registers(), (std::vector<Access>{W16(22, 0x76), W16(18, 0x10), W16(18, 0x27)}));
    EXPECT_EQ(GetValue<DWORD>(0x1001), 1000u);
    rate = 154;
    KtzSimTraceClear();
    ASSERT_EQ(Set(0x2001, 4, &rate), 0u);
    EXPECT_EQ(Device().fao.aoPacerDivisor, 64935);
    EXPECT_EQ(Registers(), (std::vector<Access>{W16(22, 0x36), W16(16, 0xA7), W16(16, 0xFD)}));
    EXPECT_EQ(GetValue<DWORD>(0x2001), 154u);
    for (DWORD bad : {153u, 1000001u}) {
        EXPECT_EQ(Set(0x1001, 4, &bad), 0x100Au);
        EXPECT_EQ(Set(0x2001, 4, &bad), 0x100Au);
    }
    EXPECT_EQ(Set(0x1001, 4, nullptr), 0x100Au);
}

TEST_F(PropertyTest, OutputRanges) {
    KtzOutputRange list[4];
    DWORD length = sizeof list;
    ASSERT_EQ(Get(0x2000, &length, list), 0u);
    const float expected[4][2] = {{5, 0}, {10, 0}, {5, -5}, {10, -10}};
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(list[i].type, 4);
        EXPECT_EQ(list[i].channel, 0);
        EXPECT_EQ(list[i].maximum, expected[i][0]);
        EXPECT_EQ(list[i].minimum, expected[i][1]);
    }
    // The second range replaces the first; reading it reports selector 1.
    KtzOutputRange second{0, 0, 1, 0, 10.0f, -10.0f};
    ASSERT_EQ(Set(0x2004, 16, &second), 0u);
    const auto &entry = Device().settings.aoSettings[0];
    EXPECT_EQ(entry.maximum, 0.0f);
    EXPECT_EQ(entry.minimum, 0.0f);
    KtzOutputRange read{};
    read.channel = 0;
    length = sizeof read;
    ASSERT_EQ(Get(0x2004, &length, &read), 0u);
    EXPECT_EQ(read.type, 4);
    EXPECT_EQ(read.pairSelector, 1);
    EXPECT_EQ(read.maximum, 10.0f);
    EXPECT_EQ(read.minimum, -10.0f);
    // Back to the first pair on channel 1 through 0x2000.
    KtzOutputRange first{0, 0, 0, 1, 5.0f, -5.0f};
    ASSERT_EQ(Set(0x2000, 16, &first), 0u);
    read.channel = 1;
    ASSERT_EQ(Get(0x2004, &length, &read), 0u);
    EXPECT_EQ(read.pairSelector, 0);
    EXPECT_EQ(read.minimum, -5.0f);
    // Refusals.
    read.channel = 2;
    EXPECT_EQ(Get(0x2004, &length, &read), 0x1007u);
    KtzOutputRange bad{0, 0, 0, 0, 7.5f, 0.0f};
    EXPECT_EQ(Set(0x2004, 16, &bad), 0x100Au);
    bad.referenceSource = 1;
    EXPECT_EQ(Set(0x2004, 16, &bad), 0u);  // external references are not range-tested
    bad.channel = 2;
    EXPECT_EQ(Set(0x2004, 16, &bad), 0x1007u);
    EXPECT_EQ(Set(0x2004, 15, &bad), 32u);
    EXPECT_EQ(Set(0x3000, 4, &bad), 32u);
}

TEST_F(PropertyTest, OutputRangesOnThePci3649L) {
    Close(handle_);
    KtzSimAddCard(0, 14, KTZSIM_PCI3649L);
    Install(1, 1);
    handle_ = Open(1);
    KtzOutputRange range{0, 0, 0, 0, 5.0f, 0.0f};
    EXPECT_EQ(Set(0x2004, 16, &range), 0x201Bu);
}

TEST_F(PropertyTest, PortDirections) {
    const DWORD directions[2] = {255, 0};
    ASSERT_EQ(Set(0x3006, 8, directions), 0u);
    EXPECT_EQ(Device().settings.DioPortMode, 0x10);
    DWORD read[2] = {};
    DWORD length = sizeof read;
    ASSERT_EQ(Get(0x3006, &length, read), 0u);
    EXPECT_EQ(read[0], 255u);
    EXPECT_EQ(read[1], 0u);
    const DWORD bad[2] = {0, 7};  // port 0 changes before port 1 is refused
    EXPECT_EQ(Set(0x3006, 8, bad), 0x100Au);
    EXPECT_EQ(Device().settings.DioPortMode, 0x11);
    EXPECT_EQ(Set(0x3006, 7, directions), 0x100Au);
}

TEST_F(PropertyTest, Constants) {
    EXPECT_EQ(GetValue<WORD>(0x3005), 0x0303);
    EXPECT_EQ(GetValue<DWORD>(0x3C82), 0u);
    EXPECT_EQ(GetValue<DWORD>(0x4807), 16u);
    EXPECT_EQ(GetValue<DWORD>(0x3C84), 2u);
    EXPECT_EQ(GetValue<DWORD>(0x5002), 7u);
    DWORD triple[3];
    DWORD length = sizeof triple;
    ASSERT_EQ(Get(0x5001, &length, triple), 0u);
    EXPECT_EQ(triple[0], 65u);
    EXPECT_EQ(triple[2], 67u);
    float clocks[4];
    length = sizeof clocks;
    ASSERT_EQ(Get(0x5007, &length, clocks), 0u);
    EXPECT_EQ(clocks[0], 10000.0f);
    EXPECT_EQ(clocks[3], 10000000.0f);
}

TEST_F(PropertyTest, OutputSettingsRead) {
    Device().settings.aoSettings[1] = {2, 10.0f, -10.0f, 1.5f, -1.5f};
    BYTE buffer[40];
    std::memset(buffer, 0xAB, sizeof buffer);
    DWORD count = 0;
    ReadAOSettingsBlock block{0x2000, 0, &count, buffer};
    ASSERT_EQ(DriverProc(0, 0, 107, handle_, reinterpret_cast<ULONG_PTR>(&block)), 0u);
    EXPECT_EQ(count, 40u);
    WORD reference;
    float values[4];
    std::memcpy(&reference, buffer + 20, 2);
    std::memcpy(values, buffer + 24, 16);
    EXPECT_EQ(reference, 2);
    EXPECT_EQ(buffer[22], 0xAB);  // bytes 2 and 3 of each entry are not written
    EXPECT_EQ(values[0], 10.0f);
    EXPECT_EQ(values[3], -1.5f);
    block.property = 0x2001;
    count = 0;
    EXPECT_EQ(DriverProc(0, 0, 107, handle_, reinterpret_cast<ULONG_PTR>(&block)), 32u);
    EXPECT_EQ(count, 0u);
    block.property = 0x2000;
    EXPECT_EQ(DriverProc(0, 0, 107, 0, reinterpret_cast<ULONG_PTR>(&block)), 3u);
}

}  // namespace
}  // namespace ktztest
