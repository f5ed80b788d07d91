// Host-test fixture: a simulated machine installed for the test, with a run state whose
// environment snapshot was gathered from it.
#pragma once

#include <string>
#include <vector>

#include "engine/Findings.h"
#include "engine/RunState.h"
#include "platform/sim/SimMachine.h"
#include "tests/host/RecordingWindow.h"

namespace bv::test {

struct TestMachine {
    sim::Machine machine;
    RecordingWindow window;
    RunState state{window};

    TestMachine() { sim::Machine::Install(&machine); }
    ~TestMachine() { sim::Machine::Install(nullptr); }
    TestMachine(const TestMachine&) = delete;
    TestMachine& operator=(const TestMachine&) = delete;

    // Gathers the snapshot and readies the results as a scan start would; call after the
    // machine is set up.
    RunState& Ready() {
        state.env = GatherEnvironmentSnapshot();
        ResetScanResults(state);
        state.scanInProgress = true;
        return state;
    }

    // Every recorded finding in recording order (category caption, key, value, exclusion).
    std::vector<std::vector<std::wstring>> Rows() const;
    // FixScript without its two header lines.
    std::vector<std::wstring> ScriptBody() const {
        const auto& s = state.results.FixScript;
        return s.size() > 2 ? std::vector<std::wstring>(s.begin() + 2, s.end())
                            : std::vector<std::wstring>{};
    }
};

}  // namespace bv::test
