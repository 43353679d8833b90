// Modal dialogs of the headless user interface: the modules' templates, the
// scripts of user actions, the dialog runner, message boxes, help and the
// journal.
#include "ui_internal.h"

#include <algorithm>
#include <cstring>
#include <map>

namespace hostwin::ui {
namespace {

enum class ActionKind { Click, Select, Escape, Answer, Inspect };

struct Action {
    ActionKind kind;
    int control = 0;
    int value = 0;  // item index or message-box answer
    HW_UI_INSPECT inspect = nullptr;
    LPVOID context = nullptr;
};

struct Event {
    DWORD kind;
    int dialogId;
    INT_PTR result;
    UINT type;
    ULONG_PTR data;
    std::string caption;
    std::string text;
};

struct State {
    std::map<HINSTANCE, const HW_RESOURCES *> resources;
    std::map<int, std::deque<Action>> scripts;
    std::vector<Event> journal;
    std::vector<Window *> running;  // innermost last
};

State &TheState() {
    static auto *state = new State;
    return *state;
}

void Queue(int dialogId, const Action &action) {
    std::lock_guard lock(Mutex());
    TheState().scripts[dialogId].push_back(action);
}

bool TakeAction(int dialogId, Action *action) {
    auto &scripts = TheState().scripts;
    auto it = scripts.find(dialogId);
    if (it == scripts.end() || it->second.empty()) return false;
    *action = it->second.front();
    it->second.pop_front();
    return true;
}

std::string Describe(const Window &dialog) {
    return "dialog " + std::to_string(dialog.templateId) + " \"" + dialog.text + "\"";
}

bool Usable(Window &dialog, Window *control, int id, const char *what) {
    if (!control) {
        RecordError(dialog.templateId,
                    Describe(dialog) + " has no control " + std::to_string(id) + " to " + what);
        return false;
    }
    if (control->style & WS_DISABLED || !(control->style & WS_VISIBLE)) {
        RecordError(dialog.templateId, Describe(dialog) + ": control " + std::to_string(id) +
                                           " is " +
                                           (control->style & WS_DISABLED ? "disabled" : "hidden") +
                                           ", cannot " + what + " it");
        return false;
    }
    return true;
}

void Click(Window &dialog, int id) {
    Window *c = Control(dialog, id);
    if (!Usable(dialog, c, id, "click")) return;
    if (c->kind != Kind::PushButton && c->kind != Kind::CheckBox && c->kind != Kind::RadioButton) {
        RecordError(dialog.templateId,
                    Describe(dialog) + ": control " + std::to_string(id) + " is not a button");
        return;
    }
    ControlMessage(*c, BM_CLICK, 0, 0);
}

void Select(Window &dialog, int id, int index) {
    Window *c = Control(dialog, id);
    if (!Usable(dialog, c, id, "choose in")) return;
    if (c->kind != Kind::ComboBox && c->kind != Kind::ListBox) {
        RecordError(dialog.templateId, Describe(dialog) + ": control " + std::to_string(id) +
                                           " is not a combo or list box");
        return;
    }
    if (index < 0 || index >= static_cast<int>(c->items.size())) {
        RecordError(dialog.templateId, Describe(dialog) + ": control " + std::to_string(id) +
                                           " has no item " + std::to_string(index) + " (" +
                                           std::to_string(c->items.size()) + " items)");
        return;
    }
    ControlMessage(*c, c->kind == Kind::ComboBox ? CB_SETCURSEL : LB_SETCURSEL,
                   static_cast<WPARAM>(index), 0);
    if (c->kind == Kind::ComboBox)
        Notify(*c, CBN_SELCHANGE);
    else if (c->style & LBS_NOTIFY)
        Notify(*c, LBN_SELCHANGE);
}

void Escape(Window &dialog) {
    Window *cancel = Control(dialog, IDCANCEL);
    if (cancel && (cancel->style & WS_DISABLED)) return;  // a disabled Cancel ignores Escape
    CallProc(dialog, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED),
             reinterpret_cast<LPARAM>(static_cast<HWND>(cancel)));
}

void Perform(Window &dialog, const Action &a) {
    switch (a.kind) {
    case ActionKind::Click:
        Click(dialog, a.control);
        break;
    case ActionKind::Select:
        Select(dialog, a.control, a.value);
        break;
    case ActionKind::Escape:
        Escape(dialog);
        break;
    case ActionKind::Answer:
        RecordError(dialog.templateId, Describe(dialog) + ": answer " + std::to_string(a.value) +
                                           " given while no message box is shown");
        break;
    case ActionKind::Inspect:
        if (a.inspect) a.inspect(&dialog, a.context);
        break;
    }
}

HWND FirstTabStop(Window &dialog) {
    for (auto &c : dialog.children)
        if ((c->style & WS_TABSTOP) && (c->style & WS_VISIBLE) && !(c->style & WS_DISABLED))
            return c.get();
    return nullptr;
}

// The answers a message box of this type can give.
bool ValidAnswer(UINT type, int answer) {
    switch (type & MB_TYPEMASK) {
    case MB_OK: return answer == IDOK;
    case MB_OKCANCEL: return answer == IDOK || answer == IDCANCEL;
    case MB_ABORTRETRYIGNORE: return answer == IDABORT || answer == IDRETRY || answer == IDIGNORE;
    case MB_YESNOCANCEL: return answer == IDYES || answer == IDNO || answer == IDCANCEL;
    case MB_YESNO: return answer == IDYES || answer == IDNO;
    case MB_RETRYCANCEL: return answer == IDRETRY || answer == IDCANCEL;
    default: return answer > 0;
    }
}

// The template whose script answers for a window: its dialog's, else the
// innermost open dialog's, else 0.
int ScriptOwner(HWND owner) {
    if (Window *d = DialogOf(Find(owner))) return d->templateId;
    auto &running = TheState().running;
    return running.empty() ? 0 : running.back()->templateId;
}

void Copy(char *out, size_t size, const std::string &text) {
    size_t n = std::min(text.size(), size - 1);
    std::memcpy(out, text.data(), n);
    out[n] = '\0';
}

}  // namespace

