// The expansion board options dialog "Options" (template 107): which input
// channels carry the XTBD-5203, and the cold-junction (CJC) channel.
#include <cstring>

#include "ui/dialogs.h"
#include "ui/resource.h"

namespace ktz {
namespace {

constexpr DWORD kXtbd5203 = 262;
constexpr char kXtbd5203Name[] = "XTBD-5203";
constexpr int kChannelCount = 16;
constexpr WORD kNoCjcChannel = 0xFFFF;
constexpr int kMaxFractionDigits = 16;

constexpr char kConnectNote[] =
    "When connecting to the XTBD-5201, no other expansion boards may be connected to channels "
    "0 - 15.   Pressing OK will overwrite these channels.";
constexpr char kDeleteNote[] =
    "By pressing OK, expansion board connections on channels 0-15 will be deleted all at once.";

OptionsEdit *Edit(HWND dialog) {
    return reinterpret_cast<OptionsEdit *>(GetWindowLongPtrA(dialog, GWLP_USERDATA));
}

LRESULT Send(HWND dialog, int id, UINT message, WPARAM wParam = 0, LPARAM lParam = 0) {
    return SendDlgItemMessageA(dialog, id, message, wParam, lParam);
}

LPARAM Text(const char *text) { return reinterpret_cast<LPARAM>(text); }

void Assign(ExpansionEntry &entry, DWORD boardType, WORD mark) {
    entry.boardType = boardType;
    entry.mark = mark;
    entry.gain = 1.0f;
    entry.reserved = 0;
}

// A gain below 1 as text: "%d.%s" with the fraction's digits, one at a time.
void GainText(FLOAT gain, char (&text)[48]) {
    int whole = static_cast<int>(gain);
    FLOAT fraction = gain - static_cast<FLOAT>(whole);
    char digits[kMaxFractionDigits + 1] = {};
    int count = 0;
    do {
        fraction *= 10.0f;
        int digit = static_cast<int>(fraction);
        fraction -= static_cast<FLOAT>(digit);
        digits[count++] = static_cast<char>('0' + (digit < 0 ? -digit : digit) % 10);
    } while (fraction > 0.000001f && count < kMaxFractionDigits);
    wsprintfA(text, "%d.%s", whole, digits);
}

void BoardLine(int channel, const ExpansionEntry &entry, char (&line)[96]) {
    if (entry.gain * 10.0f >= 10.0f) {
        wsprintfA(line, "%2d\t%s\t%d", channel, kXtbd5203Name, static_cast<int>(entry.gain));
    } else {
        char gain[48];
        GainText(entry.gain, gain);
        wsprintfA(line, "%2d\t%s\t%s", channel, kXtbd5203Name, gain);
    }
}

void BuildTable(HWND dialog, const DeviceSettings &s) {
    int skipped = -1;  // the partner of a differential CJC channel
    for (int channel = 0; channel < kChannelCount; ++channel) {
        if (channel == skipped) continue;
        char line[96];
        const ExpansionEntry &entry = s.expansion[channel];
        if (entry.boardType != 0) {
            BoardLine(channel, entry, line);
        } else if (channel == s.CJCChannel) {
            wsprintfA(line, "%2d\t%s", channel, "CJC Channel");
            if ((s.ChanConfig & 0x3) && channel + 1 < kChannelCount) {
                Send(dialog, IDC_CHANNEL_TABLE, LB_ADDSTRING, 0, Text(line));
                skipped = channel + 1;
                wsprintfA(line, "%2d\t%s", skipped, "CJC Channel");
            }
        } else {
            wsprintfA(line, "%2d", channel);
        }
        Send(dialog, IDC_CHANNEL_TABLE, LB_ADDSTRING, 0, Text(line));
    }
}

void ReplaceLine(HWND dialog, int index, const char *line) {
    Send(dialog, IDC_CHANNEL_TABLE, LB_DELETESTRING, static_cast<WPARAM>(index));
    Send(dialog, IDC_CHANNEL_TABLE, LB_INSERTSTRING, static_cast<WPARAM>(index), Text(line));
}

void FillCjcSelector(HWND dialog, const DeviceSettings &s) {
    Send(dialog, IDC_CJC_CHANNEL, CB_RESETCONTENT);
    LRESULT item = Send(dialog, IDC_CJC_CHANNEL, CB_ADDSTRING, 0, Text("X (Disabled)"));
    Send(dialog, IDC_CJC_CHANNEL, CB_SETITEMDATA, static_cast<WPARAM>(item),
         static_cast<LPARAM>(-1));
    DWORD channel0 = s.expansion[0].boardType;
    if (channel0 == 0 || channel0 == kXtbd5203) {
        item = Send(dialog, IDC_CJC_CHANNEL, CB_ADDSTRING, 0, Text("0"));
        Send(dialog, IDC_CJC_CHANNEL, CB_SETITEMDATA, static_cast<WPARAM>(item), 0);
    }
    if (s.CJCChannel == kNoCjcChannel) {
        Send(dialog, IDC_CJC_CHANNEL, CB_SETCURSEL, 0);
    } else {
        char text[8];
        wsprintfA(text, "%d", static_cast<int>(s.CJCChannel));
        Send(dialog, IDC_CJC_CHANNEL, CB_SELECTSTRING, static_cast<WPARAM>(-1), Text(text));
    }
}

void ShowBoardType(HWND dialog, bool shown) {
    Send(dialog, IDC_BOARD_TYPE, CB_SETCURSEL, shown ? 0 : static_cast<WPARAM>(-1));
}

void Initialise(HWND dialog, OptionsEdit &edit) {
    DeviceSettings &s = *edit.copy;
    LRESULT item = Send(dialog, IDC_BOARD_TYPE, CB_ADDSTRING, 0, Text(kXtbd5203Name));
    Send(dialog, IDC_BOARD_TYPE, CB_SETITEMDATA, static_cast<WPARAM>(item), kXtbd5203);
    // Channel 0 is the CJC input when CJCChannel is 0: look at channel 1 then.
    const ExpansionEntry &probe = s.expansion[s.CJCChannel == 0 ? 1 : 0];
    edit.connected = probe.boardType == kXtbd5203;
    ShowBoardType(dialog, edit.connected);
    FillCjcSelector(dialog, s);
    BuildTable(dialog, s);
}

void Connect(HWND dialog, OptionsEdit &edit) {
    DeviceSettings &s = *edit.copy;
    if (MessageBoxA(dialog, kConnectNote, "Note", MB_OKCANCEL | MB_ICONEXCLAMATION) != IDOK) {
        ShowBoardType(dialog, false);
        return;
    }
    edit.connected = true;
    for (int channel = 0; channel < kChannelCount; ++channel) {
        Assign(s.expansion[channel], kXtbd5203, 1);
        char line[96];
        wsprintfA(line, "%2d\t%s\t%d", channel, kXtbd5203Name, 1);
        ReplaceLine(dialog, channel, line);
    }
    s.CJCChannel = kNoCjcChannel;
    FillCjcSelector(dialog, s);
    Send(dialog, IDC_CHANNEL_TABLE, LB_SETCURSEL, 0);
    Send(dialog, IDC_BOARD_TYPE, CB_RESETCONTENT);
    LRESULT item = Send(dialog, IDC_BOARD_TYPE, CB_ADDSTRING, 0, Text(kXtbd5203Name));
    Send(dialog, IDC_BOARD_TYPE, CB_SETITEMDATA, static_cast<WPARAM>(item), kXtbd5203);
    ShowBoardType(dialog, true);
}

void ChangeCjcChannel(HWND dialog, OptionsEdit &edit) {
    DeviceSettings &s = *edit.copy;
    Send(dialog, IDC_CHANNEL_TABLE, LB_RESETCONTENT);
    LRESULT selected = Send(dialog, IDC_CJC_CHANNEL, CB_GETCURSEL);
    s.CJCChannel = selected == CB_ERR
                       ? kNoCjcChannel
                       : static_cast<WORD>(Send(dialog, IDC_CJC_CHANNEL, CB_GETITEMDATA,
                                                static_cast<WPARAM>(selected)));
    if (edit.connected && s.CJCChannel == kNoCjcChannel) Assign(s.expansion[0], kXtbd5203, 1);
    if (edit.connected && s.CJCChannel == 0) s.expansion[0].boardType = 0;
    BuildTable(dialog, s);
    Send(dialog, IDC_CHANNEL_TABLE, LB_SETCURSEL, 0);
}

void Delete(HWND dialog, OptionsEdit &edit) {
    DeviceSettings &s = *edit.copy;
    if (!edit.connected) return;
    if (MessageBoxA(dialog, kDeleteNote, "Note", MB_OKCANCEL | MB_ICONEXCLAMATION) != IDOK) return;
    edit.connected = false;
    for (int channel = 0; channel < kChannelCount; ++channel) {
        Assign(s.expansion[channel], 0, 0);
        char line[16];
        wsprintfA(line, "%2d", channel);
        ReplaceLine(dialog, channel, line);
    }
    s.CJCChannel = kNoCjcChannel;
    FillCjcSelector(dialog, s);
    Send(dialog, IDC_CHANNEL_TABLE, LB_SETCURSEL, 0);
    ShowBoardType(dialog, false);
}

void Accept(HWND dialog, OptionsEdit &edit) {
    DeviceSettings &s = *edit.copy;
    WORD boards = 0;
    for (const auto &entry : s.expansion)
        if (entry.boardType != 0) ++boards;
    s.NumExpChan = boards;
    std::memcpy(edit.working, edit.copy, sizeof *edit.working);
    Send(dialog, IDC_CHANNEL_TABLE, LB_RESETCONTENT);
    EndDialog(dialog, 0);
}

INT_PTR Command(HWND dialog, OptionsEdit &edit, WORD id, WORD code) {
    switch (id) {
    case IDC_BOARD_TYPE: {
        if (code != CBN_SELCHANGE) return FALSE;
        LRESULT selected = Send(dialog, IDC_BOARD_TYPE, CB_GETCURSEL);
        LRESULT type = selected == CB_ERR ? CB_ERR
                                          : Send(dialog, IDC_BOARD_TYPE, CB_GETITEMDATA,
                                                 static_cast<WPARAM>(selected));
        if (type == static_cast<LRESULT>(kXtbd5203) && !edit.connected) Connect(dialog, edit);
        return TRUE;
    }
    case IDC_CJC_CHANNEL:
        ChangeCjcChannel(dialog, edit);
        return TRUE;
    case IDC_DELETE:
        Delete(dialog, edit);
        return TRUE;
    case IDOK:
        Accept(dialog, edit);
        return TRUE;
    case IDCANCEL:
        Send(dialog, IDC_CHANNEL_TABLE, LB_RESETCONTENT);
        EndDialog(dialog, 0);
        return TRUE;
    case IDC_OPTIONS_HELP:
        WinHelpA(dialog, "options.hlp", HELP_CONTENTS, 0);
        return TRUE;
    default:
        return FALSE;
    }
}

}  // namespace

INT_PTR CALLBACK OptionsDlgProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_INITDIALOG) {
        auto *edit = reinterpret_cast<OptionsEdit *>(lParam);
        if (!edit || !edit->working || !edit->copy) {
            EndDialog(dialog, 0);
            return TRUE;
        }
        SetWindowLongPtrA(dialog, GWLP_USERDATA, lParam);
        Initialise(dialog, *edit);
        return TRUE;
    }
    OptionsEdit *edit = Edit(dialog);
    if (message == WM_COMMAND && edit) return Command(dialog, *edit, LOWORD(wParam), HIWORD(wParam));
    return FALSE;
}

}  // namespace ktz
