// hwrc's compiler (hwrc_compile.h): preprocessing, tokens, the dialog
// statements, compiled resource files and the output text.
#include "hwrc_compile.h"

#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <fstream>
#include <map>
#include <sstream>
#include <stdexcept>

namespace hwrc {
namespace {


#define C(name) {#name, static_cast<Value>(name)}
const std::map<std::string, Value> kConstants = {
    C(WS_OVERLAPPED), C(WS_POPUP), C(WS_CHILD), C(WS_MINIMIZE), C(WS_VISIBLE), C(WS_DISABLED),
    C(WS_CLIPSIBLINGS), C(WS_CLIPCHILDREN), C(WS_MAXIMIZE), C(WS_CAPTION), C(WS_BORDER),
    C(WS_DLGFRAME), C(WS_VSCROLL), C(WS_HSCROLL), C(WS_SYSMENU), C(WS_THICKFRAME), C(WS_GROUP),
    C(WS_TABSTOP), C(WS_EX_DLGMODALFRAME), C(WS_EX_NOPARENTNOTIFY), C(WS_EX_TOPMOST),
    C(WS_EX_TRANSPARENT), C(WS_EX_CLIENTEDGE), C(WS_EX_STATICEDGE), C(DS_ABSALIGN),
    C(DS_SYSMODAL), C(DS_3DLOOK), C(DS_FIXEDSYS), C(DS_NOFAILCREATE), C(DS_LOCALEDIT),
    C(DS_SETFONT), C(DS_MODALFRAME), C(DS_NOIDLEMSG), C(DS_SETFOREGROUND), C(DS_CONTROL),
    C(DS_CENTER), C(DS_CENTERMOUSE), C(DS_CONTEXTHELP), C(DS_SHELLFONT), C(BS_PUSHBUTTON),
    C(BS_DEFPUSHBUTTON), C(BS_CHECKBOX), C(BS_AUTOCHECKBOX), C(BS_RADIOBUTTON), C(BS_3STATE),
    C(BS_AUTO3STATE), C(BS_GROUPBOX), C(BS_USERBUTTON), C(BS_AUTORADIOBUTTON), C(BS_PUSHBOX),
    C(BS_OWNERDRAW), C(BS_LEFTTEXT), C(BS_LEFT), C(BS_RIGHT), C(BS_CENTER), C(BS_MULTILINE),
    C(SS_LEFT), C(SS_CENTER), C(SS_RIGHT), C(SS_NOPREFIX), C(SS_CENTERIMAGE), C(SS_SUNKEN),
    C(ES_LEFT), C(ES_CENTER), C(ES_RIGHT), C(ES_MULTILINE), C(ES_AUTOHSCROLL), C(ES_READONLY),
    C(CBS_SIMPLE), C(CBS_DROPDOWN), C(CBS_DROPDOWNLIST), C(CBS_OWNERDRAWFIXED),
    C(CBS_OWNERDRAWVARIABLE), C(CBS_AUTOHSCROLL), C(CBS_OEMCONVERT), C(CBS_SORT),
    C(CBS_HASSTRINGS), C(CBS_NOINTEGRALHEIGHT), C(CBS_DISABLENOSCROLL), C(LBS_NOTIFY),
    C(LBS_SORT), C(LBS_NOREDRAW), C(LBS_MULTIPLESEL), C(LBS_OWNERDRAWFIXED),
    C(LBS_OWNERDRAWVARIABLE), C(LBS_HASSTRINGS), C(LBS_USETABSTOPS), C(LBS_NOINTEGRALHEIGHT),
    C(LBS_MULTICOLUMN), C(LBS_WANTKEYBOARDINPUT), C(LBS_EXTENDEDSEL), C(LBS_DISABLENOSCROLL),
    C(LBS_NODATA), C(LBS_NOSEL), C(LBS_STANDARD), C(IDOK), C(IDCANCEL), C(IDABORT), C(IDRETRY),
    C(IDIGNORE), C(IDYES), C(IDNO), C(IDCLOSE), C(IDHELP),
    {"LANG_NEUTRAL", 0}, {"LANG_ENGLISH", 9}, {"SUBLANG_NEUTRAL", 0}, {"SUBLANG_DEFAULT", 1},
    {"SUBLANG_ENGLISH_US", 1},
};
#undef C

struct Token {
    enum Kind { Number, String, Word, Punct, End } kind;
    std::string text;
    Value value = 0;
};

[[noreturn]] void Error(const std::string &where, const std::string &what) {
    throw std::runtime_error(where + ": " + what);
}

// ---- preprocessing ------------------------------------------------------------

struct Preprocessor {
    std::vector<std::string> includeDirs;
    FileReader read;
    std::map<std::string, std::string> defines;
    std::string output;  // the resource statements, directives removed

