// Stopping at every moment: on the demo machine, the scan and then the fix are stopped at each
// pump in turn, and the end state must be one a user could have been shown.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "engine/Findings.h"
#include "engine/ScanRun.h"
#include "platform/Utf16.h"
#include "platform/sim/MachineDirectory.h"
#include "platform/sim/RegFile.h"
#include "repair/Repair.h"
#include "sysaccess/TextFile.h"
#include "tests/host/TestMachine.h"

namespace bv {
namespace {

using test::TestMachine;

// The demo machine, freshly loaded, with its snapshot gathered.
struct Demo : TestMachine {
    Demo() {
        std::string error;
        loaded = sim::LoadMachineDirectory(BV_SOURCE_DIR "/tests/machines/demo", machine, error);
        EXPECT_TRUE(loaded) << error;
        state.env = GatherEnvironmentSnapshot();
    }
    bool loaded = false;
};

// What a stop must leave behind: every count, text and row tells the same story.
void ExpectConsistent(const RunState& s) {
    const ScanResults& r = s.results;
    std::int32_t counted = 0;
    for (std::int32_t c : r.counters) {
        counted += c;
    }
    EXPECT_EQ(static_cast<std::size_t>(counted), r.IssueKeys.size());
    EXPECT_EQ(r.ErrorTotal, counted);
    EXPECT_EQ(r.recorded.size(), r.IssueKeys.size());
    std::size_t rows = 0;
    for (const IssueGroup& g : r.groups) {
        EXPECT_FALSE(g.rows.empty());
        EXPECT_TRUE(r.groupCreated[static_cast<std::size_t>(g.category)]);
        EXPECT_EQ(static_cast<std::size_t>(r.counters[static_cast<std::size_t>(g.category)]),
                  g.rows.size());
        rows += g.rows.size();
    }
    EXPECT_EQ(rows, r.recorded.size());
    for (const RowRef& ref : r.recorded) {
        ASSERT_LT(ref.group, r.groups.size());
        ASSERT_LT(ref.row, r.groups[ref.group].rows.size());
    }
    // The script: header, empty line, then per finding its deletion lines and an empty line.
    ASSERT_GE(r.FixScript.size(), 2u);
    EXPECT_EQ(r.FixScript[0], L"Windows Registry Editor Version 5.00");
    std::size_t groups = 0;
    for (std::size_t i = 2; i < r.FixScript.size(); ++i) {
        groups += r.FixScript[i].empty() ? 1 : 0;
    }
    EXPECT_EQ(groups, r.IssueKeys.size());
    EXPECT_TRUE(r.FixScript.size() == 2 || r.FixScript.back().empty());
}

template <typename T>
bool IsPrefix(const std::vector<T>& part, const std::vector<T>& whole) {
    return part.size() <= whole.size() && std::equal(part.begin(), part.end(), whole.begin());
}

// ----- the scan ---------------------------------------------------------------------------

TEST(StopAnywhere, ScanStoppedAtEveryPump) {
    // The whole scan, for reference.
    std::vector<std::wstring> allKeys, allScript;
    std::vector<std::vector<std::wstring>> allRows;
    int pumps = 0;
    {
        Demo d;
        ASSERT_TRUE(d.loaded);
        Button1Click(d.state);
        allKeys = d.state.results.IssueKeys;
        allScript = d.state.results.FixScript;
        allRows = d.Rows();
        pumps = d.window.pumps;
    }
    ASSERT_GT(pumps, 50);
    ASSERT_GT(allKeys.size(), 10u);

    int stoppedEarly = 0;
    for (int stopAt = 1; stopAt <= pumps; ++stopAt) {
        SCOPED_TRACE("stopped at pump " + std::to_string(stopAt));
        Demo d;
        RunState& s = d.state;
        std::size_t keysAtStop = 0;
        d.window.onPump = [&](int pump) {
            if (pump == stopAt) {
                d.window.answers = {true};
                Button1Click(s);  // the click on "Stop", answered "Yes"
                EXPECT_FALSE(s.scanInProgress);
                keysAtStop = s.results.IssueKeys.size();
            }
        };
        Button1Click(s);

        EXPECT_EQ(d.window.questions,
                  std::vector<std::wstring>{L"Are you sure you want to stop registry scan?"});
        EXPECT_FALSE(s.scanInProgress);
        EXPECT_EQ(d.window.captions[Control::Button1], L"Start scan");
        // Nothing is recorded after the stop, and what was recorded is what a whole scan
        // records first.
        EXPECT_EQ(s.results.IssueKeys.size(), keysAtStop);
        EXPECT_TRUE(IsPrefix(s.results.IssueKeys, allKeys));
        EXPECT_TRUE(IsPrefix(s.results.FixScript, allScript));
        EXPECT_TRUE(IsPrefix(d.Rows(), allRows));
        ExpectConsistent(s);
        EXPECT_EQ(d.window.IsEnabled(Control::Button2), s.results.ErrorTotal > 0);
        EXPECT_EQ(d.window.infoText,
                  s.results.ErrorTotal > 0
                      ? L"Summary: " + std::to_wstring(s.results.ErrorTotal) + L" errors found."
                      : std::wstring(L"No errors found."));
        stoppedEarly += s.results.IssueKeys.size() < allKeys.size() ? 1 : 0;
        if (::testing::Test::HasFailure()) {
            break;
        }
    }
    EXPECT_GT(stoppedEarly, pumps / 2);
    std::printf("stop anywhere: scan stopped at each of %d pumps (%zu findings in all)\n", pumps,
                allKeys.size());
}

// ----- the fix ----------------------------------------------------------------------------

// A scanned demo machine where some findings cannot be deleted (read-only keys), so the check
// phase has leftovers, and an older exclusion list that a rewrite would replace.
struct ScannedDemo : Demo {
    static constexpr int kLocked = 4;
    std::wstring exclusionsPath;
    std::vector<std::uint8_t> oldExclusions;
    std::wstring registryBefore;

