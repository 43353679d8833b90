/*
 * hostwin: control of the headless user interface, for the host build only
 * (tests, the virtual lab, the command-line tool). Nothing in the Ktz3649
 * library includes this header.
 *
 * Dialog templates. A library's dialog templates come from its .rc file:
 * the host build turns the file into HW_RESOURCES data (hwrc, the resource
 * compiler stand-in), and the loader stand-in registers them for the
 * library's module handle, so that DialogBoxParamA(module,
 * MAKEINTRESOURCE(id), ...) finds them as on Windows.
 *
 * Scripts. A modal dialog runs its procedure for real: WM_INITDIALOG, then
 * one WM_COMMAND per user action, with the notification code the control
 * sends (BN_CLICKED, CBN_SELCHANGE, LBN_SELCHANGE for a notifying list
 * box), until the procedure calls EndDialog, then WM_DESTROY. The user's
 * actions come from a script per dialog template ID, queued before the
 * dialog opens and consumed in order by every dialog created from that
 * template. A dialog still open when its script runs out is ended with -1
 * (GetLastError gives ERROR_TIMEOUT) and an error is recorded; so is an
 * action a user could not do (clicking a disabled or hidden control,
 * choosing an item that does not exist, answering a message box that is
 * not shown).
 *
 * Journal. Opened and ended dialogs, message boxes with their answers, help
 * calls, the property pages the device manager showed and every script
 * error are recorded in order.
 */
#ifndef HOSTWIN_HOSTWIN_UI_H
#define HOSTWIN_HOSTWIN_UI_H

#include <windows.h>
#include <setupapi.h>

