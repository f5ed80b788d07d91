// The Win32 seam against Wine's real registry, files and environment: the behaviour the
// simulated machine promises must hold on the real platform too.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <cwchar>
#include <cwctype>
#include <string>
#include <vector>

#include "sysaccess/FileReference.h"
#include "tests/win/WinTestSupport.h"

#include <winioctl.h>  // after <windows.h>: FSCTL_SET_REPARSE_POINT

namespace bv::wintest {
namespace {

using namespace bv::platform;

// Owns a handle opened through the seam.
class SeamKey {
  public:
    SeamKey() = default;
    ~SeamKey() {
        if (key_ != 0) {
            platform::RegCloseKey(key_);
        }
    }
    SeamKey(const SeamKey&) = delete;
    SeamKey& operator=(const SeamKey&) = delete;
    HKey* Out() { return &key_; }
    HKey Get() const { return key_; }

  private:
    HKey key_ = 0;
};

std::wstring FoldLower(std::wstring text) {
    for (wchar_t& c : text) {
        c = static_cast<wchar_t>(std::towlower(c));
    }
    return text;
}

// ---- Opening: roots, masks, case, paths ----

struct OpenCase {
    const char* label;
    std::uint32_t sam;
};

class OpenMask : public testing::TestWithParam<OpenCase> {};

TEST_P(OpenMask, OpensExistingKeyUnderEveryRoot) {
    for (HKey root : {kHkcu, kHklm, kHkcr}) {
        SeamKey key;
        const wchar_t* path = root == kHkcr ? L"" : L"Software";
        EXPECT_EQ(RegOpenKeyEx(root, path, 0, GetParam().sam, key.Out()), kErrorSuccess)
            << std::hex << root;
        EXPECT_NE(key.Get(), 0u);
    }
}

INSTANTIATE_TEST_SUITE_P(Masks, OpenMask,
                         testing::Values(OpenCase{"KeyRead64", 0x20119},
                                         OpenCase{"ReadEnum64", 0x20109},
                                         OpenCase{"QueryValue64", 0x101},
                                         OpenCase{"AllAccess64", 0xF013F},
                                         OpenCase{"KeyRead", 0x20019}),
                         [](const auto& info) { return std::string(info.param.label); });

TEST(Win32Registry, PredefinedRootsAreSignExtended) {
    EXPECT_EQ(kHkcu, reinterpret_cast<HKey>(HKEY_CURRENT_USER));
    EXPECT_EQ(kHklm, reinterpret_cast<HKey>(HKEY_LOCAL_MACHINE));
    EXPECT_EQ(kHkcr, reinterpret_cast<HKey>(HKEY_CLASSES_ROOT));
}

TEST(Win32Registry, NamesAreCaseInsensitive) {
    TestKey test(L"Case");
    ASSERT_TRUE(test.Valid());
    ASSERT_TRUE(test.SetString(L"MixedCase\\Inner", L"ValueName", L"x"));
    for (const wchar_t* sub :
         {L"\\mixedcase\\inner", L"\\MIXEDCASE\\INNER", L"\\MixedCase\\Inner"}) {
        SeamKey key;
        std::wstring path = test.Path() + sub;
        ASSERT_EQ(RegOpenKeyEx(kHkcu, path.c_str(), 0, kRead64, key.Out()), kErrorSuccess);
        for (const wchar_t* name : {L"valuename", L"VALUENAME"}) {
            std::uint32_t type = 0, size = 0;
            EXPECT_EQ(RegQueryValueEx(key.Get(), name, &type, nullptr, &size), kErrorSuccess);
            EXPECT_EQ(type, kRegSz);
            EXPECT_EQ(size, 4u);
        }
    }
    // The name keeps the letter case it was created with.
    SeamKey key;
    ASSERT_EQ(RegOpenKeyEx(kHkcu, test.Path().c_str(), 0, kRead64, key.Out()), kErrorSuccess);
    wchar_t name[64];
    std::uint32_t len = 64;
    ASSERT_EQ(RegEnumKeyEx(key.Get(), 0, name, &len), kErrorSuccess);
    EXPECT_EQ(std::wstring(name, len), L"MixedCase");
}

TEST(Win32Registry, MissingKeysFailWithFileNotFound) {
    TestKey test(L"Missing");
    ASSERT_TRUE(test.Valid());
    const std::wstring paths[] = {test.Sub(L"Nope"), test.Sub(L"Nope\\Deeper")};
    for (const std::wstring& path : paths) {
        for (std::uint32_t sam : {0x20119u, 0x20109u, 0x101u, 0xF013Fu}) {
            HKey key = 12345;
            EXPECT_EQ(RegOpenKeyEx(kHkcu, path.c_str(), 0, sam, &key), kErrorFileNotFound);
            EXPECT_EQ(key, 0u);
        }
    }
}

TEST(Win32Registry, TrailingSeparatorNamesTheSameKey) {
    TestKey test(L"Trailing");
    ASSERT_TRUE(test.AddKey(L"A"));
    SeamKey key;
    std::wstring path = test.Sub(L"A\\");
    EXPECT_EQ(RegOpenKeyEx(kHkcu, path.c_str(), 0, kRead64, key.Out()), kErrorSuccess);
}

// ---- Rights Wine enforces on a handle: the mask it was opened with ----

TEST(Win32Registry, HandleRightsFollowTheOpenMask) {
    TestKey test(L"Rights");
    ASSERT_TRUE(test.SetString(L"", L"v", L"x"));
    ASSERT_TRUE(test.AddKey(L"Child"));

    SeamKey enumOnly;
    ASSERT_EQ(RegOpenKeyEx(kHkcu, test.Path().c_str(), 0, kKeyEnumerateSubKeys | kKeyWow6464Key,
                           enumOnly.Out()),
              kErrorSuccess);
    std::uint32_t type = 0, size = 0;
    EXPECT_EQ(RegQueryValueEx(enumOnly.Get(), L"v", &type, nullptr, &size), kErrorAccessDenied);
    wchar_t name[16];
    std::uint32_t len = 16;
    EXPECT_EQ(RegEnumKeyEx(enumOnly.Get(), 0, name, &len), kErrorSuccess);

    SeamKey queryOnly;
    ASSERT_EQ(RegOpenKeyEx(kHkcu, test.Path().c_str(), 0, 0x101, queryOnly.Out()), kErrorSuccess);
    EXPECT_EQ(RegQueryValueEx(queryOnly.Get(), L"v", &type, nullptr, &size), kErrorSuccess);
    len = 16;
    EXPECT_EQ(RegEnumKeyEx(queryOnly.Get(), 0, name, &len), kErrorAccessDenied);

    // Wine does not check KEY_CREATE_SUB_KEY on the parent handle when creating a subkey
    // (Windows does); the seam forwards whatever the system answers.
}

// ---- Create-if-missing ----

TEST(Win32Registry, CreateReportsDispositionAndMakesEveryLevel) {
    TestKey test(L"Create");
    ASSERT_TRUE(test.Valid());
    std::wstring path = test.Sub(L"One\\Two\\Three");
    {
        SeamKey key;
        std::uint32_t disposition = 0;
        ASSERT_EQ(RegCreateKeyEx(kHkcu, path.c_str(), kAll64, key.Out(), &disposition),
                  kErrorSuccess);
        EXPECT_EQ(disposition, kRegCreatedNewKey);
        std::uint32_t subKeys = 9, values = 9;
        ASSERT_EQ(RegQueryInfoKey(key.Get(), &subKeys, nullptr, &values, nullptr, nullptr),
                  kErrorSuccess);
        EXPECT_EQ(subKeys, 0u);
        EXPECT_EQ(values, 0u);
    }
    {
        SeamKey key;
        std::uint32_t disposition = 0;
        std::wstring other = test.Sub(L"ONE\\two\\THREE");
        ASSERT_EQ(RegCreateKeyEx(kHkcu, other.c_str(), kAll64, key.Out(), &disposition),
                  kErrorSuccess);
        EXPECT_EQ(disposition, kRegOpenedExistingKey);
    }
    SeamKey middle;
    std::wstring middlePath = test.Sub(L"One\\Two");
    EXPECT_EQ(RegOpenKeyEx(kHkcu, middlePath.c_str(), 0, kRead64, middle.Out()), kErrorSuccess);
}

// ---- Information, enumeration, sizes ----

class Enumeration : public testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(test_.Valid());
        for (const wchar_t* sub : {L"Bravo", L"alpha", L"Charlie-Long-Name"}) {
            ASSERT_TRUE(test_.AddKey(sub));
        }
        ASSERT_TRUE(test_.SetString(L"", L"", L"default"));
        ASSERT_TRUE(test_.SetString(L"", L"Zed", L"0123456789"));
        ASSERT_TRUE(test_.SetDword(L"", L"LongerValueName", 7));
        ASSERT_EQ(RegOpenKeyEx(kHkcu, test_.Path().c_str(), 0, kRead64, key_.Out()), kErrorSuccess);
    }
    TestKey test_{L"Enum"};
    SeamKey key_;
};

