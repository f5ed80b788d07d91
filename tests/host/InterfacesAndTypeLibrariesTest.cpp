// Tests of the interface and type-library scanners on small simulated machines: exact rows and
// deletion lines, 32-bit lookups, first-version-only libraries, gates and exclusions.
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

const std::wstring kIid = L"{00000001-0000-0000-C000-000000000046}";
const std::wstring kRef = L"{99999999-8888-7777-6666-555555555555}";
const std::wstring kLib = L"{22222222-0000-0000-0000-000000000001}";

// A key of HKEY_CLASSES_ROOT, or a string value of it (the unnamed one when name is empty).
struct Entry {
    std::wstring path{};
    std::optional<std::wstring> name{};
    std::wstring data{};
};
Entry K(std::wstring path) {
    return {std::move(path), {}, {}};
}
Entry S(std::wstring path, std::wstring data) {
    return {std::move(path), L"", std::move(data)};
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

std::vector<std::wstring> Row(const std::wstring& path, const std::wstring& value) {
    return {L"Interfaces/Types", L"[HKCR]\\" + path, value, L"[HKCR]\\" + path};
}
std::wstring Line(const std::wstring& path) {
    return L"[-HKEY_CLASSES_ROOT\\" + path + L"]";
}

void RunCases(void (*scan)(RunState&), const std::vector<Case>& cases) {
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        test::TestMachine t;
        if (c.machine32) {
            t.machine.programFilesFolder = L"C:\\Program Files";
        }
        t.machine.administrator = c.admin;
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
        scan(t.state);
        EXPECT_EQ(t.Rows(), c.rows);
        EXPECT_EQ(t.ScriptBody(), c.script);
    }
}

TEST(InterfacesAndTypeLibrariesTest, Interfaces) {
    const std::wstring itf = L"Interface\\" + kIid;
    struct Reference {
        const wchar_t* subkey;
        const wchar_t* prefix;
    };
    const Reference references[] = {
        {L"\\TypeLib", L"TypeLib\\"},
        {L"\\ProxyStubClsid", L"CLSID\\"},
        {L"\\ProxyStubClsid32", L"CLSID\\"},
    };
    for (const Reference& r : references) {
        SCOPED_TRACE(r.subkey);
        const std::wstring path = itf + r.subkey;
        const std::wstring prefix = r.prefix;
        const Rows reported = {Row(path, kRef)};
        const Lines lines = {Line(path), L""};
        const std::vector<Case> cases = {
            {.label = "registration missing",
             .registry = {S(path, kRef)},
             .rows = reported,
             .script = lines},
            {.label = "registered", .registry = {S(path, kRef), K(prefix + kRef)}},
            {.label = "registered for 32-bit programs only, 64-bit machine",
             .registry = {S(path, kRef), K(L"WOW6432Node\\" + prefix + kRef)}},
            {.label = "registered for 32-bit programs only, 32-bit machine",
             .registry = {S(path, kRef), K(L"WOW6432Node\\" + prefix + kRef)},
             .rows = reported,
             .script = lines,
             .machine32 = true},
            {.label = "non-administrator", .registry = {S(path, kRef)}, .admin = false},
            {.label = "excluded in other letter case",
             .registry = {S(path, kRef)},
             .exclusions = {L"[hkcr]\\INTERFACE\\" + kIid + r.subkey}},
            {.label = "an empty reference", .registry = {K(path), S(path + L"x", kRef)}},
        };
        RunCases(ScanInterfaces, cases);
    }
}

TEST(InterfacesAndTypeLibrariesTest, InterfaceStepsRunIndependently) {
    const std::wstring itf = L"Interface\\" + kIid;
    RunCases(ScanInterfaces,
             {{.label = "three broken references, in order",
               .registry = {S(itf + L"\\ProxyStubClsid32", L"{C}"),
                            S(itf + L"\\ProxyStubClsid", L"{B}"), S(itf + L"\\TypeLib", L"{A}")},
               .rows = {Row(itf + L"\\TypeLib", L"{A}"), Row(itf + L"\\ProxyStubClsid", L"{B}"),
                        Row(itf + L"\\ProxyStubClsid32", L"{C}")},
               .script = {Line(itf + L"\\TypeLib"), L"", Line(itf + L"\\ProxyStubClsid"), L"",
                          Line(itf + L"\\ProxyStubClsid32"), L""}},
              {.label = "an excluded reference does not hide the others",
               .registry = {S(itf + L"\\ProxyStubClsid", L"{B}"), S(itf + L"\\TypeLib", L"{A}")},
               .rows = {Row(itf + L"\\ProxyStubClsid", L"{B}")},
               .script = {Line(itf + L"\\ProxyStubClsid"), L""},
               .exclusions = {L"[HKCR]\\" + itf + L"\\TYPELIB"}}});
}

