// A recording without end on the lab, clocked pulse by pulse: every sample
// the card wrote reaches the file once and in order, and a reader that
// falls behind loses whole halves, each reported and marked where it was.
#include <ktz3649.h>
#include <ktz3649sim.h>

#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>

#include "lab_fixture.h"
#include "stream_file.h"

namespace ktztest {
namespace {

constexpr WORD kTenVoltsBipolar = 4;
constexpr DWORD kClockPeriodNs = 1000;  // the external clock's sample spacing

class StreamTest : public LabTest {
protected:
    void SetUp() override {
        LabTest::SetUp();
        Install(0);
        handle_ = Open(0);
    }

    // A sawtooth at every input that steps one code per scan of `entries`:
    // a counter whose samples show a missing or repeated one.
    void Sawtooth(WORD entries) {
        const KtzSimSignal saw{KTZSIM_SIGNAL_SAWTOOTH, 10.0, 0.0,
                               1e9 / (4096.0 * entries * kClockPeriodNs), 0};
        for (unsigned channel = 0; channel < 16; ++channel)
            ASSERT_EQ(KtzSimSetSignal(card_, channel, &saw), 0);
    }

    stream::Setup Setup(WORD entries, DWORD half) {
        stream::Setup s;
        s.handle = handle_;
        s.entries = entries;
        s.gains = {kTenVoltsBipolar};
        s.clockSource = 1;
        s.half = half;
        return s;
    }

    stream::FileHeader Header(WORD entries, DWORD half) {
        stream::FileHeader h;
        h.entries = entries;
        h.rate = 1e9 / kClockPeriodNs;
        h.half = half;
        for (unsigned e = 0; e < entries; ++e) h.ranges[e] = {WORD(e), kTenVoltsBipolar, -10, 10};
        return h;
    }

    // Runs a recording: before each poll, the card writes the samples of
    // one step; then the stop.
    stream::Totals Record(const stream::Setup &setup, stream::FileSink &file,
                          const std::vector<DWORD> &steps, DWORD afterLast) {
        stream::Recorder recorder(setup, file);
        EXPECT_TRUE(file.Open(path_, Header(setup.entries, recorder.half())));
        EXPECT_EQ(recorder.Start(), 0u);
        for (DWORD pulses : steps) {
            EXPECT_EQ(KtzSimPulseExternalClock(card_, pulses), 0);
            EXPECT_EQ(recorder.Poll(0), 0u);
        }
        EXPECT_EQ(KtzSimPulseExternalClock(card_, afterLast), 0);
        EXPECT_EQ(recorder.Stop(), 0u);
        EXPECT_TRUE(file.Finish(recorder.totals()));
        KtzSimAcquisition lab{};
        EXPECT_EQ(KtzSimGetAcquisition(card_, &lab), 0);
        EXPECT_EQ(recorder.totals().written, lab.samples);
        return recorder.totals();
    }

    // Every sample of the recording is the sawtooth's at its place: entry e
    // of scan s is the first scan's code plus s.
    void ExpectContinuous(const stream::Recording &r) {
        const unsigned entries = r.header.entries;
        uint64_t index = 0;
        size_t word = 0, gap = 0;
        std::vector<int> first(entries, -1);
        while (word < r.words.size()) {
            if (gap < r.gaps.size() && r.gaps[gap].first == index) {
                index += r.gaps[gap++].second;
                continue;
            }
            const unsigned e = index % entries;
            const int code = r.words[word] & 0x0FFF;
            const int scan = static_cast<int>(index / entries);
            if (first[e] < 0) first[e] = (code - scan % 4096 + 4096) % 4096;
            ASSERT_EQ(code, (first[e] + scan) % 4096) << "sample " << index << ", entry " << e;
            ++index;
            ++word;
        }
    }

