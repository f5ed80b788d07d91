// Startup scanners: Run values of both hives and MSConfig's startupreg entries, on small machines.
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

const std::wstring kRun = L"\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run";
const std::wstring kCuRunKey = L"[HKCU]" + kRun;
const std::wstring kLmRunKey = L"[HKLM]" + kRun;
const std::wstring kCuRunHeader = L"[HKEY_CURRENT_USER" + kRun + L"]";
const std::wstring kLmRunHeader = L"[HKEY_LOCAL_MACHINE" + kRun + L"]";
const std::wstring kStartupReg = L"\\SOFTWARE\\Microsoft\\Shared Tools\\MSConfig\\startupreg";
const std::wstring kStartupKey = L"[HKLM]" + kStartupReg;
const std::wstring kStartupDelete = L"[-HKEY_LOCAL_MACHINE" + kStartupReg;

struct Case {
    const char* label;
    void (*setup)(sim::Machine&);
    std::uint32_t root;  // ScanRunKeys root; 0 runs ScanStartupReg
    Lines exclusions;
    Rows rows;
    Lines script;
};

void RunCases(const std::vector<Case>& cases) {
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        TestMachine t;
        c.setup(t.machine);
        RunState& s = t.Ready();
        s.results.ExclusionList = c.exclusions;
        if (c.root != 0) {
            ScanRunKeys(s, c.root);
        } else {
            ScanStartupReg(s);
        }
        EXPECT_EQ(t.Rows(), c.rows);
        EXPECT_EQ(t.ScriptBody(), c.script);
        EXPECT_TRUE(s.scanInProgress);
    }
}

