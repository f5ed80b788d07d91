// uidriver.exe: drives a running Brimvale window from outside, for scripts/run.
//   uidriver scan   clicks "Start scan", waits for the scan's end, prints the status line (and
//                   on standard error scan_ms=N, from the click until the caption came back)
//   uidriver rect   prints the main window's screen rectangle as "x y width height"
//   uidriver close  asks the main window to close
//   uidriver about  opens the About box and prints its rectangle
//   uidriver confirm  clicks "Fix errors" and prints the Confirmation dialog's rectangle
//   uidriver size WIDTH HEIGHT  resizes the main window and prints its rectangle
//   uidriver dismiss CAPTION BUTTON  clicks a button of the window with that caption
#include <windows.h>

#include <cstdio>
#include <cstdlib>
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

bool WaitForCaption(HWND button, const wchar_t* caption, DWORD timeoutMs, DWORD stepMs = 100) {
    for (DWORD waited = 0; waited < timeoutMs; waited += stepMs) {
        if (Text(button) == caption) {
            return true;
        }
        Sleep(stepMs);
    }
    return false;
}

int Scan(HWND main) {
    HWND button1 = GetDlgItem(main, bv::ui::kIdButton1);
    HWND infoLabel = GetDlgItem(main, bv::ui::kIdInfoLabel);
    ULONGLONG start = GetTickCount64();
    PostMessageW(button1, BM_CLICK, 0, 0);
    if (!WaitForCaption(button1, L"Stop", 30000, 10)) {
        std::fprintf(stderr, "uidriver: the scan did not start\n");
        return 1;
    }
    // Fine steps: the benchmark times the window's scan by this.
    if (!WaitForCaption(button1, L"Start scan", 900000, 20)) {
        std::fprintf(stderr, "uidriver: the scan did not end\n");
        return 1;
    }
    std::fprintf(stderr, "scan_ms=%llu\n", GetTickCount64() - start);
    std::wstring status = Text(infoLabel);
    std::printf("%ls\n", status.c_str());
    return 0;
}

void PrintRect(HWND window) {
    RECT r{};
    GetWindowRect(window, &r);
    std::printf("%ld %ld %ld %ld\n", r.left, r.top, r.right - r.left, r.bottom - r.top);
}

HWND WaitForCaption(const wchar_t* caption, DWORD timeoutMs) {
    for (DWORD waited = 0; waited < timeoutMs; waited += 100) {
        HWND w = FindWindowW(nullptr, caption);
        if (w != nullptr && IsWindowVisible(w)) {
            return w;
        }
        Sleep(100);
    }
    return nullptr;
}

// Clicks a control of the main window and prints the rectangle of the dialog that opens.
int OpenDialog(HWND main, int id, const wchar_t* caption) {
    PostMessageW(GetDlgItem(main, id), BM_CLICK, 0, 0);
    HWND dialog = WaitForCaption(caption, 30000);
    if (dialog == nullptr) {
        std::fprintf(stderr, "uidriver: no %ls window\n", caption);
        return 1;
    }
    Sleep(300);  // let it paint
    PrintRect(dialog);
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
    if (mode == L"about") {
        return OpenDialog(main, bv::ui::kIdButton3, L"About");
    }
    if (mode == L"confirm") {
        return OpenDialog(main, bv::ui::kIdButton2, L"Confirmation");
    }
    if (mode == L"size" && argc > 3) {
        SetWindowPos(main, nullptr, 0, 0, _wtoi(argv[2]), _wtoi(argv[3]),
                     SWP_NOZORDER | SWP_NOACTIVATE);
        Sleep(500);
        PrintRect(main);
        return 0;
    }
    if (mode == L"dismiss" && argc > 3) {
        HWND dialog = WaitForCaption(argv[2], 10000);
        HWND button =
            dialog != nullptr ? FindWindowExW(dialog, nullptr, L"Button", argv[3]) : nullptr;
        if (button == nullptr) {
            return 1;
        }
        PostMessageW(button, BM_CLICK, 0, 0);
        return 0;
    }
    if (mode == L"close") {
        PostMessageW(main, WM_CLOSE, 0, 0);
        return 0;
    }
    std::fprintf(stderr, "usage: uidriver scan|rect|close|about|confirm|size|dismiss\n");
    return 2;
}
