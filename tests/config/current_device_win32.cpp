// The settings reader and writer linked into the Windows test program take
// the current device number and board ID (a default of the reader, the key
// names of the writer) from these, the test program's own: the DLL's are
// out of its reach, and its device list stays in the DLL alone.
#include <core/device.h>

#include <atomic>

namespace ktz {
namespace {

std::atomic<DWORD> deviceNumber{0};
std::atomic<DWORD> boardId{0};

}  // namespace

DWORD CurrentDeviceNumber() { return deviceNumber; }
void SetCurrentDeviceNumber(DWORD number) { deviceNumber = number; }
DWORD CurrentBoardId() { return boardId; }
void SetCurrentBoardId(DWORD id) { boardId = id; }

}  // namespace ktz
