// REGEDIT4 files: what regedit writes, read back byte for byte.
#include "regfile.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace hostwin::regfile {

namespace {

char Upper(char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c; }
char Lower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

const char *const kRootNames[kRootCount] = {"HKEY_CLASSES_ROOT", "HKEY_CURRENT_USER",
                                            "HKEY_LOCAL_MACHINE", "HKEY_USERS"};

// regedit breaks hex data once a line reaches this width.
constexpr size_t kHexLineWidth = 77;

const char kHexDigits[] = "0123456789abcdef";

// ---- writing -----------------------------------------------------------------

void AppendQuoted(std::string &out, const std::string &text) {
    out += '"';
    for (char c : text) {
        if (c == '\\' || c == '"') out += '\\';
        out += c;
    }
    out += '"';
}

// Text followed by exactly one NUL, nothing that would break the line.
bool IsPlainString(const Value &v) {
    if (v.type != REG_SZ || v.data.empty() || v.data.back() != 0) return false;
    for (size_t i = 0; i + 1 < v.data.size(); ++i) {
        BYTE b = v.data[i];
        if (b == 0 || b == '\r' || b == '\n') return false;
    }
    return true;
}

void AppendHexNumber(std::string &out, DWORD n, int minDigits) {
    char buffer[16];
    std::snprintf(buffer, sizeof buffer, "%0*x", minDigits, static_cast<unsigned>(n));
    out += buffer;
}

void AppendValue(std::string &out, const Value &v) {
    size_t lineStart = out.size();
    if (v.name.empty()) {
        out += '@';
    } else {
        AppendQuoted(out, v.name);
    }
    out += '=';
    if (IsPlainString(v)) {
        AppendQuoted(out, std::string(v.data.begin(), v.data.end() - 1));
    } else if (v.type == REG_DWORD && v.data.size() == 4) {
        DWORD n = v.data[0] | v.data[1] << 8 | v.data[2] << 16 | static_cast<DWORD>(v.data[3]) << 24;
        out += "dword:";
        AppendHexNumber(out, n, 8);
    } else {
        if (v.type == REG_BINARY) {
            out += "hex:";
        } else {
            out += "hex(";
            AppendHexNumber(out, v.type, 1);
            out += "):";
        }
        for (size_t i = 0; i < v.data.size(); ++i) {
            out += kHexDigits[v.data[i] >> 4];
            out += kHexDigits[v.data[i] & 15];
            if (i + 1 == v.data.size()) break;
            out += ',';
            if (out.size() - lineStart >= kHexLineWidth) {
                out += "\\\n  ";
                lineStart = out.size() - 2;
            }
        }
    }
    out += '\n';
}

// Appends a key's sections, stopping once the text is longer than limit.
void AppendKey(std::string &out, const Key &key, const std::string &path, bool isRoot, size_t limit) {
    if (key.isVolatile || out.size() > limit) return;
    // Every key gets a section so that empty keys survive; a root only
    // when it has values of its own.
    if (!isRoot || !key.values.empty()) {
        out += '[';
        out += path;
        out += "]\n";
        for (const Value &v : key.values) AppendValue(out, v);
        out += '\n';
    }
    for (const auto &[name, sub] : key.subkeys) AppendKey(out, *sub, path + '\\' + name, false, limit);
}

// ---- reading -----------------------------------------------------------------

struct ParseError {
    std::string what;
};

std::string Trim(const std::string &s) {
    size_t b = s.find_first_not_of(" \t");
    if (b == std::string::npos) return "";
    size_t e = s.find_last_not_of(" \t\r");
    return s.substr(b, e - b + 1);
}

int HexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    c = Upper(c);
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// Parses 1..maxDigits hex digits making up the whole of text.
bool ParseHexNumber(const std::string &text, size_t maxDigits, DWORD *n) {
    if (text.empty() || text.size() > maxDigits) return false;
    DWORD v = 0;
    for (char c : text) {
        int d = HexDigit(c);
        if (d < 0) return false;
        v = v << 4 | static_cast<DWORD>(d);
    }
    *n = v;
    return true;
}

// Parses a quoted string starting at text[*pos] == '"'; leaves *pos after it.
std::string ParseQuoted(const std::string &text, size_t *pos) {
    std::string result;
    size_t i = *pos + 1;
    for (;;) {
        if (i >= text.size()) throw ParseError{"unterminated string"};
        char c = text[i++];
        if (c == '"') break;
        if (c == '\\') {
            if (i >= text.size()) throw ParseError{"unterminated string"};
            c = text[i++];
            if (c != '\\' && c != '"') throw ParseError{std::string("unknown escape \\") + c};
        }
        result += c;
    }
    *pos = i;
    return result;
}

std::vector<BYTE> ParseHexBytes(const std::string &list) {
    std::vector<BYTE> bytes;
    if (Trim(list).empty()) return bytes;
    size_t start = 0;
    for (;;) {
        size_t comma = list.find(',', start);
        std::string item = Trim(list.substr(start, comma == std::string::npos ? std::string::npos : comma - start));
        DWORD b;
        if (!ParseHexNumber(item, 2, &b)) throw ParseError{"malformed hex data \"" + item + "\""};
        bytes.push_back(static_cast<BYTE>(b));
        if (comma == std::string::npos) return bytes;
        start = comma + 1;
    }
}

Value ParseData(const std::string &data) {
    Value v;
    if (!data.empty() && data[0] == '"') {
        size_t pos = 0;
        std::string text = ParseQuoted(data, &pos);
        if (!Trim(data.substr(pos)).empty()) throw ParseError{"unexpected text after string"};
        v.type = REG_SZ;
        v.data.assign(text.begin(), text.end());
        v.data.push_back(0);
        return v;
    }
    std::string lower;
    for (char c : data) lower += Lower(c);
    if (lower.rfind("dword:", 0) == 0) {
        DWORD n;
        if (!ParseHexNumber(Trim(data.substr(6)), 8, &n)) throw ParseError{"malformed dword \"" + data + "\""};
        v.type = REG_DWORD;
        v.data = {static_cast<BYTE>(n), static_cast<BYTE>(n >> 8), static_cast<BYTE>(n >> 16),
                  static_cast<BYTE>(n >> 24)};
        return v;
    }
    if (lower.rfind("hex:", 0) == 0) {
        v.type = REG_BINARY;
        v.data = ParseHexBytes(data.substr(4));
        return v;
    }
    if (lower.rfind("hex(", 0) == 0) {
        size_t close = data.find("):", 4);
        if (close == std::string::npos || !ParseHexNumber(data.substr(4, close - 4), 8, &v.type))
            throw ParseError{"malformed value type in \"" + data + "\""};
        v.data = ParseHexBytes(data.substr(close + 2));
        return v;
    }
    throw ParseError{"unrecognised value data \"" + data + "\""};
}

// The key a section line names, made with the keys above it. *savedBytes
// counts what the keys made so far take in a saved file at least (their
// section lines), so that a small file cannot describe a tree too large to
// save or to hold.
Key *Section(const std::string &line, Roots *roots, size_t *savedBytes) {
    if (line.size() < 2 || line.back() != ']') throw ParseError{"malformed key section"};
    std::string path = line.substr(1, line.size() - 2);
    size_t slash = path.find('\\');
    std::string rootName = path.substr(0, slash);
    Key *key = nullptr;
    for (int i = 0; i < kRootCount; ++i) {
        if (EqualNoCase(rootName, kRootNames[i])) key = (*roots)[i].get();
    }
    if (!key) throw ParseError{"unknown root key \"" + rootName + "\""};
    // The whole path is checked before any key of it is made.
    std::vector<std::string> names;
    while (slash != std::string::npos) {
        size_t start = slash + 1;
        slash = path.find('\\', start);
        names.push_back(path.substr(start, slash == std::string::npos ? std::string::npos : slash - start));
        const std::string &name = names.back();
        if (name.empty()) throw ParseError{"empty key name in \"" + path.substr(0, 80) + "\""};
        if (name.size() > kMaxNameLength)
            throw ParseError{"key name longer than " + std::to_string(kMaxNameLength) + " characters"};
        if (key->depth + static_cast<int>(names.size()) > kMaxDepth)
            throw ParseError{"key more than " + std::to_string(kMaxDepth) + " levels deep"};
    }
    size_t pathLength = rootName.size();
    for (const std::string &name : names) {
        pathLength += 1 + name.size();
        auto it = key->subkeys.find(name);
        if (it == key->subkeys.end()) {
            *savedBytes += pathLength + 4;  // "[path]\n\n"
            if (*savedBytes > kMaxFileBytes)
                throw ParseError{"its keys would be saved as more than " +
                                 std::to_string(kMaxFileBytes) + " bytes"};
            auto sub = std::make_shared<Key>();
            sub->name = name;
            sub->parent = key;
            sub->depth = key->depth + 1;
            it = key->subkeys.emplace(name, std::move(sub)).first;
        }
        key = it->second.get();
    }
    return key;
}

void SetValue(Key *key, Value v) {
    if (Value *old = key->FindValue(v.name)) {
        old->type = v.type;
        old->data = std::move(v.data);
    } else {
        key->values.push_back(std::move(v));
    }
}

}  // namespace