    static std::string StripComments(const std::string &text) {
        std::string out;
        bool block = false, string = false;
        for (size_t i = 0; i < text.size(); ++i) {
            char c = text[i];
            if (block) {
                if (c == '*' && i + 1 < text.size() && text[i + 1] == '/') {
                    block = false;
                    ++i;
                    out += ' ';
                } else if (c == '\n') {
                    out += '\n';
                }
                continue;
            }
            if (string) {
                out += c;
                if (c == '"') string = false;
                continue;
            }
            if (c == '"') {
                string = true;
                out += c;
            } else if (c == '/' && i + 1 < text.size() && text[i + 1] == '/') {
                while (i < text.size() && text[i] != '\n') ++i;
                out += '\n';
            } else if (c == '/' && i + 1 < text.size() && text[i + 1] == '*') {
                block = true;
                ++i;
            } else {
                out += c;
            }
        }
        return out;
    }

    // The path of an included file and its text, or "" when none is found.
    std::string Find(const std::string &name, const std::string &from, std::string *text) const {
        std::vector<std::string> dirs;
        auto slash = from.rfind('/');
        dirs.push_back(slash == std::string::npos ? "." : from.substr(0, slash));
        dirs.insert(dirs.end(), includeDirs.begin(), includeDirs.end());
        for (const auto &dir : dirs) {
            std::string path = dir + "/" + name;
            if (read(path, text)) return path;
        }
        return {};
    }

    Value Evaluate(const std::string &expression, const std::string &where);

    // Preprocesses the text of the file at path.
    void Run(const std::string &source, const std::string &path, int depth = 0) {
        if (depth > 16) Error(path, "includes nested too deeply");
        std::string text = StripComments(source);
        // Conditional state: each level is (taking lines now, a branch was taken).
        std::vector<std::pair<bool, bool>> conditions;
        auto active = [&] {
            for (auto &c : conditions)
                if (!c.first) return false;
            return true;
        };
        std::istringstream lines(text);
        std::string line;
        int number = 0;
        while (std::getline(lines, line)) {
            const int first = ++number;
            while (!line.empty() && line.back() == '\\' && std::getline(lines, text)) {
                line.pop_back();
                line += text;
                ++number;
            }
            // A line break for every line read, directives included, so
            // that the statements keep their line numbers.
            const std::string breaks(static_cast<size_t>(number - first + 1), '\n');
            std::string where = path + ":" + std::to_string(number);
            size_t start = line.find_first_not_of(" \t\r");
            if (start == std::string::npos || line[start] != '#') {
                output += active() ? line + breaks : breaks;
                continue;
            }
            output += breaks;
            std::istringstream directive(line.substr(start + 1));
            std::string name, rest;
            directive >> name;
            std::getline(directive, rest);
            auto trim = [](std::string s) {
                s.erase(0, s.find_first_not_of(" \t\r"));
                s.erase(s.find_last_not_of(" \t\r") + 1);
                return s;
            };
            rest = trim(rest);
            if (name == "if" || name == "ifdef" || name == "ifndef") {
                bool take = false;
                if (active()) {
                    if (name == "if")
                        take = Evaluate(rest, where) != 0;
                    else
                        take = (defines.count(rest) != 0) == (name == "ifdef");
                }
                conditions.push_back({take, take});
            } else if (name == "elif" || name == "else") {
                if (conditions.empty()) Error(where, "#" + name + " without #if");
                auto &c = conditions.back();
                conditions.pop_back();
                bool outer = active();
                bool take = outer && !c.second && (name == "else" || Evaluate(rest, where) != 0);
                conditions.push_back({take, c.second || take});
            } else if (name == "endif") {
                if (conditions.empty()) Error(where, "#endif without #if");
                conditions.pop_back();
            } else if (!active()) {
                continue;
            } else if (name == "include") {
                if (rest.size() > 2 && rest.front() == '"') {
                    std::string file = rest.substr(1, rest.find('"', 1) - 1);
                    std::string header;
                    std::string found = Find(file, path, &header);
                    if (found.empty()) Error(where, "cannot find " + file);
                    std::string saved;
                    saved.swap(output);
                    Run(header, found, depth + 1);
                    output.swap(saved);  // a header adds definitions, no statements
                }
            } else if (name == "define") {
                size_t end = rest.find_first_of(" \t(");
                std::string macro = rest.substr(0, end);
                if (end != std::string::npos && rest[end] == '(')
                    Error(where, "function-like macros are not supported");
                defines[macro] = end == std::string::npos ? "" : trim(rest.substr(end));
            } else if (name == "undef") {
                defines.erase(rest);
            } else if (name != "pragma") {
                Error(where, "unknown directive #" + name);
            }
        }
        if (!conditions.empty()) Error(path, "#if without #endif");
    }
};

// ---- tokens and expressions ------------------------------------------------------

// Bounds of a script's expressions and macro expansions.
constexpr int kMaxNesting = 256;
constexpr size_t kMaxExpandedTokens = size_t{1} << 14;

class Lexer {
public:
    Lexer(std::string text, const Preprocessor &pp, std::string file)
        : text_(std::move(text)), pp_(pp), file_(std::move(file)) {}

