// Fuzz target: the machine directory loader. The input holds machine.ini, registry.reg,
// files.txt and one data-folder file, separated by lines "---FILE---"; whatever loads saves to
// a directory that loads to the same machine.
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <string_view>
#include <vector>
#include <algorithm>

#include "fuzz/FuzzSupport.h"
#include "platform/sim/MachineDirectory.h"
#include "platform/sim/RegFile.h"

namespace fs = std::filesystem;

namespace {

fs::path Scratch() {
    static const fs::path dir = [] {
        std::string pattern = (fs::temp_directory_path() / "bv-fuzz-XXXXXX").string();
        const char* made = mkdtemp(pattern.data());
        if (made == nullptr) {
            bv::fuzz::Fail("cannot make a scratch directory");
        }
        return fs::path(made);
    }();
    return dir;
}

void Write(const fs::path& file, std::string_view bytes) {
    std::ofstream out(file, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view input(reinterpret_cast<const char*>(data), size);
    const fs::path in = Scratch() / "in";
    const fs::path out = Scratch() / "out";
    std::error_code ec;
    fs::remove_all(in, ec);
    fs::remove_all(out, ec);
    fs::create_directories(in / "appdata" / "Brimvale");

    static constexpr std::string_view kSeparator = "\n---FILE---\n";
    static const char* const kFiles[] = {"machine.ini", "registry.reg", "files.txt",
                                         "appdata/Brimvale/Exclusions.txt"};
    std::size_t start = 0;
    for (const char* name : kFiles) {
        if (start > input.size()) {
            break;
        }
        std::size_t end = input.find(kSeparator, start);
        if (end == std::string_view::npos) {
            end = input.size();
        }
        Write(in / name, input.substr(start, end - start));
        start = end + kSeparator.size();
    }

    bv::sim::Machine first;
    std::string error;
    if (!bv::sim::LoadMachineDirectory(in, first, error)) {
        BV_FUZZ_CHECK(!error.empty());
        return 0;
    }
    const std::string_view reg = input.substr(0, input.find(kSeparator, input.find(kSeparator) + 1))
                                     .substr(std::min(input.size(), input.find(kSeparator)));
    const std::wstring regText =
        bv::sim::DecodeRegFileBytes(std::vector<std::uint8_t>(reg.begin(), reg.end()));
    if (regText.find(L'\0') != std::wstring::npos) {
        // A NUL inside a name is nothing Win32 can write; such a file need only load safely.
        return 0;
    }
    BV_FUZZ_CHECK(bv::sim::SaveMachineDirectory(first, out, error));
    bv::sim::Machine second;
    BV_FUZZ_CHECK(bv::sim::LoadMachineDirectory(out, second, error));
    BV_FUZZ_CHECK(bv::sim::ExportWholeRegistry(second.registry) ==
                  bv::sim::ExportWholeRegistry(first.registry));
    BV_FUZZ_CHECK(second.ListPaths() == first.ListPaths());
    return 0;
}
