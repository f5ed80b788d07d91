// Tests of the FileExts and class-key scanners on small simulated machines: exact rows and
// deletion lines, write-access gates, exclusions, group order and stops during the tree walk.
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

const std::wstring kExts = L"\\Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\FileExts\\";

// A key, or a string value of it (the unnamed one when name is empty).
struct Entry {
    std::uint32_t root = kHkeyClassesRoot;
    std::wstring path{};
    std::optional<std::wstring> name{};
    std::wstring data{};
};
Entry K(std::wstring path, std::uint32_t root = kHkeyClassesRoot) {
    return {root, std::move(path), {}, {}};
}
Entry S(std::wstring path, std::wstring name, std::wstring data,
        std::uint32_t root = kHkeyClassesRoot) {
    return {root, std::move(path), std::move(name), std::move(data)};
}

struct Case {
    const char* label = "";
    std::vector<Entry> registry{};
    std::vector<std::wstring> files{};
    Rows rows{};
    Lines script{};
    bool machine32 = false;
    bool admin = true;
    std::vector<std::wstring> exclusions{};
    std::vector<std::wstring> readOnly{};  // HKCR keys the user may read but not change
};

void Build(test::TestMachine& t, const Case& c) {
    if (c.machine32) {
        t.machine.programFilesFolder = L"C:\\Program Files";
    }
    t.machine.administrator = c.admin;
    for (const Entry& e : c.registry) {
        if (e.name) {
            t.machine.registry.SetString(e.root, e.path, *e.name, e.data);
        } else {
            t.machine.registry.Create(e.root, e.path);
        }
    }
    for (const auto& path : c.readOnly) {
        t.machine.registry.SetRight(kHkeyClassesRoot, path, sim::Right::Read);
    }
    for (const auto& f : c.files) {
        t.machine.AddFile(f);
    }
    t.Ready();
    for (const auto& x : c.exclusions) {
        t.state.results.ExclusionList.push_back(x);
    }
}

void RunCases(void (*scan)(RunState&), const std::vector<Case>& cases) {
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        test::TestMachine t;
        Build(t, c);
        scan(t.state);
        EXPECT_EQ(t.Rows(), c.rows);
        EXPECT_EQ(t.ScriptBody(), c.script);
    }
}

std::vector<std::wstring> ExtRow(const std::wstring& name) {
    return {L"Extensions/Icons", L"[HKCU]" + kExts + name, L"Empty value",
            L"[HKCU]" + kExts + name};
}
std::wstring ExtLine(const std::wstring& name) {
    return L"[-HKEY_CURRENT_USER" + kExts + name + L"]";
}

TEST(ExtensionsAndClassesTest, FileExts) {
    const std::uint32_t cu = kHkeyCurrentUser;
    const std::vector<Case> cases = {
        {.label = "no subkeys, a value of its own: reported",
         .registry = {S(kExts + L".abc", L"Progid", L"abcfile", cu)},
         .rows = {ExtRow(L".abc")},
         .script = {ExtLine(L".abc"), L""}},
        {.label = "a subkey holding a value",
         .registry = {S(kExts + L".abc\\OpenWithList", L"a", L"app.exe", cu)}},
        {.label = "a value two levels down",
         .registry = {K(kExts + L".abc\\OpenWithList", cu),
                      S(kExts + L".abc\\UserChoice\\Deep", L"", L"x", cu)}},
        {.label = "subkeys without values anywhere",
         .registry = {K(kExts + L".abc\\OpenWithList", cu),
                      K(kExts + L".abc\\UserChoice\\Deep", cu)},
         .rows = {ExtRow(L".abc")},
         .script = {ExtLine(L".abc"), L""}},
        {.label = "valueless subkeys, a value of its own",
         .registry = {S(kExts + L".abc", L"Progid", L"abcfile", cu),
                      K(kExts + L".abc\\OpenWithList", cu)}},
        {.label = "names that are never extensions",
         .registry = {K(kExts + L"a", cu), K(kExts + L".", cu), K(kExts + L"abc", cu),
                      K(kExts + L".a!b", cu), K(kExts + L".a?b", cu)}},
        {.label = "non-administrator; excluded in other letter case",
         .registry = {K(kExts + L".one", cu), K(kExts + L".two", cu)},
         .rows = {ExtRow(L".two")},
         .script = {ExtLine(L".two"), L""},
         .admin = false,
         .exclusions = {L"[hkcu]\\SOFTWARE\\microsoft\\windows\\currentversion\\explorer\\"
                        L"fileexts\\.ONE"}},
    };
    RunCases(ScanFileExts, cases);
}

