#include "stream_file.h"

#include <cstring>
#include <memory>

namespace stream {
namespace {

constexpr char kMagic[8] = {'K', 'T', 'Z', 'S', 'T', 'R', 'M', '1'};
constexpr DWORD kHeaderBytes = 256;
constexpr DWORD kEntriesAt = 64, kEntryBytes = 12;
constexpr DWORD kComplete = 1;
constexpr char kDataTag[4] = {'D', 'A', 'T', 'A'}, kGapTag[4] = {'G', 'A', 'P', ' '};
constexpr size_t kFileBuffer = 1 << 20;

template <class T>
void Store(unsigned char *at, T value) {
    std::memcpy(at, &value, sizeof value);
}

template <class T>
T Load(const unsigned char *at) {
    T value;
    std::memcpy(&value, at, sizeof value);
    return value;
}

void Encode(const FileHeader &h, unsigned char (&out)[kHeaderBytes]) {
    std::memset(out, 0, sizeof out);
    std::memcpy(out, kMagic, sizeof kMagic);
    Store<uint32_t>(out + 8, kHeaderBytes);
    Store<uint32_t>(out + 12, h.entries);
    Store<double>(out + 16, h.rate);
    Store<uint32_t>(out + 24, h.half);
    Store<uint32_t>(out + 28, h.complete ? kComplete : 0);
    Store<uint64_t>(out + 32, h.samples);
    Store<uint64_t>(out + 40, h.lost);
    Store<uint32_t>(out + 48, h.halves);
    Store<uint32_t>(out + 52, h.overruns);
    Store<uint32_t>(out + 56, h.device);
    for (unsigned e = 0; e < h.entries && e < kMaxEntries; ++e) {
        unsigned char *entry = out + kEntriesAt + e * kEntryBytes;
        Store<uint16_t>(entry, h.ranges[e].channel);
        Store<uint16_t>(entry + 2, h.ranges[e].gain);
        Store<float>(entry + 4, h.ranges[e].lower);
        Store<float>(entry + 8, h.ranges[e].upper);
    }
}

bool Decode(const unsigned char (&in)[kHeaderBytes], FileHeader *h, std::string *error) {
    if (std::memcmp(in, kMagic, sizeof kMagic) != 0) {
        *error = "not a recording (no KTZSTRM1 at its start)";
        return false;
    }
    h->entries = Load<uint32_t>(in + 12);
    h->rate = Load<double>(in + 16);
    h->half = Load<uint32_t>(in + 24);
    h->complete = (Load<uint32_t>(in + 28) & kComplete) != 0;
    h->samples = Load<uint64_t>(in + 32);
    h->lost = Load<uint64_t>(in + 40);
    h->halves = Load<uint32_t>(in + 48);
    h->overruns = Load<uint32_t>(in + 52);
    h->device = Load<uint32_t>(in + 56);
    if (Load<uint32_t>(in + 8) < kHeaderBytes || h->entries < 1 || h->entries > kMaxEntries) {
        *error = "a damaged header (header size or scan entries out of range)";
        return false;
    }
    for (unsigned e = 0; e < h->entries; ++e) {
        const unsigned char *entry = in + kEntriesAt + e * kEntryBytes;
        h->ranges[e] = {Load<uint16_t>(entry), Load<uint16_t>(entry + 2), Load<float>(entry + 4),
                        Load<float>(entry + 8)};
    }
    return true;
}

struct FileCloser {
    void operator()(FILE *file) const { std::fclose(file); }
};

}  // namespace

FileSink::~FileSink() {
    if (file_) std::fclose(file_);
}

bool FileSink::Open(const std::string &path, const FileHeader &header) {
    header_ = header;
    path_ = path;
    file_ = std::fopen(path.c_str(), "wb");
    if (!file_) {
        std::fprintf(stderr, "cannot write %s\n", path.c_str());
        return false;
    }
    std::setvbuf(file_, nullptr, _IOFBF, kFileBuffer);
    return Begin();
}

bool FileSink::Finish(const Totals &totals) {
    if (!file_) return false;
    // A write that failed on the way (a full disk) fails the file.
    bool ok = End(totals) && !std::ferror(file_);
    ok = std::fclose(file_) == 0 && ok;
    file_ = nullptr;
    if (!ok) std::fprintf(stderr, "cannot write %s\n", path_.c_str());
    return ok;
}

bool FileSink::Put(const void *data, size_t bytes) {
    return std::fwrite(data, 1, bytes, file_) == bytes;
}

// ---- the binary file -----------------------------------------------------------

bool BinaryFileSink::Begin() {
    unsigned char head[kHeaderBytes];
    Encode(header_, head);
    return Put(head, sizeof head);
}

bool BinaryFileSink::Data(uint64_t, const WORD *words, DWORD count) {
    const uint32_t head[2] = {Load<uint32_t>(reinterpret_cast<const unsigned char *>(kDataTag)),
                              count};
    return Put(head, sizeof head) && Put(words, count * sizeof(WORD));
}

bool BinaryFileSink::Gap(uint64_t, DWORD count) {
    const uint32_t head[2] = {Load<uint32_t>(reinterpret_cast<const unsigned char *>(kGapTag)),
                              count};
    return Put(head, sizeof head);
}

// The counts go into the header, which is written again in place.
bool BinaryFileSink::End(const Totals &totals) {
    header_.complete = true;
    header_.samples = totals.samples;
    header_.lost = totals.lost;
    header_.halves = totals.halves;
    header_.overruns = totals.overruns;
    unsigned char head[kHeaderBytes];
    Encode(header_, head);
    return std::fflush(file_) == 0 && std::fseek(file_, 0, SEEK_SET) == 0 && Put(head, sizeof head);
}

bool ReadRecording(const std::string &path, Recording *recording, std::string *error) {
    std::unique_ptr<FILE, FileCloser> file(std::fopen(path.c_str(), "rb"));
    if (!file) {
        *error = "cannot read " + path;
        return false;
    }
    unsigned char head[kHeaderBytes];
    if (std::fread(head, 1, sizeof head, file.get()) != sizeof head) {
        *error = "shorter than a header";
        return false;
    }
    *recording = Recording{};
    if (!Decode(head, &recording->header, error)) return false;
    std::fseek(file.get(), 0, SEEK_END);
    const long size = std::ftell(file.get());
    std::fseek(file.get(), Load<uint32_t>(head + 8), SEEK_SET);
    uint64_t index = 0;
    for (uint32_t chunk[2]; std::fread(chunk, 1, sizeof chunk, file.get()) == sizeof chunk;) {
        const DWORD count = chunk[1];
        if (std::memcmp(chunk, kGapTag, 4) == 0) {
            recording->gaps.emplace_back(index, count);
        } else if (std::memcmp(chunk, kDataTag, 4) == 0) {
            auto &words = recording->words;
            // No more than the file holds, whatever the count says.
            const auto left = static_cast<uint64_t>(size - std::ftell(file.get())) / sizeof(WORD);
            if (count > left) {
                *error = "cut short in a DATA chunk at sample " + std::to_string(index);
                return false;
            }
            const size_t at = words.size();
            words.resize(at + count);
            if (std::fread(words.data() + at, sizeof(WORD), count, file.get()) != count) {
                *error = "cut short in a DATA chunk at sample " + std::to_string(index);
                return false;
            }
        } else {
            *error = "an unknown chunk at sample " + std::to_string(index);
            return false;
        }
        index += count;
    }
    return true;
}

// ---- the CSV file --------------------------------------------------------------------

bool CsvFileSink::Begin() {
    std::fprintf(file_, "# ktz3649 stream: device %u, %u entries, %.0f samples/s, half %u samples\n",
                 header_.device, header_.entries, header_.rate,
                 static_cast<unsigned>(header_.half));
    std::fputs("time_s", file_);
    for (unsigned e = 0; e < header_.entries; ++e)
        std::fprintf(file_, ",%s", e < labels_.size() ? labels_[e].c_str() : "entry");
    return std::fputc('\n', file_) != EOF;
}

bool CsvFileSink::EndRow() {
    rowOpen_ = false;
    return std::fputc('\n', file_) != EOF;
}

bool CsvFileSink::Data(uint64_t first, const WORD *words, DWORD count) {
    const unsigned entries = header_.entries;
    for (DWORD i = 0; i < count; ++i) {
        const unsigned entry = static_cast<unsigned>((first + i) % entries);
        if (entry == 0) {
            if (rowOpen_ && !EndRow()) return false;
            std::fprintf(file_, "%.7f", static_cast<double>(first + i) / header_.rate);
            rowOpen_ = true;
        }
        std::fprintf(file_, ",%.5f", Volts(header_.ranges[entry], words[i]));
        if (entry == entries - 1 && !EndRow()) return false;
    }
    return !std::ferror(file_);
}

bool CsvFileSink::Gap(uint64_t, DWORD count) {
    if (rowOpen_ && !EndRow()) return false;
    return std::fprintf(file_, "# gap: %u samples lost\n", static_cast<unsigned>(count)) > 0;
}

bool CsvFileSink::End(const Totals &totals) {
    if (rowOpen_ && !EndRow()) return false;
    return std::fprintf(file_, "# %s\n", Summary(totals).c_str()) > 0;
}

std::string Summary(const Totals &totals) {
    char line[160];
    std::snprintf(line, sizeof line, "stream: %llu samples, %u halves, %u overruns, %u lost",
                  static_cast<unsigned long long>(totals.samples), totals.halves,
                  totals.overruns, totals.lostHalves);
    return line;
}

}  // namespace stream
