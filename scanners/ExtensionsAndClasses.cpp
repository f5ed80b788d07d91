// Scanners of file-type registrations: the per-user FileExts entries and every top-level key
// of HKEY_CLASSES_ROOT (empty keys, icons, extension classes, class references, commands).
#include <string>
#include <vector>

#include "engine/Findings.h"
#include "scanners/Scanners.h"
#include "sysaccess/FileReference.h"
#include "sysaccess/RegUnit.h"

namespace bv {

namespace {

constexpr wchar_t kFileExtsKey[] =
    L"\\Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\FileExts";

// A file counts as present in either view of the file system or in a PATH folder.
bool FileMissing(RunState& state, const std::wstring& reference) {
    if (reference.empty()) {
        return true;
    }
    return !FileExists(reference) && !FileReferenceExists(reference, state.env);
}

std::wstring ClassesKeyText(const std::wstring& path) {
    return std::wstring(HiveTag(kHkeyClassesRoot)) + L"\\" + path;
}

enum class TreeContent { Values, Empty, Unknown };

// Walks the tree below a key for a value. A walk cut short before it found one (a stop, or a
// tree too deep to walk) proves nothing, so it never reads as empty.
TreeContent TestKeyTree(RunState& state, std::uint32_t root, const std::wstring& path) {
    state.results.ErrorTotal = 0;
    const bool complete = KeyTreeHasValues(root, path, state.results.ErrorTotal, state);
    if (state.results.ErrorTotal > 0) {
        return TreeContent::Values;
    }
    return complete ? TreeContent::Empty : TreeContent::Unknown;
}

// The shell open or edit command of a dotted class key: reported when it names a program file
// that is gone. Commands run through rundll32 or explorer are left alone.
void CheckCommand(RunState& state, const std::wstring& name, const wchar_t* verb) {
    const std::wstring path = name + L"\\shell\\" + verb + L"\\command";
    const std::wstring command = ReadStringValue(kHkeyClassesRoot, path, L"");
    if (command.empty()) {
        return;
    }
    const std::wstring upper = UpperAscii(command);
    if (upper.find(L"RUNDLL32") != std::wstring::npos ||
        upper.find(L"EXPLOR") != std::wstring::npos) {
        return;
    }
    if (upper.find(L"EXE") == std::wstring::npos && upper.find(L"DLL") == std::wstring::npos) {
        return;
    }
    const std::wstring reference = ExtractFileReference(upper, state.env);
    if (reference.empty() || !FileMissing(state, reference)) {
        return;
    }
    const std::wstring keyText = ClassesKeyText(path);
    if (IsExcluded(state, keyText)) {
        return;
    }
    RecordIssue(state, IssueCategory::ComActiveX, keyText,
                ReadStringValue(kHkeyClassesRoot, path, L""), keyText,
                KeyDeletion(kHkeyClassesRoot, L"\\" + path));
}

// The per-name steps of the class-key walk.
void CheckClassKey(RunState& state, const std::wstring& name) {
    if (name.size() < 2) {
        return;
    }
    const std::wstring keyText = ClassesKeyText(name);

    // A key that holds nothing anywhere below it.
    const TreeContent content = TestKeyTree(state, kHkeyClassesRoot, name);
    if (content == TreeContent::Unknown && !state.scanInProgress) {
        return;  // stopped during the walk: the key is left unexamined
    }
    if (content == TreeContent::Empty) {
        if (!CanOpenKeyForWrite(kHkeyClassesRoot, name) || IsExcluded(state, keyText)) {
            return;
        }
        RecordIssue(state, IssueCategory::ComActiveX, keyText, L"Empty key", keyText,
                    KeyDeletion(kHkeyClassesRoot, L"\\" + name));
    }

    if (name.find(L'.') == std::wstring::npos) {
        return;
    }

    // Icon.
    const std::wstring iconPath = name + L"\\DefaultIcon";
    if (KeyExists(kHkeyClassesRoot, iconPath)) {
        const std::wstring icon = ReadStringValue(kHkeyClassesRoot, iconPath, L"");
        const std::wstring iconText = ClassesKeyText(iconPath);
        if (icon.empty()) {
            if (CanOpenKeyForWrite(kHkeyClassesRoot, iconPath) && !IsExcluded(state, iconText)) {
                RecordIssue(state, IssueCategory::ExtensionsIcons, iconText, L"", iconText,
                            KeyDeletion(kHkeyClassesRoot, L"\\" + iconPath));
            }
        } else if (FileMissing(state, ExtractFileReference(icon, state.env)) &&
                   !IsExcluded(state, iconText)) {
            RecordIssue(state, IssueCategory::ExtensionsIcons, iconText,
                        ReadStringValue(kHkeyClassesRoot, iconPath, L""), iconText,
                        KeyDeletion(kHkeyClassesRoot, L"\\" + iconPath));
        }
    }

    // Extension class.
    if (name[0] == L'.') {
        const std::wstring className = ReadStringValue(kHkeyClassesRoot, name, L"");
        if (!className.empty() && !KeyExists(kHkeyClassesRoot, className)) {
            // A persistent handler of a registered class makes the extension useful by itself.
            const std::wstring handler =
                ReadStringValue(kHkeyClassesRoot, name + L"\\PersistentHandler", L"");
            if (!handler.empty() && KeyExists(kHkeyClassesRoot, L"CLSID\\" + handler)) {
                return;
            }
            if (!CanOpenKeyForWrite(kHkeyClassesRoot, name) || IsExcluded(state, keyText)) {
                return;
            }
            RecordIssue(state, IssueCategory::ExtensionsIcons, keyText, className, keyText,
                        KeyDeletion(kHkeyClassesRoot, L"\\" + name));
        }
    }

    // Class reference.
    const std::wstring clsidPath = name + L"\\CLSID";
    const std::wstring clsid = ReadStringValue(kHkeyClassesRoot, clsidPath, L"");
    if (!clsid.empty() && !KeyExists(kHkeyClassesRoot, L"CLSID\\" + clsid) &&
        !(state.env.Is64BitWindows &&
          KeyExists(kHkeyClassesRoot, L"WOW6432Node\\CLSID\\" + clsid)) &&
        CanOpenKeyForWrite(kHkeyClassesRoot, clsidPath)) {
        const std::wstring clsidText = ClassesKeyText(clsidPath);
        if (!IsExcluded(state, clsidText)) {
            RecordIssue(state, IssueCategory::ComActiveX, clsidText, clsid, clsidText,
                        KeyDeletion(kHkeyClassesRoot, L"\\" + clsidPath));
        }
    }

    CheckCommand(state, name, L"open");
    CheckCommand(state, name, L"edit");
}

}  // namespace

void ScanFileExts(RunState& state) {
    Gauge gauge(state);
    std::vector<std::wstring> names;
    ListSubkeys(kHkeyCurrentUser, kFileExtsKey, names);
    for (std::size_t i = 0; i < names.size(); ++i) {
        state.Pump();
        if (!state.scanInProgress) {
            continue;
        }
        gauge.Step(i, names.size());
        const std::wstring& name = names[i];
        if (name.size() < 2 || name[0] != L'.' || name.find_first_of(L"!?") != std::wstring::npos) {
            continue;
        }
        const std::wstring path = std::wstring(kFileExtsKey) + L"\\" + name;
        // Values of the entry itself do not count once it has subkeys: only the tree decides.
        if (KeyHasSubkeys(kHkeyCurrentUser, path) &&
            TestKeyTree(state, kHkeyCurrentUser, path + L"\\") != TreeContent::Empty) {
            continue;
        }
        if (!CanOpenKeyForWrite(kHkeyCurrentUser, path)) {
            continue;
        }
        const std::wstring keyText = std::wstring(HiveTag(kHkeyCurrentUser)) + path;
        RecordIssue(state, IssueCategory::ExtensionsIcons, keyText, L"Empty value", keyText,
                    KeyDeletion(kHkeyCurrentUser, path));
    }
    gauge.Finish();
}

void ScanClassKeys(RunState& state) {
    Gauge gauge(state);
    std::vector<std::wstring> names;
    ListSubkeys(kHkeyClassesRoot, L"", names);
    for (std::size_t i = 0; i < names.size(); ++i) {
        state.Pump();
        if (!state.scanInProgress) {
            continue;
        }
        gauge.Step(i, names.size());
        CheckClassKey(state, names[i]);
    }
    gauge.Finish();
}

}  // namespace bv
