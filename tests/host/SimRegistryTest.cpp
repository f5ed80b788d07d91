// The simulated registry through the platform seam: masks and rights, names without letter
// case, enumeration order and Win32's error codes, value sizes, creation and deleted keys.
#include <gtest/gtest.h>

#include <cwchar>
#include <optional>
#include <string>
#include <vector>

#include "platform/Platform.h"
#include "platform/sim/SimMachine.h"

namespace bv::sim {
namespace {

using namespace bv::platform;

constexpr Status kBadPathname = 161;
constexpr Status kKeyDeleted = 1018;
const HKey kHkcr = PredefinedKey(kHkeyClassesRoot);
const HKey kHkcu = PredefinedKey(kHkeyCurrentUser);
const HKey kHklm = PredefinedKey(kHkeyLocalMachine);

// Closes a handle at the end of a test, whatever happens.
struct Handle {
    HKey key = 0;
    ~Handle() {
        if (key != 0) {
            RegCloseKey(key);
        }
    }
};

class SimRegistryTest : public ::testing::Test {
  protected:
    SimRegistryTest() : scope_(machine_) {}
    Machine machine_;
    ScopedMachine scope_;
};

TEST_F(SimRegistryTest, PredefinedKeysAreValuesOfWindows) {
    EXPECT_EQ(kHkcr, static_cast<HKey>(static_cast<std::intptr_t>(-2147483647 - 1)));
    EXPECT_EQ(RegCloseKey(kHklm), kErrorSuccess);
    EXPECT_EQ(RegCloseKey(0x12345678), kErrorInvalidHandle);
    Handle h;
    ASSERT_EQ(RegOpenKeyEx(kHkcu, L"", 0, kKeyRead, &h.key), kErrorSuccess);
    EXPECT_NE(h.key, 0u);
    EXPECT_NE(h.key, kHkcu);
}

struct AccessCase {
    const char* name;
    bool admin;
    std::uint32_t root;
    std::optional<Right> right;  // explicit right on the key
    std::uint32_t sam;
    Status expected;
};

const AccessCase kAccessCases[] = {
    {"AdminHklmFull", true, kHkeyLocalMachine, std::nullopt, kKeyAllAccess | kKeyWow6464Key, 0},
    {"AdminHklmRead", true, kHkeyLocalMachine, std::nullopt, 0x20119, 0},
    {"UserHklmFull", false, kHkeyLocalMachine, std::nullopt, 0xF013F, kErrorAccessDenied},
    {"UserHklmRead", false, kHkeyLocalMachine, std::nullopt, 0x20119, 0},
    {"UserHklmQueryOnly", false, kHkeyLocalMachine, std::nullopt, 0x101, 0},
    {"UserHklmSetValue", false, kHkeyLocalMachine, std::nullopt, kKeySetValue, kErrorAccessDenied},
    {"UserHklmDelete", false, kHkeyLocalMachine, std::nullopt, kDelete, kErrorAccessDenied},
    {"UserHklmWriteDac", false, kHkeyLocalMachine, std::nullopt, kWriteDac, kErrorAccessDenied},
    {"UserHklmCreateLink", false, kHkeyLocalMachine, std::nullopt, kKeyCreateLink,
     kErrorAccessDenied},
    {"UserHklmNotify", false, kHkeyLocalMachine, std::nullopt, kKeyNotify, 0},
    {"UserHkcrFull", false, kHkeyClassesRoot, std::nullopt, 0xF013F, kErrorAccessDenied},
    {"UserHkcuFull", false, kHkeyCurrentUser, std::nullopt, 0xF013F, 0},
    {"UserHklmExplicitFullStillRead", false, kHkeyLocalMachine, Right::Full, 0xF013F,
     kErrorAccessDenied},
    {"AdminExplicitReadNoFull", true, kHkeyLocalMachine, Right::Read, 0xF013F, kErrorAccessDenied},
    {"AdminExplicitReadRead", true, kHkeyLocalMachine, Right::Read, 0x20119, 0},
    {"AdminExplicitNone", true, kHkeyLocalMachine, Right::None, 0x20119, kErrorAccessDenied},
    {"AdminExplicitNoneQuery", true, kHkeyLocalMachine, Right::None, 0x101, kErrorAccessDenied},
    {"UserHkcuExplicitRead", false, kHkeyCurrentUser, Right::Read, 0xF013F, kErrorAccessDenied},
    {"UserHkcuExplicitNone", false, kHkeyCurrentUser, Right::None, 0x20019, kErrorAccessDenied},
    {"Wow6432BitIgnored", false, kHkeyCurrentUser, std::nullopt, 0x20219, 0},
};

class SimRegistryAccessTest : public ::testing::TestWithParam<AccessCase> {};

TEST_P(SimRegistryAccessTest, OpenHonoursRightsAndMask) {
    const AccessCase& c = GetParam();
    Machine machine;
    machine.administrator = c.admin;
    machine.registry.Create(c.root, L"Software\\Vendor\\App");
    if (c.right) {
        machine.registry.SetRight(c.root, L"Software\\Vendor", *c.right);
    }
    ScopedMachine scope(machine);
    Handle h;
    EXPECT_EQ(RegOpenKeyEx(PredefinedKey(c.root), L"Software\\Vendor\\App", 0, c.sam, &h.key),
              c.expected);
    // The right is inherited by the subtree and by nothing above it.
    Handle above;
    EXPECT_EQ(RegOpenKeyEx(PredefinedKey(c.root), L"Software", 0, 0x20119, &above.key),
              kErrorSuccess);
}

INSTANTIATE_TEST_SUITE_P(Cases, SimRegistryAccessTest, ::testing::ValuesIn(kAccessCases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(SimRegistryTest, DeeperRightOverridesInherited) {
    machine_.registry.Create(kHkeyLocalMachine, L"A\\B\\C");
    machine_.registry.SetRight(kHkeyLocalMachine, L"A", Right::None);
    machine_.registry.SetRight(kHkeyLocalMachine, L"A\\B", Right::Read);
    Handle a, b, c, full;
    EXPECT_EQ(RegOpenKeyEx(kHklm, L"A", 0, kKeyRead, &a.key), kErrorAccessDenied);
    EXPECT_EQ(RegOpenKeyEx(kHklm, L"A\\B", 0, kKeyRead, &b.key), kErrorSuccess);
    EXPECT_EQ(RegOpenKeyEx(kHklm, L"A\\B\\C", 0, kKeyRead, &c.key), kErrorSuccess);
    EXPECT_EQ(RegOpenKeyEx(kHklm, L"A\\B\\C", 0, kKeyAllAccess, &full.key), kErrorAccessDenied);
}

struct PathCase {
    const wchar_t* root;  // parent key path opened first ("" for the predefined key)
    HKey predefined;
    const wchar_t* subKey;
    Status expected;
};

TEST_F(SimRegistryTest, PathsFollowWindows) {
    machine_.registry.Create(kHkeyLocalMachine, L"SOFTWARE\\Microsoft\\Windows");
    machine_.registry.Create(kHkeyClassesRoot, L"CLSID");
    const PathCase cases[] = {
        {L"", kHklm, L"SOFTWARE\\Microsoft\\Windows", kErrorSuccess},
        {L"", kHklm, L"software\\MICROSOFT\\windows", kErrorSuccess},
        {L"", kHklm, L"SOFTWARE\\Microsoft\\Windows\\", kErrorSuccess},
        {L"", kHklm, L"SOFTWARE\\Microsoft\\Windows\\\\", kErrorSuccess},
        {L"", kHklm, L"\\SOFTWARE\\Microsoft", kBadPathname},
        {L"", kHkcr, L"\\clsid", kErrorSuccess},
        {L"", kHklm, L"SOFTWARE\\Missing", kErrorFileNotFound},
        {L"", kHklm, L"", kErrorSuccess},
        {L"", kHklm, nullptr, kErrorSuccess},
        {L"SOFTWARE", 0, L"Microsoft", kErrorSuccess},
        {L"SOFTWARE", 0, L"", kErrorSuccess},
        {L"SOFTWARE", 0, L"Windows", kErrorFileNotFound},
    };
    for (const PathCase& c : cases) {
        Handle parent;
        HKey from = c.predefined;
        if (from == 0) {
            ASSERT_EQ(RegOpenKeyEx(kHklm, c.root, 0, kKeyRead, &parent.key), kErrorSuccess);
            from = parent.key;
        }
        Handle h;
        EXPECT_EQ(RegOpenKeyEx(from, c.subKey, 0, kKeyRead, &h.key), c.expected)
            << (c.subKey ? std::string(c.subKey, c.subKey + std::wcslen(c.subKey)) : "null");
    }
}

TEST_F(SimRegistryTest, EnumerationKeepsInsertionOrderAndErrors) {
    Registry& reg = machine_.registry;
    reg.Create(kHkeyCurrentUser, L"K\\zeta");
    reg.Create(kHkeyCurrentUser, L"K\\Alpha");
    reg.Create(kHkeyCurrentUser, L"K\\middle");
    reg.SetString(kHkeyCurrentUser, L"K", L"b", L"1");
    reg.SetString(kHkeyCurrentUser, L"K", L"", L"default");
    reg.SetDword(kHkeyCurrentUser, L"K", L"A", 7);
    Handle h;
    ASSERT_EQ(RegOpenKeyEx(kHkcu, L"k", 0, kKeyRead, &h.key), kErrorSuccess);

    std::vector<std::wstring> keys;
    wchar_t name[64];
    for (std::uint32_t i = 0;; ++i) {
        std::uint32_t len = 64;
        Status s = RegEnumKeyEx(h.key, i, name, &len);
        if (s == kErrorNoMoreItems) {
            break;
        }
        ASSERT_EQ(s, kErrorSuccess);
        EXPECT_EQ(len, std::wcslen(name));
        keys.emplace_back(name, len);
    }
    EXPECT_EQ(keys, (std::vector<std::wstring>{L"zeta", L"Alpha", L"middle"}));

    std::vector<std::pair<std::wstring, std::uint32_t>> values;
    for (std::uint32_t i = 0;; ++i) {
        std::uint32_t len = 64, type = 99;
        Status s = RegEnumValue(h.key, i, name, &len, &type);
        if (s == kErrorNoMoreItems) {
            break;
        }
        ASSERT_EQ(s, kErrorSuccess);
        values.emplace_back(std::wstring(name, len), type);
    }
    EXPECT_EQ(values, (std::vector<std::pair<std::wstring, std::uint32_t>>{
                          {L"b", kRegSz}, {L"", kRegSz}, {L"A", kRegDword}}));

    // Buffer exactly the name's length: no room for the NUL.
    std::uint32_t len = 4;
    EXPECT_EQ(RegEnumKeyEx(h.key, 0, name, &len), kErrorMoreData);
    len = 5;
    EXPECT_EQ(RegEnumKeyEx(h.key, 0, name, &len), kErrorSuccess);
    EXPECT_EQ(len, 4u);
    len = 1;
    EXPECT_EQ(RegEnumValue(h.key, 0, name, &len, nullptr), kErrorMoreData);
    len = 1;
    EXPECT_EQ(RegEnumValue(h.key, 1, name, &len, nullptr), kErrorSuccess);  // "" fits
    EXPECT_EQ(len, 0u);
    len = 64;
    EXPECT_EQ(RegEnumKeyEx(h.key, 3, name, &len), kErrorNoMoreItems);
    EXPECT_EQ(RegEnumValue(h.key, 99, name, &len, nullptr), kErrorNoMoreItems);

    std::uint32_t subKeys = 0, maxSub = 0, count = 0, maxName = 0, maxData = 0;
    ASSERT_EQ(RegQueryInfoKey(h.key, &subKeys, &maxSub, &count, &maxName, &maxData), kErrorSuccess);
    EXPECT_EQ(subKeys, 3u);
    EXPECT_EQ(maxSub, 6u);
    EXPECT_EQ(count, 3u);
    EXPECT_EQ(maxName, 1u);
    EXPECT_EQ(maxData, 16u);  // "default" + NUL in UTF-16
}

TEST_F(SimRegistryTest, HandleNeedsTheRightAccessBits) {
    machine_.registry.SetString(kHkeyCurrentUser, L"K\\S", L"v", L"x");
    Handle queryOnly, enumOnly;
    ASSERT_EQ(RegOpenKeyEx(kHkcu, L"K", 0, kKeyQueryValue, &queryOnly.key), kErrorSuccess);
    ASSERT_EQ(RegOpenKeyEx(kHkcu, L"K\\S", 0, kKeyEnumerateSubKeys, &enumOnly.key), kErrorSuccess);
    wchar_t name[16];
    std::uint32_t len = 16, size = 0;
    EXPECT_EQ(RegEnumKeyEx(queryOnly.key, 0, name, &len), kErrorAccessDenied);
    EXPECT_EQ(RegQueryInfoKey(queryOnly.key, nullptr, nullptr, nullptr, nullptr, nullptr),
              kErrorSuccess);
    EXPECT_EQ(RegQueryValueEx(enumOnly.key, L"v", nullptr, nullptr, &size), kErrorAccessDenied);
    EXPECT_EQ(RegEnumValue(enumOnly.key, 0, name, &len, nullptr), kErrorAccessDenied);
    EXPECT_EQ(RegQueryInfoKey(enumOnly.key, nullptr, nullptr, nullptr, nullptr, nullptr),
              kErrorAccessDenied);
}

TEST_F(SimRegistryTest, QueryValueSizesTypesAndErrors) {
    Registry& reg = machine_.registry;
    reg.SetString(kHkeyCurrentUser, L"K", L"Text", L"abc");
    reg.SetValue(kHkeyCurrentUser, L"K", L"Odd", kRegSz, {0x41, 0x00, 0x42});
    reg.SetValue(kHkeyCurrentUser, L"K", L"Empty", kRegBinary, {});
    reg.SetDword(kHkeyCurrentUser, L"K", L"Num", 0x12345678);
    Handle h;
    ASSERT_EQ(RegOpenKeyEx(kHkcu, L"K", 0, kKeyRead, &h.key), kErrorSuccess);
    struct Case {
        const wchar_t* name;
        std::uint32_t type;
        std::uint32_t size;
    } cases[] = {{L"text", kRegSz, 8},
                 {L"ODD", kRegSz, 3},
                 {L"Empty", kRegBinary, 0},
                 {L"num", kRegDword, 4}};
    for (const Case& c : cases) {
        std::uint32_t type = 0, size = 0;
        EXPECT_EQ(RegQueryValueEx(h.key, c.name, &type, nullptr, &size), kErrorSuccess);
        EXPECT_EQ(type, c.type);
        EXPECT_EQ(size, c.size);
        std::vector<std::uint8_t> buf(c.size + 4, 0xEE);
        if (c.size > 0) {
            size = c.size - 1;
            EXPECT_EQ(RegQueryValueEx(h.key, c.name, &type, buf.data(), &size), kErrorMoreData);
            EXPECT_EQ(size, c.size);
        }
        size = static_cast<std::uint32_t>(buf.size());
        EXPECT_EQ(RegQueryValueEx(h.key, c.name, &type, buf.data(), &size), kErrorSuccess);
        EXPECT_EQ(size, c.size);
        EXPECT_EQ(buf[c.size], 0xEE);  // nothing written past the data, no NUL added
    }
    std::uint32_t value = 0, size = 4;
    EXPECT_EQ(
        RegQueryValueEx(h.key, L"Num", nullptr, reinterpret_cast<std::uint8_t*>(&value), &size),
        kErrorSuccess);
    EXPECT_EQ(value, 0x12345678u);
    EXPECT_EQ(RegQueryValueEx(h.key, L"Missing", nullptr, nullptr, &size), kErrorFileNotFound);
    EXPECT_EQ(RegQueryValueEx(h.key, L"", nullptr, nullptr, &size), kErrorFileNotFound);
    EXPECT_EQ(RegQueryValueEx(0x999, L"Num", nullptr, nullptr, &size), kErrorInvalidHandle);
}

TEST_F(SimRegistryTest, CreateKeyMakesMissingLevels) {
    Handle h;
    std::uint32_t disposition = 0;
    ASSERT_EQ(RegCreateKeyEx(kHkcu, L"A\\B\\C", 0xF013F, &h.key, &disposition), kErrorSuccess);
    EXPECT_EQ(disposition, kRegCreatedNewKey);
    EXPECT_NE(machine_.registry.Find(kHkeyCurrentUser, L"a\\b\\c"), nullptr);
    Handle again;
    ASSERT_EQ(RegCreateKeyEx(kHkcu, L"a\\B\\c\\", 0xF013F, &again.key, &disposition),
              kErrorSuccess);
    EXPECT_EQ(disposition, kRegOpenedExistingKey);
    EXPECT_EQ(machine_.registry.Root(kHkeyCurrentUser).subkeys.size(), 1u);
}

TEST_F(SimRegistryTest, CreateKeyNeedsFullAccessWhereItCreates) {
    machine_.administrator = false;
    machine_.registry.Create(kHkeyLocalMachine, L"SOFTWARE\\App");
    Handle h;
    std::uint32_t disposition = 0;
    EXPECT_EQ(RegCreateKeyEx(kHklm, L"SOFTWARE\\App\\New", 0xF013F, &h.key, &disposition),
              kErrorAccessDenied);
    EXPECT_EQ(machine_.registry.Find(kHkeyLocalMachine, L"SOFTWARE\\App\\New"), nullptr);
    EXPECT_EQ(RegCreateKeyEx(kHklm, L"SOFTWARE\\App", 0xF013F, &h.key, &disposition),
              kErrorAccessDenied);
    EXPECT_EQ(RegCreateKeyEx(kHklm, L"SOFTWARE\\App", kKeyRead, &h.key, &disposition),
              kErrorSuccess);
    EXPECT_EQ(disposition, kRegOpenedExistingKey);
    Handle user;
    EXPECT_EQ(RegCreateKeyEx(kHkcu, L"Software\\X", 0xF013F, &user.key, &disposition),
              kErrorSuccess);
    // A read-only subtree refuses creation below it even for an administrator.
    machine_.administrator = true;
    machine_.registry.SetRight(kHkeyCurrentUser, L"Locked", Right::Read);
    Handle locked;
    EXPECT_EQ(RegCreateKeyEx(kHkcu, L"Locked\\Child", 0xF013F, &locked.key, nullptr),
              kErrorAccessDenied);
}

TEST_F(SimRegistryTest, DeletedKeyLeavesHandleValidButKeyGone) {
    machine_.registry.SetString(kHkeyCurrentUser, L"Gone\\Sub", L"v", L"x");
    Handle h, sub;
    ASSERT_EQ(RegOpenKeyEx(kHkcu, L"Gone", 0, kKeyRead, &h.key), kErrorSuccess);
    ASSERT_EQ(RegOpenKeyEx(kHkcu, L"Gone\\Sub", 0, kKeyRead, &sub.key), kErrorSuccess);
    ASSERT_TRUE(machine_.registry.DeleteKey(kHkeyCurrentUser, L"gone"));
    std::uint32_t size = 0;
    wchar_t name[8];
    std::uint32_t len = 8;
    EXPECT_EQ(RegQueryValueEx(sub.key, L"v", nullptr, nullptr, &size), kKeyDeleted);
    EXPECT_EQ(RegEnumKeyEx(h.key, 0, name, &len), kKeyDeleted);
    EXPECT_EQ(RegQueryInfoKey(h.key, nullptr, nullptr, nullptr, nullptr, nullptr), kKeyDeleted);
    Handle child;
    EXPECT_EQ(RegOpenKeyEx(h.key, L"Sub", 0, kKeyRead, &child.key), kKeyDeleted);
    EXPECT_EQ(RegCloseKey(h.key), kErrorSuccess);
    h.key = 0;
    Handle reopened;
    EXPECT_EQ(RegOpenKeyEx(kHkcu, L"Gone", 0, kKeyRead, &reopened.key), kErrorFileNotFound);
}

TEST_F(SimRegistryTest, ModelNamesIgnoreLetterCase) {
    Registry& reg = machine_.registry;
    reg.SetString(kHkeyLocalMachine, L"Software\\\u00C9t\u00E9\\\u0416", L"Name", L"1");
    reg.SetString(kHkeyLocalMachine, L"SOFTWARE\\\u00E9T\u00C9\\\u0436", L"NAME", L"2");
    const Key* k = reg.Find(kHkeyLocalMachine, L"\\software\\\u00E9t\u00E9\\\u0416\\");
    ASSERT_NE(k, nullptr);
    ASSERT_EQ(k->values.size(), 1u);
    EXPECT_EQ(k->values[0].name, L"Name");  // first spelling kept
    EXPECT_TRUE(reg.DeleteValue(kHkeyLocalMachine, L"SOFTWARE\\\u00C9T\u00C9\\\u0416", L"name"));
    EXPECT_TRUE(k->values.empty());
    // Many subkeys (the lookup index) still find names in any case.
    for (int i = 0; i < 100; ++i) {
        reg.Create(kHkeyClassesRoot, L".ext" + std::to_wstring(i));
    }
    EXPECT_NE(reg.Find(kHkeyClassesRoot, L".EXT57"), nullptr);
    EXPECT_TRUE(reg.DeleteKey(kHkeyClassesRoot, L".Ext57"));
    EXPECT_EQ(reg.Find(kHkeyClassesRoot, L".ext57"), nullptr);
    reg.Create(kHkeyClassesRoot, L".ext57");
    EXPECT_EQ(reg.Root(kHkeyClassesRoot).subkeys.back()->name, L".ext57");
    EXPECT_NE(reg.Find(kHkeyClassesRoot, L".EXT57"), nullptr);
    EXPECT_EQ(reg.Root(kHkeyClassesRoot).subkeys.size(), 100u);
}

TEST(SimCodePageTest, Windows1252BothWays) {
    struct Case {
        std::wstring wide;
        std::string ansi;
        bool usedDefault;
    } cases[] = {
        {L"abc", "abc", false},
        {L"\u00E9\u00FF\u00A0", "\xE9\xFF\xA0", false},
        {L"\u20AC\u201A\u0192\u2122\u0178", "\x80\x82\x83\x99\x9F", false},
        {L"\u0081\u008D\u008F\u0090\u009D", "\x81\x8D\x8F\x90\x9D", false},
        {L"\u0416", "?", true},
        {L"a\u4E2Db", "a?b", true},
    };
    for (const Case& c : cases) {
        bool usedDefault = !c.usedDefault;
        EXPECT_EQ(WideToAnsi(c.wide, &usedDefault), c.ansi);
        EXPECT_EQ(usedDefault, c.usedDefault);
        if (!c.usedDefault) {
            EXPECT_EQ(AnsiToWide(c.ansi), c.wide);
        }
    }
    for (int b = 0; b < 256; ++b) {
        std::string one(1, static_cast<char>(b));
        bool usedDefault = true;
        EXPECT_EQ(WideToAnsi(AnsiToWide(one), &usedDefault), one) << b;
        EXPECT_FALSE(usedDefault);
    }
}

}  // namespace
}  // namespace bv::sim
