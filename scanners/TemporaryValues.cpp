// Temporary values: every entry of the current user's most-recently-used lists, and stray
// string values under "\SOFTWARE" that name a missing file on a fixed drive.
#include <string>
#include <utility>
#include <vector>

#include "engine/Findings.h"
#include "platform/Utf16.h"
#include "scanners/Scanners.h"
#include "sysaccess/FileReference.h"

namespace bv {

namespace {

// Branches of well-known vendors and system areas, matched as plain substrings of the
// upper-cased path, so "AUTO" also skips Automation and "ATI" also skips Stations.
constexpr std::wstring_view kSkippedBranches[] = {
    L"MICROSOFT", L"CLASSES", L"POLICIES", L"SYNC", L"AUTO",
    L"KASPERSKY", L"MCAFEE",  L"HEWLETT",  L"DELL", L"ATI",
};

std::wstring WithLeadingBackslash(std::wstring_view path) {
    if (!path.empty() && path.front() == L'\\') {
        return std::wstring(path);
    }
    return L"\\" + std::wstring(path);
}

// REG_SZ/REG_EXPAND_SZ as stored, REG_BINARY as "hex:" and upper-case byte pairs, else empty.
// One read gives both the type and the data.
std::wstring MruDataText(const std::wstring& path, const std::wstring& name) {
    RegKey key = OpenKeyReadOnly(kHkeyCurrentUser, path);
    std::uint32_t type = 0;
    std::vector<std::uint8_t> bytes;
    if (!key || !QueryValueData(key, name, type, bytes)) {
        return {};
    }
    if (type == platform::kRegSz || type == platform::kRegExpandSz) {
        // Registry data need not end in NUL, nor hold an even number of bytes.
        std::wstring text = FromUtf16LeBytes(bytes.data(), bytes.size());
        const std::size_t nul = text.find(L'\0');
        if (nul != std::wstring::npos) {
            text.resize(nul);
        }
        return text;
    }
    if (type != platform::kRegBinary) {
        return {};
    }
    static constexpr wchar_t kHex[] = L"0123456789ABCDEF";
    std::wstring text = L"hex:";
    text.reserve(4 + bytes.size() * 3);
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        if (i > 0) {
            text += L',';
        }
        text += kHex[bytes[i] >> 4];
        text += kHex[bytes[i] & 0x0F];
    }
    return text;
}

bool IsSkippedBranch(std::wstring_view path) {
    const std::wstring upper = UpperAscii(path);
    for (std::wstring_view word : kSkippedBranches) {
        if (upper.find(word) != std::wstring::npos) {
            return true;
        }
    }
    return false;
}

// The cheap shape tests on the data, in their fixed order, before any file is looked up.
bool LooksLikeFixedDrivePath(const std::wstring& data, const EnvironmentSnapshot& env) {
    if (data.size() < 5) {
        return false;
    }
    if (data.find(L':') == std::wstring::npos || data.find(L'\\') == std::wstring::npos) {
        return false;
    }
    if (data.find_first_of(L"~$/^|") != std::wstring::npos) {
        return false;
    }
    const std::wstring drive = UpperAscii(data.substr(0, 1));
    if (env.FixedDriveLetters.find(drive) == std::wstring::npos) {
        return false;
    }
    if (data.back() == L'\\') {
        return false;
    }
    std::size_t commas = 0;
    for (wchar_t c : data) {
        commas += c == L',' ? 1 : 0;
    }
    return commas < 2;
}

void CheckStrayValue(RunState& state, std::uint32_t root, const std::wstring& path,
                     const RegKey& key, const std::wstring& name) {
    // One read gives type and text; a value of another type (or one that cannot be read) has
    // no text and fails the shape tests.
    std::wstring data;
    if (!QueryStringAsStored(key, name, data)) {
        return;
    }
    if (!LooksLikeFixedDrivePath(data, state.env) || FileExists(data)) {
        return;
    }
    const std::wstring file = ExtractFileReference(data, state.env);
    if (file.size() < 4 || file[file.size() - 4] != L'.') {
        return;
    }
    // Case-sensitive on purpose: only the Windows folder spelt in capitals is left alone.
    const std::wstring windowsUpper = UpperAscii(state.env.WindowsFolder);
    if (!windowsUpper.empty() && file.find(windowsUpper) != std::wstring::npos) {
        return;
    }
    if (FileExists(file) || FileReferenceExists(file, state.env)) {
        return;
    }
    std::wstring keyText =
        std::wstring(root == kHkeyLocalMachine ? L"[HKLM]" : L"[HKCU]") + path + L"=" + name;
    std::wstring exclusion = keyText;
    RecordIssue(state, IssueCategory::TemporaryValues, std::move(keyText), file,
                std::move(exclusion), ValueDeletion(root, path, name));
}

// One level of the walk: the key stays open while its subkeys are visited.
struct WalkFrame {
    std::wstring path;
    RegKey key;
    std::vector<std::wstring> subkeys;
    std::size_t nextSubkey = 0;
};

// Examines the key's values and, when the key opens, pushes its frame for the subkey walk.
void EnterKey(RunState& state, std::uint32_t root, std::wstring_view givenPath,
              std::vector<WalkFrame>& frames) {
    if (!state.scanInProgress || IsSkippedBranch(givenPath)) {
        return;
    }
    WalkFrame frame;
    frame.path = WithLeadingBackslash(givenPath);
    frame.key = OpenKeyReadOnly(root, frame.path);
    if (!frame.key) {
        return;
    }
    ListSubkeys(frame.key, frame.subkeys);
    std::vector<std::wstring> values;
    ListValueNames(frame.key, values);
    for (const std::wstring& name : values) {
        state.Pump();
        if (!state.scanInProgress) {
            continue;
        }
        CheckStrayValue(state, root, frame.path, frame.key, name);
    }
    frames.push_back(std::move(frame));
}

}  // namespace

void ScanMruList(RunState& state, std::wstring_view path) {
    if (!KeyExists(kHkeyCurrentUser, path)) {
        return;
    }
    const std::wstring keyPath = WithLeadingBackslash(path);
    std::vector<std::wstring> names;
    ListValueNames(kHkeyCurrentUser, keyPath, names);
    const std::wstring keyText = HiveTag(kHkeyCurrentUser) + keyPath;
    for (const std::wstring& name : names) {
        state.Pump();
        if (!state.scanInProgress) {
            continue;
        }
        std::wstring exclusion = keyText + L"=" + name;
        if (IsExcluded(state, exclusion)) {
            continue;
        }
        const std::wstring data = MruDataText(keyPath, name);
        RecordIssue(state, IssueCategory::TemporaryValues, keyText,
                    data.empty() ? name : name + L"=" + data, std::move(exclusion),
                    ValueDeletion(kHkeyCurrentUser, keyPath, name), false);
    }
}

// Depth-first in pre-order over an explicit stack of frames: a chain of keys as deep as the
// registry allows costs heap, not call stack, and holds one open key per level.
void ScanInvalidValues(RunState& state, std::uint32_t root, std::wstring_view path) {
    std::vector<WalkFrame> frames;
    EnterKey(state, root, path, frames);
    while (!frames.empty() && state.scanInProgress) {
        WalkFrame& top = frames.back();
        if (top.nextSubkey >= top.subkeys.size()) {
            frames.pop_back();  // closes the key
            continue;
        }
        const std::wstring& name = top.subkeys[top.nextSubkey++];
        if (name.empty()) {
            continue;
        }
        const std::wstring child = top.path + L"\\" + name;
        EnterKey(state, root, child, frames);  // may grow frames: top is not used after this
    }
}

}  // namespace bv
