// wsprintfA: the Win32 user-mode formatter (integers, characters and
// strings only, output limited to 1024 characters) and lstrlenA.
#include <windows.h>

#include <cstdarg>
#include <cstring>

namespace {

constexpr int kMaxOutput = 1024;

class Output {
public:
    explicit Output(char *out) : out_(out) {}
    bool Full() const { return n_ >= kMaxOutput; }
    void Put(char c) {
        if (!Full()) out_[n_++] = c;
    }
    void Put(const char *s, int len) {
        for (int i = 0; i < len; ++i) Put(s[i]);
    }
    void Pad(char c, int count) {
        for (int i = 0; i < count && !Full(); ++i) Put(c);
    }
    int Finish() {
        out_[n_] = '\0';
        return n_;
    }

private:
    char *out_;
    int n_ = 0;
};

struct Spec {
    bool left = false;     // '-'
    bool prefix = false;   // '#'
    bool zero = false;     // '0'
    int width = 0;
    int precision = -1;    // none
    char size = 0;         // 'h', 'l' or 0
    char type = 0;
};

int ParseNumber(const char *&p) {
    int n = 0;
    while (*p >= '0' && *p <= '9') {
        n = n * 10 + (*p - '0');
        if (n > kMaxOutput + 1) n = kMaxOutput + 1;  // already pushes everything past the limit
        ++p;
    }
    return n;
}

// Writes body (already holding sign, base prefix and digits: the first
// prefixLen characters are sign/prefix) padded to the spec's width.
void PutPadded(Output &out, const Spec &spec, const char *body, int len, int prefixLen, bool numeric) {
    int pad = spec.width > len ? spec.width - len : 0;
    if (spec.left) {
        out.Put(body, len);
        out.Pad(' ', pad);
    } else if (spec.zero && !(numeric && spec.precision >= 0)) {
        out.Put(body, prefixLen);
        out.Pad('0', pad);
        out.Put(body + prefixLen, len - prefixLen);
    } else {
        out.Pad(' ', pad);
        out.Put(body, len);
    }
}

void PutInteger(Output &out, const Spec &spec, va_list &ap) {
    const bool isSigned = spec.type == 'd' || spec.type == 'i';
    unsigned int raw = va_arg(ap, unsigned int);
    long long value;
    if (spec.size == 'h') {
        value = isSigned ? static_cast<long long>(static_cast<short>(raw)) : static_cast<unsigned short>(raw);
    } else {
        value = isSigned ? static_cast<long long>(static_cast<int>(raw)) : raw;
    }
    const bool negative = value < 0;
    unsigned long long magnitude = negative ? -static_cast<unsigned long long>(value) : value;

    const unsigned base = (spec.type == 'x' || spec.type == 'X') ? 16 : 10;
    const char *digitChars = spec.type == 'X' ? "0123456789ABCDEF" : "0123456789abcdef";
    char digits[24];
    int nDigits = 0;
    do {
        digits[nDigits++] = digitChars[magnitude % base];
        magnitude /= base;
    } while (magnitude);

    char body[kMaxOutput + 32];
    int len = 0;
    if (negative) body[len++] = '-';
    if (spec.prefix && base == 16) {
        body[len++] = '0';
        body[len++] = spec.type;
    }
    const int prefixLen = len;
    for (int i = nDigits; i < spec.precision; ++i) body[len++] = '0';
    while (nDigits) body[len++] = digits[--nDigits];
    PutPadded(out, spec, body, len, prefixLen, true);
}

int Format(char *lpOut, const char *fmt, va_list &ap) {
    Output out(lpOut);
    const char *p = fmt;
    while (*p && !out.Full()) {
        if (*p != '%') {
            out.Put(*p++);
            continue;
        }
        ++p;
        Spec spec;
        for (;; ++p) {
            if (*p == '-') {
                spec.left = true;
            } else if (*p == '#') {
                spec.prefix = true;
            } else if (*p == '0') {
                spec.zero = true;
            } else {
                break;
            }
        }
        spec.width = ParseNumber(p);
        if (*p == '.') {
            ++p;
            spec.precision = ParseNumber(p);
        }
        if (*p == 'h' || *p == 'l') spec.size = *p++;
        spec.type = *p;
        if (!spec.type) break;
        ++p;
        switch (spec.type) {
        case 'd':
        case 'i':
        case 'u':
        case 'x':
        case 'X':
            PutInteger(out, spec, ap);
            break;
        case 'c': {
            char c = static_cast<char>(va_arg(ap, int));
            PutPadded(out, spec, &c, 1, 0, false);
            break;
        }
        case 's':
        case 'S': {
            const char *s = va_arg(ap, const char *);
            if (!s) s = "(null)";
            int len = 0;
            while (s[len] && (spec.precision < 0 || len < spec.precision) && len < kMaxOutput) ++len;
            PutPadded(out, spec, s, len, 0, false);
            break;
        }
        default:  // "%%" and anything unknown: the character itself
            out.Put(spec.type);
            break;
        }
    }
    return out.Finish();
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
    if (!lpFmt) {
        *lpOut = '\0';
        return 0;
    }
    va_list ap;
    va_copy(ap, arglist);
    int n = Format(lpOut, lpFmt, ap);
    va_end(ap);
    return n;
}
