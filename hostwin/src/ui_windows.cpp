// Windows and controls of the headless user interface: creation from a
// template, the state each control keeps, the messages it answers, and the
// window functions of winuser.h.
#include "ui_internal.h"

#include <algorithm>
#include <cstring>
#include <strings.h>
#include <unordered_set>

namespace hostwin::ui {
namespace {

std::unordered_set<HWND> &Live() {
    static auto *live = new std::unordered_set<HWND>;
    return *live;
}

Kind KindOf(const std::string &className, DWORD style) {
    auto is = [&](const char *name) { return strcasecmp(className.c_str(), name) == 0; };
    if (is("BUTTON")) {
        switch (style & BS_TYPEMASK) {
        case BS_PUSHBUTTON:
        case BS_DEFPUSHBUTTON:
            return Kind::PushButton;
        case BS_CHECKBOX:
        case BS_AUTOCHECKBOX:
        case BS_3STATE:
        case BS_AUTO3STATE:
            return Kind::CheckBox;
        case BS_RADIOBUTTON:
        case BS_AUTORADIOBUTTON:
            return Kind::RadioButton;
        case BS_GROUPBOX:
            return Kind::GroupBox;
        default:
            return Kind::Other;
        }
    }
    if (is("STATIC")) return Kind::Static;
    if (is("COMBOBOX")) return Kind::ComboBox;
    if (is("LISTBOX")) return Kind::ListBox;
    if (is("EDIT")) return Kind::Edit;
    return Kind::Other;
}

const char *KindName(const Window &w) {
    switch (w.kind) {
    case Kind::Dialog: return "dialog";
    case Kind::PushButton: return "button";
    case Kind::CheckBox: return "checkbox";
    case Kind::RadioButton: return "radio";
    case Kind::GroupBox: return "groupbox";
    case Kind::Static: return "static";
    case Kind::ComboBox: return "combobox";
    case Kind::ListBox: return "listbox";
    case Kind::Edit: return "edit";
    case Kind::Other: break;
    }
    return "control";
}

bool HasItems(const Window &w) { return w.kind == Kind::ComboBox || w.kind == Kind::ListBox; }

bool StartsWithNoCase(const std::string &text, const char *prefix) {
    size_t n = std::strlen(prefix);
    return text.size() >= n && strncasecmp(text.c_str(), prefix, n) == 0;
}

// CB_FINDSTRING and its kin: search after `start` (-1: from the top), wrapping.
int FindItem(const Window &w, WPARAM start, LPARAM text, bool exact) {
    if (!text) return CB_ERR;
    const char *wanted = reinterpret_cast<const char *>(text);
    int count = static_cast<int>(w.items.size());
    int first = static_cast<int>(start);
    if (first < -1 || first >= count) first = -1;
    for (int step = 1; step <= count; ++step) {
        int index = (first + step) % count;
        const std::string &item = w.items[index].text;
        if (exact ? strcasecmp(item.c_str(), wanted) == 0 : StartsWithNoCase(item, wanted))
            return index;
    }
    return CB_ERR;
}

LRESULT InsertItem(Window &w, int index, LPARAM text) {
    Item item{text ? reinterpret_cast<const char *>(text) : "", 0};
    int count = static_cast<int>(w.items.size());
    if (index == -1) {
        index = count;
        bool sorted = (w.kind == Kind::ComboBox && (w.style & CBS_SORT)) ||
                      (w.kind == Kind::ListBox && (w.style & LBS_SORT));
        if (sorted) {
            index = 0;
            while (index < count && strcasecmp(w.items[index].text.c_str(), item.text.c_str()) <= 0)
                ++index;
        }
    }
    if (index < 0 || index > count) return CB_ERR;
    w.items.insert(w.items.begin() + index, std::move(item));
    if (w.selection >= index) ++w.selection;
    return index;
}

LRESULT DeleteItem(Window &w, WPARAM wParam) {
    int index = static_cast<int>(wParam);
    if (index < 0 || index >= static_cast<int>(w.items.size())) return CB_ERR;
    w.items.erase(w.items.begin() + index);
    if (w.selection == index)
        w.selection = -1;
    else if (w.selection > index)
        --w.selection;
    return static_cast<LRESULT>(w.items.size());
}

LRESULT SetSelection(Window &w, WPARAM wParam) {
    int index = static_cast<int>(wParam);
    if (index < 0 || index >= static_cast<int>(w.items.size())) {
        w.selection = -1;
        if (w.kind == Kind::ComboBox) w.text.clear();
        return CB_ERR;
    }
    w.selection = index;
    if (w.kind == Kind::ComboBox) w.text = w.items[index].text;
    return index;
}

LRESULT CopyText(const std::string &text, LPARAM buffer) {
    if (!buffer) return CB_ERR;
    std::memcpy(reinterpret_cast<char *>(buffer), text.c_str(), text.size() + 1);
    return static_cast<LRESULT>(text.size());
}

bool ValidIndex(const Window &w, WPARAM wParam) {
    int index = static_cast<int>(wParam);
    return index >= 0 && index < static_cast<int>(w.items.size());
}

// The messages shared by combo and list boxes, by their combo-box codes.
LRESULT ItemMessage(Window &w, UINT msg, WPARAM wParam, LPARAM lParam) {
    switch (msg) {
    case CB_ADDSTRING:
        return InsertItem(w, -1, lParam);
    case CB_INSERTSTRING:
        return InsertItem(w, static_cast<int>(wParam) == -1 ? static_cast<int>(w.items.size())
                                                             : static_cast<int>(wParam),
                          lParam);
    case CB_DELETESTRING:
        return DeleteItem(w, wParam);
    case CB_RESETCONTENT:
        w.items.clear();
        w.selection = -1;
        if (w.kind == Kind::ComboBox) w.text.clear();
        return CB_OKAY;
    case CB_SETCURSEL:
        return SetSelection(w, wParam);
    case CB_GETCURSEL:
        return w.selection;
    case CB_GETCOUNT:
        return static_cast<LRESULT>(w.items.size());
    case CB_GETLBTEXT:
        return ValidIndex(w, wParam) ? CopyText(w.items[wParam].text, lParam) : CB_ERR;
    case CB_GETLBTEXTLEN:
        return ValidIndex(w, wParam) ? static_cast<LRESULT>(w.items[wParam].text.size()) : CB_ERR;
    case CB_SETITEMDATA:
        if (!ValidIndex(w, wParam)) return CB_ERR;
        w.items[wParam].data = lParam;
        return CB_OKAY;
    case CB_GETITEMDATA:
        return ValidIndex(w, wParam) ? w.items[wParam].data : CB_ERR;
    case CB_FINDSTRING:
        return FindItem(w, wParam, lParam, false);
    case CB_FINDSTRINGEXACT:
        return FindItem(w, wParam, lParam, true);
    case CB_SELECTSTRING: {
        int index = FindItem(w, wParam, lParam, false);
        if (index != CB_ERR) SetSelection(w, index);
        return index;
    }
    default:
        return CB_ERR;
    }
}

// List-box codes to their combo-box counterparts.
UINT ListToCombo(UINT msg) {
    switch (msg) {
    case LB_ADDSTRING: return CB_ADDSTRING;
    case LB_INSERTSTRING: return CB_INSERTSTRING;
    case LB_DELETESTRING: return CB_DELETESTRING;
    case LB_RESETCONTENT: return CB_RESETCONTENT;
    case LB_SETCURSEL: return CB_SETCURSEL;
    case LB_GETCURSEL: return CB_GETCURSEL;
    case LB_GETCOUNT: return CB_GETCOUNT;
    case LB_GETTEXT: return CB_GETLBTEXT;
    case LB_GETTEXTLEN: return CB_GETLBTEXTLEN;
    case LB_SETITEMDATA: return CB_SETITEMDATA;
    case LB_GETITEMDATA: return CB_GETITEMDATA;
    case LB_FINDSTRING: return CB_FINDSTRING;
    case LB_FINDSTRINGEXACT: return CB_FINDSTRINGEXACT;
    case LB_SELECTSTRING: return CB_SELECTSTRING;
    default: return 0;
    }
}

void Quote(std::string &out, const std::string &text) {
    out += '"';
    for (char c : text) {
        if (c == '\t')
            out += "\\t";
        else if (c == '\n')
            out += "\\n";
        else if (c == '"' || c == '\\')
            out += std::string("\\") + c;
        else
            out += c;
    }
    out += '"';
}

}  // namespace

std::recursive_mutex &Mutex() {
    static auto *mutex = new std::recursive_mutex;
    return *mutex;
}

std::unique_ptr<Window> CreateFromTemplate(const HW_DIALOG_TEMPLATE &t, HINSTANCE module,
                                           Window *parent, DLGPROC proc) {
    auto dialog = std::make_unique<Window>();
    dialog->kind = Kind::Dialog;
    dialog->className = "#32770";
    dialog->parent = parent;
    dialog->id = 0;
    dialog->text = t.caption ? t.caption : "";
    dialog->style = t.style;
    dialog->exStyle = t.exStyle;
    dialog->templateId = t.id;
    dialog->module = module;
    dialog->proc = proc;
    for (UINT i = 0; i < t.itemCount; ++i) {
        const HW_DIALOG_ITEM &item = t.items[i];
        auto control = std::make_unique<Window>();
        control->className = item.className ? item.className : "";
        control->kind = KindOf(control->className, item.style);
        control->parent = dialog.get();
        control->id = item.id;
        control->text = item.text ? item.text : "";
        control->style = item.style;
        control->exStyle = item.exStyle;
        dialog->children.push_back(std::move(control));
    }
    return dialog;
}

Window *Find(HWND handle) {
    if (!handle || !Live().count(handle)) return nullptr;
    return static_cast<Window *>(handle);
}

Window *Control(Window &dialog, int id) {
    for (auto &child : dialog.children)
        if (child->id == id) return child.get();
    return nullptr;
}

Window *DialogOf(Window *window) {
    while (window && window->kind != Kind::Dialog) window = window->parent;
    return window;
}

void Register(Window &dialog) {
    Live().insert(&dialog);
    for (auto &child : dialog.children) Live().insert(child.get());
}

void Unregister(Window &dialog) {
    for (auto &child : dialog.children) Live().erase(child.get());
    Live().erase(&dialog);
}

void CheckRadioInGroup(Window &button) {
    Window &dialog = *button.parent;
    auto &c = dialog.children;
    size_t at = 0;
    while (c[at].get() != &button) ++at;
    size_t first = at;
    while (first > 0 && !(c[first]->style & WS_GROUP)) --first;
    size_t end = at + 1;
    while (end < c.size() && !(c[end]->style & WS_GROUP)) ++end;
    for (size_t i = first; i < end; ++i)
        if (c[i]->kind == Kind::RadioButton && (c[i]->style & BS_TYPEMASK) == BS_AUTORADIOBUTTON)
            c[i]->check = BST_UNCHECKED;
    button.check = BST_CHECKED;
}

INT_PTR CallProc(Window &dialog, UINT msg, WPARAM wParam, LPARAM lParam) {
    return dialog.proc ? dialog.proc(&dialog, msg, wParam, lParam) : FALSE;
}

void Notify(Window &control, WORD code) {
    Window *dialog = DialogOf(control.parent);
    if (!dialog) return;
    CallProc(*dialog, WM_COMMAND, MAKEWPARAM(static_cast<WORD>(control.id), code),
             reinterpret_cast<LPARAM>(static_cast<HWND>(&control)));
}

LRESULT ControlMessage(Window &w, UINT msg, WPARAM wParam, LPARAM lParam) {
    switch (msg) {
    case WM_SETTEXT:
        w.text = lParam ? reinterpret_cast<const char *>(lParam) : "";
        return TRUE;
    case WM_GETTEXTLENGTH:
        return static_cast<LRESULT>(w.text.size());
    case WM_GETTEXT: {
        if (!lParam || wParam == 0) return 0;
        size_t n = std::min<size_t>(w.text.size(), wParam - 1);
        std::memcpy(reinterpret_cast<char *>(lParam), w.text.data(), n);
        reinterpret_cast<char *>(lParam)[n] = '\0';
        return static_cast<LRESULT>(n);
    }
    default:
        break;
    }
    if (w.kind == Kind::CheckBox || w.kind == Kind::RadioButton) {
        if (msg == BM_GETCHECK) return w.check;
        if (msg == BM_SETCHECK) {
            w.check = static_cast<UINT>(wParam);
            return 0;
        }
    }
    if (msg == BM_CLICK && (w.kind == Kind::PushButton || w.kind == Kind::CheckBox ||
                            w.kind == Kind::RadioButton)) {
        if (w.style & WS_DISABLED) return 0;
        if ((w.style & BS_TYPEMASK) == BS_AUTORADIOBUTTON) CheckRadioInGroup(w);
        if ((w.style & BS_TYPEMASK) == BS_AUTOCHECKBOX) w.check = w.check ? 0 : BST_CHECKED;
        Notify(w, BN_CLICKED);
        return 0;
    }
    if (w.kind == Kind::ComboBox && msg >= CB_ADDSTRING && msg <= CB_FINDSTRINGEXACT)
        return ItemMessage(w, msg, wParam, lParam);
    if (w.kind == Kind::ListBox) {
        if (msg == LB_SETTABSTOPS) return TRUE;
        if (UINT combo = ListToCombo(msg)) return ItemMessage(w, combo, wParam, lParam);
    }
    return 0;
}

std::string Dump(const Window &dialog) {
    std::string out = "dialog " + std::to_string(dialog.templateId) + " ";
    Quote(out, dialog.text);
    out += "\n";
    for (const auto &child : dialog.children) {
        const Window &c = *child;
        out += "  ";
        out += KindName(c);
        out += " ";
        out += c.id == -1 ? std::string("-") : std::to_string(c.id);
        out += " ";
        Quote(out, c.text);
        if (c.style & WS_DISABLED) out += " disabled";
        if (!(c.style & WS_VISIBLE)) out += " hidden";
        if (c.check == BST_CHECKED) out += " checked";
        if (c.check == BST_INDETERMINATE) out += " indeterminate";
        if (HasItems(c)) {
            out += c.selection < 0 ? " sel=none" : " sel=" + std::to_string(c.selection);
            out += "\n";
            for (size_t i = 0; i < c.items.size(); ++i) {
                out += static_cast<int>(i) == c.selection ? "   *[" : "    [";
                out += std::to_string(i) + "] ";
                Quote(out, c.items[i].text);
                if (c.items[i].data) out += " data=" + std::to_string(c.items[i].data);
                out += "\n";
            }
        } else {
            out += "\n";
        }
    }
    return out;
}

}  // namespace hostwin::ui

