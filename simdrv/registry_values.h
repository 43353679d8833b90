// Writing a number or a text value into an open registry key.
#pragma once

#include <windows.h>

#include <cstring>

namespace sim {

inline LONG SetNumber(HKEY key, const char *name, DWORD value) {
    return RegSetValueExA(key, name, 0, REG_DWORD, reinterpret_cast<const BYTE *>(&value),
                          sizeof value);
}

inline LONG SetText(HKEY key, const char *name, const char *value, DWORD type = REG_SZ) {
    return RegSetValueExA(key, name, 0, type, reinterpret_cast<const BYTE *>(value),
                          static_cast<DWORD>(std::strlen(value) + 1));
}

}  // namespace sim
