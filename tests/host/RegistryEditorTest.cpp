// Tests of the registry editor runner: the program it starts, its command line and flags, and
// that the fix and its undo file reach the editor of the machine's native registry view.
#include "sysaccess/RegistryEditor.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "engine/Findings.h"
#include "platform/Platform.h"
#include "platform/sim/SimMachine.h"
#include "repair/Repair.h"
#include "sysaccess/EnvironmentSnapshot.h"
#include "sysaccess/TextFile.h"
#include "tests/host/TestMachine.h"

namespace bv {
namespace {

using Lines = std::vector<std::wstring>;

TEST(RegistryEditorTest, RunsRegeditFromTheWindowsFolderWithALeadingSpace) {
    struct Case {
        const wchar_t* arguments;
        const wchar_t* commandLine;
    };
    const Case cases[] = {
        {L"/s \"C:\\Data\\none.reg\"", L" /s \"C:\\Data\\none.reg\""},
        {L" /s \"C:\\Data\\none.reg\"", L" /s \"C:\\Data\\none.reg\""},
        {L"", L""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::PrintToString(std::wstring(c.arguments)));
        sim::Machine machine;
        sim::ScopedMachine use(machine);
        EnvironmentSnapshot env;
        env.WindowsFolder = L"D:\\WinNT\\";
        RunRegistryEditor(c.arguments, env);
        ASSERT_EQ(machine.processes.size(), 1u);
        EXPECT_EQ(machine.processes[0].application, L"D:\\WinNT\\regedit.exe");
        EXPECT_EQ(machine.processes[0].commandLine, c.commandLine);
        EXPECT_EQ(machine.processes[0].creationFlags, 0x88u);
    }
}

constexpr wchar_t kClass[] = L"CLSID\\{B7A1E000-0000-4000-8000-000000000001}";

// Findings whose entries have twins of the same name in the 32-bit view (WOW6432Node): a key
// under HKLM\SOFTWARE, a COM class and a value. Each twin holds "32" where its entry holds "64".
void AddTwinFindings(test::TestMachine& t) {
    sim::Registry& r = t.machine.registry;
    for (const wchar_t* bits : {L"64", L"32"}) {
        const bool wow = bits[0] == L'3';
        const std::wstring software = wow ? L"SOFTWARE\\WOW6432Node\\" : L"SOFTWARE\\";
        const std::wstring classes = wow ? L"WOW6432Node\\" : L"";
        r.SetString(kHkeyLocalMachine, software + L"BvTwin", L"Kind", bits);
        r.SetString(kHkeyLocalMachine, software + L"BvTwin\\Sub", L"Kind", bits);
        r.SetString(kHkeyClassesRoot, classes + kClass, L"", bits);
        r.SetString(kHkeyLocalMachine, software + L"BvValue", L"Path",
                    std::wstring(L"C:\\") + bits + L"\\app.exe");
    }
    RunState& s = t.Ready();
    const std::wstring classKey = std::wstring(L"\\") + kClass;
    ASSERT_TRUE(RecordIssue(s, IssueCategory::SoftwareLocations, L"[HKLM]\\SOFTWARE\\BvTwin", L"",
                            L"[HKLM]\\SOFTWARE\\BvTwin",
                            KeyDeletion(kHkeyLocalMachine, L"\\SOFTWARE\\BvTwin")));
    ASSERT_TRUE(RecordIssue(s, IssueCategory::ComActiveX, L"[HKCR]" + classKey, L"",
                            L"[HKCR]" + classKey, KeyDeletion(kHkeyClassesRoot, classKey)));
    ASSERT_TRUE(RecordIssue(s, IssueCategory::TemporaryValues, L"[HKLM]\\SOFTWARE\\BvValue",
                            L"C:\\64\\app.exe", L"[HKLM]\\SOFTWARE\\BvValue=Path",
                            ValueDeletion(kHkeyLocalMachine, L"\\SOFTWARE\\BvValue", L"Path")));
    s.results.ErrorTotal = static_cast<std::int32_t>(s.results.IssueKeys.size());
    s.scanInProgress = false;
}

Lines UndoFileLines(const test::TestMachine& t) {
    const std::wstring prefix = t.state.env.AppDataFolder + L"Brimvale_Undo_";
    for (const std::wstring& path : t.machine.ListPaths()) {
        if (path.size() > prefix.size() &&
            sim::EqualNoCase(path.substr(0, prefix.size()), prefix)) {
            return DecodeTextLines(*t.machine.FileContents(path));
        }
    }
    return {};
}

// A 32-bit program on 64-bit Windows is handed SysWOW64's editor, which works in the 32-bit
// view: it would delete the twins and save them for undo. The fix must reach the editor of the
// machine's own view on 64-bit and 32-bit Windows alike.
TEST(RegistryEditorTest, FixAndUndoUseTheEditorOfTheNativeView) {
    struct Case {
        const char* name;
        bool machine64;
    };
    const Case cases[] = {{"64-bit Windows", true}, {"32-bit Windows", false}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        test::TestMachine t;
        if (!c.machine64) {
            t.machine.programFilesFolder = L"C:\\Program Files";
            t.machine.programPath = L"C:\\Program Files\\Brimvale\\Brimvale.exe";
        }
        AddTwinFindings(t);
        ASSERT_EQ(t.state.env.Is64BitWindows, c.machine64);
        t.window.answers = {true};
        Button2Click(t.state);

        EXPECT_EQ(t.window.infoText, L"Errors were fixed");
        const sim::Registry& r = t.machine.registry;
        EXPECT_EQ(r.Find(kHkeyLocalMachine, L"SOFTWARE\\BvTwin"), nullptr);
        EXPECT_EQ(r.Find(kHkeyClassesRoot, kClass), nullptr);
        EXPECT_EQ(r.Find(kHkeyLocalMachine, L"SOFTWARE\\BvValue")->FindValue(L"Path"), nullptr);
        // The twins are other, valid entries.
        EXPECT_NE(r.Find(kHkeyLocalMachine, L"SOFTWARE\\WOW6432Node\\BvTwin\\Sub"), nullptr);
        EXPECT_NE(r.Find(kHkeyClassesRoot, std::wstring(L"WOW6432Node\\") + kClass), nullptr);
        EXPECT_NE(r.Find(kHkeyLocalMachine, L"SOFTWARE\\WOW6432Node\\BvValue")->FindValue(L"Path"),
                  nullptr);

        // The undo file holds the entries the fix deleted, not their twins.
        const Lines undo = UndoFileLines(t);
        const std::wstring classSection = L"[HKEY_CLASSES_ROOT\\" + std::wstring(kClass) + L"]";
        for (const std::wstring& line :
             {std::wstring(L"[HKEY_LOCAL_MACHINE\\SOFTWARE\\BvTwin]"),
              std::wstring(L"[HKEY_LOCAL_MACHINE\\SOFTWARE\\BvTwin\\Sub]"),
              std::wstring(L"\"Kind\"=\"64\""), classSection, std::wstring(L"@=\"64\""),
              std::wstring(L"\"Path\"=\"C:\\\\64\\\\app.exe\"")}) {
            EXPECT_NE(std::find(undo.begin(), undo.end(), line), undo.end())
                << testing::PrintToString(line);
        }
        for (const std::wstring& line :
             {std::wstring(L"\"Kind\"=\"32\""), std::wstring(L"@=\"32\""),
              std::wstring(L"\"Path\"=\"C:\\\\32\\\\app.exe\"")}) {
            EXPECT_EQ(std::find(undo.begin(), undo.end(), line), undo.end())
                << testing::PrintToString(line);
        }

        // Two exports and the import, each the editor of the Windows folder itself, started
        // with redirection off on 64-bit Windows only, and waited for with it on again.
        ASSERT_EQ(t.machine.processes.size(), 3u);
        for (const sim::ProcessRecord& record : t.machine.processes) {
            EXPECT_EQ(record.application, L"C:\\Windows\\regedit.exe");
            EXPECT_EQ(record.image, L"C:\\Windows\\regedit.exe");
            EXPECT_EQ(record.redirectionOff, c.machine64);
            EXPECT_TRUE(record.waited);
            EXPECT_FALSE(record.redirectionOffInWait);
        }
    }
}

// After the start the thread sees the redirected system folder again, even when the editor
// could not be started.
TEST(RegistryEditorTest, RedirectionIsOnAgainAfterEveryStart) {
    const wchar_t* editors[] = {L"C:\\Windows\\", L"C:\\Missing\\"};
    for (const wchar_t* folder : editors) {
        SCOPED_TRACE(testing::PrintToString(std::wstring(folder)));
        test::TestMachine t;
        t.machine.AddFile(L"C:\\Windows\\SysWOW64\\only32.dll");
        RunState& s = t.Ready();
        s.env.WindowsFolder = folder;
        RunRegistryEditor(L"/s \"C:\\none.reg\"", s.env);
        ASSERT_EQ(t.machine.processes.size(), 1u);
        EXPECT_TRUE(t.machine.processes[0].redirectionOff);
        EXPECT_NE(platform::GetFileAttributes(L"C:\\Windows\\system32\\only32.dll", nullptr),
                  platform::kInvalidFileAttributes);
    }
}

}  // namespace
}  // namespace bv
