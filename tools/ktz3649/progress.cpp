// The progress bar of the fast acquisition and the waveform output.
#include <unistd.h>

#include <chrono>
#include <cstdio>

#include "panel.h"

namespace panel {
namespace {

constexpr int kWidth = 40;
// How long each look waits for an event.
constexpr DWORD kEventWaitMs = 50;
// Real time a run may take beyond what the time factor promises.
constexpr double kSlackSeconds = 30.0;

}  // namespace

Progress::Progress(std::string label, uint64_t total)
    : label_(std::move(label)), total_(total), terminal_(isatty(fileno(stderr)) != 0) {}

void Progress::Update(uint64_t done) {
    if (terminal_) Draw(done, false);
}

void Progress::Finish(uint64_t done) { Draw(done, true); }

void Progress::Draw(uint64_t done, bool last) {
    if (done > total_) done = total_;
    const int percent = total_ ? static_cast<int>(done * 100 / total_) : 100;
    if (!last && percent == lastPercent_) return;
    lastPercent_ = percent;
    const int filled = percent * kWidth / 100;
    std::fprintf(stderr, "%s%s [%s%s] %3d%% %llu/%llu", terminal_ ? "\r" : "", label_.c_str(),
                 std::string(filled, '#').c_str(), std::string(kWidth - filled, '-').c_str(),
                 percent, static_cast<unsigned long long>(done),
                 static_cast<unsigned long long>(total_));
    if (last) std::fputc('\n', stderr);
    std::fflush(stderr);
}

bool AwaitRun(const Session &session, const std::string &label, uint64_t total, double realSeconds,
              const std::function<Step(WORD event, uint64_t *done)> &look) {
    const auto deadline = std::chrono::steady_clock::now() +
                          std::chrono::duration<double>(realSeconds + kSlackSeconds);
    Progress progress(label, total);
    uint64_t done = 0;
    for (;;) {
        WORD event = 0;
        const Step now = Check("CheckEvent", CheckEvent(session.handle, &event, kEventWaitMs))
                             ? look(event, &done)
                             : Step::Failed;
        if (now != Step::Running) {
            progress.Finish(done);
            return now == Step::Done;
        }
        progress.Update(done);
        if (std::chrono::steady_clock::now() > deadline) {
            progress.Finish(done);
            return Fail("%s: not done in time (%llu of %llu)", label.c_str(),
                        static_cast<unsigned long long>(done),
                        static_cast<unsigned long long>(total));
        }
    }
}

}  // namespace panel
