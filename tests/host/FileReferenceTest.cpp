// Tests of file reference resolution on the simulated machine: the extraction steps, the folder
// variables, the existence tests and the redirection switch around them.
#include "sysaccess/FileReference.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "platform/Platform.h"
#include "platform/sim/SimMachine.h"
#include "sysaccess/EnvironmentSnapshot.h"

namespace bv {
namespace {

class FileReferenceTest : public ::testing::Test {
  protected:
    FileReferenceTest() {
        machine.SetEnvironment(L"SystemRoot", L"C:\\Windows");
        machine.SetEnvironment(L"ProgramFiles", L"C:\\Program Files (x86)");
        machine.SetEnvironment(L"ProgramW6432", L"C:\\Program Files");
        machine.SetEnvironment(L"CommonProgramFiles", L"C:\\Program Files (x86)\\Common Files");
        env64.Is64BitWindows = true;
        env64.WindowsFolder = L"C:\\Windows\\";
        env64.SystemFolder = L"C:\\Windows\\system32\\";
        env64.PathFolders = {L"C:\\Tools\\", L"C:\\Windows\\", L"C:\\Windows\\system32\\"};
        env32 = env64;
        env32.Is64BitWindows = false;
    }

    sim::Machine machine;
    sim::ScopedMachine use{machine};
    EnvironmentSnapshot env64;
    EnvironmentSnapshot env32;
};

// ---- ExtractFileReference ----

struct ExtractCase {
    const wchar_t* text;
    const wchar_t* on64;
    const wchar_t* on32;  // nullptr: as on 64-bit Windows
};

const ExtractCase kExtractCases[] = {
    {L"C:\\WINDOWS\\system32\\cmd.exe /c del x", L"C:\\WINDOWS\\system32\\cmd.exe", nullptr},
    {L"%SystemRoot%\\system32\\shell32.dll,-21787", L"C:\\Windows\\system32\\shell32.dll", nullptr},
    {L"@%SystemRoot%\\system32\\shell32.dll,-8508", L"C:\\Windows\\system32\\shell32.dll", nullptr},
    {L"rundll32.exe shell32.dll,Control_RunDLL", L"rundll32.exe", nullptr},
    {L"%ProgramFiles%\\App\\app.exe", L"C:\\Program Files\\App\\app.exe",
     L"C:\\Program Files (x86)\\App\\app.exe"},
    {L"%ProgramW6432%\\App\\app.exe", L"C:\\Program Files\\App\\app.exe", nullptr},
    {L"%CommonProgramFiles%\\System\\ado\\msado15.dll",
     L"C:\\Program Files\\Common Files\\System\\ado\\msado15.dll",
     L"C:\\Program Files (x86)\\Common Files\\System\\ado\\msado15.dll"},
    {L"C:\\a\\b.exe C:\\c\\d.txt", L"C:\\a\\b.exe", nullptr},
    {L"x C:\\a\\b.txt D:\\c.txt", L"C:\\a\\b.txt ", nullptr},
    {L"start notepad.exe", L"notepad.exe", nullptr},
    {L"START C:\\x\\y.exe", L"C:\\x\\y.exe", nullptr},
    {L"C:\\Tools\\icon.ico,0", L"C:\\Tools\\icon.ico", nullptr},
    {L"icon.ico,3", L"icon.ico", nullptr},
    {L"C:\\Tools\\data,5", L"C:\\", nullptr},
    {L"C:\\dir.dll\\app.exe", L"C:\\dir.dll", nullptr},
    {L"C:\\Program Files\\My.Exeutils\\tool.exe", L"C:\\Program Files\\My.Exe", nullptr},
    {L"C:\\Help\\guide.chm", L"C:\\Help\\guide.chm", nullptr},
    {L"\"C:\\Program Files\\App\\app.exe\" \"%1\"", L"C:\\Program Files\\App\\app.exe", nullptr},
    {L"C:\\x\\lib.bpl|,abc", L"C:\\x\\lib.bpl", nullptr},
    {L"  \t C:\\Trim\\me.exe \r\n", L"C:\\Trim\\me.exe", nullptr},
    {L"", L"", nullptr},
    {L"   \t\r\n", L"", nullptr},
    {L"C:\\a\\setup.BAT arg", L"C:\\a\\setup.BAT", nullptr},
    {L"c:\\a\\x.ocx.bak", L"c:\\a\\x.ocx", nullptr},
    {L"7,x:y.ico", L"x:y.ico", nullptr},
    {L"file,1.5", L"file,1.5", nullptr},
    {L"%Undefined%\\a.exe", L"%Undefined%\\a.exe", nullptr},
};

TEST_F(FileReferenceTest, ExtractFileReferenceWorkedExamples) {
    for (const ExtractCase& c : kExtractCases) {
        SCOPED_TRACE(testing::PrintToString(std::wstring(c.text)));
        EXPECT_EQ(ExtractFileReference(c.text, env64), c.on64);
        EXPECT_EQ(ExtractFileReference(c.text, env32), c.on32 != nullptr ? c.on32 : c.on64);
    }
}

// ---- ExpandFolderVariables ----

TEST_F(FileReferenceTest, ExpandFolderVariablesOn64BitWindows) {
    const std::pair<const wchar_t*, const wchar_t*> cases[] = {
        // Only the first reference of the table is replaced; others stay as they are.
        {L"%ProgramFiles%\\A\\a.exe;%SystemRoot%\\b.dll",
         L"C:\\Program Files\\A\\a.exe;%SystemRoot%\\b.dll"},
        {L"%programfiles%\\x %PROGRAMFILES%\\y", L"C:\\Program Files\\x C:\\Program Files\\y"},
        {L"%CommonProgramFiles%\\a %ProgramFiles(x86)%\\b",
         L"%CommonProgramFiles%\\a C:\\Program Files (x86)\\b"},
        {L"%ProgramFiles(x86)%\\A", L"C:\\Program Files (x86)\\A"},
        {L"%ProgramW6432%\\A", L"C:\\Program Files\\A"},
        {L"%CommonProgramFiles%\\A", L"C:\\Program Files\\Common Files\\A"},
        {L"%CommonProgramFiles(x86)%\\A", L"C:\\Program Files (x86)\\Common Files\\A"},
        {L"%CommonProgramW6432%\\A", L"C:\\Program Files\\Common Files\\A"},
        // Without its "\" a reference is the platform's to expand.
        {L"%ProgramFiles%", L"C:\\Program Files (x86)"},
        {L"%ProgramFiles%x", L"C:\\Program Files (x86)x"},
        {L"%SystemRoot%\\x;%Undefined%", L"C:\\Windows\\x;%Undefined%"},
        {L"no references", L"no references"},
    };
    for (const auto& [text, expected] : cases) {
        EXPECT_EQ(ExpandFolderVariables(text, env64), expected)
            << testing::PrintToString(std::wstring(text));
    }
}

TEST_F(FileReferenceTest, ExpandFolderVariablesOn32BitWindowsUsesThePlatform) {
    EXPECT_EQ(ExpandFolderVariables(L"%ProgramFiles%\\A;%SystemRoot%", env32),
              L"C:\\Program Files (x86)\\A;C:\\Windows");
    machine.SetEnvironment(L"CommonProgramW6432", L"E:\\Common");
    EXPECT_EQ(ExpandFolderVariables(L"%CommonProgramW6432%\\A;%NotSet%", env32),
              L"E:\\Common\\A;%NotSet%");
}

TEST_F(FileReferenceTest, ProgramFilesReferencesNameThisMachinesFolders) {
    // Windows on D:, as the machine's own variables say.
    machine.SetEnvironment(L"ProgramW6432", L"D:\\Program Files");
    machine.SetEnvironment(L"ProgramFiles(x86)", L"D:\\Program Files (x86)\\");
    machine.SetEnvironment(L"CommonProgramW6432", L"D:\\Program Files\\Common Files");
    machine.SetEnvironment(L"CommonProgramFiles(x86)", L"D:\\Program Files (x86)\\Common Files");
    const std::pair<const wchar_t*, const wchar_t*> cases[] = {
        {L"%ProgramFiles%\\A\\a.exe", L"D:\\Program Files\\A\\a.exe"},
        {L"%ProgramW6432%\\A", L"D:\\Program Files\\A"},
        {L"%ProgramFiles(x86)%\\A", L"D:\\Program Files (x86)\\A"},
        {L"%CommonProgramFiles%\\A", L"D:\\Program Files\\Common Files\\A"},
        {L"%CommonProgramW6432%\\A", L"D:\\Program Files\\Common Files\\A"},
        {L"%CommonProgramFiles(x86)%\\A", L"D:\\Program Files (x86)\\Common Files\\A"},
        // Still only the first reference of the table is replaced.
        {L"%ProgramFiles%\\a %ProgramFiles(x86)%\\b",
         L"D:\\Program Files\\a %ProgramFiles(x86)%\\b"},
    };
    for (const auto& [text, expected] : cases) {
        EXPECT_EQ(ExpandFolderVariables(text, env64), expected)
            << testing::PrintToString(std::wstring(text));
    }
    // A variable that is missing or empty leaves the C: text.
    machine.RemoveEnvironment(L"ProgramW6432");
    machine.SetEnvironment(L"CommonProgramW6432", L"");
    EXPECT_EQ(ExpandFolderVariables(L"%ProgramFiles%\\A", env64), L"C:\\Program Files\\A");
    EXPECT_EQ(ExpandFolderVariables(L"%CommonProgramFiles%\\A", env64),
              L"C:\\Program Files\\Common Files\\A");
    // On 32-bit Windows the platform expands, as before.
    EXPECT_EQ(ExpandFolderVariables(L"%ProgramFiles(x86)%\\A", env32),
              L"D:\\Program Files (x86)\\\\A");
}

TEST_F(FileReferenceTest, ExpansionThatDoesNotFit260IsLeftUnexpanded) {
    machine.SetEnvironment(L"Fits", std::wstring(259, L'f'));
    machine.SetEnvironment(L"TooLong", std::wstring(260, L'g'));
    for (const EnvironmentSnapshot* env : {&env64, &env32}) {
        EXPECT_EQ(ExpandFolderVariables(L"%Fits%", *env), std::wstring(259, L'f'));
        EXPECT_EQ(ExpandFolderVariables(L"%TooLong%", *env), L"%TooLong%");
        EXPECT_EQ(ExtractFileReference(L"%TooLong%\\a.exe", *env), L"%TooLong%\\a.exe");
    }
}

// ---- Small text helpers ----

TEST_F(FileReferenceTest, EscapeRegTextDoublesBackslashesOnly) {
    const std::pair<const wchar_t*, const wchar_t*> cases[] = {
        {L"C:\\a\\b", L"C:\\\\a\\\\b"},
        {L"plain", L"plain"},
        {L"say \"hi\"", L"say \"hi\""},
        {L"\\\\server\\", L"\\\\\\\\server\\\\"},
        {L"", L""},
    };
    for (const auto& [text, expected] : cases) {
        EXPECT_EQ(EscapeRegText(text), expected);
    }
}

TEST_F(FileReferenceTest, ExtractFileNameAndUpperAscii) {
    const std::pair<const wchar_t*, const wchar_t*> names[] = {
        {L"C:\\a\\b.exe", L"b.exe"},
        {L"C:b.exe", L"b.exe"},
        {L"b.exe", L"b.exe"},
        {L"C:\\a\\", L""},
        {L"", L""},
    };
    for (const auto& [path, expected] : names) {
        EXPECT_EQ(ExtractFileName(path), expected);
    }
    EXPECT_EQ(UpperAscii(L"abc XYZ 09 \u00e9\u00df"), L"ABC XYZ 09 \u00e9\u00df");
}

// ---- Plain existence tests ----

TEST_F(FileReferenceTest, FileExistsAndDirectoryExists) {
    machine.AddFile(L"C:\\Data\\file.txt");
    machine.AddFolder(L"C:\\Data\\Sub");
    machine.AddFolder(L"C:\\Denied");
    machine.DenyAccess(L"C:\\Denied");
    machine.currentFolder = L"C:\\Data";
    struct Case {
        const wchar_t* path;
        bool file;
        bool folder;
    };
    const Case cases[] = {
        {L"C:\\Data\\file.txt", true, false},
        {L"c:\\DATA\\FILE.TXT", true, false},
        {L"file.txt", true, false},
        {L"C:\\Data\\Sub", false, true},
        {L"C:\\Data\\Sub\\", false, true},
        {L"C:\\", false, true},
        {L"C:\\Data\\missing.txt", false, false},
        {L"C:\\Nowhere\\missing.txt", false, false},
        {L"C:\\Denied", true, true},  // cannot look: judged as neither missing file nor folder
        {L"", false, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::PrintToString(std::wstring(c.path)));
        EXPECT_EQ(FileExists(c.path), c.file);
        EXPECT_EQ(DirectoryExists(c.path), c.folder);
    }
    const std::wstring withNul = std::wstring(L"C:\\Data\\file.txt") + L'\0' + L"x";
    EXPECT_FALSE(FileExists(withNul));
}

// ---- Existence on machines as they are ----

struct LookCase {
    const char* label;
    std::function<void(sim::Machine&)> setUp;
    std::wstring path;
    PathState state;
};

void ExpectLooks(const std::vector<LookCase>& cases) {
    for (const LookCase& c : cases) {
        SCOPED_TRACE(c.label);
        sim::Machine m;
        sim::ScopedMachine use(m);
        c.setUp(m);
        EXPECT_EQ(LookUpPath(c.path), c.state);
        EXPECT_EQ(FileExists(c.path), c.state == PathState::File || c.state == PathState::Unknown);
        EXPECT_EQ(DirectoryExists(c.path),
                  c.state == PathState::Folder || c.state == PathState::Unknown);
    }
}

TEST(FileExistence, OnlyLinksAreJudgedByTheirTarget) {
    namespace pf = platform;
    const std::wstring apps = L"C:\\Users\\User\\AppData\\Local\\Microsoft\\WindowsApps\\";
    ExpectLooks({
        {"app execution alias",
         [&](sim::Machine& m) {
             m.AddReparsePoint(apps + L"python.exe", pf::kIoReparseTagAppExecLink);
         },
         apps + L"python.exe", PathState::File},
        {"cloud placeholder file",
         [](sim::Machine& m) {
             m.AddReparsePoint(L"C:\\OneDrive\\tool.exe", pf::kIoReparseTagCloud);
         },
         L"C:\\OneDrive\\tool.exe", PathState::File},
        {"cloud placeholder folder",
         [](sim::Machine& m) {
             m.AddReparsePoint(L"C:\\OneDrive\\Apps", pf::kIoReparseTagCloud, L"", true);
         },
         L"C:\\OneDrive\\Apps", PathState::Folder},
        {"a reparse point of a kind not known here",
         [](sim::Machine& m) { m.AddReparsePoint(L"C:\\Dedup\\big.dll", 0x80000013u); },
         L"C:\\Dedup\\big.dll", PathState::File},
        {"symbolic link to a file",
         [](sim::Machine& m) {
             m.AddFile(L"C:\\Apps\\v2\\app.exe");
             m.AddReparsePoint(L"C:\\Apps\\app.exe", pf::kIoReparseTagSymlink, L"v2\\app.exe");
         },
         L"C:\\Apps\\app.exe", PathState::File},
        {"symbolic link whose target is gone",
         [](sim::Machine& m) {
             m.AddReparsePoint(L"C:\\Apps\\app.exe", pf::kIoReparseTagSymlink,
                               L"C:\\Gone\\app.exe");
         },
         L"C:\\Apps\\app.exe", PathState::Missing},
        {"links in a circle",
         [](sim::Machine& m) {
             m.AddReparsePoint(L"C:\\a.exe", pf::kIoReparseTagSymlink, L"C:\\b.exe");
             m.AddReparsePoint(L"C:\\b.exe", pf::kIoReparseTagSymlink, L"C:\\a.exe");
         },
         L"C:\\a.exe", PathState::Missing},
        {"symbolic link to an app execution alias",
         [&](sim::Machine& m) {
             m.AddReparsePoint(apps + L"winget.exe", pf::kIoReparseTagAppExecLink);
             m.AddReparsePoint(L"C:\\Tools\\winget.exe", pf::kIoReparseTagSymlink,
                               apps + L"winget.exe");
         },
         L"C:\\Tools\\winget.exe", PathState::Unknown},
        {"symbolic link to a share that cannot be reached",
         [](sim::Machine& m) {
             m.FailLooks(L"\\\\server\\apps", pf::kErrorNetworkUnreachable);
             m.AddReparsePoint(L"C:\\Apps\\net.exe", pf::kIoReparseTagSymlink,
                               L"\\\\server\\apps\\net.exe");
         },
         L"C:\\Apps\\net.exe", PathState::Unknown},
        {"junction to a folder",
         [](sim::Machine& m) {
             m.AddFolder(L"D:\\Real");
             m.AddReparsePoint(L"C:\\Linked", pf::kIoReparseTagMountPoint, L"D:\\Real", true);
         },
         L"C:\\Linked", PathState::Folder},
        {"junction whose target is gone",
         [](sim::Machine& m) {
             m.AddReparsePoint(L"C:\\Linked", pf::kIoReparseTagMountPoint, L"C:\\Gone", true);
         },
         L"C:\\Linked", PathState::Missing},
        {"a file through a junction",
         [](sim::Machine& m) {
             m.AddFile(L"C:\\Real\\x.dll");
             m.AddReparsePoint(L"C:\\Linked", pf::kIoReparseTagMountPoint, L"C:\\Real", true);
         },
         L"C:\\Real\\x.dll", PathState::File},
    });
}

TEST(FileExistence, CannotLookIsNotMissing) {
    namespace pf = platform;
    ExpectLooks({
        {"access denied to the file",
         [](sim::Machine& m) { m.FailLooks(L"C:\\Locked\\app.exe", pf::kErrorAccessDenied); },
         L"C:\\Locked\\app.exe", PathState::Unknown},
        {"access denied to its folder",
         [](sim::Machine& m) {
             m.AddFolder(L"C:\\Locked");
             m.DenyAccess(L"C:\\Locked");
         },
         L"C:\\Locked\\app.exe", PathState::Unknown},
        {"network path not found",
         [](sim::Machine& m) { m.FailLooks(L"\\\\oldserver", pf::kErrorBadNetpath); },
         L"\\\\oldserver\\apps\\app.exe", PathState::Unknown},
        {"network name not found",
         [](sim::Machine& m) { m.FailLooks(L"\\\\server\\gone", pf::kErrorBadNetName); },
         L"\\\\server\\gone\\app.exe", PathState::Unknown},
        {"network unreachable",
         [](sim::Machine& m) { m.FailLooks(L"\\\\server\\apps", pf::kErrorNetworkUnreachable); },
         L"\\\\server\\apps\\app.exe", PathState::Unknown},
        {"an empty optical drive",
         [](sim::Machine& m) {
             m.drives.push_back({L'D', pf::kDriveCdrom});
             m.FailLooks(L"D:\\", pf::kErrorNotReady);
         },
         L"D:\\setup\\setup.exe", PathState::Unknown},
        {"a drive this process does not see", [](sim::Machine&) {}, L"E:\\Apps\\app.exe",
         PathState::Unknown},
        {"a folder on a drive this process does not see", [](sim::Machine&) {}, L"e:\\Apps",
         PathState::Unknown},
        {"relative to a drive this process does not see", [](sim::Machine&) {}, L"x:y.ico",
         PathState::Unknown},
        {"a missing file on a drive that is there",
         [](sim::Machine& m) {
             m.drives.push_back({L'E', pf::kDriveFixed});
         },
         L"E:\\Apps\\app.exe", PathState::Missing},
        {"a missing folder on the system drive", [](sim::Machine&) {}, L"C:\\Gone\\app.exe",
         PathState::Missing},
        {"a share that is there but lacks the file",
         [](sim::Machine& m) { m.AddFolder(L"\\\\server\\apps"); }, L"\\\\server\\apps\\app.exe",
         PathState::Missing},
        {"a name no file can have", [](sim::Machine&) {}, L"C:\\Apps\\a<b>.exe",
         PathState::Missing},
    });
}

TEST(FileExistence, LongPathsAreLookedUpInTheirExtendedForm) {
    const std::wstring deep = L"C:\\Deep\\" + std::wstring(120, L'a') + L"\\" +
                              std::wstring(120, L'b') + L"\\" + std::wstring(30, L'c');
    ASSERT_GE(deep.size() + 8, platform::kMaxPath);
    const std::wstring unc = L"\\\\server\\share\\" + std::wstring(250, L'u') + L"\\tool.exe";
    ExpectLooks({
        {"a file deep in a folder tree", [&](sim::Machine& m) { m.AddFile(deep + L"\\app.exe"); },
         deep + L"\\app.exe", PathState::File},
        {"a folder deep in a folder tree", [&](sim::Machine& m) { m.AddFolder(deep); }, deep,
         PathState::Folder},
        {"a missing file deep in a folder tree", [&](sim::Machine& m) { m.AddFolder(deep); },
         deep + L"\\gone.exe", PathState::Missing},
        {"with dots, slashes and doubled separators as Win32 resolves them",
         [&](sim::Machine& m) { m.AddFile(deep + L"\\app.exe"); },
         L"C:\\Deep\\.\\x\\..\\" + deep.substr(8) + L"//app.exe. ", PathState::File},
        {"a long share path", [&](sim::Machine& m) { m.AddFile(unc); }, unc, PathState::File},
    });
}

TEST(FileExistence, ExtendedLengthPath) {
    const std::wstring a(250, L'a');
    const std::pair<std::wstring, std::wstring> cases[] = {
        {L"C:\\short\\x.exe", L"C:\\short\\x.exe"},
        {L"C:\\" + a + L"\\tool.exe", L"\\\\?\\C:\\" + a + L"\\tool.exe"},
        {L"c:/" + a + L"/./b/../tool.exe", L"\\\\?\\c:\\" + a + L"\\tool.exe"},
        {L"C:\\" + a + L"\\\\tool.exe . .", L"\\\\?\\C:\\" + a + L"\\tool.exe"},
        {L"C:\\" + a + L"\\sub\\deeper\\", L"\\\\?\\C:\\" + a + L"\\sub\\deeper\\"},
        {L"\\\\srv\\share\\" + a + L"\\t.exe", L"\\\\?\\UNC\\srv\\share\\" + a + L"\\t.exe"},
        {L"\\\\?\\C:\\" + a + L"\\..\\t.exe", L"\\\\?\\C:\\" + a + L"\\..\\t.exe"},
        {a + L"\\relative.exe", a + L"\\relative.exe"},
    };
    for (const auto& [path, expected] : cases) {
        EXPECT_EQ(ExtendedLengthPath(path), expected) << testing::PrintToString(path);
    }
}

// ---- FileReferenceExists and redirection ----

TEST_F(FileReferenceTest, FileReferenceExistsFallsBackToPathFolders) {
    machine.AddFile(L"C:\\Windows\\system32\\notepad.exe");
    machine.AddFile(L"C:\\Windows\\SysWOW64\\notepad.exe");
    machine.AddFile(L"C:\\Tools\\tool.exe");
    machine.AddFolder(L"C:\\Tools\\folder.exe");
    struct Case {
        const wchar_t* text;
        bool expected;
    };
    const Case cases[] = {
        {L"notepad.exe", true},
        {L"C:\\Missing\\notepad.exe", true},
        {L"C:\\Tools\\tool.exe", true},
        {L"D:\\Elsewhere\\tool.exe", true},
        {L"C:\\Tools\\folder.exe", false},
        {L"C:\\Tools", false},
        {L"C:\\Windows\\system32\\", false},
        {L"missing.exe", false},
        {L"C:\\Missing\\missing.exe", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::PrintToString(std::wstring(c.text)));
        EXPECT_EQ(FileReferenceExists(c.text, env64), c.expected);
    }
    env64.PathFolders.clear();
    EXPECT_FALSE(FileReferenceExists(L"notepad.exe", env64));
    EXPECT_TRUE(FileReferenceExists(L"C:\\Tools\\tool.exe", env64));
}

TEST_F(FileReferenceTest, NamesAreLookedUpInEitherView) {
    machine.AddFile(L"C:\\Windows\\SysWOW64\\only32.dll");
    machine.AddFile(L"C:\\Windows\\system32\\only64.dll");
    machine.AddFile(L"C:\\Windows\\system32\\Wbem\\wmi64.dll");
    env64.PathFolders = {L"C:\\Tools\\", L"C:\\WINDOWS\\system32\\", L"C:\\Windows\\",
                         L"C:\\Windows\\System32\\Wbem\\"};
    const std::pair<const wchar_t*, bool> cases[] = {
        {L"only32.dll", true}, {L"C:\\Gone\\only32.dll", true}, {L"only64.dll", true},
        {L"wmi64.dll", true},  {L"neither.dll", false},
    };
    for (const auto& [text, expected] : cases) {
        EXPECT_EQ(FileReferenceExists(text, env64), expected)
            << testing::PrintToString(std::wstring(text));
        EXPECT_FALSE(FileExists(L"C:\\Windows\\system32\\only64.dll"))
            << "redirection must be on again";
    }
    // A 32-bit machine has one view only.
    EXPECT_FALSE(FileReferenceExists(L"only64.dll", env32));
}

TEST_F(FileReferenceTest, RedirectionIsOffOnlyDuringTheTest) {
    // Only 64-bit programs' system folder holds this one.
    const std::wstring only64 = L"C:\\Windows\\system32\\only64.exe";
    machine.AddFile(only64);
    ASSERT_FALSE(FileExists(only64));  // a 32-bit view sees SysWOW64
    EXPECT_TRUE(FileReferenceExists(only64, env64));
    EXPECT_FALSE(FileExists(only64)) << "redirection must be on again";
    EXPECT_TRUE(FileReferenceExists(L"only64.exe", env64));
    EXPECT_FALSE(FileExists(only64));
    EXPECT_FALSE(FileReferenceExists(L"C:\\Windows\\system32\\gone.exe", env64));
    EXPECT_FALSE(FileExists(only64));
    // Without 64-bit Windows nothing is switched.
    EXPECT_FALSE(FileReferenceExists(only64, env32));
}

TEST_F(FileReferenceTest, SetFileSystemRedirection) {
    const std::wstring only64 = L"C:\\Windows\\system32\\only64.exe";
    machine.AddFile(only64);
    EXPECT_FALSE(SetFileSystemRedirection(true, env32));
    EXPECT_FALSE(FileExists(only64));
    EXPECT_TRUE(SetFileSystemRedirection(true, env64));
    EXPECT_TRUE(FileExists(only64));
    EXPECT_FALSE(SetFileSystemRedirection(false, env32));
    EXPECT_TRUE(FileExists(only64));
    EXPECT_TRUE(SetFileSystemRedirection(false, env64));
    EXPECT_FALSE(FileExists(only64));
}

}  // namespace
}  // namespace bv
