// Scan results: category captions, deletion lines, ResetScanResults, IsExcluded, RecordIssue.
#include "engine/Findings.h"

#include <cwctype>

#include "sysaccess/TextFile.h"

namespace bv {

namespace {

constexpr const wchar_t* kCaptions[kCategoryCount] = {
    L"Software locations", L"Shared dlls",      L"Extensions/Icons", L"Com/ActiveX",
    L"Interfaces/Types",   L"Startup",          L"Uninstall",        L"Help files",
    L"Fonts/Sounds",       L"Temporary values",
};

constexpr const wchar_t* kScriptHeader = L"Windows Registry Editor Version 5.00";

// A script line cannot carry these: an editor reading it would end the line there.
bool HasLineBreakOrNul(std::wstring_view text) {
    return text.find_first_of(std::wstring_view(L"\r\n\0", 3)) != std::wstring_view::npos;
}

wchar_t FoldChar(wchar_t c) {
    if (c >= L'a' && c <= L'z') {
        return static_cast<wchar_t>(c - L'a' + L'A');
    }
    if (c < 0x80) {
        return c;
    }
    return static_cast<wchar_t>(std::towupper(static_cast<std::wint_t>(c)));
}

}  // namespace

const wchar_t* CategoryCaption(IssueCategory category) {
    return kCaptions[static_cast<int>(category)];
}

const wchar_t* HiveTag(std::uint32_t root) {
    switch (root) {
        case kHkeyClassesRoot:
            return L"[HKCR]";
        case kHkeyLocalMachine:
            return L"[HKLM]";
        default:
            return L"[HKCU]";
    }
}

const wchar_t* HiveName(std::uint32_t root) {
    switch (root) {
        case kHkeyClassesRoot:
            return L"HKEY_CLASSES_ROOT";
        case kHkeyLocalMachine:
            return L"HKEY_LOCAL_MACHINE";
        default:
            return L"HKEY_CURRENT_USER";
    }
}

std::wstring EscapeRegName(std::wstring_view name) {
    std::wstring out;
    out.reserve(name.size() + 4);
    for (wchar_t c : name) {
        if (c == L'\\' || c == L'"') {
            out.push_back(L'\\');
        }
        out.push_back(c);
    }
    return out;
}

std::vector<std::wstring> KeyDeletion(std::uint32_t root, std::wstring_view keyPath) {
    std::wstring line = L"[-";
    line += HiveName(root);
    line += keyPath;
    line += L"]";
    return {std::move(line)};
}

std::vector<std::wstring> ValueDeletion(std::uint32_t root, std::wstring_view keyPath,
                                        std::wstring_view valueName) {
    std::wstring header = L"[";
    header += HiveName(root);
    header += keyPath;
    header += L"]";
    std::wstring line =
        valueName.empty() ? std::wstring(L"@=-") : L"\"" + EscapeRegName(valueName) + L"\"=-";
    return {std::move(header), std::move(line)};
}

std::wstring FoldedNoCase(std::wstring_view text) {
    std::wstring folded(text);
    for (wchar_t& c : folded) {
        c = FoldChar(c);
    }
    return folded;
}

bool SameTextNoCase(std::wstring_view a, std::wstring_view b) {
    if (a.size() != b.size()) {
        return false;
    }
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (a[i] != b[i] && FoldChar(a[i]) != FoldChar(b[i])) {
            return false;
        }
    }
    return true;
}

void ResetScanResults(RunState& state) {
    ScanResults& r = state.results;
    r.groups.clear();
    r.recorded.clear();
    state.window.ResultsCleared();
    r.groupCreated.fill(false);
    r.counters.fill(0);
    r.FixScript.clear();
    r.FixScript.emplace_back(kScriptHeader);
    r.FixScript.emplace_back();
    r.IssueKeys.clear();
    r.fixScriptBlocks.clear();
    r.ExclusionList.clear();
    std::vector<std::wstring> lines;
    TextEncoding encoding = TextEncoding::Ansi;
    if (ReadTextLines(state.env.AppDataFolder + L"Exclusions.txt", lines, &encoding)) {
        r.ExclusionList = std::move(lines);
        state.exclusionsEncoding = encoding;
    }
}

bool IsExcluded(const RunState& state, std::wstring_view exclusionText) {
    for (const std::wstring& line : state.results.ExclusionList) {
        if (SameTextNoCase(line, exclusionText)) {
            return true;
        }
    }
    return false;
}

bool RecordIssue(RunState& state, IssueCategory category, std::wstring keyText,
                 std::wstring valueText, std::wstring exclusionText,
                 std::vector<std::wstring> deletionLines, bool testExclusion) {
    if (testExclusion && IsExcluded(state, exclusionText)) {
        return false;
    }
    // A crafted name with a line break would make the script name something else.
    if (HasLineBreakOrNul(exclusionText)) {
        return false;
    }
    for (const std::wstring& line : deletionLines) {
        if (HasLineBreakOrNul(line)) {
            return false;
        }
    }
    // Identities are split at their first "=" into key and value name: a key path holding one
    // would be read back as another key by the undo step and the re-test.
    if (!deletionLines.empty() && deletionLines[0].find(L'=') != std::wstring::npos) {
        return false;
    }
    ScanResults& r = state.results;
    const int c = static_cast<int>(category);
    std::size_t groupIndex = 0;
    if (!r.groupCreated[c]) {
        r.groups.push_back(IssueGroup{category, {}});
        r.groupCreated[c] = true;
        groupIndex = r.groups.size() - 1;
    } else {
        while (r.groups[groupIndex].category != category) {
            ++groupIndex;
        }
    }
    IssueGroup& group = r.groups[groupIndex];
    r.recorded.push_back(RowRef{static_cast<std::uint32_t>(groupIndex),
                                static_cast<std::uint32_t>(group.rows.size())});
    r.IssueKeys.push_back(exclusionText);
    r.fixScriptBlocks.push_back(r.FixScript.size());
    group.rows.push_back(
        Issue{category, std::move(keyText), std::move(valueText), std::move(exclusionText)});
    r.counters[c] += 1;
    for (std::wstring& line : deletionLines) {
        r.FixScript.push_back(std::move(line));
    }
    r.FixScript.emplace_back();
    state.window.ResultsAppended();
    return true;
}

}  // namespace bv
