// The simulated machine's files, WOW64 redirection, environment, folders, drives, processes and
// clock through the platform seam.
#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <vector>

#include "platform/Platform.h"
#include "platform/Utf16.h"
#include "platform/sim/RegFile.h"
#include "platform/sim/SimMachine.h"

namespace bv::sim {
namespace {

using namespace bv::platform;

constexpr std::uint32_t kArchive = 0x20;

// Turns redirection back on at the end of a test, whatever happens.
struct RedirectionOn {
    ~RedirectionOn() { CallWow64EnableFsRedirection(); }
};

class SimFilesTest : public ::testing::Test {
  protected:
    SimFilesTest() : scope_(machine_) {
        machine_.AddFile(L"C:\\Windows\\System32\\only64.dll");
        machine_.AddFile(L"C:\\Windows\\SysWOW64\\only32.dll");
        machine_.AddFile(L"C:\\Windows\\System32\\drivers\\etc\\hosts");
        machine_.AddFile(L"C:\\Windows\\System32\\spool\\drivers\\x.dll");
        machine_.AddFile(L"C:\\Windows\\System32\\catroot2\\c.cat");
        machine_.AddFile(L"C:\\Windows\\System32\\drivers\\disk.sys");
        machine_.AddFile(L"C:\\Data\\file.txt", {1, 2, 3});
        machine_.AddFolder(L"C:\\Users\\User\\Docs\\");
        machine_.AddFile(L"C:\\Secret\\hidden.txt");
        machine_.DenyAccess(L"C:\\Secret");
    }
    Machine machine_;
    ScopedMachine scope_;
    RedirectionOn restore_;
};

struct AttributeCase {
    const wchar_t* path;
    bool redirectionOff;
    std::uint32_t attributes;
    Status error;
};

TEST_F(SimFilesTest, AttributesAndErrors) {
    const std::uint32_t kBad = kInvalidFileAttributes;
    const AttributeCase cases[] = {
        {L"C:\\Data\\file.txt", false, kArchive, 0},
        {L"c:\\DATA\\FILE.TXT", false, kArchive, 0},
        {L"C:/Data/file.txt", false, kArchive, 0},
        {L"C:\\Data", false, kFileAttributeDirectory, 0},
        {L"C:\\Data\\", false, kFileAttributeDirectory, 0},
        {L"C:\\", false, kFileAttributeDirectory, 0},
        {L"D:\\", false, kBad, kErrorPathNotFound},
        {L"C:\\Data\\missing.txt", false, kBad, kErrorFileNotFound},
        {L"C:\\Nowhere\\missing.txt", false, kBad, kErrorPathNotFound},
        {L"C:\\Secret", false, kBad, kErrorAccessDenied},
        {L"C:\\Secret\\hidden.txt", false, kBad, kErrorAccessDenied},
        {L"Docs", false, kFileAttributeDirectory, 0},  // relative to the current folder
        {L"..\\User\\Docs", false, kFileAttributeDirectory, 0},
        {L"\\Data\\file.txt", false, kArchive, 0},
        {L"", false, kBad, kErrorFileNotFound},
        {L"C:\\Data\\*.txt", false, kBad, 123},
        // WOW64: system32 seen by a 32-bit program is SysWOW64 while redirection is on.
        {L"C:\\Windows\\System32\\only64.dll", false, kBad, kErrorFileNotFound},
        {L"C:\\WINDOWS\\system32\\only32.dll", false, kArchive, 0},
        {L"C:\\Windows\\System32\\only64.dll", true, kArchive, 0},
        {L"C:\\Windows\\System32\\only32.dll", true, kBad, kErrorFileNotFound},
        {L"C:\\Windows\\SysWOW64\\only32.dll", true, kArchive, 0},
        {L"C:\\Windows\\System32\\drivers\\etc\\hosts", false, kArchive, 0},
        {L"C:\\Windows\\System32\\spool\\drivers\\x.dll", false, kArchive, 0},
        {L"C:\\Windows\\System32\\catroot2\\c.cat", false, kArchive, 0},
        {L"C:\\Windows\\System32\\drivers\\disk.sys", false, kBad, kErrorPathNotFound},
        {L"C:\\Windows\\System32\\drivers\\disk.sys", true, kArchive, 0},
        {L"C:\\Windows\\System32", false, kFileAttributeDirectory, 0},
    };
    for (const AttributeCase& c : cases) {
        ASSERT_TRUE(c.redirectionOff ? CallWow64DisableFsRedirection()
                                     : CallWow64EnableFsRedirection());
        Status error = -1;
        EXPECT_EQ(GetFileAttributes(c.path, &error), c.attributes) << ToUtf8(c.path);
        if (c.attributes == kInvalidFileAttributes) {
            EXPECT_EQ(error, c.error) << ToUtf8(c.path);
        }
    }
}

TEST_F(SimFilesTest, RedirectionIsPerThreadAndOnlyOn64Bit) {
    ASSERT_TRUE(CallWow64DisableFsRedirection());
    EXPECT_EQ(GetFileAttributes(L"C:\\Windows\\System32\\only64.dll", nullptr), kArchive);
    std::uint32_t seenByOtherThread = 0;
    std::thread other([&] {
        seenByOtherThread = GetFileAttributes(L"C:\\Windows\\System32\\only64.dll", nullptr);
    });
    other.join();
    EXPECT_EQ(seenByOtherThread, kInvalidFileAttributes);
    ASSERT_TRUE(CallWow64EnableFsRedirection());
    EXPECT_EQ(GetFileAttributes(L"C:\\Windows\\System32\\only64.dll", nullptr),
              kInvalidFileAttributes);

    machine_.programFilesFolder = L"C:\\Program Files";  // a 32-bit machine
    EXPECT_FALSE(machine_.Is64Bit());
    EXPECT_EQ(GetFileAttributes(L"C:\\Windows\\System32\\only64.dll", nullptr), kArchive);
}

TEST_F(SimFilesTest, ReadWriteDeleteAndFolders) {
    std::vector<std::uint8_t> bytes;
    ASSERT_TRUE(ReadFileBytes(L"C:\\data\\FILE.txt", bytes));
    EXPECT_EQ(bytes, (std::vector<std::uint8_t>{1, 2, 3}));
    EXPECT_FALSE(ReadFileBytes(L"C:\\Data", bytes));
    EXPECT_FALSE(ReadFileBytes(L"C:\\Data\\none", bytes));
    EXPECT_FALSE(ReadFileBytes(L"C:\\Secret\\hidden.txt", bytes));

    EXPECT_TRUE(WriteFileBytes(L"C:\\Data\\new.bin", {9}));
    EXPECT_TRUE(WriteFileBytes(L"C:\\Data\\FILE.TXT", {4, 5}));
    EXPECT_EQ(*machine_.FileContents(L"C:\\Data\\file.txt"), (std::vector<std::uint8_t>{4, 5}));
    EXPECT_FALSE(WriteFileBytes(L"C:\\NoFolder\\new.bin", {9}));
    EXPECT_FALSE(WriteFileBytes(L"C:\\Data", {9}));
    EXPECT_FALSE(WriteFileBytes(L"", {9}));

    EXPECT_FALSE(CreateDirectory(L"C:\\A\\B"));  // one level only
    EXPECT_TRUE(CreateDirectory(L"C:\\A"));
    EXPECT_FALSE(CreateDirectory(L"C:\\A"));  // already there
    EXPECT_TRUE(CreateDirectory(L"C:\\A\\B\\"));
    EXPECT_TRUE(machine_.IsFolder(L"c:\\a\\b"));

    EXPECT_FALSE(DeleteFile(L"C:\\A"));
    EXPECT_FALSE(DeleteFile(L"C:\\Data\\none"));
    EXPECT_TRUE(DeleteFile(L"C:\\Data\\new.bin"));
    EXPECT_FALSE(machine_.IsFile(L"C:\\Data\\new.bin"));

    // Writing through system32 with redirection on lands in SysWOW64.
    EXPECT_TRUE(WriteFileBytes(L"C:\\Windows\\System32\\w.dat", {1}));
    EXPECT_TRUE(machine_.IsFile(L"C:\\Windows\\SysWOW64\\w.dat"));
    EXPECT_FALSE(machine_.IsFile(L"C:\\Windows\\System32\\w.dat"));
}

TEST_F(SimFilesTest, LockKeepsFileUntilReleased) {
    {
        FileLock lock(L"C:\\Data\\file.txt");
        ASSERT_TRUE(lock.Held());
        EXPECT_FALSE(DeleteFile(L"C:\\Data\\file.txt"));
        EXPECT_FALSE(WriteFileBytes(L"C:\\Data\\file.txt", {7}));
        std::vector<std::uint8_t> bytes;
        EXPECT_TRUE(ReadFileBytes(L"C:\\Data\\file.txt", bytes));
        FileLock moved(std::move(lock));
        EXPECT_FALSE(lock.Held());
        EXPECT_TRUE(moved.Held());
        EXPECT_FALSE(DeleteFile(L"C:\\Data\\file.txt"));
    }
    EXPECT_TRUE(WriteFileBytes(L"C:\\Data\\file.txt", {7}));
    EXPECT_TRUE(DeleteFile(L"C:\\Data\\file.txt"));
    FileLock missing(L"C:\\Data\\file.txt");
    EXPECT_FALSE(missing.Held());
}

TEST_F(SimFilesTest, ListPathsInOrderWithFolders) {
    Machine m;
    m.AddFile(L"D:\\x\\y.txt");
    m.AddFolder(L"D:\\z");
    EXPECT_EQ(m.ListPaths(), (std::vector<std::wstring>{L"D:\\x\\", L"D:\\x\\y.txt", L"D:\\z\\"}));
    EXPECT_TRUE(m.RemoveFile(L"d:\\X"));
    EXPECT_EQ(m.ListPaths(), (std::vector<std::wstring>{L"D:\\z\\"}));
}

struct ExpandCase {
    const wchar_t* source;
    const wchar_t* expected;
};

TEST_F(SimFilesTest, ExpansionFollowsWindows) {
    machine_.SetEnvironment(L"Empty", L"");
    const ExpandCase cases[] = {
        {L"%SystemRoot%\\system32", L"C:\\Windows\\system32"},
        {L"%systemroot%\\x", L"C:\\Windows\\x"},
        {L"%ProgramFiles%|%ProgramW6432%", L"C:\\Program Files (x86)|C:\\Program Files"},
        {L"%Undefined%\\x", L"%Undefined%\\x"},
        {L"%Undefined%SystemRoot%", L"%Undefined%SystemRoot%"},
        {L"50%", L"50%"},
        {L"%%", L"%%"},
        {L"a%Empty%b", L"ab"},
        {L"", L""},
        {L"no references", L"no references"},
    };
    for (const ExpandCase& c : cases) {
        std::wstring expected = c.expected;
        wchar_t buffer[260];
        std::uint32_t n = ExpandEnvironmentStrings(c.source, buffer, 260);
        EXPECT_EQ(n, expected.size() + 1) << ToUtf8(c.source);
        EXPECT_EQ(std::wstring(buffer), expected);
    }
    // Too small: the size needed comes back and the buffer is left alone.
    wchar_t small[8] = L"keep";
    EXPECT_EQ(ExpandEnvironmentStrings(L"%SystemRoot%\\system32", small, 8), 20u);
    EXPECT_EQ(std::wstring(small), L"keep");
    EXPECT_EQ(ExpandEnvironmentStrings(L"%SystemRoot%", nullptr, 0), 11u);
    wchar_t exact[11];
    EXPECT_EQ(ExpandEnvironmentStrings(L"%SystemRoot%", exact, 11), 11u);
    EXPECT_EQ(std::wstring(exact), L"C:\\Windows");

    std::wstring value;
    EXPECT_TRUE(GetEnvironmentVariable(L"path", value));
    EXPECT_EQ(value, L"C:\\Windows\\system32;C:\\Windows");
    EXPECT_FALSE(GetEnvironmentVariable(L"NotSet", value));
}

TEST_F(SimFilesTest, FoldersAndDrives) {
    EXPECT_EQ(GetModuleFileName(), L"C:\\Program Files (x86)\\Brimvale\\Brimvale.exe");
    EXPECT_EQ(GetWindowsDirectory(), L"C:\\Windows");
    EXPECT_EQ(GetSystemDirectory(), L"C:\\Windows\\system32");
    EXPECT_EQ(SHGetFolderPath(kCsidlAppData), L"C:\\Users\\User\\AppData\\Roaming");
    EXPECT_EQ(SHGetFolderPath(kCsidlProgramFiles), L"C:\\Program Files (x86)");
    EXPECT_TRUE(machine_.Is64Bit());

    machine_.drives = {{L'A', kDriveRemovable},
                       {L'C', kDriveFixed},
                       {L'D', kDriveCdrom},
                       {L'E', kDriveFixed},
                       {L'Z', kDriveRemote}};
    EXPECT_EQ(GetLogicalDrives(), (1u << 0) | (1u << 2) | (1u << 3) | (1u << 4) | (1u << 25));
    const std::pair<const wchar_t*, std::uint32_t> types[] = {
        {L"A:\\", kDriveRemovable}, {L"c:\\", kDriveFixed},     {L"D:\\", kDriveCdrom},
        {L"Z:\\", kDriveRemote},    {L"B:\\", kDriveNoRootDir}, {L"C:\\x", kDriveNoRootDir},
    };
    for (const auto& [root, type] : types) {
        EXPECT_EQ(GetDriveType(root), type) << ToUtf8(root);
    }
}

TEST_F(SimFilesTest, DefaultMachineIsRestored) {
    Machine::Install(nullptr);
    Machine::Current().administrator = false;
    Machine::Current().SetEnvironment(L"X", L"1");
    Machine::Install(nullptr);
    EXPECT_TRUE(Machine::Current().administrator);
    EXPECT_FALSE(Machine::Current().Environment(L"X"));
    EXPECT_EQ(*Machine::Current().Environment(L"ProgramW6432"), L"C:\\Program Files");
    EXPECT_EQ(*Machine::Current().Environment(L"windir"), L"C:\\Windows");
    Machine::Install(&machine_);
}

TEST_F(SimFilesTest, RegistryEditorProcess) {
    machine_.registry.SetString(kHkeyCurrentUser, L"Software\\App", L"v", L"x");
    machine_.AddFile(L"C:\\Data\\del.reg", [] {
        std::string text =
            "Windows Registry Editor Version 5.00\r\n\r\n"
            "[-HKEY_CURRENT_USER\\Software\\App]\r\n";
        return std::vector<std::uint8_t>(text.begin(), text.end());
    }());
    const std::wstring editor = L"C:\\Windows\\regedit.exe";

    // Export: UTF-16LE with mark, the key named as given.
    EXPECT_TRUE(StartProcess(editor,
                             L" /s /e \"C:\\Data\\out.reg\" \"HKEY_CURRENT_USER\\Software\\App\"",
                             0x88)
                    .Started());
    const std::vector<std::uint8_t>* out = machine_.FileContents(L"C:\\Data\\out.reg");
    ASSERT_NE(out, nullptr);
    EXPECT_EQ(DecodeRegFileBytes(*out),
              L"Windows Registry Editor Version 5.00\r\n\r\n"
              L"[HKEY_CURRENT_USER\\Software\\App]\r\n\"v\"=\"x\"\r\n\r\n");
    EXPECT_EQ((*out)[0], 0xFF);
    EXPECT_EQ((*out)[1], 0xFE);

    // A missing key writes no file.
    EXPECT_TRUE(StartProcess(
                    editor, L" /s /e C:\\Data\\none.reg HKEY_CURRENT_USER\\Software\\Missing", 0x88)
                    .Started());
    EXPECT_FALSE(machine_.IsFile(L"C:\\Data\\none.reg"));

    // A script held open for reading (FileLock) still opens for the editor's read.
    {
        FileLock lock(L"C:\\Data\\del.reg");
        ASSERT_TRUE(lock.Held());
        EXPECT_TRUE(StartProcess(L"c:\\windows\\REGEDIT.EXE", L" /s \"C:\\Data\\del.reg\"", 0x88)
                        .Started());
        EXPECT_EQ(machine_.registry.Find(kHkeyCurrentUser, L"Software\\App"), nullptr);
    }
    // A missing script imports nothing.
    machine_.registry.Create(kHkeyCurrentUser, L"Software\\App");
    EXPECT_TRUE(StartProcess(editor, L" /s \"C:\\Data\\gone.reg\"", 0x88).Started());
    EXPECT_NE(machine_.registry.Find(kHkeyCurrentUser, L"Software\\App"), nullptr);

    // Other programs: created only when the file exists; every request is recorded.
    EXPECT_FALSE(StartProcess(L"C:\\Tools\\none.exe", L"", 0).Started());
    machine_.AddFile(L"C:\\Tools\\tool.exe");
    EXPECT_TRUE(StartProcess(L"C:\\Tools\\tool.exe", L"tool.exe /x", 0).Started());
    ASSERT_EQ(machine_.processes.size(), 6u);
    EXPECT_EQ(machine_.processes[0].application, editor);
    EXPECT_EQ(machine_.processes[0].creationFlags, 0x88u);
    EXPECT_EQ(machine_.processes[5].commandLine, L"tool.exe /x");
}

TEST_F(SimFilesTest, LongPathsNeedTheExtendedForm) {
    const std::wstring deep =
        L"C:\\Deep\\" + std::wstring(200, L'd') + L"\\" + std::wstring(60, L'e');
    const std::wstring file = deep + L"\\f.txt";
    machine_.AddFile(file, {7});
    struct Case {
        std::wstring path;
        std::uint32_t attributes;
        Status error;
    } cases[] = {
        {file, kInvalidFileAttributes, kErrorPathNotFound},
        {L"\\\\?\\" + file, kArchive, 0},
        {L"\\\\?\\" + deep, kFileAttributeDirectory, 0},
        {L"\\\\?\\" + deep + L"\\none.txt", kInvalidFileAttributes, kErrorFileNotFound},
        {L"\\\\?\\C:\\Data\\file.txt", kArchive, 0},
    };
    for (const Case& c : cases) {
        Status error = 0;
        EXPECT_EQ(GetFileAttributes(c.path, &error), c.attributes) << ToUtf8(c.path);
        if (c.attributes == kInvalidFileAttributes) {
            EXPECT_EQ(error, c.error) << ToUtf8(c.path);
        }
    }
    std::vector<std::uint8_t> bytes;
    EXPECT_FALSE(ReadFileBytes(file, bytes));
    EXPECT_FALSE(WriteFileBytes(deep + L"\\new.txt", {1}));
    EXPECT_TRUE(ReadFileBytes(L"\\\\?\\" + file, bytes));
    EXPECT_EQ(bytes, std::vector<std::uint8_t>{7});
    EXPECT_TRUE(WriteFileBytes(L"\\\\?\\" + deep + L"\\new.txt", {1}));
    // Shares take the "UNC" form; a process that is long-path aware needs no prefix.
    machine_.AddFile(L"\\\\server\\share\\x.txt");
    EXPECT_EQ(GetFileAttributes(L"\\\\?\\UNC\\server\\share\\x.txt", nullptr), kArchive);
    machine_.maxPath = 0;
    EXPECT_EQ(GetFileAttributes(file, nullptr), kArchive);
}

TEST_F(SimFilesTest, LookFailuresCoverEverythingBelow) {
    machine_.drives.push_back({L'D', kDriveCdrom});
    machine_.FailLooks(L"D:\\", kErrorNotReady);
    machine_.FailLooks(L"\\\\server\\apps", kErrorNetworkUnreachable);
    machine_.FailLooks(L"\\\\gone", kErrorBadNetpath);
    machine_.AddFile(L"\\\\server\\other\\x.exe");
    const std::pair<const wchar_t*, Status> cases[] = {
        {L"D:\\", kErrorNotReady},
        {L"D:\\setup\\setup.exe", kErrorNotReady},
        {L"\\\\server\\apps\\a\\b.exe", kErrorNetworkUnreachable},
        {L"\\\\SERVER\\APPS", kErrorNetworkUnreachable},
        {L"\\\\gone\\share\\x.exe", kErrorBadNetpath},
        {L"C:\\Secret\\hidden.txt", kErrorAccessDenied},
        {L"\\\\server\\other\\x.exe", kErrorSuccess},
    };
    for (const auto& [path, error] : cases) {
        Status got = kErrorSuccess;
        const std::uint32_t attributes = GetFileAttributes(path, &got);
        EXPECT_EQ(attributes == kInvalidFileAttributes ? got : kErrorSuccess, error)
            << ToUtf8(path);
    }
    std::vector<std::uint8_t> bytes;
    EXPECT_FALSE(WriteFileBytes(L"\\\\server\\apps\\new.txt", {1}));
    EXPECT_FALSE(ReadFileBytes(L"D:\\x.txt", bytes));
}

TEST_F(SimFilesTest, ReparsePointsAndWhereTheirLinksLead) {
    machine_.AddFile(L"C:\\Apps\\v2\\app.exe");
    machine_.AddReparsePoint(L"C:\\Apps\\app.exe", kIoReparseTagSymlink, L"v2\\app.exe");
    machine_.AddReparsePoint(L"C:\\Apps\\gone.exe", kIoReparseTagSymlink, L"C:\\Nowhere\\x.exe");
    machine_.AddReparsePoint(L"C:\\Apps\\alias.exe", kIoReparseTagAppExecLink);
    machine_.AddReparsePoint(L"C:\\Apps\\cloud.exe", kIoReparseTagCloud);
    machine_.AddReparsePoint(L"C:\\Linked", kIoReparseTagMountPoint, L"C:\\Apps", true);
    machine_.AddReparsePoint(L"C:\\Loop.exe", kIoReparseTagSymlink, L"C:\\Loop.exe");
    struct Case {
        const wchar_t* path;
        std::uint32_t tag;
        bool asFolder;
        Status openError;  // 0: the target opens
    } cases[] = {
        {L"C:\\Apps\\app.exe", kIoReparseTagSymlink, false, 0},
        {L"C:\\Apps\\gone.exe", kIoReparseTagSymlink, false, kErrorPathNotFound},
        {L"C:\\Apps\\alias.exe", kIoReparseTagAppExecLink, false, kErrorCantAccessFile},
        {L"C:\\Apps\\cloud.exe", kIoReparseTagCloud, false, kErrorCloudFileProviderNotRunning},
        {L"C:\\Linked", kIoReparseTagMountPoint, true, 0},
        {L"C:\\Linked", kIoReparseTagMountPoint, false, kErrorAccessDenied},
        {L"C:\\Loop.exe", kIoReparseTagSymlink, false, kErrorCantResolveFilename},
        {L"C:\\Data\\file.txt", 0, false, 0},
        {L"C:\\Data\\none.txt", 0, false, kErrorFileNotFound},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(ToUtf8(c.path));
        const std::uint32_t attributes = GetFileAttributes(c.path, nullptr);
        if (c.tag != 0) {
            EXPECT_NE(attributes & kFileAttributeReparsePoint, 0u);
        }
        EXPECT_EQ(GetReparseTag(c.path), c.tag);
        Status error = kErrorSuccess;
        EXPECT_EQ(LinkTargetOpens(c.path, c.asFolder, &error), c.openError == 0);
        EXPECT_EQ(error, c.openError);
    }
}

TEST_F(SimFilesTest, WritesStopWhenTheDiskIsFull) {
    machine_.freeBytes = 10;
    EXPECT_TRUE(WriteFileBytes(L"C:\\Data\\a.bin", std::vector<std::uint8_t>(6, 1)));
    EXPECT_EQ(*machine_.freeBytes, 4u);
    // Rewriting gives the old bytes back first.
    EXPECT_TRUE(WriteFileBytes(L"C:\\Data\\a.bin", std::vector<std::uint8_t>(9, 2)));
    EXPECT_EQ(*machine_.freeBytes, 1u);
    // What does not fit is cut short, and the write fails.
    EXPECT_FALSE(WriteFileBytes(L"C:\\Data\\b.bin", std::vector<std::uint8_t>(5, 3)));
    ASSERT_NE(machine_.FileContents(L"C:\\Data\\b.bin"), nullptr);
    EXPECT_EQ(machine_.FileContents(L"C:\\Data\\b.bin")->size(), 1u);
    EXPECT_EQ(*machine_.freeBytes, 0u);
}

TEST_F(SimFilesTest, AProcessCanRunPastTheTimeOut) {
    machine_.registry.SetString(kHkeyCurrentUser, L"Software\\App", L"v", L"x");
    const std::wstring editor = L"C:\\Windows\\regedit.exe";
    const std::wstring exportLine =
        L" /s /e \"C:\\Data\\out.reg\" \"HKEY_CURRENT_USER\\Software\\App\"";
    // Started, and whether it ended within the wait.
    auto run = [](const std::wstring& app, const std::wstring& line, std::uint32_t timeoutMs,
                  bool* ended) {
        Process process = StartProcess(app, line, 0x88);
        *ended = process.Wait(timeoutMs);
        return process.Started();
    };
    bool ended = false;
    EXPECT_TRUE(run(editor, exportLine, 10000, &ended));
    EXPECT_TRUE(ended);
    EXPECT_TRUE(machine_.RemoveFile(L"C:\\Data\\out.reg"));

    machine_.onProcess = [](const ProcessRecord& p) {
        return p.commandLine.find(L"/e") == std::wstring::npos
                   ? Machine::ProcessOutcome::Runs
                   : Machine::ProcessOutcome::RunsPastTimeOut;
    };
    const LocalTime before = machine_.clock;
    EXPECT_TRUE(run(editor, exportLine, 10000, &ended));
    EXPECT_FALSE(ended);
    EXPECT_FALSE(machine_.IsFile(L"C:\\Data\\out.reg"));
    EXPECT_EQ(machine_.clock.second, (before.second + 10) % 60);
    EXPECT_TRUE(run(editor, L" /s \"C:\\Data\\none.reg\"", 10000, &ended));
    EXPECT_TRUE(ended);
    EXPECT_FALSE(run(L"C:\\Tools\\none.exe", L"", 10, &ended));
    EXPECT_FALSE(ended);
    // An editor that ends at once without doing its work.
    machine_.onProcess = [](const ProcessRecord&) {
        return Machine::ProcessOutcome::EndsDoingNothing;
    };
    EXPECT_TRUE(run(editor, exportLine, 10000, &ended));
    EXPECT_TRUE(ended);
    EXPECT_FALSE(machine_.IsFile(L"C:\\Data\\out.reg"));
}

TEST_F(SimFilesTest, ShellAndClock) {
    ShellOpen(42, L"C:\\Users\\User\\AppData\\Roaming\\Brimvale\\");
    ASSERT_EQ(machine_.shellOpens.size(), 1u);
    EXPECT_EQ(machine_.shellOpens[0].owner, 42u);
    EXPECT_EQ(machine_.shellOpens[0].file, L"C:\\Users\\User\\AppData\\Roaming\\Brimvale\\");

    machine_.clock = LocalTime{2024, 12, 31, 23, 59, 59, 500};
    Sleep(600);
    LocalTime t = GetLocalTime();
    EXPECT_EQ(t.year, 2025);
    EXPECT_EQ(t.month, 1);
    EXPECT_EQ(t.day, 1);
    EXPECT_EQ(t.hour, 0);
    EXPECT_EQ(t.second, 0);
    EXPECT_EQ(t.millisecond, 100);
    machine_.clock = LocalTime{2024, 2, 28, 12, 0, 0, 0};
    Sleep(24u * 3600u * 1000u);
    EXPECT_EQ(GetLocalTime().day, 29);
}

}  // namespace
}  // namespace bv::sim

