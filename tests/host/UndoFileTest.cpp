// Undo files: the typed value lines, key exports, the file's name and contents, stops and
// "Manage undo".
#include <gtest/gtest.h>

#include <functional>

#include "engine/Findings.h"
#include "platform/Utf16.h"
#include "repair/Repair.h"
#include "sysaccess/TextFile.h"
#include "tests/host/TestMachine.h"

namespace bv {
namespace {

using platform::kRegBinary;
using platform::kRegDword;
using platform::kRegExpandSz;
using platform::kRegMultiSz;
using platform::kRegNone;
using platform::kRegQword;
using platform::kRegSz;
using test::TestMachine;
using Bytes = std::vector<std::uint8_t>;

constexpr wchar_t kAppData[] = L"C:\\Users\\User\\AppData\\Roaming\\Brimvale\\";

Bytes Utf16z(std::wstring_view text) {
    Bytes b = ToUtf16LeBytes(text);
    b.push_back(0);
    b.push_back(0);
    return b;
}

void KeyFinding(RunState& s, std::uint32_t root, const std::wstring& path) {
    const std::wstring text = HiveTag(root) + path;
    ASSERT_TRUE(
        RecordIssue(s, IssueCategory::SoftwareLocations, text, L"", text, KeyDeletion(root, path)));
}

void ValueFinding(RunState& s, std::uint32_t root, const std::wstring& path,
                  const std::wstring& name) {
    const std::wstring key = HiveTag(root) + path;
    ASSERT_TRUE(RecordIssue(s, IssueCategory::TemporaryValues, key, name, key + L"=" + name,
                            ValueDeletion(root, path, name)));
}

// The undo files of the data folder, as lines.
std::vector<std::vector<std::wstring>> UndoFiles(const sim::Machine& m) {
    std::vector<std::vector<std::wstring>> files;
    for (const auto& [upper, entry] : m.Files()) {
        if (!entry.folder && upper.find(L"BRIMVALE_UNDO_") != std::wstring::npos) {
            files.push_back(DecodeTextLines(entry.contents));
        }
    }
    return files;
}

TEST(FormatRegValue, EditorFormForEveryType) {
    struct Case {
        const char* what;
        std::wstring name;
        std::uint32_t type;
        Bytes data;
        std::vector<std::wstring> want;
    } cases[] = {
        {"string with backslash and quotes",
         L"Path",
         kRegSz,
         Utf16z(L"C:\\A \"B\""),
         {L"\"Path\"=\"C:\\\\A \\\"B\\\"\""}},
        {"unnamed string keeps its data", L"", kRegSz, Utf16z(L"x y"), {L"@=\"x y\""}},
        {"empty string", L"n", kRegSz, Utf16z(L""), {L"\"n\"=\"\""}},
        {"name escaped as the editor does",
         L"a\\b\"c",
         kRegSz,
         Utf16z(L"v"),
         {L"\"a\\\\b\\\"c\"=\"v\""}},
        {"string without data", L"n", kRegSz, {}, {L"\"n\"=hex(1):"}},
        {"string without terminator",
         L"n",
         kRegSz,
         {0x61, 0, 0x62, 0},
         {L"\"n\"=hex(1):61,00,62,00"}},
        {"string with a NUL inside",
         L"n",
         kRegSz,
         {0x61, 0, 0, 0, 0x62, 0, 0, 0},
         {L"\"n\"=hex(1):61,00,00,00,62,00,00,00"}},
        {"string with a line break",
         L"n",
         kRegSz,
         Utf16z(L"a\r\nb"),
         {L"\"n\"=hex(1):61,00,0d,00,0a,00,62,00,00,00"}},
        {"odd-sized string", L"n", kRegSz, {0x61, 0, 0}, {L"\"n\"=hex(1):61,00,00"}},
        {"expandable string keeps its type",
         L"e",
         kRegExpandSz,
         Utf16z(L"%A%"),
         {L"\"e\"=hex(2):25,00,41,00,25,00,00,00"}},
        {"dword", L"d", kRegDword, {10, 0, 0, 0}, {L"\"d\"=dword:0000000a"}},
        {"dword high bytes", L"d", kRegDword, {0x78, 0x56, 0x34, 0x12}, {L"\"d\"=dword:12345678"}},
        {"unnamed dword", L"", kRegDword, {1, 0, 0, 0}, {L"@=dword:00000001"}},
        {"dword of three bytes", L"d", kRegDword, {1, 2, 3}, {L"\"d\"=hex(4):01,02,03"}},
        {"binary", L"b", kRegBinary, {1, 0xAB}, {L"\"b\"=hex:01,ab"}},
        {"empty binary", L"b", kRegBinary, {}, {L"\"b\"=hex:"}},
        {"multi-string",
         L"m",
         kRegMultiSz,
         {0x61, 0, 0, 0, 0, 0},
         {L"\"m\"=hex(7):61,00,00,00,00,00"}},
        {"qword",
         L"q",
         kRegQword,
         {1, 2, 3, 4, 5, 6, 7, 8},
         {L"\"q\"=hex(b):01,02,03,04,05,06,07,08"}},
        {"none, empty", L"z", kRegNone, {}, {L"\"z\"=hex(0):"}},
        {"unknown type", L"u", 0x12345u, {0xFF}, {L"\"u\"=hex(12345):ff"}},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(FormatRegValue(c.name, c.type, c.data), c.want) << c.what;
    }
}

TEST(FormatRegValue, WrapsLongHexAsTheEditor) {
    // "n"=hex: is 8 characters; the editor breaks once a line reaches 77 characters, i.e.
    // after 23 bytes here, then after 25 bytes on each indented line.
    Bytes data(60);
    for (std::size_t i = 0; i < data.size(); ++i) {
        data[i] = static_cast<std::uint8_t>(i);
    }
    auto run = [&](std::size_t from, std::size_t to) {
        std::wstring s;
        static constexpr wchar_t kDigits[] = L"0123456789abcdef";
        for (std::size_t i = from; i < to; ++i) {
            s += kDigits[data[i] >> 4];
            s += kDigits[data[i] & 15];
            if (i + 1 < data.size()) {
                s += L',';
            }
        }
        return s;
    };
    const std::vector<std::wstring> want{L"\"n\"=hex:" + run(0, 23) + L"\\",
                                         L"  " + run(23, 48) + L"\\", L"  " + run(48, 60)};
    EXPECT_EQ(FormatRegValue(L"n", kRegBinary, data), want);
    for (const std::wstring& line : want) {
        EXPECT_LE(line.size(), 80u);
    }
}

TEST(ParseIssueKeyTest, TagPathAndValueName) {
    struct Case {
        std::wstring entry;
        bool ok;
        std::wstring rootName, keyPath;
        bool isValue;
        std::wstring valueName;
    } cases[] = {
        {L"[HKLM]\\SOFTWARE\\X", true, L"HKEY_LOCAL_MACHINE", L"\\SOFTWARE\\X", false, L""},
        {L"[HKCR]\\.abc", true, L"HKEY_CLASSES_ROOT", L"\\.abc", false, L""},
        {L"[HKCU]\\Run=C:\\a=b.exe", true, L"HKEY_CURRENT_USER", L"\\Run", true, L"C:\\a=b.exe"},
        {L"[HKCU]\\Run=", true, L"HKEY_CURRENT_USER", L"\\Run", true, L""},
        {L"[HKLM]NoSlash", true, L"HKEY_LOCAL_MACHINE", L"\\NoSlash", false, L""},
        {L"[XXXX]\\Other", true, L"HKEY_CURRENT_USER", L"\\Other", false, L""},
        {L"", false, L"", L"", false, L""},
    };
    for (const Case& c : cases) {
        IssueKeyParts p;
        EXPECT_EQ(ParseIssueKey(c.entry, p), c.ok);
        if (c.ok) {
            EXPECT_EQ(p.rootName, c.rootName);
            EXPECT_EQ(p.keyPath, c.keyPath);
            EXPECT_EQ(p.isValue, c.isValue);
            EXPECT_EQ(p.valueName, c.valueName);
        }
    }
}

TEST(AppendValueUndoTest, HeaderLineAndEmptyLine) {
    TestMachine t;
    auto& r = t.machine.registry;
    r.SetString(kHkeyLocalMachine, L"SOFTWARE\\X", L"Path", L"C:\\A \"B\"");
    r.SetString(kHkeyLocalMachine, L"SOFTWARE\\X", L"", L"default data");
    r.SetValue(kHkeyLocalMachine, L"SOFTWARE\\X", L"Multi", kRegMultiSz, {0x61, 0, 0, 0, 0, 0});
    RunState& s = t.Ready();
    struct Case {
        std::wstring path, name;
        std::vector<std::wstring> want;
    } cases[] = {
        {L"\\SOFTWARE\\X",
         L"Path",
         {L"[HKEY_LOCAL_MACHINE\\SOFTWARE\\X]", L"\"Path\"=\"C:\\\\A \\\"B\\\"\"", L""}},
        {L"\\SOFTWARE\\X\\",
         L"",
         {L"[HKEY_LOCAL_MACHINE\\SOFTWARE\\X]", L"@=\"default data\"", L""}},
        {L"\\SOFTWARE\\X",
         L"Multi",
         {L"[HKEY_LOCAL_MACHINE\\SOFTWARE\\X]", L"\"Multi\"=hex(7):61,00,00,00,00,00", L""}},
        // The stored spelling is restored, whatever case the finding used.
        {L"\\SOFTWARE\\X",
         L"PATH",
         {L"[HKEY_LOCAL_MACHINE\\SOFTWARE\\X]", L"\"Path\"=\"C:\\\\A \\\"B\\\"\"", L""}},
        {L"\\SOFTWARE\\X", L"Missing", {L"[HKEY_LOCAL_MACHINE\\SOFTWARE\\X]", L""}},
        {L"\\SOFTWARE\\Gone", L"Path", {}},
    };
    for (const Case& c : cases) {
        std::vector<std::wstring> lines;
        AppendValueUndo(s, lines, L"HKEY_LOCAL_MACHINE", c.path, c.name);
        EXPECT_EQ(lines, c.want) << ToUtf8(c.path + L"=" + c.name);
    }
}

TEST(AppendKeyUndoTest, CopiesTheEditorsExportOfTheSubtree) {
    TestMachine t;
    auto& r = t.machine.registry;
    r.SetString(kHkeyLocalMachine, L"SOFTWARE\\K", L"", L"top");
    r.SetDword(kHkeyLocalMachine, L"SOFTWARE\\K\\A", L"d", 1);
    r.Create(kHkeyLocalMachine, L"SOFTWARE\\K\\B");
    RunState& s = t.Ready();
    EnsureAppDataFolder(s.env);
    std::vector<std::wstring> lines;
    EXPECT_TRUE(AppendKeyUndo(s, lines, L"HKEY_LOCAL_MACHINE", L"SOFTWARE\\K", 3));
    const std::vector<std::wstring> want{L"[HKEY_LOCAL_MACHINE\\SOFTWARE\\K]",
                                         L"@=\"top\"",
                                         L"",
                                         L"[HKEY_LOCAL_MACHINE\\SOFTWARE\\K\\A]",
                                         L"\"d\"=dword:00000001",
                                         L"",
                                         L"[HKEY_LOCAL_MACHINE\\SOFTWARE\\K\\B]",
                                         L""};
    EXPECT_EQ(lines, want);
    // The editor was asked for an export into a temporary file named from the clock (14:05:07,
    // millisecond 0) and the key's place among the findings, which is gone afterwards.
    const std::wstring temp = std::wstring(kAppData) + L"Brimvale_Export_14_5_7_0_3";
    ASSERT_FALSE(t.machine.processes.empty());
    EXPECT_EQ(t.machine.processes.back().commandLine,
              L" /s /e \"" + temp + L"\" \"HKEY_LOCAL_MACHINE\\SOFTWARE\\K\"");
    EXPECT_FALSE(t.machine.IsFile(temp));

    // A key that does not exist adds nothing; neither does an empty path.
    lines.clear();
    AppendKeyUndo(s, lines, L"HKEY_LOCAL_MACHINE", L"\\SOFTWARE\\Gone");
    AppendKeyUndo(s, lines, L"HKEY_LOCAL_MACHINE", L"");
    EXPECT_TRUE(lines.empty());

    // An editor that cannot be started (or ends without writing the export) must not leave the
    // undo file without the key the fix then deletes: it is written from the registry.
    s.env.WindowsFolder = L"C:\\NoEditorHere\\";
    AppendKeyUndo(s, lines, L"HKEY_LOCAL_MACHINE", L"SOFTWARE\\K");
    EXPECT_EQ(lines, want);
    lines.clear();
    AppendKeyUndo(s, lines, L"HKEY_LOCAL_MACHINE", L"SOFTWARE\\Gone");
    EXPECT_TRUE(lines.empty());
}

// What the editor leaves in the temporary file: the export is taken only when the editor ended
// in time and the file holds the key's own section; otherwise the key is copied from the
// registry. The editor's files below hold a value the registry does not, to tell them apart.
TEST(AppendKeyUndoTest, AnExportCountsOnlyWhenItEndedAndHoldsTheKey) {
    using Outcome = sim::Machine::ProcessOutcome;
    const std::string header = "Windows Registry Editor Version 5.00\r\n\r\n";
    const std::string section = "[HKEY_LOCAL_MACHINE\\SOFTWARE\\K]\r\n\"fromEditor\"=\"x\"\r\n\r\n";
    struct Case {
        const char* label;
        Outcome outcome;
        std::string written;  // what the editor writes to its file; nothing when empty
        bool exportUsed;
    } cases[] = {
        {"a whole export", Outcome::EndsDoingNothing, header + section, true},
        {"the key's section in other letter case", Outcome::EndsDoingNothing,
         header + "[hkey_local_machine\\software\\k]\r\n\"fromEditor\"=\"x\"\r\n", true},
        {"only the header and empty lines", Outcome::EndsDoingNothing, header + "\r\n\r\n", false},
        {"another key's section", Outcome::EndsDoingNothing,
         header + "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Other]\r\n\"fromEditor\"=\"x\"\r\n", false},
        {"a subkey's section only", Outcome::EndsDoingNothing,
         header + "[HKEY_LOCAL_MACHINE\\SOFTWARE\\K\\A]\r\n\"fromEditor\"=\"x\"\r\n", false},
        {"a whole export, but the editor ran past its time-out", Outcome::RunsPastTimeOut,
         header + section, false},
        {"no file at all", Outcome::EndsDoingNothing, "", false},
    };
    const std::vector<std::wstring> fromRegistry{L"[HKEY_LOCAL_MACHINE\\SOFTWARE\\K]",
                                                 L"\"d\"=dword:00000001", L""};
    const std::vector<std::wstring> fromEditor{L"[HKEY_LOCAL_MACHINE\\SOFTWARE\\K]",
                                               L"\"fromEditor\"=\"x\"", L""};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        TestMachine t;
        t.machine.registry.SetDword(kHkeyLocalMachine, L"SOFTWARE\\K", L"d", 1);
        RunState& s = t.Ready();
        EnsureAppDataFolder(s.env);
        t.machine.onProcess = [&](const sim::ProcessRecord& p) {
            const std::size_t open = p.commandLine.find(L'"');
            const std::wstring file =
                p.commandLine.substr(open + 1, p.commandLine.find(L'"', open + 1) - open - 1);
            if (!c.written.empty()) {
                t.machine.AddFile(file, Bytes(c.written.begin(), c.written.end()));
            }
            return c.outcome;
        };
        std::vector<std::wstring> lines;
        EXPECT_TRUE(AppendKeyUndo(s, lines, L"HKEY_LOCAL_MACHINE", L"\\SOFTWARE\\K", 1));
        if (c.exportUsed) {
            EXPECT_EQ(lines[0], c.written.find("[hkey") != std::string::npos
                                    ? L"[hkey_local_machine\\software\\k]"
                                    : fromEditor[0]);
            EXPECT_EQ(lines[1], fromEditor[1]);
        } else {
            EXPECT_EQ(lines, fromRegistry);
        }
    }
}

TEST(AppendKeyUndoTest, EveryExportHasAFileOfItsOwn) {
    TestMachine t;
    t.machine.registry.SetDword(kHkeyLocalMachine, L"SOFTWARE\\K", L"d", 1);
    RunState& s = t.Ready();
    EnsureAppDataFolder(s.env);
    // 1 min 23 s 4 ms and 12 min 3 s 4 ms once read alike; two keys in one millisecond too.
    const std::pair<platform::LocalTime, std::size_t> when[] = {
        {{2024, 12, 9, 14, 1, 23, 4}, 1},
        {{2024, 12, 9, 14, 12, 3, 4}, 1},
        {{2024, 12, 9, 14, 12, 3, 4}, 2},
    };
    std::vector<std::wstring> names;
    for (const auto& [clock, sequence] : when) {
        t.machine.clock = clock;
        std::vector<std::wstring> lines;
        AppendKeyUndo(s, lines, L"HKEY_LOCAL_MACHINE", L"\\SOFTWARE\\K", sequence);
        const std::wstring& line = t.machine.processes.back().commandLine;
        names.push_back(line.substr(0, line.find(L"\" ")));
    }
    EXPECT_NE(names[0], names[1]);
    EXPECT_NE(names[1], names[2]);

    // A leftover of that name (an editor that timed out before) is removed, not read.
    const std::string stale =
        "Windows Registry Editor Version 5.00\r\n\r\n"
        "[HKEY_LOCAL_MACHINE\\SOFTWARE\\K]\r\n\"stale\"=\"x\"\r\n";
    const std::wstring leftover = std::wstring(kAppData) + L"Brimvale_Export_14_12_3_4_2";
    t.machine.onProcess = [](const sim::ProcessRecord&) {
        return sim::Machine::ProcessOutcome::EndsDoingNothing;
    };
    const std::vector<std::wstring> fromRegistry{L"[HKEY_LOCAL_MACHINE\\SOFTWARE\\K]",
                                                 L"\"d\"=dword:00000001", L""};
    t.machine.AddFile(leftover, Bytes(stale.begin(), stale.end()));
    std::vector<std::wstring> lines;
    AppendKeyUndo(s, lines, L"HKEY_LOCAL_MACHINE", L"\\SOFTWARE\\K", 2);
    EXPECT_EQ(lines, fromRegistry);
    EXPECT_FALSE(t.machine.IsFile(leftover));
    // One that cannot be removed is not read, and the editor is not asked to write over it.
    t.machine.AddFile(leftover, Bytes(stale.begin(), stale.end()));
    const std::size_t runs = t.machine.processes.size();
    {
        platform::FileLock held(leftover);
        lines.clear();
        AppendKeyUndo(s, lines, L"HKEY_LOCAL_MACHINE", L"\\SOFTWARE\\K", 2);
    }
    EXPECT_EQ(lines, fromRegistry);
    EXPECT_EQ(t.machine.processes.size(), runs);
}

TEST(AppendKeyUndoTest, ASubtreeWithNamesNoLineCanCarryIsKept) {
    const std::wstring nul(1, L'\0');
    struct Case {
        const char* label;
        std::wstring sub;   // below SOFTWARE\K
        std::wstring name;  // of a value there
        bool fits;
    } cases[] = {
        {"plain names", L"A\\B", L"v", true},
        {"odd but writable names", L"[x] \"y\"", L"a\\b=\"c\"", true},
        {"a value name with a line feed", L"A", L"line\nbreak", false},
        {"a value name with a carriage return, deep down", L"A\\B\\C", L"cr\r", false},
        {"a value name with NUL", L"", L"n" + nul + L"ul", false},
        {"a subkey name with a line feed", L"A\\two\nlines", L"v", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        TestMachine t;
        t.machine.registry.SetDword(kHkeyLocalMachine, L"SOFTWARE\\K", L"top", 1);
        const std::wstring path = c.sub.empty() ? L"SOFTWARE\\K" : L"SOFTWARE\\K\\" + c.sub;
        t.machine.registry.SetDword(kHkeyLocalMachine, path, c.name, 2);
        RunState& s = t.Ready();
        EnsureAppDataFolder(s.env);
        std::vector<std::wstring> lines;
        EXPECT_EQ(AppendKeyUndo(s, lines, L"HKEY_LOCAL_MACHINE", L"\\SOFTWARE\\K", 1), c.fits);
        EXPECT_EQ(lines.empty(), !c.fits);
        EXPECT_EQ(t.machine.processes.empty(), !c.fits);
    }
}

TEST(AppendKeyUndoTest, KeyWithADoubleQuoteIsWrittenFromTheRegistry) {
    TestMachine t;
    auto& r = t.machine.registry;
    r.SetString(kHkeyClassesRoot, L".a\"b", L"", L"x");
    r.SetValue(kHkeyClassesRoot, L".a\"b\\sub", L"e", kRegExpandSz, Utf16z(L"%A%"));
    RunState& s = t.Ready();
    std::vector<std::wstring> lines;
    AppendKeyUndo(s, lines, L"HKEY_CLASSES_ROOT", L"\\.a\"b");
    EXPECT_EQ(lines, (std::vector<std::wstring>{L"[HKEY_CLASSES_ROOT\\.a\"b]", L"@=\"x\"", L"",
                                                L"[HKEY_CLASSES_ROOT\\.a\"b\\sub]",
                                                L"\"e\"=hex(2):25,00,41,00,25,00,00,00", L""}));
    // The editor's command line never has to carry the quote.
    EXPECT_TRUE(t.machine.processes.empty());
}

TEST(CreateUndoFileTest, WritesBlocksInFindingOrderUnderTheClockName) {
    TestMachine t;
    auto& r = t.machine.registry;
    r.SetValue(kHkeyCurrentUser, L"SOFTWARE\\Store", L"C:\\x\\\"q\".exe", kRegBinary, {1, 2});
    r.SetString(kHkeyCurrentUser, L"SOFTWARE\\Store", L"Ж.exe", L"data");
    RunState& s = t.Ready();
    ValueFinding(s, kHkeyCurrentUser, L"\\SOFTWARE\\Store", L"C:\\x\\\"q\".exe");
    ValueFinding(s, kHkeyCurrentUser, L"\\SOFTWARE\\Store", L"Ж.exe");
    KeyFinding(s, kHkeyLocalMachine, L"\\SOFTWARE\\Gone");
    s.scanInProgress = true;

    const std::wstring path = CreateUndoFile(s).path;
    EXPECT_EQ(path, std::wstring(kAppData) + L"Brimvale_Undo_9_12_2024_14_5_7.reg");
    const std::vector<std::wstring> want{
        L"Windows Registry Editor Version 5.00",
        L"",
        L"[HKEY_CURRENT_USER\\SOFTWARE\\Store]",
        L"\"C:\\\\x\\\\\\\"q\\\".exe\"=hex:01,02",
        L"",
        L"[HKEY_CURRENT_USER\\SOFTWARE\\Store]",
        L"\"Ж.exe\"=\"data\"",
        L"",
    };
    ASSERT_EQ(UndoFiles(t.machine).size(), 1u);
    TextEncoding encoding{};
    const auto* bytes = t.machine.FileContents(path);
    ASSERT_NE(bytes, nullptr);
    EXPECT_EQ(DecodeTextLines(*bytes, &encoding), want);
    // "Ж" has no place in the ANSI code page: the file keeps it as UTF-16LE with a mark.
    EXPECT_EQ(encoding, TextEncoding::Utf16LeBom);
    EXPECT_EQ(t.window.gaugeHistory.front(), 0);
}

TEST(CreateUndoFileTest, ManyValuesOfOneKeyReadItsNamesOnce) {
    TestMachine t;
    RunState& s = t.Ready();
    constexpr int kValues = 60;
    for (int i = 0; i < kValues; ++i) {
        const std::wstring name = L"v" + std::to_wstring(i);
        t.machine.registry.SetDword(kHkeyCurrentUser, L"Software\\Many", name, 1);
        ValueFinding(s, kHkeyCurrentUser, L"\\Software\\Many", name);
    }
    s.scanInProgress = true;
    int enumerations = 0;
    t.machine.onRegistryCall = [&](const wchar_t* call) {
        enumerations += std::wstring_view(call) == L"RegEnumValue" ? 1 : 0;
    };
    const UndoOutcome undo = CreateUndoFile(s);
    t.machine.onRegistryCall = nullptr;
    EXPECT_TRUE(undo.saved);
    EXPECT_LE(enumerations, kValues + 1);
    const auto files = UndoFiles(t.machine);
    ASSERT_EQ(files.size(), 1u);
    EXPECT_EQ(files[0].size(), 2u + 3u * kValues);
}

TEST(CreateUndoFileTest, AFileThatCannotBeSavedWholeIsNoUndo) {
    const std::wstring undoPath = std::wstring(kAppData) + L"Brimvale_Undo_9_12_2024_14_5_7.reg";
    struct Case {
        const char* label;
        std::function<void(sim::Machine&)> setUp;
    } cases[] = {
        {"a file of that name held by another program",
         [&](sim::Machine& m) { m.AddFile(undoPath, {'x'}); }},
        {"a full disk", [](sim::Machine& m) { m.freeBytes = 20; }},
        {"no data folder, and none in the program's folder either",
         [](sim::Machine& m) { m.appDataFolder = L"Q:\\NoDrive\\Roaming"; }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        TestMachine t;
        t.machine.registry.SetDword(kHkeyCurrentUser, L"Software\\V", L"v", 1);
        c.setUp(t.machine);
        RunState& s = t.Ready();
        ValueFinding(s, kHkeyCurrentUser, L"\\Software\\V", L"v");
        s.scanInProgress = true;
        platform::FileLock held(undoPath);
        const UndoOutcome undo = CreateUndoFile(s);
        EXPECT_FALSE(undo.saved);
        EXPECT_EQ(undo.path, L"");
        // Nothing cut short is left behind; another program's file stays as it was.
        if (held.Held()) {
            EXPECT_EQ(*t.machine.FileContents(undoPath), Bytes{'x'});
        } else {
            EXPECT_TRUE(UndoFiles(t.machine).empty());
        }
    }
}

TEST(CreateUndoFileTest, NothingToSaveWritesNoFile) {
    TestMachine t;
    RunState& s = t.Ready();
    KeyFinding(s, kHkeyLocalMachine, L"\\SOFTWARE\\Gone");
    ValueFinding(s, kHkeyCurrentUser, L"\\Software\\Gone", L"v");
    s.scanInProgress = true;
    const UndoOutcome undo = CreateUndoFile(s);
    EXPECT_EQ(undo.path, L"");
    EXPECT_TRUE(undo.saved);  // nothing needed saving: the fix may go on
    EXPECT_TRUE(UndoFiles(t.machine).empty());
    // The data folder was made to exist all the same.
    EXPECT_TRUE(t.machine.IsFolder(kAppData));
}

TEST(CreateUndoFileTest, StopAfterTheSecondOfFiveKeepsTwoBlocks) {
    TestMachine t;
    RunState& s = t.Ready();
    for (int i = 0; i < 5; ++i) {
        t.machine.registry.SetDword(kHkeyCurrentUser, L"Software\\V", L"v" + std::to_wstring(i),
                                    static_cast<std::uint32_t>(i));
        ValueFinding(s, kHkeyCurrentUser, L"\\Software\\V", L"v" + std::to_wstring(i));
    }
    s.scanInProgress = true;
    t.window.onPump = [&](int pump) {
        if (pump == 3) {
            s.scanInProgress = false;
        }
    };
    CreateUndoFile(s);
    const auto files = UndoFiles(t.machine);
    ASSERT_EQ(files.size(), 1u);
    EXPECT_EQ(files[0], (std::vector<std::wstring>{
                            L"Windows Registry Editor Version 5.00", L"",
                            L"[HKEY_CURRENT_USER\\Software\\V]", L"\"v0\"=dword:00000000", L"",
                            L"[HKEY_CURRENT_USER\\Software\\V]", L"\"v1\"=dword:00000001", L""}));
}

TEST(CreateUndoFileTest, DataFolderFallsBackToTheProgramFolder) {
    TestMachine t;
    // The roaming folder sits on a path that cannot be created.
    t.machine.appDataFolder = L"Q:\\NoDrive\\Roaming";
    t.machine.AddFile(t.machine.programPath);
    t.machine.registry.SetDword(kHkeyCurrentUser, L"Software\\V", L"v", 1);
    RunState& s = t.Ready();
    ValueFinding(s, kHkeyCurrentUser, L"\\Software\\V", L"v");
    s.scanInProgress = true;
    const std::wstring path = CreateUndoFile(s).path;
    EXPECT_EQ(s.env.AppDataFolder, L"C:\\Program Files (x86)\\Brimvale\\");
    EXPECT_EQ(path, L"C:\\Program Files (x86)\\Brimvale\\Brimvale_Undo_9_12_2024_14_5_7.reg");
    EXPECT_TRUE(t.machine.IsFile(path));
}

TEST(UndoLabelClickTest, OpensTheDataFolderEvenBeforeItExists) {
    TestMachine t;
    RunState& s = t.Ready();
    UndoLabelClick(s);
    ASSERT_EQ(t.machine.shellOpens.size(), 1u);
    EXPECT_EQ(t.machine.shellOpens[0].file, kAppData);
    EXPECT_EQ(t.machine.shellOpens[0].owner, t.window.OwnerHandle());
}

}  // namespace
}  // namespace bv
