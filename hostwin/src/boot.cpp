// Booting the simulated host: registry first, then the automatic services.
#include "internal.h"

#include <hostwin.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <thread>

namespace hostwin {
namespace {

enum class BootState { Off, Booting, Up };

struct Boot {
    std::mutex mutex;
    std::condition_variable done;
    std::atomic<BootState> state{BootState::Off};
    std::thread::id booter;
    bool registryFileTaken = false;  // HOSTWIN_REGISTRY is read once per process
};

Boot &TheBoot() {
    static auto *boot = new Boot;
    return *boot;
}

void RunBoot(Boot &boot, std::unique_lock<std::mutex> &lock) {
    boot.state = BootState::Booting;
    boot.booter = std::this_thread::get_id();
    bool takeFile = !boot.registryFileTaken;
    boot.registryFileTaken = true;
    lock.unlock();
    if (takeFile) {
        if (const char *path = std::getenv("HOSTWIN_REGISTRY"); path && *path) {
            if (registry::SetFile(path) != ERROR_SUCCESS)
                std::fprintf(stderr, "hostwin: %s\n", registry::FileError());
        }
    }
    services::StartAutomatic();
    lock.lock();
    boot.state = BootState::Up;
    boot.booter = std::thread::id();
    boot.done.notify_all();
}

}  // namespace

void EnsureBooted() {
    auto &boot = TheBoot();
    if (boot.state.load(std::memory_order_acquire) == BootState::Up) return;
    std::unique_lock lock(boot.mutex);
    if (boot.state == BootState::Booting && boot.booter == std::this_thread::get_id()) return;
    boot.done.wait(lock, [&] { return boot.state != BootState::Booting; });
    if (boot.state == BootState::Off) RunBoot(boot, lock);
}

}  // namespace hostwin

using namespace hostwin;

extern "C" {

VOID WINAPI HwBoot(VOID) { EnsureBooted(); }

VOID WINAPI HwReboot(BOOL clearRegistry) {
    EnsureBooted();
    auto &boot = TheBoot();
    std::unique_lock lock(boot.mutex);
    boot.done.wait(lock, [&] { return boot.state != BootState::Booting; });
    boot.state = BootState::Booting;
    boot.booter = std::this_thread::get_id();
    lock.unlock();
    services::Shutdown();
    if (clearRegistry) registry::Clear();
    lock.lock();
    RunBoot(boot, lock);
}

DWORD WINAPI HwSetRegistryFile(LPCSTR path) {
    auto &boot = TheBoot();
    {
        // An explicit file replaces the one the environment names.
        std::lock_guard lock(boot.mutex);
        boot.registryFileTaken = true;
    }
    return registry::SetFile(path);
}

LPCSTR WINAPI HwRegistryFile(VOID) { return registry::File(); }

LPCSTR WINAPI HwRegistryFileError(VOID) { return registry::FileError(); }

}  // extern "C"
