// Runs the Windows registry editor hidden with switches (silent import, silent export).
#pragma once

#include <string>

namespace bv {

struct EnvironmentSnapshot;

// True when the editor ran and ended within its time-out.
bool RunRegistryEditor(const std::wstring& arguments, const EnvironmentSnapshot& env);

}  // namespace bv