    KTZHANDLE handle_ = 0;
    std::string path_ = ::testing::TempDir() + "ktz3649_stream_test.bin";
};

TEST_F(StreamTest, EverySampleOnceAndInOrder) {
    const struct {
        WORD entries;
        DWORD half;
        std::vector<DWORD> steps;  // pulses before each look
        DWORD afterLast;           // pulses before the stop
    } cases[] = {
        {1, 256, std::vector<DWORD>(12, 256), 100},
        {3, 300, std::vector<DWORD>(12, 300), 7},           // the stop ends inside a scan
        {16, 400, {400, 400, 350, 50, 699, 101}, 0},        // late and early looks, none too late
        {4, 402, std::vector<DWORD>(6, 402), 0},            // the half rounded down to 400
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(testing::Message() << c.entries << " entries, half " << c.half);
        Sawtooth(c.entries);
        stream::BinaryFileSink file;
        const stream::Totals totals = Record(Setup(c.entries, c.half), file, c.steps, c.afterLast);
        EXPECT_EQ(totals.lost, 0u);
        EXPECT_EQ(totals.overruns, 0u);
        EXPECT_EQ(totals.samples, totals.written);

        stream::Recording r;
        std::string error;
        ASSERT_TRUE(stream::ReadRecording(path_, &r, &error)) << error;
        EXPECT_TRUE(r.header.complete);
        EXPECT_EQ(r.header.samples, totals.samples);
        EXPECT_EQ(r.header.halves, totals.halves);
        EXPECT_EQ(r.words.size(), totals.samples);
        EXPECT_TRUE(r.gaps.empty());
        ExpectContinuous(r);
    }
}

TEST_F(StreamTest, AReaderBehindLosesAHalfAndSaysWhere) {
    constexpr WORD kEntries = 2;
    constexpr DWORD kHalf = 200;
    Sawtooth(kEntries);
    // Two halves and a half before the first look: the first is being
    // rewritten. (Three would lose the second too: the card's count may
    // trail its writes by a block, so a half that close to its rewrite
    // counts as lost.)
    const std::vector<DWORD> steps = {2 * kHalf + kHalf / 2, kHalf, kHalf};
    {
        stream::BinaryFileSink file;
        const stream::Totals t = Record(Setup(kEntries, kHalf), file, steps, 10);
        EXPECT_EQ(t.lostHalves, 1u);
        EXPECT_EQ(t.lost, kHalf);
        EXPECT_EQ(t.overruns, 1u);
        EXPECT_EQ(t.halves, 3u);
        EXPECT_EQ(t.samples + t.lost, t.written);

        stream::Recording r;
        std::string error;
        ASSERT_TRUE(stream::ReadRecording(path_, &r, &error)) << error;
        ASSERT_EQ(r.gaps.size(), 1u);
        EXPECT_EQ(r.gaps[0], (std::pair<uint64_t, DWORD>{0, kHalf}));
        EXPECT_EQ(r.header.lost, kHalf);
        ExpectContinuous(r);
    }
    // The CSV file marks the gap before the rows of the next half.
    stream::CsvFileSink csv({"ch0", "ch1"});
    const stream::Totals t = Record(Setup(kEntries, kHalf), csv, steps, 0);
    std::ifstream in(path_);
    std::stringstream text;
    text << in.rdbuf();
    const std::string s = text.str();
    EXPECT_NE(s.find("time_s,ch0,ch1\n# gap: 200 samples lost\n0.0002000,"), std::string::npos)
        << s.substr(0, 300);
    EXPECT_NE(s.find("# " + stream::Summary(t) + "\n"), std::string::npos);
    EXPECT_EQ(stream::Summary(t), "stream: 700 samples, 3 halves, 1 overruns, 1 lost");
}

// A sink that takes no more (a full disk): the recording ends, and what it
// refused is not counted as taken.
TEST_F(StreamTest, ASinkThatRefusesEndsTheRecording) {
    struct Refusing : stream::Sink {
        bool Data(uint64_t, const WORD *, DWORD) override { return taken++ == 0; }
        bool Gap(uint64_t, DWORD) override { return true; }
        int taken = 0;
    } sink;
    Sawtooth(1);
    stream::Recorder recorder(Setup(1, 64), sink);
    ASSERT_EQ(recorder.Start(), 0u);
    for (int look = 0; look < 2; ++look) {
        ASSERT_EQ(KtzSimPulseExternalClock(card_, 64), 0);
        EXPECT_EQ(recorder.Poll(0), 0u);
    }
    EXPECT_TRUE(recorder.ended());
    EXPECT_EQ(recorder.Stop(), 0u);
    EXPECT_EQ(sink.taken, 2);
    EXPECT_EQ(recorder.totals().halves, 1u);
    EXPECT_EQ(recorder.totals().samples, 64u);
}

TEST_F(StreamTest, ADamagedFileIsRefusedWithItsReason) {
    Sawtooth(1);
    stream::BinaryFileSink file;
    Record(Setup(1, 64), file, {64, 64}, 0);
    std::string bytes;
    {
        std::ifstream in(path_, std::ios::binary);
        bytes.assign(std::istreambuf_iterator<char>(in), {});
    }
    const struct {
        const char *name;
        std::string content;
        const char *reason;
    } cases[] = {
        {"cut in a chunk", bytes.substr(0, bytes.size() - 3), "cut short"},
        {"no header", bytes.substr(0, 100), "shorter than a header"},
        {"another file", "PK" + bytes.substr(2), "not a recording"},
        {"unknown chunk", bytes.substr(0, 256) + "JUNK" + bytes.substr(260), "unknown chunk"},
        {"a count beyond the file", bytes.substr(0, 260) + std::string("\xFF\xFF\xFF\x7F", 4),
         "cut short"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        {
            std::ofstream out(path_, std::ios::binary | std::ios::trunc);
            out << c.content;
        }
        stream::Recording r;
        std::string error;
        EXPECT_FALSE(stream::ReadRecording(path_, &r, &error));
        EXPECT_NE(error.find(c.reason), std::string::npos) << error;
    }
}

}  // namespace
}  // namespace ktztest
