// Tests of the registry reader on the simulated machine: open rules, type and size checks,
// trimming, access checks and the key-tree walk.
#include "sysaccess/RegUnit.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "platform/sim/SimMachine.h"

namespace bv {
namespace {

namespace pf = platform;
using Bytes = std::vector<std::uint8_t>;

const std::wstring kAppPaths = L"\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\App Paths";

Bytes Utf16(std::wstring_view text) {
    std::vector<std::uint8_t> bytes;
    for (wchar_t c : text) {
        bytes.push_back(static_cast<std::uint8_t>(static_cast<std::uint32_t>(c) & 0xFF));
        bytes.push_back(static_cast<std::uint8_t>((static_cast<std::uint32_t>(c) >> 8) & 0xFF));
    }
    return bytes;
}

class RegUnitTest : public ::testing::Test {
  protected:
    sim::Machine machine;
    sim::ScopedMachine use{machine};
    sim::Registry& reg = machine.registry;
};

// ---- Paths name keys the same way with and without their outer "\" ----

TEST_F(RegUnitTest, PathFormsNameOneKey) {
    reg.SetString(kHkeyLocalMachine, kAppPaths + L"\\app.exe", L"", L"C:\\app.exe");
    reg.Create(kHkeyLocalMachine, kAppPaths + L"\\other.exe");
    reg.SetString(kHkeyLocalMachine, kAppPaths, L"probe", L"here");
    const std::wstring forms[] = {kAppPaths, kAppPaths.substr(1), kAppPaths + L"\\",
                                  kAppPaths.substr(1) + L"\\"};
    for (const std::wstring& path : forms) {
        SCOPED_TRACE(testing::Message() << "path " << testing::PrintToString(path));
        std::vector<std::wstring> names;
        EXPECT_EQ(ListSubkeys(kHkeyLocalMachine, path, names), 2);
        EXPECT_EQ(names, (std::vector<std::wstring>{L"app.exe", L"other.exe"}));
        EXPECT_TRUE(KeyExists(kHkeyLocalMachine, path));
        EXPECT_TRUE(KeyHasSubkeys(kHkeyLocalMachine, path));
        EXPECT_EQ(ReadStringValue(kHkeyLocalMachine, path, L"probe"), L"here");
    }
}

TEST_F(RegUnitTest, EmptyPathListsTheRoot) {
    reg.Create(kHkeyClassesRoot, L".txt");
    reg.Create(kHkeyClassesRoot, L"CLSID");
    reg.Create(kHkeyClassesRoot, L"txtfile\\shell");
    std::vector<std::wstring> names{L"stale"};
    EXPECT_EQ(ListSubkeys(kHkeyClassesRoot, L"", names), 3);
    EXPECT_EQ(names, (std::vector<std::wstring>{L".txt", L"CLSID", L"txtfile"}));
    // The roots are separate trees.
    EXPECT_EQ(ListSubkeys(kHkeyCurrentUser, L"", names), 0);
    EXPECT_TRUE(names.empty());
}

TEST_F(RegUnitTest, ValueNamesIncludeTheUnnamedValue) {
    reg.SetString(kHkeyCurrentUser, L"Software\\V", L"", L"default");
    reg.SetDword(kHkeyCurrentUser, L"Software\\V", L"one", 1);
    reg.SetString(kHkeyCurrentUser, L"Software\\V", L"two", L"2");
    std::vector<std::wstring> names;
    EXPECT_EQ(ListValueNames(kHkeyCurrentUser, L"\\Software\\V", names), 3);
    EXPECT_EQ(names, (std::vector<std::wstring>{L"", L"one", L"two"}));
}

TEST_F(RegUnitTest, ListingsOfAKeyThatDoesNotOpenAreEmpty) {
    reg.Create(kHkeyLocalMachine, L"SOFTWARE\\Locked\\Child");
    reg.SetDword(kHkeyLocalMachine, L"SOFTWARE\\Locked", L"v", 1);
    reg.SetRight(kHkeyLocalMachine, L"SOFTWARE\\Locked", sim::Right::None);
    std::vector<std::wstring> names{L"stale"};
    EXPECT_EQ(ListSubkeys(kHkeyLocalMachine, L"SOFTWARE\\Missing", names), 0);
    EXPECT_TRUE(names.empty());
    names = {L"stale"};
    EXPECT_EQ(ListValueNames(kHkeyLocalMachine, L"SOFTWARE\\Missing", names), 0);
    EXPECT_TRUE(names.empty());
    EXPECT_EQ(ListSubkeys(kHkeyLocalMachine, L"SOFTWARE\\Locked", names), 0);
    EXPECT_EQ(ListValueNames(kHkeyLocalMachine, L"SOFTWARE\\Locked", names), 0);
    EXPECT_FALSE(KeyExists(kHkeyLocalMachine, L"SOFTWARE\\Locked"));
    EXPECT_FALSE(KeyHasSubkeys(kHkeyLocalMachine, L"SOFTWARE\\Locked"));
}

TEST_F(RegUnitTest, LongNamesAreListedWhole) {
    const std::wstring longKey(255, L'k');
    const std::wstring longValue(16383, L'v');
    reg.Create(kHkeyCurrentUser, L"Software\\Long\\" + longKey);
    reg.SetDword(kHkeyCurrentUser, L"Software\\Long", longValue, 7);
    std::vector<std::wstring> names;
    ASSERT_EQ(ListSubkeys(kHkeyCurrentUser, L"Software\\Long", names), 1);
    EXPECT_EQ(names[0], longKey);
    ASSERT_EQ(ListValueNames(kHkeyCurrentUser, L"Software\\Long", names), 1);
    EXPECT_EQ(names[0], longValue);
    EXPECT_EQ(ReadIntegerValue(kHkeyCurrentUser, L"Software\\Long", longValue), 7);
}

// A name holding NUL would reach the API cut short and name another key or value.
TEST_F(RegUnitTest, NamesHoldingNulNameNothing) {
    reg.SetString(kHkeyCurrentUser, L"Software\\N", L"a", L"text of a");
    const std::wstring nulPath = std::wstring(L"Software\\N") + L'\0' + L"x";
    const std::wstring nulName = std::wstring(L"a") + L'\0' + L"b";
    std::vector<std::wstring> names;
    EXPECT_EQ(ListValueNames(kHkeyCurrentUser, nulPath, names), 0);
    EXPECT_FALSE(KeyExists(kHkeyCurrentUser, nulPath));
    EXPECT_EQ(ReadStringValue(kHkeyCurrentUser, L"Software\\N", nulName), L"");
    EXPECT_FALSE(ValueExistsInKey(kHkeyCurrentUser, L"Software\\N", nulName));
}

// ---- Reading strings: type, size, termination and trimming ----

struct StringCase {
    const char* name;
    std::uint32_t type;
    Bytes data;
    std::wstring expected;
};

TEST_F(RegUnitTest, ReadStringValueChecksTypeSizeAndTrims) {
    Bytes noTerminator = Utf16(L"C:\\no\\nul.exe");
    Bytes oddCount = Utf16(L"odd");
    oddCount.push_back(0x41);
    Bytes embedded = Utf16(std::wstring(L"first") + L'\0' + L"second");
    const StringCase cases[] = {
        {"ExpandUnexpanded", pf::kRegExpandSz, Utf16(std::wstring(L"%SystemRoot%\\x.dll") + L'\0'),
         L"%SystemRoot%\\x.dll"},
        {"MultiIsIgnored", pf::kRegMultiSz,
         Utf16(std::wstring(L"a") + L'\0' + L"b" + L'\0' + L'\0'), L""},
        {"BlanksTrimmed", pf::kRegSz, Utf16(std::wstring(L" \t C:\\a b\\c.exe \r\n") + L'\0'),
         L"C:\\a b\\c.exe"},
        {"OnlyBlanks", pf::kRegSz, Utf16(std::wstring(L"   \t ") + L'\0'), L""},
        {"NoTerminator", pf::kRegSz, noTerminator, L"C:\\no\\nul.exe"},
        {"OddByteCount", pf::kRegSz, oddCount, L"odd"},
        {"SingleByte", pf::kRegSz, Bytes{0x41}, L""},
        {"EmptyData", pf::kRegSz, Bytes{}, L""},
        {"EndsAtFirstNul", pf::kRegSz, embedded, L"first"},
        {"DwordIsIgnored", pf::kRegDword, Bytes{1, 0, 0, 0}, L""},
        {"BinaryIsIgnored", pf::kRegBinary, Utf16(L"C:\\bin.exe"), L""},
        {"NoneIsIgnored", pf::kRegNone, Utf16(L"C:\\none.exe"), L""},
        {"NonAscii", pf::kRegSz, Utf16(std::wstring(L"C:\\Caf\u00e9\\\u4e2d.exe") + L'\0'),
         L"C:\\Caf\u00e9\\\u4e2d.exe"},
    };
    for (const StringCase& c : cases) {
        SCOPED_TRACE(c.name);
        reg.SetValue(kHkeyLocalMachine, L"SOFTWARE\\S", L"v", c.type, c.data);
        EXPECT_EQ(ReadStringValue(kHkeyLocalMachine, L"SOFTWARE\\S", L"v"), c.expected);
    }
}

TEST_F(RegUnitTest, ReadStringValueOfWhatIsNotThereIsEmpty) {
    reg.SetString(kHkeyLocalMachine, L"SOFTWARE\\S", L"v", L"x");
    reg.SetRight(kHkeyLocalMachine, L"SOFTWARE\\S", sim::Right::None);
    EXPECT_EQ(ReadStringValue(kHkeyLocalMachine, L"SOFTWARE\\S", L"v"), L"");
    EXPECT_EQ(ReadStringValue(kHkeyLocalMachine, L"SOFTWARE\\Missing", L"v"), L"");
    reg.SetString(kHkeyCurrentUser, L"Software\\S", L"v", L"x");
    EXPECT_EQ(ReadStringValue(kHkeyCurrentUser, L"Software\\S", L"other"), L"");
    EXPECT_EQ(ReadStringValue(kHkeyCurrentUser, L"Software\\S", L""), L"");
}

TEST_F(RegUnitTest, QueryStringAsStoredKeepsBlanks) {
    reg.SetString(kHkeyCurrentUser, L"Software\\S", L"v", L"  padded  ");
    const RegKey key = OpenKeyReadOnly(kHkeyCurrentUser, L"\\Software\\S");
    ASSERT_TRUE(key);
    std::wstring text;
    EXPECT_TRUE(QueryStringAsStored(key, L"v", text));
    EXPECT_EQ(text, L"  padded  ");
    EXPECT_FALSE(QueryStringAsStored(key, L"missing", text));
    EXPECT_EQ(text, L"");
    std::uint32_t type = 0;
    EXPECT_TRUE(QueryValueType(key, L"v", type));
    EXPECT_EQ(type, pf::kRegSz);
    std::vector<std::uint8_t> data;
    EXPECT_TRUE(QueryValueData(key, L"v", type, data));
    EXPECT_EQ(data.size(), (10u + 1u) * 2u);
}

// ---- Reading integers ----

struct IntegerCase {
    const char* name;
    std::uint32_t type;
    Bytes data;
    std::int32_t expected;
};

TEST_F(RegUnitTest, ReadIntegerValueReadsOnlyFourByteDwords) {
    const IntegerCase cases[] = {
        {"Dword", pf::kRegDword, {42, 0, 0, 0}, 42},
        {"DwordHighBytes", pf::kRegDword, {0x78, 0x56, 0x34, 0x12}, 0x12345678},
        {"DwordNegative", pf::kRegDword, {0xFF, 0xFF, 0xFF, 0xFF}, -1},
        {"DwordZero", pf::kRegDword, {0, 0, 0, 0}, 0},
        {"DwordTooShort", pf::kRegDword, {5, 0}, 0},
        {"DwordEmpty", pf::kRegDword, {}, 0},
        {"DwordTooLong", pf::kRegDword, {5, 0, 0, 0, 0, 0, 0, 0}, 0},
        {"Qword", pf::kRegQword, {5, 0, 0, 0, 0, 0, 0, 0}, 0},
        {"Binary", pf::kRegBinary, {5, 0, 0, 0}, 0},
        {"BigEndian", pf::kRegDwordBigEndian, {0, 0, 0, 5}, 0},
        {"String", pf::kRegSz, Utf16(std::wstring(L"5") + L'\0'), 0},
    };
    for (const IntegerCase& c : cases) {
        SCOPED_TRACE(c.name);
        reg.SetValue(kHkeyCurrentUser, L"Software\\I", L"n", c.type, c.data);
        EXPECT_EQ(ReadIntegerValue(kHkeyCurrentUser, L"Software\\I", L"n"), c.expected);
    }
    EXPECT_EQ(ReadIntegerValue(kHkeyCurrentUser, L"Software\\I", L"missing"), 0);
    EXPECT_EQ(ReadIntegerValue(kHkeyCurrentUser, L"Software\\Missing", L"n"), 0);
}

// ---- Existence and access ----

TEST_F(RegUnitTest, KeyExistsAndKeyHasSubkeys) {
    reg.Create(kHkeyLocalMachine, L"SOFTWARE\\Parent\\Child");
    reg.SetDword(kHkeyLocalMachine, L"SOFTWARE\\Leaf", L"v", 1);
    struct Case {
        const wchar_t* path;
        bool exists;
        bool hasSubkeys;
    };
    const Case cases[] = {
        {L"\\SOFTWARE\\Parent", true, true},
        {L"SOFTWARE\\Parent\\Child", true, false},
        {L"SOFTWARE\\Leaf", true, false},
        {L"SOFTWARE\\Missing", false, false},
        {L"SOFTWARE\\Parent\\Missing\\Deeper", false, false},
        {L"", true, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::PrintToString(std::wstring(c.path)));
        EXPECT_EQ(KeyExists(kHkeyLocalMachine, c.path), c.exists);
        EXPECT_EQ(KeyHasSubkeys(kHkeyLocalMachine, c.path), c.hasSubkeys);
    }
}

TEST_F(RegUnitTest, CanOpenKeyForWrite) {
    reg.Create(kHkeyLocalMachine, L"SOFTWARE\\Vendor");
    reg.Create(kHkeyClassesRoot, L"CLSID\\{1}");
    struct Case {
        const char* name;
        bool administrator;
        std::uint32_t root;
        const wchar_t* path;
        bool expected;
    };
    const Case cases[] = {
        {"UserKeyMissing", false, kHkeyCurrentUser, L"Software\\Nowhere", true},
        {"UserKeyMissingAdmin", true, kHkeyCurrentUser, L"\\Software\\Nowhere", true},
        {"MachineKeyAdmin", true, kHkeyLocalMachine, L"\\SOFTWARE\\Vendor", true},
        {"MachineKeyUser", false, kHkeyLocalMachine, L"SOFTWARE\\Vendor", false},
        {"MachineKeyMissing", true, kHkeyLocalMachine, L"SOFTWARE\\Missing", false},
        {"ClassKeyAdmin", true, kHkeyClassesRoot, L"CLSID\\{1}", true},
        {"ClassKeyUser", false, kHkeyClassesRoot, L"CLSID\\{1}", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        machine.administrator = c.administrator;
        EXPECT_EQ(CanOpenKeyForWrite(c.root, c.path), c.expected);
    }
    // Asking never creates anything.
    EXPECT_EQ(reg.Find(kHkeyLocalMachine, L"SOFTWARE\\Missing"), nullptr);
}

TEST_F(RegUnitTest, ValueExistsInKeyNeedsFullAccessAndNeverCreates) {
    reg.SetString(kHkeyCurrentUser, L"Software\\E", L"named", L"x");
    reg.SetString(kHkeyCurrentUser, L"Software\\E", L"", L"default");
    reg.SetString(kHkeyLocalMachine, L"SOFTWARE\\E", L"named", L"x");
    struct Case {
        const char* name;
        bool administrator;
        std::uint32_t root;
        const wchar_t* path;
        const wchar_t* value;
        bool expected;
    };
    const Case cases[] = {
        {"UserValue", false, kHkeyCurrentUser, L"\\Software\\E", L"NAMED", true},
        {"UserDefault", false, kHkeyCurrentUser, L"Software\\E", L"", true},
        {"UserMissingValue", false, kHkeyCurrentUser, L"Software\\E", L"other", false},
        {"UserMissingKey", false, kHkeyCurrentUser, L"Software\\E\\Gone", L"named", false},
        {"MachineAdmin", true, kHkeyLocalMachine, L"SOFTWARE\\E", L"named", true},
        {"MachineUser", false, kHkeyLocalMachine, L"SOFTWARE\\E", L"named", false},
        {"MachineMissingKey", true, kHkeyLocalMachine, L"SOFTWARE\\Gone", L"named", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        machine.administrator = c.administrator;
        EXPECT_EQ(ValueExistsInKey(c.root, c.path, c.value), c.expected);
    }
    EXPECT_EQ(reg.Find(kHkeyCurrentUser, L"Software\\E\\Gone"), nullptr);
    EXPECT_EQ(reg.Find(kHkeyLocalMachine, L"SOFTWARE\\Gone"), nullptr);
}

TEST_F(RegUnitTest, RegKeyClosesAndMoves) {
    reg.Create(kHkeyCurrentUser, L"Software\\K");
    RegKey first = OpenKeyReadOnly(kHkeyCurrentUser, L"Software\\K");
    ASSERT_TRUE(first);
    RegKey second = std::move(first);
    EXPECT_FALSE(first);  // NOLINT(bugprone-use-after-move): moved-from is empty by contract
    EXPECT_TRUE(second);
    RegKey third;
    third = std::move(second);
    EXPECT_FALSE(second);  // NOLINT(bugprone-use-after-move)
    ASSERT_TRUE(third);
    std::vector<std::wstring> names;
    EXPECT_EQ(ListSubkeys(third, names), 0);
    third.Close();
    EXPECT_FALSE(third);
    EXPECT_FALSE(OpenKeyReadOnly(kHkeyCurrentUser, L"Software\\Missing"));
}

TEST_F(RegUnitTest, TrimControlRemovesCodesUpTo32) {
    const std::pair<std::wstring, std::wstring> cases[] = {
        {L"", L""},
        {L" \t\r\n", L""},
        {std::wstring(L"\x01\x1f") + L'\0' + L"a b" + L'\0', L"a b"},
        {L"\x21x\x21", L"\x21x\x21"},
        {L"\u00a0x\u00a0", L"\u00a0x\u00a0"},  // no-break space is above 32
    };
    for (const auto& [input, expected] : cases) {
        EXPECT_EQ(TrimControl(input), expected) << testing::PrintToString(input);
    }
}

// ---- KeyTreeHasValues ----

// The scan's stop flag and pump; a test may stop the scan at a given pump.
class FakeScan : public ScanControl {
  public:
    bool running = true;
    int pumps = 0;
    int stopAtPump = 0;  // 0: never
    bool ScanInProgress() const override { return running; }
    void Pump() override {
        ++pumps;
        if (pumps == stopAtPump) {
            running = false;
        }
    }
};

class KeyTreeTest : public RegUnitTest {
  protected:
    FakeScan scan;
    std::int32_t errorTotal = 0;

    bool Walk(std::wstring_view path) {
        return KeyTreeHasValues(kHkeyLocalMachine, path, errorTotal, scan);
    }
};

TEST_F(KeyTreeTest, CountsTheFirstKeyWithValuesInPreOrder) {
    reg.Create(kHkeyLocalMachine, L"SOFTWARE\\T\\A\\A1");
    reg.SetDword(kHkeyLocalMachine, L"SOFTWARE\\T\\A\\A2\\G", L"one", 1);
    reg.SetDword(kHkeyLocalMachine, L"SOFTWARE\\T\\A\\A2\\G", L"two", 2);
    reg.SetDword(kHkeyLocalMachine, L"SOFTWARE\\T\\B", L"x", 1);
    reg.SetDword(kHkeyLocalMachine, L"SOFTWARE\\T\\B", L"y", 1);
    reg.SetDword(kHkeyLocalMachine, L"SOFTWARE\\T\\B", L"z", 1);
    EXPECT_TRUE(Walk(L"\\SOFTWARE\\T"));
    EXPECT_EQ(errorTotal, 2);
    // T, A, A1, A2, G are opened; B is still called once (pump, then return).
    EXPECT_EQ(scan.pumps, 6);
}

TEST_F(KeyTreeTest, UnnamedValueCounts) {
    reg.SetString(kHkeyLocalMachine, L"SOFTWARE\\T\\Child", L"", L"x");
    EXPECT_TRUE(Walk(L"SOFTWARE\\T\\"));
    EXPECT_EQ(errorTotal, 1);
}

TEST_F(KeyTreeTest, TreeWithoutValuesLeavesZero) {
    reg.Create(kHkeyLocalMachine, L"SOFTWARE\\T\\A\\B\\C");
    reg.Create(kHkeyLocalMachine, L"SOFTWARE\\T\\D");
    EXPECT_TRUE(Walk(L"SOFTWARE\\T"));
    EXPECT_EQ(errorTotal, 0);
    EXPECT_EQ(scan.pumps, 5);
}

TEST_F(KeyTreeTest, ShortPathMissingKeyAndUnreadableKeyAddNothing) {
    reg.SetDword(kHkeyLocalMachine, L"S", L"v", 1);
    reg.SetDword(kHkeyLocalMachine, L"SOFTWARE\\Locked", L"v", 1);
    reg.SetRight(kHkeyLocalMachine, L"SOFTWARE\\Locked", sim::Right::None);
    const wchar_t* paths[] = {L"", L"S", L"\\", L"SOFTWARE\\Missing", L"SOFTWARE\\Locked"};
    for (const wchar_t* path : paths) {
        SCOPED_TRACE(testing::PrintToString(std::wstring(path)));
        errorTotal = 0;
        EXPECT_TRUE(Walk(path));
        EXPECT_EQ(errorTotal, 0);
    }
}

TEST_F(KeyTreeTest, CounterAlreadyAboveZeroReturnsAtOnce) {
    reg.SetDword(kHkeyLocalMachine, L"SOFTWARE\\T", L"v", 1);
    errorTotal = 7;
    EXPECT_TRUE(Walk(L"SOFTWARE\\T"));
    EXPECT_EQ(errorTotal, 7);
    EXPECT_EQ(scan.pumps, 1);
}

TEST_F(KeyTreeTest, StoppedBeforeTheWalkDoesNothingAndSaysSo) {
    reg.SetDword(kHkeyLocalMachine, L"SOFTWARE\\T", L"v", 1);
    scan.running = false;
    EXPECT_FALSE(Walk(L"SOFTWARE\\T"));
    EXPECT_EQ(errorTotal, 0);
    EXPECT_EQ(scan.pumps, 1);
}

// A stop during the walk must not make a key with values look empty.
TEST_F(KeyTreeTest, StopDuringTheWalkIsReported) {
    reg.Create(kHkeyLocalMachine, L"SOFTWARE\\T\\A");
    reg.SetDword(kHkeyLocalMachine, L"SOFTWARE\\T\\B", L"v", 1);
    for (int stopAt = 1; stopAt <= 3; ++stopAt) {
        SCOPED_TRACE(stopAt);
        scan = FakeScan();
        scan.stopAtPump = stopAt;
        errorTotal = 0;
        EXPECT_FALSE(Walk(L"SOFTWARE\\T"));
        EXPECT_EQ(errorTotal, 0);
    }
    scan = FakeScan();
    scan.stopAtPump = 4;  // never reached: B is counted at the third pump
    errorTotal = 0;
    EXPECT_TRUE(Walk(L"SOFTWARE\\T"));
    EXPECT_EQ(errorTotal, 1);
}

TEST_F(KeyTreeTest, DeepChainsDoNotExhaustTheStack) {
    std::wstring path = L"SOFTWARE\\Deep";
    for (int level = 0; level < 511; ++level) {
        path += L"\\k";
    }
    reg.SetDword(kHkeyLocalMachine, path, L"a", 1);
    reg.SetDword(kHkeyLocalMachine, path, L"b", 1);
    EXPECT_TRUE(Walk(L"SOFTWARE\\Deep"));
    EXPECT_EQ(errorTotal, 2);
    EXPECT_EQ(scan.pumps, 512);
}

// Only a link cycle reaches below the registry's own depth limit: the walk gives up there.
TEST_F(KeyTreeTest, WalkBelowAnyRealDepthIsCutShort) {
    std::wstring path = L"SOFTWARE\\Deep";
    for (int level = 0; level < 600; ++level) {
        path += L"\\k";
    }
    reg.Create(kHkeyLocalMachine, path);
    EXPECT_FALSE(Walk(L"SOFTWARE\\Deep"));
    EXPECT_EQ(errorTotal, 0);
}

}  // namespace
}  // namespace bv
