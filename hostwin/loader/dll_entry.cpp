// The loader stand-in for a library built from the Windows sources: calls
// its DllMain when the shared object is loaded and unloaded, with a module
// handle registered under the library's Windows name.
#include <hostwin.h>

#ifndef HOSTWIN_MODULE_NAME
#error "HOSTWIN_MODULE_NAME names the module, e.g. \"Ktz3649.dll\""
#endif

extern "C" BOOL WINAPI DllMain(HINSTANCE module, DWORD reason, LPVOID reserved);

namespace {

HINSTANCE Module() { return HwRegisterModule(HOSTWIN_MODULE_NAME); }

__attribute__((constructor)) void Attach() { DllMain(Module(), DLL_PROCESS_ATTACH, nullptr); }

__attribute__((destructor)) void Detach() { DllMain(Module(), DLL_PROCESS_DETACH, nullptr); }

}  // namespace
