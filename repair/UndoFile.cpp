// Undo files: before the fix deletes anything, the editor's export of every key and the typed
// data of every value it will delete are written to a script that puts them back.
#include <cstdio>
#include <map>
#include <string>
#include <unordered_map>
#include <vector>

#include "engine/Findings.h"
#include "platform/Platform.h"
#include "platform/Utf16.h"
#include "repair/Repair.h"
#include "sysaccess/EnvironmentSnapshot.h"
#include "sysaccess/FileReference.h"
#include "sysaccess/RegUnit.h"
#include "sysaccess/RegistryEditor.h"
#include "sysaccess/TextFile.h"

namespace bv {

namespace {

constexpr wchar_t kRegHeader[] = L"Windows Registry Editor Version 5.00";
// The editor breaks a hex line once it reaches this many characters.
constexpr std::size_t kHexLineLimit = 77;
// A real key is at most 512 levels deep; a walk that goes deeper is following a link cycle.
constexpr int kMaxKeyDepth = 512;

struct RootNames {
    const wchar_t* tag;
    const wchar_t* name;
    std::uint32_t root;
};
constexpr RootNames kRoots[] = {
    {L"[HKCU]", L"HKEY_CURRENT_USER", kHkeyCurrentUser},
    {L"[HKCR]", L"HKEY_CLASSES_ROOT", kHkeyClassesRoot},
    {L"[HKLM]", L"HKEY_LOCAL_MACHINE", kHkeyLocalMachine},
};

std::uint32_t RootFromRootName(std::wstring_view rootName) {
    for (const RootNames& r : kRoots) {
        if (rootName == r.name) {
            return r.root;
        }
    }
    return kHkeyCurrentUser;
}

std::wstring Decimal(long long n) {
    return std::to_wstring(n);
}

std::wstring HexByte(std::uint8_t b) {
    static constexpr wchar_t kDigits[] = L"0123456789abcdef";  // as the editor writes them
    return {kDigits[b >> 4], kDigits[b & 0x0F]};
}

std::wstring LowerHex(std::uint32_t n) {
    char buffer[16];
    std::snprintf(buffer, sizeof buffer, "%x", static_cast<unsigned>(n));
    return std::wstring(buffer, buffer + std::char_traits<char>::length(buffer));
}

// REG_SZ data the string form restores byte for byte: UTF-16 text, one terminating NUL, no
// NUL inside and no line break (a line break would end the script line).
bool IsPlainStringData(const std::vector<std::uint8_t>& data, std::wstring& text) {
    if (data.size() < 2 || data.size() % 2 != 0) {
        return false;
    }
    const std::size_t units = data.size() / 2;
    for (std::size_t i = 0; i < units; ++i) {
        const std::uint16_t u = static_cast<std::uint16_t>(data[2 * i] | (data[2 * i + 1] << 8));
        const bool last = i + 1 == units;
        if ((u == 0) != last || u == L'\r' || u == L'\n') {
            return false;
        }
    }
    text = FromUtf16LeBytes(data.data(), data.size() - 2);
    return true;
}

// The hex data of a value line, wrapped the way the editor wraps it: a line that reaches the
// limit ends with "\" and the next one starts with two spaces.
std::vector<std::wstring> HexLines(std::wstring line, const std::vector<std::uint8_t>& data) {
    std::vector<std::wstring> lines;
    std::size_t length = line.size();
    for (std::size_t i = 0; i < data.size(); ++i) {
        line += HexByte(data[i]);
        if (i + 1 == data.size()) {
            break;
        }
        line += L',';
        length += 3;
        if (length >= kHexLineLimit) {
            line += L'\\';
            lines.push_back(std::move(line));
            line = L"  ";
            length = 2;
        }
    }
    lines.push_back(std::move(line));
    return lines;
}

// A line of a registry script cannot carry these: the editor would end the line there.
bool HasLineBreakOrNul(std::wstring_view text) {
    return text.find_first_of(std::wstring_view(L"\r\n\0", 3)) != std::wstring_view::npos;
}

// Whether every key and value name of a key's subtree can be written to a script line, so that
// an undo file puts the subtree back as it was.
bool NamesFitScriptLines(std::uint32_t root, const std::wstring& path, int depth = 0) {
    if (depth > kMaxKeyDepth) {
        return false;
    }
    RegKey key = OpenKeyReadOnly(root, path);
    if (!key) {
        return true;
    }
    std::vector<std::wstring> names;
    ListValueNames(key, names);
    for (const std::wstring& name : names) {
        if (HasLineBreakOrNul(name)) {
            return false;
        }
    }
    ListSubkeys(key, names);
    for (const std::wstring& sub : names) {
        if (HasLineBreakOrNul(sub) ||
            (!sub.empty() && !NamesFitScriptLines(root, path + L"\\" + sub, depth + 1))) {
            return false;
        }
    }
    return true;
}

// The editor's export of a key counts only when it holds that key's own section.
bool ExportHoldsKey(const std::vector<std::wstring>& lines, std::wstring_view rootName,
                    std::wstring path) {
    while (path.size() > 1 && path.back() == L'\\') {
        path.pop_back();
    }
    const std::wstring header = L"[" + std::wstring(rootName) + path + L"]";
    for (std::size_t i = 2; i < lines.size(); ++i) {
        if (SameTextNoCase(lines[i], header)) {
            return true;
        }
    }
    return false;
}

// A temporary export file of its own for each key: hour, minute, second and millisecond
// apart, and the key's place among the findings, so no two exports can meet in one file.
std::wstring ExportFileName(const platform::LocalTime& now, std::size_t sequence) {
    return L"Brimvale_Export_" + Decimal(now.hour) + L"_" + Decimal(now.minute) + L"_" +
           Decimal(now.second) + L"_" + Decimal(now.millisecond) + L"_" +
           Decimal(static_cast<long long>(sequence));
}

// The value names of keys already read, by key: many value findings of one key read its names
// once. Folded name -> the name as stored.
using StoredNames = std::map<std::wstring, std::unordered_map<std::wstring, std::wstring>>;

// An undo target: what one finding's deletion lines remove.
struct UndoTarget {
    bool isValue = false;
    std::wstring rootName;
    std::wstring keyPath;
    std::wstring valueName;
};

// The sections the editor exports for a key: the key's values, then each subkey in turn.
void AppendKeyTree(std::vector<std::wstring>& undoScript, std::uint32_t root,
                   std::wstring_view rootName, const std::wstring& path) {
    RegKey key = OpenKeyReadOnly(root, path);
    if (!key) {
        return;
    }
    undoScript.push_back(L"[" + std::wstring(rootName) + path + L"]");
    std::vector<std::wstring> names;
    ListValueNames(key, names);
    for (const std::wstring& name : names) {
        std::uint32_t type = 0;
        std::vector<std::uint8_t> data;
        if (QueryValueData(key, name, type, data)) {
            std::vector<std::wstring> lines = FormatRegValue(name, type, data);
            undoScript.insert(undoScript.end(), lines.begin(), lines.end());
        }
    }
    undoScript.emplace_back();
    std::vector<std::wstring> subkeys;
    ListSubkeys(key, subkeys);
    for (const std::wstring& sub : subkeys) {
        if (!sub.empty()) {
            AppendKeyTree(undoScript, root, rootName, path + L"\\" + sub);
        }
    }
}

}  // namespace

bool ParseIssueKey(std::wstring_view entry, IssueKeyParts& parts) {
    parts = IssueKeyParts{};
    if (entry.empty()) {
        return false;
    }
    const std::wstring_view tag = entry.substr(0, 6);
    parts.root = kHkeyCurrentUser;
    parts.rootName = L"HKEY_CURRENT_USER";
    for (const RootNames& r : kRoots) {
        if (tag == r.tag) {
            parts.root = r.root;
            parts.rootName = r.name;
        }
    }
    std::wstring_view rest = entry.size() > 6 ? entry.substr(6) : std::wstring_view();
    const std::size_t eq = rest.find(L'=');
    if (eq != std::wstring_view::npos) {
        parts.isValue = true;
        parts.valueName = std::wstring(rest.substr(eq + 1));
        rest = rest.substr(0, eq);
    }
    parts.keyPath = std::wstring(rest);
    if (parts.keyPath.empty() || parts.keyPath.front() != L'\\') {
        parts.keyPath.insert(parts.keyPath.begin(), L'\\');
    }
    return true;
}

std::vector<std::wstring> FormatRegValue(std::wstring_view valueName, std::uint32_t type,
                                         const std::vector<std::uint8_t>& data) {
    const std::wstring prefix =
        valueName.empty() ? std::wstring(L"@=") : L"\"" + EscapeRegName(valueName) + L"\"=";
    std::wstring text;
    if (type == platform::kRegSz && IsPlainStringData(data, text)) {
        return {prefix + L"\"" + EscapeRegName(text) + L"\""};
    }
    if (type == platform::kRegDword && data.size() == 4) {
        std::wstring line = prefix + L"dword:";
        for (int i = 3; i >= 0; --i) {
            line += HexByte(data[static_cast<std::size_t>(i)]);
        }
        return {line};
    }
    // Everything else keeps its type through the typed hex form.
    const std::wstring tag =
        type == platform::kRegBinary ? std::wstring(L"hex:") : L"hex(" + LowerHex(type) + L"):";
    return HexLines(prefix + tag, data);
}

std::wstring UndoFileName(int day, int month, int year, int hour, int minute, int second) {
    return L"Brimvale_Undo_" + Decimal(day) + L"_" + Decimal(month) + L"_" + Decimal(year) + L"_" +
           Decimal(hour) + L"_" + Decimal(minute) + L"_" + Decimal(second) + L".reg";
}

bool AppendKeyUndo(RunState& state, std::vector<std::wstring>& undoScript,
                   std::wstring_view rootName, std::wstring_view keyPath, std::size_t sequence) {
    if (keyPath.empty()) {
        return true;
    }
    std::wstring path(keyPath);
    if (path.front() != L'\\') {
        path.insert(path.begin(), L'\\');
    }
    const std::uint32_t root = RootFromRootName(rootName);
    if (!NamesFitScriptLines(root, path)) {
        return false;  // no undo file could put it back: the fix leaves it alone
    }
    if (path.find(L'"') != std::wstring::npos) {
        // A double quote cannot travel inside the quoted key argument of the editor's command
        // line; such a key is written from the registry itself, in the editor's export form.
        AppendKeyTree(undoScript, root, rootName, path);
        return true;
    }
    const std::wstring temp =
        state.env.AppDataFolder + ExportFileName(platform::GetLocalTime(), sequence);
    std::vector<std::wstring> lines;
    // Only a file this export wrote may be read as it: a leftover is removed first, and a file
    // that cannot be removed is not read at all.
    platform::DeleteFile(temp);
    if (LookUpPath(temp) == PathState::Missing) {
        const bool ended = RunRegistryEditor(
            L"/s /e \"" + temp + L"\" \"" + std::wstring(rootName) + path + L"\"", state.env);
        // An editor still at work after the time-out may be writing it yet.
        if (!ended || LookUpPath(temp) != PathState::File || !ReadTextLines(temp, lines) ||
            !ExportHoldsKey(lines, rootName, path)) {
            lines.clear();
        }
        platform::DeleteFile(temp);
    }
    if (!lines.empty()) {
        undoScript.insert(undoScript.end(), lines.begin() + 2, lines.end());
        return true;
    }
    // The editor did not start, did not end in time or wrote no export of the key (Wine's now
    // and then ends without one): the fix is about to delete the key, so it is copied from the
    // registry itself. A key that is gone adds nothing here either.
    AppendKeyTree(undoScript, root, rootName, path);
    return true;
}

namespace {

void AppendValueUndoFrom(StoredNames& stored, std::vector<std::wstring>& undoScript,
                         std::wstring_view rootName, std::wstring_view keyPath,
                         std::wstring_view valueName) {
    std::wstring path(keyPath);
    if (path.size() > 1 && path.back() == L'\\') {
        path.pop_back();
    }
    RegKey key = OpenKeyReadOnly(RootFromRootName(rootName), path);
    if (!key) {
        return;
    }
    undoScript.push_back(L"[" + std::wstring(rootName) + path + L"]");
    // Write the name as the registry stores it: the finding may spell it in another case.
    auto [names, fresh] = stored.try_emplace(std::wstring(rootName) + FoldedNoCase(path));
    if (fresh) {
        std::vector<std::wstring> listed;
        ListValueNames(key, listed);
        for (std::wstring& name : listed) {
            names->second.try_emplace(FoldedNoCase(name), std::move(name));
        }
    }
    const auto found = names->second.find(FoldedNoCase(valueName));
    const std::wstring storedName =
        found != names->second.end() ? found->second : std::wstring(valueName);
    std::uint32_t type = 0;
    std::vector<std::uint8_t> data;
    if (QueryValueData(key, storedName, type, data)) {
        std::vector<std::wstring> lines = FormatRegValue(storedName, type, data);
        undoScript.insert(undoScript.end(), lines.begin(), lines.end());
    }
    undoScript.emplace_back();
}

}  // namespace

void AppendValueUndo(RunState& state, std::vector<std::wstring>& undoScript,
                     std::wstring_view rootName, std::wstring_view keyPath,
                     std::wstring_view valueName) {
    (void)state;
    StoredNames stored;
    AppendValueUndoFrom(stored, undoScript, rootName, keyPath, valueName);
}

UndoOutcome CreateUndoFile(RunState& state) {
    EnsureAppDataFolder(state.env);
    std::vector<std::wstring> undoScript{kRegHeader, L""};
    Gauge gauge(state);
    UndoOutcome outcome;
    outcome.keep.assign(state.results.IssueKeys.size(), false);

    std::vector<UndoTarget> targets;
    for (const std::wstring& entry : state.results.IssueKeys) {
        IssueKeyParts parts;
        UndoTarget t;
        if (ParseIssueKey(entry, parts)) {
            t.isValue = parts.isValue;
            t.rootName = parts.rootName;
            t.keyPath = parts.keyPath;
            t.valueName = parts.valueName;
        }
        targets.push_back(std::move(t));
    }

    StoredNames stored;
    for (std::size_t i = 0; i < targets.size(); ++i) {
        state.Pump();
        if (!state.scanInProgress) {
            // No more pumps once stopped: a click then would start a second fix inside this one.
            break;
        }
        gauge.Step(i, targets.size());
        const UndoTarget& t = targets[i];
        if (t.rootName.empty()) {
            continue;
        }
        if (t.isValue) {
            AppendValueUndoFrom(stored, undoScript, t.rootName, t.keyPath, t.valueName);
        } else {
            outcome.keep[i] = !AppendKeyUndo(state, undoScript, t.rootName, t.keyPath, i + 1);
        }
    }

    if (undoScript.size() <= 2) {
        return outcome;  // nothing the fix deletes needs putting back
    }
    const platform::LocalTime now = platform::GetLocalTime();
    const std::wstring path =
        state.env.AppDataFolder +
        UndoFileName(now.day, now.month, now.year, now.hour, now.minute, now.second);
    // Saved means every byte is on disk: a file that reads back otherwise is no undo at all.
    const std::vector<std::uint8_t> bytes = EncodeTextLines(undoScript, TextEncoding::Ansi);
    std::vector<std::uint8_t> written;
    if (platform::WriteFileBytes(path, bytes) && platform::ReadFileBytes(path, written) &&
        written == bytes) {
        outcome.path = path;
        return outcome;
    }
    platform::DeleteFile(path);
    outcome.saved = false;
    return outcome;
}

void UndoLabelClick(RunState& state) {
    platform::ShellOpen(state.window.OwnerHandle(), state.env.AppDataFolder);
}

}  // namespace bv
