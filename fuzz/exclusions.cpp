// Fuzz target: the exclusion list read from "Exclusions.txt" at the start of a scan, tested
// against findings, and written back in the encoding it was read in.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "engine/Findings.h"
#include "fuzz/FuzzSupport.h"
#include "platform/sim/SimMachine.h"
#include "sysaccess/TextFile.h"
#include "tests/host/RecordingWindow.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    bv::sim::Machine machine;
    bv::sim::ScopedMachine installed(machine);
    bv::test::RecordingWindow window;
    bv::RunState state(window);
    state.env = bv::GatherEnvironmentSnapshot();
    BV_FUZZ_CHECK(bv::EnsureAppDataFolder(state.env));
    const std::wstring path = state.env.AppDataFolder + L"Exclusions.txt";
    const std::vector<std::uint8_t> bytes(data, data + size);
    machine.AddFile(path, bytes);

    bv::ResetScanResults(state);
    const std::vector<std::wstring> list = state.results.ExclusionList;
    BV_FUZZ_CHECK(list == bv::DecodeTextLines(bytes));
    for (const std::wstring& entry : list) {
        BV_FUZZ_CHECK(bv::IsExcluded(state, entry), entry);
    }

    // The check phase writes the list back in the encoding it was read in; the next scan
    // reads the same entries.
    BV_FUZZ_CHECK(bv::WriteTextLines(path, list, state.exclusionsEncoding));
    bv::ResetScanResults(state);
    BV_FUZZ_CHECK(state.results.ExclusionList == list);
    return 0;
}