TEST_F(Enumeration, InfoReportsCountsAndLongestLengths) {
    std::uint32_t subKeys = 0, maxSub = 0, values = 0, maxName = 0, maxData = 0;
    ASSERT_EQ(RegQueryInfoKey(key_.Get(), &subKeys, &maxSub, &values, &maxName, &maxData),
              kErrorSuccess);
    EXPECT_EQ(subKeys, 3u);
    EXPECT_EQ(maxSub, 17u);  // "Charlie-Long-Name", characters without NUL
    EXPECT_EQ(values, 3u);
    EXPECT_EQ(maxName, 15u);  // "LongerValueName"
    EXPECT_EQ(maxData, 22u);  // "0123456789" with NUL, in bytes
}

TEST_F(Enumeration, SubkeysEnumerateUntilNoMoreItems) {
    std::vector<std::wstring> names;
    for (std::uint32_t i = 0;; ++i) {
        wchar_t name[64];
        std::uint32_t len = 64;
        Status s = RegEnumKeyEx(key_.Get(), i, name, &len);
        if (s == kErrorNoMoreItems) {
            break;
        }
        ASSERT_EQ(s, kErrorSuccess);
        EXPECT_EQ(len, std::wcslen(name));
        names.emplace_back(name, len);
        ASSERT_LT(i, 10u);
    }
    // Windows keeps subkeys sorted by name without regard to case; so does Wine.
    EXPECT_EQ(names, (std::vector<std::wstring>{L"alpha", L"Bravo", L"Charlie-Long-Name"}));
}

