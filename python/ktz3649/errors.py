"""Result codes of the library and the exception that carries them."""

from __future__ import annotations

# Error numbers (the low 12 bits of a result code): name and words.
# tests/test_errors.py holds this table against include/ktz3649.h.
ERRORS: dict[int, tuple[str, str]] = {
    1: ("KtzErrMemoryAlloc", "memory allocation failed"),
    2: ("KtzErrSettingsNotFound", "device settings not found"),
    3: ("KtzErrInvalidHandle", "invalid handle"),
    4: ("KtzErrConversionTimeout", "conversion timed out"),
    5: ("KtzErrInvalidScaleRange", "invalid scale range"),
    7: ("KtzErrInvalidChannel", "invalid channel"),
    8: ("KtzErrInvalidGain", "invalid gain code"),
    9: ("KtzErrTriggerTimeout", "trigger timed out"),
    10: ("KtzErrInvalidParameter", "invalid parameter"),
    22: ("KtzErrInvalidPacerRate", "invalid pacer rate"),
    23: ("KtzErrAcquisitionRunning", "acquisition running"),
    24: ("KtzErrUnsupportedBoard", "unsupported board"),
    26: ("KtzErrKernelOpen", "kernel driver not opened"),
    27: ("KtzErrNotSupported", "not supported"),
    32: ("KtzErrInvalidSetting", "invalid setting"),
    33: ("KtzErrNoBuffer", "no buffer"),
    34: ("KtzErrInvalidCount", "invalid count"),
    37: ("KtzErrEventCreate", "event not created"),
    38: ("KtzErrTransferStart", "transfer not started"),
    40: ("KtzErrInvalidEventType", "invalid event type"),
    43: ("KtzErrDmaBusy", "DMA busy"),
    56: ("KtzErrInvalidTriggerLevel", "invalid trigger level"),
    62: ("KtzErrUnknownProperty", "unknown property"),
    63: ("KtzErrEventWait", "event wait failed"),
    100: ("KtzErrKernelRequest", "kernel driver request failed"),
    101: ("KtzErrPortFileNotFound", "port access: file not found"),
    102: ("KtzErrPortInvalidHandle", "port access: invalid handle"),
    103: ("KtzErrPortTooManyCommands", "port access: too many commands"),
    105: ("KtzErrPortNoAccess", "port access: no access"),
    106: ("KtzErrPortRequest", "port access failed"),
    111: ("KtzErrEventEnable", "event not enabled"),
}


def result_text(result: int) -> str:
    """A result code in words, as the C header's KtzResultText writes it."""
    result &= 0xFFFFFFFF
    if result == 0:
        return "success"
    number = result & 0xFFF
    known = ERRORS.get(number)
    if result >> 12:
        words = known[1] if known else f"kernel driver status {number}"
        return f"device {(result >> 12) - 1}: {words}"
    return known[1] if known else f"error {number}"


class KtzError(Exception):
    """A call into the library failed.

    result: the 32-bit result code; device: the device number it names, or
    None for a bare result; name: the error's name ("KtzErrInvalidChannel"),
    or "KtzStatus<n>" for a status the kernel driver replied; function: the
    library function that returned it.
    """

    def __init__(self, result: int, device: int | None, name: str, function: str | None = None):
        self.result = result
        self.device = device
        self.name = name
        self.function = function
        where = f"{function}: " if function else ""
        super().__init__(f"{where}{result_text(result)} ({name}, 0x{result:04X})")

    def __reduce__(self):
        return type(self), (self.result, self.device, self.name, self.function)

    @property
    def number(self) -> int:
        """The error number, the low 12 bits of the result."""
        return self.result & 0xFFF

    @classmethod
    def from_result(cls, result: int, function: str | None = None) -> "KtzError":
        result &= 0xFFFFFFFF
        number = result & 0xFFF
        device = (result >> 12) - 1 if result >> 12 else None
        known = ERRORS.get(number)
        name = known[0] if known else f"KtzStatus{number}"
        return cls(result, device, name, function)


def check(result: int, function: str) -> None:
    """Raises KtzError for a non-zero result code."""
    if result:
        raise KtzError.from_result(result, function)