namespace bv::sim {
namespace {

// Network paths: the share is the top folder; nothing above it is implied.
TEST(SimFilesUnc, FilesRightUnderAShareAndItsFolders) {
    Machine m;
    m.AddFile(L"\\\\server\\fonts\\net.ttf");
    m.AddFile(L"\\\\server\\share\\dir\\a.txt");
    m.AddFolder(L"\\\\server");
    EXPECT_TRUE(m.IsFile(L"\\\\SERVER\\fonts\\net.ttf"));
    EXPECT_TRUE(m.IsFolder(L"\\\\server\\share\\dir"));
    EXPECT_TRUE(m.IsFile(L"\\\\server\\share\\dir\\A.TXT"));
}

}  // namespace
}  // namespace bv::sim

namespace bv::sim {
namespace {

// WOW64 hands a 32-bit program SysWOW64's editor for <windows>\regedit.exe while the starting
// thread's redirection is on; that editor exports and imports the 32-bit view of the machine.
TEST(SimRegistryEditorView, StartReachesTheEditorOfTheStartingThreadsView) {
    struct Case {
        const char* name;
        bool machine64;
        bool redirectionOff;
        const wchar_t* image;
        const wchar_t* exported;  // "v" of HKLM\SOFTWARE\Twin as the editor saw it
        const wchar_t* deleted;   // the key its import removed
        const wchar_t* kept;
    };
    const Case cases[] = {
        {"64-bit machine, redirection on", true, false, L"C:\\Windows\\SysWOW64\\regedit.exe",
         L"32", L"SOFTWARE\\WOW6432Node\\Twin", L"SOFTWARE\\Twin"},
        {"64-bit machine, redirection off", true, true, L"C:\\Windows\\regedit.exe", L"64",
         L"SOFTWARE\\Twin", L"SOFTWARE\\WOW6432Node\\Twin"},
        {"32-bit machine", false, false, L"C:\\Windows\\regedit.exe", L"64", L"SOFTWARE\\Twin",
         L"SOFTWARE\\WOW6432Node\\Twin"},
        {"32-bit machine, switch called", false, true, L"C:\\Windows\\regedit.exe", L"64",
         L"SOFTWARE\\Twin", L"SOFTWARE\\WOW6432Node\\Twin"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Machine m;
        if (!c.machine64) {
            m.programFilesFolder = L"C:\\Program Files";
        }
        ScopedMachine use(m);
        RedirectionOn restore;
        m.registry.SetString(kHkeyLocalMachine, L"SOFTWARE\\Twin", L"v", L"64");
        m.registry.SetString(kHkeyLocalMachine, L"SOFTWARE\\WOW6432Node\\Twin", L"v", L"32");
        const std::string script =
            "Windows Registry Editor Version 5.00\r\n\r\n"
            "[-HKEY_LOCAL_MACHINE\\SOFTWARE\\Twin]\r\n\r\n";
        m.AddFile(L"C:\\Data\\del.reg", std::vector<std::uint8_t>(script.begin(), script.end()));

        if (c.redirectionOff) {
            CallWow64DisableFsRedirection();
        }
        const std::wstring editor = L"C:\\Windows\\regedit.exe";
        Process exporter = StartProcess(
            editor, L" /s /e \"C:\\Data\\out.reg\" \"HKEY_LOCAL_MACHINE\\SOFTWARE\\Twin\"", 0x88);
        Process importer = StartProcess(editor, L" /s \"C:\\Data\\del.reg\"", 0x88);
        CallWow64EnableFsRedirection();
        EXPECT_TRUE(exporter.Wait(10000));
        EXPECT_TRUE(importer.Wait(10000));

        ASSERT_EQ(m.processes.size(), 2u);
        for (const ProcessRecord& record : m.processes) {
            EXPECT_EQ(record.application, editor);
            EXPECT_EQ(record.image, c.image);
            EXPECT_EQ(record.redirectionOff, c.redirectionOff);
            EXPECT_TRUE(record.waited);
            EXPECT_FALSE(record.redirectionOffInWait);
        }
        const std::vector<std::uint8_t>* out = m.FileContents(L"C:\\Data\\out.reg");
        ASSERT_NE(out, nullptr);
        EXPECT_EQ(DecodeRegFileBytes(*out),
                  L"Windows Registry Editor Version 5.00\r\n\r\n"
                  L"[HKEY_LOCAL_MACHINE\\SOFTWARE\\Twin]\r\n\"v\"=\"" +
                      std::wstring(c.exported) + L"\"\r\n\r\n");
        EXPECT_EQ(m.registry.Find(kHkeyLocalMachine, c.deleted), nullptr);
        EXPECT_NE(m.registry.Find(kHkeyLocalMachine, c.kept), nullptr);
    }
}

}  // namespace
}  // namespace bv::sim
