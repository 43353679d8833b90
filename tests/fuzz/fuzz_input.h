// What the fuzz targets share: the end of a run when a property does not
// hold, and the reader of an input (numbers and bytes taken from the front,
// in little-endian order, zero once the input is used up; the built seed
// inputs in corpus/ are written in this order by make_seeds.py).
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace fuzz {

// Ends the run with a message: libFuzzer keeps the input as a crash.
[[noreturn]] inline void Fail(const char *what) {
    std::fprintf(stderr, "fuzz: %s\n", what);
    std::abort();
}

inline void Check(bool condition, const char *what) {
    if (!condition) Fail(what);
}

class Reader {
public:
    Reader(const uint8_t *data, size_t size) : data_(data), size_(size) {}

    bool Empty() const { return at_ >= size_; }

    uint8_t Byte() { return Empty() ? 0 : data_[at_++]; }

    // A number of sizeof(T) bytes (an integer or a float).
    template <class T>
    T Take() {
        unsigned char bytes[sizeof(T)] = {};
        for (unsigned char &b : bytes) b = Byte();
        T value;
        std::memcpy(&value, bytes, sizeof value);
        return value;
    }

    // Reads each of the fields in turn.
    template <class... T>
    void Fields(T &...fields) {
        ((fields = Take<T>()), ...);
    }

    // Up to n bytes.
    std::vector<uint8_t> Bytes(size_t n) {
        n = std::min(n, size_ - std::min(at_, size_));
        std::vector<uint8_t> out(data_ + at_, data_ + at_ + n);
        at_ += n;
        return out;
    }

    // A string of a length byte and its characters.
    std::string Text() {
        const std::vector<uint8_t> bytes = Bytes(Byte());
        return std::string(bytes.begin(), bytes.end());
    }

private:
    const uint8_t *data_;
    size_t size_;
    size_t at_ = 0;
};

}  // namespace fuzz