void Record(DWORD kind, int dialogId, const std::string &text, const std::string &caption,
            INT_PTR result, UINT type, ULONG_PTR data) {
    std::lock_guard lock(Mutex());
    TheState().journal.push_back(Event{kind, dialogId, result, type, data, caption, text});
}

void RecordError(int dialogId, const std::string &text) { Record(HW_UI_ERROR, dialogId, text); }

INT_PTR Run(std::unique_ptr<Window> owned, LPARAM initParam, bool page) {
    std::lock_guard lock(Mutex());
    State &state = TheState();
    Window &dialog = *owned;
    Register(dialog);
    state.running.push_back(&dialog);
    if (!page) Record(HW_UI_DIALOG_OPENED, dialog.templateId, dialog.text);
    CallProc(dialog, WM_INITDIALOG, reinterpret_cast<WPARAM>(FirstTabStop(dialog)), initParam);
    bool ranOut = false;
    Action action{};
    while (!dialog.ended) {
        if (!TakeAction(dialog.templateId, &action)) {
            if (!page) {
                RecordError(dialog.templateId,
                            Describe(dialog) + " is still open and its script has run out");
                ranOut = true;
                dialog.result = -1;
            }
            break;
        }
        Perform(dialog, action);
    }
    if (page) Record(HW_UI_PAGE, dialog.templateId, Dump(dialog), dialog.text);
    CallProc(dialog, WM_DESTROY, 0, 0);
    state.running.erase(std::find(state.running.begin(), state.running.end(), &dialog));
    Unregister(dialog);
    INT_PTR result = dialog.result;
    if (!page) Record(HW_UI_DIALOG_ENDED, dialog.templateId, {}, {}, result);
    owned.reset();
    if (ranOut) SetLastError(ERROR_TIMEOUT);
    return result;
}

}  // namespace hostwin::ui

using namespace hostwin;
using namespace hostwin::ui;