    const Token &Peek() {
        Fill();
        return pending_.front();
    }
    Token Next() {
        Fill();
        Token t = pending_.front();
        pending_.pop_front();
        return t;
    }
    bool Accept(const char *text) {
        const Token &t = Peek();
        if ((t.kind == Token::Punct || t.kind == Token::Word) && t.text == text) {
            Next();
            return true;
        }
        return false;
    }
    void Expect(const char *text) {
        if (!Accept(text)) Error(Where(), std::string("expected ") + text + ", found '" +
                                              Peek().text + "'");
    }
    std::string Where() const { return file_ + ":" + std::to_string(line_); }

    // expr := or; or := and ('|' and)*; and := add ('&' add)*; add := unary (('+'|'-') unary)*
    // Sums and negations wrap around instead of overflowing.
    Value Expression() { return Or(); }
    Value Unary() {
        // Every nesting passes here: a deep one ends with a message, not with the stack.
        if (nesting_ >= kMaxNesting) Error(Where(), "expression nested too deeply");
        ++nesting_;
        Value v = Term();
        --nesting_;
        return v;
    }
    Value Term() {
        if (Accept("-")) return Wrapped(0, Unary(), -1);
        if (Accept("~")) return ~Unary();
        if (Accept("!")) return !Unary();
        if (Accept("(")) {
            Value v = Expression();
            Expect(")");
            return v;
        }
        Token t = Next();
        if (t.kind == Token::Number) return t.value;
        if (t.kind == Token::Word) {
            if (t.text == "defined") {
                // The name is taken as it stands, not expanded.
                expand_ = false;
                bool paren = Accept("(");
                Token name = Next();
                expand_ = true;
                if (paren) Expect(")");
                return pp_.defines.count(name.text) || kConstants.count(name.text) ? 1 : 0;
            }
            auto it = kConstants.find(t.text);
            if (it != kConstants.end()) return it->second;
        }
        Error(Where(), "expected a number, found '" + t.text + "'");
    }
    // A style list: terms ORed in, NOT terms cleared.
    Value Styles(Value style) {
        do {
            bool clear = Accept("NOT");
            Value v = Add();
            style = clear ? (style & ~v) : (style | v);
        } while (Accept("|"));
        return style;
    }
    std::string Text() {
        Token t = Next();
        if (t.kind != Token::String) Error(Where(), "expected a string, found '" + t.text + "'");
        return t.text;
    }

private:
    Value Or() {
        Value v = And();
        while (Accept("|")) v |= And();
        return v;
    }
    Value And() {
        Value v = Add();
        while (Accept("&")) v &= Add();
        return v;
    }
    Value Add() {
        Value v = Unary();
        for (;;) {
            if (Accept("+"))
                v = Wrapped(v, Unary(), 1);
            else if (Accept("-"))
                v = Wrapped(v, Unary(), -1);
            else
                return v;
        }
    }