TEST_F(Enumeration, ValuesEnumerateWithTypesAndTheUnnamedOne) {
    std::vector<std::wstring> names;
    std::vector<std::uint32_t> types;
    for (std::uint32_t i = 0;; ++i) {
        wchar_t name[64];
        std::uint32_t len = 64, type = 99;
        Status s = RegEnumValue(key_.Get(), i, name, &len, &type);
        if (s == kErrorNoMoreItems) {
            break;
        }
        ASSERT_EQ(s, kErrorSuccess);
        names.emplace_back(name, len);
        types.push_back(type);
        ASSERT_LT(i, 10u);
    }
    ASSERT_EQ(names.size(), 3u);
    for (std::size_t i = 0; i < names.size(); ++i) {
        EXPECT_EQ(types[i], names[i] == L"LongerValueName" ? kRegDword : kRegSz) << i;
    }
    EXPECT_NE(std::find(names.begin(), names.end(), L""), names.end());
}

TEST_F(Enumeration, ShortNameBuffersGiveMoreData) {
    wchar_t name[64];
    // "alpha" needs 6 characters with its NUL.
    for (std::uint32_t size : {1u, 5u}) {
        std::uint32_t len = size;
        EXPECT_EQ(RegEnumKeyEx(key_.Get(), 0, name, &len), kErrorMoreData) << size;
    }
    std::uint32_t len = 6;
    EXPECT_EQ(RegEnumKeyEx(key_.Get(), 0, name, &len), kErrorSuccess);
    EXPECT_EQ(len, 5u);

    std::uint32_t longest = 0;
    ASSERT_EQ(RegQueryInfoKey(key_.Get(), nullptr, nullptr, nullptr, &longest, nullptr),
              kErrorSuccess);
    bool sawMoreData = false;
    for (std::uint32_t i = 0; i < 3; ++i) {
        std::uint32_t small = 3, type = 0;
        Status s = RegEnumValue(key_.Get(), i, name, &small, &type);
        if (s == kErrorMoreData) {
            sawMoreData = true;
        } else {
            EXPECT_EQ(s, kErrorSuccess);  // the unnamed value fits any buffer
        }
        std::uint32_t enough = longest + 1;
        EXPECT_EQ(RegEnumValue(key_.Get(), i, name, &enough, &type), kErrorSuccess);
    }
    EXPECT_TRUE(sawMoreData);
}

TEST_F(Enumeration, ShortDataBufferGivesMoreDataAndTheSizeNeeded) {
    std::uint8_t data[4] = {};
    std::uint32_t size = sizeof(data), type = 0;
    EXPECT_EQ(RegQueryValueEx(key_.Get(), L"Zed", &type, data, &size), kErrorMoreData);
    EXPECT_EQ(size, 22u);
    std::vector<std::uint8_t> buffer(size);
    EXPECT_EQ(RegQueryValueEx(key_.Get(), L"Zed", &type, buffer.data(), &size), kErrorSuccess);
    EXPECT_EQ(buffer, Utf16Bytes(L"0123456789"));
}

TEST_F(Enumeration, UnnamedValueAnswersToEmptyAndNullName) {
    for (const wchar_t* name : {L"", static_cast<const wchar_t*>(nullptr)}) {
        std::uint32_t type = 0, size = 0;
        EXPECT_EQ(RegQueryValueEx(key_.Get(), name, &type, nullptr, &size), kErrorSuccess);
        EXPECT_EQ(type, kRegSz);
        EXPECT_EQ(size, 16u);
    }
    std::uint32_t size = 0;
    EXPECT_EQ(RegQueryValueEx(key_.Get(), L"Absent", nullptr, nullptr, &size), kErrorFileNotFound);
}

// Every type keeps its bytes and size as written, whatever they hold. (A REG_SZ written without
// its NUL is not in the table: Wine stores it with one added.)
struct TypeCase {
    const char* label;
    std::uint32_t type;
    std::vector<std::uint8_t> data;
};

class ValueTypes : public testing::TestWithParam<TypeCase> {};

TEST_P(ValueTypes, TypeSizeAndBytesComeBackAsStored) {
    const TypeCase& c = GetParam();
    TestKey test(L"Types");
    ASSERT_TRUE(test.Set(L"", L"v", c.type, c.data));
    SeamKey key;
    ASSERT_EQ(RegOpenKeyEx(kHkcu, test.Path().c_str(), 0, kRead64, key.Out()), kErrorSuccess);
    std::uint32_t type = 0, size = 0;
    ASSERT_EQ(RegQueryValueEx(key.Get(), L"v", &type, nullptr, &size), kErrorSuccess);
    EXPECT_EQ(type, c.type);
    EXPECT_EQ(size, c.data.size());
    std::vector<std::uint8_t> data(size + 4, 0xCC);
    std::uint32_t capacity = static_cast<std::uint32_t>(data.size());
    ASSERT_EQ(RegQueryValueEx(key.Get(), L"v", &type, data.data(), &capacity), kErrorSuccess);
    EXPECT_EQ(capacity, c.data.size());
    data.resize(capacity);
    EXPECT_EQ(data, c.data);
}

INSTANTIATE_TEST_SUITE_P(
    Types, ValueTypes,
    testing::Values(
        TypeCase{"Sz", kRegSz, Utf16Bytes(L"text")}, TypeCase{"SzEmpty", kRegSz, Utf16Bytes(L"")},
        TypeCase{"SzOddSize", kRegSz, {'a', 0, 'b'}}, TypeCase{"SzZeroBytes", kRegSz, {}},
        TypeCase{"ExpandSz", kRegExpandSz, Utf16Bytes(L"%SystemRoot%\\x")},
        TypeCase{"Binary", kRegBinary, {0, 1, 2, 0xFF}}, TypeCase{"BinaryEmpty", kRegBinary, {}},
        TypeCase{"Dword", kRegDword, {0x1A, 0, 0, 0x80}}, TypeCase{"DwordShort", kRegDword, {1, 2}},
        TypeCase{"DwordBigEndian", kRegDwordBigEndian, {0, 0, 0, 1}},
        TypeCase{"Qword", kRegQword, {1, 2, 3, 4, 5, 6, 7, 8}},
        TypeCase{"MultiSz", kRegMultiSz, {'a', 0, 0, 0, 'b', 0, 0, 0, 0, 0}},
        TypeCase{"None", kRegNone, {9}}, TypeCase{"Link", kRegLink, Utf16Bytes(L"x", false)}),
    [](const auto& info) { return std::string(info.param.label); });