extern "C" {

BOOL WINAPI HwRegisterResources(HINSTANCE module, const HW_RESOURCES *resources) {
    if (!module) return Fail(ERROR_INVALID_PARAMETER, FALSE);
    std::lock_guard lock(Mutex());
    if (resources)
        TheState().resources[module] = resources;
    else
        TheState().resources.erase(module);
    return TRUE;
}

const HW_DIALOG_TEMPLATE *WINAPI HwFindDialogTemplate(HINSTANCE module, int id) {
    std::lock_guard lock(Mutex());
    auto &resources = TheState().resources;
    auto it = resources.find(module);
    if (it == resources.end()) return nullptr;
    for (UINT i = 0; i < it->second->dialogCount; ++i)
        if (it->second->dialogs[i].id == id) return &it->second->dialogs[i];
    return nullptr;
}

INT_PTR WINAPI DialogBoxParamA(HINSTANCE hInstance, LPCSTR lpTemplateName, HWND hWndParent,
                               DLGPROC lpDialogFunc, LPARAM dwInitParam) {
    std::lock_guard lock(Mutex());
    if (!IS_INTRESOURCE(lpTemplateName)) return Fail<INT_PTR>(ERROR_RESOURCE_NAME_NOT_FOUND, -1);
    int id = static_cast<int>(reinterpret_cast<ULONG_PTR>(lpTemplateName));
    const HW_DIALOG_TEMPLATE *t = HwFindDialogTemplate(hInstance, id);
    if (!t) return Fail<INT_PTR>(ERROR_RESOURCE_NAME_NOT_FOUND, -1);
    Window *parent = nullptr;
    if (hWndParent && !(parent = Find(hWndParent)))
        return Fail<INT_PTR>(ERROR_INVALID_WINDOW_HANDLE, -1);
    return Run(CreateFromTemplate(*t, hInstance, parent, lpDialogFunc), dwInitParam, false);
}

BOOL WINAPI EndDialog(HWND hDlg, INT_PTR nResult) {
    std::lock_guard lock(Mutex());
    Window *w = Find(hDlg);
    if (!w || w->kind != Kind::Dialog) return Fail(ERROR_INVALID_WINDOW_HANDLE, FALSE);
    w->ended = true;
    w->result = nResult;
    return TRUE;
}

int WINAPI MessageBoxA(HWND hWnd, LPCSTR lpText, LPCSTR lpCaption, UINT uType) {
    std::lock_guard lock(Mutex());
    std::string text = lpText ? lpText : "";
    std::string caption = lpCaption ? lpCaption : "Error";
    int owner = ScriptOwner(hWnd);
    auto &scripts = TheState().scripts;
    auto it = scripts.find(owner);
    int answer = 0;
    if (it != scripts.end() && !it->second.empty() &&
        it->second.front().kind == ActionKind::Answer) {
        answer = it->second.front().value;
        it->second.pop_front();
        if (!ValidAnswer(uType, answer))
            RecordError(owner, "message box \"" + caption + "\" cannot answer " +
                                   std::to_string(answer));
    } else {
        RecordError(owner, "message box \"" + caption + "\" (" + text +
                               ") shown, but the script's next action is not an answer");
    }
    Record(HW_UI_MESSAGEBOX, owner, text, caption, answer, uType);
    if (!answer) SetLastError(ERROR_CANCELLED);
    return answer;
}

BOOL WINAPI WinHelpA(HWND hWndMain, LPCSTR lpszHelp, UINT uCommand, ULONG_PTR dwData) {
    std::lock_guard lock(Mutex());
    Record(HW_UI_HELP, ScriptOwner(hWndMain), lpszHelp ? lpszHelp : "", {}, TRUE, uCommand,
           dwData);
    return TRUE;
}

VOID WINAPI HwUiClick(int dialogId, int controlId) {
    Queue(dialogId, {ActionKind::Click, controlId});
}

VOID WINAPI HwUiSelect(int dialogId, int controlId, int index) {
    Queue(dialogId, {ActionKind::Select, controlId, index});
}

VOID WINAPI HwUiEscape(int dialogId) { Queue(dialogId, {ActionKind::Escape}); }

VOID WINAPI HwUiAnswer(int dialogId, int button) {
    Queue(dialogId, {ActionKind::Answer, 0, button});
}

VOID WINAPI HwUiInspect(int dialogId, HW_UI_INSPECT inspect, LPVOID context) {
    Queue(dialogId, {ActionKind::Inspect, 0, 0, inspect, context});
}

DWORD WINAPI HwUiPendingActions(int dialogId) {
    std::lock_guard lock(Mutex());
    size_t count = 0;
    for (const auto &[id, queue] : TheState().scripts)
        if (dialogId == -1 || id == dialogId) count += queue.size();
    return static_cast<DWORD>(count);
}

VOID WINAPI HwUiReset(VOID) {
    std::lock_guard lock(Mutex());
    TheState().scripts.clear();
    TheState().journal.clear();
}

DWORD WINAPI HwUiEventCount(VOID) {
    std::lock_guard lock(Mutex());
    return static_cast<DWORD>(TheState().journal.size());
}

BOOL WINAPI HwUiGetEvent(DWORD index, HW_UI_EVENT *event) {
    std::lock_guard lock(Mutex());
    auto &journal = TheState().journal;
    if (!event || index >= journal.size()) return Fail(ERROR_INVALID_PARAMETER, FALSE);
    const Event &e = journal[index];
    event->kind = e.kind;
    event->dialogId = e.dialogId;
    event->result = e.result;
    event->type = e.type;
    event->data = e.data;
    Copy(event->caption, sizeof event->caption, e.caption);
    Copy(event->text, sizeof event->text, e.text);
    return TRUE;
}

DWORD WINAPI HwUiErrorCount(VOID) {
    std::lock_guard lock(Mutex());
    auto &journal = TheState().journal;
    return static_cast<DWORD>(std::count_if(journal.begin(), journal.end(),
                                            [](const Event &e) { return e.kind == HW_UI_ERROR; }));
}

}  // extern "C"