    // a + sign x b in 64-bit two's complement.
    static Value Wrapped(Value a, Value b, int sign) {
        const auto x = static_cast<unsigned long long>(a), y = static_cast<unsigned long long>(b);
        return static_cast<Value>(sign > 0 ? x + y : x - y);
    }

    void Fill() {
        while (pending_.empty()) {
            Token t = Scan();
            auto it = pp_.defines.find(t.text);
            if (expand_ && t.kind == Token::Word && it != pp_.defines.end() && expanding_ < 32) {
                // A macro's tokens replace it, expanded again in turn. The
                // tokens that expansions make are counted over the whole
                // text, so that macros that double at each level end with
                // a message.
                ++expanding_;
                Lexer inner(it->second, pp_, file_);
                inner.expanding_ = expanding_;
                inner.expanded_ = expanded_;
                inner.line_ = line_;  // messages name the line of the use
                std::vector<Token> tokens;
                while (inner.Peek().kind != Token::End) {
                    tokens.push_back(inner.Next());
                    if (++*expanded_ > kMaxExpandedTokens) Error(Where(), "macro expansion too large");
                }
                --expanding_;
                if (tokens.empty()) continue;
                pending_.assign(tokens.begin(), tokens.end());
                return;
            }
            pending_.push_back(t);
        }
    }

    Token Scan() {
        while (pos_ < text_.size() && std::isspace(static_cast<unsigned char>(text_[pos_]))) {
            if (text_[pos_] == '\n') ++line_;
            ++pos_;
        }
        if (pos_ >= text_.size()) return {Token::End, "<end>"};
        char c = text_[pos_];
        if (c == '"') return ScanString();
        if (std::isdigit(static_cast<unsigned char>(c))) {
            size_t end = pos_;
            Value v = std::strtoll(text_.c_str() + pos_, nullptr, 0);
            while (end < text_.size() && std::isalnum(static_cast<unsigned char>(text_[end])))
                ++end;
            Token t{Token::Number, text_.substr(pos_, end - pos_), v};
            pos_ = end;
            return t;
        }
        if (std::isalpha(static_cast<unsigned char>(c)) || c == '_') {
            size_t end = pos_;
            while (end < text_.size() &&
                   (std::isalnum(static_cast<unsigned char>(text_[end])) || text_[end] == '_'))
                ++end;
            Token t{Token::Word, text_.substr(pos_, end - pos_)};
            pos_ = end;
            return t;
        }
        ++pos_;
        return {Token::Punct, std::string(1, c)};
    }

    Token ScanString() {
        std::string s;
        ++pos_;
        for (;;) {
            if (pos_ >= text_.size()) Error(Where(), "unterminated string");
            char c = text_[pos_++];
            if (c == '"') {
                if (pos_ < text_.size() && text_[pos_] == '"') {
                    s += '"';
                    ++pos_;
                    continue;
                }
                break;
            }
            if (c == '\\' && pos_ < text_.size()) {
                char e = text_[pos_++];
                s += e == 't' ? '\t' : e == 'n' ? '\n' : e == 'r' ? '\r' : e == 'a' ? '\b' : e;
                continue;
            }
            s += c;
        }
        return {Token::String, s};
    }

