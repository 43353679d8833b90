// Finding the dialogs of this process on the screen and saving them as
// pictures.
#include "window_capture.h"

#include <cstdio>
#include <vector>

namespace pictures {
namespace {

constexpr DWORD kPollMs = 20;
constexpr DWORD kSettleMs = 100;
constexpr int kSettleTries = 50;
constexpr DWORD kActivateMs = 5000;

// Polls `done` until it holds; false after `timeoutMs`.
template <class Condition>
bool WaitUntil(Condition done, DWORD timeoutMs) {
    DWORD start = GetTickCount();
    while (!done()) {
        if (GetTickCount() - start > timeoutMs) return false;
        Sleep(kPollMs);
    }
    return true;
}

// The active window of a thread (its dialogs activate on that thread).
HWND ActiveWindow(DWORD thread) {
    GUITHREADINFO info{};
    info.cbSize = sizeof info;
    return GetGUIThreadInfo(thread, &info) ? info.hwndActive : nullptr;
}

struct Search {
    const char *caption;
    HWND found;
};

BOOL CALLBACK MatchWindow(HWND window, LPARAM lParam) {
    auto *search = reinterpret_cast<Search *>(lParam);
    DWORD process = 0;
    GetWindowThreadProcessId(window, &process);
    if (process != GetCurrentProcessId() || !IsWindowVisible(window) || !IsWindowEnabled(window))
        return TRUE;
    char text[128];
    if (GetWindowTextA(window, text, sizeof text) <= 0 || lstrcmpA(text, search->caption) != 0)
        return TRUE;
    search->found = window;
    return FALSE;
}

// What the screen shows of the window, as a bottom-up 24-bit DIB.
struct Picture {
    LONG width = 0;
    LONG height = 0;
    std::vector<BYTE> bits;

    bool operator==(const Picture &other) const = default;
};

Picture Capture(HWND window) {
    Picture picture;
    RECT rect;
    if (!GetWindowRect(window, &rect)) return picture;
    LONG width = rect.right - rect.left, height = rect.bottom - rect.top;
    if (width <= 0 || height <= 0) return picture;
    HDC screen = GetDC(nullptr);
    HDC memory = CreateCompatibleDC(screen);
    HBITMAP bitmap = CreateCompatibleBitmap(screen, width, height);
    HGDIOBJ previous = SelectObject(memory, bitmap);
    bool copied = BitBlt(memory, 0, 0, width, height, screen, rect.left, rect.top,
                         SRCCOPY | CAPTUREBLT) != FALSE;
    SelectObject(memory, previous);
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = height;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 24;
    info.bmiHeader.biCompression = BI_RGB;
    std::vector<BYTE> bits(static_cast<size_t>((width * 3 + 3) & ~3) * height);
    if (copied &&
        GetDIBits(memory, bitmap, 0, height, bits.data(), &info, DIB_RGB_COLORS) == height) {
        picture.width = width;
        picture.height = height;
        picture.bits = std::move(bits);
    }
    DeleteObject(bitmap);
    DeleteDC(memory);
    ReleaseDC(nullptr, screen);
    return picture;
}

bool WriteBmp(const Picture &picture, const std::string &path) {
    BITMAPINFOHEADER info{};
    info.biSize = sizeof info;
    info.biWidth = picture.width;
    info.biHeight = picture.height;
    info.biPlanes = 1;
    info.biBitCount = 24;
    info.biCompression = BI_RGB;
    info.biSizeImage = static_cast<DWORD>(picture.bits.size());
    BITMAPFILEHEADER file{};
    file.bfType = 0x4D42;  // "BM"
    file.bfOffBits = sizeof file + sizeof info;
    file.bfSize = file.bfOffBits + info.biSizeImage;
    FILE *out = std::fopen(path.c_str(), "wb");
    if (!out) return false;
    bool written = std::fwrite(&file, sizeof file, 1, out) == 1 &&
                   std::fwrite(&info, sizeof info, 1, out) == 1 &&
                   std::fwrite(picture.bits.data(), picture.bits.size(), 1, out) == 1;
    return std::fclose(out) == 0 && written;
}

}  // namespace

HWND WaitForDialog(const char *caption, DWORD timeoutMs) {
    Search search{caption, nullptr};
    WaitUntil(
        [&] {
            EnumWindows(MatchWindow, reinterpret_cast<LPARAM>(&search));
            return search.found != nullptr;
        },
        timeoutMs);
    return search.found;
}

bool WaitForClose(HWND window, DWORD timeoutMs) {
    return WaitUntil([window] { return !IsWindow(window) || !IsWindowVisible(window); }, timeoutMs);
}

bool SaveWindowPicture(HWND window, const std::string &path) {
    // Active, as the dialog a user works in. Without a window manager Wine
    // may draw a foreground dialog with an inactive caption (the first one
    // of the process); taking the foreground away and back activates it.
    DWORD thread = GetWindowThreadProcessId(window, nullptr);
    SetForegroundWindow(GetDesktopWindow());
    WaitUntil([&] { return ActiveWindow(thread) != window; }, kActivateMs);
    SetForegroundWindow(window);
    if (!WaitUntil([&] { return ActiveWindow(thread) == window; }, kActivateMs)) {
        std::fprintf(stderr, "%s: the window did not become active\n", path.c_str());
        return false;
    }
    // Repaint everything, then wait until the dialog's thread has handled
    // what is queued before it; the screen may still lag behind, so the
    // picture is taken once two captures in a row agree.
    RedrawWindow(window, nullptr, nullptr,
                 RDW_INVALIDATE | RDW_ERASE | RDW_FRAME | RDW_ALLCHILDREN | RDW_UPDATENOW);
    DWORD_PTR ignored;
    SendMessageTimeoutA(window, WM_NULL, 0, 0, SMTO_BLOCK, 5000, &ignored);
    Picture last = Capture(window);
    for (int attempt = 0; attempt < kSettleTries; ++attempt) {
        Sleep(kSettleMs);
        Picture now = Capture(window);
        if (!now.bits.empty() && now == last) return WriteBmp(now, path);
        last = std::move(now);
    }
    std::fprintf(stderr, "%s: the window kept changing\n", path.c_str());
    return false;
}

}  // namespace pictures