bool NoCaseLess::operator()(const std::string &a, const std::string &b) const {
    size_t n = std::min(a.size(), b.size());
    for (size_t i = 0; i < n; ++i) {
        unsigned char x = Upper(a[i]), y = Upper(b[i]);
        if (x != y) return x < y;
    }
    return a.size() < b.size();
}

bool EqualNoCase(const std::string &a, const std::string &b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i) {
        if (Upper(a[i]) != Upper(b[i])) return false;
    }
    return true;
}

Key::~Key() {
    // Subkeys whose last owner goes are emptied before they go, so that no
    // destructor runs below another.
    std::vector<KeyPtr> pending;
    for (auto &[name, sub] : subkeys) pending.push_back(std::move(sub));
    subkeys.clear();
    while (!pending.empty()) {
        KeyPtr key = std::move(pending.back());
        pending.pop_back();
        if (key.use_count() > 1) continue;  // an open handle keeps it (and its subtree)
        for (auto &[name, sub] : key->subkeys) pending.push_back(std::move(sub));
        key->subkeys.clear();
    }
}

void MarkDeleted(Key &key) {
    key.deleted = true;
    key.parent = nullptr;
    std::vector<KeyPtr> pending;
    for (auto &[name, sub] : key.subkeys) pending.push_back(std::move(sub));
    key.subkeys.clear();
    while (!pending.empty()) {
        KeyPtr sub = std::move(pending.back());
        pending.pop_back();
        sub->deleted = true;
        sub->parent = nullptr;
        for (auto &[name, below] : sub->subkeys) pending.push_back(std::move(below));
        sub->subkeys.clear();
    }
}

