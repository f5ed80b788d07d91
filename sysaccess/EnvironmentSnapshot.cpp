// Gathers the facts about the machine once at start-up: folders, 64-bit Windows, the PATH
// folders and the fixed drives; and makes the data folder exist when it is needed.
#include "sysaccess/EnvironmentSnapshot.h"

#include <cstdint>
#include <utility>

#include "platform/Platform.h"
#include "sysaccess/FileReference.h"

namespace bv {

namespace {

namespace pf = platform;

// Folder texts come through buffers of the platform's path limit.
constexpr std::size_t kFolderBuffer = 260;

std::wstring FromFolderBuffer(std::wstring text) {
    const std::size_t nul = text.find(L'\0');
    if (nul != std::wstring::npos) {
        text.resize(nul);
    }
    if (text.size() > kFolderBuffer) {
        text.resize(kFolderBuffer);
    }
    return text;
}

// A folder the platform could not report stays empty rather than becoming "\".
std::wstring WithBackslash(std::wstring folder) {
    if (!folder.empty() && folder.back() != L'\\') {
        folder.push_back(L'\\');
    }
    return folder;
}

// Windows compares file names without letter case; ASCII and Latin-1 cover the folders here.
wchar_t FoldLetter(wchar_t c) {
    if (c >= L'a' && c <= L'z') {
        return static_cast<wchar_t>(c - 0x20);
    }
    if (c >= 0xE0 && c <= 0xFE && c != 0xF7) {
        return static_cast<wchar_t>(c - 0x20);
    }
    if (c == 0xFF) {
        return static_cast<wchar_t>(0x178);
    }
    return c;
}

bool SameFolder(std::wstring_view a, std::wstring_view b) {
    if (a.size() != b.size()) {
        return false;
    }
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (FoldLetter(a[i]) != FoldLetter(b[i])) {
            return false;
        }
    }
    return true;
}

bool Contains(const std::vector<std::wstring>& list, std::wstring_view text) {
    for (const std::wstring& entry : list) {
        if (SameFolder(entry, text)) {
            return true;
        }
    }
    return false;
}

bool IsDriveOnly(std::wstring_view path) {
    return path.size() == 2 && path[1] == L':';
}

std::wstring ProgramFolderOf(const std::wstring& moduleFileName) {
    const std::size_t slash = moduleFileName.rfind(L'\\');
    if (slash == std::wstring::npos) {
        return std::wstring();
    }
    std::wstring folder = moduleFileName.substr(0, slash);
    if (IsDriveOnly(folder)) {
        folder.push_back(L'\\');  // a drive root keeps its "\"
    }
    return folder;
}

}  // namespace

std::vector<std::wstring> BuildPathFolders(const std::wstring& path,
                                           const std::wstring& windowsFolder,
                                           const std::wstring& systemFolder) {
    std::vector<std::wstring> folders;
    std::size_t start = 0;
    while (start <= path.size()) {
        std::size_t end = path.find(L';', start);
        if (end == std::wstring::npos) {
            end = path.size();
        }
        if (end > start) {
            folders.push_back(WithBackslash(path.substr(start, end - start)));
        }
        start = end + 1;
    }
    if (!windowsFolder.empty() && !Contains(folders, windowsFolder)) {
        folders.push_back(windowsFolder);
    }
    if (!systemFolder.empty() && !Contains(folders, systemFolder)) {
        folders.push_back(systemFolder);
    }
    return folders;
}

std::wstring FindFixedDriveLetters() {
    std::wstring letters;
    const std::uint32_t drives = pf::GetLogicalDrives();
    for (int bit = 0; bit < 26; ++bit) {
        if ((drives & (1u << bit)) == 0) {
            continue;
        }
        const wchar_t letter = static_cast<wchar_t>(L'A' + bit);
        const std::wstring root{letter, L':', L'\\'};
        if (pf::GetDriveType(root) == pf::kDriveFixed) {
            letters.push_back(letter);
        }
    }
    return letters;
}

EnvironmentSnapshot GatherEnvironmentSnapshot() {
    EnvironmentSnapshot env;
    env.ProgramFolder = ProgramFolderOf(FromFolderBuffer(pf::GetModuleFileName()));
    env.WindowsFolder = WithBackslash(FromFolderBuffer(pf::GetWindowsDirectory()));
    env.SystemFolder = WithBackslash(FromFolderBuffer(pf::GetSystemDirectory()));
    env.ProgramFilesX86Folder =
        WithBackslash(FromFolderBuffer(pf::SHGetFolderPath(pf::kCsidlProgramFiles)));
#if defined(_WIN64)
    // A 64-bit program runs only on 64-bit Windows.
    env.Is64BitWindows = true;
#else
    env.Is64BitWindows = UpperAscii(env.ProgramFilesX86Folder).find(L"(X86)") != std::wstring::npos;
#endif
    const std::wstring appData = FromFolderBuffer(pf::SHGetFolderPath(pf::kCsidlAppData));
    // Without a data folder the text stays empty, and the first write falls back to the
    // program's folder instead of a path relative to the current drive.
    env.AppDataFolder = appData.empty() ? std::wstring() : WithBackslash(appData) + L"Brimvale\\";
    std::wstring path;
    if (!pf::GetEnvironmentVariable(L"PATH", path)) {
        path.clear();
    }
    env.PathFolders = BuildPathFolders(path, env.WindowsFolder, env.SystemFolder);
    env.FixedDriveLetters = FindFixedDriveLetters();
    return env;
}

bool ForceDirectories(const std::wstring& path) {
    std::wstring folder = path;
    while (!folder.empty() && folder.back() == L'\\') {
        folder.pop_back();
    }
    if (IsDriveOnly(folder)) {
        folder.push_back(L'\\');  // "C:" alone would mean the drive's current folder
    }
    if (folder.empty() || folder.find(L'\0') != std::wstring::npos) {
        return false;
    }
    // Walk up to the first level that exists (or cannot be looked at, and so may), then
    // create the missing ones downwards. Only a folder seen to be there counts as made.
    std::vector<std::wstring> missing;
    std::wstring level = folder;
    auto mayBeThere = [](const std::wstring& path) {
        const PathState state = LookUpPath(path);
        return state == PathState::Folder || state == PathState::Unknown;
    };
    while (!mayBeThere(level)) {
        missing.push_back(level);
        const std::size_t slash = level.rfind(L'\\');
        if (slash == std::wstring::npos || slash == 0) {
            break;
        }
        std::wstring parent = level.substr(0, slash);
        if (IsDriveOnly(parent)) {
            parent.push_back(L'\\');
        }
        if (parent == level) {
            break;
        }
        level = std::move(parent);
    }
    for (auto it = missing.rbegin(); it != missing.rend(); ++it) {
        if (!pf::CreateDirectory(*it) && LookUpPath(*it) != PathState::Folder) {
            return false;
        }
    }
    return LookUpPath(folder) == PathState::Folder;
}

bool EnsureAppDataFolder(EnvironmentSnapshot& env) {
    if (!env.AppDataFolder.empty() && (LookUpPath(env.AppDataFolder) == PathState::Folder ||
                                       ForceDirectories(env.AppDataFolder))) {
        return true;
    }
    env.AppDataFolder = WithBackslash(env.ProgramFolder);
    return !env.AppDataFolder.empty() && LookUpPath(env.AppDataFolder) == PathState::Folder;
}

}  // namespace bv
