// hostwin's headless user interface: windows, controls and the dialog runner,
// shared by the dialog, control and device-manager sources.
#pragma once

#include "internal.h"

#include <hostwin_ui.h>

#include <deque>
#include <memory>
#include <string>
#include <vector>

struct HWND__ {};

namespace hostwin::ui {

enum class Kind { Dialog, PushButton, CheckBox, RadioButton, GroupBox, Static, ComboBox,
                  ListBox, Edit, Other };

struct Item {
    std::string text;
    LONG_PTR data = 0;
};

struct Window : HWND__ {
    Kind kind = Kind::Other;
    std::string className;
    Window *parent = nullptr;
    int id = -1;
    std::string text;
    DWORD style = 0;
    DWORD exStyle = 0;
    LONG_PTR userData = 0;
    // Buttons.
    UINT check = BST_UNCHECKED;
    // Combo and list boxes.
    std::vector<Item> items;
    int selection = -1;
    // Dialogs.
    int templateId = 0;
    HINSTANCE module = nullptr;
    DLGPROC proc = nullptr;
    bool ended = false;
    INT_PTR result = 0;
    std::vector<std::unique_ptr<Window>> children;
};

// The one lock of the user interface: held by every call, recursively, so
// that dialog procedures can call back in on the same thread.
std::recursive_mutex &Mutex();

// Creates a dialog and its controls from a template (not yet registered as running).
std::unique_ptr<Window> CreateFromTemplate(const HW_DIALOG_TEMPLATE &t, HINSTANCE module,
                                           Window *parent, DLGPROC proc);
// A live window, or null.
Window *Find(HWND handle);
Window *Control(Window &dialog, int id);
// The dialog a window belongs to (itself for a dialog), or null.
Window *DialogOf(Window *window);
void Register(Window &dialog);
void Unregister(Window &dialog);

// A control's reaction to a message (text, buttons, combo and list boxes).
LRESULT ControlMessage(Window &w, UINT msg, WPARAM wParam, LPARAM lParam);
// Calls a dialog's procedure.
INT_PTR CallProc(Window &dialog, UINT msg, WPARAM wParam, LPARAM lParam);
// Sends WM_COMMAND with a control's notification to its dialog.
void Notify(Window &control, WORD code);
// Checks an auto radio button and clears the others of its group.
void CheckRadioInGroup(Window &button);

std::string Dump(const Window &dialog);

// Runs a dialog from WM_INITDIALOG to WM_DESTROY. A page runs its script
// until it is used up; a dialog must be ended by its script.
INT_PTR Run(std::unique_ptr<Window> dialog, LPARAM initParam, bool page);

// Journal.
void Record(DWORD kind, int dialogId, const std::string &text, const std::string &caption = {},
            INT_PTR result = 0, UINT type = 0, ULONG_PTR data = 0);
void RecordError(int dialogId, const std::string &text);

}  // namespace hostwin::ui