const std::wstring kClsidA = L"{AAAAAAAA-0000-0000-0000-000000000001}";
const std::wstring kClsidB = L"{BBBBBBBB-0000-0000-0000-000000000002}";

std::vector<std::wstring> CrRow(const wchar_t* caption, const std::wstring& path,
                                const std::wstring& value) {
    return {caption, L"[HKCR]\\" + path, value, L"[HKCR]\\" + path};
}
std::wstring CrLine(const std::wstring& path) {
    return L"[-HKEY_CLASSES_ROOT\\" + path + L"]";
}

TEST(ExtensionsAndClassesTest, EmptyClassKeys) {
    const std::vector<Case> cases = {
        {.label = "a key without values anywhere below it",
         .registry = {K(L"txtfile\\shell\\open"), S(L"docfile", L"", L"Document")},
         .rows = {CrRow(L"Com/ActiveX", L"txtfile", L"Empty key")},
         .script = {CrLine(L"txtfile"), L""}},
        {.label = "a one-character key is never examined",
         .registry = {K(L"*"), S(L"*\\DefaultIcon", L"", L"")}},
        {.label = "an undotted key is only tested for being empty",
         .registry = {S(L"xfile", L"", L"X File"), S(L"xfile\\DefaultIcon", L"", L""),
                      S(L"xfile\\CLSID", L"", kClsidA)}},
        {.label = "an empty dotted key goes on to its other steps",
         .registry = {K(L".xyz\\DefaultIcon")},
         .rows = {CrRow(L"Com/ActiveX", L".xyz", L"Empty key"),
                  CrRow(L"Extensions/Icons", L".xyz\\DefaultIcon", L"")},
         .script = {CrLine(L".xyz"), L"", CrLine(L".xyz\\DefaultIcon"), L""}},
        {.label = "excluded in other letter case: no finding from the later steps either",
         .registry = {K(L".xyz\\DefaultIcon")},
         .exclusions = {L"[hkcr]\\.XYZ"}},
        {.label = "non-administrator: no finding from the later steps either",
         .registry = {K(L".xyz\\DefaultIcon"), K(L"emptyfile")},
         .admin = false},
        {.label = "a key the user may read but not change",
         .registry = {K(L"locked"), K(L"open")},
         .rows = {CrRow(L"Com/ActiveX", L"open", L"Empty key")},
         .script = {CrLine(L"open"), L""},
         .readOnly = {L"locked"}},
    };
    RunCases(ScanClassKeys, cases);
}