TEST(Win32Registry, CloseReleasesTheHandle) {
    TestKey test(L"Close");
    HKey key = 0;
    ASSERT_EQ(RegOpenKeyEx(kHkcu, test.Path().c_str(), 0, kRead64, &key), kErrorSuccess);
    EXPECT_EQ(platform::RegCloseKey(key), kErrorSuccess);
    EXPECT_EQ(platform::RegCloseKey(key), kErrorInvalidHandle);
}

// A scan opens keys by full path from a predefined root tens of thousands of times; each
// open and close pair must leave the process with the handles it had. Freed handle slots are
// given out again, so a leak shows as handle values that keep climbing.
TEST(Win32Registry, OpensFromPredefinedRootsLeaveNoHandleBehind) {
    TestKey test(L"NoLeak");
    const HKey roots[] = {kHkcu, kHkcr};
    const std::wstring paths[] = {test.Path(), L"CLSID"};
    auto openAndClose = [&](int i) {
        HKey key = 0;
        EXPECT_EQ(RegOpenKeyEx(roots[i], paths[i].c_str(), 0, kRead64, &key), kErrorSuccess);
        EXPECT_EQ(platform::RegCloseKey(key), kErrorSuccess);
        HKey created = 0;
        EXPECT_EQ(RegCreateKeyEx(roots[i], paths[i].c_str(), kRead64, &created, nullptr),
                  kErrorSuccess);
        EXPECT_EQ(platform::RegCloseKey(created), kErrorSuccess);
        return std::max(key, created);
    };
    for (int i = 0; i < 2; ++i) {
        HKey first = openAndClose(i);
        HKey last = first;
        for (int round = 0; round < 200; ++round) {
            last = openAndClose(i);
        }
        // A handle value is a slot number times four; allow a few slots the system takes.
        EXPECT_LT(last, first + 16 * 4) << "root " << i;
    }
}

// ---- Environment ----

TEST(Win32Environment, VariablesSetEmptyAndMissing) {
    ASSERT_TRUE(::SetEnvironmentVariableW(L"BV_TEST_VAR", L"C:\\Tools;D:\\Bin"));
    std::wstring value;
    EXPECT_TRUE(platform::GetEnvironmentVariable(L"bv_test_var", value));
    EXPECT_EQ(value, L"C:\\Tools;D:\\Bin");

    std::wstring longValue(3000, L'x');
    ASSERT_TRUE(::SetEnvironmentVariableW(L"BV_TEST_VAR", longValue.c_str()));
    EXPECT_TRUE(platform::GetEnvironmentVariable(L"BV_TEST_VAR", value));
    EXPECT_EQ(value, longValue);

    ASSERT_TRUE(::SetEnvironmentVariableW(L"BV_TEST_VAR", nullptr));
    EXPECT_FALSE(platform::GetEnvironmentVariable(L"BV_TEST_VAR", value));
    EXPECT_EQ(value, L"");
}

struct ExpandCase {
    const char* label;
    const wchar_t* source;
    const wchar_t* expected;
};

class Expansion : public testing::TestWithParam<ExpandCase> {
  protected:
    static void SetUpTestSuite() {
        ::SetEnvironmentVariableW(L"BV_A", L"alpha");
        ::SetEnvironmentVariableW(L"BV_EMPTY", L"");
    }
};

TEST_P(Expansion, ExpandsAndReportsTheSizeWithNul) {
    const ExpandCase& c = GetParam();
    wchar_t buffer[260] = {};
    std::uint32_t needed = platform::ExpandEnvironmentStrings(c.source, buffer, 260);
    EXPECT_EQ(std::wstring(buffer), c.expected);
    EXPECT_EQ(needed, std::wcslen(c.expected) + 1);
}

INSTANTIATE_TEST_SUITE_P(Cases, Expansion,
                         testing::Values(ExpandCase{"Plain", L"C:\\x.exe", L"C:\\x.exe"},
                                         ExpandCase{"Known", L"%BV_A%\\x", L"alpha\\x"},
                                         ExpandCase{"CaseInsensitive", L"%bv_a%", L"alpha"},
                                         ExpandCase{"SystemRoot", L"%SystemRoot%\\system32",
                                                    L"C:\\windows\\system32"},
                                         ExpandCase{"Unknown", L"%BV_NOPE%\\x", L"%BV_NOPE%\\x"},
                                         ExpandCase{"Unclosed", L"a%BV_A", L"a%BV_A"},
                                         ExpandCase{"DoublePercent", L"100%%", L"100%%"},
                                         ExpandCase{"Twice", L"%BV_A%%BV_A%", L"alphaalpha"},
                                         ExpandCase{"Empty", L"", L""}),
                         [](const auto& info) { return std::string(info.param.label); });