Value *Key::FindValue(const std::string &valueName) {
    for (Value &v : values) {
        if (EqualNoCase(v.name, valueName)) return &v;
    }
    return nullptr;
}

const char *RootName(int index) { return kRootNames[index]; }

Roots NewRoots() {
    // Where Windows keeps the roots: \REGISTRY\MACHINE\SOFTWARE\Classes,
    // \REGISTRY\USER\<user>, \REGISTRY\MACHINE and \REGISTRY\USER.
    static const int depths[kRootCount] = {4, 3, 2, 2};
    Roots roots;
    for (int i = 0; i < kRootCount; ++i) {
        roots[i] = std::make_shared<Key>();
        roots[i]->name = kRootNames[i];
        roots[i]->depth = depths[i];
    }
    // HKEY_LOCAL_MACHINE\HARDWARE, which Windows builds anew at every boot:
    // volatile, so never in the file, and its subkeys must be volatile too.
    Key &machine = *roots[2];
    auto hardware = std::make_shared<Key>();
    hardware->name = "HARDWARE";
    hardware->parent = &machine;
    hardware->depth = machine.depth + 1;
    hardware->isVolatile = true;
    machine.subkeys[hardware->name] = std::move(hardware);
    return roots;
}

std::string Format(const Roots &roots, size_t limit) {
    std::string out = "REGEDIT4\n\n";
    for (int i = 0; i < kRootCount; ++i) AppendKey(out, *roots[i], kRootNames[i], true, limit);
    return out;
}

