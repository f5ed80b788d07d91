// Facts about the machine gathered once at start-up: folders, 64-bit Windows, PATH, fixed drives.
#pragma once

#include <string>
#include <vector>

namespace bv {

struct EnvironmentSnapshot {
    std::wstring ProgramFolder;  // no trailing "\" (except a drive root)
    std::wstring WindowsFolder;
    std::wstring SystemFolder;
    std::wstring ProgramFilesX86Folder;
    bool Is64BitWindows = false;
    std::wstring AppDataFolder;  // ends in "Brimvale\"
    std::vector<std::wstring> PathFolders;
    std::wstring FixedDriveLetters;
};

EnvironmentSnapshot GatherEnvironmentSnapshot();

// Pieces of the gathering, exposed for tests.
std::vector<std::wstring> BuildPathFolders(const std::wstring& path,
                                           const std::wstring& windowsFolder,
                                           const std::wstring& systemFolder);
std::wstring FindFixedDriveLetters();

// Makes AppDataFolder exist (with missing parents); falls back to ProgramFolder + "\" when it
// cannot be created. Returns whether the folder exists afterwards.
bool EnsureAppDataFolder(EnvironmentSnapshot& env);
// CreateDirectory for every missing level of a path.
bool ForceDirectories(const std::wstring& path);

}  // namespace bv
