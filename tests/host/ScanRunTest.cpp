// The scan run through a recording window: end states, stop requests re-entering the handler,
// the gauge rule and the timer.
#include <gtest/gtest.h>

#include <new>

#include "engine/Findings.h"
#include "engine/ScanRun.h"
#include "scanners/Scanners.h"
#include "tests/host/TestMachine.h"

namespace bv {
namespace {

using test::TestMachine;

constexpr const wchar_t* kAppPaths = L"\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\App Paths";

void AddBrokenAppPath(sim::Machine& m, const std::wstring& name) {
    m.registry.SetString(kHkeyLocalMachine, std::wstring(kAppPaths) + L"\\" + name, L"",
                         L"C:\\Gone\\" + name);
}

struct ScanRunTest : ::testing::Test {
    TestMachine t;
    void Start() {
        t.state.env = GatherEnvironmentSnapshot();
        Button1Click(t.state);
    }
    bool Enabled(Control c) { return t.window.IsEnabled(c); }
};

TEST_F(ScanRunTest, NothingFound) {
    Start();
    EXPECT_EQ(t.window.infoText, L"No errors found.");
    EXPECT_FALSE(t.window.gaugeVisible);
    EXPECT_FALSE(t.window.timerEnabled);
    EXPECT_FALSE(Enabled(Control::Button2));
    EXPECT_EQ(t.window.captions[Control::Button1], L"Start scan");
    EXPECT_EQ(t.window.infoTop, 32);
    EXPECT_EQ(t.window.infoAlignment, Alignment::Center);
    EXPECT_EQ(t.state.results.ErrorTotal, 0);
    EXPECT_FALSE(t.state.scanInProgress);
    for (Control c : {Control::Button3, Control::Button4, Control::UndoCheck, Control::UndoLabel,
                      Control::ExclusionsLabel}) {
        EXPECT_TRUE(Enabled(c));
    }
}

TEST_F(ScanRunTest, OneFindingEnablesAndFocusesFix) {
    AddBrokenAppPath(t.machine, L"a.exe");
    Start();
    EXPECT_EQ(t.window.infoText, L"Summary: 1 errors found.");
    EXPECT_TRUE(Enabled(Control::Button2));
    EXPECT_EQ(t.window.focused, Control::Button2);
    EXPECT_EQ(t.state.results.ErrorTotal, 1);
}

TEST_F(ScanRunTest, WorkingStateDuringTheScan) {
    AddBrokenAppPath(t.machine, L"a.exe");
    bool checked = false;
    t.window.onPump = [&](int pump) {
        if (pump != 1) {
            return;
        }
        checked = true;
        EXPECT_EQ(t.window.captions[Control::Button1], L"Stop");
        EXPECT_EQ(t.window.infoText, L"Scanning. Please wait...");
        EXPECT_EQ(t.window.infoTop, 18);
        EXPECT_EQ(t.window.infoAlignment, Alignment::Left);
        EXPECT_TRUE(t.window.gaugeVisible);
        EXPECT_TRUE(t.state.scanInProgress);
        for (Control c : {Control::Button2, Control::Button3, Control::Button4, Control::UndoCheck,
                          Control::UndoLabel, Control::ExclusionsLabel}) {
            EXPECT_FALSE(Enabled(c));
        }
        EXPECT_TRUE(Enabled(Control::Button1));
    };
    t.state.SelectedIssueKey = L"[HKLM]\\old";
    Start();
    EXPECT_TRUE(checked);
    EXPECT_TRUE(t.state.SelectedIssueKey.empty());
    // The gauge shows full before the first scanner resets it.
    ASSERT_GE(t.window.gaugeHistory.size(), 2u);
    EXPECT_EQ(t.window.gaugeHistory[0], 100);
    EXPECT_EQ(t.window.gaugeHistory[1], 0);
}

// A stop request arrives through a pump and re-enters the button handler.
TEST_F(ScanRunTest, StopAnsweredNoRunsOn) {
    for (int i = 0; i < 3; ++i) {
        AddBrokenAppPath(t.machine, L"p" + std::to_wstring(i) + L".exe");
    }
    t.machine.registry.SetString(kHkeyClassesRoot, L"\\Applications\\x.exe\\shell\\open\\command",
                                 L"", L"C:\\Gone\\x.exe");
    t.window.onPump = [&](int pump) {
        if (pump == 2) {
            t.window.answers.push_back(false);
            Button1Click(t.state);
        }
    };
    Start();
    ASSERT_EQ(t.window.questions.size(), 1u);
    EXPECT_EQ(t.window.questions[0], L"Are you sure you want to stop registry scan?");
    EXPECT_EQ(t.window.infoText, L"Summary: 4 errors found.");
}

TEST_F(ScanRunTest, StopAnsweredYesEndsAtTheNextCheck) {
    for (int i = 0; i < 3; ++i) {
        AddBrokenAppPath(t.machine, L"p" + std::to_wstring(i) + L".exe");
    }
    // A later scanner's finding that must not be reached.
    t.machine.registry.SetString(kHkeyClassesRoot, L"\\Applications\\x.exe\\shell\\open\\command",
                                 L"", L"C:\\Gone\\x.exe");
    t.window.onPump = [&](int pump) {
        if (pump == 2) {  // after the first App Paths entry was examined
            t.window.answers.push_back(true);
            Button1Click(t.state);
        }
    };
    Start();
    EXPECT_EQ(t.state.results.ErrorTotal, 1);
    EXPECT_EQ(t.window.infoText, L"Summary: 1 errors found.");
    EXPECT_TRUE(Enabled(Control::Button2));
    EXPECT_EQ(t.window.captions[Control::Button1], L"Start scan");
    EXPECT_FALSE(t.window.gaugeVisible);
    // The stopped scanner still fills the gauge; nothing after the checkpoint ran.
    EXPECT_EQ(t.window.gaugeHistory.back(), 100);
}

// After a confirmed stop the scanner still pumps over its remaining entries; a click then must
// not start a second scan inside the first.
TEST_F(ScanRunTest, ClickWhileAStoppedScanWindsDownStartsNothing) {
    for (int i = 0; i < 4; ++i) {
        AddBrokenAppPath(t.machine, L"p" + std::to_wstring(i) + L".exe");
    }
    t.window.onPump = [&](int pump) {
        if (pump == 2) {
            t.window.answers.push_back(true);
        }
        if (pump == 2 || pump == 3) {
            Button1Click(t.state);
        }
    };
    Start();
    EXPECT_EQ(t.window.questions.size(), 1u);
    EXPECT_EQ(t.window.resultsCleared, 1);
    EXPECT_EQ(t.state.results.ErrorTotal, 1);
    EXPECT_FALSE(t.state.runActive);
}

// A fault inside a scanner ends the run as a stop would: summary, idle controls, no flags left.
TEST_F(ScanRunTest, FaultInsideAScannerEndsTheRunLikeAStop) {
    for (int i = 0; i < 3; ++i) {
        AddBrokenAppPath(t.machine, L"p" + std::to_wstring(i) + L".exe");
    }
    t.window.onPump = [&](int pump) {
        if (pump == 2) {  // after the first App Paths entry was examined
            throw std::bad_alloc();
        }
    };
    EXPECT_NO_THROW(Start());
    EXPECT_FALSE(t.state.scanInProgress);
    EXPECT_FALSE(t.state.runActive);
    EXPECT_FALSE(t.window.timerEnabled);
    EXPECT_FALSE(t.window.gaugeVisible);
    EXPECT_EQ(t.window.infoTop, 32);
    EXPECT_EQ(t.window.infoAlignment, Alignment::Center);
    EXPECT_EQ(t.window.infoText, L"Summary: 1 errors found.");
    EXPECT_EQ(t.window.captions[Control::Button1], L"Start scan");
    for (Control c : {Control::Button2, Control::Button3, Control::Button4, Control::UndoCheck,
                      Control::UndoLabel, Control::ExclusionsLabel}) {
        EXPECT_TRUE(Enabled(c));
    }
    // The next click scans again.
    t.window.onPump = nullptr;
    Start();
    EXPECT_EQ(t.window.infoText, L"Summary: 3 errors found.");
}

TEST_F(ScanRunTest, SecondScanStartsFromEmptyResults) {
    AddBrokenAppPath(t.machine, L"a.exe");
    Start();
    ASSERT_EQ(t.state.results.IssueKeys.size(), 1u);
    t.machine.registry.DeleteKey(kHkeyLocalMachine, std::wstring(kAppPaths) + L"\\a.exe");
    int clearedBefore = t.window.resultsCleared;
    Button1Click(t.state);
    EXPECT_GT(t.window.resultsCleared, clearedBefore);
    EXPECT_TRUE(t.state.results.IssueKeys.empty());
    EXPECT_TRUE(t.state.results.groups.empty());
    EXPECT_EQ(t.window.infoText, L"No errors found.");
}

// Stop during the timer phase: the remaining MRU lists record nothing, the walks of both
// SOFTWARE trees do not run, and the timer is off at the end.
TEST_F(ScanRunTest, StopDuringTheTimerPhase) {
    const std::wstring runMru =
        L"\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Explorer\\RunMRU\\";
    const std::wstring typed = L"\\SOFTWARE\\Microsoft\\Internet Explorer\\TypedURLs\\";
    t.machine.registry.SetString(kHkeyCurrentUser, runMru, L"a", L"notepad\\1");
    t.machine.registry.SetString(kHkeyCurrentUser, runMru, L"b", L"calc\\1");
    t.machine.registry.SetString(kHkeyCurrentUser, typed, L"url1", L"http://example.org/");
    t.machine.registry.SetString(kHkeyCurrentUser, L"\\SOFTWARE\\Acme", L"Data",
                                 L"C:\\Acme\\gone.exe");
    bool sawTimer = false;
    t.window.onPump = [&](int) {
        if (t.window.timerEnabled && !sawTimer) {
            sawTimer = true;  // first pump of the timer phase: inside RunMRU, before "a"
            EXPECT_EQ(t.window.gaugeHistory.back(), 0);
            TimerEvent(t.state);
            t.window.answers.push_back(true);
            Button1Click(t.state);
        }
    };
    Start();
    EXPECT_TRUE(sawTimer);
    EXPECT_FALSE(t.window.timerEnabled);
    EXPECT_EQ(t.state.results.ErrorTotal, 0);
    EXPECT_EQ(t.window.infoText, L"No errors found.");
}

TEST_F(ScanRunTest, TimerPhaseRecordsEveryMruValue) {
    const std::wstring runMru =
        L"\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Explorer\\RunMRU\\";
    t.machine.registry.SetString(kHkeyCurrentUser, runMru, L"a", L"notepad\\1");
    t.machine.registry.SetString(kHkeyCurrentUser, runMru, L"MRUList", L"a");
    const std::wstring recent =
        L"\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Explorer\\RecentDocs";
    t.machine.registry.SetValue(kHkeyCurrentUser, recent + L"\\.txt", L"0", platform::kRegBinary,
                                {0, 255});
    Start();
    EXPECT_EQ(t.state.results.ErrorTotal, 3);
    EXPECT_EQ(t.state.results.IssueKeys.back(), L"[HKCU]" + recent + L"\\.txt=0");
}

// The 32-bit uninstall list exists only on 64-bit Windows.
TEST(ScanRunUninstall, Wow6432NodeOnlyOn64BitWindows) {
    for (bool is64 : {true, false}) {
        TestMachine t;
        if (!is64) {
            t.machine.programFilesFolder = L"C:\\Program Files";
        }
        t.machine.registry.SetString(
            kHkeyLocalMachine,
            L"\\SOFTWARE\\Wow6432Node\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Old",
            L"DisplayName", L"Old");
        t.state.env = GatherEnvironmentSnapshot();
        EXPECT_EQ(t.state.env.Is64BitWindows, is64);
        Button1Click(t.state);
        EXPECT_EQ(t.state.results.ErrorTotal, is64 ? 1 : 0) << (is64 ? "64-bit" : "32-bit");
    }
}

TEST(GaugeRule, ShowsOnlyNewMultiplesOfFive) {
    struct Case {
        std::size_t entries;
        std::vector<int> history;
    };
    std::vector<int> twoHundred{0};
    for (int p = 5; p <= 100; p += 5) {
        twoHundred.push_back(p);
    }
    twoHundred.push_back(100);
    const Case cases[] = {{3, {0, 100}}, {1, {0, 100}}, {200, twoHundred}};
    for (const Case& c : cases) {
        TestMachine t;
        for (std::size_t i = 0; i < c.entries; ++i) {
            t.machine.registry.SetString(
                kHkeyLocalMachine, std::wstring(kAppPaths) + L"\\e" + std::to_wstring(i), L"", L"");
        }
        RunState& s = t.Ready();
        ScanAppPaths(s);
        EXPECT_EQ(t.window.gaugeHistory, c.history) << c.entries << " entries";
    }
}

TEST(GaugeRule, RoundsHalvesToEven) {
    TestMachine t;
    RunState& s = t.Ready();
    Gauge g(s);
    g.Step(9, 200);   // 4.5 -> 4: no multiple of 5
    g.Step(21, 200);  // 10.5 -> 10
    g.Step(25, 200);  // 12.5 -> 12
    EXPECT_EQ(t.window.gaugeHistory, (std::vector<int>{0, 10}));
}

TEST(TimerEventTest, SweepsFromFiveToHundredAndStartsAgain) {
    TestMachine t;
    RunState& s = t.Ready();
    for (int i = 0; i < 21; ++i) {
        TimerEvent(s);
    }
    ASSERT_EQ(t.window.gaugeHistory.size(), 21u);
    EXPECT_EQ(t.window.gaugeHistory[0], 5);
    EXPECT_EQ(t.window.gaugeHistory[19], 100);
    EXPECT_EQ(t.window.gaugeHistory[20], 5);
    EXPECT_EQ(s.timerValue, 5);
}

}  // namespace
}  // namespace bv
