// The progress bar of the fast acquisition and the waveform output.
#include <unistd.h>

#include <chrono>
#include <cstdio>

#include "panel.h"

namespace panel {
namespace {

constexpr int kWidth = 40;
// Real time an operation may take beyond what the time factor promises.
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

bool AwaitWithProgress(const std::string &label, uint64_t total, double realSeconds,
                       const std::function<Step(uint64_t *done)> &step) {
    const auto deadline = std::chrono::steady_clock::now() +
                          std::chrono::duration<double>(realSeconds + kSlackSeconds);
    Progress progress(label, total);
    uint64_t done = 0;
    for (;;) {
        const Step now = step(&done);
        if (now == Step::Done) {
            progress.Finish(done);
            return true;
        }
        if (now == Step::Failed) break;
        progress.Update(done);
        if (std::chrono::steady_clock::now() > deadline) {
            progress.Finish(done);
            return Fail("%s: not done in time (%llu of %llu)", label.c_str(),
                        static_cast<unsigned long long>(done),
                        static_cast<unsigned long long>(total));
        }
    }
    progress.Finish(done);
    return false;
}

}  // namespace panel