    std::string text_;
    const Preprocessor &pp_;
    std::string file_;
    size_t pos_ = 0;
    int line_ = 1;
    int expanding_ = 0;
    bool expand_ = true;  // macros are expanded as they are scanned
    int nesting_ = 0;
    size_t ownExpanded_ = 0;
    size_t *expanded_ = &ownExpanded_;  // the outermost lexer's count
    std::deque<Token> pending_;  // taken from the front
};

Value Preprocessor::Evaluate(const std::string &expression, const std::string &where) {
    Lexer lexer(expression, *this, where);
    return lexer.Expression();
}

// ---- dialogs ---------------------------------------------------------------------------
// Control statements: class, default style, whether the statement has a
// text, and the style that a given style list ORs into instead of the
// default, as windres has it: the text statements drop WS_GROUP, the radio
// and three-state buttons WS_TABSTOP, COMBOBOX keeps nothing of its own.
struct Statement {
    const char *keyword;
    const char *className;
    Value style;
    bool hasText;
    Value listStyle;
};

const Statement kStatements[] = {
    {"LTEXT", "STATIC", SS_LEFT | WS_GROUP, true, SS_LEFT},
    {"RTEXT", "STATIC", SS_RIGHT | WS_GROUP, true, SS_RIGHT},
    {"CTEXT", "STATIC", SS_CENTER | WS_GROUP, true, SS_CENTER},
    {"PUSHBUTTON", "BUTTON", BS_PUSHBUTTON | WS_TABSTOP, true, BS_PUSHBUTTON | WS_TABSTOP},
    {"DEFPUSHBUTTON", "BUTTON", BS_DEFPUSHBUTTON | WS_TABSTOP, true, BS_DEFPUSHBUTTON | WS_TABSTOP},
    {"CHECKBOX", "BUTTON", BS_CHECKBOX | WS_TABSTOP, true, BS_CHECKBOX | WS_TABSTOP},
    {"AUTOCHECKBOX", "BUTTON", BS_AUTOCHECKBOX | WS_TABSTOP, true, BS_AUTOCHECKBOX | WS_TABSTOP},
    {"RADIOBUTTON", "BUTTON", BS_RADIOBUTTON | WS_TABSTOP, true, BS_RADIOBUTTON},
    {"AUTORADIOBUTTON", "BUTTON", BS_AUTORADIOBUTTON | WS_TABSTOP, true, BS_AUTORADIOBUTTON},
    {"STATE3", "BUTTON", BS_3STATE | WS_TABSTOP, true, BS_3STATE},
    {"AUTO3STATE", "BUTTON", BS_AUTO3STATE | WS_TABSTOP, true, BS_AUTO3STATE},
    {"GROUPBOX", "BUTTON", BS_GROUPBOX, true, BS_GROUPBOX},
    {"EDITTEXT", "EDIT", ES_LEFT | WS_BORDER | WS_TABSTOP, false, ES_LEFT | WS_BORDER | WS_TABSTOP},
    {"COMBOBOX", "COMBOBOX", CBS_SIMPLE | WS_TABSTOP, false, 0},
    {"LISTBOX", "LISTBOX", LBS_NOTIFY | WS_BORDER, false, LBS_NOTIFY | WS_BORDER},
};

// "x, y, cx, cy".
void Rectangle(Lexer &lx, Value *x, Value *y, Value *cx, Value *cy) {
    Value *fields[] = {x, y, cx, cy};
    for (int i = 0; i < 4; ++i) {
        if (i) lx.Expect(",");
        *fields[i] = lx.Expression();
    }
}

std::string Upper(std::string s) {
    for (char &c : s) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return s;
}

Control ParseControl(Lexer &lx, const std::string &keyword) {
    Control c;
    if (keyword == "CONTROL") {
        c.text = lx.Peek().kind == Token::String ? lx.Text() : std::to_string(lx.Expression());
        lx.Expect(",");
        c.id = lx.Expression();
        lx.Expect(",");
        Token cls = lx.Next();
        if (cls.kind != Token::String && cls.kind != Token::Word)
            Error(lx.Where(), "expected a control class");
        c.className = Upper(cls.text);
        lx.Expect(",");
        c.style = lx.Styles(WS_CHILD | WS_VISIBLE);
        lx.Expect(",");
        Rectangle(lx, &c.x, &c.y, &c.cx, &c.cy);
        if (lx.Accept(",")) c.exStyle = lx.Styles(0);
        if (lx.Accept(",")) lx.Expression();  // help ID
        return c;
    }
    const Statement *s = nullptr;
    for (const auto &candidate : kStatements)
        if (keyword == candidate.keyword) s = &candidate;
    if (!s) Error(lx.Where(), "unknown control statement " + keyword);
    c.className = s->className;
    if (s->hasText) {
        c.text = lx.Text();
        lx.Expect(",");
    }
    c.id = lx.Expression();
    lx.Expect(",");
    Rectangle(lx, &c.x, &c.y, &c.cx, &c.cy);
    c.style = s->style | WS_CHILD | WS_VISIBLE;
    if (lx.Accept(","))
        c.style = lx.Styles(s->listStyle | WS_CHILD | WS_VISIBLE);
    if (lx.Accept(",")) c.exStyle = lx.Styles(0);
    if (lx.Accept(",")) lx.Expression();  // help ID
    return c;
}

Dialog ParseDialog(Lexer &lx, Value id, bool extended) {
    Dialog d;
    d.id = id;
    // Memory flags: accepted in any order, without effect.
    for (bool more = true; more;) {
        more = false;
        for (const char *flag : {"MOVEABLE", "FIXED", "PURE", "IMPURE", "PRELOAD", "LOADONCALL",
                                 "DISCARDABLE"})
            more = lx.Accept(flag) || more;
    }
    Rectangle(lx, &d.x, &d.y, &d.cx, &d.cy);
    if (extended && lx.Accept(",")) lx.Expression();  // help ID
    for (;;) {
        if (lx.Accept("STYLE")) {
            d.style = lx.Styles(0);
        } else if (lx.Accept("EXSTYLE")) {
            d.exStyle = lx.Styles(0);
        } else if (lx.Accept("CAPTION")) {
            d.caption = lx.Text();
            d.style |= WS_CAPTION;
        } else if (lx.Accept("FONT")) {
            d.fontSize = lx.Expression();
            lx.Expect(",");
            d.fontName = lx.Text();
            while (lx.Accept(",")) lx.Expression();  // weight, italic, character set
            d.style |= DS_SETFONT;
        } else if (lx.Accept("LANGUAGE")) {
            lx.Expression();
            lx.Expect(",");
            lx.Expression();
        } else {
            break;
        }
    }
    if (!lx.Accept("BEGIN")) lx.Expect("{");
    for (;;) {
        if (lx.Accept("END") || lx.Accept("}")) break;
        Token keyword = lx.Next();
        if (keyword.kind != Token::Word) Error(lx.Where(), "expected a control statement");
        d.controls.push_back(ParseControl(lx, keyword.text));
    }
    return d;
}

std::vector<Dialog> Parse(Lexer &lx) {
    std::vector<Dialog> dialogs;
    while (lx.Peek().kind != Token::End) {
        if (lx.Accept("LANGUAGE")) {
            lx.Expression();
            lx.Expect(",");
            lx.Expression();
            continue;
        }
        Value id = lx.Expression();
        Token type = lx.Next();
        if (type.text == "DIALOG" || type.text == "DIALOGEX")
            dialogs.push_back(ParseDialog(lx, id, type.text == "DIALOGEX"));
        else
            Error(lx.Where(), "unsupported resource type " + type.text);
    }
    return dialogs;
}

// ---- compiled resources (.res) -----------------------------------------------------

// Reads the dialogs of a 32-bit resource file, as the Windows resource
// compilers write it: --dump of a .res shows what a compiler made of a script.
class ResReader {
public:
    explicit ResReader(std::string data) : data_(std::move(data)) {}

