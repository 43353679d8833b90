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

struct Conversion {
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
// prefixLen characters are sign/prefix) padded to the conversion's width.
void PutPadded(Output &out, const Conversion &conv, const char *body, int len, int prefixLen, bool numeric) {
    int pad = conv.width > len ? conv.width - len : 0;
    if (conv.left) {
        out.Put(body, len);
        out.Pad(' ', pad);
    } else if (conv.zero && !(numeric && conv.precision >= 0)) {
        out.Put(body, prefixLen);
        out.Pad('0', pad);
        out.Put(body + prefixLen, len - prefixLen);
    } else {
        out.Pad(' ', pad);
        out.Put(body, len);
    }
}

void PutInteger(Output &out, const Conversion &conv, va_list &ap) {
    const bool isSigned = conv.type == 'd' || conv.type == 'i';
    unsigned int raw = va_arg(ap, unsigned int);
    long long value;
    if (conv.size == 'h') {
        value = isSigned ? static_cast<long long>(static_cast<short>(raw)) : static_cast<unsigned short>(raw);
    } else {
        value = isSigned ? static_cast<long long>(static_cast<int>(raw)) : raw;
    }
    const bool negative = value < 0;
    unsigned long long magnitude = negative ? -static_cast<unsigned long long>(value) : value;

    const unsigned base = (conv.type == 'x' || conv.type == 'X') ? 16 : 10;
    const char *digitChars = conv.type == 'X' ? "0123456789ABCDEF" : "0123456789abcdef";
    char digits[24];
    int nDigits = 0;
    do {
        digits[nDigits++] = digitChars[magnitude % base];
        magnitude /= base;
    } while (magnitude);

    char body[kMaxOutput + 32];
    int len = 0;
    if (negative) body[len++] = '-';
    if (conv.prefix && base == 16) {
        body[len++] = '0';
        body[len++] = conv.type;
    }
    const int prefixLen = len;
    for (int i = nDigits; i < conv.precision; ++i) body[len++] = '0';
    while (nDigits) body[len++] = digits[--nDigits];
    PutPadded(out, conv, body, len, prefixLen, true);
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
        Conversion conv;
        for (;; ++p) {
            if (*p == '-') {
                conv.left = true;
            } else if (*p == '#') {
                conv.prefix = true;
            } else if (*p == '0') {
                conv.zero = true;
            } else {
                break;
            }
        }
        conv.width = ParseNumber(p);
        if (*p == '.') {
            ++p;
            conv.precision = ParseNumber(p);
        }
        if (*p == 'h' || *p == 'l') conv.size = *p++;
        conv.type = *p;
        if (!conv.type) break;
        ++p;
        switch (conv.type) {
        case 'd':
        case 'i':
        case 'u':
        case 'x':
        case 'X':
            PutInteger(out, conv, ap);
            break;
        case 'c': {
            char c = static_cast<char>(va_arg(ap, int));
            PutPadded(out, conv, &c, 1, 0, false);
            break;
        }
        case 's':
        case 'S': {
            const char *s = va_arg(ap, const char *);
            if (!s) s = "(null)";
            int len = 0;
            while (s[len] && (conv.precision < 0 || len < conv.precision) && len < kMaxOutput) ++len;
            PutPadded(out, conv, s, len, 0, false);
            break;
        }
        default:  // "%%" and anything unknown: the character itself
            out.Put(conv.type);
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