bool Parse(const std::string &text, Roots *roots, int *line, std::string *what) {
    std::vector<std::string> lines;
    for (size_t start = 0; start < text.size();) {
        size_t nl = text.find('\n', start);
        if (nl == std::string::npos) nl = text.size();
        lines.push_back(text.substr(start, nl - start));
        start = nl + 1;
    }
    *roots = NewRoots();
    size_t i = 0;
    try {
        if (lines.empty() || Trim(lines[0]) != "REGEDIT4") throw ParseError{"first line is not REGEDIT4"};
        Key *current = nullptr;
        size_t savedBytes = 0;
        for (i = 1; i < lines.size(); ++i) {
            std::string l = Trim(lines[i]);
            if (l.empty() || l[0] == ';') continue;
            if (l[0] == '[') {
                current = Section(l, roots, &savedBytes);
                continue;
            }
            if (l[0] != '"' && l[0] != '@') throw ParseError{"unrecognised line"};
            if (!current) throw ParseError{"value outside any key section"};
            size_t pos = 0;
            std::string name;
            if (l[0] == '"') {
                name = ParseQuoted(l, &pos);
            } else {
                pos = 1;
            }
            if (pos >= l.size() || l[pos] != '=') throw ParseError{"expected '=' after value name"};
            std::string data = Trim(l.substr(pos + 1));
            // Hex data continues on the next line after a trailing backslash.
            size_t first = i;
            while (!data.empty() && data.back() == '\\' && data[0] != '"') {
                if (++i >= lines.size()) {
                    i = first;
                    throw ParseError{"hex data continues past the end of the file"};
                }
                data.pop_back();
                data += Trim(lines[i]);
            }
            Value v;
            try {
                v = ParseData(data);
            } catch (ParseError &) {
                i = first;
                throw;
            }
            v.name = name;
            SetValue(current, std::move(v));
        }
    } catch (ParseError &e) {
        *line = static_cast<int>(i) + 1;
        *what = e.what;
        return false;
    }
    return true;
}

LoadResult Load(const std::string &path, Roots *roots, std::string *error) {
    FILE *f = std::fopen(path.c_str(), "rb");
    if (!f) {
        if (errno == ENOENT) return LoadResult::Missing;
        *error = path + ": cannot read: " + std::strerror(errno);
        return LoadResult::Damaged;
    }
    const std::string bound = std::to_string(kMaxFileBytes) + " bytes, the most a registry file holds";
    struct stat info {};
    if (fstat(fileno(f), &info) == 0 && static_cast<unsigned long long>(info.st_size) > kMaxFileBytes) {
        std::fclose(f);
        *error = path + ": " + std::to_string(info.st_size) + " bytes, more than " + bound;
        return LoadResult::Damaged;
    }
    std::string text;
    char buffer[4096];
    size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, f)) > 0 && text.size() <= kMaxFileBytes)
        text.append(buffer, n);
    bool failed = std::ferror(f);
    int err = errno;
    std::fclose(f);
    if (failed) {
        *error = path + ": cannot read: " + std::strerror(err);
        return LoadResult::Damaged;
    }
    if (text.size() > kMaxFileBytes) {
        *error = path + ": more than " + bound;
        return LoadResult::Damaged;
    }
    int line = 0;
    std::string what;
    if (!Parse(text, roots, &line, &what)) {
        *error = path + ":" + std::to_string(line) + ": " + what;
        return LoadResult::Damaged;
    }
    // Every key of a section path gets a section of its own when saved, so
    // a file can describe a tree that could never be saved again.
    if (Format(*roots, kMaxFileBytes).size() > kMaxFileBytes) {
        *error = path + ": it would be saved as more than " + bound;
        return LoadResult::Damaged;
    }
    return LoadResult::Loaded;
}

SaveResult Save(const std::string &path, const Roots &roots) {
    std::string text = Format(roots, kMaxFileBytes);
    if (text.size() > kMaxFileBytes) return SaveResult::TooLarge;
    std::string tmp = path + ".XXXXXX";
    int fd = mkstemp(tmp.data());
    if (fd < 0) return SaveResult::Failed;
    bool ok = fchmod(fd, 0644) == 0;
    for (size_t done = 0; ok && done < text.size();) {
        ssize_t w = write(fd, text.data() + done, text.size() - done);
        if (w < 0 && errno == EINTR) continue;
        ok = w > 0;
        if (ok) done += static_cast<size_t>(w);
    }
    ok = close(fd) == 0 && ok;
    ok = ok && std::rename(tmp.c_str(), path.c_str()) == 0;
    if (!ok) unlink(tmp.c_str());
    return ok ? SaveResult::Saved : SaveResult::Failed;
}

}  // namespace hostwin::regfile
