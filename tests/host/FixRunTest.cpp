// The fix run: questions, the working and idle window, the three phases, stops, summaries and
// the end states.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <new>

#include "engine/Findings.h"
#include "platform/Platform.h"
#include "platform/Utf16.h"
#include "platform/sim/RegFile.h"
#include "repair/Repair.h"
#include "sysaccess/TextFile.h"
#include "tests/host/TestMachine.h"

namespace bv {
namespace {

using test::TestMachine;
using Lines = std::vector<std::wstring>;

const std::wstring kAppData = L"C:\\Users\\User\\AppData\\Roaming\\Brimvale\\";
const std::wstring kScript = kAppData + L"Brimvale.reg";
const std::wstring kExclusions = kAppData + L"Exclusions.txt";
const std::wstring kUndo = kAppData + L"Brimvale_Undo_9_12_2024_14_5_7.reg";

// A machine with findings recorded as a finished scan leaves them.
struct World {
    TestMachine t;
    RunState* s = nullptr;

    // n removable HKCU value findings under Software\Fix, plus `stay` findings the script does
    // not remove (a key finding whose deletion removes only its unnamed value).
    void Build(int n, int stay = 0) {
        auto& r = t.machine.registry;
        for (int i = 0; i < n; ++i) {
            r.SetString(kHkeyCurrentUser, L"Software\\Fix", L"v" + std::to_wstring(i), L"x");
        }
        for (int i = 0; i < stay; ++i) {
            r.SetString(kHkeyCurrentUser, L"Software\\Stay" + std::to_wstring(i), L"", L"y");
        }
        s = &t.Ready();
        for (int i = 0; i < n; ++i) {
            const std::wstring name = L"v" + std::to_wstring(i);
            ASSERT_TRUE(RecordIssue(*s, IssueCategory::TemporaryValues, L"[HKCU]\\Software\\Fix",
                                    name, L"[HKCU]\\Software\\Fix=" + name,
                                    ValueDeletion(kHkeyCurrentUser, L"\\Software\\Fix", name)));
        }
        for (int i = 0; i < stay; ++i) {
            const std::wstring path = L"\\Software\\Stay" + std::to_wstring(i);
            ASSERT_TRUE(RecordIssue(*s, IssueCategory::FontsSounds, L"[HKCU]" + path, L"",
                                    L"[HKCU]" + path, ValueDeletion(kHkeyCurrentUser, path, L"")));
        }
        EndScan();
    }
    void EndScan() {
        s->results.ErrorTotal = static_cast<std::int32_t>(s->results.IssueKeys.size());
        s->scanInProgress = false;
        s->SelectedIssueKey = L"[HKCU]\\Software\\Fix";
        clearedByScan = t.window.resultsCleared;
    }
    int clearedByScan = 0;
    int ClearedByFix() const { return t.window.resultsCleared - clearedByScan; }
    std::wstring Registry() const { return sim::ExportWholeRegistry(t.machine.registry); }
    bool HasValue(const std::wstring& name) const {
        const sim::Key* k = t.machine.registry.Find(kHkeyCurrentUser, L"Software\\Fix");
        return k != nullptr && k->FindValue(name) != nullptr;
    }
    void ExpectIdle() {
        const auto& w = t.window;
        EXPECT_FALSE(s->scanInProgress);
        EXPECT_EQ(w.captions.at(Control::Button2), L"Fix errors");
        EXPECT_FALSE(w.IsEnabled(Control::Button2));
        for (Control c : {Control::Button1, Control::Button3, Control::Button4, Control::UndoCheck,
                          Control::UndoLabel, Control::ExclusionsLabel}) {
            EXPECT_TRUE(w.IsEnabled(c));
        }
        EXPECT_EQ(w.focused, Control::Button4);
        EXPECT_FALSE(w.gaugeVisible);
        EXPECT_EQ(w.infoTop, 32);
        EXPECT_EQ(w.infoAlignment, Alignment::Center);
        EXPECT_EQ(w.messages, Lines{w.infoText});
        EXPECT_FALSE(t.machine.IsFile(kScript));
    }
};

class FixRunTest : public ::testing::Test, public World {};

TEST_F(FixRunTest, EveryFindingRemoved) {
    Build(3);
    t.window.answers = {true};
    Lines phases;
    t.window.onPump = [&](int) {
        if (phases.empty() || phases.back() != t.window.infoText) {
            phases.push_back(t.window.infoText);
        }
        // The working state, seen from inside the run.
        const auto& w = t.window;
        EXPECT_TRUE(s->scanInProgress);
        EXPECT_FALSE(w.IsEnabled(Control::Button1));
        EXPECT_TRUE(w.IsEnabled(Control::Button2));
        EXPECT_EQ(w.captions.at(Control::Button2), L"Stop");
        for (Control c : {Control::Button3, Control::Button4, Control::UndoCheck,
                          Control::UndoLabel, Control::ExclusionsLabel}) {
            EXPECT_FALSE(w.IsEnabled(c));
        }
        EXPECT_EQ(w.infoTop, 18);
        EXPECT_EQ(w.infoAlignment, Alignment::Left);
        EXPECT_TRUE(w.gaugeVisible);
    };
    const Lines keys = s->results.IssueKeys;
    const Lines script = s->results.FixScript;
    Button2Click(*s);

    EXPECT_EQ(t.window.questions, Lines{L"Are you sure you want to fix found errors?"});
    EXPECT_EQ(phases,
              (Lines{L"Creating undo. Please wait...", L"Checking exclusions. Please wait..."}));
    EXPECT_EQ(t.window.infoText, L"Errors were fixed");
    ExpectIdle();
    for (int i = 0; i < 3; ++i) {
        EXPECT_FALSE(HasValue(L"v" + std::to_wstring(i)));
    }
    // The list is emptied; what the scan built stays until the next scan.
    EXPECT_EQ(ClearedByFix(), 1);
    EXPECT_TRUE(s->results.groups.empty());
    EXPECT_TRUE(s->results.recorded.empty());
    EXPECT_EQ(s->results.IssueKeys, keys);
    EXPECT_EQ(s->results.FixScript, script);
    EXPECT_EQ(s->results.ErrorTotal, 3);
    EXPECT_EQ(s->results.counters[static_cast<int>(IssueCategory::TemporaryValues)], 3);
    EXPECT_TRUE(s->SelectedIssueKey.empty());
    EXPECT_TRUE(t.machine.IsFile(kUndo));
    // The gauge: full at the start, reset by the undo phase and again by the check phase.
    EXPECT_EQ(t.window.gaugeHistory.front(), 100);
    // The import ran with the silent switch on the script in the data folder.
    ASSERT_FALSE(t.machine.processes.empty());
    EXPECT_EQ(t.machine.processes.back().commandLine, L" /s \"" + kScript + L"\"");
    EXPECT_EQ(t.machine.processes.back().application, L"C:\\Windows\\regedit.exe");
}

TEST(FixRun, SummaryCountsWhatIsStillPresent) {
    struct Case {
        int removable, stay;
        std::wstring summary;
    } cases[] = {{8, 2, L"Summary: 8 errors fixed"},
                 {0, 3, L"Summary: 0 errors fixed"},
                 {1, 0, L"Errors were fixed"}};
    for (const Case& c : cases) {
        World w;
        w.Build(c.removable, c.stay);
        w.t.window.answers = {true};
        Button2Click(*w.s);
        EXPECT_EQ(w.t.window.infoText, c.summary);
        w.ExpectIdle();
    }
}

TEST_F(FixRunTest, NoToTheQuestionChangesNothing) {
    Build(2);
    const std::wstring before = Registry();
    t.window.answers = {false};
    Button2Click(*s);
    EXPECT_EQ(t.window.questions, Lines{L"Are you sure you want to fix found errors?"});
    EXPECT_TRUE(t.window.enabled.empty());
    EXPECT_TRUE(t.window.captions.at(Control::Button2) == L"Fix errors");
    EXPECT_TRUE(t.window.messages.empty());
    EXPECT_EQ(Registry(), before);
    EXPECT_EQ(ClearedByFix(), 0);
    EXPECT_TRUE(t.machine.processes.empty());
}

TEST_F(FixRunTest, NoToStopRunsOn) {
    Build(3);
    t.window.answers = {true, false};
    t.window.onPump = [&](int pump) {
        if (pump == 2) {
            Button2Click(*s);
        }
    };
    Button2Click(*s);
    EXPECT_EQ(t.window.questions, (Lines{L"Are you sure you want to fix found errors?",
                                         L"Are you sure you want to stop fixing?"}));
    EXPECT_EQ(t.window.infoText, L"Errors were fixed");
    ExpectIdle();
}

TEST_F(FixRunTest, UndoUncheckedSkipsTheUndoPhase) {
    Build(2);
    t.window.undoChecked = false;
    t.window.answers = {true};
    Lines phases;
    t.window.onPump = [&](int) { phases.push_back(t.window.infoText); };
    Button2Click(*s);
    EXPECT_EQ(phases, Lines(2, L"Checking exclusions. Please wait..."));
    EXPECT_EQ(t.window.gaugeHistory, (std::vector<int>{100, 0, 50}));
    EXPECT_EQ(t.window.infoText, L"Errors were fixed");
    EXPECT_FALSE(t.machine.IsFile(kUndo));
    // On a fresh machine the data folder is made for the script.
    EXPECT_TRUE(t.machine.IsFolder(kAppData));
}

TEST_F(FixRunTest, StopInTheUndoPhaseLeavesEverythingAsItWas) {
    t.machine.AddFile(kExclusions, {'o', 'l', 'd', '\r', '\n'});
    Build(5);
    const std::wstring before = Registry();
    t.window.answers = {true, true};
    t.window.onPump = [&](int pump) {
        if (pump == 3) {
            Button2Click(*s);
        }
    };
    Button2Click(*s);
    EXPECT_EQ(t.window.infoText, L"Process was cancelled");
    ExpectIdle();
    EXPECT_EQ(Registry(), before);
    EXPECT_EQ(s->results.ExclusionList, Lines{L"old"});
    EXPECT_EQ(DecodeTextLines(*t.machine.FileContents(kExclusions)), Lines{L"old"});
    EXPECT_EQ(ClearedByFix(), 0);
    EXPECT_EQ(s->results.recorded.size(), 5u);
    EXPECT_FALSE(s->SelectedIssueKey.empty());
    // The undo file holds the two findings handled before the stop.
    ASSERT_TRUE(t.machine.IsFile(kUndo));
    EXPECT_EQ(DecodeTextLines(*t.machine.FileContents(kUndo)).size(), 2u + 2 * 3);
}

TEST_F(FixRunTest, StopInTheCheckPhaseWritesThePartialList) {
    Build(0, 6);
    t.window.undoChecked = false;
    t.window.answers = {true, true};
    t.window.onPump = [&](int pump) {
        if (pump == 5) {
            Button2Click(*s);
        }
    };
    Button2Click(*s);
    EXPECT_EQ(t.window.infoText, L"Process was cancelled");
    ExpectIdle();
    EXPECT_EQ(s->results.ExclusionList.size(), 4u);
    EXPECT_EQ(DecodeTextLines(*t.machine.FileContents(kExclusions)), s->results.ExclusionList);
    EXPECT_EQ(ClearedByFix(), 0);
    EXPECT_EQ(s->results.recorded.size(), 6u);
}

// A fault inside a phase (out of memory) ends the fix as a stop would, in the undo phase before
// anything is deleted.
TEST(FixRun, FaultInsideAPhaseEndsTheFixLikeAStop) {
    struct Case {
        const char* phase;
        bool undo;
        int removable, stay, pump;
    };
    const Case cases[] = {{"undo", true, 5, 0, 3}, {"check", false, 0, 6, 5}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.phase);
        World world;
        world.Build(c.removable, c.stay);
        const std::wstring before = world.Registry();
        world.t.window.undoChecked = c.undo;
        world.t.window.answers = {true};
        world.t.window.onPump = [&](int pump) {
            if (pump == c.pump) {
                throw std::bad_alloc();
            }
        };
        EXPECT_NO_THROW(Button2Click(*world.s));
        EXPECT_EQ(world.t.window.infoText, L"Process was cancelled");
        world.ExpectIdle();
        EXPECT_FALSE(world.s->runActive);
        EXPECT_EQ(world.ClearedByFix(), 0);
        if (c.undo) {
            EXPECT_EQ(world.Registry(), before);
        }
        // The next fix runs.
        world.t.window.onPump = nullptr;
        world.t.window.answers = {true};
        world.t.window.messages.clear();
        Button2Click(*world.s);
        EXPECT_NE(world.t.window.infoText, L"Process was cancelled");
    }
}

TEST(FixRun, NothingIsDeletedWhenTheUndoFileCannotBeSaved) {
    const std::wstring notSaved = L"Nothing was changed because the undo file could not be saved";
    struct Case {
        const char* label;
        std::function<void(sim::Machine&)> setUp;
        bool otherProgramsFile;
    } cases[] = {
        {"a file of that name held by another program",
         [](sim::Machine& m) { m.AddFile(kUndo, {'x'}); }, true},
        {"a full disk", [](sim::Machine& m) { m.freeBytes = 40; }, false},
        {"no data folder, and none in the program's folder either",
         [](sim::Machine& m) { m.appDataFolder = L"Q:\\Roaming"; }, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        World w;
        w.t.machine.AddFile(kExclusions, {'o', 'l', 'd', '\r', '\n'});
        c.setUp(w.t.machine);
        w.Build(3);
        const std::wstring before = w.Registry();
        w.t.window.answers = {true};
        {
            platform::FileLock other(kUndo);
            Button2Click(*w.s);
        }
        EXPECT_EQ(w.Registry(), before);
        EXPECT_EQ(w.t.window.infoText, notSaved);
        w.ExpectIdle();
        // The editor was never asked to import; the findings stay listed, the exclusions as
        // they were.
        for (const sim::ProcessRecord& p : w.t.machine.processes) {
            EXPECT_NE(p.commandLine.rfind(L" /s \"", 0), 0u) << ToUtf8(p.commandLine);
        }
        EXPECT_EQ(w.ClearedByFix(), 0);
        EXPECT_EQ(w.s->results.recorded.size(), 3u);
        EXPECT_EQ(DecodeTextLines(*w.t.machine.FileContents(kExclusions)), Lines{L"old"});
        if (c.otherProgramsFile) {
            EXPECT_EQ(*w.t.machine.FileContents(kUndo), (std::vector<std::uint8_t>{'x'}));
        } else {
            EXPECT_FALSE(w.t.machine.IsFile(kUndo));
        }
    }
}

TEST(FixRun, AKeyNoUndoFileCanHoldIsLeftAndKeptAsAnExclusion) {
    World w;
    auto& r = w.t.machine.registry;
    r.SetString(kHkeyCurrentUser, L"Software\\Odd\\Deep", L"two\nlines", L"x");
    r.SetString(kHkeyCurrentUser, L"Software\\Plain", L"v", L"y");
    w.Build(2);
    for (const wchar_t* key : {L"\\Software\\Odd", L"\\Software\\Plain"}) {
        ASSERT_TRUE(RecordIssue(*w.s, IssueCategory::SoftwareLocations,
                                std::wstring(L"[HKCU]") + key, L"", std::wstring(L"[HKCU]") + key,
                                KeyDeletion(kHkeyCurrentUser, key)));
    }
    w.EndScan();
    w.t.window.answers = {true};
    Button2Click(*w.s);
    EXPECT_NE(r.Find(kHkeyCurrentUser, L"Software\\Odd\\Deep"), nullptr);
    EXPECT_EQ(r.Find(kHkeyCurrentUser, L"Software\\Plain"), nullptr);
    EXPECT_FALSE(w.HasValue(L"v0"));
    EXPECT_EQ(w.s->results.ExclusionList, Lines{L"[HKCU]\\Software\\Odd"});
    EXPECT_EQ(w.t.window.infoText, L"Summary: 3 errors fixed");
    w.ExpectIdle();
    // The undo file holds what was deleted, nothing of the key left alone.
    const Lines undo = DecodeTextLines(*w.t.machine.FileContents(kUndo));
    EXPECT_NE(std::find(undo.begin(), undo.end(), L"[HKEY_CURRENT_USER\\Software\\Plain]"),
              undo.end());
    for (const std::wstring& line : undo) {
        EXPECT_EQ(line.find(L"Odd"), std::wstring::npos) << ToUtf8(line);
    }
}

TEST(FixRun, OnlyWhatIsGoneCountsAsFixed) {
    struct Case {
        const char* label;
        bool administrator;
        std::wstring summary;
        std::size_t exclusions;
    } cases[] = {
        {"an administrator removes machine values", true, L"Errors were fixed", 0},
        // A standard user's editor cannot delete them, and the full-access re-test cannot open
        // their key: they are no exclusions, but not fixed either.
        {"a standard user cannot", false, L"Summary: 1 errors fixed", 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        World w;
        w.t.machine.administrator = c.administrator;
        w.t.machine.registry.SetString(kHkeyLocalMachine, L"SOFTWARE\\Machine", L"a", L"x");
        w.t.machine.registry.SetString(kHkeyLocalMachine, L"SOFTWARE\\Machine", L"b", L"x");
        w.Build(1);
        for (const wchar_t* name : {L"a", L"b"}) {
            ASSERT_TRUE(
                RecordIssue(*w.s, IssueCategory::TemporaryValues, L"[HKLM]\\SOFTWARE\\Machine",
                            name, std::wstring(L"[HKLM]\\SOFTWARE\\Machine=") + name,
                            ValueDeletion(kHkeyLocalMachine, L"\\SOFTWARE\\Machine", name)));
        }
        w.EndScan();
        w.t.window.answers = {true};
        Button2Click(*w.s);
        EXPECT_EQ(w.t.window.infoText, c.summary);
        EXPECT_EQ(w.s->results.ExclusionList.size(), c.exclusions);
        w.ExpectIdle();
    }
}

TEST(FixRun, AScriptCutShortIsNotLeftBehind) {
    World w;
    w.Build(40);
    w.t.machine.freeBytes = 100;  // less than the script needs
    w.t.window.undoChecked = false;
    w.t.window.answers = {true};
    const std::wstring before = w.Registry();
    Button2Click(*w.s);
    EXPECT_FALSE(w.t.machine.IsFile(kScript));
    EXPECT_EQ(w.Registry(), before);
    EXPECT_EQ(w.t.window.infoText, L"Summary: 0 errors fixed");
    w.ExpectIdle();
}

TEST_F(FixRunTest, ScriptThatCannotBeWrittenImportsNothing) {
    // Another program holds a file of that name.
    t.machine.AddFile(kScript, {'[', '-', 'H', ']', '\r', '\n'});
    Build(3);
    const std::wstring before = Registry();
    {
        platform::FileLock other(kScript);
        ASSERT_TRUE(other.Held());
        t.window.undoChecked = false;
        t.window.answers = {true};
        Button2Click(*s);
    }
    EXPECT_EQ(Registry(), before);
    EXPECT_EQ(t.window.infoText, L"Summary: 0 errors fixed");
    // The other program's file is left alone.
    ASSERT_TRUE(t.machine.IsFile(kScript));
    EXPECT_EQ(t.machine.FileContents(kScript)->size(), 6u);
    EXPECT_TRUE(t.machine.processes.empty());
}

}  // namespace
}  // namespace bv