using namespace hostwin;
using namespace hostwin::ui;

namespace {

// Runs `body` on a live window under the lock; a dead handle fails with
// ERROR_INVALID_WINDOW_HANDLE and gives `failure`.
template <class R, class Body>
R WithWindow(HWND handle, R failure, Body body) {
    std::lock_guard lock(Mutex());
    Window *w = Find(handle);
    if (!w) return Fail<R>(ERROR_INVALID_WINDOW_HANDLE, failure);
    return body(*w);
}

template <class R, class Body>
R WithControl(HWND dialog, int id, R failure, Body body) {
    std::lock_guard lock(Mutex());
    Window *d = Find(dialog);
    if (!d) return Fail<R>(ERROR_INVALID_WINDOW_HANDLE, failure);
    Window *c = Control(*d, id);
    if (!c) return Fail<R>(ERROR_CONTROL_ID_NOT_FOUND, failure);
    return body(*c);
}

// Sets or clears a style bit; whether it was set before.
BOOL ChangeStyle(HWND handle, DWORD bit, bool set) {
    return WithWindow(handle, FALSE, [&](Window &w) {
        BOOL was = (w.style & bit) ? TRUE : FALSE;
        w.style = set ? (w.style | bit) : (w.style & ~bit);
        return was;
    });
}

// Whether a style bit is set (`set`) or clear (not `set`).
BOOL HasStyle(HWND handle, DWORD bit, bool set) {
    return WithWindow(handle, FALSE, [&](Window &w) { return ((w.style & bit) != 0) == set; });
}

}  // namespace

