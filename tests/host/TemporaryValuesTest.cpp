// Temporary values scanners: most-recently-used lists and stray file paths under "\SOFTWARE".
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/Utf16.h"
#include "scanners/Scanners.h"
#include "tests/host/TestMachine.h"

namespace bv {
namespace {

using test::TestMachine;
using Rows = std::vector<std::vector<std::wstring>>;
using Lines = std::vector<std::wstring>;

const std::wstring kRunMru = L"\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Explorer\\RunMRU\\";
const std::wstring kRunMruKey = L"[HKCU]" + kRunMru;
const std::wstring kRunMruHeader = L"[HKEY_CURRENT_USER" + kRunMru + L"]";
const std::wstring kTool = L"\\SOFTWARE\\Acme\\Tool";
const std::wstring kToolKey = L"[HKCU]" + kTool + L"=";
const std::wstring kToolHeader = L"[HKEY_CURRENT_USER" + kTool + L"]";

// ---- ScanMruList ----

struct MruCase {
    const char* label;
    void (*setup)(sim::Machine&);
    std::wstring path;  // as the scan run passes it
    Lines exclusions;
    Rows rows;
    Lines script;
};

std::vector<std::wstring> MruRow(const std::wstring& name, const std::wstring& value) {
    return {L"Temporary values", kRunMruKey, value, kRunMruKey + L"=" + name};
}

TEST(ScanMruList, Table) {
    const std::vector<MruCase> cases = {
        {"RunMRU with MRUList: every value, each with its header",
         [](sim::Machine& m) {
             m.registry.SetString(kHkeyCurrentUser, kRunMru, L"a", L"notepad\\1");
             m.registry.SetString(kHkeyCurrentUser, kRunMru, L"b", L"cmd\\1");
             m.registry.SetString(kHkeyCurrentUser, kRunMru, L"MRUList", L"ba");
         },
         kRunMru,
         {},
         {MruRow(L"a", L"a=notepad\\1"), MruRow(L"b", L"b=cmd\\1"),
          MruRow(L"MRUList", L"MRUList=ba")},
         {kRunMruHeader, L"\"a\"=-", L"", kRunMruHeader, L"\"b\"=-", L"", kRunMruHeader,
          L"\"MRUList\"=-", L""}},
        {"DWORD value: name alone",
         [](sim::Machine& m) { m.registry.SetDword(kHkeyCurrentUser, kRunMru, L"n", 5); },
         kRunMru,
         {},
         {MruRow(L"n", L"n")},
         {kRunMruHeader, L"\"n\"=-", L""}},
        {"binary value: hex bytes in upper case",
         [](sim::Machine& m) {
             m.registry.SetValue(kHkeyCurrentUser, kRunMru, L"x", platform::kRegBinary,
                                 {0x00, 0xFF, 0x1a});
         },
         kRunMru,
         {},
         {MruRow(L"x", L"x=hex:00,FF,1A")},
         {kRunMruHeader, L"\"x\"=-", L""}},
        {"text as stored: blanks kept, cut at the first NUL",
         [](sim::Machine& m) {
             m.registry.SetString(kHkeyCurrentUser, kRunMru, L"s", L"  padded  ");
             m.registry.SetValue(kHkeyCurrentUser, kRunMru, L"e", platform::kRegExpandSz,
                                 ToUtf16LeBytes(std::wstring_view(L"ab\0cd", 5)));
         },
         kRunMru,
         {},
         {MruRow(L"s", L"s=  padded  "), MruRow(L"e", L"e=ab")},
         {kRunMruHeader, L"\"s\"=-", L"", kRunMruHeader, L"\"e\"=-", L""}},
        {"double quote in the name: plain in the texts, escaped in the script",
         [](sim::Machine& m) {
             m.registry.SetString(kHkeyCurrentUser, kRunMru, L"say \"hi\"", L"");
         },
         kRunMru,
         {},
         {MruRow(L"say \"hi\"", L"say \"hi\"")},
         {kRunMruHeader, L"\"say \\\"hi\\\"\"=-", L""}},
        {"unnamed value",
         [](sim::Machine& m) { m.registry.SetString(kHkeyCurrentUser, kRunMru, L"", L"d"); },
         kRunMru,
         {},
         {MruRow(L"", L"=d")},
         {kRunMruHeader, L"@=-", L""}},
        {"excluded value passed over, the rest reported",
         [](sim::Machine& m) {
             m.registry.SetString(kHkeyCurrentUser, kRunMru, L"a", L"x");
             m.registry.SetString(kHkeyCurrentUser, kRunMru, L"b", L"y");
         },
         kRunMru,
         {kRunMruKey + L"=A"},
         {MruRow(L"b", L"b=y")},
         {kRunMruHeader, L"\"b\"=-", L""}},
        {"missing key: nothing",
         [](sim::Machine& m) { m.registry.Create(kHkeyCurrentUser, L"\\SOFTWARE\\Other"); },
         kRunMru,
         {},
         {},
         {}},
        {"key named \"*\" only where it exists",
         [](sim::Machine& m) {
             m.registry.SetString(kHkeyCurrentUser,
                                  L"\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Explorer\\"
                                  L"ComDlg32\\OpenSaveMRU\\*",
                                  L"a", L"C:\\x.txt");
         },
         L"\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Explorer\\ComDlg32\\OpenSaveMRU\\*\\",
         {},
         {{L"Temporary values",
           L"[HKCU]\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Explorer\\ComDlg32\\"
           L"OpenSaveMRU\\*\\",
           L"a=C:\\x.txt",
           L"[HKCU]\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Explorer\\ComDlg32\\"
           L"OpenSaveMRU\\*\\=a"}},
         {L"[HKEY_CURRENT_USER\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Explorer\\"
          L"ComDlg32\\OpenSaveMRU\\*\\]",
          L"\"a\"=-", L""}},
        {"path without a leading backslash gets one",
         [](sim::Machine& m) { m.registry.SetString(kHkeyCurrentUser, kRunMru, L"a", L"x"); },
         kRunMru.substr(1),
         {},
         {MruRow(L"a", L"a=x")},
         {kRunMruHeader, L"\"a\"=-", L""}},
        {"RecentDocs subkey: path without trailing backslash",
         [](sim::Machine& m) {
             m.registry.SetValue(kHkeyCurrentUser,
                                 L"\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Explorer\\"
                                 L"RecentDocs\\.txt",
                                 L"0", platform::kRegBinary, {0x41, 0x00});
         },
         L"\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Explorer\\RecentDocs\\.txt",
         {},
         {{L"Temporary values",
           L"[HKCU]\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Explorer\\RecentDocs\\.txt",
           L"0=hex:41,00",
           L"[HKCU]\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Explorer\\RecentDocs\\.txt=0"}},
         {L"[HKEY_CURRENT_USER\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Explorer\\"
          L"RecentDocs\\.txt]",
          L"\"0\"=-", L""}},
    };
    for (const MruCase& c : cases) {
        SCOPED_TRACE(c.label);
        TestMachine t;
        c.setup(t.machine);
        RunState& s = t.Ready();
        s.results.ExclusionList = c.exclusions;
        ScanMruList(s, c.path);
        EXPECT_EQ(t.Rows(), c.rows);
        EXPECT_EQ(t.ScriptBody(), c.script);
        EXPECT_TRUE(t.window.gaugeHistory.empty());  // the timer moves the gauge here
    }
}

TEST(ScanMruList, StopPassesOverTheRestWhilePumping) {
    TestMachine t;
    for (const wchar_t* name : {L"a", L"b", L"c"}) {
        t.machine.registry.SetString(kHkeyCurrentUser, kRunMru, name, L"x");
    }
    RunState& s = t.Ready();
    t.window.onPump = [&s](int pump) {
        if (pump == 2) {
            s.scanInProgress = false;
        }
    };
    ScanMruList(s, kRunMru);
    EXPECT_EQ(t.Rows(), (Rows{MruRow(L"a", L"a=x")}));
    EXPECT_EQ(t.window.pumps, 3);
}

// ---- ScanInvalidValues ----

struct StrayCase {
    const char* label;
    std::uint32_t type;
    std::wstring data;
    std::wstring reported;  // the file reference shown, empty when passed over
};

// Files present on every machine of the table below.
void AddStrayFiles(sim::Machine& m) {
    m.AddFile(L"C:\\Tools\\here.exe");
    m.AddFile(L"C:\\Windows\\notepad.exe");
    m.AddFolder(L"C:\\Temp");
}

TEST(ScanInvalidValues, DataShapes) {
    const StrayCase cases[] = {
        {"missing file with an argument", platform::kRegSz, L"C:\\Tools\\gone.exe -run",
         L"C:\\Tools\\gone.exe"},
        {"one comma still examined", platform::kRegSz, L"C:\\Tools\\gone.exe,1",
         L"C:\\Tools\\gone.exe"},
        {"expandable text", platform::kRegExpandSz, L"C:\\Tools\\gone.dll", L"C:\\Tools\\gone.dll"},
        {"lower-case drive letter", platform::kRegSz, L"c:\\Tools\\gone.txt",
         L"c:\\Tools\\gone.txt"},
        {"Windows folder in other letter case", platform::kRegSz, L"C:\\Windows\\gone.exe",
         L"C:\\Windows\\gone.exe"},
        {"fewer than 5 characters", platform::kRegSz, L"C:\\x", L""},
        {"no colon", platform::kRegSz, L"Tools\\gone.exe", L""},
        {"no backslash", platform::kRegSz, L"C:gone.exe", L""},
        {"tilde", platform::kRegSz, L"C:\\PROGRA~1\\x.exe", L""},
        {"dollar", platform::kRegSz, L"C:\\a$b\\x.exe", L""},
        {"slash", platform::kRegSz, L"C:\\a/b\\x.exe", L""},
        {"caret", platform::kRegSz, L"C:\\a^b\\x.exe", L""},
        {"bar", platform::kRegSz, L"C:\\a|b\\x.exe", L""},
        {"drive that is not fixed", platform::kRegSz, L"Z:\\Tools\\gone.exe", L""},
        {"ends in a backslash", platform::kRegSz, L"C:\\Temp\\", L""},
        {"two commas", platform::kRegSz, L"C:\\Tools\\gone.exe,1,2", L""},
        {"existing file unchanged", platform::kRegSz, L"C:\\Tools\\here.exe", L""},
        {"four-letter extension", platform::kRegSz, L"C:\\Site\\page.html", L""},
        {"no extension", platform::kRegSz, L"C:\\Tools\\gone", L""},
        {"Windows folder in capitals", platform::kRegSz, L"C:\\WINDOWS\\gone.exe", L""},
        {"existing file with an argument", platform::kRegSz, L"C:\\Tools\\here.exe /x", L""},
        {"file name found in a PATH folder", platform::kRegSz, L"C:\\Old\\notepad.exe", L""},
        {"blanks are not trimmed away", platform::kRegSz, L" C:\\Tools\\gone.exe", L""},
        {"DWORD", platform::kRegDword, L"", L""},
        {"multi-string", platform::kRegMultiSz, L"C:\\Tools\\gone.exe", L""},
    };
    for (const StrayCase& c : cases) {
        SCOPED_TRACE(c.label);
        TestMachine t;
        AddStrayFiles(t.machine);
        if (c.type == platform::kRegDword) {
            t.machine.registry.SetDword(kHkeyCurrentUser, kTool, L"Path", 1);
        } else {
            t.machine.registry.SetString(kHkeyCurrentUser, kTool, L"Path", c.data, c.type);
        }
        RunState& s = t.Ready();
        ScanInvalidValues(s, kHkeyCurrentUser, L"\\SOFTWARE");
        if (c.reported.empty()) {
            EXPECT_EQ(t.Rows(), Rows{});
            EXPECT_EQ(t.ScriptBody(), Lines{});
        } else {
            EXPECT_EQ(
                t.Rows(),
                (Rows{{L"Temporary values", kToolKey + L"Path", c.reported, kToolKey + L"Path"}}));
            EXPECT_EQ(t.ScriptBody(), (Lines{kToolHeader, L"\"Path\"=-", L""}));
        }
    }
}

struct WalkCase {
    const char* label;
    void (*setup)(sim::Machine&);
    std::uint32_t root;
    Lines exclusions;
    Rows rows;
    Lines script;
};

void SetGone(sim::Machine& m, std::uint32_t root, const std::wstring& path,
             const std::wstring& name = L"Path") {
    m.registry.SetString(root, path, name, L"C:\\Tools\\gone.exe");
}

std::vector<std::wstring> StrayRow(const wchar_t* tag, const std::wstring& path,
                                   const std::wstring& name) {
    const std::wstring key = tag + path + L"=" + name;
    return {L"Temporary values", key, L"C:\\Tools\\gone.exe", key};
}

TEST(ScanInvalidValues, Walk) {
    const std::vector<WalkCase> cases = {
        {"vendor and system branches skipped with their subtrees",
         [](sim::Machine& m) {
             SetGone(m, kHkeyCurrentUser, L"\\SOFTWARE\\Creative\\Mixer");
             SetGone(m, kHkeyCurrentUser, L"\\SOFTWARE\\Acme\\Automatic");
             SetGone(m, kHkeyCurrentUser, L"\\SOFTWARE\\Acme\\Automatic\\Deeper");
             SetGone(m, kHkeyCurrentUser, L"\\SOFTWARE\\Stations");
             SetGone(m, kHkeyCurrentUser, L"\\SOFTWARE\\Microsoft\\App");
             SetGone(m, kHkeyCurrentUser, L"\\SOFTWARE\\Classes\\x");
             SetGone(m, kHkeyCurrentUser, L"\\SOFTWARE\\Acme\\policies");
             SetGone(m, kHkeyCurrentUser, L"\\SOFTWARE\\Acme\\Tool");
         },
         kHkeyCurrentUser,
         {},
         {StrayRow(L"[HKCU]", kTool, L"Path")},
         {kToolHeader, L"\"Path\"=-", L""}},
        {"pre-order: a key's values before its subkeys",
         [](sim::Machine& m) {
             SetGone(m, kHkeyLocalMachine, L"\\SOFTWARE\\A\\B");
             SetGone(m, kHkeyLocalMachine, L"\\SOFTWARE\\A");
             SetGone(m, kHkeyLocalMachine, L"\\SOFTWARE\\C");
         },
         kHkeyLocalMachine,
         {},
         {StrayRow(L"[HKLM]", L"\\SOFTWARE\\A", L"Path"),
          StrayRow(L"[HKLM]", L"\\SOFTWARE\\A\\B", L"Path"),
          StrayRow(L"[HKLM]", L"\\SOFTWARE\\C", L"Path")},
         {L"[HKEY_LOCAL_MACHINE\\SOFTWARE\\A]", L"\"Path\"=-", L"",
          L"[HKEY_LOCAL_MACHINE\\SOFTWARE\\A\\B]", L"\"Path\"=-", L"",
          L"[HKEY_LOCAL_MACHINE\\SOFTWARE\\C]", L"\"Path\"=-", L""}},
        {"unnamed value and a name with a quote",
         [](sim::Machine& m) {
             SetGone(m, kHkeyCurrentUser, kTool, L"");
             SetGone(m, kHkeyCurrentUser, kTool, L"a\"b");
         },
         kHkeyCurrentUser,
         {},
         {StrayRow(L"[HKCU]", kTool, L""), StrayRow(L"[HKCU]", kTool, L"a\"b")},
         {kToolHeader, L"@=-", L"", kToolHeader, L"\"a\\\"b\"=-", L""}},
        {"excluded value",
         [](sim::Machine& m) {
             SetGone(m, kHkeyCurrentUser, kTool, L"One");
             SetGone(m, kHkeyCurrentUser, kTool, L"Two");
         },
         kHkeyCurrentUser,
         {L"[HKCU]\\software\\acme\\tool=one"},
         {StrayRow(L"[HKCU]", kTool, L"Two")},
         {kToolHeader, L"\"Two\"=-", L""}},
        {"key name with \"=\" cannot be named: its values are not recorded",
         [](sim::Machine& m) {
             SetGone(m, kHkeyCurrentUser, L"\\SOFTWARE\\Acme\\a=b");
             SetGone(m, kHkeyCurrentUser, L"\\SOFTWARE\\Acme\\a=b\\Below");
         },
         kHkeyCurrentUser,
         {},
         {},
         {}},
        {"key the user may not read is passed over",
         [](sim::Machine& m) {
             SetGone(m, kHkeyCurrentUser, L"\\SOFTWARE\\Locked\\Inner");
             m.registry.SetRight(kHkeyCurrentUser, L"\\SOFTWARE\\Locked", sim::Right::None);
             SetGone(m, kHkeyCurrentUser, kTool);
         },
         kHkeyCurrentUser,
         {},
         {StrayRow(L"[HKCU]", kTool, L"Path")},
         {kToolHeader, L"\"Path\"=-", L""}},
    };
    for (const WalkCase& c : cases) {
        SCOPED_TRACE(c.label);
        TestMachine t;
        c.setup(t.machine);
        RunState& s = t.Ready();
        s.results.ExclusionList = c.exclusions;
        ScanInvalidValues(s, c.root, L"\\SOFTWARE");
        EXPECT_EQ(t.Rows(), c.rows);
        EXPECT_EQ(t.ScriptBody(), c.script);
        EXPECT_TRUE(t.window.gaugeHistory.empty());
    }
}

TEST(ScanInvalidValues, ChainAsDeepAsTheRegistryAllows) {
    TestMachine t;
    std::wstring path = L"\\SOFTWARE\\Deep";
    for (int level = 2; level < 512; ++level) {
        path += L"\\k";
    }
    SetGone(t.machine, kHkeyCurrentUser, path);
    RunState& s = t.Ready();
    ScanInvalidValues(s, kHkeyCurrentUser, L"\\SOFTWARE");
    EXPECT_EQ(t.Rows(), (Rows{StrayRow(L"[HKCU]", path, L"Path")}));
    EXPECT_EQ(t.window.pumps, 1);  // one value looked at
}

TEST(ScanInvalidValues, StopMidWalkEndsAtTheNextKey) {
    TestMachine t;
    SetGone(t.machine, kHkeyCurrentUser, L"\\SOFTWARE\\A", L"One");
    SetGone(t.machine, kHkeyCurrentUser, L"\\SOFTWARE\\A", L"Two");
    SetGone(t.machine, kHkeyCurrentUser, L"\\SOFTWARE\\A\\B");
    SetGone(t.machine, kHkeyCurrentUser, L"\\SOFTWARE\\C");
    RunState& s = t.Ready();
    t.window.onPump = [&s](int pump) {
        if (pump == 2) {
            s.scanInProgress = false;
        }
    };
    ScanInvalidValues(s, kHkeyCurrentUser, L"\\SOFTWARE");
    EXPECT_EQ(t.Rows(), (Rows{StrayRow(L"[HKCU]", L"\\SOFTWARE\\A", L"One")}));
    EXPECT_EQ(t.window.pumps, 2);  // the key's other values still pump; no further key is read

    // Not started at all once stopped.
    t.window.onPump = nullptr;
    ResetScanResults(s);
    ScanInvalidValues(s, kHkeyCurrentUser, L"\\SOFTWARE");
    EXPECT_EQ(t.Rows(), Rows{});
}

}  // namespace
}  // namespace bv
