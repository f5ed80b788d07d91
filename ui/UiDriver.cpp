// uidriver.exe: drives a running Brimvale window from outside, for scripts/run.
//   uidriver scan   clicks "Start scan", waits for the scan's end, prints the status line
//   uidriver rect   prints the main window's screen rectangle as "x y width height"
//   uidriver close  asks the main window to close
#include <windows.h>

#include <cstdio>
#include <string>

#include "ui/Unit1.h"

namespace {

std::wstring Text(HWND window) {
    wchar_t buffer[512] = {};
    DWORD_PTR got = 0;
    SendMessageTimeoutW(window, WM_GETTEXT, 512, reinterpret_cast<LPARAM>(buffer), SMTO_NORMAL,
                        5000, &got);
    return buffer;
}

HWND WaitForMainWindow(DWORD timeoutMs) {
    for (DWORD waited = 0; waited < timeoutMs; waited += 100) {
        HWND main = FindWindowW(bv::ui::kMainClass, bv::ui::kMainTitle);
        if (main != nullptr && IsWindowVisible(main)) {
            return main;
        }
        Sleep(100);
    }
    return nullptr;
}

bool WaitForCaption(HWND button, const wchar_t* caption, DWORD timeoutMs) {
    for (DWORD waited = 0; waited < timeoutMs; waited += 100) {
        if (Text(button) == caption) {
            return true;
        }
        Sleep(100);
    }
    return false;
}

int Scan(HWND main) {
    HWND button1 = GetDlgItem(main, bv::ui::kIdButton1);
    HWND infoLabel = GetDlgItem(main, bv::ui::kIdInfoLabel);
    PostMessageW(button1, BM_CLICK, 0, 0);
    if (!WaitForCaption(button1, L"Stop", 30000)) {
        std::fprintf(stderr, "uidriver: the scan did not start\n");
        return 1;
    }
    if (!WaitForCaption(button1, L"Start scan", 900000)) {
        std::fprintf(stderr, "uidriver: the scan did not end\n");
        return 1;
    }
    std::wstring status = Text(infoLabel);
    std::printf("%ls\n", status.c_str());
    return 0;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    std::wstring mode = argc > 1 ? argv[1] : L"scan";
    HWND main = WaitForMainWindow(60000);
    if (main == nullptr) {
        std::fprintf(stderr, "uidriver: no Brimvale window\n");
        return 1;
    }
    if (mode == L"scan") {
        return Scan(main);
    }
    if (mode == L"rect") {
        RECT r{};
        GetWindowRect(main, &r);
        std::printf("%ld %ld %ld %ld\n", r.left, r.top, r.right - r.left, r.bottom - r.top);
        return 0;
    }
    if (mode == L"close") {
        PostMessageW(main, WM_CLOSE, 0, 0);
        return 0;
    }
    std::fprintf(stderr, "usage: uidriver scan|rect|close\n");
    return 2;
}
