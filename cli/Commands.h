// brimvale-cli commands. Each returns the process exit code: 0 after its work, 2 for bad usage
// or a bad machine directory (with a one-line message on standard error).
#pragma once

#include <string>
#include <vector>

namespace bv::cli {

int RunScanCommand(const std::vector<std::wstring>& args);
int RunFixCommand(const std::vector<std::wstring>& args);

}  // namespace bv::cli
