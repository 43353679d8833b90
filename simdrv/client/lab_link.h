// The lab client's link to the lab under Wine: the control device of the
// lab service, brought up on first use.
#pragma once

#include <windows.h>

namespace simlab {

// Sends one call to the lab; false when the lab cannot be reached (said
// once on stderr).
bool Transact(const void *request, DWORD requestSize, void *reply, DWORD replySize, DWORD *got);

// Routes Ktz3649.dll's reads through a wrapper that first tells the lab
// where the read's buffer is (read_hook.cpp); again after the library was
// loaded anew. Idempotent.
void HookLibraryReads();

}  // namespace simlab