TEST(InterfacesAndTypeLibrariesTest, TypeLibraries) {
    const std::wstring lib = L"Typelib\\" + kLib;
    const std::wstring win32 = lib + L"\\1.0\\0\\win32";
    const std::wstring win64 = lib + L"\\1.0\\0\\win64";
    const std::vector<Case> cases = {
        {.label = "32-bit file missing: the value as stored",
         .registry = {S(win32, L"  C:\\Gone\\Lib.TLB ")},
         .rows = {Row(win32, L"C:\\Gone\\Lib.TLB")},
         .script = {Line(win32), L""}},
        {.label = "64-bit file missing",
         .registry = {S(win64, L"C:\\Gone\\lib64.dll")},
         .rows = {Row(win64, L"C:\\Gone\\lib64.dll")},
         .script = {Line(win64), L""}},
        {.label = "both missing: 32-bit first",
         .registry = {S(win64, L"C:\\Gone\\b.dll"), S(win32, L"C:\\Gone\\a.dll")},
         .rows = {Row(win32, L"C:\\Gone\\a.dll"), Row(win64, L"C:\\Gone\\b.dll")},
         .script = {Line(win32), L"", Line(win64), L""}},
        {.label = "plain path of an existing file, accepted before any extraction",
         .registry = {S(win32, L"C:\\App.dll\\types.tlb")},
         .files = {L"C:\\App.dll\\types.tlb"}},
        {.label = "a file found only after extraction",
         .registry = {S(win32, L"C:\\Lib\\lib.dll\\2")},
         .files = {L"C:\\Lib\\lib.dll"}},
        {.label = "found in a PATH folder",
         .registry = {S(win32, L"C:\\Old\\stdole2.tlb")},
         .files = {L"C:\\Windows\\system32\\stdole2.tlb"}},
        {.label = "64-bit system folder, found with redirection off",
         .registry = {S(win64, L"%SystemRoot%\\system32\\x64lib.dll")},
         .files = {L"C:\\Windows\\system32\\x64lib.dll"}},
        {.label = "a value that resolves to nothing counts as missing",
         .registry = {S(win32, L"\"\"")},
         .rows = {Row(win32, L"\"\"")},
         .script = {Line(win32), L""}},
        {.label = "empty values and other locales are not examined",
         .registry = {K(win32), S(win64, L" "), S(lib + L"\\1.0\\409\\win32", L"C:\\Gone\\x.tlb")}},
        {.label = "only the first version listed",
         .registry = {S(lib + L"\\1.0\\0\\win32", L"C:\\Lib\\v1.tlb"),
                      S(lib + L"\\2.0\\0\\win32", L"C:\\Gone\\v2.tlb")},
         .files = {L"C:\\Lib\\v1.tlb"}},
        {.label = "only the first version listed, even when it is the broken one",
         .registry = {S(lib + L"\\2.0\\0\\win32", L"C:\\Gone\\v2.tlb"),
                      S(lib + L"\\1.0\\0\\win32", L"C:\\Lib\\v1.tlb")},
         .files = {L"C:\\Lib\\v1.tlb"},
         .rows = {Row(lib + L"\\2.0\\0\\win32", L"C:\\Gone\\v2.tlb")},
         .script = {Line(lib + L"\\2.0\\0\\win32"), L""}},
        {.label = "a library without versions", .registry = {K(lib)}},
        {.label = "non-administrator", .registry = {S(win32, L"C:\\Gone\\a.dll")}, .admin = false},
        {.label = "excluded in other letter case",
         .registry = {S(win32, L"C:\\Gone\\a.dll"), S(win64, L"C:\\Gone\\b.dll")},
         .rows = {Row(win64, L"C:\\Gone\\b.dll")},
         .script = {Line(win64), L""},
         .exclusions = {L"[HKCR]\\TYPELIB\\" + kLib + L"\\1.0\\0\\WIN32"}},
    };
    RunCases(ScanTypeLibraries, cases);
}

// Both walks pump once per subkey, end with a full gauge and do no work after a stop.
TEST(InterfacesAndTypeLibrariesTest, Stop) {
    struct Walk {
        const char* label;
        void (*scan)(RunState&);
        std::wstring (*entry)(const std::wstring& id);
    };
    const Walk walks[] = {
        {"interfaces", ScanInterfaces,
         [](const std::wstring& id) { return L"Interface\\" + id + L"\\TypeLib"; }},
        {"type libraries", ScanTypeLibraries,
         [](const std::wstring& id) { return L"Typelib\\" + id + L"\\1.0\\0\\win32"; }},
    };
    for (const Walk& w : walks) {
        for (int stopAt : {0, 1, 2, 3}) {
            SCOPED_TRACE(std::string(w.label) + ", stop at pump " + std::to_string(stopAt));
            test::TestMachine t;
            for (const wchar_t* id : {L"{A}", L"{B}", L"{C}"}) {
                t.machine.registry.SetString(kHkeyClassesRoot, w.entry(id), L"", L"C:\\Gone\\x");
            }
            t.Ready();
            t.window.onPump = [&](int pump) {
                if (pump == stopAt) {
                    t.state.scanInProgress = false;
                }
            };
            w.scan(t.state);
            EXPECT_EQ(t.window.pumps, 3);
            EXPECT_EQ(t.Rows().size(), stopAt == 0 ? 3u : static_cast<std::size_t>(stopAt - 1));
            EXPECT_EQ(t.window.gaugeHistory.front(), 0);
            EXPECT_EQ(t.window.gaugeHistory.back(), 100);
        }
    }
}

}  // namespace
}  // namespace bv
