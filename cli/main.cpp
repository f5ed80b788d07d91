// brimvale-cli: the scan and the fix without windows, for scripts, tests and benchmarks.
#include <string>
#include <vector>

#include "cli/CliSupport.h"
#include "cli/Commands.h"

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#include <cstdio>
#endif

namespace {

constexpr const char* kUsage =
    "usage: brimvale-cli scan [--machine DIR] [--script FILE]\n"
    "       brimvale-cli fix [--machine DIR] [--save DIR] [--no-undo] [--yes]";

int Run(const std::vector<std::wstring>& words) {
    if (words.empty()) {
        return bv::cli::UsageError(kUsage);
    }
    const std::vector<std::wstring> rest(words.begin() + 1, words.end());
    if (words[0] == L"scan") {
        return bv::cli::RunScanCommand(rest);
    }
    if (words[0] == L"fix") {
        return bv::cli::RunFixCommand(rest);
    }
    return bv::cli::UsageError(kUsage);
}

}  // namespace

#ifdef _WIN32
int wmain(int argc, wchar_t** argv) {
    // Findings go out as UTF-8 with LF line ends, byte for byte.
    _setmode(_fileno(stdout), _O_BINARY);
    _setmode(_fileno(stderr), _O_BINARY);
    std::vector<std::wstring> words(argv + 1, argv + argc);
    return Run(words);
}
#else
int main(int argc, char** argv) {
    std::vector<std::wstring> words;
    for (int i = 1; i < argc; ++i) {
        words.push_back(bv::cli::Wide(argv[i]));
    }
    return Run(words);
}
#endif
