// Global memory with lock counts, virtual memory and the process heap.
#include "internal.h"

#include <cstdlib>
#include <new>
#include <sys/mman.h>
#include <unordered_map>

namespace hostwin {
namespace {

// A global block. A fixed block's handle is its address; a moveable
// block's handle is the address of this record, and GlobalLock counts.
struct GlobalBlock {
    void *data = nullptr;
    SIZE_T size = 0;
    bool moveable = false;
    UINT lockCount = 0;
};

struct GlobalHeap {
    std::mutex mutex;
    std::unordered_map<void *, GlobalBlock *> byHandle;
};

GlobalHeap &Globals() {
    static auto *heap = new GlobalHeap;
    return *heap;
}

struct VirtualRegions {
    std::mutex mutex;
    std::unordered_map<void *, SIZE_T> sizes;
};

VirtualRegions &Regions() {
    static auto *regions = new VirtualRegions;
    return *regions;
}

int processHeapTag;  // GetProcessHeap's handle is this object's address

}  // namespace
}  // namespace hostwin

using namespace hostwin;

extern "C" {

HGLOBAL WINAPI GlobalAlloc(UINT uFlags, SIZE_T dwBytes) {
    // One byte at least, so that every block has a distinct address.
    void *data = (uFlags & GMEM_ZEROINIT) ? std::calloc(dwBytes ? dwBytes : 1, 1)
                                          : std::malloc(dwBytes ? dwBytes : 1);
    auto *block = new (std::nothrow) GlobalBlock;
    if (!data || !block) {
        std::free(data);
        delete block;
        return Fail<HGLOBAL>(ERROR_NOT_ENOUGH_MEMORY, nullptr);
    }
    block->data = data;
    block->size = dwBytes;
    block->moveable = (uFlags & GMEM_MOVEABLE) != 0;
    void *handle = block->moveable ? static_cast<void *>(block) : data;
    auto &heap = Globals();
    std::lock_guard lock(heap.mutex);
    heap.byHandle[handle] = block;
    return handle;
}

LPVOID WINAPI GlobalLock(HGLOBAL hMem) {
    auto &heap = Globals();
    std::lock_guard lock(heap.mutex);
    auto it = heap.byHandle.find(hMem);
    if (it == heap.byHandle.end()) return Fail<LPVOID>(ERROR_INVALID_HANDLE, nullptr);
    GlobalBlock *block = it->second;
    if (block->moveable && block->lockCount < GMEM_LOCKCOUNT) ++block->lockCount;
    return block->data;
}

BOOL WINAPI GlobalUnlock(HGLOBAL hMem) {
    auto &heap = Globals();
    std::lock_guard lock(heap.mutex);
    auto it = heap.byHandle.find(hMem);
    if (it == heap.byHandle.end()) return Fail(ERROR_INVALID_HANDLE, FALSE);
    GlobalBlock *block = it->second;
    if (!block->moveable || block->lockCount == 0) return Fail(ERROR_NOT_LOCKED, FALSE);
    if (--block->lockCount == 0) return Fail(NO_ERROR, FALSE);
    return TRUE;
}

HGLOBAL WINAPI GlobalFree(HGLOBAL hMem) {
    auto &heap = Globals();
    GlobalBlock *block = nullptr;
    {
        std::lock_guard lock(heap.mutex);
        auto it = heap.byHandle.find(hMem);
        if (it == heap.byHandle.end()) return Fail<HGLOBAL>(ERROR_INVALID_HANDLE, hMem);
        block = it->second;
        heap.byHandle.erase(it);
    }
    std::free(block->data);
    delete block;
    return nullptr;
}

UINT WINAPI GlobalFlags(HGLOBAL hMem) {
    auto &heap = Globals();
    std::lock_guard lock(heap.mutex);
    auto it = heap.byHandle.find(hMem);
    if (it == heap.byHandle.end()) return Fail<UINT>(ERROR_INVALID_HANDLE, GMEM_INVALID_HANDLE);
    return it->second->lockCount;
}

SIZE_T WINAPI GlobalSize(HGLOBAL hMem) {
    auto &heap = Globals();
    std::lock_guard lock(heap.mutex);
    auto it = heap.byHandle.find(hMem);
    if (it == heap.byHandle.end()) return Fail<SIZE_T>(ERROR_INVALID_HANDLE, 0);
    return it->second->size;
}

LPVOID WINAPI VirtualAlloc(LPVOID lpAddress, SIZE_T dwSize, DWORD flAllocationType,
                           DWORD flProtect) {
    if (lpAddress || !(flAllocationType & MEM_COMMIT) || flProtect != PAGE_READWRITE || dwSize == 0)
        return Fail<LPVOID>(ERROR_INVALID_PARAMETER, nullptr);
    void *p = mmap(nullptr, dwSize, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (p == MAP_FAILED) return Fail<LPVOID>(ERROR_NOT_ENOUGH_MEMORY, nullptr);
    auto &regions = Regions();
    std::lock_guard lock(regions.mutex);
    regions.sizes[p] = dwSize;
    return p;
}

BOOL WINAPI VirtualFree(LPVOID lpAddress, SIZE_T dwSize, DWORD dwFreeType) {
    if (dwFreeType != MEM_RELEASE || dwSize != 0) return Fail(ERROR_INVALID_PARAMETER, FALSE);
    SIZE_T size = 0;
    {
        auto &regions = Regions();
        std::lock_guard lock(regions.mutex);
        auto it = regions.sizes.find(lpAddress);
        if (it == regions.sizes.end()) return Fail(ERROR_INVALID_ADDRESS, FALSE);
        size = it->second;
        regions.sizes.erase(it);
    }
    munmap(lpAddress, size);
    return TRUE;
}

HANDLE WINAPI GetProcessHeap(VOID) { return &processHeapTag; }

LPVOID WINAPI HeapAlloc(HANDLE hHeap, DWORD dwFlags, SIZE_T dwBytes) {
    if (hHeap != &processHeapTag) return Fail<LPVOID>(ERROR_INVALID_HANDLE, nullptr);
    void *p = (dwFlags & HEAP_ZERO_MEMORY) ? std::calloc(dwBytes ? dwBytes : 1, 1)
                                           : std::malloc(dwBytes ? dwBytes : 1);
    if (!p) return Fail<LPVOID>(ERROR_NOT_ENOUGH_MEMORY, nullptr);
    return p;
}

BOOL WINAPI HeapFree(HANDLE hHeap, DWORD, LPVOID lpMem) {
    if (hHeap != &processHeapTag) return Fail(ERROR_INVALID_HANDLE, FALSE);
    std::free(lpMem);
    return TRUE;
}

}  // extern "C"