#ifdef __cplusplus
extern "C" {
#endif

/* ---- dialog templates --------------------------------------------------------- */

typedef struct HW_DIALOG_ITEM {
    LPCSTR className; /* "BUTTON", "STATIC", "COMBOBOX", "LISTBOX", "EDIT", ... */
    LPCSTR text;
    int id;           /* -1 for a control without an ID */
    DWORD style;      /* complete, WS_CHILD and WS_VISIBLE included */
    DWORD exStyle;
    SHORT x, y, cx, cy;
} HW_DIALOG_ITEM;

typedef struct HW_DIALOG_TEMPLATE {
    int id;
    LPCSTR caption;
    DWORD style;
    DWORD exStyle;
    SHORT x, y, cx, cy;
    LPCSTR fontName; /* NULL without DS_SETFONT */
    WORD fontSize;
    UINT itemCount;
    const HW_DIALOG_ITEM *items;
} HW_DIALOG_TEMPLATE;

typedef struct HW_RESOURCES {
    UINT dialogCount;
    const HW_DIALOG_TEMPLATE *dialogs;
} HW_RESOURCES;

/*
 * Makes a module's templates findable by DialogBoxParamA and
 * CreatePropertySheetPageA. The data is used in place (it must outlive the
 * module); registering again for the same module replaces it.
 */
WINUSERAPI BOOL WINAPI HwRegisterResources(HINSTANCE module, const HW_RESOURCES *resources);
/* A module's template, or NULL. */
WINUSERAPI const HW_DIALOG_TEMPLATE *WINAPI HwFindDialogTemplate(HINSTANCE module, int id);

/* ---- scripts -------------------------------------------------------------------- */

typedef VOID(CALLBACK *HW_UI_INSPECT)(HWND dialog, LPVOID context);

/* The user clicks a button, check box or radio button (auto buttons change state first). */
WINUSERAPI VOID WINAPI HwUiClick(int dialogId, int controlId);
/* The user chooses item `index` of a combo or list box. */
WINUSERAPI VOID WINAPI HwUiSelect(int dialogId, int controlId, int index);
/* The user presses Escape (WM_COMMAND IDCANCEL, unless a Cancel button is disabled). */
WINUSERAPI VOID WINAPI HwUiEscape(int dialogId);
/* The user answers the next message box shown over this dialog (IDOK, IDCANCEL, ...).
   dialogId 0 answers a message box shown while no dialog is open. */
WINUSERAPI VOID WINAPI HwUiAnswer(int dialogId, int button);
/* Calls `inspect` with the dialog at this point of the script (to read or change it). */
WINUSERAPI VOID WINAPI HwUiInspect(int dialogId, HW_UI_INSPECT inspect, LPVOID context);
/* Actions not yet consumed: of one template, or of all with dialogId -1. */
WINUSERAPI DWORD WINAPI HwUiPendingActions(int dialogId);
/* Drops every script and clears the journal. */
WINUSERAPI VOID WINAPI HwUiReset(VOID);

/* ---- journal ------------------------------------------------------------------------ */

#define HW_UI_DIALOG_OPENED 1 /* text: caption */
#define HW_UI_DIALOG_ENDED 2  /* result: the dialog's result */
#define HW_UI_MESSAGEBOX 3    /* text, caption, type; result: the answer */
#define HW_UI_HELP 4          /* text: help file; type: command; data */
#define HW_UI_PAGE 5          /* a property page the device manager showed; text: its dump */
#define HW_UI_ERROR 6         /* text: what went wrong */

typedef struct HW_UI_EVENT {
    DWORD kind;
    int dialogId; /* the template of the dialog concerned (0: none) */
    INT_PTR result;
    UINT type;
    ULONG_PTR data;
    CHAR caption[256];
    CHAR text[4096];
} HW_UI_EVENT;

WINUSERAPI DWORD WINAPI HwUiEventCount(VOID);
/* Fills *event; FALSE for an index past the end. */
WINUSERAPI BOOL WINAPI HwUiGetEvent(DWORD index, HW_UI_EVENT *event);
/* The number of HW_UI_ERROR events. */
WINUSERAPI DWORD WINAPI HwUiErrorCount(VOID);

/*
 * The state of a dialog as text: one line for the dialog ("dialog 105
 * \"Caption\""), then one line per control in template order: kind, ID
 * ("-" for none), text, and the words disabled, hidden, checked; combo and
 * list boxes add their selection ("sel=2" or "sel=none") and one line per
 * item ("[0] \"text\"", with " data=N" when the item data is not 0, and a
 * '*' before the selected one). Tabs show as \t. Returns the length of the
 * whole text; the buffer gets as much as fits, terminated.
 */
WINUSERAPI DWORD WINAPI HwUiDumpWindow(HWND dialog, LPSTR buffer, DWORD size);

/* ---- device manager ------------------------------------------------------------------- */

typedef BOOL(WINAPI *HW_PROPPAGE_PROVIDER)(PSP_PROPSHEETPAGE_REQUEST request,
                                           LPFNADDPROPSHEETPAGE addPage, LPARAM lParam);

#define HW_DEVPROP_NO_BUSNUMBER 0x1 /* SPDRP_BUSNUMBER cannot be read */
#define HW_DEVPROP_NO_ADDRESS 0x2   /* SPDRP_ADDRESS cannot be read */

/* The device whose properties are shown. */
typedef struct HW_DEVICE_NODE {
    DWORD busNumber;     /* SPDRP_BUSNUMBER */
    DWORD address;       /* SPDRP_ADDRESS: for PCI, device << 16 | function */
    DWORD missing;       /* HW_DEVPROP_* */
    DWORD pageRequested; /* 0 means SPPSR_ENUM_ADV_DEVICE_PROPERTIES */
    BOOL refusePages;    /* the add-page callback returns FALSE */
} HW_DEVICE_NODE;

/*
 * The device manager's properties dialog: asks the provider for its
 * advanced pages of the device (a device-information set with that one
 * device), then runs each page added: WM_INITDIALOG with the page's
 * PROPSHEETPAGEA, the script of the page's template (no error when it runs
 * out: the sheet is then closed), an HW_UI_PAGE event with the page's dump,
 * WM_DESTROY, and the page is destroyed. Returns the number of pages shown;
 * the provider's own result goes to *providerResult when not NULL.
 */
WINUSERAPI int WINAPI HwDevMgrShowProperties(HW_PROPPAGE_PROVIDER provider,
                                             const HW_DEVICE_NODE *device, BOOL *providerResult);
/* The same for a PCI card by bus and slot (function 0). */
WINUSERAPI int WINAPI HwDevMgrShowCardProperties(HW_PROPPAGE_PROVIDER provider, DWORD bus,
                                                 DWORD slot);
/* Property sheet pages created and not yet destroyed (for leak checks). */
WINUSERAPI DWORD WINAPI HwOpenPropertyPageCount(VOID);

#ifdef __cplusplus
}
#endif

#endif /* HOSTWIN_HOSTWIN_UI_H */
