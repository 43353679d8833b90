// hwrc's compiler: the dialog templates of a Windows resource script (or of
// a compiled 32-bit .res file) as records, and the text that hwrc writes for
// them. Understood in a script: comments, #include (quoted files are read for
// their #define lines; system headers are known through the constants of the
// compiler), #define, #undef, #if/#ifdef/#ifndef/#elif/#else/#endif,
// LANGUAGE, and DIALOG and DIALOGEX resources with STYLE, EXSTYLE, CAPTION,
// FONT and the control statements. The statements' default styles are those
// of the Windows resource compilers (WS_CHILD | WS_VISIBLE plus the
// statement's own); a style list ORs into them (into fewer for some
// statements, as windres has it) and NOT clears bits.
#pragma once

#include <windows.h>

#include <functional>
#include <string>
#include <vector>

namespace hwrc {

using Value = long long;

struct Control {
    std::string className;
    std::string text;
    Value id = -1;
    Value style = 0, exStyle = 0;
    Value x = 0, y = 0, cx = 0, cy = 0;
};

struct Dialog {
    Value id = 0;
    std::string caption;
    Value style = WS_POPUP | WS_BORDER | WS_SYSMENU, exStyle = 0;
    Value x = 0, y = 0, cx = 0, cy = 0;
    std::string fontName;
    Value fontSize = 0;
    std::vector<Control> controls;
};

// Reads a file whole into *text; false when it cannot be read.
using FileReader = std::function<bool(const std::string &path, std::string *text)>;
bool ReadWholeFile(const std::string &path, std::string *text);

// The dialogs of a resource script. `text` is the script; `path` names it in
// messages, and its folder is searched first for the files of quoted
// #include lines, then includeDirs; `read` reads those files. Faults throw
// std::runtime_error with "file:line: what".
std::vector<Dialog> CompileScript(const std::string &text, const std::string &path,
                                  const std::vector<std::string> &includeDirs,
                                  const FileReader &read = ReadWholeFile);

// The dialogs of a compiled resource file, as the Windows resource compilers
// write it. Faults throw std::runtime_error.
std::vector<Dialog> ReadCompiled(const std::string &data);

// The templates as text, one line per dialog and per control (--dump).
std::string Dump(const std::vector<Dialog> &dialogs);

// The templates as a C++ source defining the HW_RESOURCES `symbol`
// (hostwin_ui.h); `input` names the script in its opening comment.
std::string Source(const std::vector<Dialog> &dialogs, const std::string &symbol,
                   const std::string &input);

}  // namespace hwrc