TEST(Win32Environment, ExpansionIntoShortBufferReportsTheSizeNeeded) {
    ::SetEnvironmentVariableW(L"BV_LONG", std::wstring(300, L'y').c_str());
    wchar_t buffer[260] = {};
    std::uint32_t needed = platform::ExpandEnvironmentStrings(L"%BV_LONG%\\z", buffer, 260);
    EXPECT_EQ(needed, 303u);
    EXPECT_EQ(platform::ExpandEnvironmentStrings(L"%BV_LONG%", nullptr, 0), 301u);
}

TEST(Win32Environment, FoldersDrivesAndModule) {
    EXPECT_EQ(platform::GetWindowsDirectory(), L"C:\\windows");
    EXPECT_EQ(platform::GetSystemDirectory(), L"C:\\windows\\system32");
    std::wstring appData = platform::SHGetFolderPath(kCsidlAppData);
    EXPECT_EQ(appData.rfind(L"C:\\users\\", 0), 0u) << std::string(appData.begin(), appData.end());
    EXPECT_NE(appData.find(L"\\AppData\\Roaming"), std::wstring::npos);
    EXPECT_NE(appData.back(), L'\\');
    // A 64-bit program, and any program on 32-bit Windows, is told "Program Files"; a 32-bit
    // program on 64-bit Windows the folder of 32-bit programs.
    EXPECT_EQ(platform::SHGetFolderPath(kCsidlProgramFiles),
              Is32BitProcessOn64BitWindows() ? L"C:\\Program Files (x86)" : L"C:\\Program Files");
    EXPECT_EQ(platform::SHGetFolderPath(12345), L"");

    std::uint32_t drives = platform::GetLogicalDrives();
    EXPECT_NE(drives & (1u << 2), 0u);
    EXPECT_EQ(platform::GetDriveType(L"C:\\"), kDriveFixed);
    EXPECT_EQ(platform::GetDriveType(L"Q:\\"), kDriveNoRootDir);

    std::wstring module = platform::GetModuleFileName();
    ASSERT_GT(module.size(), 4u);
    EXPECT_EQ(FoldLower(module.substr(module.size() - 4)), L".exe");
}

// ---- Files ----

TEST(Win32Files, AttributesOfFilesFoldersAndMissingPaths) {
    TempFolder dir(L"attrs");
    ASSERT_TRUE(platform::WriteFileBytes(dir.File(L"f.txt"), {'h', 'i'}));
    Status error = 0;
    std::uint32_t attrs = platform::GetFileAttributes(dir.File(L"F.TXT"), &error);
    ASSERT_NE(attrs, kInvalidFileAttributes);
    EXPECT_EQ(attrs & kFileAttributeDirectory, 0u);
    attrs = platform::GetFileAttributes(dir.Path(), &error);
    EXPECT_NE(attrs & kFileAttributeDirectory, 0u);

    EXPECT_EQ(platform::GetFileAttributes(dir.File(L"missing.txt"), &error),
              kInvalidFileAttributes);
    EXPECT_EQ(error, kErrorFileNotFound);
    EXPECT_EQ(platform::GetFileAttributes(dir.File(L"nodir\\x.txt"), &error),
              kInvalidFileAttributes);
    EXPECT_EQ(error, kErrorPathNotFound);
    EXPECT_EQ(platform::GetFileAttributes(L"", nullptr), kInvalidFileAttributes);
}

TEST(Win32Files, LinkTargetOpensFilesAndFolders) {
    TempFolder dir(L"links");
    ASSERT_TRUE(platform::WriteFileBytes(dir.File(L"f.txt"), {}));
    Status error = 0;
    EXPECT_TRUE(platform::LinkTargetOpens(dir.File(L"f.txt"), false, &error));
    EXPECT_TRUE(platform::LinkTargetOpens(dir.Path(), true, &error));
    EXPECT_FALSE(platform::LinkTargetOpens(dir.File(L"none"), false, &error));
    EXPECT_EQ(error, kErrorFileNotFound);
    EXPECT_FALSE(platform::LinkTargetOpens(dir.File(L"none"), true, nullptr));
    // Plain files and folders are no reparse points.
    EXPECT_EQ(platform::GetReparseTag(dir.File(L"f.txt")), 0u);
    EXPECT_EQ(platform::GetReparseTag(dir.Path()), 0u);
    EXPECT_EQ(platform::GetReparseTag(dir.File(L"none")), 0u);
}

// Symbolic links where the platform can make them: judged by whether their target opens.
TEST(Win32Files, SymbolicLinksAreJudgedByTheirTarget) {
    TempFolder dir(L"symlinks");
    const std::wstring target = dir.File(L"target.exe");
    const std::wstring link = dir.File(L"link.exe");
    ASSERT_TRUE(platform::WriteFileBytes(target, {'M', 'Z'}));
    // 2: SYMBOLIC_LINK_FLAG_ALLOW_UNPRIVILEGED_CREATE, for Windows in developer mode.
    if (!::CreateSymbolicLinkW(link.c_str(), target.c_str(), 2) &&
        !::CreateSymbolicLinkW(link.c_str(), target.c_str(), 0)) {
        GTEST_SKIP() << "symbolic links cannot be made here (error " << ::GetLastError() << ")";
    }
    const std::uint32_t attributes = platform::GetFileAttributes(link, nullptr);
    if (attributes == kInvalidFileAttributes) {
        GTEST_SKIP() << "CreateSymbolicLinkW reported success but made no link (Wine's stub)";
    }
    if ((attributes & kFileAttributeReparsePoint) == 0) {
        GTEST_SKIP() << "the platform does not show symbolic links as reparse points";
    }
    EXPECT_EQ(platform::GetReparseTag(link), kIoReparseTagSymlink);
    EXPECT_TRUE(platform::LinkTargetOpens(link, false, nullptr));
    EXPECT_EQ(LookUpPath(link), PathState::File);
    ASSERT_TRUE(platform::DeleteFile(target));
    Status error = 0;
    EXPECT_FALSE(platform::LinkTargetOpens(link, false, &error));
    EXPECT_TRUE(error == kErrorFileNotFound || error == kErrorPathNotFound) << error;
    EXPECT_EQ(LookUpPath(link), PathState::Missing);
    EXPECT_FALSE(FileExists(link));
    ::DeleteFileW(link.c_str());
}