TEST(ExtensionsAndClassesTest, Icons) {
    const auto icon = [](const std::wstring& data) {
        return std::vector<Entry>{S(L".abc", L"", L"abcfile"), S(L"abcfile", L"", L"ABC"),
                                  S(L".abc\\DefaultIcon", L"", data)};
    };
    const std::vector<Case> cases = {
        {.label = "empty icon value",
         .registry = icon(L""),
         .rows = {CrRow(L"Extensions/Icons", L".abc\\DefaultIcon", L"")},
         .script = {CrLine(L".abc\\DefaultIcon"), L""}},
        {.label = "empty icon value, non-administrator", .registry = icon(L""), .admin = false},
        {.label = "missing icon file: the value as stored, trimmed",
         .registry = icon(L"  C:\\Gone\\Icon.ico,0 "),
         .rows = {CrRow(L"Extensions/Icons", L".abc\\DefaultIcon", L"C:\\Gone\\Icon.ico,0")},
         .script = {CrLine(L".abc\\DefaultIcon"), L""}},
        {.label = "missing icon file has no write gate",
         .registry = icon(L"C:\\Gone\\Icon.ico,0"),
         .rows = {CrRow(L"Extensions/Icons", L".abc\\DefaultIcon", L"C:\\Gone\\Icon.ico,0")},
         .script = {CrLine(L".abc\\DefaultIcon"), L""},
         .admin = false},
        {.label = "icon in the 64-bit system folder, found with redirection off",
         .registry = icon(L"%SystemRoot%\\system32\\shell32.dll,-21"),
         .files = {L"C:\\Windows\\system32\\shell32.dll"}},
        {.label = "icon file name found in a PATH folder",
         .registry = icon(L"C:\\Old\\abc.dll,2"),
         .files = {L"C:\\Windows\\abc.dll"}},
        {.label = "icon key of a dotted class name that is no extension",
         .registry = {S(L"App.Doc", L"", L"Doc"), S(L"App.Doc\\DefaultIcon", L"", L"x.ico")},
         .rows = {CrRow(L"Extensions/Icons", L"App.Doc\\DefaultIcon", L"x.ico")},
         .script = {CrLine(L"App.Doc\\DefaultIcon"), L""}},
        {.label = "excluded in other letter case",
         .registry = icon(L"C:\\Gone\\Icon.ico,0"),
         .exclusions = {L"[HKCR]\\.ABC\\defaulticon"}},
    };
    RunCases(ScanClassKeys, cases);
}

TEST(ExtensionsAndClassesTest, ExtensionClasses) {
    const std::vector<Case> cases = {
        {.label = "class missing",
         .registry = {S(L".xyz", L"", L"xyzfile")},
         .rows = {CrRow(L"Extensions/Icons", L".xyz", L"xyzfile")},
         .script = {CrLine(L".xyz"), L""}},
        {.label = "class present in other letter case",
         .registry = {S(L".xyz", L"", L"xyzfile"), S(L"XYZFile", L"", L"XYZ")}},
        {.label = "a persistent handler of a registered class: no findings from the later steps",
         .registry = {S(L".xyz", L"", L"xyzfile"), S(L".xyz\\PersistentHandler", L"", kClsidA),
                      S(L"CLSID\\" + kClsidA, L"", L"Handler"), S(L".xyz\\CLSID", L"", kClsidB),
                      S(L".xyz\\shell\\open\\command", L"", L"C:\\Gone\\xyz.exe %1")}},
        {.label = "a persistent handler of an unregistered class does not help",
         .registry = {S(L".xyz", L"", L"xyzfile"), S(L".xyz\\PersistentHandler", L"", kClsidB)},
         .rows = {CrRow(L"Extensions/Icons", L".xyz", L"xyzfile")},
         .script = {CrLine(L".xyz"), L""}},
        {.label = "a persistent handler does not matter when the class exists",
         .registry = {S(L".xyz", L"", L"xyzfile"), S(L"xyzfile", L"", L"XYZ"),
                      S(L".xyz\\PersistentHandler", L"", kClsidA),
                      S(L"CLSID\\" + kClsidA, L"", L"Handler"), S(L".xyz\\CLSID", L"", kClsidB)},
         .rows = {CrRow(L"Com/ActiveX", L".xyz\\CLSID", kClsidB)},
         .script = {CrLine(L".xyz\\CLSID"), L""}},
        {.label = "non-administrator", .registry = {S(L".xyz", L"", L"xyzfile")}, .admin = false},
        {.label = "excluded in other letter case: the class reference is not tested either",
         .registry = {S(L".xyz", L"", L"xyzfile"), S(L".xyz\\CLSID", L"", kClsidB)},
         .exclusions = {L"[HKCR]\\.XyZ"}},
        {.label = "a key finding followed by findings below it",
         .registry = {S(L".xyz", L"", L"xyzfile"), S(L".xyz\\CLSID", L"", kClsidB),
                      S(L".xyz\\shell\\open\\command", L"", L"C:\\Gone\\xyz.exe %1")},
         .rows = {CrRow(L"Extensions/Icons", L".xyz", L"xyzfile"),
                  CrRow(L"Com/ActiveX", L".xyz\\CLSID", kClsidB),
                  CrRow(L"Com/ActiveX", L".xyz\\shell\\open\\command", L"C:\\Gone\\xyz.exe %1")},
         .script = {CrLine(L".xyz"), L"", CrLine(L".xyz\\CLSID"), L"",
                    CrLine(L".xyz\\shell\\open\\command"), L""}},
    };
    RunCases(ScanClassKeys, cases);
}

