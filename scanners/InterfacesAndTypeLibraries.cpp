// Scanners of COM interfaces and type libraries under HKEY_CLASSES_ROOT: interface references
// to unregistered type libraries or proxy/stub classes, and library files that are gone.
#include <string>
#include <vector>

#include "engine/Findings.h"
#include "scanners/Scanners.h"
#include "sysaccess/FileReference.h"
#include "sysaccess/RegUnit.h"

namespace bv {

namespace {

// Records a finding about a whole key, when the user may change it and it is not excluded.
void RecordKey(RunState& state, const std::wstring& path, const std::wstring& valueText) {
    if (!CanOpenKeyForWrite(kHkeyClassesRoot, path)) {
        return;
    }
    const std::wstring keyText = std::wstring(HiveTag(kHkeyClassesRoot)) + path;
    if (IsExcluded(state, keyText)) {
        return;
    }
    RecordIssue(state, IssueCategory::InterfacesTypes, keyText, valueText, keyText,
                KeyDeletion(kHkeyClassesRoot, path));
}

// One reference of an interface: broken when the id it names is registered in neither view.
void CheckReference(RunState& state, const std::wstring& interfacePath, const wchar_t* subkey,
                    const wchar_t* prefix) {
    const std::wstring path = interfacePath + subkey;
    const std::wstring id = ReadStringValue(kHkeyClassesRoot, path, L"");
    if (id.empty() || KeyExists(kHkeyClassesRoot, prefix + id)) {
        return;
    }
    if (state.env.Is64BitWindows &&
        KeyExists(kHkeyClassesRoot, std::wstring(L"WOW6432Node\\") + prefix + id)) {
        return;
    }
    RecordKey(state, path, id);
}

// The library file of one platform; the text as stored is tried before it is reworked.
void CheckLibraryFile(RunState& state, const std::wstring& versionPath, const wchar_t* platform) {
    const std::wstring path = versionPath + L"\\0\\" + platform;
    if (!KeyExists(kHkeyClassesRoot, path)) {
        return;
    }
    const std::wstring file = ReadStringValue(kHkeyClassesRoot, path, L"");
    if (file.empty() || FileExists(file)) {
        return;
    }
    const std::wstring reference = ExtractFileReference(file, state.env);
    if (!reference.empty() &&
        (FileExists(reference) || FileReferenceExists(reference, state.env))) {
        return;
    }
    RecordKey(state, path, ReadStringValue(kHkeyClassesRoot, path, L""));
}

// The frame of both walks: each subkey in turn, one pump and stop test per name.
template <typename Check>
void WalkSubkeys(RunState& state, const wchar_t* walkedKey, Check check) {
    Gauge gauge(state);
    std::vector<std::wstring> names;
    ListSubkeys(kHkeyClassesRoot, walkedKey, names);
    for (std::size_t i = 0; i < names.size(); ++i) {
        state.Pump();
        if (!state.scanInProgress) {
            continue;
        }
        gauge.Step(i, names.size());
        if (names[i].empty()) {
            continue;
        }
        check(std::wstring(walkedKey) + L"\\" + names[i]);
    }
    gauge.Finish();
}

}  // namespace

void ScanInterfaces(RunState& state) {
    WalkSubkeys(state, L"\\Interface", [&state](const std::wstring& interfacePath) {
        CheckReference(state, interfacePath, L"\\TypeLib", L"TypeLib\\");
        CheckReference(state, interfacePath, L"\\ProxyStubClsid", L"CLSID\\");
        CheckReference(state, interfacePath, L"\\ProxyStubClsid32", L"CLSID\\");
    });
}

void ScanTypeLibraries(RunState& state) {
    WalkSubkeys(state, L"\\Typelib", [&state](const std::wstring& libraryPath) {
        // Only the first version listed is examined.
        std::vector<std::wstring> versions;
        if (ListSubkeys(kHkeyClassesRoot, libraryPath, versions) == 0) {
            return;
        }
        const std::wstring versionPath = libraryPath + L"\\" + versions.front();
        CheckLibraryFile(state, versionPath, L"win32");
        CheckLibraryFile(state, versionPath, L"win64");
    });
}

}  // namespace bv
