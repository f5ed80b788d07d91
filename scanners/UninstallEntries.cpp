// Uninstall entries that can no longer uninstall anything: no uninstall command, not protected,
// not a system component and not named by a GUID. Each is deleted whole.
#include <string>
#include <vector>

#include "engine/Findings.h"
#include "scanners/Scanners.h"

namespace bv {

namespace {

void CheckUninstallEntry(RunState& state, std::uint32_t root, std::wstring_view path,
                         const std::wstring& name) {
    // Installer-owned entries are named by GUIDs; any brace marks one.
    if (name.find_first_of(L"{}") != std::wstring::npos) {
        return;
    }
    const std::wstring entryPath = std::wstring(path) + L"\\" + name;
    if (ReadIntegerValue(root, entryPath, L"NoRemove") == 1 ||
        ReadIntegerValue(root, entryPath, L"SystemComponent") == 1) {
        return;
    }
    const std::wstring uninstall = ReadStringValue(root, entryPath, L"UninstallString");
    const std::wstring quiet = ReadStringValue(root, entryPath, L"QuietUninstallString");
    if (!uninstall.empty() || !quiet.empty() || !CanOpenKeyForWrite(root, entryPath)) {
        return;
    }
    const wchar_t* tag = root == kHkeyLocalMachine ? L"[HKLM]" : L"[HKCU]";
    std::wstring keyText = tag + entryPath;
    std::wstring exclusion = keyText;
    RecordIssue(state, IssueCategory::Uninstall, std::move(keyText), L"Empty value",
                std::move(exclusion), KeyDeletion(root, entryPath));
}

}  // namespace

void ScanUninstall(RunState& state, std::uint32_t root, std::wstring_view path) {
    Gauge gauge(state);
    std::vector<std::wstring> names;
    ListSubkeys(root, path, names);
    for (std::size_t i = 0; i < names.size(); ++i) {
        state.Pump();
        if (!state.scanInProgress || names[i].empty()) {
            continue;
        }
        gauge.Step(i, names.size());
        CheckUninstallEntry(state, root, path, names[i]);
    }
    gauge.Finish();
}

}  // namespace bv