TEST(ScanRunKeys, Table) {
    const std::vector<Case> cases = {
        {"empty string reported even when excluded",
         [](sim::Machine& m) { m.registry.SetString(kHkeyCurrentUser, kRun, L"Gone", L""); },
         kHkeyCurrentUser,
         {kCuRunKey + L"=gone"},
         {{L"Startup", kCuRunKey, L"Gone", kCuRunKey + L"=Gone"}},
         {kCuRunHeader, L"\"Gone\"=-", L""}},
        {"DWORD reads as empty, reported even when excluded",
         [](sim::Machine& m) { m.registry.SetDword(kHkeyCurrentUser, kRun, L"Counter", 1); },
         kHkeyCurrentUser,
         {kCuRunKey + L"=Counter"},
         {{L"Startup", kCuRunKey, L"Counter", kCuRunKey + L"=Counter"}},
         {kCuRunHeader, L"\"Counter\"=-", L""}},
        {"blank string reads as empty",
         [](sim::Machine& m) { m.registry.SetString(kHkeyCurrentUser, kRun, L"Blank", L" \t "); },
         kHkeyCurrentUser,
         {},
         {{L"Startup", kCuRunKey, L"Blank", kCuRunKey + L"=Blank"}},
         {kCuRunHeader, L"\"Blank\"=-", L""}},
        {"unnamed value never examined",
         [](sim::Machine& m) { m.registry.SetString(kHkeyCurrentUser, kRun, L"", L""); },
         kHkeyCurrentUser,
         {},
         {},
         {}},
        {"quoted existing program with arguments",
         [](sim::Machine& m) {
             m.AddFile(L"C:\\Program Files\\App\\app.exe");
             m.registry.SetString(kHkeyCurrentUser, kRun, L"App",
                                  L"\"C:\\Program Files\\App\\app.exe\" /min");
         },
         kHkeyCurrentUser,
         {},
         {},
         {}},
        {"missing program but excluded",
         [](sim::Machine& m) {
             m.registry.SetString(kHkeyCurrentUser, kRun, L"Old", L"C:\\Gone\\old.exe");
         },
         kHkeyCurrentUser,
         {kCuRunKey + L"=OLD"},
         {},
         {}},
        {"missing at its path but found under its name in a PATH folder",
         [](sim::Machine& m) {
             m.AddFile(L"C:\\Windows\\notepad.exe");
             m.registry.SetString(kHkeyCurrentUser, kRun, L"Pad", L"C:\\Old\\notepad.exe /x");
         },
         kHkeyCurrentUser,
         {},
         {},
         {}},
        {"environment reference to an existing program",
         [](sim::Machine& m) {
             m.AddFile(L"C:\\Program Files\\Tool\\tool.exe");
             m.registry.SetString(kHkeyLocalMachine, kRun, L"Tool",
                                  L"%ProgramW6432%\\Tool\\tool.exe", platform::kRegExpandSz);
         },
         kHkeyLocalMachine,
         {},
         {},
         {}},
        {"two missing machine entries share the Key text, each with its header",
         [](sim::Machine& m) {
             m.registry.SetString(kHkeyLocalMachine, kRun, L"A", L"C:\\Gone\\a.exe");
             m.registry.SetString(kHkeyLocalMachine, kRun, L"B", L"\"C:\\Gone\\b.exe\" -x");
         },
         kHkeyLocalMachine,
         {},
         {{L"Startup", kLmRunKey, L"A", kLmRunKey + L"=A"},
          {L"Startup", kLmRunKey, L"B", kLmRunKey + L"=B"}},
         {kLmRunHeader, L"\"A\"=-", L"", kLmRunHeader, L"\"B\"=-", L""}},
        {"name with quote and backslash: plain in texts, escaped in the script",
         [](sim::Machine& m) {
             m.registry.SetString(kHkeyCurrentUser, kRun, L"a\"b\\c", L"C:\\Gone\\x.exe");
         },
         kHkeyCurrentUser,
         {},
         {{L"Startup", kCuRunKey, L"a\"b\\c", kCuRunKey + L"=a\"b\\c"}},
         {kCuRunHeader, L"\"a\\\"b\\\\c\"=-", L""}},
        {"name with a line break is never recorded",
         [](sim::Machine& m) {
             m.registry.SetString(kHkeyCurrentUser, kRun, L"x\r\n[-HKEY_CURRENT_USER]", L"");
         },
         kHkeyCurrentUser,
         {},
         {},
         {}},
        {"other hive's Run key not read",
         [](sim::Machine& m) {
             m.registry.SetString(kHkeyLocalMachine, kRun, L"A", L"C:\\Gone\\a.exe");
         },
         kHkeyCurrentUser,
         {},
         {},
         {}},
        {"non-administrator: machine entries reported too",
         [](sim::Machine& m) {
             m.administrator = false;
             m.registry.SetString(kHkeyLocalMachine, kRun, L"A", L"C:\\Gone\\a.exe");
         },
         kHkeyLocalMachine,
         {},
         {{L"Startup", kLmRunKey, L"A", kLmRunKey + L"=A"}},
         {kLmRunHeader, L"\"A\"=-", L""}},
    };
    RunCases(cases);
}

