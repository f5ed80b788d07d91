// Tests of the file-list scanners (shared DLLs, installer folders, HTML help, fonts) on small
// simulated machines: exact rows and deletion lines per machine.
#include <gtest/gtest.h>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "scanners/Scanners.h"
#include "tests/host/TestMachine.h"

namespace bv {
namespace {

using Rows = std::vector<std::vector<std::wstring>>;
using Lines = std::vector<std::wstring>;

const std::wstring kShared = L"\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\SharedDLLs";
const std::wstring kFolders = L"\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Installer\\Folders";
const std::wstring kHelp = L"\\SOFTWARE\\Microsoft\\Windows\\HTML Help";
const std::wstring kFonts = L"\\SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Fonts";

// One value of the machine key under test; a DWORD when no data is given.
struct Entry {
    std::wstring name{};
    std::optional<std::wstring> data{};
};

struct Case {
    const char* label = "";
    std::vector<Entry> values{};
    std::vector<std::wstring> files{};  // a path ending in "\" is a folder
    Rows rows{};
    Lines script{};
    bool machine32 = false;
    bool admin = true;
    std::wstring windows{};  // Windows folder when not the default
    std::vector<std::wstring> exclusions{};
    std::vector<std::wstring> denied{};
};

Rows FindingRows(const wchar_t* caption, const std::wstring& key,
                 const std::vector<std::wstring>& names) {
    Rows rows;
    for (const auto& name : names) {
        rows.push_back({caption, L"[HKLM]" + key, name, L"[HKLM]" + key + L"=" + name});
    }
    return rows;
}

void RunCases(const std::wstring& key, void (*scan)(RunState&), const std::vector<Case>& cases) {
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        test::TestMachine t;
        // Two disks: a path on D: is judged, not passed over as being on an unseen drive.
        t.machine.drives = {{L'C', platform::kDriveFixed}, {L'D', platform::kDriveFixed}};
        if (c.machine32) {
            t.machine.programFilesFolder = L"C:\\Program Files";
        }
        t.machine.administrator = c.admin;
        if (!c.windows.empty()) {
            t.machine.windowsFolder = c.windows;
            t.machine.systemFolder = c.windows + L"\\system32";
        }
        t.machine.registry.Create(kHkeyLocalMachine, key);
        for (const Entry& e : c.values) {
            if (e.data) {
                t.machine.registry.SetString(kHkeyLocalMachine, key, e.name, *e.data);
            } else {
                t.machine.registry.SetDword(kHkeyLocalMachine, key, e.name, 1);
            }
        }
        for (const auto& f : c.files) {
            if (f.back() == L'\\') {
                t.machine.AddFolder(f);
            } else {
                t.machine.AddFile(f);
            }
        }
        for (const auto& d : c.denied) {
            t.machine.DenyAccess(d);
        }
        t.Ready();
        for (const auto& x : c.exclusions) {
            t.state.results.ExclusionList.push_back(x);
        }
        scan(t.state);
        EXPECT_EQ(t.Rows(), c.rows);
        EXPECT_EQ(t.ScriptBody(), c.script);
    }
}

TEST(FileListsTest, SharedDlls) {
    const Lines header = {L"[HKEY_LOCAL_MACHINE" + kShared + L"]"};
    const std::vector<Case> cases = {
        {.label = "missing file, backslashes doubled in the deletion line",
         .values = {{L"C:\\Program Files\\App\\x.dll", {}}},
         .rows = FindingRows(L"Shared dlls", kShared, {L"C:\\Program Files\\App\\x.dll"}),
         .script = {header[0], L"\"C:\\\\Program Files\\\\App\\\\x.dll\"=-", L""}},
        {.label = "present file",
         .values = {{L"C:\\Program Files\\App\\x.dll", {}}},
         .files = {L"C:\\Program Files\\App\\x.dll"}},
        {.label = "file name found in a PATH folder",
         .values = {{L"C:\\Old\\helper.dll", {}}},
         .files = {L"C:\\Windows\\helper.dll"}},
        {.label = "64-bit system folder file, found with redirection off",
         .values = {{L"C:\\Windows\\system32\\only64.dll", {}}},
         .files = {L"C:\\Windows\\system32\\only64.dll"}},
        {.label = "a folder is not a file",
         .values = {{L"C:\\Program Files\\App", {}}},
         .files = {L"C:\\Program Files\\App\\"},
         .rows = FindingRows(L"Shared dlls", kShared, {L"C:\\Program Files\\App"}),
         .script = {header[0], L"\"C:\\\\Program Files\\\\App\"=-", L""}},
        {.label = "no write gate: reported for a non-administrator",
         .values = {{L"C:\\Gone\\a.dll", {}}, {L"C:\\Gone\\b.dll", {}}},
         .rows = FindingRows(L"Shared dlls", kShared, {L"C:\\Gone\\a.dll", L"C:\\Gone\\b.dll"}),
         .script = {header[0], L"\"C:\\\\Gone\\\\a.dll\"=-", L"", header[0],
                    L"\"C:\\\\Gone\\\\b.dll\"=-", L""},
         .admin = false},
        {.label = "excluded in other letter case",
         .values = {{L"C:\\Gone\\a.dll", {}}, {L"C:\\Gone\\b.dll", {}}},
         .rows = FindingRows(L"Shared dlls", kShared, {L"C:\\Gone\\b.dll"}),
         .script = {header[0], L"\"C:\\\\Gone\\\\b.dll\"=-", L""},
         .exclusions = {L"[hklm]\\software\\microsoft\\windows\\currentversion\\shareddlls="
                        L"c:\\gone\\A.DLL"}},
        {.label = "the unnamed value is never examined", .values = {{L"", L"C:\\Gone\\a.dll"}}},
        {.label = "a double quote in the name is escaped",
         .values = {{L"C:\\Gone\\a\"b.dll", {}}},
         .rows = FindingRows(L"Shared dlls", kShared, {L"C:\\Gone\\a\"b.dll"}),
         .script = {header[0], L"\"C:\\\\Gone\\\\a\\\"b.dll\"=-", L""}},
        {.label = "a line break in the name is never recorded",
         .values = {{L"C:\\Gone\\a\nb.dll", {}}}},
    };
    RunCases(kShared, ScanSharedDlls, cases);
}

TEST(FileListsTest, InstallerFolders) {
    const std::wstring header = L"[HKEY_LOCAL_MACHINE" + kFolders + L"]";
    const std::vector<Case> cases = {
        {.label = "existing folder",
         .values = {{L"C:\\Program Files\\App\\", L""}},
         .files = {L"C:\\Program Files\\App\\"}},
        {.label = "folder gone",
         .values = {{L"C:\\Program Files\\Gone\\", L""}},
         .rows = FindingRows(L"Uninstall", kFolders, {L"C:\\Program Files\\Gone\\"}),
         .script = {header, L"\"C:\\\\Program Files\\\\Gone\\\\\"=-", L""}},
        {.label = "a file is not a folder",
         .values = {{L"C:\\Data\\file.txt", L""}},
         .files = {L"C:\\Data\\file.txt"},
         .rows = FindingRows(L"Uninstall", kFolders, {L"C:\\Data\\file.txt"}),
         .script = {header, L"\"C:\\\\Data\\\\file.txt\"=-", L""}},
        {.label = "a folder that cannot be queried counts as existing",
         .values = {{L"C:\\Secret\\", L""}},
         .denied = {L"C:\\Secret"}},
        {.label = "non-administrator, excluded in other letter case",
         .values = {{L"C:\\Gone1\\", L""}, {L"C:\\Gone2\\", L""}},
         .rows = FindingRows(L"Uninstall", kFolders, {L"C:\\Gone2\\"}),
         .script = {header, L"\"C:\\\\Gone2\\\\\"=-", L""},
         .admin = false,
         .exclusions = {L"[HKLM]" + kFolders + L"=c:\\GONE1\\"}},
    };
    RunCases(kFolders, ScanInstallerFolders, cases);
}

TEST(FileListsTest, HtmlHelp) {
    const std::wstring header = L"[HKEY_LOCAL_MACHINE" + kHelp + L"]";
    const std::vector<Case> cases = {
        {.label = "folder with an environment reference",
         .values = {{L"guide.chm", L"%SystemRoot%\\Help"}},
         .files = {L"C:\\Windows\\Help\\guide.chm"}},
        {.label = "folder with a trailing backslash",
         .values = {{L"guide.chm", L"C:\\Apps\\Help\\"}},
         .files = {L"C:\\Apps\\Help\\guide.chm"}},
        {.label = "help file gone",
         .values = {{L"gone.chm", L"C:\\Apps\\Help"}, {L"guide.chm", L"C:\\Apps\\Help"}},
         .files = {L"C:\\Apps\\Help\\guide.chm"},
         .rows = FindingRows(L"Help files", kHelp, {L"gone.chm"}),
         .script = {header, L"\"gone.chm\"=-", L""}},
        {.label = "only the data's folder is tried, not PATH",
         .values = {{L"notepad.chm", L"C:\\Apps\\Help"}},
         .files = {L"C:\\Windows\\notepad.chm", L"C:\\Windows\\system32\\notepad.chm"},
         .rows = FindingRows(L"Help files", kHelp, {L"notepad.chm"}),
         .script = {header, L"\"notepad.chm\"=-", L""}},
        {.label = "empty, blank or non-string data is not examined",
         .values = {{L"a.chm", L""}, {L"b.chm", L"   "}, {L"c.chm", {}}}},
        {.label = "non-administrator, excluded in other letter case",
         .values = {{L"a.chm", L"C:\\Gone"}, {L"b.chm", L"C:\\Gone"}},
         .rows = FindingRows(L"Help files", kHelp, {L"b.chm"}),
         .script = {header, L"\"b.chm\"=-", L""},
         .admin = false,
         .exclusions = {L"[HKLM]\\software\\microsoft\\windows\\html help=A.CHM"}},
    };
    RunCases(kHelp, ScanHtmlHelp, cases);
}

TEST(FileListsTest, Fonts) {
    const std::wstring header = L"[HKEY_LOCAL_MACHINE" + kFonts + L"]";
    const std::vector<Case> cases = {
        {.label = "font file in the fonts folder",
         .values = {{L"Arial (TrueType)", L"arial.ttf"}},
         .files = {L"C:\\Windows\\Fonts\\ARIAL.TTF"}},
        {.label = "two fonts gone: two rows with the display names",
         .values = {{L"Gone (TrueType)", L"gone.ttf"},
                    {L"Arial (TrueType)", L"arial.ttf"},
                    {L"Lost Bold (TrueType)", L"lostbd.ttf"}},
         .files = {L"C:\\Windows\\Fonts\\arial.ttf"},
         .rows =
             FindingRows(L"Fonts/Sounds", kFonts, {L"Gone (TrueType)", L"Lost Bold (TrueType)"}),
         .script = {header, L"\"Gone (TrueType)\"=-", L"", header, L"\"Lost Bold (TrueType)\"=-",
                    L""}},
        {.label = "a font name is not looked for in PATH folders",
         .values = {{L"Sys (TrueType)", L"sys.ttf"}},
         .files = {L"C:\\Windows\\system32\\sys.ttf", L"C:\\Windows\\sys.ttf"},
         .rows = FindingRows(L"Fonts/Sounds", kFonts, {L"Sys (TrueType)"}),
         .script = {header, L"\"Sys (TrueType)\"=-", L""}},
        {.label = "the fonts folder of another Windows folder",
         .values = {{L"Old (TrueType)", L"old.ttf"}, {L"New (TrueType)", L"new.ttf"}},
         .files = {L"D:\\WINNT\\Fonts\\old.ttf", L"C:\\Windows\\Fonts\\new.ttf"},
         .rows = FindingRows(L"Fonts/Sounds", kFonts, {L"New (TrueType)"}),
         .script = {header, L"\"New (TrueType)\"=-", L""},
         .windows = L"D:\\WINNT"},
        {.label = "full paths are tested where they point",
         .values = {{L"App (TrueType)", L"C:\\Program Files\\App\\app.ttf"},
                    {L"Env (TrueType)", L"%windir%\\Fonts\\env.ttf"},
                    {L"Lost (TrueType)", L"D:\\Fonts\\lost.ttf"},
                    {L"LostNet (TrueType)", L"\\\\server\\fonts\\lost.ttf"}},
         .files = {L"C:\\Program Files\\App\\app.ttf", L"C:\\Windows\\Fonts\\env.ttf"},
         .rows = FindingRows(L"Fonts/Sounds", kFonts, {L"Lost (TrueType)", L"LostNet (TrueType)"}),
         .script = {header, L"\"Lost (TrueType)\"=-", L"", header, L"\"LostNet (TrueType)\"=-",
                    L""}},
        {.label = "empty or non-string data is not examined",
         .values = {{L"Empty (TrueType)", L""}, {L"Number", {}}}},
        {.label = "32-bit machine, non-administrator, excluded in other letter case",
         .values = {{L"A (TrueType)", L"a.ttf"}, {L"B (TrueType)", L"b.ttf"}},
         .rows = FindingRows(L"Fonts/Sounds", kFonts, {L"B (TrueType)"}),
         .script = {header, L"\"B (TrueType)\"=-", L""},
         .machine32 = true,
         .admin = false,
         .exclusions = {L"[HKLM]\\SOFTWARE\\MICROSOFT\\WINDOWS NT\\CURRENTVERSION\\FONTS="
                        L"a (truetype)"}},
    };
    RunCases(kFonts, ScanFonts, cases);
}

// The frame: one pump per value name, the gauge from 0 to 100, and a stop that ends all work.
TEST(FileListsTest, FrameAndStop) {
    struct Scanner {
        const char* label;
        void (*scan)(RunState&);
        std::wstring key;
        std::wstring data;
    };
    const Scanner scanners[] = {
        {"shared dlls", ScanSharedDlls, kShared, L""},
        {"installer folders", ScanInstallerFolders, kFolders, L""},
        {"html help", ScanHtmlHelp, kHelp, L"C:\\Gone"},
        {"fonts", ScanFonts, kFonts, L"gone.ttf"},
    };
    for (const Scanner& s : scanners) {
        for (int stopAt : {0, 1, 2, 3}) {
            SCOPED_TRACE(std::string(s.label) + ", stop at pump " + std::to_string(stopAt));
            test::TestMachine t;
            for (const wchar_t* name : {L"C:\\Gone\\a", L"C:\\Gone\\b", L"C:\\Gone\\c"}) {
                t.machine.registry.SetString(kHkeyLocalMachine, s.key, name, s.data);
            }
            t.Ready();
            t.window.onPump = [&](int pump) {
                if (pump == stopAt) {
                    t.state.scanInProgress = false;
                }
            };
            s.scan(t.state);
            EXPECT_EQ(t.window.pumps, 3);
            const std::size_t examined = stopAt == 0 ? 3 : static_cast<std::size_t>(stopAt - 1);
            EXPECT_EQ(t.Rows().size(), examined);
            ASSERT_FALSE(t.window.gaugeHistory.empty());
            EXPECT_EQ(t.window.gaugeHistory.front(), 0);
            EXPECT_EQ(t.window.gaugeHistory.back(), 100);
        }
    }
}

}  // namespace
}  // namespace bv
