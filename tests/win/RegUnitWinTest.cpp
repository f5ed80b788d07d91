// The registry reader against Wine's real registry: paths, the 64-bit view, trimming, type
// checks, the existence and write tests and the tree walk, all through the Win32 seam.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "sysaccess/RegUnit.h"
#include "tests/win/WinTestSupport.h"

namespace bv::wintest {
namespace {

using platform::kRegBinary;
using platform::kRegExpandSz;
using platform::kRegMultiSz;
using platform::kRegQword;

class RunFlag : public ScanControl {
  public:
    bool running = true;
    int pumps = 0;
    bool ScanInProgress() const override { return running; }
    void Pump() override { ++pumps; }
};

class RegUnitReal : public testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(test_.Valid());
        base_ = L"\\" + test_.Path();
    }
    std::wstring P(const std::wstring& sub) const {
        return sub.empty() ? base_ : base_ + L"\\" + sub;
    }

    TestKey test_{L"RegUnit"};
    std::wstring base_;
};

TEST_F(RegUnitReal, PathFormsNameTheSameKey) {
    ASSERT_TRUE(test_.AddKey(L"App Paths\\one.exe"));
    ASSERT_TRUE(test_.AddKey(L"App Paths\\two.exe"));
    std::vector<std::wstring> names{L"stale"};
    for (const std::wstring& path :
         {P(L"App Paths"), P(L"App Paths").substr(1), P(L"App Paths") + L"\\"}) {
        EXPECT_EQ(ListSubkeys(kHkeyCurrentUser, path, names), 2);
        EXPECT_EQ(names, (std::vector<std::wstring>{L"one.exe", L"two.exe"}));
        EXPECT_TRUE(KeyExists(kHkeyCurrentUser, path));
        EXPECT_TRUE(KeyHasSubkeys(kHkeyCurrentUser, path));
    }
    EXPECT_EQ(ListSubkeys(kHkeyCurrentUser, P(L"Missing"), names), 0);
    EXPECT_TRUE(names.empty());
}

TEST_F(RegUnitReal, RootsListTheirTopLevelNames) {
    std::vector<std::wstring> names;
    EXPECT_GT(ListSubkeys(kHkeyClassesRoot, L"", names), 0);
    EXPECT_GT(ListSubkeys(kHkeyLocalMachine, L"", names), 0);
    bool software = false;
    for (const std::wstring& n : names) {
        software = software || ::_wcsicmp(n.c_str(), L"SOFTWARE") == 0;
    }
    EXPECT_TRUE(software);
}

TEST_F(RegUnitReal, ValueNamesIncludeTheUnnamedOne) {
    ASSERT_TRUE(test_.SetString(L"V", L"", L"default"));
    ASSERT_TRUE(test_.SetString(L"V", L"a", L"1"));
    ASSERT_TRUE(test_.SetDword(L"V", L"b", 2));
    std::vector<std::wstring> names;
    EXPECT_EQ(ListValueNames(kHkeyCurrentUser, P(L"V"), names), 3);
    int empty = 0;
    for (const std::wstring& n : names) {
        empty += n.empty() ? 1 : 0;
    }
    EXPECT_EQ(empty, 1);
}

struct ReadCase {
    const char* label;
    std::uint32_t type;
    std::vector<std::uint8_t> data;
    const wchar_t* text;   // ReadStringValue
    std::int32_t integer;  // ReadIntegerValue
};

class ReadValues : public RegUnitReal, public testing::WithParamInterface<ReadCase> {};

TEST_P(ReadValues, TypesTrimmingAndNuls) {
    const ReadCase& c = GetParam();
    ASSERT_TRUE(test_.Set(L"R", L"v", c.type, c.data));
    EXPECT_EQ(ReadStringValue(kHkeyCurrentUser, P(L"R"), L"V"), c.text);
    EXPECT_EQ(ReadIntegerValue(kHkeyCurrentUser, P(L"R"), L"v"), c.integer);
}

std::vector<std::uint8_t> Le32(std::uint32_t v) {
    return {static_cast<std::uint8_t>(v), static_cast<std::uint8_t>(v >> 8),
            static_cast<std::uint8_t>(v >> 16), static_cast<std::uint8_t>(v >> 24)};
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ReadValues,
    testing::Values(
        ReadCase{"Sz", platform::kRegSz, Utf16Bytes(L"C:\\x.exe"), L"C:\\x.exe", 0},
        ReadCase{"SzTrimmed", platform::kRegSz, Utf16Bytes(L" \t C:\\x.exe \r\n"), L"C:\\x.exe", 0},
        ReadCase{"SzOnlyBlanks", platform::kRegSz, Utf16Bytes(L"   "), L"", 0},
        ReadCase{"SzStopsAtNul", platform::kRegSz, {'a', 0, 0, 0, 'b', 0, 0, 0}, L"a", 0},
        ReadCase{"ExpandNotExpanded", kRegExpandSz, Utf16Bytes(L"%SystemRoot%\\x.dll"),
                 L"%SystemRoot%\\x.dll", 0},
        ReadCase{"MultiSz", kRegMultiSz, {'a', 0, 0, 0, 0, 0}, L"", 0},
        ReadCase{"Dword", platform::kRegDword, Le32(0xFFFFFFFE), L"", -2},
        ReadCase{"Qword", kRegQword, {1, 0, 0, 0, 0, 0, 0, 0}, L"", 0},
        ReadCase{"Binary", kRegBinary, {1, 0, 0, 0}, L"", 0}),
    [](const auto& info) { return std::string(info.param.label); });

