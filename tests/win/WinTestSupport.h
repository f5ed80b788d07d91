// Shared pieces of the Windows tests: <windows.h> without the A/W macros that clash with the
// seam's names, a scratch registry key under HKCU that is removed afterwards, scratch folders.
#pragma once

#include <windows.h>

#undef RegOpenKeyEx
#undef RegCreateKeyEx
#undef RegQueryInfoKey
#undef RegEnumKeyEx
#undef RegEnumValue
#undef RegQueryValueEx
#undef GetFileAttributes
#undef DeleteFile
#undef CreateDirectory
#undef GetEnvironmentVariable
#undef ExpandEnvironmentStrings
#undef GetModuleFileName
#undef GetWindowsDirectory
#undef GetSystemDirectory
#undef GetDriveType

#include <cstdint>
#include <string>
#include <vector>

#include "platform/Platform.h"

namespace bv::wintest {

constexpr std::uint32_t kRead64 = platform::kKeyRead | platform::kKeyWow6464Key;
constexpr std::uint32_t kAll64 = platform::kKeyAllAccess | platform::kKeyWow6464Key;
inline const platform::HKey kHkcu = platform::PredefinedKey(platform::kHkeyCurrentUser);
inline const platform::HKey kHklm = platform::PredefinedKey(platform::kHkeyLocalMachine);
inline const platform::HKey kHkcr = platform::PredefinedKey(platform::kHkeyClassesRoot);

// Whether this process runs on 64-bit Windows: always for a 64-bit process, for a 32-bit one
// when WOW64 runs it. Tests that depend on the registry views or the system folders check what
// holds on each.
inline bool On64BitWindows() {
    if (sizeof(void*) == 8) {
        return true;
    }
    BOOL wow64 = FALSE;
    return ::IsWow64Process(::GetCurrentProcess(), &wow64) && wow64;
}
inline bool Is32BitProcessOn64BitWindows() {
    return sizeof(void*) == 4 && On64BitWindows();
}

inline std::vector<std::uint8_t> Utf16Bytes(const std::wstring& text, bool withNul = true) {
    std::vector<std::uint8_t> bytes;
    for (wchar_t c : text) {
        bytes.push_back(static_cast<std::uint8_t>(c & 0xFF));
        bytes.push_back(static_cast<std::uint8_t>((c >> 8) & 0xFF));
    }
    if (withNul) {
        bytes.push_back(0);
        bytes.push_back(0);
    }
    return bytes;
}

// HKCU\Software\BrimvaleTest\<name>, created fresh for one test and deleted with its subtree
// afterwards. Values and subkeys are written through the real API.
class TestKey {
  public:
    explicit TestKey(const std::wstring& name) : relative_(L"Software\\BrimvaleTest\\" + name) {
        ::RegDeleteTreeW(HKEY_CURRENT_USER, relative_.c_str());
        ::RegCreateKeyExW(HKEY_CURRENT_USER, relative_.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                          KEY_ALL_ACCESS, nullptr, &key_, nullptr);
    }
    ~TestKey() {
        if (key_ != nullptr) {
            ::RegCloseKey(key_);
        }
        ::RegDeleteTreeW(HKEY_CURRENT_USER, relative_.c_str());
    }
    TestKey(const TestKey&) = delete;
    TestKey& operator=(const TestKey&) = delete;

    bool Valid() const { return key_ != nullptr; }
    // Path below HKEY_CURRENT_USER, without leading "\".
    const std::wstring& Path() const { return relative_; }
    std::wstring Sub(const std::wstring& sub) const {
        return sub.empty() ? relative_ : relative_ + L"\\" + sub;
    }

    bool AddKey(const std::wstring& sub) const {
        HKEY created = nullptr;
        LSTATUS s = ::RegCreateKeyExW(key_, sub.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                                      KEY_ALL_ACCESS, nullptr, &created, nullptr);
        if (s == ERROR_SUCCESS) {
            ::RegCloseKey(created);
        }
        return s == ERROR_SUCCESS;
    }
    bool Set(const std::wstring& sub, const std::wstring& name, DWORD type,
             const std::vector<std::uint8_t>& data) const {
        HKEY target = nullptr;
        if (::RegCreateKeyExW(key_, sub.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                              KEY_ALL_ACCESS, nullptr, &target, nullptr) != ERROR_SUCCESS) {
            return false;
        }
        LSTATUS s =
            ::RegSetValueExW(target, name.c_str(), 0, type, data.empty() ? nullptr : data.data(),
                             static_cast<DWORD>(data.size()));
        ::RegCloseKey(target);
        return s == ERROR_SUCCESS;
    }
    bool SetString(const std::wstring& sub, const std::wstring& name, const std::wstring& text,
                   DWORD type = REG_SZ) const {
        return Set(sub, name, type, Utf16Bytes(text));
    }
    bool SetDword(const std::wstring& sub, const std::wstring& name, std::uint32_t value) const {
        std::vector<std::uint8_t> data(4);
        for (int i = 0; i < 4; ++i) {
            data[i] = static_cast<std::uint8_t>(value >> (8 * i));
        }
        return Set(sub, name, REG_DWORD, data);
    }

  private:
    std::wstring relative_;
    HKEY key_ = nullptr;
};

// A scratch folder under the Windows temporary folder, removed with its files afterwards.
class TempFolder {
  public:
    explicit TempFolder(const std::wstring& name) {
        wchar_t buffer[MAX_PATH + 1] = {};
        ::GetTempPathW(MAX_PATH, buffer);
        path_ = std::wstring(buffer) + L"bvtest-" + name;
        Remove();
        ::CreateDirectoryW(path_.c_str(), nullptr);
    }
    ~TempFolder() { Remove(); }
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;
    const std::wstring& Path() const { return path_; }
    std::wstring File(const std::wstring& name) const { return path_ + L"\\" + name; }

  private:
    void Remove() const {
        WIN32_FIND_DATAW found{};
        HANDLE search = ::FindFirstFileW((path_ + L"\\*").c_str(), &found);
        if (search != INVALID_HANDLE_VALUE) {
            do {
                std::wstring name = found.cFileName;
                if (name == L"." || name == L"..") {
                    continue;
                }
                std::wstring full = path_ + L"\\" + name;
                if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
                    ::RemoveDirectoryW(full.c_str());
                } else {
                    ::DeleteFileW(full.c_str());
                }
            } while (::FindNextFileW(search, &found));
            ::FindClose(search);
        }
        ::RemoveDirectoryW(path_.c_str());
    }
    std::wstring path_;
};

}  // namespace bv::wintest
