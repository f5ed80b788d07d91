// Software locations: registered application paths, the compatibility assistant's store and
// per-program verb commands whose program no longer exists.
#include <string>
#include <vector>

#include "engine/Findings.h"
#include "scanners/ScanFrame.h"
#include "scanners/Scanners.h"
#include "sysaccess/FileReference.h"
#include "sysaccess/RegUnit.h"

namespace bv {

namespace {

constexpr const wchar_t* kAppPaths = L"\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\App Paths";
constexpr const wchar_t* kCompatibilityStore =
    L"\\SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\AppCompatFlags\\Compatibility "
    L"Assistant\\Store";
constexpr const wchar_t* kVerbCommands[] = {L"\\shell\\open\\command", L"\\shell\\edit\\command"};

void CheckApplicationVerb(RunState& state, const std::wstring& name, const wchar_t* verb) {
    const std::wstring key = L"\\Applications\\" + name + verb;
    if (!KeyExists(kHkeyClassesRoot, key)) {
        return;
    }
    const std::wstring reference =
        ExtractFileReference(ReadStringValue(kHkeyClassesRoot, key, L""), state.env);
    if (reference.find(L"RUNDLL32") != std::wstring::npos) {
        return;
    }
    if (FilePresent(reference, state.env)) {
        return;
    }
    if (!CanOpenKeyForWrite(kHkeyClassesRoot, key)) {
        return;
    }
    RecordIssue(state, IssueCategory::SoftwareLocations, L"[HKCR]" + key,
                ReadStringValue(kHkeyClassesRoot, key, L""), L"[HKCR]" + key,
                KeyDeletion(kHkeyClassesRoot, key));
}

}  // namespace

void ScanAppPaths(RunState& state) {
    std::vector<std::wstring> names;
    ListSubkeys(kHkeyLocalMachine, kAppPaths, names);
    WalkNames(state, names, [&state](const std::wstring& name) {
        const std::wstring key = std::wstring(kAppPaths) + L"\\" + name;
        const std::wstring path = ReadStringValue(kHkeyLocalMachine, key, L"");
        if (path.empty()) {
            return;
        }
        if (FilePresent(ExtractFileReference(path, state.env), state.env)) {
            return;
        }
        if (!CanOpenKeyForWrite(kHkeyLocalMachine, key)) {
            return;
        }
        RecordIssue(state, IssueCategory::SoftwareLocations, L"[HKLM]" + key,
                    ReadStringValue(kHkeyLocalMachine, key, L""), L"[HKLM]" + key,
                    KeyDeletion(kHkeyLocalMachine, key));
    });
}

void ScanCompatibilityStore(RunState& state) {
    std::vector<std::wstring> names;
    ListValueNames(kHkeyCurrentUser, kCompatibilityStore, names);
    const std::wstring keyText = std::wstring(L"[HKCU]") + kCompatibilityStore;
    WalkNames(state, names, [&state, &keyText](const std::wstring& name) {
        const std::wstring exclusion = keyText + L"=" + name;
        if (IsExcluded(state, exclusion)) {
            return;
        }
        // Only paths on fixed disks are tested; anything else is reported as it stands.
        const wchar_t first = UpperAscii(name.substr(0, 1))[0];
        if (state.env.FixedDriveLetters.find(first) != std::wstring::npos && FileExists(name)) {
            return;
        }
        RecordIssue(state, IssueCategory::SoftwareLocations, keyText, name, exclusion,
                    ValueDeletion(kHkeyCurrentUser, kCompatibilityStore, name));
    });
}

void ScanApplications(RunState& state) {
    std::vector<std::wstring> names;
    ListSubkeys(kHkeyClassesRoot, L"\\Applications", names);
    WalkNames(state, names, [&state](const std::wstring& name) {
        for (const wchar_t* verb : kVerbCommands) {
            CheckApplicationVerb(state, name, verb);
        }
    });
}

}  // namespace bv
