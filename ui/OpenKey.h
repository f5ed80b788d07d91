// "Open registry key": remembers the row clicked last and walks the registry editor's key tree
// to that row's key by sending it the key strokes a user would type.
#pragma once

#include <string>
#include <string_view>

#include "engine/RunState.h"

namespace bv::ui {

// A click (left or right) on a finding row: remember its Key text.
void InfoListItemClick(RunState& state, std::wstring_view keyText);

// "Full key path" for a Key text: the hive tag's letters turned into the hive name, the path
// after the tag, cut at the first "=" (a value's key text names the value after it).
std::wstring FullKeyPathFromKeyText(std::wstring_view keyText);

// The context menu command. `listRowCount` is the number of rows the result list shows.
void PopupMenuItem1Click(RunState& state, int listRowCount);

// When no editor is open, the one of the machine's native view is started from the Windows
// folder.
void OpenKeyInRegistryEditor(const std::wstring& fullKeyPath, const EnvironmentSnapshot& env);

}  // namespace bv::ui
