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
    if (text.find(L'\0') != std::wstring::npos) {
        // A NUL inside a name is nothing Win32 can write; such text need only import safely.
        return 0;
    }

    bv::sim::Machine second;
    const bv::sim::ImportStats stats = bv::sim::ImportRegText(second, exported);
    BV_FUZZ_CHECK(stats.linesSkipped == 0, exported);
    const std::wstring again = bv::sim::ExportWholeRegistry(second.registry);
    if (again != exported) {
        std::size_t at = 0;
        while (at < again.size() && at < exported.size() && again[at] == exported[at]) {
            ++at;
        }
        const std::size_t from =
            exported.rfind(L'\n', at) == std::wstring::npos ? 0 : exported.rfind(L'\n', at);
        bv::fuzz::Fail("the export of the imported export differs",
                       L"first export: " + exported.substr(from, 300) + L"\nsecond export: " +
                           again.substr(from, 300));
    }
    return 0;
}
