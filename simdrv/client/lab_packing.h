// Packing of the lab's calls (lab_protocol.h), from each function's declared
// type, the same on both sides: the client packs the arguments and unpacks
// the reply (Call<F>::Request, Call<F>::Reply), the lab unpacks, calls and
// packs the reply (Call<F>::Serve).
//
// By parameter type:
//   number      its bytes, in the request
//   const T *   a presence byte and the T, in the request
//   T *         a presence byte in the request; the T in the reply
// The result, if any, comes first in the reply.
#pragma once

#include <cstddef>
#include <cstring>
#include <tuple>
#include <type_traits>
#include <vector>

#include "lab_protocol.h"

namespace simlab {

// The function numbers.
namespace id {
enum : unsigned {
#define KTZSIM_ID(name) name,
    KTZSIM_REMOTE_FUNCTIONS(KTZSIM_ID)
#undef KTZSIM_ID
};
}  // namespace id

struct Writer {
    std::vector<unsigned char> bytes;
    void Put(const void *data, size_t size) {
        auto *p = static_cast<const unsigned char *>(data);
        bytes.insert(bytes.end(), p, p + size);
    }
};

struct Reader {
    const unsigned char *at;
    const unsigned char *end;
    bool ok = true;
    void Get(void *data, size_t size) {
        if (static_cast<size_t>(end - at) < size) {
            ok = false;
            return;
        }
        std::memcpy(data, at, size);
        at += size;
    }
};

template <class T, class = void>
struct Packing;

template <class T>
struct Packing<T, std::enable_if_t<std::is_arithmetic_v<T>>> {
    static constexpr size_t kReply = 0;
    static void Send(Writer &w, T value) { w.Put(&value, sizeof value); }
    static void Receive(Reader &, T) {}
    struct Slot {
        T value{};
        T Arg() { return value; }
    };
    static void Load(Reader &r, Slot &s) { r.Get(&s.value, sizeof s.value); }
    static void Store(Writer &, Slot &) {}
};

template <class T>
struct Packing<const T *> {
    static constexpr size_t kReply = 0;
    static void Send(Writer &w, const T *p) {
        unsigned char present = p != nullptr;
        w.Put(&present, 1);
        if (p) w.Put(p, sizeof *p);
    }
    static void Receive(Reader &, const T *) {}
    struct Slot {
        unsigned char present = 0;
        T value{};
        const T *Arg() { return present ? &value : nullptr; }
    };
    static void Load(Reader &r, Slot &s) {
        r.Get(&s.present, 1);
        if (s.present) r.Get(&s.value, sizeof s.value);
    }
    static void Store(Writer &, Slot &) {}
};

template <class T>
struct Packing<T *, std::enable_if_t<!std::is_const_v<T>>> {
    static constexpr size_t kReply = sizeof(T);
    static void Send(Writer &w, T *p) {
        unsigned char present = p != nullptr;
        w.Put(&present, 1);
    }
    static void Receive(Reader &r, T *p) {
        if (p) r.Get(p, sizeof *p);
    }
    struct Slot {
        unsigned char present = 0;
        std::vector<unsigned char> value = std::vector<unsigned char>(sizeof(T));  // T may be large
        T *Arg() { return present ? reinterpret_cast<T *>(value.data()) : nullptr; }
    };
    static void Load(Reader &r, Slot &s) { r.Get(&s.present, 1); }
    static void Store(Writer &w, Slot &s) {
        if (s.present) w.Put(s.value.data(), sizeof(T));
    }
};

template <class F>
struct Call;

// The bytes of a result in the reply.
template <class R>
constexpr size_t kResultSize = sizeof(R);
template <>
constexpr size_t kResultSize<void> = 0;

template <class R, class... A>
struct Call<R(A...)> {
    // The largest reply: the result and every output argument.
    static constexpr size_t kReplySize = kResultSize<R> + (Packing<A>::kReply + ... + 0);

    // Client: the request for a call.
    static std::vector<unsigned char> Request(unsigned function, A... args) {
        Writer w;
        w.Put(&function, sizeof function);
        (Packing<A>::Send(w, args), ...);
        return std::move(w.bytes);
    }

    // Client: the result from a reply, the output arguments filled.
    static R Reply(const unsigned char *reply, size_t size, A... args) {
        Reader r{reply, reply + size};
        if constexpr (std::is_void_v<R>) {
            (Packing<A>::Receive(r, args), ...);
        } else {
            R result{};
            r.Get(&result, sizeof result);
            (Packing<A>::Receive(r, args), ...);
            return result;
        }
    }

    // Lab: runs F on the arguments of a request; false for a malformed one.
    template <R (*F)(A...)>
    static bool Serve(Reader &in, Writer &out) {
        std::tuple<typename Packing<A>::Slot...> slots;
        std::apply([&](auto &...s) { (Packing<A>::Load(in, s), ...); }, slots);
        if (!in.ok || in.at != in.end) return false;
        std::apply(
            [&](auto &...s) {
                if constexpr (std::is_void_v<R>) {
                    F(s.Arg()...);
                } else {
                    R result = F(s.Arg()...);
                    out.Put(&result, sizeof result);
                }
                (Packing<A>::Store(out, s), ...);
            },
            slots);
        return true;
    }
};

}  // namespace simlab
