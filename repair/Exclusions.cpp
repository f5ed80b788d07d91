// Exclusions: after the import, the findings still present are kept in ExclusionList and, when
// more than two remain, written to "Exclusions.txt"; "Remove exclusions" deletes that file.
#include <string>
#include <vector>

#include "platform/Platform.h"
#include "repair/Repair.h"
#include "sysaccess/EnvironmentSnapshot.h"
#include "sysaccess/FileReference.h"
#include "sysaccess/RegUnit.h"
#include "sysaccess/TextFile.h"

namespace bv {

namespace {

constexpr wchar_t kExclusionsFile[] = L"Exclusions.txt";

// A read-only look, which also sees what the user may not open for full access.
bool StillReadable(const IssueKeyParts& parts) {
    if (!parts.isValue) {
        return KeyExists(parts.root, parts.keyPath);
    }
    const RegKey key = OpenKeyReadOnly(parts.root, parts.keyPath);
    std::uint32_t type = 0;
    return key && QueryValueType(key, parts.valueName, type);
}

}  // namespace

std::size_t UpdateExclusions(RunState& state) {
    ScanResults& results = state.results;
    results.ExclusionList.clear();
    Gauge gauge(state);

    std::size_t stillThere = 0;
    const std::size_t count = results.IssueKeys.size();
    for (std::size_t i = 0; i < count; ++i) {
        state.Pump();
        if (!state.scanInProgress) {
            // No more pumps once stopped: a click then would start a second fix inside this one.
            break;
        }
        gauge.Step(i, count);
        const std::wstring& entry = results.IssueKeys[i];
        IssueKeyParts parts;
        if (!ParseIssueKey(entry, parts)) {
            continue;
        }
        const bool present = parts.isValue
                                 ? ValueExistsInKey(parts.root, parts.keyPath, parts.valueName)
                                 : KeyExists(parts.root, parts.keyPath);
        if (present) {
            results.ExclusionList.push_back(entry);
        }
        if (present || StillReadable(parts)) {
            ++stillThere;
        }
    }

    // One or two leftovers do not replace the file; three or more do.
    if (results.ExclusionList.size() > 2) {
        EnsureAppDataFolder(state.env);
        const std::wstring path = state.env.AppDataFolder + kExclusionsFile;
        platform::DeleteFile(path);
        WriteTextLines(path, results.ExclusionList, state.exclusionsEncoding);
    }
    return stillThere;
}

void ExclusionsLabelClick(RunState& state) {
    const std::wstring path = state.env.AppDataFolder + kExclusionsFile;
    if (LookUpPath(path) == PathState::File &&
        !state.window.Confirm(L"Are you sure you want to remove current exclusions?")) {
        return;
    }
    state.window.Inform(platform::DeleteFile(path) ? L"Exclusions removed."
                                                   : L"No exclusions found.");
}

}  // namespace bv
