// wsprintfA with fuzzed formats. The input is the format up to its first
// zero byte, then the arguments' bytes. The harness reads the format as the
// formatter does to know what each conversion takes and passes arguments of
// those types, as a compiled caller would: a valid string (or null) for
// every %s and %S, an unsigned integer for the rest; so the formatter never
// reads an argument that is not there. The output buffer is the 1024 bytes
// the formatter may fill. Checked: the output ends at the length returned
// (1023 characters for the result 1024 of a full buffer).
#include <windows.h>

#include <fuzzer/FuzzedDataProvider.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

namespace {

// What one conversion takes from the arguments.
enum class Kind { Integer, Narrow, Wide };

// Conversions passed per call; a format with more is cut before the next.
constexpr size_t kMaxArguments = 6;

// The argument kinds of a format, in order, as the formatter reads it:
// %% is a percent sign; otherwise flags - # 0, digits, '.' and digits, one
// of h l w, then the type; only c C d i s S u x X take an argument. Returns
// the length of the format that takes at most kMaxArguments.
size_t Kinds(const std::string &format, std::vector<Kind> *kinds) {
    const char *begin = format.c_str();
    const char *p = begin;
    while (*p) {
        if (*p != '%' || p[1] == '%') {
            p += *p == '%' ? 2 : 1;
            continue;
        }
        const char *start = p++;
        if (*p == '-') ++p;
        if (*p == '#') ++p;
        if (*p == '0') ++p;
        while (*p >= '0' && *p <= '9') ++p;
        if (*p == '.')
            for (++p; *p >= '0' && *p <= '9';) ++p;
        char size = 0;
        if (*p == 'h' || *p == 'l' || *p == 'w') size = *p++;
        const char type = *p;
        if (!type || !std::strchr("cCdisSuxX", type)) continue;  // printed as it stands
        if (kinds->size() == kMaxArguments) return static_cast<size_t>(start - begin);
        bool wide = false;
        if (type == 's') wide = size == 'l' || size == 'w';
        if (type == 'S') wide = size != 'h' && size != 'w';
        kinds->push_back(type == 's' || type == 'S' ? (wide ? Kind::Wide : Kind::Narrow)
                                                    : Kind::Integer);
        ++p;
    }
    return format.size();
}

// The arguments of one call, each kept alive until the call returns.
struct Arguments {
    std::vector<Kind> kinds;
    std::vector<unsigned> integers;
    std::vector<std::unique_ptr<char[]>> narrow;
    std::vector<std::unique_ptr<uint16_t[]>> wide;
};

// A string of exactly its length and terminator (so that a read past it
// shows), or null.
std::unique_ptr<char[]> NarrowText(FuzzedDataProvider &data) {
    if (data.ConsumeIntegralInRange<int>(0, 15) == 15) return nullptr;
    std::string text = data.ConsumeRandomLengthString(2000);
    auto out = std::make_unique<char[]>(text.size() + 1);
    std::memcpy(out.get(), text.c_str(), text.size() + 1);
    return out;
}

std::unique_ptr<uint16_t[]> WideText(FuzzedDataProvider &data) {
    if (data.ConsumeIntegralInRange<int>(0, 15) == 15) return nullptr;
    std::vector<uint16_t> text;
    for (size_t n = data.ConsumeIntegralInRange<size_t>(0, 2000); n && data.remaining_bytes(); --n) {
        uint16_t c = data.ConsumeIntegral<uint16_t>();
        if (!c) break;
        text.push_back(c);
    }
    auto out = std::make_unique<uint16_t[]>(text.size() + 1);
    std::copy(text.begin(), text.end(), out.get());
    out[text.size()] = 0;
    return out;
}

// Calls wsprintfA with the arguments args... followed by those of
// a.kinds[next...], each passed as its own type.
template <class... Passed>
int Call(char *out, const char *format, const Arguments &a, size_t next, size_t integer,
         size_t narrow, size_t wide, Passed... args) {
    if constexpr (sizeof...(Passed) < kMaxArguments) {
        if (next < a.kinds.size()) {
            switch (a.kinds[next]) {
            case Kind::Integer:
                return Call(out, format, a, next + 1, integer + 1, narrow, wide, args...,
                            a.integers[integer]);
            case Kind::Narrow:
                return Call(out, format, a, next + 1, integer, narrow + 1, wide, args...,
                            static_cast<const char *>(a.narrow[narrow].get()));
            case Kind::Wide:
                return Call(out, format, a, next + 1, integer, narrow, wide + 1, args...,
                            static_cast<const uint16_t *>(a.wide[wide].get()));
            }
        }
    }
    return wsprintfA(out, format, args...);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *bytes, size_t size) {
    const auto *text = reinterpret_cast<const char *>(bytes);
    const size_t formatLength = strnlen(text, size);
    std::string format(text, formatLength);
    FuzzedDataProvider data(bytes + formatLength, size - formatLength);

    Arguments a;
    format.resize(Kinds(format, &a.kinds));
    for (Kind kind : a.kinds) {
        switch (kind) {
        case Kind::Integer: a.integers.push_back(data.ConsumeIntegral<unsigned>()); break;
        case Kind::Narrow: a.narrow.push_back(NarrowText(data)); break;
        case Kind::Wide: a.wide.push_back(WideText(data)); break;
        }
    }
    // The format in a block of its own size, so that a read past its end shows.
    auto ownFormat = std::make_unique<char[]>(format.size() + 1);
    std::memcpy(ownFormat.get(), format.c_str(), format.size() + 1);

    auto out = std::make_unique<char[]>(1024);
    std::memset(out.get(), 'U', 1024);
    const int n = Call(out.get(), ownFormat.get(), a, 0, 0, 0, 0);
    // The terminator right after the n characters (a %c of 0 puts a zero
    // among them), nothing written after it.
    const int end = n == 1024 ? 1023 : n;
    bool ok = n >= 0 && n <= 1024 && out[end] == '\0';
    for (int i = end + 1; ok && i < 1024; ++i) ok = out[i] == 'U';
    if (!ok) {
        std::fprintf(stderr, "wsprintfA returned %d, the output does not end there\n", n);
        std::abort();
    }
    return 0;
}
