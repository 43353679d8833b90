// The files of a recording (docs/streaming.md): the binary file with its
// self-describing header and DATA and GAP chunks, and the CSV file; and
// the reader of the binary file.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <utility>
#include <vector>

#include "stream.h"

namespace stream {

constexpr unsigned kMaxEntries = 16;

struct EntryRange {
    WORD channel = 0;
    WORD gain = 0;
    float lower = 0, upper = 0;  // volts of code 0 and of code 4096
};

// What the header holds: the recording's shape, and its counts once it ended.
struct FileHeader {
    unsigned entries = 1;
    double rate = 0;  // samples per second, all entries together
    DWORD half = 0;
    unsigned device = 0;
    EntryRange ranges[kMaxEntries];
    bool complete = false;
    uint64_t samples = 0, lost = 0;
    unsigned halves = 0, overruns = 0;
};

// The volts of a sample word in a range.
inline double Volts(const EntryRange &range, WORD word) {
    return range.lower + (word & 0x0FFF) * (static_cast<double>(range.upper) - range.lower) / 4096.0;
}

// A sink that writes a file; Finish completes it with the final counts.
class FileSink : public Sink {
public:
    ~FileSink() override;
    // Opens the file and writes what comes first; false (printed) on failure.
    bool Open(const std::string &path, const FileHeader &header);
    bool Finish(const Totals &totals);

protected:
    virtual bool Begin() = 0;
    virtual bool End(const Totals &totals) = 0;
    bool Put(const void *data, size_t bytes);
    FILE *file_ = nullptr;
    FileHeader header_;
    std::string path_;
};

class BinaryFileSink : public FileSink {
public:
    bool Data(uint64_t first, const WORD *words, DWORD count) override;
    bool Gap(uint64_t first, DWORD count) override;

protected:
    bool Begin() override;
    bool End(const Totals &totals) override;
};

// A row per scan: the time of its first sample and the volts of each entry.
class CsvFileSink : public FileSink {
public:
    explicit CsvFileSink(std::vector<std::string> labels) : labels_(std::move(labels)) {}
    bool Data(uint64_t first, const WORD *words, DWORD count) override;
    bool Gap(uint64_t first, DWORD count) override;

protected:
    bool Begin() override;
    bool End(const Totals &totals) override;

private:
    bool EndRow();
    std::vector<std::string> labels_;
    bool rowOpen_ = false;
};

// The binary file read back: its header, the words of its DATA chunks in
// order and its gaps as (sample index, count). False with the reason in
// *error for a file that is not one or is cut short.
struct Recording {
    FileHeader header;
    std::vector<WORD> words;
    std::vector<std::pair<uint64_t, DWORD>> gaps;
};
bool ReadRecording(const std::string &path, Recording *recording, std::string *error);

// The final line of a recording: "stream: N samples, H halves, K overruns, L lost".
std::string Summary(const Totals &totals);

}  // namespace stream