extern "C" {

HWND WINAPI GetDlgItem(HWND hDlg, int nIDDlgItem) {
    return WithControl<HWND>(hDlg, nIDDlgItem, nullptr, [](Window &c) -> HWND { return &c; });
}

int WINAPI GetDlgCtrlID(HWND hWnd) {
    return WithWindow(hWnd, 0, [](Window &w) { return w.kind == Kind::Dialog ? 0 : w.id; });
}

HWND WINAPI GetParent(HWND hWnd) {
    return WithWindow<HWND>(hWnd, nullptr, [](Window &w) -> HWND { return w.parent; });
}

BOOL WINAPI IsWindow(HWND hWnd) {
    std::lock_guard lock(Mutex());
    return Find(hWnd) ? TRUE : FALSE;
}

BOOL WINAPI EnableWindow(HWND hWnd, BOOL bEnable) {
    return ChangeStyle(hWnd, WS_DISABLED, !bEnable);  // TRUE when it was disabled
}

BOOL WINAPI IsWindowEnabled(HWND hWnd) { return HasStyle(hWnd, WS_DISABLED, false); }

BOOL WINAPI ShowWindow(HWND hWnd, int nCmdShow) {
    return ChangeStyle(hWnd, WS_VISIBLE, nCmdShow != SW_HIDE);  // TRUE when it was visible
}

BOOL WINAPI IsWindowVisible(HWND hWnd) { return HasStyle(hWnd, WS_VISIBLE, true); }

BOOL WINAPI SetWindowTextA(HWND hWnd, LPCSTR lpString) {
    return WithWindow(hWnd, FALSE, [&](Window &w) {
        w.text = lpString ? lpString : "";
        return TRUE;
    });
}

int WINAPI GetWindowTextA(HWND hWnd, LPSTR lpString, int nMaxCount) {
    return WithWindow(hWnd, 0, [&](Window &w) {
        return static_cast<int>(ControlMessage(w, WM_GETTEXT, static_cast<WPARAM>(nMaxCount),
                                               reinterpret_cast<LPARAM>(lpString)));
    });
}

int WINAPI GetWindowTextLengthA(HWND hWnd) {
    return WithWindow(hWnd, 0, [](Window &w) { return static_cast<int>(w.text.size()); });
}

BOOL WINAPI SetDlgItemTextA(HWND hDlg, int nIDDlgItem, LPCSTR lpString) {
    return WithControl(hDlg, nIDDlgItem, FALSE, [&](Window &c) {
        c.text = lpString ? lpString : "";
        return TRUE;
    });
}

UINT WINAPI GetDlgItemTextA(HWND hDlg, int nIDDlgItem, LPSTR lpString, int cchMax) {
    if (lpString && cchMax > 0) *lpString = '\0';
    return WithControl(hDlg, nIDDlgItem, 0u, [&](Window &c) {
        return static_cast<UINT>(ControlMessage(c, WM_GETTEXT, static_cast<WPARAM>(cchMax),
                                                reinterpret_cast<LPARAM>(lpString)));
    });
}

LONG_PTR WINAPI GetWindowLongPtrA(HWND hWnd, int nIndex) {
    return WithWindow<LONG_PTR>(hWnd, 0, [&](Window &w) -> LONG_PTR {
        switch (nIndex) {
        case GWLP_USERDATA: return w.userData;
        case GWL_ID: return w.kind == Kind::Dialog ? 0 : w.id;
        case GWL_STYLE: return static_cast<LONG>(w.style);
        case GWL_EXSTYLE: return static_cast<LONG>(w.exStyle);
        case GWL_HWNDPARENT: return reinterpret_cast<LONG_PTR>(static_cast<HWND>(w.parent));
        default: return Fail<LONG_PTR>(ERROR_INVALID_INDEX, 0);
        }
    });
}

LONG_PTR WINAPI SetWindowLongPtrA(HWND hWnd, int nIndex, LONG_PTR dwNewLong) {
    return WithWindow<LONG_PTR>(hWnd, 0, [&](Window &w) -> LONG_PTR {
        LONG_PTR old = 0;
        switch (nIndex) {
        case GWLP_USERDATA:
            old = w.userData;
            w.userData = dwNewLong;
            break;
        case GWL_ID:
            old = w.id;
            w.id = static_cast<int>(dwNewLong);
            break;
        case GWL_STYLE:
            old = static_cast<LONG>(w.style);
            w.style = static_cast<DWORD>(dwNewLong);
            break;
        case GWL_EXSTYLE:
            old = static_cast<LONG>(w.exStyle);
            w.exStyle = static_cast<DWORD>(dwNewLong);
            break;
        default:
            return Fail<LONG_PTR>(ERROR_INVALID_INDEX, 0);
        }
        // A previous value of 0 is told apart from a failure by the last error.
        SetLastError(ERROR_SUCCESS);
        return old;
    });
}

LONG WINAPI GetWindowLongA(HWND hWnd, int nIndex) {
    return static_cast<LONG>(GetWindowLongPtrA(hWnd, nIndex));
}

LONG WINAPI SetWindowLongA(HWND hWnd, int nIndex, LONG dwNewLong) {
    return static_cast<LONG>(SetWindowLongPtrA(hWnd, nIndex, dwNewLong));
}

LRESULT WINAPI SendMessageA(HWND hWnd, UINT Msg, WPARAM wParam, LPARAM lParam) {
    return WithWindow<LRESULT>(hWnd, 0, [&](Window &w) -> LRESULT {
        if (w.kind == Kind::Dialog) {
            if (Msg == WM_SETTEXT || Msg == WM_GETTEXT || Msg == WM_GETTEXTLENGTH)
                return ControlMessage(w, Msg, wParam, lParam);
            return CallProc(w, Msg, wParam, lParam);
        }
        return ControlMessage(w, Msg, wParam, lParam);
    });
}

LRESULT WINAPI SendDlgItemMessageA(HWND hDlg, int nIDDlgItem, UINT Msg, WPARAM wParam,
                                   LPARAM lParam) {
    return WithControl<LRESULT>(hDlg, nIDDlgItem, 0, [&](Window &c) {
        return ControlMessage(c, Msg, wParam, lParam);
    });
}

BOOL WINAPI CheckRadioButton(HWND hDlg, int nIDFirstButton, int nIDLastButton,
                             int nIDCheckButton) {
    return WithWindow(hDlg, FALSE, [&](Window &d) {
        for (auto &c : d.children)
            if (c->id >= nIDFirstButton && c->id <= nIDLastButton &&
                (c->kind == Kind::RadioButton || c->kind == Kind::CheckBox))
                c->check = c->id == nIDCheckButton ? BST_CHECKED : BST_UNCHECKED;
        return TRUE;
    });
}

BOOL WINAPI CheckDlgButton(HWND hDlg, int nIDButton, UINT uCheck) {
    return WithControl(hDlg, nIDButton, FALSE, [&](Window &c) {
        if (c.kind != Kind::RadioButton && c.kind != Kind::CheckBox) return FALSE;
        c.check = uCheck;
        return TRUE;
    });
}

UINT WINAPI IsDlgButtonChecked(HWND hDlg, int nIDButton) {
    return WithControl(hDlg, nIDButton, 0u, [](Window &c) {
        return (c.kind == Kind::RadioButton || c.kind == Kind::CheckBox) ? c.check : 0u;
    });
}

DWORD WINAPI HwUiDumpWindow(HWND dialog, LPSTR buffer, DWORD size) {
    return WithWindow(dialog, 0u, [&](Window &w) {
        Window *d = DialogOf(&w);
        std::string text = Dump(*d);
        if (buffer && size) {
            size_t n = std::min<size_t>(text.size(), size - 1);
            std::memcpy(buffer, text.data(), n);
            buffer[n] = '\0';
        }
        return static_cast<DWORD>(text.size());
    });
}

}  // extern "C"
