// The simulated registry editor's file side: export in regedit's version 5.00 format, import of
// registry editor scripts, and the byte decoding both use.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "platform/sim/SimMachine.h"

namespace bv::sim {

// "HKEY_LOCAL_MACHINE", "HKLM", ... -> root; false when the name is no root we know.
bool RootFromName(std::wstring_view name, std::uint32_t& root);
const wchar_t* RootName(std::uint32_t root);  // full name, e.g. L"HKEY_CURRENT_USER"

// The text the editor exports for a key and its subtree: header line, empty line, then one
// section per key in depth-first order, CR LF line ends. Empty when the key does not exist.
// An editor with the WOW64 view exports the key that view names, under the names it asked for.
std::wstring ExportRegText(const Registry& registry, std::uint32_t root, std::wstring_view path,
                           RegistryView view = RegistryView::Native);
// The same as the bytes of the export file: UTF-16LE with a byte-order mark.
std::vector<std::uint8_t> ExportRegFile(const Registry& registry, std::uint32_t root,
                                        std::wstring_view path,
                                        RegistryView view = RegistryView::Native);
// Every root of the registry in one file (machine directories).
std::wstring ExportWholeRegistry(const Registry& registry);

// UTF-8 (with or without mark), UTF-16LE or UTF-16BE with a mark, else Windows-1252.
std::wstring DecodeRegFileBytes(const std::vector<std::uint8_t>& bytes);

struct ImportStats {
    int keysDeleted = 0;
    int valuesDeleted = 0;
    int valuesWritten = 0;
    int linesSkipped = 0;      // lines the editor could not parse or was refused
    int firstSkippedLine = 0;  // 1-based line number of the first of them (0: none)
    bool header = false;       // the text began with the editor's header line
};

// Imports a script as the editor does with /s: unparsable lines are skipped. When rights are
// honoured, changes need full access for the current user (administrator or not). An editor
// with the WOW64 view changes the keys that view names.
ImportStats ImportRegText(Machine& machine, std::wstring_view text, bool honourRights = true,
                          RegistryView view = RegistryView::Native);

}  // namespace bv::sim
