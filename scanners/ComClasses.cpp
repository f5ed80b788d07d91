// Scanner of the COM classes under HKEY_CLASSES_ROOT\CLSID: application ids and type libraries
// that are not registered, servers whose file is missing or empty, empty toolbox bitmaps.
#include <string>
#include <vector>

#include "engine/Findings.h"
#include "scanners/Scanners.h"
#include "sysaccess/FileReference.h"
#include "sysaccess/RegUnit.h"

namespace bv {

namespace {

std::wstring ClassesKeyText(const std::wstring& path) {
    return std::wstring(HiveTag(kHkeyClassesRoot)) + path;
}

// An id counts as registered in the 64-bit view or, on 64-bit Windows, in the 32-bit one.
bool Registered(RunState& state, const std::wstring& prefix, const std::wstring& id) {
    return KeyExists(kHkeyClassesRoot, prefix + id) ||
           (state.env.Is64BitWindows &&
            KeyExists(kHkeyClassesRoot, L"WOW6432Node\\" + prefix + id));
}

bool FileMissing(RunState& state, const std::wstring& reference) {
    if (reference.empty()) {
        return true;
    }
    return !FileExists(reference) && !FileReferenceExists(reference, state.env);
}

// Records a finding about a whole subkey of the class, when the user may change that subkey.
void RecordSubkey(RunState& state, IssueCategory category, const std::wstring& path,
                  const std::wstring& valueText) {
    if (!CanOpenKeyForWrite(kHkeyClassesRoot, path)) {
        return;
    }
    const std::wstring keyText = ClassesKeyText(path);
    if (IsExcluded(state, keyText)) {
        return;
    }
    RecordIssue(state, category, keyText, valueText, keyText, KeyDeletion(kHkeyClassesRoot, path));
}

// An in-process or local server: an empty path, or a file that is gone.
void CheckServer(RunState& state, const std::wstring& classPath, const wchar_t* subkey) {
    const std::wstring path = classPath + subkey;
    if (!KeyExists(kHkeyClassesRoot, path)) {
        return;
    }
    const std::wstring server = ReadStringValue(kHkeyClassesRoot, path, L"");
    if (server.empty()) {
        RecordSubkey(state, IssueCategory::ComActiveX, path, L"Empty value");
        return;
    }
    if (FileMissing(state, ExtractFileReference(server, state.env))) {
        RecordSubkey(state, IssueCategory::ComActiveX, path,
                     ReadStringValue(kHkeyClassesRoot, path, L""));
    }
}

void CheckClass(RunState& state, const std::wstring& name) {
    const std::wstring classPath = L"\\CLSID\\" + name;

    // Application id: the one finding that deletes a value, the class's AppID.
    const std::wstring appId = ReadStringValue(kHkeyClassesRoot, classPath, L"AppId");
    if (!appId.empty() && !Registered(state, L"AppID\\", appId) &&
        CanOpenKeyForWrite(kHkeyClassesRoot, classPath)) {
        const std::wstring keyText = ClassesKeyText(classPath);
        RecordIssue(state, IssueCategory::ComActiveX, keyText, L"AppId=" + appId,
                    keyText + L"=AppId", ValueDeletion(kHkeyClassesRoot, classPath, L"AppID"));
    }

    // Type library.
    const std::wstring typeLibPath = classPath + L"\\TypeLib";
    const std::wstring typeLib = ReadStringValue(kHkeyClassesRoot, typeLibPath, L"");
    if (!typeLib.empty() && !Registered(state, L"TypeLib\\", typeLib)) {
        RecordSubkey(state, IssueCategory::InterfacesTypes, typeLibPath, typeLib);
    }

    CheckServer(state, classPath, L"\\InprocServer32");
    CheckServer(state, classPath, L"\\LocalServer32");

    // Toolbox bitmap: only an empty one is a finding.
    const std::wstring bitmapPath = classPath + L"\\ToolboxBitmap32";
    if (KeyExists(kHkeyClassesRoot, bitmapPath) &&
        ReadStringValue(kHkeyClassesRoot, bitmapPath, L"").empty()) {
        RecordSubkey(state, IssueCategory::ComActiveX, bitmapPath, L"Empty value");
    }
}

}  // namespace

void ScanComClasses(RunState& state) {
    Gauge gauge(state);
    std::vector<std::wstring> names;
    ListSubkeys(kHkeyClassesRoot, L"\\CLSID", names);
    for (std::size_t i = 0; i < names.size(); ++i) {
        state.Pump();
        if (!state.scanInProgress) {
            continue;
        }
        gauge.Step(i, names.size());
        if (names[i].empty()) {
            continue;
        }
        CheckClass(state, names[i]);
    }
    gauge.Finish();
}

}  // namespace bv
