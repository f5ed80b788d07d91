// Recording findings: the one place that builds deletion lines, and RecordIssue / IsExcluded.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "engine/RunState.h"

namespace bv {

// "[HKCR]", "[HKCU]", "[HKLM]" and the full hive names of deletion lines.
const wchar_t* HiveTag(std::uint32_t root);
const wchar_t* HiveName(std::uint32_t root);

// "[-" + hive name + key path + "]".
std::vector<std::wstring> KeyDeletion(std::uint32_t root, std::wstring_view keyPath);
// Key header, then the value name in the editor's escaped form (or "@" for the unnamed value)
// followed by "=-".
std::vector<std::wstring> ValueDeletion(std::uint32_t root, std::wstring_view keyPath,
                                        std::wstring_view valueName);
// Backslashes doubled and double quotes escaped, as the registry editor writes names.
std::wstring EscapeRegName(std::wstring_view name);

void ResetScanResults(RunState& state);
bool IsExcluded(const RunState& state, std::wstring_view exclusionText);
// Returns false when nothing was recorded: excluded, a text no script line can name safely
// (CR, LF, NUL), or a key path holding "=", which the finding's identity cannot carry.
bool RecordIssue(RunState& state, IssueCategory category, std::wstring keyText,
                 std::wstring valueText, std::wstring exclusionText,
                 std::vector<std::wstring> deletionLines, bool testExclusion = true);
// Whole-text comparison without regard to letter case.
bool SameTextNoCase(std::wstring_view a, std::wstring_view b);
// The text as SameTextNoCase sees it: equal folded texts compare equal.
std::wstring FoldedNoCase(std::wstring_view text);

}  // namespace bv
