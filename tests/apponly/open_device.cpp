// An application that links only the library: with the registry that an
// earlier process configured, the service control manager starts the
// driver at boot and DeviceOpen finds it.
#include <ktz3649.h>

#include <cstdio>

int main() {
    KTZHANDLE handle = 0;
    DWORD rc = DeviceOpen(0, &handle);
    if (rc != 0) {
        std::fprintf(stderr, "DeviceOpen: %u\n", rc);
        return 1;
    }
    WORD value = 0;
    if (WritePortByte(handle, 0xE028, 0x3C) != 0 || ReadPortByte(handle, 0xE028, &value) != 0 ||
        value != 0x3C) {
        std::fprintf(stderr, "register round trip failed: 0x%X\n", value);
        return 1;
    }
    rc = DeviceClose(&handle);
    if (rc != 0) {
        std::fprintf(stderr, "DeviceClose: %u\n", rc);
        return 1;
    }
    return 0;
}
