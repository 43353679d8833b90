// Digital I/O state kept in the device record.
#pragma once

#include <windows.h>

namespace ktz {

struct DioState {
    WORD dioReadback[2] = {};  // the byte a masked write last read back, per port
};

}  // namespace ktz
