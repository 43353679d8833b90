// The settings dialog "PCI-3649 Device Setting" (template 105): the working
// record, the controls that edit it, and the save sequence of OK.
#include <cstring>

#include "config/registry_paths.h"
#include "config/service.h"
#include "core/device.h"
#include "ui/dialogs.h"
#include "ui/resource.h"

namespace ktz {
namespace {

constexpr DWORD kBoardWithoutOutputs = kBoardPci3649L;
constexpr int kInputChannels = 16;
constexpr WORD kPort0Input = 0x0001;
constexpr WORD kPort1Input = 0x0010;

struct OutputRange {
    const char *label;
    FLOAT maximum;
    FLOAT minimum;
};
constexpr OutputRange kOutputRanges[] = {
    {"0 ~ 5V", 5.0f, 0.0f},
    {"0 ~ 10V", 10.0f, 0.0f},
    {"-5V ~ 5V", 5.0f, -5.0f},
    {"-10V ~ 10V", 10.0f, -10.0f},
};
constexpr int kRangeCount = 4;

constexpr const char *kFrequencyRanges[kRangeCount] = {
    "1.3M Hz ~ 10M Hz", "131K Hz ~ 1.3M Hz", "13K Hz ~ 131K Hz", "0.2 Hz ~ 13K Hz"};
constexpr const char *kPulseWidthRanges[kRangeCount] = {
    "0.1us ~ 6553.5us", "6553us ~ 65535us", "65535us ~ 655350us", "655350us ~ 6553500us"};

// The controls of one analog output: range selector and reference radios.
struct OutputControls {
    int range;
    int externalUnipolar;  // reference code 1
    int externalBipolar;   // reference code 2
    int internal;          // reference code 0
};
constexpr OutputControls kOutputs[kStoredAOEntries] = {
    {IDC_DA0_RANGE, IDC_DA0_EXT_UNIPOLAR, IDC_DA0_EXT_BIPOLAR, IDC_DA0_INTERNAL},
    {IDC_DA1_RANGE, IDC_DA1_EXT_UNIPOLAR, IDC_DA1_EXT_BIPOLAR, IDC_DA1_INTERNAL},
};
// Disabled on a board without outputs, in this order.
constexpr int kOutputControlIds[] = {IDC_DA0_RANGE,        IDC_DA0_INTERNAL,
                                     IDC_DA0_EXT_UNIPOLAR, IDC_DA1_EXT_UNIPOLAR,
                                     IDC_DA0_EXT_BIPOLAR,  IDC_DA1_EXT_BIPOLAR,
                                     IDC_DA1_INTERNAL,     IDC_DA1_RANGE};

DeviceSettings *WorkingRecord(HWND dialog) {
    return reinterpret_cast<DeviceSettings *>(GetWindowLongPtrA(dialog, GWLP_USERDATA));
}

void ReleaseWorkingRecord(HWND dialog) {
    FreeSettings(WorkingRecord(dialog));
    SetWindowLongPtrA(dialog, GWLP_USERDATA, 0);
}

LRESULT Send(HWND dialog, int id, UINT message, WPARAM wParam = 0, LPARAM lParam = 0) {
    return SendDlgItemMessageA(dialog, id, message, wParam, lParam);
}

LPARAM Text(const char *text) { return reinterpret_cast<LPARAM>(text); }

int Selection(HWND dialog, int id) { return static_cast<int>(Send(dialog, id, CB_GETCURSEL)); }

void Enable(HWND dialog, int id, bool enable) {
    EnableWindow(GetDlgItem(dialog, id), enable ? TRUE : FALSE);
}

void ShowNumber(HWND dialog, int id, WORD value) {
    char text[16] = "Unknow";
    if (value != 0) wsprintfA(text, "%X", static_cast<UINT>(value));
    SetWindowTextA(GetDlgItem(dialog, id), text);
}

// The selected analog input channel, or -1 when none (or an unknown one) is.
int SelectedChannel(HWND dialog) {
    int channel = Selection(dialog, IDC_AI_CHANNEL);
    return channel >= 0 && channel < kInputChannels ? channel : -1;
}

void ShowChannelMode(HWND dialog, const DeviceSettings &s, int channel) {
    bool differential = (s.ChanConfig >> channel) & 1;
    CheckRadioButton(dialog, IDC_SINGLE_ENDED, IDC_DIFFERENTIAL,
                     differential ? IDC_DIFFERENTIAL : IDC_SINGLE_ENDED);
}

void FillOutput(HWND dialog, const AOSettingsEntry &entry, const OutputControls &c) {
    for (const auto &range : kOutputRanges) Send(dialog, c.range, CB_ADDSTRING, 0, Text(range.label));
    for (int index = 0; index < kRangeCount; ++index) {
        if (kOutputRanges[index].maximum == entry.maximum &&
            kOutputRanges[index].minimum == entry.minimum) {
            Send(dialog, c.range, CB_SETCURSEL, static_cast<WPARAM>(index));
            break;
        }
    }
    int checked = entry.referenceSource == 0   ? c.internal
                  : entry.referenceSource == 1 ? c.externalUnipolar
                                               : c.externalBipolar;
    CheckRadioButton(dialog, c.externalUnipolar, c.internal, checked);
    Enable(dialog, c.range, entry.referenceSource == 0);
}

void FillRanges(HWND dialog, int id, const char *const (&labels)[kRangeCount], WORD selected) {
    for (int index = 0; index < kRangeCount; ++index)
        Send(dialog, id, CB_INSERTSTRING, static_cast<WPARAM>(index), Text(labels[index]));
    // An index outside the table clears the selection.
    Send(dialog, id, CB_SETCURSEL, selected < kRangeCount ? selected : static_cast<WPARAM>(-1));
}

void FillControls(HWND dialog, const DeviceSettings &s) {
    ShowNumber(dialog, IDC_BASE_ADDRESS, s.BaseAddress);
    ShowNumber(dialog, IDC_INTERRUPT, s.Interrupt);
    for (int output = 0; output < kStoredAOEntries; ++output)
        FillOutput(dialog, s.aoSettings[output], kOutputs[output]);

    for (int channel = 0; channel < kInputChannels; ++channel) {
        char text[8];
        wsprintfA(text, "%d", channel);
        Send(dialog, IDC_AI_CHANNEL, CB_ADDSTRING, 0, Text(text));
    }
    Send(dialog, IDC_AI_CHANNEL, CB_SETCURSEL, 0);
    ShowChannelMode(dialog, s, 0);

    for (int port : {IDC_DIO_PORT0, IDC_DIO_PORT1}) {
        Send(dialog, port, CB_INSERTSTRING, 0, Text("OUT"));
        Send(dialog, port, CB_INSERTSTRING, 1, Text("IN"));
    }
    Send(dialog, IDC_DIO_PORT0, CB_SETCURSEL, (s.DioPortMode & kPort0Input) ? 1 : 0);
    Send(dialog, IDC_DIO_PORT1, CB_SETCURSEL, (s.DioPortMode & kPort1Input) ? 1 : 0);

    FillRanges(dialog, IDC_FREQ_AREA, kFrequencyRanges, s.FreqArea);
    FillRanges(dialog, IDC_PWM_AREA, kPulseWidthRanges, s.PWMArea);
}

void Initialise(HWND dialog) {
    DeviceSettings *s = AllocSettings();
    if (!s) {
        EndDialog(dialog, -1);
        return;
    }
    SetWindowLongPtrA(dialog, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(s));
    s->ChanConfig = 0;
    for (int output = 0; output < kStoredAOEntries; ++output) {
        s->aoSettings[output].referenceSource = 0;
        s->aoSettings[output].maximum = 5.0f;
    }
    const KtzFoundDevice &found = ContextFoundDevice();
    if (ReadDeviceSettings(CurrentDeviceNumber(), s) != 0) {
        s->BusNumber = found.BusNumber;
        s->SlotNumber = found.SlotNumber;
        s->OnSystem = 1;
    }
    if (s->OnSystem == 0) {
        // Stored settings whose card is marked absent: choose the card again.
        INT_PTR chosen = DialogBoxParamA(ModuleHandle(), MAKEINTRESOURCEA(IDD_FOUND_DEVICE), dialog,
                                         ConfigProcFoundDev, 0);
        if (chosen == 0) {
            ReleaseWorkingRecord(dialog);
            EndDialog(dialog, 0);
            return;
        }
        // A chosen card, or none found: the context's record names the card.
        s->BusNumber = found.BusNumber;
        s->SlotNumber = found.SlotNumber;
        s->OnSystem = 1;
    }
    FillControls(dialog, *s);
    if (s->BoardID == kBoardWithoutOutputs)
        for (int id : kOutputControlIds) Enable(dialog, id, false);
}

// Radios 1016/1017 set or clear a channel pair from its even channel.
void ChangeChannelMode(HWND dialog, DeviceSettings &s) {
    int channel = SelectedChannel(dialog);
    if (channel < 0 || channel % 2 != 0) return;
    WORD pair = static_cast<WORD>(3u << channel);
    bool differential = (s.ChanConfig >> channel) & 1;
    if (!differential && IsDlgButtonChecked(dialog, IDC_DIFFERENTIAL) == BST_CHECKED)
        s.ChanConfig |= pair;
    else if (differential && IsDlgButtonChecked(dialog, IDC_SINGLE_ENDED) == BST_CHECKED)
        s.ChanConfig &= static_cast<WORD>(~pair);
}

WORD ReferenceCode(HWND dialog, const OutputControls &c) {
    if (IsDlgButtonChecked(dialog, c.externalUnipolar) == BST_CHECKED) return 1;
    if (IsDlgButtonChecked(dialog, c.externalBipolar) == BST_CHECKED) return 2;
    return 0;
}

void SetBit(WORD &value, WORD bit, bool set) {
    value = static_cast<WORD>(set ? value | bit : value & ~bit);
}

// The stored BaseAddress, as the restarted kernel service recorded it.
void RefreshBaseAddress(DeviceSettings &s) {
    char path[128], suffix[32];
    wsprintfA(suffix, kDeviceSubkeyFormat, static_cast<int>(CurrentDeviceNumber()));
    wsprintfA(path, "%s%s", kServiceKey, suffix);
    HKEY key;
    if (RegOpenKeyA(HKEY_LOCAL_MACHINE, path, &key) != ERROR_SUCCESS) return;
    DWORD value = 0, size = sizeof value;
    if (RegQueryValueExA(key, "BaseAddress", nullptr, nullptr, reinterpret_cast<BYTE *>(&value),
                         &size) == ERROR_SUCCESS)
        s.BaseAddress = static_cast<WORD>(value);
    RegCloseKey(key);
}

void Save(HWND dialog, DeviceSettings &s) {
    for (int output = 0; output < kStoredAOEntries; ++output) {
        const OutputControls &c = kOutputs[output];
        AOSettingsEntry &entry = s.aoSettings[output];
        int range = Selection(dialog, c.range);
        if (range >= 0 && range < kRangeCount) {
            entry.maximum = kOutputRanges[range].maximum;
            entry.minimum = kOutputRanges[range].minimum;
        }
    }
    s.TimerClock = 1;
    for (int output = 0; output < kStoredAOEntries; ++output)
        s.aoSettings[output].referenceSource = ReferenceCode(dialog, kOutputs[output]);
    SetBit(s.DioPortMode, kPort0Input, Selection(dialog, IDC_DIO_PORT0) != 0);
    SetBit(s.DioPortMode, kPort1Input, Selection(dialog, IDC_DIO_PORT1) != 0);
    s.FreqArea = static_cast<WORD>(Selection(dialog, IDC_FREQ_AREA));
    s.PWMArea = static_cast<WORD>(Selection(dialog, IDC_PWM_AREA));

    // The results of the registry and service steps are not reported.
    RegisterDriverKeys();
    WriteDeviceSettings(&s);
    InstallAndRestartService(kServiceName);
    RefreshBaseAddress(s);
    WriteDeviceSettings(&s);
}

INT_PTR Command(HWND dialog, WORD id, WORD code) {
    DeviceSettings *s = WorkingRecord(dialog);
    if (!s) return FALSE;
    // A reference radio, on any notification: the range only for the internal one.
    for (const auto &c : kOutputs) {
        if (id == c.externalUnipolar || id == c.externalBipolar || id == c.internal) {
            Enable(dialog, c.range, id == c.internal);
            return TRUE;
        }
    }
    switch (id) {
    case IDC_AI_CHANNEL:
        if (code != CBN_SELCHANGE) return FALSE;
        if (int channel = SelectedChannel(dialog); channel >= 0)
            ShowChannelMode(dialog, *s, channel);
        return TRUE;
    case IDC_SINGLE_ENDED:
    case IDC_DIFFERENTIAL:
        ChangeChannelMode(dialog, *s);
        return TRUE;
    case IDC_SETTING_HELP:
        WinHelpA(dialog, "kt3649.hlp", HELP_CONTENTS, 0);
        return TRUE;
    case IDC_ABOUT:
        DialogBoxParamA(ModuleHandle(), MAKEINTRESOURCEA(IDD_ABOUT), dialog, AboutProc, 0);
        return TRUE;
    case IDC_OPTIONS: {
        DeviceSettings *copy = AllocSettings();
        if (!copy) return TRUE;
        std::memcpy(copy, s, sizeof *copy);
        OptionsEdit edit{s, copy, false};
        DialogBoxParamA(ModuleHandle(), MAKEINTRESOURCEA(IDD_OPTIONS), dialog, OptionsDlgProc,
                        reinterpret_cast<LPARAM>(&edit));
        FreeSettings(copy);
        return TRUE;
    }
    case IDOK:
        Save(dialog, *s);
        ReleaseWorkingRecord(dialog);
        EndDialog(dialog, 0);
        return TRUE;
    case IDCANCEL:
        ReleaseWorkingRecord(dialog);
        EndDialog(dialog, 0);
        return TRUE;
    default:
        return FALSE;
    }
}

}  // namespace
}  // namespace ktz

using namespace ktz;

extern "C" INT_PTR CALLBACK ConfigDlgProc3649(HWND dialog, UINT message, WPARAM wParam,
                                              LPARAM) {
    switch (message) {
    case WM_INITDIALOG:
        Initialise(dialog);
        return TRUE;
    case WM_COMMAND:
        return Command(dialog, LOWORD(wParam), HIWORD(wParam));
    case WM_DESTROY:
        // A dialog closed other than by OK or Cancel still frees its record.
        ReleaseWorkingRecord(dialog);
        return FALSE;
    default:
        return FALSE;
    }
}
