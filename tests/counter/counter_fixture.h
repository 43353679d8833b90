// Fixture for the counter suites: a device on the lab's card 0 and access
// to its record's measurement threads.
#pragma once

#include "../ai/polled_fixture.h"

namespace ktztest {

class CounterTest : public PolledTest {
protected:
    // Installs device 0 on card 0 with `edit` applied to its settings, opens it.
    template <class Edit>
    KTZHANDLE OpenWith(Edit edit) {
        Install(0, 0, edit);
        return Open(0);
    }
    KTZHANDLE OpenDefault() {
        return OpenWith([](KtzSimDeviceSettings &) {});
    }

    static size_t ThreadCount(KTZHANDLE handle) { return Record(handle).counter.threads.size(); }

    // Waits (generously) for every measurement thread of the device to end
    // by itself; false if one is still running after a minute.
    static bool WaitForThreads(KTZHANDLE handle) {
        for (const auto &thread : Record(handle).counter.threads)
            if (WaitForSingleObject(thread->handle, 60000) != WAIT_OBJECT_0) return false;
        return true;
    }
};

}  // namespace ktztest