TEST(ExtensionsAndClassesTest, ClassReferences) {
    const auto ref =
        std::vector<Entry>{S(L"App.Doc", L"", L"Doc"), S(L"App.Doc\\CLSID", L"", kClsidA)};
    auto with = [&ref](std::vector<Entry> more) {
        more.insert(more.begin(), ref.begin(), ref.end());
        return more;
    };
    const Rows reported = {CrRow(L"Com/ActiveX", L"App.Doc\\CLSID", kClsidA)};
    const Lines line = {CrLine(L"App.Doc\\CLSID"), L""};
    const std::vector<Case> cases = {
        {.label = "class missing", .registry = ref, .rows = reported, .script = line},
        {.label = "class registered", .registry = with({S(L"CLSID\\" + kClsidA, L"", L"A")})},
        {.label = "class registered for 32-bit programs only, 64-bit machine",
         .registry = with({S(L"WOW6432Node\\CLSID\\" + kClsidA, L"", L"A")})},
        {.label = "class registered for 32-bit programs only, 32-bit machine",
         .registry = with({S(L"WOW6432Node\\CLSID\\" + kClsidA, L"", L"A")}),
         .rows = reported,
         .script = line,
         .machine32 = true},
        {.label = "non-administrator", .registry = ref, .admin = false},
        {.label = "excluded in other letter case",
         .registry = ref,
         .exclusions = {L"[HKCR]\\app.doc\\clsid"}},
        {.label = "an empty reference", .registry = {S(L"App.Doc\\CLSID", L"", L" ")}},
    };
    RunCases(ScanClassKeys, cases);
}

TEST(ExtensionsAndClassesTest, Commands) {
    const auto open = [](const std::wstring& command) {
        return std::vector<Entry>{S(L".abc", L"", L"abcfile"), S(L"abcfile", L"", L"ABC"),
                                  S(L".abc\\shell\\open\\command", L"", command)};
    };
    const std::wstring quoted = L"\"C:\\Program Files\\Gone\\App.exe\" \"%1\"";
    const std::vector<Case> cases = {
        {.label = "open program missing: the command as stored",
         .registry = open(quoted),
         .rows = {CrRow(L"Com/ActiveX", L".abc\\shell\\open\\command", quoted)},
         .script = {CrLine(L".abc\\shell\\open\\command"), L""}},
        {.label = "no write gate",
         .registry = open(quoted),
         .rows = {CrRow(L"Com/ActiveX", L".abc\\shell\\open\\command", quoted)},
         .script = {CrLine(L".abc\\shell\\open\\command"), L""},
         .admin = false},
        {.label = "program present",
         .registry = open(quoted),
         .files = {L"C:\\Program Files\\Gone\\app.exe"}},
        {.label = "rundll32 in any letter case",
         .registry = open(L"RunDll32.EXE C:\\Gone\\x.dll,Open %1")},
        {.label = "explorer in any letter case", .registry = open(L"c:\\gone\\eXplorer.exe /e")},
        {.label = "neither EXE nor DLL", .registry = open(L"C:\\Gone\\viewer %1")},
        {.label = "program found in a PATH folder",
         .registry = open(L"notepad.exe %1"),
         .files = {L"C:\\Windows\\notepad.exe"}},
        {.label = "program in the 64-bit system folder",
         .registry = open(L"%SystemRoot%\\system32\\tool.exe \"%1\""),
         .files = {L"C:\\Windows\\system32\\tool.exe"}},
        {.label = "edit program missing",
         .registry = {S(L".abc", L"", L"abcfile"), S(L"abcfile", L"", L"ABC"),
                      S(L".abc\\shell\\edit\\command", L"", L"c:\\gone\\Edit.EXE %1")},
         .rows = {CrRow(L"Com/ActiveX", L".abc\\shell\\edit\\command", L"c:\\gone\\Edit.EXE %1")},
         .script = {CrLine(L".abc\\shell\\edit\\command"), L""}},
        {.label = "excluded in other letter case",
         .registry = open(quoted),
         .exclusions = {L"[HKCR]\\.ABC\\SHELL\\OPEN\\COMMAND"}},
    };
    RunCases(ScanClassKeys, cases);
}

