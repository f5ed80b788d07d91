// The category scanners, one module per registry area, called by the scan run in fixed order.
#pragma once

#include <cstdint>
#include <string_view>

#include "engine/RunState.h"

namespace bv {

// Software locations
void ScanAppPaths(RunState& state);
void ScanCompatibilityStore(RunState& state);
void ScanApplications(RunState& state);
// File lists in value names
void ScanSharedDlls(RunState& state);
void ScanInstallerFolders(RunState& state);
void ScanHtmlHelp(RunState& state);
void ScanFonts(RunState& state);
// File extensions and class keys
void ScanFileExts(RunState& state);
void ScanClassKeys(RunState& state);
// COM classes
void ScanComClasses(RunState& state);
// Interfaces and type libraries
void ScanInterfaces(RunState& state);
void ScanTypeLibraries(RunState& state);
// Startup entries
void ScanRunKeys(RunState& state, std::uint32_t root);
void ScanStartupReg(RunState& state);
// Uninstall entries
void ScanUninstall(RunState& state, std::uint32_t root, std::wstring_view path);
// Sound events
void ScanSoundEvents(RunState& state);
// Temporary values
void ScanMruList(RunState& state, std::wstring_view path);
void ScanInvalidValues(RunState& state, std::uint32_t root, std::wstring_view path);

}  // namespace bv
