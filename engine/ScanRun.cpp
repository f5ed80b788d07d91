// The scan run: start and stop, the fixed order of scanners with checkpoints, the timer phase
// and the end-of-scan summary.
#include "engine/ScanRun.h"

#include <string>
#include <vector>

#include "engine/Findings.h"
#include "scanners/Scanners.h"
#include "sysaccess/RegUnit.h"

namespace bv {

namespace {

constexpr const wchar_t* kUninstallPath =
    L"\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall";
constexpr const wchar_t* kUninstallPath32 =
    L"\\SOFTWARE\\Wow6432Node\\Microsoft\\Windows\\CurrentVersion\\Uninstall";
constexpr const wchar_t* kRecentDocs =
    L"\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Explorer\\RecentDocs";

// Most-recently-used lists of the current user; "*" in the seventh is a key name, not a pattern.
constexpr const wchar_t* kMruPaths[] = {
    L"\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Explorer\\RunMRU\\",
    L"\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Explorer\\StreamMRU\\",
    L"\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Doc Find Spec MRU\\",
    L"\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Explorer\\FindComputerMRU\\",
    L"\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Explorer\\ComDlg32\\LastVisitedMRU\\",
    L"\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Explorer\\ComDlg32\\OpenSaveMRU\\",
    L"\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Explorer\\ComDlg32\\OpenSaveMRU\\*\\",
    L"\\SOFTWARE\\Microsoft\\Search Assistant\\ACMru\\5603\\",
    L"\\SOFTWARE\\Microsoft\\Search Assistant\\ACMru\\5604\\",
    L"\\SOFTWARE\\Microsoft\\Search Assistant\\ACMru\\5647\\",
    L"\\SOFTWARE\\Microsoft\\Internet Explorer\\TypedURLs\\",
    L"\\SOFTWARE\\Microsoft\\MediaPlayer\\Player\\RecentFileList\\",
    L"\\SOFTWARE\\Gabest\\Media Player Classic\\Recent File List\\",
    L"\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Applets\\Regedit\\",
    L"\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Applets\\Paint\\Recent File List\\",
    L"\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Applets\\Wordpad\\Recent File List\\",
    kRecentDocs,
};

void StartScan(RunState& state) {
    WindowPort& w = state.window;
    w.SetCaption(Control::Button1, L"Stop");
    w.SetEnabled(Control::Button2, false);
    w.SetEnabled(Control::Button3, false);
    w.SetEnabled(Control::Button4, false);
    w.SetInfoTop(18);
    w.SetInfoAlignment(Alignment::Left);
    w.SetInfoText(L"Scanning. Please wait...");
    w.SetGauge(100);
    w.ShowGauge(true);
    state.SelectedIssueKey.clear();
    w.SetEnabled(Control::UndoCheck, false);
    w.SetEnabled(Control::UndoLabel, false);
    w.SetEnabled(Control::ExclusionsLabel, false);
    ResetScanResults(state);
    state.scanInProgress = true;
}

void TimerPhase(RunState& state) {
    state.window.SetGauge(0);
    state.timerValue = 0;
    state.window.EnableTimer(true);
    for (const wchar_t* path : kMruPaths) {
        ScanMruList(state, path);
    }
    std::vector<std::wstring> recent;
    ListSubkeys(kHkeyCurrentUser, kRecentDocs, recent);
    for (const std::wstring& name : recent) {
        ScanMruList(state, std::wstring(kRecentDocs) + L"\\" + name);
    }
}

// The scan steps in their fixed order; a checkpoint follows each one.
void RunScanSteps(RunState& state) {
    const std::vector<void (*)(RunState&)> steps = {
        [](RunState& s) { ScanAppPaths(s); },
        [](RunState& s) { ScanCompatibilityStore(s); },
        [](RunState& s) { ScanSharedDlls(s); },
        [](RunState& s) { ScanFileExts(s); },
        [](RunState& s) { ScanClassKeys(s); },
        [](RunState& s) { ScanComClasses(s); },
        [](RunState& s) { ScanInterfaces(s); },
        [](RunState& s) { ScanTypeLibraries(s); },
        [](RunState& s) { ScanApplications(s); },
        [](RunState& s) {
            ScanRunKeys(s, kHkeyCurrentUser);
            ScanRunKeys(s, kHkeyLocalMachine);
            ScanStartupReg(s);
        },
        [](RunState& s) {
            ScanUninstall(s, kHkeyLocalMachine, kUninstallPath);
            ScanUninstall(s, kHkeyCurrentUser, kUninstallPath);
            if (s.env.Is64BitWindows) {
                ScanUninstall(s, kHkeyLocalMachine, kUninstallPath32);
            }
        },
        [](RunState& s) { ScanInstallerFolders(s); },
        [](RunState& s) { ScanHtmlHelp(s); },
        [](RunState& s) {
            ScanFonts(s);
            ScanSoundEvents(s);
        },
        [](RunState& s) { TimerPhase(s); },
        [](RunState& s) { ScanInvalidValues(s, kHkeyCurrentUser, L"\\SOFTWARE"); },
        [](RunState& s) { ScanInvalidValues(s, kHkeyLocalMachine, L"\\SOFTWARE"); },
    };
    for (std::size_t i = 0; i < steps.size(); ++i) {
        steps[i](state);
        if (i + 1 == steps.size()) {
            break;  // the last step goes straight to the end of the run
        }
        state.window.Pump();
        if (!state.scanInProgress) {
            break;
        }
    }
}

void EndScan(RunState& state) {
    WindowPort& w = state.window;
    state.scanInProgress = false;
    w.EnableTimer(false);
    w.ShowGauge(false);
    w.SetInfoTop(32);
    w.SetInfoAlignment(Alignment::Center);
    ScanResults& r = state.results;
    r.ErrorTotal = 0;
    for (std::int32_t count : r.counters) {
        r.ErrorTotal += count;
    }
    if (r.ErrorTotal <= 0) {
        w.SetInfoText(L"No errors found.");
    } else {
        w.SetInfoText(L"Summary: " + std::to_wstring(r.ErrorTotal) + L" errors found.");
    }
    w.SetEnabled(Control::UndoCheck, true);
    w.SetEnabled(Control::UndoLabel, true);
    w.SetEnabled(Control::ExclusionsLabel, true);
    w.SetCaption(Control::Button1, L"Start scan");
    w.SetEnabled(Control::Button3, true);
    w.SetEnabled(Control::Button4, true);
    if (r.ErrorTotal > 0) {
        w.SetEnabled(Control::Button2, true);
        w.Focus(Control::Button2);
    }
}

}  // namespace

void Button1Click(RunState& state) {
    if (state.scanInProgress) {
        if (state.window.Confirm(L"Are you sure you want to stop registry scan?")) {
            state.scanInProgress = false;
        }
        return;
    }
    if (state.runActive) {
        return;  // stop already confirmed; the run ends at its next check
    }
    state.runActive = true;
    try {
        StartScan(state);
        RunScanSteps(state);
    } catch (...) {
        // A fault inside a scanner (out of memory) ends the run like a stop: the window must
        // not be left with the run's flags set and nothing to clear them.
        state.scanInProgress = false;
    }
    EndScan(state);
    state.runActive = false;
}

void TimerEvent(RunState& state) {
    state.timerValue += 5;
    state.window.SetGauge(state.timerValue);
    if (state.timerValue == 100) {
        state.timerValue = 0;
    }
}

}  // namespace bv
