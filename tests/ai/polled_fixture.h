// A lab fixture for the polled families: devices with chosen settings, and
// the device record behind a handle.
#pragma once

#include "lab_fixture.h"
#include "record.h"

namespace ktztest {

class PolledTest : public LabTest {
protected:
    // Installs a device on card 0 whose record carries another board ID; the
    // card is not reset at open (which would refuse the board). Install
    // every device before opening any: installing restarts the driver.
    void InstallBoard(unsigned device, unsigned boardId) {
        Install(device, 0, [&](KtzSimDeviceSettings &s) {
            s.boardId = boardId;
            s.allowConflicts = 1;
        });
    }

    // Opens device 0 (handle_) and device 1 with an unknown board ID (bad_),
    // both on card 0, after installing them.
    void OpenWithBadBoard() {
        InstallBoard(1, 50);
        Install(0);
        handle_ = Open(0);
        bad_ = Open(1);
    }

    KTZHANDLE handle_ = 0, bad_ = 0;
};

}  // namespace ktztest
