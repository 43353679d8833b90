/*
 * hostwin: control of the simulated Windows host, for the host build only
 * (test fixtures, the virtual lab, the command-line tool). Nothing in the
 * Ktz3649 library itself includes this header.
 */
#ifndef HOSTWIN_HOSTWIN_H
#define HOSTWIN_HOSTWIN_H

#include <windows.h>

#ifdef __cplusplus
extern "C" {
#endif

/*
 * Boots the host if it has not booted in this process: loads the registry
 * (from the file named by the environment variable HOSTWIN_REGISTRY, if
 * set) and starts every kernel-driver service whose Start value is boot,
 * system or automatic. Every hostwin call that reaches the registry, the
 * services or device objects boots the host first, so calling this is
 * only needed to boot at a chosen moment.
 */
WINBASEAPI VOID WINAPI HwBoot(VOID);

/*
 * Shuts the host down and boots it again: stops every running service,
 * forgets the service database and, if clearRegistry is TRUE, empties the
 * registry (and the registry file, if one is set). Handles that the
 * caller still holds stay valid; named objects live on while handled.
 */
WINBASEAPI VOID WINAPI HwReboot(BOOL clearRegistry);

/*
 * Persists the registry in a REGEDIT4 file. NULL keeps it in memory only.
 * The file is read now and replaces the registry in memory; every later
 * change rewrites it. A missing file starts an empty registry. A damaged
 * file returns ERROR_BADDB: it is neither used nor ever overwritten, every
 * registry call then fails with ERROR_BADDB, and HwRegistryFileError
 * describes the damage, until another file (or NULL) is set. A file is
 * damaged too when it names a key beyond Windows's bounds (a name of more
 * than 256 characters, a key more than 512 levels deep) or is larger than
 * 4 MiB, or would be when saved; a change that would make the file larger
 * fails with ERROR_NO_SYSTEM_RESOURCES and leaves registry and file as they
 * were.
 */
WINBASEAPI DWORD WINAPI HwSetRegistryFile(LPCSTR path);
/* The registry file in use, or NULL. */
WINBASEAPI LPCSTR WINAPI HwRegistryFile(VOID);
/* What was wrong with the last registry file that could not be loaded, or "". */
WINBASEAPI LPCSTR WINAPI HwRegistryFileError(VOID);

/* The version that GetVersionExA reports (default: Windows NT 6.1.7601). */
WINBASEAPI VOID WINAPI HwSetVersion(DWORD platformId, DWORD major, DWORD minor, DWORD build);
/* The folder that GetWindowsDirectoryA reports (default: C:\WINDOWS). */
WINBASEAPI VOID WINAPI HwSetWindowsDirectory(LPCSTR path);

/*
 * Module handles: the loader stand-in registers each library built for
 * Windows under its module name, so that the library gets a module handle
 * for DllMain and its dialog resources.
 */
WINBASEAPI HINSTANCE WINAPI HwRegisterModule(LPCSTR name);
WINBASEAPI LPCSTR WINAPI HwModuleName(HINSTANCE module);

/* Number of handles open in the process's handle table (for leak checks). */
WINBASEAPI DWORD WINAPI HwOpenHandleCount(VOID);

#ifdef __cplusplus
}
#endif

#endif /* HOSTWIN_HOSTWIN_H */
