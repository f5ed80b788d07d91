// Tests of the environment snapshot on the simulated machine: gathered folders, 64-bit Windows,
// PATH folders, fixed drives and the data folder with its fallback.
#include "sysaccess/EnvironmentSnapshot.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/sim/SimMachine.h"

namespace bv {
namespace {

using Folders = std::vector<std::wstring>;

class EnvironmentSnapshotTest : public ::testing::Test {
  protected:
    sim::Machine machine;
    sim::ScopedMachine use{machine};
};

struct PathCase {
    const char* name;
    const wchar_t* path;
    Folders expected;
};

TEST_F(EnvironmentSnapshotTest, BuildPathFolders) {
    const std::wstring windows = L"C:\\Windows\\";
    const std::wstring system = L"C:\\Windows\\system32\\";
    const PathCase cases[] = {
        {"EmptyPiecesSkipped",
         L"C:\\Tools;;D:\\Bin\\",
         {L"C:\\Tools\\", L"D:\\Bin\\", windows, system}},
        {"LastEntryWithoutSeparator", L"C:\\A;C:\\B", {L"C:\\A\\", L"C:\\B\\", windows, system}},
        {"SeparatorsAtBothEnds", L";C:\\A;", {L"C:\\A\\", windows, system}},
        {"WindowsFoldersNamedKeepTheirPlace",
         L"C:\\WINDOWS\\system32;C:\\WINDOWS",
         {L"C:\\WINDOWS\\system32\\", L"C:\\WINDOWS\\"}},
        {"OnlySystemNamed",
         L"c:\\windows\\SYSTEM32\\;C:\\A",
         {L"c:\\windows\\SYSTEM32\\", L"C:\\A\\", windows}},
        {"DuplicatesKept",
         L"C:\\A;C:\\A\\;c:\\a",
         {L"C:\\A\\", L"C:\\A\\", L"c:\\a\\", windows, system}},
        {"PiecesUsedUnchanged",
         L" C:\\Sp ;\"C:\\Q\";%X%\\bin",
         {L" C:\\Sp \\", L"\"C:\\Q\"\\", L"%X%\\bin\\", windows, system}},
        {"Unset", L"", {windows, system}},
        {"OnlySeparators", L";;;", {windows, system}},
    };
    for (const PathCase& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(BuildPathFolders(c.path, windows, system), c.expected);
    }
}

TEST_F(EnvironmentSnapshotTest, FixedDriveLettersAreTheFixedDisksInOrder) {
    struct Case {
        const char* name;
        std::vector<sim::Drive> drives;
        const wchar_t* expected;
    };
    const Case cases[] = {
        {"Mixed",
         {{L'A', platform::kDriveRemovable},
          {L'C', platform::kDriveFixed},
          {L'D', platform::kDriveCdrom},
          {L'E', platform::kDriveFixed}},
         L"CE"},
        {"OthersLeftOut",
         {{L'C', platform::kDriveRemote},
          {L'R', platform::kDriveRamdisk},
          {L'N', platform::kDriveNoRootDir}},
         L""},
        {"Unordered", {{L'Z', platform::kDriveFixed}, {L'D', platform::kDriveFixed}}, L"DZ"},
        {"None", {}, L""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        machine.drives = c.drives;
        EXPECT_EQ(FindFixedDriveLetters(), c.expected);
    }
}

TEST_F(EnvironmentSnapshotTest, GatherReadsTheMachine) {
    machine.windowsFolder = L"C:\\Windows";
    machine.systemFolder = L"C:\\Windows\\system32";
    machine.programFilesFolder = L"C:\\Program Files (x86)";
    machine.appDataFolder = L"C:\\Users\\Ann\\AppData\\Roaming";
    machine.programPath = L"C:\\Program Files (x86)\\Brimvale\\Brimvale.exe";
    machine.drives = {{L'C', platform::kDriveFixed}, {L'E', platform::kDriveFixed}};
    machine.SetEnvironment(L"PATH", L"C:\\Tools;C:\\Windows\\system32");
    const EnvironmentSnapshot env = GatherEnvironmentSnapshot();
    EXPECT_EQ(env.ProgramFolder, L"C:\\Program Files (x86)\\Brimvale");
    EXPECT_EQ(env.WindowsFolder, L"C:\\Windows\\");
    EXPECT_EQ(env.SystemFolder, L"C:\\Windows\\system32\\");
    EXPECT_EQ(env.ProgramFilesX86Folder, L"C:\\Program Files (x86)\\");
    EXPECT_TRUE(env.Is64BitWindows);
    EXPECT_EQ(env.AppDataFolder, L"C:\\Users\\Ann\\AppData\\Roaming\\Brimvale\\");
    EXPECT_EQ(env.PathFolders,
              (Folders{L"C:\\Tools\\", L"C:\\Windows\\system32\\", L"C:\\Windows\\"}));
    EXPECT_EQ(env.FixedDriveLetters, L"CE");
}

TEST_F(EnvironmentSnapshotTest, Is64BitWindowsFollowsTheProgramFilesFolder) {
    const std::pair<const wchar_t*, bool> cases[] = {
        {L"C:\\Program Files (x86)", true}, {L"C:\\Program Files (x86)\\", true},
        {L"D:\\PROGRAMS (X86)", true},      {L"C:\\Program Files", false},
        {L"C:\\Program Files\\", false},
    };
    for (const auto& [folder, expected] : cases) {
        SCOPED_TRACE(testing::PrintToString(std::wstring(folder)));
        machine.programFilesFolder = folder;
        const EnvironmentSnapshot env = GatherEnvironmentSnapshot();
        EXPECT_EQ(env.Is64BitWindows, expected);
        EXPECT_EQ(env.ProgramFilesX86Folder.back(), L'\\');
    }
}

TEST_F(EnvironmentSnapshotTest, FolderTextsEndInOneBackslash) {
    const std::pair<const wchar_t*, const wchar_t*> appData[] = {
        {L"C:\\Users\\U\\AppData\\Roaming", L"C:\\Users\\U\\AppData\\Roaming\\Brimvale\\"},
        {L"C:\\Users\\U\\AppData\\Roaming\\", L"C:\\Users\\U\\AppData\\Roaming\\Brimvale\\"},
        {L"D:\\", L"D:\\Brimvale\\"},
    };
    for (const auto& [folder, expected] : appData) {
        machine.appDataFolder = folder;
        machine.windowsFolder = L"C:\\Windows\\";
        EXPECT_EQ(GatherEnvironmentSnapshot().AppDataFolder, expected);
        EXPECT_EQ(GatherEnvironmentSnapshot().WindowsFolder, L"C:\\Windows\\");
    }
}

TEST_F(EnvironmentSnapshotTest, ProgramFolderOfADriveRootKeepsItsBackslash) {
    const std::pair<const wchar_t*, const wchar_t*> cases[] = {
        {L"C:\\Brimvale.exe", L"C:\\"},
        {L"D:\\Apps\\Brimvale.exe", L"D:\\Apps"},
    };
    for (const auto& [program, expected] : cases) {
        machine.programPath = program;
        EXPECT_EQ(GatherEnvironmentSnapshot().ProgramFolder, expected);
    }
}

TEST_F(EnvironmentSnapshotTest, EmptyPathGivesTheWindowsFoldersOnly) {
    machine.SetEnvironment(L"PATH", L"");
    const EnvironmentSnapshot env = GatherEnvironmentSnapshot();
    EXPECT_EQ(env.PathFolders, (Folders{L"C:\\Windows\\", L"C:\\Windows\\system32\\"}));
}

// ---- The data folder on disk ----

TEST_F(EnvironmentSnapshotTest, ForceDirectoriesCreatesEveryMissingLevel) {
    machine.AddFile(L"C:\\Blocked\\file");
    struct Case {
        const wchar_t* path;
        bool expected;
        const wchar_t* thenExists;
    };
    const Case cases[] = {
        {L"C:\\One\\Two\\Three\\", true, L"C:\\One\\Two\\Three"},
        {L"C:\\One\\Two\\Other", true, L"C:\\One\\Two\\Other"},
        {L"C:\\One", true, L"C:\\One"},
        {L"C:\\", true, L"C:\\"},
        {L"C:\\Blocked\\file\\Sub", false, nullptr},
        {L"", false, nullptr},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::PrintToString(std::wstring(c.path)));
        EXPECT_EQ(ForceDirectories(c.path), c.expected);
        if (c.thenExists != nullptr) {
            EXPECT_TRUE(machine.IsFolder(c.thenExists));
        }
    }
    EXPECT_TRUE(machine.IsFolder(L"C:\\One\\Two"));
    EXPECT_FALSE(machine.IsFolder(L"C:\\Blocked\\file"));
}

TEST_F(EnvironmentSnapshotTest, EnsureAppDataFolderCreatesOrFallsBack) {
    EnvironmentSnapshot env;
    env.ProgramFolder = L"C:\\Program Files (x86)\\Brimvale";
    machine.AddFolder(env.ProgramFolder);
    env.AppDataFolder = L"C:\\Users\\U\\AppData\\Roaming\\Brimvale\\";
    EXPECT_TRUE(EnsureAppDataFolder(env));
    EXPECT_EQ(env.AppDataFolder, L"C:\\Users\\U\\AppData\\Roaming\\Brimvale\\");
    EXPECT_TRUE(machine.IsFolder(L"C:\\Users\\U\\AppData\\Roaming\\Brimvale"));
    EXPECT_TRUE(EnsureAppDataFolder(env));  // already there

    // A file in the way: the program's folder takes over for the rest of the run.
    machine.AddFile(L"C:\\Users\\V\\AppData");
    env.AppDataFolder = L"C:\\Users\\V\\AppData\\Roaming\\Brimvale\\";
    EXPECT_TRUE(EnsureAppDataFolder(env));
    EXPECT_EQ(env.AppDataFolder, L"C:\\Program Files (x86)\\Brimvale\\");

    env.AppDataFolder = L"";
    EXPECT_TRUE(EnsureAppDataFolder(env));
    EXPECT_EQ(env.AppDataFolder, L"C:\\Program Files (x86)\\Brimvale\\");

    // A roaming folder that cannot be looked at (a profile share out of reach, a folder the
    // user may not see) is no folder to write into either.
    const std::pair<const wchar_t*, platform::Status> unusable[] = {
        {L"\\\\profiles\\u", platform::kErrorNetworkUnreachable},
        {L"C:\\Users\\W", platform::kErrorAccessDenied},
    };
    for (const auto& [folder, error] : unusable) {
        machine.FailLooks(folder, error);
        env.AppDataFolder = std::wstring(folder) + L"\\AppData\\Roaming\\Brimvale\\";
        EXPECT_TRUE(EnsureAppDataFolder(env)) << error;
        EXPECT_EQ(env.AppDataFolder, L"C:\\Program Files (x86)\\Brimvale\\") << error;
    }
}

TEST_F(EnvironmentSnapshotTest, FallbackToADriveRootAddsNoSecondBackslash) {
    machine.AddFile(L"C:\\Users\\V\\AppData");
    EnvironmentSnapshot env;
    env.ProgramFolder = L"C:\\";
    env.AppDataFolder = L"C:\\Users\\V\\AppData\\Roaming\\Brimvale\\";
    EXPECT_TRUE(EnsureAppDataFolder(env));
    EXPECT_EQ(env.AppDataFolder, L"C:\\");
}

}  // namespace
}  // namespace bv