TEST(ScanStartupReg, Table) {
    const std::vector<Case> cases = {
        {"bare path of an existing file",
         [](sim::Machine& m) {
             m.AddFile(L"C:\\Tools\\tool.exe");
             m.registry.SetString(kHkeyLocalMachine, kStartupReg + L"\\Tool", L"command",
                                  L"C:\\Tools\\tool.exe");
         },
         0,
         {},
         {},
         {}},
        {"bare path of a missing file",
         [](sim::Machine& m) {
             m.registry.SetString(kHkeyLocalMachine, kStartupReg + L"\\Tool", L"command",
                                  L"C:\\Gone\\tool.exe");
         },
         0,
         {},
         {{L"Startup", kStartupKey + L"\\Tool", L"C:\\Gone\\tool.exe", kStartupKey + L"\\Tool"}},
         {kStartupDelete + L"\\Tool]", L""}},
        {"empty command reported even when excluded",
         [](sim::Machine& m) {
             m.registry.SetString(kHkeyLocalMachine, kStartupReg + L"\\Blank", L"command", L"  ");
         },
         0,
         {kStartupKey + L"\\Blank"},
         {{L"Startup", kStartupKey + L"\\Blank", L"", kStartupKey + L"\\Blank"}},
         {kStartupDelete + L"\\Blank]", L""}},
        {"entry without a command value",
         [](sim::Machine& m) { m.registry.Create(kHkeyLocalMachine, kStartupReg + L"\\Bare"); },
         0,
         {},
         {{L"Startup", kStartupKey + L"\\Bare", L"", kStartupKey + L"\\Bare"}},
         {kStartupDelete + L"\\Bare]", L""}},
        {"quoted existing program with arguments",
         [](sim::Machine& m) {
             m.AddFile(L"C:\\Program Files\\App\\app.exe");
             m.registry.SetString(kHkeyLocalMachine, kStartupReg + L"\\App", L"command",
                                  L"\"C:\\Program Files\\App\\app.exe\" /autorun");
         },
         0,
         {},
         {},
         {}},
        {"system program with arguments, found in a PATH folder",
         [](sim::Machine& m) {
             m.AddFile(L"C:\\Windows\\system32\\rundll32.exe");
             m.registry.SetString(kHkeyLocalMachine, kStartupReg + L"\\Cpl", L"command",
                                  L"rundll32.exe shell32.dll,Control_RunDLL");
         },
         0,
         {},
         {},
         {}},
        {"file name found in a PATH folder",
         [](sim::Machine& m) {
             m.AddFile(L"C:\\Windows\\notepad.exe");
             m.registry.SetString(kHkeyLocalMachine, kStartupReg + L"\\Pad", L"command",
                                  L"C:\\Old\\notepad.exe");
         },
         0,
         {},
         {},
         {}},
        {"quoted missing program: value as stored, trimmed",
         [](sim::Machine& m) {
             m.registry.SetString(kHkeyLocalMachine, kStartupReg + L"\\App", L"command",
                                  L" \"C:\\Gone\\app.exe\" /autorun ");
         },
         0,
         {},
         {{L"Startup", kStartupKey + L"\\App", L"\"C:\\Gone\\app.exe\" /autorun",
           kStartupKey + L"\\App"}},
         {kStartupDelete + L"\\App]", L""}},
        {"missing program but excluded",
         [](sim::Machine& m) {
             m.registry.SetString(kHkeyLocalMachine, kStartupReg + L"\\App", L"command",
                                  L"C:\\Gone\\app.exe");
         },
         0,
         {kStartupKey + L"\\app"},
         {},
         {}},
        {"entry name with \"=\" cannot be named as a key: not recorded",
         [](sim::Machine& m) {
             m.registry.SetString(kHkeyLocalMachine, kStartupReg + L"\\a=b", L"command",
                                  L"C:\\Gone\\app.exe");
         },
         0,
         {},
         {},
         {}},
    };
    RunCases(cases);
}

TEST(ScanRunKeys, GaugeSweepsAndStopPassesOverTheRest) {
    TestMachine t;
    for (const wchar_t* name : {L"A", L"B", L"C"}) {
        t.machine.registry.SetString(kHkeyCurrentUser, kRun, name, L"C:\\Gone\\x.exe");
    }
    RunState& s = t.Ready();
    t.window.onPump = [&s](int pump) {
        if (pump == 2) {
            s.scanInProgress = false;
        }
    };
    ScanRunKeys(s, kHkeyCurrentUser);
    EXPECT_EQ(t.Rows(), (Rows{{L"Startup", kCuRunKey, L"A", kCuRunKey + L"=A"}}));
    EXPECT_EQ(t.window.pumps, 3);  // the loop still runs to its end
    ASSERT_FALSE(t.window.gaugeHistory.empty());
    EXPECT_EQ(t.window.gaugeHistory.front(), 0);
    EXPECT_EQ(t.window.gaugeHistory.back(), 100);
}

}  // namespace
}  // namespace bv
