// Global memory lock counts, virtual memory and the process heap.
#include <gtest/gtest.h>

#include <windows.h>

namespace {

TEST(GlobalMemory, MoveableBlocksCountLocks) {
    HGLOBAL block = GlobalAlloc(GHND, 64);
    ASSERT_NE(block, nullptr);
    EXPECT_EQ(GlobalSize(block), 64u);
    EXPECT_EQ((GlobalFlags(block) & GMEM_LOCKCOUNT), 0u);
    auto *p = static_cast<BYTE *>(GlobalLock(block));
    ASSERT_NE(p, nullptr);
    EXPECT_EQ(p[0], 0);  // zero-initialised
    EXPECT_EQ(p[63], 0);
    EXPECT_EQ(GlobalLock(block), p);
    EXPECT_EQ((GlobalFlags(block) & GMEM_LOCKCOUNT), 2u);
    EXPECT_TRUE(GlobalUnlock(block));  // still locked
    SetLastError(123);
    EXPECT_FALSE(GlobalUnlock(block));  // now unlocked: FALSE with NO_ERROR
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(NO_ERROR));
    EXPECT_FALSE(GlobalUnlock(block));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NOT_LOCKED));
    EXPECT_EQ(GlobalFree(block), nullptr);
    EXPECT_EQ(GlobalFlags(block), static_cast<UINT>(GMEM_INVALID_HANDLE));
    EXPECT_EQ(GlobalLock(block), nullptr);
}

TEST(GlobalMemory, FixedBlockHandleIsItsAddress) {
    HGLOBAL block = GlobalAlloc(GPTR, 16);
    ASSERT_NE(block, nullptr);
    EXPECT_EQ(GlobalLock(block), block);
    EXPECT_EQ((GlobalFlags(block) & GMEM_LOCKCOUNT), 0u);
    EXPECT_EQ(GlobalFree(block), nullptr);
    EXPECT_EQ(GlobalFree(block), block);  // a second free fails and returns the handle
}

TEST(VirtualMemory, CommitAndRelease) {
    auto *p = static_cast<BYTE *>(VirtualAlloc(nullptr, 1 << 20, MEM_COMMIT, PAGE_READWRITE));
    ASSERT_NE(p, nullptr);
    p[0] = 1;
    p[(1 << 20) - 1] = 2;
    EXPECT_FALSE(VirtualFree(p, 1 << 20, MEM_RELEASE));  // the size must be 0 to release
    EXPECT_TRUE(VirtualFree(p, 0, MEM_RELEASE));
    EXPECT_FALSE(VirtualFree(p, 0, MEM_RELEASE));
}

TEST(ProcessHeap, ZeroedAllocation) {
    auto *p = static_cast<BYTE *>(HeapAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY, 32));
    ASSERT_NE(p, nullptr);
    EXPECT_EQ(p[31], 0);
    EXPECT_TRUE(HeapFree(GetProcessHeap(), 0, p));
}

}  // namespace
