// The lab's reset and the trace's bounds.
#include "lab_fixture.h"

namespace ktztest {
namespace {

class LabControl : public LabTest {};

TEST_F(LabControl, TraceRecordsKindsAndCanBeTurnedOff) {
    Install(0);
    KtzSimTraceClear();
    KTZHANDLE handle = Open(0);  // Open clears the trace after opening
    WritePortWord(handle, 0xE00C, 0x0ABC);
    auto trace = Trace();
    ASSERT_EQ(trace.size(), 1u);
    EXPECT_EQ(trace[0].kind, static_cast<unsigned>(KTZSIM_TRACE_REGISTER));
    EXPECT_EQ(trace[0].device, 0u);
    KtzSimTraceEnable(0);
    WritePortWord(handle, 0xE00C, 1);
    EXPECT_EQ(KtzSimTraceCount(), 1u);
    KtzSimTraceEnable(1);
    KtzSimTraceEntry entry;
    EXPECT_EQ(KtzSimTraceGet(5, &entry), ERROR_INVALID_PARAMETER);
}

TEST_F(LabControl, ResetKeepingTheRegistryBringsTheMachineBack) {
    Install(0);
    KtzSimPoke(0, 40, 8, 0x77);
    KtzSimReset(KTZSIM_KEEP_REGISTRY);
    EXPECT_EQ(KtzSimCardCount(), 1);
    EXPECT_EQ(KtzSimDriverRunning(), 1);  // the service starts at boot
    EXPECT_EQ(KtzSimPeek(0, 40, 8), 0u);  // on a fresh card
    KTZHANDLE handle = Open(0);
    WORD value = 0;
    EXPECT_EQ(ReadPortByte(handle, 0xE028, &value), 0u);
    Close(handle);
    KtzSimReset(0);
    EXPECT_EQ(KtzSimCardCount(), 0);
    EXPECT_EQ(KtzSimDriverRunning(), 0);
}

TEST_F(LabControl, CardsNeedAFreeSlotAndAKnownBoard) {
    EXPECT_EQ(KtzSimAddCard(0, 13, KTZSIM_PCI3649), -1);
    EXPECT_EQ(KtzSimAddCard(0, 14, 5), -1);
    EXPECT_EQ(KtzSimAddCard(0, 14, KTZSIM_PCI3649L), 1);
    KtzSimCard card;
    ASSERT_EQ(KtzSimGetCard(1, &card), 0);
    EXPECT_EQ(card.baseAddress, 0xE100u);
    EXPECT_EQ(KtzSimGetCard(2, &card), ERROR_INVALID_PARAMETER);
}

}  // namespace
}  // namespace ktztest
