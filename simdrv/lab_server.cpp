// The lab's control device under Wine, \\.\KTZ3649SIM: runs the lab calls
// that the lab client sends from the application's process (one table
// entry per function, client/lab_protocol.h), and keeps the read buffers it
// announces, into which the acquisition engine's samples are copied while
// the read is pending.
#include <windows.h>

#include <ktz3649sim.h>

#include <algorithm>
#include <map>
#include <mutex>
#include <utility>

#include "client/lab_packing.h"
#include "lab.h"
#include "lab_server.h"

namespace sim {

struct CallerBuffer {
    HANDLE process;
    ULONG_PTR address;
    DWORD size;
};

namespace {

using Handler = bool (*)(simlab::Reader &, simlab::Writer &);

#define KTZSIM_SERVER(name) &simlab::Call<decltype(name)>::Serve<&name>,
using namespace simlab;
const Handler kHandlers[] = {KTZSIM_REMOTE_FUNCTIONS(KTZSIM_SERVER)};
#undef KTZSIM_SERVER

struct Announcement {
    ULONG_PTR address;
    DWORD size;
};

struct Server {
    std::mutex mutex;
    std::map<std::pair<DWORD, DWORD>, Announcement> announced;  // by process and thread
    HW_DEVICE device = nullptr;
};

// The request this thread serves.
thread_local const HW_REQUEST *t_current = nullptr;

Server &TheServer() {
    static auto *server = new Server;
    return *server;
}

DWORD Open(LPVOID, LPVOID *fileContext) {
    *fileContext = nullptr;
    return ERROR_SUCCESS;
}

DWORD Dispatch(LPVOID, HW_REQUEST *request, DWORD *bytes) {
    if (request->kind != HW_REQUEST_DEVICE_CONTROL || request->code != KTZSIM_IOCTL_CALL)
        return ERROR_INVALID_FUNCTION;
    unsigned function = 0;
    simlab::Reader in{static_cast<const unsigned char *>(request->inBuffer),
                      static_cast<const unsigned char *>(request->inBuffer) + request->inSize};
    in.Get(&function, sizeof function);
    if (!in.ok || function >= std::size(kHandlers)) return ERROR_INVALID_PARAMETER;
    simlab::Writer out;
    t_current = request;
    bool ok = kHandlers[function](in, out);
    t_current = nullptr;
    if (!ok || out.bytes.size() > request->outSize) return ERROR_INVALID_PARAMETER;
    std::copy(out.bytes.begin(), out.bytes.end(), static_cast<unsigned char *>(request->outBuffer));
    *bytes = static_cast<DWORD>(out.bytes.size());
    return ERROR_SUCCESS;
}

void Cleanup(LPVOID) {}

const HW_DEVICE_CALLBACKS kCallbacks = {Open, Dispatch, Cleanup, nullptr};

}  // namespace

DWORD StartLabServer() {
    Server &server = TheServer();
    server.device = HwCreateDevice(KTZSIM_CONTROL_DEVICE, &kCallbacks, nullptr);
    return server.device ? ERROR_SUCCESS : ERROR_ALREADY_EXISTS;
}

void StopLabServer() {
    Server &server = TheServer();
    if (server.device) HwDeleteDevice(server.device);
    server.device = nullptr;
}

CallerBuffer *TakeCallerBuffer(DWORD pid, DWORD tid, DWORD size) {
    Server &server = TheServer();
    Announcement a;
    {
        std::lock_guard lock(server.mutex);
        auto it = server.announced.find({pid, tid});
        if (it == server.announced.end() || it->second.size != size) return nullptr;
        a = it->second;
        server.announced.erase(it);
    }
    HANDLE process = OpenProcess(PROCESS_VM_WRITE | PROCESS_VM_OPERATION, FALSE, pid);
    if (!process) return nullptr;
    return new CallerBuffer{process, a.address, a.size};
}

void WriteCallerBuffer(CallerBuffer *buffer, DWORD offset, const void *data, DWORD bytes) {
    if (offset > buffer->size || bytes > buffer->size - offset) return;
    SIZE_T written = 0;
    WriteProcessMemory(buffer->process, reinterpret_cast<void *>(buffer->address + offset), data,
                       bytes, &written);
}

void ReleaseCallerBuffer(CallerBuffer *buffer) {
    CloseHandle(buffer->process);
    delete buffer;
}

}  // namespace sim

namespace simlab {

int ClearLab() {
    sim::Lab::Get().Clear();
    return 0;
}

int AnnounceRead(unsigned long long address, unsigned size) {
    auto &server = sim::TheServer();
    DWORD pid = 0, tid = 0;
    sim::RequesterOf(*sim::t_current, &pid, &tid);
    std::lock_guard lock(server.mutex);
    server.announced[{pid, tid}] = {static_cast<ULONG_PTR>(address), size};
    return 0;
}

int WithdrawRead() {
    auto &server = sim::TheServer();
    DWORD pid = 0, tid = 0;
    sim::RequesterOf(*sim::t_current, &pid, &tid);
    std::lock_guard lock(server.mutex);
    server.announced.erase({pid, tid});
    return 0;
}

int OutputRecord(int card, unsigned channel, int volts, size_t max, int copied,
                 OutputRecordReply *reply) {
    if (!reply) return ERROR_INVALID_PARAMETER;
    size_t count = 0;
    max = std::min(max, std::size(reply->volts));
    int rc = KtzSimGetOutputRecord(card, channel, volts ? reply->volts : nullptr, max,
                                   copied ? &count : nullptr, &reply->played);
    reply->copied = count;
    return rc;
}

}  // namespace simlab
