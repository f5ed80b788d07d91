// Software locations: App Paths, the compatibility store and Applications verb commands.
#include <gtest/gtest.h>

#include <functional>

#include "scanners/Scanners.h"
#include "tests/host/TestMachine.h"

namespace bv {
namespace {

using test::TestMachine;
using Rows = std::vector<std::vector<std::wstring>>;
using Lines = std::vector<std::wstring>;

const std::wstring kA = L"\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\App Paths";
const std::wstring kS =
    L"\\SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\AppCompatFlags\\Compatibility "
    L"Assistant\\Store";
const std::wstring kCat = L"Software locations";

struct Case {
    const char* name;
    std::function<void(sim::Machine&)> setup;
    void (*scan)(RunState&);
    Rows rows;
    Lines script;
};

void RunCase(const Case& c) {
    SCOPED_TRACE(c.name);
    TestMachine t;
    c.setup(t.machine);
    RunState& s = t.Ready();
    c.scan(s);
    EXPECT_EQ(t.Rows(), c.rows);
    EXPECT_EQ(t.ScriptBody(), c.script);
}

void AppPath(sim::Machine& m, const std::wstring& name, const std::wstring& data) {
    m.registry.SetString(kHkeyLocalMachine, kA + L"\\" + name, L"", data);
}

TEST(ScanAppPaths, Cases) {
    const Case cases[] = {
        {"missing program is reported with the stored text",
         [](sim::Machine& m) { AppPath(m, L"gone.exe", L"  \"C:\\Tools\\gone.exe\" /x "); },
         ScanAppPaths,
         {{kCat, L"[HKLM]" + kA + L"\\gone.exe", L"\"C:\\Tools\\gone.exe\" /x",
           L"[HKLM]" + kA + L"\\gone.exe"}},
         {L"[-HKEY_LOCAL_MACHINE" + kA + L"\\gone.exe]", L""}},
        {"existing program, missing or blank path, non-string value",
         [](sim::Machine& m) {
             m.AddFile(L"C:\\Tools\\here.exe");
             AppPath(m, L"here.exe", L"C:\\Tools\\here.exe");
             m.registry.Create(kHkeyLocalMachine, kA + L"\\nopath.exe");
             AppPath(m, L"blank.exe", L"   ");
             m.registry.SetDword(kHkeyLocalMachine, kA + L"\\dword.exe", L"", 1);
         },
         ScanAppPaths,
         {},
         {}},
        {"found through PATH by file name",
         [](sim::Machine& m) {
             m.AddFile(L"C:\\Windows\\system32\\notepad.exe");
             AppPath(m, L"notepad.exe", L"C:\\Missing\\notepad.exe");
         },
         ScanAppPaths,
         {},
         {}},
        {"64-bit system folder is seen with redirection off",
         [](sim::Machine& m) {
             m.SetEnvironment(L"PATH", L"C:\\Other");
             m.AddFile(L"C:\\Windows\\system32\\only64.exe");
             AppPath(m, L"only64.exe", L"C:\\Windows\\System32\\only64.exe");
         },
         ScanAppPaths,
         {},
         {}},
        {"not an administrator: nothing recorded",
         [](sim::Machine& m) {
             m.administrator = false;
             AppPath(m, L"gone.exe", L"C:\\gone.exe");
         },
         ScanAppPaths,
         {},
         {}},
    };
    for (const Case& c : cases) {
        RunCase(c);
    }
}

TEST(ScanCompatibilityStore, Cases) {
    auto store = [](sim::Machine& m, const std::wstring& name) {
        m.registry.SetValue(kHkeyCurrentUser, kS, name, platform::kRegBinary, {1, 2});
    };
    const std::wstring key = L"[HKCU]" + kS;
    const std::wstring header = L"[HKEY_CURRENT_USER" + kS + L"]";
    const Case cases[] = {
        {"fixed drive: only missing files; other drives and names always",
         [&](sim::Machine& m) {
             m.drives = {{L'C', platform::kDriveFixed}, {L'E', platform::kDriveRemovable}};
             m.AddFile(L"C:\\App\\here.exe");
             m.AddFile(L"E:\\App\\here.exe");
             store(m, L"C:\\App\\here.exe");
             store(m, L"C:\\App\\gone.exe");
             store(m, L"E:\\App\\here.exe");
             store(m, L"SIGN.MEDIA=1234 setup.exe");
         },
         ScanCompatibilityStore,
         {{kCat, key, L"C:\\App\\gone.exe", key + L"=C:\\App\\gone.exe"},
          {kCat, key, L"E:\\App\\here.exe", key + L"=E:\\App\\here.exe"},
          {kCat, key, L"SIGN.MEDIA=1234 setup.exe", key + L"=SIGN.MEDIA=1234 setup.exe"}},
         {header, L"\"C:\\\\App\\\\gone.exe\"=-", L"", header, L"\"E:\\\\App\\\\here.exe\"=-", L"",
          header, L"\"SIGN.MEDIA=1234 setup.exe\"=-", L""}},
        {"tested with redirection in force: a 64-bit-only program is reported",
         [&](sim::Machine& m) {
             m.AddFile(L"C:\\Windows\\system32\\only64.exe");
             store(m, L"C:\\Windows\\system32\\only64.exe");
         },
         ScanCompatibilityStore,
         {{kCat, key, L"C:\\Windows\\system32\\only64.exe",
           key + L"=C:\\Windows\\system32\\only64.exe"}},
         {header, L"\"C:\\\\Windows\\\\system32\\\\only64.exe\"=-", L""}},
        {"excluded in other letter case",
         [&](sim::Machine& m) {
             store(m, L"C:\\App\\gone.exe");
             std::string line =
                 "[hkcu]\\software\\microsoft\\windows nt\\currentversion\\"
                 "appcompatflags\\compatibility assistant\\store=c:\\app\\GONE.exe\r\n";
             m.AddFile(L"C:\\Users\\User\\AppData\\Roaming\\Brimvale\\Exclusions.txt",
                       std::vector<std::uint8_t>(line.begin(), line.end()));
         },
         ScanCompatibilityStore,
         {},
         {}},
    };
    for (const Case& c : cases) {
        RunCase(c);
    }
}

TEST(ScanApplications, Cases) {
    auto verb = [](sim::Machine& m, const std::wstring& app, const std::wstring& v,
                   const std::wstring& command) {
        m.registry.SetString(kHkeyClassesRoot,
                             L"\\Applications\\" + app + L"\\shell\\" + v + L"\\command", L"",
                             command);
    };
    const std::wstring open = L"\\Applications\\old.exe\\shell\\open\\command";
    const std::wstring edit = L"\\Applications\\old.exe\\shell\\edit\\command";
    const Case cases[] = {
        {"open and edit both missing give two rows",
         [&](sim::Machine& m) {
             verb(m, L"old.exe", L"open", L"\"C:\\Old\\old.exe\" \"%1\"");
             verb(m, L"old.exe", L"edit", L"C:\\Old\\old.exe /edit \"%1\"");
         },
         ScanApplications,
         {{kCat, L"[HKCR]" + open, L"\"C:\\Old\\old.exe\" \"%1\"", L"[HKCR]" + open},
          {kCat, L"[HKCR]" + edit, L"C:\\Old\\old.exe /edit \"%1\"", L"[HKCR]" + edit}},
         {L"[-HKEY_CLASSES_ROOT" + open + L"]", L"", L"[-HKEY_CLASSES_ROOT" + edit + L"]", L""}},
        {"edit verb alone; an empty command is reported",
         [&](sim::Machine& m) { m.registry.Create(kHkeyClassesRoot, edit); },
         ScanApplications,
         {{kCat, L"[HKCR]" + edit, L"", L"[HKCR]" + edit}},
         {L"[-HKEY_CLASSES_ROOT" + edit + L"]", L""}},
        {"rundll32 in capitals is never reported; lower case is found through PATH",
         [&](sim::Machine& m) {
             m.AddFile(L"C:\\Windows\\system32\\rundll32.exe");
             verb(m, L"a.exe", L"open", L"RUNDLL32.EXE gone.dll,Entry");
             verb(m, L"b.exe", L"open", L"rundll32.exe gone.dll,Entry");
         },
         ScanApplications,
         {},
         {}},
        {"keys the user cannot open for full access are not reported",
         [&](sim::Machine& m) {
             verb(m, L"old.exe", L"open", L"C:\\Old\\old.exe");
             m.registry.SetRight(kHkeyClassesRoot, L"\\Applications\\old.exe", sim::Right::Read);
         },
         ScanApplications,
         {},
         {}},
    };
    for (const Case& c : cases) {
        RunCase(c);
    }
}

}  // namespace
}  // namespace bv
