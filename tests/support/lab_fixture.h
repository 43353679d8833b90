// Test fixture for suites that drive the library on the virtual lab.
#pragma once

#include <gtest/gtest.h>

#include <ktz3649.h>
#include <ktz3649sim.h>

#include <ostream>
#include <vector>

namespace ktztest {

// One register access as the driver saw it.
struct Access {
    unsigned offset;
    unsigned width;  // 8 or 16
    bool write;
    unsigned value;
    bool operator==(const Access &) const = default;
};
std::ostream &operator<<(std::ostream &out, const Access &a);

inline Access W8(unsigned offset, unsigned value) { return {offset, 8, true, value}; }
inline Access W16(unsigned offset, unsigned value) { return {offset, 16, true, value}; }
inline Access R8(unsigned offset, unsigned value) { return {offset, 8, false, value}; }
inline Access R16(unsigned offset, unsigned value) { return {offset, 16, false, value}; }

// Every trace entry since the last clear.
std::vector<KtzSimTraceEntry> Trace();
// The register accesses among them, in order.
std::vector<Access> Registers();
// Only the register writes.
std::vector<Access> RegisterWrites();
// How many requests of one code were sent.
size_t RequestCount(unsigned code);

// A lab with one PCI-3649 on bus 0, slot 13 (card 0); nothing installed.
// Devices opened through Open() are closed at the end of the test.
class LabTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    // Installs a device on a card with the default settings, adjusted by `edit`.
    // Installing restarts the driver, which kills the handles of open
    // devices: install every device before opening one.
    template <class Edit>
    void Install(unsigned device, int card, Edit edit) {
        ASSERT_TRUE(open_.empty()) << "install every device before opening one";
        KtzSimDeviceSettings s;
        ASSERT_EQ(KtzSimDefaultSettings(card, &s), 0);
        edit(s);
        ASSERT_EQ(KtzSimInstallDevice(device, card, &s), 0);
    }
    void Install(unsigned device, int card = 0) {
        Install(device, card, [](KtzSimDeviceSettings &) {});
    }

    // Opens a device that must open; the trace is cleared afterwards.
    KTZHANDLE Open(unsigned device);
    // Closes a handle obtained from Open (it must close).
    void Close(KTZHANDLE &handle);

    int card_ = -1;
    std::vector<KTZHANDLE> open_;
};

}  // namespace ktztest
