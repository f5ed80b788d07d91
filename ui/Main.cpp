// Program entry: hands over to a running instance (found by its title) or starts the main
// window and runs its message loop. Arguments are ignored.
#include <windows.h>

#include "ui/Unit1.h"

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int showCommand) {
    // Elevated: load DLLs from the system folder only, never from the program's or the
    // current folder. Looked up, since Vista and an unpatched 7 lack it.
    using SetDirectories = BOOL(WINAPI*)(DWORD);
    if (HMODULE kernel = GetModuleHandleW(L"kernel32.dll")) {
        if (auto set = reinterpret_cast<SetDirectories>(
                reinterpret_cast<void*>(GetProcAddress(kernel, "SetDefaultDllDirectories")))) {
            set(0x00000800);  // LOAD_LIBRARY_SEARCH_SYSTEM32
        }
    }
    HWND running = FindWindowW(nullptr, bv::ui::kMainTitle);
    if (running != nullptr) {
        // Fire and forget: ask it to come forward, give it a moment, end. This start is the
        // user's, so it may hand the foreground on; without that Windows only flashes the
        // first window's taskbar button.
        DWORD runningProcess = 0;
        GetWindowThreadProcessId(running, &runningProcess);
        if (runningProcess != 0) {
            AllowSetForegroundWindow(runningProcess);
        }
        UINT restore = RegisterWindowMessageW(bv::ui::kRestoreMessageName);
        PostMessageW(running, restore, bv::ui::kRestoreMarker, 0);
        Sleep(500);
        return 0;
    }
    bv::ui::MainWindow* window = bv::ui::MainWindow::Create(instance);
    if (window == nullptr) {
        return 0;
    }
    HWND handle = window->Handle();
    window->Show(showCommand == SW_HIDE ? SW_SHOWNORMAL : showCommand);
    bv::ui::RunMessageLoop(handle);
    return 0;
}
