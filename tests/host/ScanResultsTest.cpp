// Scan results: recording, groups, exclusions and the deletion lines every finding carries.
#include <gtest/gtest.h>

#include "engine/Findings.h"
#include "platform/Utf16.h"
#include "tests/host/TestMachine.h"

namespace bv {
namespace {

using test::TestMachine;

TEST(DeletionLines, FormsAndEscaping) {
    struct Case {
        std::vector<std::wstring> got;
        std::vector<std::wstring> want;
    } cases[] = {
        {KeyDeletion(kHkeyLocalMachine, L"\\SOFTWARE\\A b"),
         {L"[-HKEY_LOCAL_MACHINE\\SOFTWARE\\A b]"}},
        {KeyDeletion(kHkeyClassesRoot, L"\\.xyz"), {L"[-HKEY_CLASSES_ROOT\\.xyz]"}},
        {ValueDeletion(kHkeyLocalMachine, L"\\SOFTWARE\\X", L"C:\\Program Files\\App\\x.dll"),
         {L"[HKEY_LOCAL_MACHINE\\SOFTWARE\\X]", L"\"C:\\\\Program Files\\\\App\\\\x.dll\"=-"}},
        {ValueDeletion(kHkeyCurrentUser, L"\\R", L"say \"hi\""),
         {L"[HKEY_CURRENT_USER\\R]", L"\"say \\\"hi\\\"\"=-"}},
        {ValueDeletion(kHkeyCurrentUser, L"\\AppEvents\\x\\.Current", L""),
         {L"[HKEY_CURRENT_USER\\AppEvents\\x\\.Current]", L"@=-"}},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(c.got, c.want);
    }
}

TEST(RecordIssue, ScanWithoutFindingsLeavesHeaderOnly) {
    TestMachine t;
    RunState& s = t.Ready();
    EXPECT_TRUE(s.results.groups.empty());
    EXPECT_TRUE(s.results.IssueKeys.empty());
    EXPECT_EQ(s.results.FixScript,
              (std::vector<std::wstring>{L"Windows Registry Editor Version 5.00", L""}));
}

TEST(RecordIssue, GroupsCountersKeysAndScript) {
    TestMachine t;
    RunState& s = t.Ready();
    EXPECT_TRUE(RecordIssue(s, IssueCategory::ComActiveX, L"[HKCR]\\a", L"v", L"[HKCR]\\a",
                            KeyDeletion(kHkeyClassesRoot, L"\\a")));
    EXPECT_TRUE(RecordIssue(s, IssueCategory::ExtensionsIcons, L"[HKCR]\\.b", L"", L"[HKCR]\\.b",
                            KeyDeletion(kHkeyClassesRoot, L"\\.b")));
    // The same key twice: nothing is de-duplicated.
    EXPECT_TRUE(RecordIssue(s, IssueCategory::ComActiveX, L"[HKCR]\\a", L"v", L"[HKCR]\\a",
                            KeyDeletion(kHkeyClassesRoot, L"\\a")));
    EXPECT_TRUE(RecordIssue(s, IssueCategory::Startup, L"[HKCU]\\Run", L"x", L"[HKCU]\\Run=x",
                            ValueDeletion(kHkeyCurrentUser, L"\\Run", L"x")));
    ASSERT_EQ(s.results.groups.size(), 3u);
    EXPECT_EQ(s.results.groups[0].category, IssueCategory::ComActiveX);
    EXPECT_EQ(s.results.groups[0].rows.size(), 2u);
    EXPECT_EQ(s.results.groups[1].category, IssueCategory::ExtensionsIcons);
    EXPECT_EQ(s.results.counters[static_cast<int>(IssueCategory::ComActiveX)], 2);
    EXPECT_EQ(s.results.IssueKeys, (std::vector<std::wstring>{L"[HKCR]\\a", L"[HKCR]\\.b",
                                                              L"[HKCR]\\a", L"[HKCU]\\Run=x"}));
    EXPECT_EQ(t.ScriptBody(),
              (std::vector<std::wstring>{
                  L"[-HKEY_CLASSES_ROOT\\a]", L"", L"[-HKEY_CLASSES_ROOT\\.b]", L"",
                  L"[-HKEY_CLASSES_ROOT\\a]", L"", L"[HKEY_CURRENT_USER\\Run]", L"\"x\"=-", L""}));
    EXPECT_EQ(t.Rows()[1],
              (std::vector<std::wstring>{L"Extensions/Icons", L"[HKCR]\\.b", L"", L"[HKCR]\\.b"}));
}

TEST(RecordIssue, ExclusionsMatchWholeTextInAnyCase) {
    TestMachine t;
    t.machine.AddFile(L"C:\\Users\\User\\AppData\\Roaming\\Brimvale\\Exclusions.txt",
                      {'[', 'h', 'k', 'c', 'r', ']', '\\', 'A', 'B', '\r', '\n',
                       '[', 'H', 'K', 'C', 'R', ']', '\\', 'c', ' ', '\r', '\n'});
    RunState& s = t.Ready();
    ASSERT_EQ(s.results.ExclusionList.size(), 2u);
    EXPECT_FALSE(RecordIssue(s, IssueCategory::ComActiveX, L"[HKCR]\\ab", L"", L"[HKCR]\\ab",
                             KeyDeletion(kHkeyClassesRoot, L"\\ab")));
    EXPECT_TRUE(s.results.groups.empty());
    EXPECT_EQ(s.results.FixScript.size(), 2u);
    // A trailing space makes a different text.
    EXPECT_TRUE(RecordIssue(s, IssueCategory::ComActiveX, L"[HKCR]\\c", L"", L"[HKCR]\\c",
                            KeyDeletion(kHkeyClassesRoot, L"\\c")));
    // Recorded without the exclusion test.
    EXPECT_TRUE(RecordIssue(s, IssueCategory::Startup, L"[HKCR]\\ab", L"", L"[HKCR]\\ab",
                            KeyDeletion(kHkeyClassesRoot, L"\\ab"), false));
    EXPECT_EQ(s.results.IssueKeys.size(), 2u);
}

TEST(RecordIssue, RefusesNamesNoScriptLineCanCarry) {
    TestMachine t;
    RunState& s = t.Ready();
    for (const std::wstring& name :
         {std::wstring(L"a\rb"), std::wstring(L"a\nb"), std::wstring(L"a\0b", 3)}) {
        EXPECT_FALSE(RecordIssue(s, IssueCategory::Startup, L"[HKCU]\\Run", name,
                                 L"[HKCU]\\Run=" + name,
                                 ValueDeletion(kHkeyCurrentUser, L"\\Run", name)));
        EXPECT_FALSE(RecordIssue(s, IssueCategory::Uninstall, L"[HKCU]\\U\\" + name, L"",
                                 L"[HKCU]\\U\\" + name,
                                 KeyDeletion(kHkeyCurrentUser, L"\\U\\" + name)));
    }
    // "=" in a key path would split the identity at the wrong place; in a value name it is fine.
    EXPECT_FALSE(RecordIssue(s, IssueCategory::Uninstall, L"[HKCU]\\U\\a=b", L"", L"[HKCU]\\U\\a=b",
                             KeyDeletion(kHkeyCurrentUser, L"\\U\\a=b")));
    EXPECT_FALSE(RecordIssue(s, IssueCategory::TemporaryValues, L"[HKCU]\\U\\a=b", L"v",
                             L"[HKCU]\\U\\a=b=v",
                             ValueDeletion(kHkeyCurrentUser, L"\\U\\a=b", L"v")));
    EXPECT_TRUE(s.results.IssueKeys.empty());
    EXPECT_EQ(s.results.FixScript.size(), 2u);
    EXPECT_TRUE(RecordIssue(s, IssueCategory::Startup, L"[HKCU]\\Run", L"a=b", L"[HKCU]\\Run=a=b",
                            ValueDeletion(kHkeyCurrentUser, L"\\Run", L"a=b")));
}

TEST(RecordIssue, OneKeyAndOneValueFindingMakeSevenLines) {
    TestMachine t;
    RunState& s = t.Ready();
    RecordIssue(s, IssueCategory::Uninstall, L"[HKLM]\\U\\x", L"Empty value", L"[HKLM]\\U\\x",
                KeyDeletion(kHkeyLocalMachine, L"\\U\\x"));
    RecordIssue(s, IssueCategory::Startup, L"[HKLM]\\R", L"v", L"[HKLM]\\R=v",
                ValueDeletion(kHkeyLocalMachine, L"\\R", L"v"));
    EXPECT_EQ(s.results.FixScript.size(), 7u);
}

}  // namespace
}  // namespace bv
