// Uninstall scanner: entries without any uninstall command, on small machines.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "scanners/Scanners.h"
#include "tests/host/TestMachine.h"

namespace bv {
namespace {

using test::TestMachine;
using Rows = std::vector<std::vector<std::wstring>>;
using Lines = std::vector<std::wstring>;

const std::wstring kUninstall = L"\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall";
const std::wstring kWowUninstall =
    L"\\SOFTWARE\\Wow6432Node\\Microsoft\\Windows\\CurrentVersion\\Uninstall";

// An entry that only shows a name: nothing to uninstall with.
void NameOnly(sim::Machine& m, std::uint32_t root, const std::wstring& entry,
              const std::wstring& base = kUninstall) {
    m.registry.SetString(root, base + L"\\" + entry, L"DisplayName", entry);
    m.registry.SetString(root, base + L"\\" + entry, L"DisplayVersion", L"1.0");
}

Rows Found(const wchar_t* tag, const std::wstring& base, const std::wstring& entry) {
    const std::wstring key = tag + base + L"\\" + entry;
    return {{L"Uninstall", key, L"Empty value", key}};
}

struct Case {
    const char* label;
    void (*setup)(sim::Machine&);
    std::uint32_t root;
    const std::wstring& base;
    Lines exclusions;
    Rows rows;
    Lines script;
};

TEST(ScanUninstall, Table) {
    const std::wstring lmDelete = L"[-HKEY_LOCAL_MACHINE" + kUninstall;
    const std::vector<Case> cases = {
        {"only display values: reported, whole key deleted",
         [](sim::Machine& m) { NameOnly(m, kHkeyLocalMachine, L"OldApp"); },
         kHkeyLocalMachine,
         kUninstall,
         {},
         Found(L"[HKLM]", kUninstall, L"OldApp"),
         {lmDelete + L"\\OldApp]", L""}},
        {"GUID name and any brace are passed over",
         [](sim::Machine& m) {
             NameOnly(m, kHkeyLocalMachine, L"{6F1C2D3E-0000-0000-0000-000000000000}");
             NameOnly(m, kHkeyLocalMachine, L"App{1");
             NameOnly(m, kHkeyLocalMachine, L"App}");
         },
         kHkeyLocalMachine,
         kUninstall,
         {},
         {},
         {}},
        {"NoRemove as DWORD 1 protects the entry",
         [](sim::Machine& m) {
             NameOnly(m, kHkeyLocalMachine, L"Kept");
             m.registry.SetDword(kHkeyLocalMachine, kUninstall + L"\\Kept", L"NoRemove", 1);
         },
         kHkeyLocalMachine,
         kUninstall,
         {},
         {},
         {}},
        {"NoRemove as text \"1\" does not",
         [](sim::Machine& m) {
             NameOnly(m, kHkeyLocalMachine, L"Text1");
             m.registry.SetString(kHkeyLocalMachine, kUninstall + L"\\Text1", L"NoRemove", L"1");
         },
         kHkeyLocalMachine,
         kUninstall,
         {},
         Found(L"[HKLM]", kUninstall, L"Text1"),
         {lmDelete + L"\\Text1]", L""}},
        {"NoRemove as DWORD 2 does not",
         [](sim::Machine& m) {
             NameOnly(m, kHkeyLocalMachine, L"Two");
             m.registry.SetDword(kHkeyLocalMachine, kUninstall + L"\\Two", L"NoRemove", 2);
         },
         kHkeyLocalMachine,
         kUninstall,
         {},
         Found(L"[HKLM]", kUninstall, L"Two"),
         {lmDelete + L"\\Two]", L""}},
        {"SystemComponent as DWORD 1 protects the entry",
         [](sim::Machine& m) {
             NameOnly(m, kHkeyLocalMachine, L"Sys");
             m.registry.SetDword(kHkeyLocalMachine, kUninstall + L"\\Sys", L"SystemComponent", 1);
         },
         kHkeyLocalMachine,
         kUninstall,
         {},
         {},
         {}},
        {"empty UninstallString but a quiet one",
         [](sim::Machine& m) {
             NameOnly(m, kHkeyLocalMachine, L"Quiet");
             m.registry.SetString(kHkeyLocalMachine, kUninstall + L"\\Quiet", L"UninstallString",
                                  L"");
             m.registry.SetString(kHkeyLocalMachine, kUninstall + L"\\Quiet",
                                  L"QuietUninstallString", L"C:\\App\\un.exe /q");
         },
         kHkeyLocalMachine,
         kUninstall,
         {},
         {},
         {}},
        {"expandable UninstallString counts",
         [](sim::Machine& m) {
             NameOnly(m, kHkeyLocalMachine, L"Exp");
             m.registry.SetString(kHkeyLocalMachine, kUninstall + L"\\Exp", L"UninstallString",
                                  L"%ProgramFiles%\\App\\un.exe", platform::kRegExpandSz);
         },
         kHkeyLocalMachine,
         kUninstall,
         {},
         {},
         {}},
        {"UninstallString of blanks counts as empty",
         [](sim::Machine& m) {
             NameOnly(m, kHkeyLocalMachine, L"Blank");
             m.registry.SetString(kHkeyLocalMachine, kUninstall + L"\\Blank", L"UninstallString",
                                  L"   ");
         },
         kHkeyLocalMachine,
         kUninstall,
         {},
         Found(L"[HKLM]", kUninstall, L"Blank"),
         {lmDelete + L"\\Blank]", L""}},
        {"excluded in another letter case",
         [](sim::Machine& m) { NameOnly(m, kHkeyLocalMachine, L"OldApp"); },
         kHkeyLocalMachine,
         kUninstall,
         {L"[hklm]" + kUninstall + L"\\OLDAPP"},
         {},
         {}},
        {"non-administrator: machine entries need full access",
         [](sim::Machine& m) {
             m.administrator = false;
             NameOnly(m, kHkeyLocalMachine, L"OldApp");
         },
         kHkeyLocalMachine,
         kUninstall,
         {},
         {},
         {}},
        {"non-administrator: per-user entries always eligible",
         [](sim::Machine& m) {
             m.administrator = false;
             NameOnly(m, kHkeyCurrentUser, L"Mine");
         },
         kHkeyCurrentUser,
         kUninstall,
         {},
         Found(L"[HKCU]", kUninstall, L"Mine"),
         {L"[-HKEY_CURRENT_USER" + kUninstall + L"\\Mine]", L""}},
        {"32-bit list of a 64-bit machine",
         [](sim::Machine& m) { NameOnly(m, kHkeyLocalMachine, L"Old32", kWowUninstall); },
         kHkeyLocalMachine,
         kWowUninstall,
         {},
         Found(L"[HKLM]", kWowUninstall, L"Old32"),
         {L"[-HKEY_LOCAL_MACHINE" + kWowUninstall + L"\\Old32]", L""}},
        {"entry name with \"=\" cannot be named as a key: not recorded",
         [](sim::Machine& m) { NameOnly(m, kHkeyLocalMachine, L"a=b"); },
         kHkeyLocalMachine,
         kUninstall,
         {},
         {},
         {}},
        {"two entries keep listing order",
         [](sim::Machine& m) {
             NameOnly(m, kHkeyLocalMachine, L"Zeta");
             NameOnly(m, kHkeyLocalMachine, L"Alpha");
         },
         kHkeyLocalMachine,
         kUninstall,
         {},
         {Found(L"[HKLM]", kUninstall, L"Zeta")[0], Found(L"[HKLM]", kUninstall, L"Alpha")[0]},
         {lmDelete + L"\\Zeta]", L"", lmDelete + L"\\Alpha]", L""}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        TestMachine t;
        c.setup(t.machine);
        RunState& s = t.Ready();
        s.results.ExclusionList = c.exclusions;
        ScanUninstall(s, c.root, c.base);
        EXPECT_EQ(t.Rows(), c.rows);
        EXPECT_EQ(t.ScriptBody(), c.script);
    }
}

TEST(ScanUninstall, StopPassesOverTheRest) {
    TestMachine t;
    for (const wchar_t* name : {L"A", L"B", L"C"}) {
        NameOnly(t.machine, kHkeyLocalMachine, name);
    }
    RunState& s = t.Ready();
    t.window.onPump = [&s](int pump) {
        if (pump == 2) {
            s.scanInProgress = false;
        }
    };
    ScanUninstall(s, kHkeyLocalMachine, kUninstall);
    EXPECT_EQ(t.Rows(), Found(L"[HKLM]", kUninstall, L"A"));
    EXPECT_EQ(t.window.pumps, 3);
    ASSERT_FALSE(t.window.gaugeHistory.empty());
    EXPECT_EQ(t.window.gaugeHistory.back(), 100);
}

}  // namespace
}  // namespace bv
