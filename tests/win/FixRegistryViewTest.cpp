// The fix through the real registry editor on entries that have twins of the same name in the
// 32-bit registry view: the 64-bit entry goes, its twin stays, and the undo file holds the 64-bit
// data. On 32-bit Windows there is one view: the entry goes and its data is saved.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "engine/Findings.h"
#include "repair/Repair.h"
#include "sysaccess/EnvironmentSnapshot.h"
#include "sysaccess/TextFile.h"
#include "tests/host/RecordingWindow.h"
#include "tests/win/WinTestSupport.h"

namespace bv::wintest {
namespace {

using Lines = std::vector<std::wstring>;

constexpr wchar_t kTwinKey[] = L"SOFTWARE\\BrimvaleTestTwin";
constexpr wchar_t kValueKey[] = L"SOFTWARE\\BrimvaleTestTwinValue";
constexpr wchar_t kClassKey[] = L"CLSID\\{B7A1E000-0000-4000-8000-0000000000F1}";

std::string Narrow(const std::wstring& text) {
    return std::string(text.begin(), text.end());
}

bool SetIn(HKEY root, const std::wstring& path, REGSAM view, const wchar_t* name,
           const std::wstring& data) {
    HKEY key = nullptr;
    if (::RegCreateKeyExW(root, path.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                          KEY_ALL_ACCESS | view, nullptr, &key, nullptr) != ERROR_SUCCESS) {
        return false;
    }
    std::vector<std::uint8_t> bytes = Utf16Bytes(data);
    LSTATUS s =
        ::RegSetValueExW(key, name, 0, REG_SZ, bytes.data(), static_cast<DWORD>(bytes.size()));
    ::RegCloseKey(key);
    return s == ERROR_SUCCESS;
}

// A REG_SZ value in one view; `exists` tells whether the key and value were there.
std::wstring ReadIn(HKEY root, const std::wstring& path, REGSAM view, const wchar_t* name,
                    bool& exists) {
    wchar_t buffer[256] = {};
    DWORD size = sizeof(buffer) - sizeof(wchar_t);
    HKEY key = nullptr;
    exists = ::RegOpenKeyExW(root, path.c_str(), 0, KEY_READ | view, &key) == ERROR_SUCCESS;
    if (!exists) {
        return {};
    }
    DWORD type = 0;
    exists = ::RegQueryValueExW(key, name, nullptr, &type, reinterpret_cast<BYTE*>(buffer),
                                &size) == ERROR_SUCCESS;
    ::RegCloseKey(key);
    return exists ? std::wstring(buffer) : std::wstring();
}

bool KeyIn(HKEY root, const std::wstring& path, REGSAM view) {
    HKEY key = nullptr;
    if (::RegOpenKeyExW(root, path.c_str(), 0, KEY_READ | view, &key) != ERROR_SUCCESS) {
        return false;
    }
    ::RegCloseKey(key);
    return true;
}

void DeleteIn(HKEY root, const std::wstring& path, REGSAM view) {
    HKEY key = nullptr;
    if (::RegOpenKeyExW(root, path.c_str(), 0, KEY_ALL_ACCESS | view, &key) == ERROR_SUCCESS) {
        ::RegDeleteTreeW(key, nullptr);
        ::RegCloseKey(key);
    }
    ::RegDeleteKeyExW(root, path.c_str(), view, 0);
}

class FixRegistryView : public testing::Test {
  protected:
    void SetUp() override {
        RemoveAll();
        for (REGSAM view : Views()) {
            const std::wstring bits = view == KEY_WOW64_64KEY ? L"64" : L"32";
            ASSERT_TRUE(SetIn(HKEY_LOCAL_MACHINE, kTwinKey, view, L"Kind", bits));
            ASSERT_TRUE(
                SetIn(HKEY_LOCAL_MACHINE, std::wstring(kTwinKey) + L"\\Sub", view, L"Kind", bits));
            ASSERT_TRUE(SetIn(HKEY_CLASSES_ROOT, kClassKey, view, nullptr, bits));
            ASSERT_TRUE(
                SetIn(HKEY_LOCAL_MACHINE, kValueKey, view, L"Path", L"C:\\" + bits + L"\\app.exe"));
        }
    }
    void TearDown() override { RemoveAll(); }

    // The 64-bit view, and on 64-bit Windows the 32-bit one; 32-bit Windows ignores the flags.
    static std::vector<REGSAM> Views() {
        if (On64BitWindows()) {
            return {KEY_WOW64_64KEY, KEY_WOW64_32KEY};
        }
        return {KEY_WOW64_64KEY};
    }
    static void RemoveAll() {
        for (REGSAM view : {KEY_WOW64_64KEY, KEY_WOW64_32KEY}) {
            DeleteIn(HKEY_LOCAL_MACHINE, kTwinKey, view);
            DeleteIn(HKEY_LOCAL_MACHINE, kValueKey, view);
            DeleteIn(HKEY_CLASSES_ROOT, kClassKey, view);
        }
    }