// Turns an empty folder into a junction to target (FSCTL_SET_REPARSE_POINT with a mount-point
// buffer); false where the platform cannot.
bool MakeJunction(const std::wstring& junction, const std::wstring& target) {
    const std::wstring substitute = L"\\??\\" + target;
    const std::size_t subBytes = substitute.size() * sizeof(wchar_t);
    const std::size_t printBytes = target.size() * sizeof(wchar_t);
    // Tag, data length, reserved; then substitute and print name offsets and lengths; then
    // both names, each with its NUL.
    std::vector<std::uint8_t> buffer(8 + 8 + subBytes + 2 + printBytes + 2, 0);
    auto put16 = [&](std::size_t at, std::size_t value) {
        buffer[at] = static_cast<std::uint8_t>(value);
        buffer[at + 1] = static_cast<std::uint8_t>(value >> 8);
    };
    const std::uint32_t tag = kIoReparseTagMountPoint;
    for (std::size_t i = 0; i < 4; ++i) {
        buffer[i] = static_cast<std::uint8_t>(tag >> (8 * i));
    }
    put16(4, buffer.size() - 8);
    put16(8, 0);
    put16(10, subBytes);
    put16(12, subBytes + 2);
    put16(14, printBytes);
    std::memcpy(buffer.data() + 16, substitute.data(), subBytes);
    std::memcpy(buffer.data() + 16 + subBytes + 2, target.data(), printBytes);
    if (!::CreateDirectoryW(junction.c_str(), nullptr)) {
        return false;
    }
    HANDLE folder =
        ::CreateFileW(junction.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                      FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    if (folder == INVALID_HANDLE_VALUE) {
        return false;
    }
    DWORD returned = 0;
    const BOOL made =
        ::DeviceIoControl(folder, FSCTL_SET_REPARSE_POINT, buffer.data(),
                          static_cast<DWORD>(buffer.size()), nullptr, 0, &returned, nullptr);
    ::CloseHandle(folder);
    return made != FALSE;
}

TEST(Win32Files, JunctionsAreJudgedByTheirTarget) {
    TempFolder dir(L"junctions");
    const std::wstring target = dir.File(L"target");
    const std::wstring junction = dir.File(L"junction");
    ASSERT_TRUE(platform::CreateDirectory(target));
    if (!MakeJunction(junction, target)) {
        const DWORD error = ::GetLastError();
        ::RemoveDirectoryW(junction.c_str());
        GTEST_SKIP() << "junctions cannot be made here (error " << error << ")";
    }
    EXPECT_EQ(platform::GetReparseTag(junction), kIoReparseTagMountPoint);
    EXPECT_EQ(LookUpPath(junction), PathState::Folder);
    ASSERT_TRUE(::RemoveDirectoryW(target.c_str()));
    EXPECT_EQ(LookUpPath(junction), PathState::Missing);
    ::RemoveDirectoryW(junction.c_str());
}

// A folder tree deeper than MAX_PATH, made and removed through the "\\?\" form.
class DeepTree {
  public:
    explicit DeepTree(const std::wstring& base) : base_(base) {
        std::wstring level = base_;
        for (int i = 0; i < 3; ++i) {
            level += L"\\" + std::wstring(100, static_cast<wchar_t>(L'a' + i));
            ::CreateDirectoryW((L"\\\\?\\" + level).c_str(), nullptr);
            levels_.push_back(level);
        }
    }
    ~DeepTree() {
        for (const std::wstring& file : files_) {
            ::DeleteFileW((L"\\\\?\\" + file).c_str());
        }
        for (auto it = levels_.rbegin(); it != levels_.rend(); ++it) {
            ::RemoveDirectoryW((L"\\\\?\\" + *it).c_str());
        }
    }
    DeepTree(const DeepTree&) = delete;
    DeepTree& operator=(const DeepTree&) = delete;
    const std::wstring& Deepest() const { return levels_.back(); }
    std::wstring File(const std::wstring& name) {
        files_.push_back(Deepest() + L"\\" + name);
        return files_.back();
    }

  private:
    std::wstring base_;
    std::vector<std::wstring> levels_;
    std::vector<std::wstring> files_;
};

TEST(Win32Files, LongPathsAreFoundInTheirExtendedForm) {
    TempFolder dir(L"long");
    DeepTree tree(dir.Path());
    const std::wstring file = tree.File(L"deep.exe");
    ASSERT_GE(file.size(), platform::kMaxPath);
    ASSERT_TRUE(platform::WriteFileBytes(L"\\\\?\\" + file, {'M', 'Z'}));
    EXPECT_EQ(ExtendedLengthPath(file), L"\\\\?\\" + file);
    struct Case {
        std::wstring path;
        PathState state;
    } cases[] = {
        {file, PathState::File},
        {tree.Deepest(), PathState::Folder},
        {tree.Deepest() + L"\\gone.exe", PathState::Missing},
        {tree.Deepest() + L"\\gone\\x.exe", PathState::Missing},
        // Win32's clean-up of the plain form is done before the prefix goes on.
        {tree.Deepest() + L"\\.\\sub\\..\\deep.exe", PathState::File},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(LookUpPath(c.path), c.state) << c.path.size();
    }
    std::vector<std::uint8_t> bytes;
    EXPECT_TRUE(platform::ReadFileBytes(ExtendedLengthPath(file), bytes));
    EXPECT_EQ(bytes, (std::vector<std::uint8_t>{'M', 'Z'}));
}

TEST(Win32Files, ADriveThisProcessDoesNotSeeIsNotJudged) {
    const std::uint32_t drives = platform::GetLogicalDrives();
    wchar_t letter = 0;
    for (wchar_t c = L'Z'; c > L'D'; --c) {
        if ((drives & (1u << (c - L'A'))) == 0) {
            letter = c;
            break;
        }
    }
    ASSERT_NE(letter, 0) << "every drive letter is in use";
    const std::wstring path = std::wstring(1, letter) + L":\\Apps\\app.exe";
    Status error = 0;
    EXPECT_EQ(platform::GetFileAttributes(path, &error), kInvalidFileAttributes);
    // What a look at a letter without a drive says: it reads as absence...
    EXPECT_TRUE(error == kErrorPathNotFound || error == kErrorFileNotFound ||
                error == kErrorInvalidDrive)
        << error;
    // ...which is not taken for it: nothing on that drive can be judged.
    EXPECT_EQ(LookUpPath(path), PathState::Unknown);
    EXPECT_TRUE(FileExists(path));
    EXPECT_TRUE(DirectoryExists(std::wstring(1, letter) + L":\\Apps"));
    // The system drive is there: what is missing on it is missing.
    EXPECT_EQ(LookUpPath(L"C:\\bvtest-no-such-folder\\app.exe"), PathState::Missing);
}

TEST(Win32Files, WriteReadDeleteAndCreateFolder) {
    TempFolder dir(L"rw");
    std::vector<std::uint8_t> bytes(70000);
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        bytes[i] = static_cast<std::uint8_t>(i * 7);
    }
    ASSERT_TRUE(platform::WriteFileBytes(dir.File(L"big.bin"), bytes));
    std::vector<std::uint8_t> back;
    ASSERT_TRUE(platform::ReadFileBytes(dir.File(L"big.bin"), back));
    EXPECT_EQ(back, bytes);
    // Rewriting replaces the whole content.
    ASSERT_TRUE(platform::WriteFileBytes(dir.File(L"big.bin"), {1}));
    ASSERT_TRUE(platform::ReadFileBytes(dir.File(L"big.bin"), back));
    EXPECT_EQ(back, std::vector<std::uint8_t>{1});
    ASSERT_TRUE(platform::WriteFileBytes(dir.File(L"empty.bin"), {}));
    ASSERT_TRUE(platform::ReadFileBytes(dir.File(L"empty.bin"), back));
    EXPECT_TRUE(back.empty());

    EXPECT_TRUE(platform::DeleteFile(dir.File(L"big.bin")));
    EXPECT_FALSE(platform::DeleteFile(dir.File(L"big.bin")));
    EXPECT_FALSE(platform::ReadFileBytes(dir.File(L"big.bin"), back));

    EXPECT_TRUE(platform::CreateDirectory(dir.File(L"sub")));
    EXPECT_FALSE(platform::CreateDirectory(dir.File(L"sub")));               // exists
    EXPECT_FALSE(platform::CreateDirectory(dir.File(L"a\\b")));              // one level only
    EXPECT_FALSE(platform::WriteFileBytes(dir.File(L"nodir\\x.txt"), {1}));  // no folder
}