    std::vector<Dialog> Dialogs() {
        std::vector<Dialog> dialogs;
        while (pos_ + 8 <= data_.size()) {
            size_t start = pos_;
            DWORD dataSize = Dword(), headerSize = Dword();
            Value type = 0, name = 0;
            bool typeIsNumber = NameOrOrdinal(&type), nameIsNumber = NameOrOrdinal(&name);
            // The header holds at least what was read of it, so each record
            // moves the reader on.
            if (headerSize < pos_ - start) Error("resource file", "malformed resource header");
            pos_ = start + headerSize;
            size_t end = pos_ + dataSize;
            if (end > data_.size()) Error("resource file", "truncated");
            if (typeIsNumber && type == 5) {
                if (!nameIsNumber) Error("resource file", "named dialogs are not supported");
                dialogs.push_back(ReadDialog(name));
            }
            pos_ = (end + 3) & ~size_t(3);
        }
        return dialogs;
    }

private:
    Value Word() {
        if (pos_ + 2 > data_.size()) Error("resource file", "truncated");
        Value v = static_cast<unsigned char>(data_[pos_]) |
                  static_cast<unsigned char>(data_[pos_ + 1]) << 8;
        pos_ += 2;
        return v;
    }
    Value Short() {
        Value v = Word();
        return v >= 0x8000 ? v - 0x10000 : v;
    }
    DWORD Dword() {
        Value low = Word();
        return static_cast<DWORD>(low | Word() << 16);
    }
    std::string Wide() {
        std::string s;
        while (Value c = Word()) s += static_cast<char>(c < 0x80 ? c : '?');
        return s;
    }
    // sz_Or_Ord: a number (0xFFFF then the ordinal) or a string; 0 alone is none.
    bool NameOrOrdinal(Value *number, std::string *text = nullptr) {
        Value first = Word();
        if (first == 0xFFFF) {
            *number = Word();
            return true;
        }
        *number = 0;
        if (first == 0) return false;
        pos_ -= 2;
        std::string s = Wide();
        if (text) *text = s;
        return false;
    }
    void Align() { pos_ = (pos_ + 3) & ~size_t(3); }
    // The styles of a template or an item: the extended form has a help
    // ID first and the extended style before the style.
    void Styles(bool extended, Value *style, Value *exStyle) {
        if (extended) Dword();  // help ID
        Value first = Dword(), second = Dword();
        *style = extended ? second : first;
        *exStyle = extended ? first : second;
    }

