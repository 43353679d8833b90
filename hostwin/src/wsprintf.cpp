// wsprintfA: the Win32 user-mode formatter and lstrlenA.
//
// A conversion is %[-][#][0][width][.precision][h|l|w]type with the types
// c C d i s S u x X; the flags count only in that order, a precision of 0
// is none, and h and l do not change how an integer is read. The width
// counts the sign but not the "0x" of '#', and a precision counts the sign
// too ("%.3d" of -7 is "-07"). Any other type character is printed as it
// stands, after the width's padding. The output holds at most 1023
// characters and its terminator; a conversion is cut to fit, and an output
// that fills it is reported as 1024 characters long.
#include <windows.h>

#include <cstdarg>
#include <cstdint>
#include <cstring>
#include <string>

namespace {

constexpr int kLimit = 1023;  // characters before the terminator

struct Conversion {
    bool left = false;    // '-'
    bool prefix = false;  // '#'
    bool zero = false;    // '0'
    int width = 0;
    int precision = 0;    // 0: none
    char size = 0;        // 'h', 'l', 'w' or 0
    char type = 0;
};

int ParseNumber(const char *&p) {
    int n = 0;
    while (*p >= '0' && *p <= '9') {
        if (n <= kLimit) n = n * 10 + (*p - '0');
        ++p;
    }
    return n;
}

// Parses what follows '%'; leaves p on the type character.
Conversion Parse(const char *&p) {
    Conversion conv;
    if (*p == '-') conv.left = true, ++p;
    if (*p == '#') conv.prefix = true, ++p;
    if (*p == '0') conv.zero = true, ++p;
    conv.width = ParseNumber(p);
    if (*p == '.') conv.precision = ParseNumber(++p);
    if (*p == 'h' || *p == 'l' || *p == 'w') conv.size = *p++;
    conv.type = *p;
    if (conv.left) conv.zero = false;
    return conv;
}

// A string of wide characters as ANSI bytes (characters past Latin-1 as '?').
std::string Narrow(const uint16_t *text, int limit) {
    std::string out;
    for (; *text && static_cast<int>(out.size()) < limit; ++text)
        out += *text < 0x100 ? static_cast<char>(*text) : '?';
    return out;
}

// The text of one conversion, cut to room characters.
std::string Convert(const Conversion &c, va_list &ap, int room) {
    const int width = c.width < room ? c.width : room;
    std::string body, lead;  // body: what the precision counts; lead: "0x"
    int precision = 0;
    switch (c.type) {
    case 'c':
    case 'C': {
        const bool wide = c.type == 'c' ? c.size == 'l' : c.size != 'h';
        const unsigned value = va_arg(ap, unsigned);
        body.assign(1, wide && (value & 0xFFFF) >= 0x100 ? '?' : static_cast<char>(value));
        precision = 1;
        break;
    }
    case 's':
    case 'S': {
        const bool wide = c.type == 's' ? (c.size == 'l' || c.size == 'w') : c.size != 'h' && c.size != 'w';
        const int limit = c.precision && c.precision < room ? c.precision : room;
        if (wide) {
            const auto *text = va_arg(ap, const uint16_t *);
            body = text ? Narrow(text, limit) : std::string("(null)").substr(0, limit);
        } else {
            const char *text = va_arg(ap, const char *);
            if (!text) text = "(null)";
            body.assign(text, strnlen(text, limit));
        }
        precision = static_cast<int>(body.size());
        break;
    }
    case 'd':
    case 'i':
    case 'u':
    case 'x':
    case 'X': {
        const unsigned raw = va_arg(ap, unsigned);
        const bool negative = (c.type == 'd' || c.type == 'i') && static_cast<int>(raw) < 0;
        uint32_t magnitude = negative ? 0u - raw : raw;
        const unsigned base = c.type == 'x' || c.type == 'X' ? 16 : 10;
        const char *digits = c.type == 'X' ? "0123456789ABCDEF" : "0123456789abcdef";
        do {
            body.insert(body.begin(), digits[magnitude % base]);
            magnitude /= base;
        } while (magnitude);
        if (negative) body.insert(body.begin(), '-');
        precision = c.precision > static_cast<int>(body.size()) ? c.precision : static_cast<int>(body.size());
        if (precision > room) precision = room;
        if (c.zero && width > precision) precision = width;
        // Zeros between the sign and the digits, up to the precision.
        const size_t sign = negative ? 1 : 0;
        if (static_cast<int>(body.size()) < precision)
            body.insert(sign, static_cast<size_t>(precision) - body.size(), '0');
        if (c.prefix && base == 16) lead = c.type == 'X' ? "0X" : "0x";
        break;
    }
    default:  // not a conversion: only the width's padding
        return std::string(c.left ? 0 : width, ' ');
    }
    const std::string pad(width > precision ? width - precision : 0, ' ');
    std::string out = c.left ? lead + body + pad : pad + lead + body;
    if (static_cast<int>(out.size()) > room) out.resize(room);
    return out;
}

}  // namespace

extern "C" int WINAPIV wsprintfA(LPSTR lpOut, LPCSTR lpFmt, ...) {
    va_list ap;
    va_start(ap, lpFmt);
    int n = wvsprintfA(lpOut, lpFmt, ap);
    va_end(ap);
    return n;
}

extern "C" int WINAPI lstrlenA(LPCSTR lpString) { return lpString ? static_cast<int>(std::strlen(lpString)) : 0; }

extern "C" int WINAPI wvsprintfA(LPSTR lpOut, LPCSTR lpFmt, va_list arglist) {
    if (!lpOut) return 0;
    va_list ap;
    va_copy(ap, arglist);
    std::string out;
    for (const char *p = lpFmt ? lpFmt : ""; *p && static_cast<int>(out.size()) < kLimit;) {
        if (*p != '%' || p[1] == '%') {
            out += *p;
            p += *p == '%' ? 2 : 1;
            continue;
        }
        ++p;
        Conversion conv = Parse(p);
        out += Convert(conv, ap, kLimit - static_cast<int>(out.size()));
        // A known type is consumed; any other character is printed next as it stands.
        if (conv.type && std::strchr("cCdisSuxX", conv.type)) ++p;
    }
    va_end(ap);
    std::memcpy(lpOut, out.c_str(), out.size() + 1);
    return static_cast<int>(out.size()) == kLimit ? kLimit + 1 : static_cast<int>(out.size());
}