TEST(Win32Files, FileLockRefusesWritersAndDeletionUntilReleased) {
    TempFolder dir(L"lock");
    std::wstring path = dir.File(L"locked.txt");
    ASSERT_TRUE(platform::WriteFileBytes(path, {'a'}));
    {
        FileLock lock(path);
        ASSERT_TRUE(lock.Held());
        EXPECT_FALSE(platform::WriteFileBytes(path, {'b'}));
        EXPECT_FALSE(platform::DeleteFile(path));
        FileLock moved(std::move(lock));
        EXPECT_TRUE(moved.Held());
        EXPECT_FALSE(lock.Held());  // NOLINT(bugprone-use-after-move): moved-from state
        EXPECT_FALSE(platform::DeleteFile(path));
    }
    EXPECT_TRUE(platform::WriteFileBytes(path, {'c'}));
    EXPECT_FALSE(FileLock(dir.File(L"missing")).Held());
    EXPECT_TRUE(platform::DeleteFile(path));
}

TEST(Win32Files, RedirectionEntryPointsAreFound) {
    // kernel32 has them on 32-bit Windows too; for a 64-bit process they are harmless no-ops.
    EXPECT_TRUE(CallWow64DisableFsRedirection());
    EXPECT_TRUE(CallWow64EnableFsRedirection());
    EXPECT_NE(platform::GetFileAttributes(platform::GetSystemDirectory(), nullptr),
              kInvalidFileAttributes);
}

