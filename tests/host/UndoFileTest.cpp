// Undo files: the typed value lines, key exports, the file's name and contents, stops and
// "Manage undo".
#include <gtest/gtest.h>

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
    AppendKeyUndo(s, lines, L"HKEY_LOCAL_MACHINE", L"SOFTWARE\\K");
    const std::vector<std::wstring> want{L"[HKEY_LOCAL_MACHINE\\SOFTWARE\\K]",
                                         L"@=\"top\"",
                                         L"",
                                         L"[HKEY_LOCAL_MACHINE\\SOFTWARE\\K\\A]",
                                         L"\"d\"=dword:00000001",
                                         L"",
                                         L"[HKEY_LOCAL_MACHINE\\SOFTWARE\\K\\B]",
                                         L""};
    EXPECT_EQ(lines, want);
    // The editor was asked for an export into a temporary file named from the clock (minute 5,
    // second 7, millisecond 0), which is gone afterwards.
    ASSERT_FALSE(t.machine.processes.empty());
    EXPECT_EQ(t.machine.processes.back().commandLine,
              std::wstring(L" /s /e \"") + kAppData + L"570\" \"HKEY_LOCAL_MACHINE\\SOFTWARE\\K\"");
    EXPECT_FALSE(t.machine.IsFile(std::wstring(kAppData) + L"570"));

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

    const std::wstring path = CreateUndoFile(s);
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

TEST(CreateUndoFileTest, NothingToSaveWritesNoFile) {
    TestMachine t;
    RunState& s = t.Ready();
    KeyFinding(s, kHkeyLocalMachine, L"\\SOFTWARE\\Gone");
    ValueFinding(s, kHkeyCurrentUser, L"\\Software\\Gone", L"v");
    s.scanInProgress = true;
    EXPECT_EQ(CreateUndoFile(s), L"");
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
    const std::wstring path = CreateUndoFile(s);
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
