// Scanners of machine keys whose value names list files or folders: shared DLL counters,
// installer folders, HTML help files and fonts. A value whose file or folder is gone is reported.
#include <string>
#include <vector>

#include "engine/Findings.h"
#include "scanners/Scanners.h"
#include "sysaccess/FileReference.h"
#include "sysaccess/RegUnit.h"

namespace bv {

namespace {

constexpr wchar_t kSharedDllsKey[] = L"\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\SharedDLLs";
constexpr wchar_t kInstallerFoldersKey[] =
    L"\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Installer\\Folders";
constexpr wchar_t kHtmlHelpKey[] = L"\\SOFTWARE\\Microsoft\\Windows\\HTML Help";
constexpr wchar_t kFontsKey[] = L"\\SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Fonts";

// Decides for one value (name and the key path) whether its file or folder is still there.
using PresenceTest = bool (*)(RunState& state, const std::wstring& keyPath,
                              const std::wstring& name);

// The frame shared by the four scanners: every value name of the key in turn, one pump and
// stop test per name; a missing file or folder becomes a value finding of the key.
void ScanValueList(RunState& state, const std::wstring& keyPath, IssueCategory category,
                   PresenceTest present) {
    Gauge gauge(state);
    std::vector<std::wstring> names;
    ListValueNames(kHkeyLocalMachine, keyPath, names);
    const std::wstring keyText = std::wstring(HiveTag(kHkeyLocalMachine)) + keyPath;
    for (std::size_t i = 0; i < names.size(); ++i) {
        state.Pump();
        if (!state.scanInProgress) {
            continue;
        }
        gauge.Step(i, names.size());
        const std::wstring& name = names[i];
        if (name.empty()) {
            continue;  // the key's unnamed value lists nothing
        }
        if (present(state, keyPath, name)) {
            continue;
        }
        RecordIssue(state, category, keyText, name, keyText + L"=" + name,
                    ValueDeletion(kHkeyLocalMachine, keyPath, name));
    }
    gauge.Finish();
}

bool SharedFilePresent(RunState& state, const std::wstring&, const std::wstring& name) {
    return FileExists(name) || FileReferenceExists(name, state.env);
}

bool InstallerFolderPresent(RunState&, const std::wstring&, const std::wstring& name) {
    return DirectoryExists(name);
}

// Data that is empty or not a string is not examined: it counts as present.
bool HelpFilePresent(RunState& state, const std::wstring& keyPath, const std::wstring& name) {
    const std::wstring data = ReadStringValue(kHkeyLocalMachine, keyPath, name);
    if (data.empty()) {
        return true;
    }
    std::wstring folder = ExtractFileReference(data, state.env);
    if (folder.empty() || folder.back() != L'\\') {
        folder += L'\\';
    }
    return FileExists(folder + name);
}

bool IsFullPath(const std::wstring& path) {
    const bool driveLetter =
        path.size() >= 3 &&
        ((path[0] >= L'A' && path[0] <= L'Z') || (path[0] >= L'a' && path[0] <= L'z')) &&
        path[1] == L':' && path[2] == L'\\';
    const bool unc = path.size() >= 3 && path[0] == L'\\' && path[1] == L'\\';
    return driveLetter || unc;
}

// Font data is normally a file name in the fonts folder; a font kept elsewhere is registered
// with its full path, which must be tested where it is, or a fix would unregister a live font.
bool FontFilePresent(RunState& state, const std::wstring& keyPath, const std::wstring& name) {
    const std::wstring data = ReadStringValue(kHkeyLocalMachine, keyPath, name);
    if (data.empty()) {
        return true;
    }
    std::wstring path = data;
    if (path.find(L'%') != std::wstring::npos) {
        const std::wstring expanded = ExpandFolderVariables(path, state.env);
        if (IsFullPath(expanded)) {
            path = expanded;
        }
    }
    if (!IsFullPath(path)) {
        path = state.env.WindowsFolder + L"Fonts\\" + data;
    }
    return FileExists(path);
}

}  // namespace

void ScanSharedDlls(RunState& state) {
    ScanValueList(state, kSharedDllsKey, IssueCategory::SharedDlls, SharedFilePresent);
}

void ScanInstallerFolders(RunState& state) {
    ScanValueList(state, kInstallerFoldersKey, IssueCategory::Uninstall, InstallerFolderPresent);
}

void ScanHtmlHelp(RunState& state) {
    ScanValueList(state, kHtmlHelpKey, IssueCategory::HelpFiles, HelpFilePresent);
}

void ScanFonts(RunState& state) {
    ScanValueList(state, kFontsKey, IssueCategory::FontsSounds, FontFilePresent);
}

}  // namespace bv
