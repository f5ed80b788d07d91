// Runs the Windows registry editor hidden with switches (silent import, silent export).
#pragma once

#include <string>

namespace bv {

struct EnvironmentSnapshot;

void RunRegistryEditor(const std::wstring& arguments, const EnvironmentSnapshot& env);

}  // namespace bv
