// Tests of the COM class scanner on small simulated machines: exact rows and deletion lines
// per machine, 32-bit lookups, write-access gates and exclusions.
#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "scanners/Scanners.h"
#include "tests/host/TestMachine.h"

namespace bv {
namespace {

using Rows = std::vector<std::vector<std::wstring>>;
using Lines = std::vector<std::wstring>;

const std::wstring kId = L"{11111111-2222-3333-4444-555555555555}";
const std::wstring kRef = L"{99999999-8888-7777-6666-555555555555}";
const std::wstring kClass = L"CLSID\\" + kId;

// A key of HKEY_CLASSES_ROOT, or a string value of it (the unnamed one when name is empty).
struct Entry {
    std::wstring path{};
    std::optional<std::wstring> name{};
    std::wstring data{};
};
Entry K(std::wstring path) {
    return {std::move(path), {}, {}};
}
Entry S(std::wstring path, std::wstring name, std::wstring data) {
    return {std::move(path), std::move(name), std::move(data)};
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
};

std::vector<std::wstring> Row(const wchar_t* caption, const std::wstring& subkey,
                              const std::wstring& value) {
    return {caption, L"[HKCR]\\" + kClass + subkey, value, L"[HKCR]\\" + kClass + subkey};
}
std::wstring Line(const std::wstring& subkey) {
    return L"[-HKEY_CLASSES_ROOT\\" + kClass + subkey + L"]";
}

void RunCases(const std::vector<Case>& cases) {
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        test::TestMachine t;
        if (c.machine32) {
            t.machine.programFilesFolder = L"C:\\Program Files";
        }
        t.machine.administrator = c.admin;
        t.machine.registry.SetString(kHkeyClassesRoot, kClass, L"", L"Some class");
        for (const Entry& e : c.registry) {
            if (e.name) {
                t.machine.registry.SetString(kHkeyClassesRoot, e.path, *e.name, e.data);
            } else {
                t.machine.registry.Create(kHkeyClassesRoot, e.path);
            }
        }
        for (const auto& f : c.files) {
            t.machine.AddFile(f);
        }
        t.Ready();
        for (const auto& x : c.exclusions) {
            t.state.results.ExclusionList.push_back(x);
        }
        ScanComClasses(t.state);
        EXPECT_EQ(t.Rows(), c.rows);
        EXPECT_EQ(t.ScriptBody(), c.script);
    }
}

TEST(ComClassesTest, ApplicationIds) {
    const Entry appId = S(kClass, L"AppId", kRef);
    const Rows reported = {
        {L"Com/ActiveX", L"[HKCR]\\" + kClass, L"AppId=" + kRef, L"[HKCR]\\" + kClass + L"=AppId"}};
    const Lines lines = {L"[HKEY_CLASSES_ROOT\\" + kClass + L"]", L"\"AppID\"=-", L""};
    const std::vector<Case> cases = {
        {.label = "application id missing: a value deletion",
         .registry = {appId},
         .rows = reported,
         .script = lines},
        {.label = "application id registered", .registry = {appId, K(L"AppID\\" + kRef)}},
        {.label = "registered for 32-bit programs only, 64-bit machine",
         .registry = {appId, K(L"WOW6432Node\\AppID\\" + kRef)}},
        {.label = "registered for 32-bit programs only, 32-bit machine",
         .registry = {appId, K(L"WOW6432Node\\AppID\\" + kRef)},
         .rows = reported,
         .script = lines,
         .machine32 = true},
        {.label = "non-administrator", .registry = {appId}, .admin = false},
        {.label = "excluded with the value name, in other letter case",
         .registry = {appId},
         .exclusions = {L"[hkcr]\\clsid\\" + kId + L"=APPID"}},
        {.label = "excluding the displayed key text alone does not suppress it",
         .registry = {appId},
         .rows = reported,
         .script = lines,
         .exclusions = {L"[HKCR]\\" + kClass}},
        {.label = "an empty application id", .registry = {S(kClass, L"AppId", L"  ")}},
    };
    RunCases(cases);
}

TEST(ComClassesTest, TypeLibraries) {
    const Entry typeLib = S(kClass + L"\\TypeLib", L"", kRef);
    const Rows reported = {Row(L"Interfaces/Types", L"\\TypeLib", kRef)};
    const Lines lines = {Line(L"\\TypeLib"), L""};
    const std::vector<Case> cases = {
        {.label = "type library missing", .registry = {typeLib}, .rows = reported, .script = lines},
        {.label = "type library registered", .registry = {typeLib, K(L"TypeLib\\" + kRef)}},
        {.label = "registered for 32-bit programs only, 64-bit machine",
         .registry = {typeLib, K(L"WOW6432Node\\TypeLib\\" + kRef)}},
        {.label = "registered for 32-bit programs only, 32-bit machine",
         .registry = {typeLib, K(L"WOW6432Node\\TypeLib\\" + kRef)},
         .rows = reported,
         .script = lines,
         .machine32 = true},
        {.label = "non-administrator", .registry = {typeLib}, .admin = false},
        {.label = "excluded in other letter case",
         .registry = {typeLib},
         .exclusions = {L"[HKCR]\\clsid\\" + kId + L"\\typelib"}},
        {.label = "an empty type library id", .registry = {K(kClass + L"\\TypeLib")}},
    };
    RunCases(cases);
}

TEST(ComClassesTest, Servers) {
    const std::vector<Case> cases = {
        {.label = "empty in-process server",
         .registry = {K(kClass + L"\\InprocServer32")},
         .rows = {Row(L"Com/ActiveX", L"\\InprocServer32", L"Empty value")},
         .script = {Line(L"\\InprocServer32"), L""}},
        {.label = "in-process server file missing: the value as stored",
         .registry = {S(kClass + L"\\InprocServer32", L"", L" C:\\Gone\\Server.DLL ")},
         .rows = {Row(L"Com/ActiveX", L"\\InprocServer32", L"C:\\Gone\\Server.DLL")},
         .script = {Line(L"\\InprocServer32"), L""}},
        {.label = "in-process server present",
         .registry = {S(kClass + L"\\InprocServer32", L"", L"C:\\App\\server.dll")},
         .files = {L"C:\\App\\server.dll"}},
        {.label = "in-process server found only in a PATH folder",
         .registry = {S(kClass + L"\\InprocServer32", L"", L"C:\\Old\\server.dll")},
         .files = {L"C:\\Windows\\server.dll"}},
        {.label = "in-process server in the 64-bit system folder",
         .registry = {S(kClass + L"\\InprocServer32", L"", L"%SystemRoot%\\System32\\x.dll")},
         .files = {L"C:\\Windows\\system32\\x.dll"}},
        {.label = "a server value that resolves to nothing",
         .registry = {S(kClass + L"\\InprocServer32", L"", L"\"\"")},
         .rows = {Row(L"Com/ActiveX", L"\\InprocServer32", L"\"\"")},
         .script = {Line(L"\\InprocServer32"), L""}},
        {.label = "local server missing, with arguments",
         .registry = {S(kClass + L"\\LocalServer32", L"", L"\"C:\\Gone\\app.exe\" /automation")},
         .rows = {Row(L"Com/ActiveX", L"\\LocalServer32", L"\"C:\\Gone\\app.exe\" /automation")},
         .script = {Line(L"\\LocalServer32"), L""}},
        {.label = "empty local server",
         .registry = {S(kClass + L"\\LocalServer32", L"", L"")},
         .rows = {Row(L"Com/ActiveX", L"\\LocalServer32", L"Empty value")},
         .script = {Line(L"\\LocalServer32"), L""}},
        {.label = "empty toolbox bitmap",
         .registry = {K(kClass + L"\\ToolboxBitmap32")},
         .rows = {Row(L"Com/ActiveX", L"\\ToolboxBitmap32", L"Empty value")},
         .script = {Line(L"\\ToolboxBitmap32"), L""}},
        {.label = "a toolbox bitmap naming a missing file is not examined",
         .registry = {S(kClass + L"\\ToolboxBitmap32", L"", L"C:\\Gone\\x.dll,1")}},
        {.label = "non-administrator",
         .registry = {K(kClass + L"\\InprocServer32"),
                      S(kClass + L"\\LocalServer32", L"", L"C:\\Gone\\app.exe"),
                      K(kClass + L"\\ToolboxBitmap32")},
         .admin = false},
        {.label = "excluded in other letter case",
         .registry = {K(kClass + L"\\InprocServer32"),
                      S(kClass + L"\\LocalServer32", L"", L"C:\\Gone\\app.exe")},
         .rows = {Row(L"Com/ActiveX", L"\\LocalServer32", L"C:\\Gone\\app.exe")},
         .script = {Line(L"\\LocalServer32"), L""},
         .exclusions = {L"[HKCR]\\CLSID\\" + kId + L"\\INPROCSERVER32"}},
    };
    RunCases(cases);
}

// One class with everything wrong: five findings, in order, in two groups.
TEST(ComClassesTest, AllFindingsOfOneClassInOrder) {
    RunCases({{.label = "all five",
               .registry = {S(kClass, L"AppId", kRef), S(kClass + L"\\TypeLib", L"", kRef),
                            K(kClass + L"\\ToolboxBitmap32"),
                            S(kClass + L"\\LocalServer32", L"", L"C:\\Gone\\app.exe"),
                            K(kClass + L"\\InprocServer32")},
               .rows = {{L"Com/ActiveX", L"[HKCR]\\" + kClass, L"AppId=" + kRef,
                         L"[HKCR]\\" + kClass + L"=AppId"},
                        Row(L"Interfaces/Types", L"\\TypeLib", kRef),
                        Row(L"Com/ActiveX", L"\\InprocServer32", L"Empty value"),
                        Row(L"Com/ActiveX", L"\\LocalServer32", L"C:\\Gone\\app.exe"),
                        Row(L"Com/ActiveX", L"\\ToolboxBitmap32", L"Empty value")},
               .script = {L"[HKEY_CLASSES_ROOT\\" + kClass + L"]", L"\"AppID\"=-", L"",
                          Line(L"\\TypeLib"), L"", Line(L"\\InprocServer32"), L"",
                          Line(L"\\LocalServer32"), L"", Line(L"\\ToolboxBitmap32"), L""}}});
}

// A stop ends all work at the next class; the walk still pumps once per class.
TEST(ComClassesTest, Stop) {
    for (int stopAt : {0, 1, 2, 3}) {
        SCOPED_TRACE("stop at pump " + std::to_string(stopAt));
        test::TestMachine t;
        for (const wchar_t* id : {L"{A}", L"{B}", L"{C}"}) {
            t.machine.registry.Create(kHkeyClassesRoot,
                                      std::wstring(L"CLSID\\") + id + L"\\InprocServer32");
        }
        t.Ready();
        t.window.onPump = [&](int pump) {
            if (pump == stopAt) {
                t.state.scanInProgress = false;
            }
        };
        ScanComClasses(t.state);
        EXPECT_EQ(t.window.pumps, 3);
        EXPECT_EQ(t.Rows().size(), stopAt == 0 ? 3u : static_cast<std::size_t>(stopAt - 1));
        EXPECT_EQ(t.window.gaugeHistory.front(), 0);
        EXPECT_EQ(t.window.gaugeHistory.back(), 100);
    }
}

}  // namespace
}  // namespace bv
