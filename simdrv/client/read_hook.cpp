// The acquisition's read under Wine. On a card the DMA writes into the
// application's buffer while the read is pending, and applications take
// the halves of the buffer as the buffer-change events come. Wine's driver
// host gets only a copy of the buffer, which reaches the application when
// the read completes, and nothing tells the driver where the application's
// buffer is. So Ktz3649.dll's import of ReadFile is routed through
// AnnouncedRead here: it tells the lab the buffer's address and size, then
// makes the library's call unchanged. The shim matches the read that
// arrives from this thread to the announcement and copies the engine's
// samples into the buffer as it writes them (WriteProcessMemory from the
// driver host); the completion still delivers the whole buffer.
#include <windows.h>

#include <cstring>
#include <mutex>

#include "lab_link.h"
#include "lab_protocol.h"

namespace simlab {
namespace {

using ReadFileProc = BOOL(WINAPI *)(HANDLE, LPVOID, DWORD, LPDWORD, LPOVERLAPPED);

ReadFileProc g_readFile;    // the system's
HMODULE g_hooked;           // the library module whose import is routed

BOOL WINAPI AnnouncedRead(HANDLE file, LPVOID buffer, DWORD size, LPDWORD read,
                          LPOVERLAPPED overlapped) {
    AnnounceRead(reinterpret_cast<ULONG_PTR>(buffer), size);
    BOOL ok = g_readFile(file, buffer, size, read, overlapped);
    DWORD error = GetLastError();
    WithdrawRead();  // a read that did not reach the lab leaves nothing behind
    SetLastError(error);
    return ok;
}

// The import address table slot of kernel32's ReadFile in a module.
ReadFileProc *ReadFileSlot(HMODULE module) {
    auto *base = reinterpret_cast<BYTE *>(module);
    auto *dos = reinterpret_cast<IMAGE_DOS_HEADER *>(base);
    auto *nt = reinterpret_cast<IMAGE_NT_HEADERS *>(base + dos->e_lfanew);
    const IMAGE_DATA_DIRECTORY &dir = nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
    if (!dir.VirtualAddress) return nullptr;
    for (auto *imp = reinterpret_cast<IMAGE_IMPORT_DESCRIPTOR *>(base + dir.VirtualAddress);
         imp->Name; ++imp) {
        if (_stricmp(reinterpret_cast<char *>(base + imp->Name), "kernel32.dll") != 0) continue;
        auto *names = reinterpret_cast<IMAGE_THUNK_DATA *>(
            base + (imp->OriginalFirstThunk ? imp->OriginalFirstThunk : imp->FirstThunk));
        auto *slots = reinterpret_cast<IMAGE_THUNK_DATA *>(base + imp->FirstThunk);
        for (; names->u1.AddressOfData; ++names, ++slots) {
            if (IMAGE_SNAP_BY_ORDINAL(names->u1.Ordinal)) continue;
            auto *byName = reinterpret_cast<IMAGE_IMPORT_BY_NAME *>(base + names->u1.AddressOfData);
            if (std::strcmp(reinterpret_cast<char *>(byName->Name), "ReadFile") == 0)
                return reinterpret_cast<ReadFileProc *>(&slots->u1.Function);
        }
    }
    return nullptr;
}

}  // namespace

void HookLibraryReads() {
    static std::mutex mutex;
    std::lock_guard lock(mutex);
    HMODULE library = GetModuleHandleA("Ktz3649.dll");
    if (!library || library == g_hooked) return;
    ReadFileProc *slot = ReadFileSlot(library);
    if (!slot) return;
    DWORD protection;
    if (!VirtualProtect(slot, sizeof *slot, PAGE_READWRITE, &protection)) return;
    if (*slot != AnnouncedRead) {
        g_readFile = *slot;
        *slot = AnnouncedRead;
    }
    VirtualProtect(slot, sizeof *slot, protection, &protection);
    g_hooked = library;
}

}  // namespace simlab