// With nothing under FileExts, an empty class key makes "Com/ActiveX" the first group.
TEST(ExtensionsAndClassesTest, ComActiveXGroupCanComeFirst) {
    test::TestMachine t;
    t.machine.registry.Create(kHkeyCurrentUser, kExts + L".abc\\OpenWithList");
    t.machine.registry.SetString(kHkeyCurrentUser, kExts + L".abc\\OpenWithList", L"a", L"x.exe");
    t.machine.registry.Create(kHkeyClassesRoot, L"emptyfile");
    t.machine.registry.SetString(kHkeyClassesRoot, L".xyz", L"", L"xyzfile");
    t.Ready();
    ScanFileExts(t.state);
    ScanClassKeys(t.state);
    ASSERT_EQ(t.state.results.groups.size(), 2u);
    EXPECT_EQ(t.state.results.groups[0].category, IssueCategory::ComActiveX);
    EXPECT_EQ(t.state.results.groups[1].category, IssueCategory::ExtensionsIcons);
}

// A stop that lands while the tree of a key is walked leaves that key unreported, and no later
// key is examined. Pump numbers: 1 loop (.a), 2-4 the walk of .a, its sub and sub\deep,
// 5 loop (.z), 6 the walk of .z (a value), 7 loop (.q).
TEST(ExtensionsAndClassesTest, StopDuringTheTreeWalk) {
    struct Stop {
        int pump;
        Rows rows;
    };
    const std::vector<Stop> stops = {
        {1, {}},
        {2, {}},
        {3, {}},
        {4, {}},
        {5, {CrRow(L"Com/ActiveX", L".a", L"Empty key")}},
        {0,
         {CrRow(L"Com/ActiveX", L".a", L"Empty key"), CrRow(L"Extensions/Icons", L".z", L"zfile"),
          CrRow(L"Com/ActiveX", L".q", L"Empty key")}},
    };
    for (const Stop& s : stops) {
        SCOPED_TRACE("stop at pump " + std::to_string(s.pump));
        test::TestMachine t;
        t.machine.registry.Create(kHkeyClassesRoot, L".a\\sub\\deep");
        t.machine.registry.SetString(kHkeyClassesRoot, L".z", L"", L"zfile");
        t.machine.registry.Create(kHkeyClassesRoot, L".q");
        t.Ready();
        t.window.onPump = [&](int pump) {
            if (pump == s.pump) {
                t.state.scanInProgress = false;
            }
        };
        ScanClassKeys(t.state);
        EXPECT_EQ(t.Rows(), s.rows);
        EXPECT_EQ(t.window.gaugeHistory.back(), 100);
    }
}

// The same for a FileExts entry whose subkeys are being walked.
TEST(ExtensionsAndClassesTest, StopDuringTheFileExtsWalk) {
    for (int stopAt : {2, 3, 4}) {
        SCOPED_TRACE("stop at pump " + std::to_string(stopAt));
        test::TestMachine t;
        t.machine.registry.Create(kHkeyCurrentUser, kExts + L".abc\\sub\\deep");
        t.machine.registry.Create(kHkeyCurrentUser, kExts + L".def");
        t.Ready();
        t.window.onPump = [&](int pump) {
            if (pump == stopAt) {
                t.state.scanInProgress = false;
            }
        };
        ScanFileExts(t.state);
        EXPECT_TRUE(t.Rows().empty());
        EXPECT_EQ(t.window.pumps, stopAt + 1);  // one more for the name that is passed over
    }
}

}  // namespace
}  // namespace bv