    Dialog ReadDialog(Value id) {
        Dialog d;
        d.id = id;
        Value menu;
        // DIALOGEX starts with version 1 and signature 0xFFFF; DIALOG with its style.
        const Value version = Word(), signature = Word();
        const bool extended = version == 1 && signature == 0xFFFF;
        if (!extended) pos_ -= 4;
        Styles(extended, &d.style, &d.exStyle);
        Value count = Word();
        d.x = Short();
        d.y = Short();
        d.cx = Short();
        d.cy = Short();
        NameOrOrdinal(&menu);
        NameOrOrdinal(&menu);  // window class
        d.caption = Wide();
        if (d.style & DS_SETFONT) {
            d.fontSize = Word();
            if (extended) {
                Word();  // weight
                Word();  // italic, character set
            }
            d.fontName = Wide();
        }
        for (Value i = 0; i < count; ++i) {
            Align();
            Control c;
            Styles(extended, &c.style, &c.exStyle);
            c.x = Short();
            c.y = Short();
            c.cx = Short();
            c.cy = Short();
            c.id = extended ? static_cast<Value>(Dword()) : Word();
            Value atom;
            std::string className, text;
            if (NameOrOrdinal(&atom, &className)) {
                static const char *const kAtoms[] = {"BUTTON", "EDIT", "STATIC", "LISTBOX",
                                                     "SCROLLBAR", "COMBOBOX"};
                className = atom >= 0x80 && atom <= 0x85 ? kAtoms[atom - 0x80] : "#" +
                                                                                      std::to_string(atom);
            }
            c.className = Upper(className);
            Value ordinal;
            if (NameOrOrdinal(&ordinal, &text)) text = std::to_string(ordinal);
            c.text = text;
            pos_ += Word();  // creation data
            d.controls.push_back(c);
        }
        return d;
    }

    std::string data_;
    size_t pos_ = 0;
};

// ---- output --------------------------------------------------------------------------------

std::string Literal(const std::string &s) {
    std::string out = "\"";
    for (unsigned char c : s) {
        if (c == '"' || c == '\\') {
            out += '\\';
            out += static_cast<char>(c);
        } else if (c == '\t') {
            out += "\\t";
        } else if (c == '\n') {
            out += "\\n";
        } else if (c < 0x20 || c >= 0x7f) {
            char octal[8];
            std::snprintf(octal, sizeof octal, "\\%03o", c);
            out += octal;
        } else {
            out += static_cast<char>(c);
        }
    }
    return out + "\"";
}

std::string Hex(Value v) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%08llX", static_cast<unsigned long long>(v) & 0xFFFFFFFFu);
    return text;
}

// The id of a control as the template stores it: a 16-bit value, 0xFFFF read as -1.
Value ControlId(Value id) {
    id &= 0xFFFF;
    return id == 0xFFFF ? -1 : id;
}

}  // namespace

