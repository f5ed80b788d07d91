// The repair: the fix run behind "Fix errors", undo files and the exclusion list.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "engine/RunState.h"

namespace bv {

// Click on Button2: asks to stop a running fix, or runs the fix (undo, apply, check).
void Button2Click(RunState& state);

// What the undo phase leaves for the fix.
struct UndoOutcome {
    bool saved = true;       // false: an undo file was needed and could not be saved whole
    std::wstring path;       // the undo file written; empty when nothing needed saving
    std::vector<bool> keep;  // per IssueKeys entry: not to be deleted, no undo file can hold it
};
// The undo phase: writes an undo file restoring what the deletion script removes. A file that
// could not be saved whole is removed again.
UndoOutcome CreateUndoFile(RunState& state);
// Append to undoScript the editor's export of a key (without its two header lines), or the key
// copied from the registry when the editor gave no export of it. False when a key or value
// name in its subtree holds CR, LF or NUL: no undo file line can carry it, so the key must not
// be deleted. sequence tells the temporary export files of one undo phase apart.
bool AppendKeyUndo(RunState& state, std::vector<std::wstring>& undoScript,
                   std::wstring_view rootName, std::wstring_view keyPath, std::size_t sequence = 0);
// Append a section header and the value's line in the editor's form for its type.
void AppendValueUndo(RunState& state, std::vector<std::wstring>& undoScript,
                     std::wstring_view rootName, std::wstring_view keyPath,
                     std::wstring_view valueName);
// "Manage undo": opens the data folder in the shell.
void UndoLabelClick(RunState& state);

// The check phase: keeps the findings still present in ExclusionList and rewrites
// "Exclusions.txt" when more than two remain. Returns how many findings are still there to be
// read, also those the full-access re-test cannot open: only what is gone counts as fixed.
std::size_t UpdateExclusions(RunState& state);
// "Remove exclusions": deletes "Exclusions.txt" after asking.
void ExclusionsLabelClick(RunState& state);

// Pieces exposed for tests.

// An IssueKeys entry split into its parts: root name from the six-character tag, key path with
// a leading "\", and the value name after the first "=" for a value finding.
struct IssueKeyParts {
    std::uint32_t root = 0;
    std::wstring rootName;
    std::wstring keyPath;
    bool isValue = false;
    std::wstring valueName;
};
bool ParseIssueKey(std::wstring_view entry, IssueKeyParts& parts);

// The value line of an undo file ("name"=data, @=data) in the editor's form for the type,
// with long hex data wrapped as the editor wraps it. Several lines when wrapped.
std::vector<std::wstring> FormatRegValue(std::wstring_view valueName, std::uint32_t type,
                                         const std::vector<std::uint8_t>& data);

// "Brimvale_Undo_D_M_YYYY_H_M_S.reg" for a local time.
std::wstring UndoFileName(int day, int month, int year, int hour, int minute, int second);

}  // namespace bv
