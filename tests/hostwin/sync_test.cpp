// Events, waits and threads of hostwin.
#include <gtest/gtest.h>

#include <windows.h>


namespace {

TEST(Sync, WaitAnyReturnsTheLowestSignalledIndex) {
    HANDLE events[3];
    for (auto &e : events) e = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    SetEvent(events[2]);
    SetEvent(events[1]);
    EXPECT_EQ(WaitForMultipleObjects(3, events, FALSE, 0), WAIT_OBJECT_0 + 1);
    // Manual-reset events stay signalled until reset.
    EXPECT_EQ(WaitForMultipleObjects(3, events, FALSE, 0), WAIT_OBJECT_0 + 1);
    ResetEvent(events[1]);
    EXPECT_EQ(WaitForMultipleObjects(3, events, FALSE, 0), WAIT_OBJECT_0 + 2);
    ResetEvent(events[2]);
    EXPECT_EQ(WaitForMultipleObjects(3, events, FALSE, 0), static_cast<DWORD>(WAIT_TIMEOUT));
    for (auto e : events) CloseHandle(e);
}

TEST(Sync, AutoResetEventIsTakenByOneWait) {
    HANDLE e = CreateEventA(nullptr, FALSE, TRUE, nullptr);
    EXPECT_EQ(WaitForSingleObject(e, 0), WAIT_OBJECT_0);
    EXPECT_EQ(WaitForSingleObject(e, 0), static_cast<DWORD>(WAIT_TIMEOUT));
    CloseHandle(e);
}

TEST(Sync, NullOrClosedHandleFailsTheWholeWait) {
    HANDLE e = CreateEventA(nullptr, TRUE, TRUE, nullptr);
    HANDLE withNull[2] = {e, nullptr};
    EXPECT_EQ(WaitForMultipleObjects(2, withNull, FALSE, 0), WAIT_FAILED);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
    HANDLE closed = CreateEventA(nullptr, TRUE, TRUE, nullptr);
    CloseHandle(closed);
    HANDLE withClosed[2] = {e, closed};
    EXPECT_EQ(WaitForMultipleObjects(2, withClosed, FALSE, 0), WAIT_FAILED);
    EXPECT_FALSE(SetEvent(closed));
    CloseHandle(e);
}

TEST(Sync, NamedEventsShareOneObjectWhileHandled) {
    HANDLE a = CreateEventA(nullptr, TRUE, FALSE, "Global\\HostwinTestEvent");
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SUCCESS));
    HANDLE b = CreateEventA(nullptr, FALSE, TRUE, "Global\\HostwinTestEvent");
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ALREADY_EXISTS));
    HANDLE c = OpenEventA(EVENT_ALL_ACCESS, FALSE, "Global\\HostwinTestEvent");
    ASSERT_NE(c, nullptr);
    // The existing object keeps its kind and state: manual reset, not signalled.
    EXPECT_EQ(WaitForSingleObject(b, 0), static_cast<DWORD>(WAIT_TIMEOUT));
    SetEvent(c);
    EXPECT_EQ(WaitForSingleObject(a, 0), WAIT_OBJECT_0);
    EXPECT_EQ(WaitForSingleObject(a, 0), WAIT_OBJECT_0);
    // Names are case-sensitive.
    EXPECT_EQ(OpenEventA(EVENT_ALL_ACCESS, FALSE, "global\\hostwintestevent"), nullptr);
    CloseHandle(a);
    CloseHandle(b);
    CloseHandle(c);
    EXPECT_EQ(OpenEventA(EVENT_ALL_ACCESS, FALSE, "Global\\HostwinTestEvent"), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
}

DWORD WINAPI WaitThenExit(LPVOID parameter) {
    WaitForSingleObject(static_cast<HANDLE>(parameter), INFINITE);
    return 42;
}

TEST(Threads, ExitCodeIsStillActiveUntilTheThreadEnds) {
    HANDLE go = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    DWORD id = 0;
    HANDLE thread = CreateThread(nullptr, 0, WaitThenExit, go, 0, &id);
    ASSERT_NE(thread, nullptr);
    EXPECT_NE(id, 0u);
    DWORD code = 0;
    ASSERT_TRUE(GetExitCodeThread(thread, &code));
    EXPECT_EQ(code, static_cast<DWORD>(STILL_ACTIVE));
    EXPECT_EQ(WaitForSingleObject(thread, 0), static_cast<DWORD>(WAIT_TIMEOUT));
    SetEvent(go);
    EXPECT_EQ(WaitForSingleObject(thread, 10000), WAIT_OBJECT_0);
    ASSERT_TRUE(GetExitCodeThread(thread, &code));
    EXPECT_EQ(code, 42u);
    CloseHandle(thread);
    CloseHandle(go);
}

struct Relay {
    HANDLE go, done;
};

DWORD WINAPI WaitThenSignal(LPVOID parameter) {
    auto *relay = static_cast<Relay *>(parameter);
    WaitForSingleObject(relay->go, INFINITE);
    SetEvent(relay->done);
    return 0;
}

TEST(Threads, HandleClosedBeforeTheThreadEndsLeavesItRunning) {
    Relay relay = {CreateEventA(nullptr, TRUE, FALSE, nullptr),
                   CreateEventA(nullptr, TRUE, FALSE, nullptr)};
    HANDLE thread = CreateThread(nullptr, 0, WaitThenSignal, &relay, 0, nullptr);
    ASSERT_NE(thread, nullptr);
    EXPECT_TRUE(CloseHandle(thread));
    SetEvent(relay.go);
    EXPECT_EQ(WaitForSingleObject(relay.done, 10000), WAIT_OBJECT_0);
    CloseHandle(relay.go);
    CloseHandle(relay.done);
}

}  // namespace
