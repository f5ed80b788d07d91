// Fuzz target: the simulated registry editor's file parser. Any bytes import without a crash,
// and what was imported exports to a file that imports to the same registry.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "fuzz/FuzzSupport.h"
#include "platform/sim/RegFile.h"
#include "platform/sim/SimMachine.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::vector<std::uint8_t> bytes(data, data + size);
    const std::wstring text = bv::sim::DecodeRegFileBytes(bytes);

    bv::sim::Machine first;
    bv::sim::ImportRegText(first, text);
    const std::wstring exported = bv::sim::ExportWholeRegistry(first.registry);

    bv::sim::Machine second;
    const bv::sim::ImportStats stats = bv::sim::ImportRegText(second, exported);
    BV_FUZZ_CHECK(stats.linesSkipped == 0, exported);
    BV_FUZZ_CHECK(bv::sim::ExportWholeRegistry(second.registry) == exported, exported);
    return 0;
}
