// listfill.exe: the result list with 100 000 findings in Brimvale's own window -- the time to
// give the list its rows, to scroll through every page with painting, and the memory per half.
#include <windows.h>
#include <commctrl.h>
#include <psapi.h>

#include <chrono>
#include <cstdio>
#include <string>

#include "ui/Unit1.h"

namespace {

using Clock = std::chrono::steady_clock;

double MsSince(Clock::time_point start) {
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

double ResidentMb() {
    PROCESS_MEMORY_COUNTERS counters{};
    counters.cb = sizeof(counters);
    K32GetProcessMemoryInfo(GetCurrentProcess(), &counters, sizeof(counters));
    return static_cast<double>(counters.WorkingSetSize) / 1048576.0;
}

// Handles what is waiting, as the window's own loop would between user actions.
void Settle() {
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
}

}  // namespace

int wmain() {
    constexpr int kGroups = 10;
    constexpr int kRowsPerGroup = 10000;
    bv::ui::MainWindow* window = bv::ui::MainWindow::Create(GetModuleHandleW(nullptr));
    if (window == nullptr) {
        std::fprintf(stderr, "listfill: no window\n");
        return 1;
    }
    window->Show(SW_SHOWNORMAL);
    Settle();
    HWND list = window->List().Handle();
    bv::ScanResults& results = window->State().results;
    // Two halves: the second must cost what the first did, in time and in memory.
    for (int half = 0; half < 2; ++half) {
        double before = ResidentMb();
        for (int g = half * kGroups / 2; g < (half + 1) * kGroups / 2; ++g) {
            bv::IssueGroup group;
            group.category = static_cast<bv::IssueCategory>(g);
            for (int r = 0; r < kRowsPerGroup; ++r) {
                group.rows.push_back(bv::Issue{
                    group.category,
                    L"[HKLM]\\SOFTWARE\\Classes\\CLSID\\{" + std::to_wstring(g) + L"-" +
                        std::to_wstring(r) + L"}\\InprocServer32",
                    L"C:\\Program Files\\Vendor\\Product\\component" + std::to_wstring(r) + L".dll",
                    L"HKEY_LOCAL_MACHINE\\SOFTWARE\\Classes\\CLSID\\{" + std::to_wstring(g) + L"-" +
                        std::to_wstring(r) + L"}"});
            }
            results.groups.push_back(std::move(group));
        }
        auto start = Clock::now();
        window->ResultsAppended();
        window->List().Flush(true);
        UpdateWindow(list);
        double ms = MsSince(start);
        std::printf("rows=%d flush_ms=%.1f resident_mb=+%.1f\n",
                    (half + 1) * kGroups / 2 * kRowsPerGroup, ms, ResidentMb() - before);
    }
    auto start = Clock::now();
    for (int i = 0; i <= 100; ++i) {
        SendMessageW(list, LVM_ENSUREVISIBLE, static_cast<WPARAM>(i * 1000), FALSE);
        UpdateWindow(list);
    }
    std::printf("scroll_ms=%.1f pages=101\n", MsSince(start));
    window->ResultsCleared();
    results.groups.clear();
    DestroyWindow(window->Handle());
    Settle();
    return 0;
}
