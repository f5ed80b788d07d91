// The state one scan builds and the fix consumes: findings grouped by category, counters,
// IssueKeys, FixScript, ExclusionList and ErrorTotal.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace bv {

enum class IssueCategory {
    SoftwareLocations,
    SharedDlls,
    ExtensionsIcons,
    ComActiveX,
    InterfacesTypes,
    Startup,
    Uninstall,
    HelpFiles,
    FontsSounds,
    TemporaryValues,
};
constexpr int kCategoryCount = 10;

const wchar_t* CategoryCaption(IssueCategory category);

struct Issue {
    IssueCategory category{};
    std::wstring keyText;
    std::wstring valueText;
    std::wstring exclusionText;
};

struct IssueGroup {
    IssueCategory category{};
    std::vector<Issue> rows;
};

struct RowRef {
    std::uint32_t group = 0;
    std::uint32_t row = 0;
};

struct ScanResults {
    std::vector<IssueGroup> groups;  // in the order their first finding was recorded
    std::array<bool, kCategoryCount> groupCreated{};
    std::array<std::int32_t, kCategoryCount> counters{};
    std::vector<std::wstring> IssueKeys;
    std::vector<std::wstring> FixScript;
    // Where each IssueKeys entry's deletion lines begin in FixScript.
    std::vector<std::size_t> fixScriptBlocks;
    std::vector<std::wstring> ExclusionList;
    std::int32_t ErrorTotal = 0;
    std::vector<RowRef> recorded;  // every row in recording order, across groups
};

}  // namespace bv