std::string Dump(const std::vector<Dialog> &dialogs) {
    std::string out;
    for (const auto &d : dialogs) {
        out += "dialog " + std::to_string(d.id) + " style=" + Hex(d.style) + " exstyle=" +
               Hex(d.exStyle) + " at " + std::to_string(d.x) + "," + std::to_string(d.y) + "," +
               std::to_string(d.cx) + "," + std::to_string(d.cy) + " caption=" +
               Literal(d.caption) + " font=" + std::to_string(d.fontSize) + "," +
               Literal(d.fontName) + "\n";
        for (const auto &c : d.controls)
            out += "  " + c.className + " " + std::to_string(ControlId(c.id)) + " style=" +
                   Hex(c.style) + " exstyle=" + Hex(c.exStyle) + " at " + std::to_string(c.x) +
                   "," + std::to_string(c.y) + "," + std::to_string(c.cx) + "," +
                   std::to_string(c.cy) + " text=" + Literal(c.text) + "\n";
    }
    return out;
}

std::string Source(const std::vector<Dialog> &dialogs, const std::string &symbol,
                   const std::string &input) {
    std::string out = "// Generated by hwrc from " + input + "; do not edit.\n";
    out += "#include <hostwin_ui.h>\n\nnamespace {\n\n";
    for (const auto &d : dialogs) {
        if (d.controls.empty()) continue;
        out += "const HW_DIALOG_ITEM kItems" + std::to_string(d.id) + "[] = {\n";
        for (const auto &c : d.controls)
            out += "    {" + Literal(c.className) + ", " + Literal(c.text) + ", " +
                   std::to_string(ControlId(c.id)) + ", " + Hex(c.style) + "u, " +
                   Hex(c.exStyle) + "u, " + std::to_string(c.x) + ", " + std::to_string(c.y) +
                   ", " + std::to_string(c.cx) + ", " + std::to_string(c.cy) + "},\n";
        out += "};\n\n";
    }
    out += "const HW_DIALOG_TEMPLATE kDialogs[] = {\n";
    for (const auto &d : dialogs) {
        std::string items = d.controls.empty() ? "nullptr" : "kItems" + std::to_string(d.id);
        out += "    {" + std::to_string(d.id) + ", " + Literal(d.caption) + ", " + Hex(d.style) +
               "u, " + Hex(d.exStyle) + "u, " + std::to_string(d.x) + ", " + std::to_string(d.y) +
               ", " + std::to_string(d.cx) + ", " + std::to_string(d.cy) + ", " +
               (d.fontName.empty() ? std::string("nullptr") : Literal(d.fontName)) + ", " +
               std::to_string(d.fontSize) + ", " + std::to_string(d.controls.size()) + ", " +
               items + "},\n";
    }
    out += "};\n\n}  // namespace\n\n";
    out += "extern \"C\" const HW_RESOURCES " + symbol + " = {" + std::to_string(dialogs.size()) +
           ", kDialogs};\n";
    return out;
}

bool ReadWholeFile(const std::string &path, std::string *text) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return false;
    std::stringstream buffer;
    buffer << in.rdbuf();
    *text = buffer.str();
    return true;
}

std::vector<Dialog> CompileScript(const std::string &text, const std::string &path,
                                  const std::vector<std::string> &includeDirs,
                                  const FileReader &read) {
    Preprocessor pp;
    pp.includeDirs = includeDirs;
    pp.read = read;
    pp.defines["RC_INVOKED"] = "1";
    pp.Run(text, path);
    Lexer lexer(pp.output, pp, path);
    return Parse(lexer);
}

std::vector<Dialog> ReadCompiled(const std::string &data) { return ResReader(data).Dialogs(); }

}  // namespace hwrc