TEST_F(RegUnitReal, MissingValuesAndKeysReadAsAbsence) {
    ASSERT_TRUE(test_.AddKey(L"Empty"));
    EXPECT_EQ(ReadStringValue(kHkeyCurrentUser, P(L"Empty"), L"none"), L"");
    EXPECT_EQ(ReadIntegerValue(kHkeyCurrentUser, P(L"Empty"), L"none"), 0);
    EXPECT_FALSE(KeyHasSubkeys(kHkeyCurrentUser, P(L"Empty")));
    EXPECT_FALSE(KeyExists(kHkeyCurrentUser, P(L"Missing")));
    EXPECT_FALSE(KeyHasSubkeys(kHkeyCurrentUser, P(L"Missing")));
    EXPECT_EQ(ReadStringValue(kHkeyCurrentUser, P(L"Missing"), L""), L"");
}

TEST_F(RegUnitReal, WriteTestsAndValueExistence) {
    ASSERT_TRUE(test_.SetString(L"W", L"there", L"x"));
    // HKCU is writable by definition, existing or not.
    EXPECT_TRUE(CanOpenKeyForWrite(kHkeyCurrentUser, P(L"Missing\\Deeper")));
    EXPECT_TRUE(KeyExists(kHkeyCurrentUser, P(L"W")));
    // Wine's user is an administrator: machine keys open for full access when they exist.
    EXPECT_TRUE(CanOpenKeyForWrite(kHkeyLocalMachine, L"\\SOFTWARE\\Microsoft"));
    EXPECT_FALSE(CanOpenKeyForWrite(kHkeyLocalMachine, L"\\SOFTWARE\\BrimvaleNoSuchKey"));

    EXPECT_TRUE(ValueExistsInKey(kHkeyCurrentUser, P(L"W"), L"THERE"));
    EXPECT_FALSE(ValueExistsInKey(kHkeyCurrentUser, P(L"W"), L"absent"));
    // The re-test never leaves an empty key behind.
    EXPECT_FALSE(ValueExistsInKey(kHkeyCurrentUser, P(L"NotCreated"), L"x"));
    EXPECT_FALSE(KeyExists(kHkeyCurrentUser, P(L"NotCreated")));
}

TEST_F(RegUnitReal, ReaderUsesThe64BitView) {
    // On 64-bit Windows a key made in the 32-bit view lives under Wow6432Node and the reader sees
    // it only there. 32-bit Windows has one view: the flags are ignored and the key is where it
    // was named.
    const wchar_t* name = L"SOFTWARE\\BrimvaleTest32View";
    HKEY created = nullptr;
    ASSERT_EQ(::RegCreateKeyExW(HKEY_LOCAL_MACHINE, name, 0, nullptr, REG_OPTION_NON_VOLATILE,
                                KEY_ALL_ACCESS | KEY_WOW64_32KEY, nullptr, &created, nullptr),
              ERROR_SUCCESS);
    ::RegSetValueExW(created, L"v", 0, REG_SZ, reinterpret_cast<const BYTE*>(L"x"), 4);
    ::RegCloseKey(created);

    const bool twoViews = On64BitWindows();
    const std::wstring plain = L"\\SOFTWARE\\BrimvaleTest32View";
    const std::wstring wow = L"\\SOFTWARE\\Wow6432Node\\BrimvaleTest32View";
    EXPECT_EQ(KeyExists(kHkeyLocalMachine, plain), !twoViews);
    EXPECT_EQ(KeyExists(kHkeyLocalMachine, wow), twoViews);
    EXPECT_EQ(ReadStringValue(kHkeyLocalMachine, twoViews ? wow : plain, L"v"), L"x");
    ::RegDeleteKeyExW(HKEY_LOCAL_MACHINE, name, KEY_WOW64_32KEY, 0);
}

TEST_F(RegUnitReal, KeyTreeHasValuesFindsTheFirstKeyWithValues) {
    ASSERT_TRUE(test_.AddKey(L"T\\Child\\Grand"));
    ASSERT_TRUE(test_.SetString(L"T\\Child\\Grand", L"a", L"1"));
    ASSERT_TRUE(test_.SetString(L"T\\Child\\Grand", L"b", L"2"));
    ASSERT_TRUE(test_.SetString(L"T\\Later", L"c", L"3"));
    ASSERT_TRUE(test_.AddKey(L"Bare\\Sub\\Sub"));

    RunFlag run;
    std::int32_t total = 0;
    EXPECT_TRUE(KeyTreeHasValues(kHkeyCurrentUser, P(L"T"), total, run));
    EXPECT_EQ(total, 2);  // the grandchild's two values; "Later" is never opened
    EXPECT_GT(run.pumps, 0);

    total = 0;
    KeyTreeHasValues(kHkeyCurrentUser, P(L"Bare"), total, run);
    EXPECT_EQ(total, 0);
    total = 0;
    KeyTreeHasValues(kHkeyCurrentUser, P(L"Missing"), total, run);
    EXPECT_EQ(total, 0);

    run.running = false;
    total = 0;
    EXPECT_FALSE(KeyTreeHasValues(kHkeyCurrentUser, P(L"T"), total, run));
    EXPECT_EQ(total, 0);
}

}  // namespace
}  // namespace bv::wintest