    ScannedDemo() {
        exclusionsPath = state.env.AppDataFolder + L"Exclusions.txt";
        oldExclusions = EncodeTextLines({L"[HKCU]\\Software\\Old exclusion"}, TextEncoding::Ansi);
        machine.AddFile(exclusionsPath, oldExclusions);
        Button1Click(state);
        int locked = 0;
        for (const std::wstring& entry : state.results.IssueKeys) {
            IssueKeyParts parts;
            if (locked < kLocked && ParseIssueKey(entry, parts)) {
                machine.registry.SetRight(parts.root, parts.keyPath, sim::Right::Read);
                ++locked;
            }
        }
        registryBefore = sim::ExportWholeRegistry(machine.registry);
    }
};

TEST(StopAnywhere, FixStoppedAtEveryPump) {
    // The whole fix, for reference.
    int scanPumps = 0, fixPumps = 0;
    std::wstring registryFixed;
    std::vector<std::wstring> allLeft;
    {
        ScannedDemo d;
        ASSERT_TRUE(d.loaded);
        scanPumps = d.window.pumps;
        d.window.answers = {true};
        Button2Click(d.state);
        fixPumps = d.window.pumps - scanPumps;
        registryFixed = sim::ExportWholeRegistry(d.machine.registry);
        allLeft = d.state.results.ExclusionList;
        ASSERT_GT(allLeft.size(), 2u);
        ASSERT_NE(registryFixed, d.registryBefore);
    }
    ASSERT_GT(fixPumps, 10);

    int inUndo = 0, inCheck = 0, rewritten = 0;
    for (int k = 1; k <= fixPumps; ++k) {
        SCOPED_TRACE("fix stopped at its pump " + std::to_string(k));
        ScannedDemo d;
        RunState& s = d.state;
        std::wstring phase;
        const std::vector<std::wstring> issueKeys = s.results.IssueKeys;
        d.window.answers = {true};
        d.window.onPump = [&](int pump) {
            if (pump == scanPumps + k) {
                phase = d.window.infoText;
                d.window.answers = {true};
                Button2Click(s);  // the click on "Stop", answered "Yes"
            }
        };
        Button2Click(s);

        EXPECT_FALSE(s.scanInProgress);
        EXPECT_EQ(d.window.infoText, L"Process was cancelled");
        EXPECT_EQ(d.window.captions[Control::Button2], L"Fix errors");
        EXPECT_LE(d.window.pumps, scanPumps + k);  // nothing pumps after the stop
        const std::vector<std::uint8_t>* exclusions = d.machine.FileContents(d.exclusionsPath);
        if (phase == L"Creating undo. Please wait...") {
            ++inUndo;
            // Stopped before the editor ran: the registry is untouched, the list unchanged.
            EXPECT_EQ(sim::ExportWholeRegistry(d.machine.registry), d.registryBefore);
            ASSERT_NE(exclusions, nullptr);
            EXPECT_EQ(*exclusions, d.oldExclusions);
        } else {
            ASSERT_EQ(phase, L"Checking exclusions. Please wait...");
            ++inCheck;
            EXPECT_EQ(sim::ExportWholeRegistry(d.machine.registry), registryFixed);
            // The leftovers found before the stop, in order; the file is rewritten only when
            // more than two were found.
            const std::vector<std::wstring>& left = s.results.ExclusionList;
            EXPECT_TRUE(IsPrefix(left, allLeft));
            for (const std::wstring& entry : left) {
                EXPECT_NE(std::find(issueKeys.begin(), issueKeys.end(), entry), issueKeys.end());
            }
            ASSERT_NE(exclusions, nullptr);
            if (left.size() > 2) {
                ++rewritten;
                EXPECT_EQ(DecodeTextLines(*exclusions), left);
            } else {
                EXPECT_EQ(*exclusions, d.oldExclusions);
            }
        }
        if (::testing::Test::HasFailure()) {
            break;
        }
    }
    EXPECT_GT(inUndo, 0);
    EXPECT_GT(inCheck, 0);
    EXPECT_GT(rewritten, 0);
    EXPECT_LT(rewritten, inCheck);
    std::printf(
        "stop anywhere: fix stopped at each of %d pumps (%d undo, %d check, %d rewrote "
        "the exclusion list)\n",
        fixPumps, inUndo, inCheck, rewritten);
}

}  // namespace
}  // namespace bv