    Lines UndoFile() const {
        WIN32_FIND_DATAW found{};
        HANDLE search = ::FindFirstFileW((temp_.Path() + L"\\Brimvale_Undo_*.reg").c_str(), &found);
        if (search == INVALID_HANDLE_VALUE) {
            return {};
        }
        ::FindClose(search);
        std::vector<std::uint8_t> bytes;
        platform::ReadFileBytes(temp_.File(found.cFileName), bytes);
        return DecodeTextLines(bytes);
    }

    TempFolder temp_{L"fixview"};
};

TEST_F(FixRegistryView, FixDeletesTheNativeEntriesKeepsTheirTwinsAndSavesTheNativeData) {
    test::RecordingWindow window;
    RunState state(window);
    state.env = GatherEnvironmentSnapshot();
    EXPECT_EQ(state.env.Is64BitWindows, On64BitWindows());
    state.env.AppDataFolder = temp_.Path() + L"\\";
    ResetScanResults(state);
    const std::wstring twinKey = std::wstring(L"\\") + kTwinKey;
    const std::wstring classKey = std::wstring(L"\\") + kClassKey;
    const std::wstring valueKey = std::wstring(L"\\") + kValueKey;
    ASSERT_TRUE(RecordIssue(state, IssueCategory::SoftwareLocations, L"[HKLM]" + twinKey, L"",
                            L"[HKLM]" + twinKey, KeyDeletion(kHkeyLocalMachine, twinKey)));
    ASSERT_TRUE(RecordIssue(state, IssueCategory::ComActiveX, L"[HKCR]" + classKey, L"",
                            L"[HKCR]" + classKey, KeyDeletion(kHkeyClassesRoot, classKey)));
    ASSERT_TRUE(RecordIssue(state, IssueCategory::TemporaryValues, L"[HKLM]" + valueKey,
                            L"C:\\64\\app.exe", L"[HKLM]" + valueKey + L"=Path",
                            ValueDeletion(kHkeyLocalMachine, valueKey, L"Path")));
    state.results.ErrorTotal = static_cast<std::int32_t>(state.results.IssueKeys.size());
    window.answers = {true};
    Button2Click(state);
    EXPECT_EQ(window.infoText, L"Errors were fixed");

    bool exists = true;
    EXPECT_FALSE(KeyIn(HKEY_LOCAL_MACHINE, kTwinKey, KEY_WOW64_64KEY));
    EXPECT_FALSE(KeyIn(HKEY_CLASSES_ROOT, kClassKey, KEY_WOW64_64KEY));
    ReadIn(HKEY_LOCAL_MACHINE, kValueKey, KEY_WOW64_64KEY, L"Path", exists);
    EXPECT_FALSE(exists);
    if (On64BitWindows()) {
        EXPECT_EQ(ReadIn(HKEY_LOCAL_MACHINE, std::wstring(kTwinKey) + L"\\Sub", KEY_WOW64_32KEY,
                         L"Kind", exists),
                  L"32");
        EXPECT_EQ(ReadIn(HKEY_CLASSES_ROOT, kClassKey, KEY_WOW64_32KEY, nullptr, exists), L"32");
        EXPECT_EQ(ReadIn(HKEY_LOCAL_MACHINE, kValueKey, KEY_WOW64_32KEY, L"Path", exists),
                  L"C:\\32\\app.exe");
    }

    // The undo file holds what the fix deleted, not the twins.
    const Lines undo = UndoFile();
    ASSERT_FALSE(undo.empty());
    const Lines saved = {L"[HKEY_LOCAL_MACHINE" + twinKey + L"]",
                         L"[HKEY_LOCAL_MACHINE" + twinKey + L"\\Sub]",
                         L"\"Kind\"=\"64\"",
                         L"[HKEY_CLASSES_ROOT" + classKey + L"]",
                         L"@=\"64\"",
                         L"\"Path\"=\"C:\\\\64\\\\app.exe\""};
    for (const std::wstring& line : saved) {
        EXPECT_NE(std::find(undo.begin(), undo.end(), line), undo.end()) << Narrow(line);
    }
    const Lines twins = {L"\"Kind\"=\"32\"", L"@=\"32\"", L"\"Path\"=\"C:\\\\32\\\\app.exe\""};
    for (const std::wstring& line : twins) {
        EXPECT_EQ(std::find(undo.begin(), undo.end(), line), undo.end()) << Narrow(line);
    }
}

}  // namespace
}  // namespace bv::wintest