// The machine type in a PE file's header, 0 when the file cannot be read as one.
std::uint16_t PeMachine(const std::wstring& path) {
    std::vector<std::uint8_t> bytes;
    if (!platform::ReadFileBytes(path, bytes) || bytes.size() < 0x40) {
        return 0;
    }
    std::size_t pe = bytes[0x3C] | (bytes[0x3D] << 8) | (bytes[0x3E] << 16) |
                     (static_cast<std::size_t>(bytes[0x3F]) << 24);
    if (pe > bytes.size() - 6 || bytes[pe] != 'P' || bytes[pe + 1] != 'E') {
        return 0;
    }
    return static_cast<std::uint16_t>(bytes[pe + 4] | (bytes[pe + 5] << 8));
}

// What the system folder and <windows>\regedit.exe name with redirection on and off: the
// 32-bit files for a 32-bit process on 64-bit Windows until redirection is switched off,
// otherwise the one set of files the system has.
TEST(Win32Files, RedirectionDecidesWhichSystemFilesAndEditorAreReached) {
    constexpr std::uint16_t kI386 = 0x14C, kAmd64 = 0x8664;
    const std::uint16_t native = On64BitWindows() ? kAmd64 : kI386;
    const std::uint16_t redirected = sizeof(void*) == 4 ? kI386 : kAmd64;
    const std::wstring files[] = {platform::GetSystemDirectory() + L"\\kernel32.dll",
                                  platform::GetWindowsDirectory() + L"\\regedit.exe"};
    for (const std::wstring& file : files) {
        SCOPED_TRACE(std::string(file.begin(), file.end()));
        EXPECT_EQ(PeMachine(file), redirected);
        ASSERT_TRUE(CallWow64DisableFsRedirection());
        const std::uint16_t off = PeMachine(file);
        CallWow64EnableFsRedirection();
        EXPECT_EQ(off, native);
        EXPECT_EQ(PeMachine(file), redirected);
    }
}

// ---- Processes, time, code page ----

TEST(Win32Process, RunsHiddenAndWaits) {
    TempFolder dir(L"proc");
    std::wstring marker = dir.File(L"done.txt");
    std::wstring cmd = platform::GetSystemDirectory() + L"\\cmd.exe";
    Process process = StartProcess(cmd, L"cmd.exe /c echo x> \"" + marker + L"\"", 0x88);
    ASSERT_TRUE(process.Started());
    EXPECT_TRUE(process.Wait(60000));
    EXPECT_NE(platform::GetFileAttributes(marker, nullptr), kInvalidFileAttributes);
    // The handle moves with the object; an empty one waits for nothing.
    Process moved = std::move(process);
    EXPECT_FALSE(process.Started());  // NOLINT(bugprone-use-after-move): moved-from state
    EXPECT_TRUE(moved.Wait(0));
    EXPECT_FALSE(process.Wait(0));  // NOLINT(bugprone-use-after-move)
    EXPECT_FALSE(StartProcess(dir.File(L"missing.exe"), L"missing.exe", 0).Started());
}

TEST(Win32Process, WaitGivesUpWhileTheProcessRunsAndSeesItsEnd) {
    // The script runs until the file it waits on is gone.
    TempFolder dir(L"wait");
    const std::wstring hold = dir.File(L"hold");
    const std::wstring script = dir.File(L"wait.cmd");
    const std::string body =
        ":loop\r\nif exist \"" + WideToAnsi(hold, nullptr) + "\" goto loop\r\n";
    ASSERT_TRUE(platform::WriteFileBytes(hold, {'x'}));
    ASSERT_TRUE(
        platform::WriteFileBytes(script, std::vector<std::uint8_t>(body.begin(), body.end())));
    std::wstring cmd = platform::GetSystemDirectory() + L"\\cmd.exe";
    Process process = StartProcess(cmd, L"cmd.exe /c \"" + script + L"\"", 0x08000000);
    ASSERT_TRUE(process.Started());
    EXPECT_FALSE(process.Wait(300));
    ASSERT_TRUE(platform::DeleteFile(hold));
    EXPECT_TRUE(process.Wait(60000));
    EXPECT_FALSE(StartProcess(cmd + L".missing", L"x", 0).Started());
}

TEST(Win32Time, LocalTimeMatchesTheSystemClock) {
    SYSTEMTIME now{};
    ::GetLocalTime(&now);
    LocalTime t = platform::GetLocalTime();
    EXPECT_EQ(t.year, now.wYear);
    EXPECT_EQ(t.month, now.wMonth);
    EXPECT_GE(t.day, 1);
    EXPECT_LE(t.hour, 23);
    EXPECT_LE(t.millisecond, 999);
}

TEST(Win32CodePage, AnsiRoundTripAndUnmappableCharacters) {
    bool usedDefault = true;
    EXPECT_EQ(WideToAnsi(L"", &usedDefault), "");
    EXPECT_FALSE(usedDefault);
    EXPECT_EQ(WideToAnsi(L"plain ASCII", &usedDefault), "plain ASCII");
    EXPECT_FALSE(usedDefault);
    EXPECT_EQ(AnsiToWide("plain ASCII"), L"plain ASCII");
    EXPECT_EQ(AnsiToWide(""), L"");

    if (::GetACP() == 1252) {
        EXPECT_EQ(WideToAnsi(L"\u00E9\u20AC", &usedDefault), "\xE9\x80");
        EXPECT_FALSE(usedDefault);
        EXPECT_EQ(AnsiToWide("\xE9\x80"), L"\u00E9\u20AC");
    }
    // Cyrillic and CJK together fit no single-byte code page.
    WideToAnsi(L"\u0416\u9375", &usedDefault);
    EXPECT_TRUE(usedDefault || ::GetACP() == CP_UTF8);
}

}  // namespace
}  // namespace bv::wintest
