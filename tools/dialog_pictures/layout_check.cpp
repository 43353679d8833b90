// Faults of a dialog's layout: every text measured with the control's own
// font in the way the control draws it, every control's rectangle against
// the dialog and its siblings.
#include "layout_check.h"

#include <cstdio>
#include <string>
#include <vector>

namespace pictures {
namespace {

// Room that buttons keep around their text: a push button's edge and focus
// rectangle, a check box's or radio button's glyph and the gap after it, a
// group box's indent of its title.
constexpr int kPushMargin = 6;
constexpr int kGlyphAndGap = 17;
constexpr int kGroupMargin = 16;

struct Control {
    HWND window = nullptr;
    std::string kind;  // window class
    LONG style = 0;
    int id = 0;
    std::string text;
    RECT rect{};  // in the dialog's client coordinates
};

std::string Text(HWND window) {
    char text[512] = "";
    GetWindowTextA(window, text, sizeof text);
    return text;
}

std::vector<Control> Controls(HWND dialog) {
    std::vector<Control> controls;
    for (HWND child = GetWindow(dialog, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
        if (!IsWindowVisible(child)) continue;
        char kind[64] = "";
        GetClassNameA(child, kind, sizeof kind);
        Control control;
        control.window = child;
        control.kind = kind;
        control.style = GetWindowLongA(child, GWL_STYLE);
        control.id = GetDlgCtrlID(child);
        control.text = Text(child);
        GetWindowRect(child, &control.rect);
        MapWindowPoints(nullptr, dialog, reinterpret_cast<POINT *>(&control.rect), 2);
        controls.push_back(control);
    }
    return controls;
}

std::string Name(const Control &c) {
    return c.kind + " " + std::to_string(c.id) + " \"" + c.text + "\"";
}

bool Is(const Control &c, const char *kind) { return lstrcmpiA(c.kind.c_str(), kind) == 0; }

bool IsGroupBox(const Control &c) {
    return Is(c, "Button") && (c.style & BS_TYPEMASK) == BS_GROUPBOX;
}

// A device context with the control's font.
class ControlDc {
public:
    explicit ControlDc(HWND window)
        : window_(window),
          dc_(GetDC(window)),
          previous_(
              SelectObject(dc_, reinterpret_cast<HFONT>(SendMessageA(window, WM_GETFONT, 0, 0)))) {}
    ~ControlDc() {
        SelectObject(dc_, previous_);
        ReleaseDC(window_, dc_);
    }
    ControlDc(const ControlDc &) = delete;
    ControlDc &operator=(const ControlDc &) = delete;

    // The size of `text` drawn with `format` into `width` pixels.
    SIZE Measure(const std::string &text, UINT format, int width) const {
        RECT rect{0, 0, width, 0};
        DrawTextA(dc_, text.c_str(), -1, &rect, format | DT_CALCRECT);
        return {rect.right, rect.bottom};
    }
    int TabbedWidth(const std::string &text) const {
        return LOWORD(
            GetTabbedTextExtentA(dc_, text.c_str(), static_cast<int>(text.size()), 0, nullptr));
    }

private:
    HWND window_;
    HDC dc_;
    HGDIOBJ previous_;
};

class Checker {
public:
    explicit Checker(const char *name) : name_(name) {}
    int faults() const { return faults_; }

    // One line per fault: the dialog, the control, what is wrong.
    void Fault(const Control &c, const std::string &what) {
        std::fprintf(stderr, "LAYOUT %s: %s\n", name_, (Name(c) + " " + what).c_str());
        ++faults_;
    }

    void CheckText(const Control &c) {
        RECT client;
        GetClientRect(c.window, &client);
        ControlDc dc(c.window);
        if (Is(c, "Static")) {
            CheckStatic(c, dc, client);
        } else if (Is(c, "Button")) {
            CheckButton(c, dc, client);
        } else if (Is(c, "ComboBox")) {
            int room = client.right - GetSystemMetrics(SM_CXVSCROLL) - kPushMargin;
            LRESULT count = SendMessageA(c.window, CB_GETCOUNT, 0, 0);
            for (LRESULT i = 0; i < count; ++i)
                CheckItem(c, dc, Item(c.window, CB_GETLBTEXTLEN, CB_GETLBTEXT, i), room, false);
        } else if (Is(c, "ListBox")) {
            int room = client.right - 2;
            LRESULT count = SendMessageA(c.window, LB_GETCOUNT, 0, 0);
            for (LRESULT i = 0; i < count; ++i)
                CheckItem(c, dc, Item(c.window, LB_GETTEXTLEN, LB_GETTEXT, i), room,
                          (c.style & LBS_USETABSTOPS) != 0);
        }
    }

    // Inside the dialog, and apart from its siblings; a control and a group
    // box are apart or one holds the other.
    void CheckPlace(const std::vector<Control> &controls, const RECT &dialog) {
        for (size_t i = 0; i < controls.size(); ++i) {
            const Control &a = controls[i];
            RECT inside;
            IntersectRect(&inside, &a.rect, &dialog);
            if (!EqualRect(&inside, &a.rect)) Fault(a, "reaches outside the dialog");
            for (size_t j = i + 1; j < controls.size(); ++j) {
                const Control &b = controls[j];
                RECT common;
                if (!IntersectRect(&common, &a.rect, &b.rect)) continue;
                bool nested = (IsGroupBox(a) && EqualRect(&common, &b.rect)) ||
                              (IsGroupBox(b) && EqualRect(&common, &a.rect));
                if (!nested) Fault(a, "overlaps " + Name(b));
            }
        }
    }

private:
    static std::string Item(HWND window, UINT lengthMessage, UINT textMessage, LRESULT index) {
        LRESULT length = SendMessageA(window, lengthMessage, static_cast<WPARAM>(index), 0);
        if (length <= 0) return {};
        std::string text(static_cast<size_t>(length) + 1, '\0');
        SendMessageA(window, textMessage, static_cast<WPARAM>(index),
                     reinterpret_cast<LPARAM>(text.data()));
        text.resize(static_cast<size_t>(length));
        return text;
    }

    void CheckStatic(const Control &c, const ControlDc &dc, const RECT &client) {
        LONG type = c.style & SS_TYPEMASK;
        UINT format = DT_EXPANDTABS | ((c.style & SS_NOPREFIX) ? DT_NOPREFIX : 0);
        if (type == SS_LEFT || type == SS_CENTER || type == SS_RIGHT)
            format |= DT_WORDBREAK;
        else if (type == SS_LEFTNOWORDWRAP || type == SS_SIMPLE)
            format |= DT_SINGLELINE;
        else
            return;  // pictures, frames
        if (c.text.empty()) return;
        SIZE size = dc.Measure(c.text, format, client.right);
        if (size.cx > client.right || size.cy > client.bottom) Fault(c, "text does not fit");
    }

    void CheckButton(const Control &c, const ControlDc &dc, const RECT &client) {
        if (c.text.empty()) return;
        LONG type = c.style & BS_TYPEMASK;
        int margin = type == BS_GROUPBOX                                 ? kGroupMargin
                     : type == BS_PUSHBUTTON || type == BS_DEFPUSHBUTTON ? kPushMargin
                                                                         : kGlyphAndGap;
        int room = client.right - margin;
        SIZE size =
            dc.Measure(c.text, (c.style & BS_MULTILINE) ? DT_WORDBREAK : DT_SINGLELINE, room);
        if (size.cx > room || size.cy > client.bottom) Fault(c, "text does not fit");
    }

    void CheckItem(const Control &c, const ControlDc &dc, const std::string &item, int room,
                   bool tabs) {
        int width =
            tabs ? dc.TabbedWidth(item) : dc.Measure(item, DT_SINGLELINE | DT_NOPREFIX, room).cx;
        if (width > room) Fault(c, "item \"" + item + "\" does not fit");
    }

    const char *name_;
    int faults_ = 0;
};

}  // namespace

int CheckLayout(HWND dialog, const char *name) {
    Checker checker(name);
    std::vector<Control> controls = Controls(dialog);
    for (const Control &c : controls) checker.CheckText(c);
    RECT client;
    GetClientRect(dialog, &client);
    checker.CheckPlace(controls, client);
    return checker.faults();
}

}  // namespace pictures
