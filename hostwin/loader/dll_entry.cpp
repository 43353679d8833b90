// The loader stand-in for a library built from the Windows sources: calls
// its DllMain when the shared object is loaded and unloaded, with a module
// handle registered under the library's Windows name, and makes the
// library's dialog templates (HOSTWIN_MODULE_RESOURCES, from hwrc) its
// resources, as the Windows loader maps a DLL's resource section.
#include <hostwin.h>

#ifndef HOSTWIN_MODULE_NAME
#error "HOSTWIN_MODULE_NAME names the module, e.g. \"Ktz3649.dll\""
#endif

#ifdef HOSTWIN_MODULE_RESOURCES
#include <hostwin_ui.h>
extern "C" const HW_RESOURCES HOSTWIN_MODULE_RESOURCES;
#endif

extern "C" BOOL WINAPI DllMain(HINSTANCE module, DWORD reason, LPVOID reserved);

namespace {

HINSTANCE Module() { return HwRegisterModule(HOSTWIN_MODULE_NAME); }

__attribute__((constructor)) void Attach() {
    HINSTANCE module = Module();
#ifdef HOSTWIN_MODULE_RESOURCES
    HwRegisterResources(module, &HOSTWIN_MODULE_RESOURCES);
#endif
    DllMain(module, DLL_PROCESS_ATTACH, nullptr);
}

__attribute__((destructor)) void Detach() {
    HINSTANCE module = Module();
    DllMain(module, DLL_PROCESS_DETACH, nullptr);
#ifdef HOSTWIN_MODULE_RESOURCES
    HwRegisterResources(module, nullptr);
#endif
}

}  // namespace
