// Machine directories: loading every entry, errors that name file and line, and save -> load
// giving the same machine back.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <vector>

#include "platform/Platform.h"
#include "platform/Utf16.h"
#include "platform/sim/MachineDirectory.h"
#include "platform/sim/RegFile.h"
#include "platform/sim/SimMachine.h"

namespace bv::sim {
namespace {

using namespace bv::platform;
namespace fs = std::filesystem;

// A fresh folder per test, removed afterwards.
class SimMachineDirectoryTest : public ::testing::Test {
  protected:
    SimMachineDirectoryTest() {
        const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
        dir_ = fs::temp_directory_path() / ("bv-simdir-" + std::string(info->name()) + "-" +
                                            std::to_string(reinterpret_cast<std::uintptr_t>(this)));
        fs::remove_all(dir_);
        fs::create_directories(dir_);
    }
    ~SimMachineDirectoryTest() override {
        std::error_code ec;
        fs::remove_all(dir_, ec);
    }
    void Write(const fs::path& name, const std::string& bytes) {
        fs::create_directories((dir_ / name).parent_path());
        std::ofstream(dir_ / name, std::ios::binary) << bytes;
    }
    fs::path dir_;
};

TEST_F(SimMachineDirectoryTest, LoadsEveryEntry) {
    Write("machine.ini",
          "; a machine\n"
          "[machine]\n"
          "windows = D:\\WINNT\n"
          "programfiles = D:\\Program Files\n"
          "appdata = D:\\Users\\Ann\\AppData\\Roaming\\\n"
          "program = D:\\Tools\\Brimvale.exe\n"
          "cwd = D:\\Tools\n"
          "drives = A:removable C:fixed D:cdrom E:fixed Z:network\n"
          "admin = no\n"
          "\n"
          "[environment]\n"
          "PATH = D:\\WINNT\\system32;D:\\Bin\n"
          "Custom = a = b\n"
          "\n"
          "[rights]\n"
          "HKEY_CURRENT_USER\\Software\\Locked = read\n"
          "HKLM\\SOFTWARE\\Hidden = none\n");
    Write("registry.reg",
          "\xEF\xBB\xBFWindows Registry Editor Version 5.00\r\n\r\n"
          "[HKCR\\.txt]\r\n@=\"txtfile\"\r\n\r\n"
          "[HKEY_CURRENT_USER\\Software\\Locked\\Sub]\r\n\"n\"=dword:00000001\r\n\r\n"
          "[HKLM\\SOFTWARE\\Hidden]\r\n\"caf\xC3\xA9\"=\"x\"\r\n");
    Write("files.txt",
          "# comment\n"
          "\n"
          "D:\\WINNT\\system32\\only64.dll\n"
          "D:\\WINNT\\SysWOW64\\\n"
          "  E:\\Data\\file.txt  \n");
    Write("appdata/Exclusions.txt", std::string("a\r\n\0b", 5));
    Write("appdata/Undo/old.reg", "x");

    Machine m;
    std::string error;
    ASSERT_TRUE(LoadMachineDirectory(dir_, m, error)) << error;
    EXPECT_EQ(m.windowsFolder, L"D:\\WINNT");
    EXPECT_EQ(m.systemFolder, L"D:\\WINNT\\system32");
    EXPECT_FALSE(m.Is64Bit());
    EXPECT_EQ(m.appDataFolder, L"D:\\Users\\Ann\\AppData\\Roaming");
    EXPECT_EQ(m.programPath, L"D:\\Tools\\Brimvale.exe");
    EXPECT_EQ(m.currentFolder, L"D:\\Tools");
    EXPECT_FALSE(m.administrator);
    ASSERT_EQ(m.drives.size(), 5u);
    EXPECT_EQ(m.drives[4].letter, L'Z');
    EXPECT_EQ(m.drives[4].type, kDriveRemote);
    EXPECT_EQ(*m.Environment(L"path"), L"D:\\WINNT\\system32;D:\\Bin");
    EXPECT_EQ(*m.Environment(L"Custom"), L"a = b");
    EXPECT_EQ(*m.Environment(L"SystemRoot"), L"D:\\WINNT");
    EXPECT_EQ(*m.Environment(L"ProgramFiles"), L"D:\\Program Files");
    EXPECT_FALSE(m.Environment(L"ProgramW6432"));  // 32-bit Windows has none

    EXPECT_NE(m.registry.Find(kHkeyClassesRoot, L".txt"), nullptr);
    const Key* locked = m.registry.Find(kHkeyCurrentUser, L"Software\\Locked\\Sub");
    ASSERT_NE(locked, nullptr);
    EXPECT_EQ(m.EffectiveRight(kHkeyCurrentUser, *locked), Right::Read);
    const Key* hidden = m.registry.Find(kHkeyLocalMachine, L"SOFTWARE\\Hidden");
    ASSERT_NE(hidden, nullptr);
    EXPECT_NE(hidden->FindValue(L"caf\u00E9"), nullptr);
    EXPECT_EQ(m.EffectiveRight(kHkeyLocalMachine, *hidden), Right::None);

    EXPECT_TRUE(m.IsFile(L"D:\\WINNT\\system32\\only64.dll"));
    EXPECT_TRUE(m.IsFolder(L"D:\\WINNT\\SysWOW64"));
    EXPECT_TRUE(m.IsFile(L"E:\\Data\\file.txt"));
    const auto* exclusions =
        m.FileContents(L"D:\\Users\\Ann\\AppData\\Roaming\\Brimvale\\Exclusions.txt");
    ASSERT_NE(exclusions, nullptr);
    EXPECT_EQ(*exclusions, (std::vector<std::uint8_t>{'a', '\r', '\n', 0, 'b'}));
    EXPECT_TRUE(m.IsFile(L"D:\\Users\\Ann\\AppData\\Roaming\\Brimvale\\Undo\\old.reg"));
}

TEST_F(SimMachineDirectoryTest, FileKindsLimitsAndTheProgramFilesOfAnotherDrive) {
    Write("machine.ini",
          "[machine]\n"
          "windows = D:\\Windows\n"
          "programfiles = D:\\Program Files (x86)\n"
          "drives = C:fixed D:fixed E:cdrom\n"
          "maxpath = 0x104\n"
          "freespace = 4096\n"
          "[files]\n"
          "C:\\Users\\U\\AppData\\Local\\Microsoft\\WindowsApps\\python.exe = appexeclink\n"
          "C:\\OneDrive\\ = cloud\n"
          "C:\\Tools\\current.exe = symlink C:\\Tools\\v 2\\tool.exe\n"
          "C:\\Linked\\ = junction D:\\Data\n"
          "C:\\Dedup\\big.dll = reparse 0x80000013\n"
          "C:\\Private\\ = denied\n"
          "E:\\ = notready\n"
          "\\\\server\\apps = unreachable\n"
          "\\\\oldserver = badnetpath\n"
          "\\\\server\\gone = badnetname\n"
          "\\\\server\\busy = error 1232\n");
    Write("files.txt", "C:\\Tools\\v 2\\tool.exe\nC:\\Tools\\current.exe\n");
    Machine m;
    std::string error;
    ASSERT_TRUE(LoadMachineDirectory(dir_, m, error)) << error;
    ScopedMachine use(m);
    EXPECT_EQ(m.maxPath, 260u);
    EXPECT_EQ(m.freeBytes, std::optional<std::uint64_t>(4096));
    // The 64-bit programs' folders follow the x86 one to its drive.
    EXPECT_EQ(*m.Environment(L"ProgramW6432"), L"D:\\Program Files");
    EXPECT_EQ(*m.Environment(L"CommonProgramW6432"), L"D:\\Program Files\\Common Files");
    EXPECT_EQ(*m.Environment(L"ProgramFiles(x86)"), L"D:\\Program Files (x86)");
    const std::pair<const wchar_t*, std::uint32_t> tags[] = {
        {L"C:\\Users\\U\\AppData\\Local\\Microsoft\\WindowsApps\\python.exe",
         kIoReparseTagAppExecLink},
        {L"C:\\OneDrive", kIoReparseTagCloud},
        {L"C:\\Tools\\current.exe", kIoReparseTagSymlink},
        {L"C:\\Linked", kIoReparseTagMountPoint},
        {L"C:\\Dedup\\big.dll", 0x80000013u},
        {L"C:\\Tools\\v 2\\tool.exe", 0},
    };
    for (const auto& [path, tag] : tags) {
        EXPECT_EQ(GetReparseTag(path), tag) << ToUtf8(path);
    }
    EXPECT_TRUE(m.IsFolder(L"C:\\OneDrive"));
    EXPECT_TRUE(LinkTargetOpens(L"C:\\Tools\\current.exe", false, nullptr));
    const std::pair<const wchar_t*, Status> failures[] = {
        {L"C:\\Private\\x.txt", kErrorAccessDenied},
        {L"E:\\setup.exe", kErrorNotReady},
        {L"\\\\server\\apps\\a.exe", kErrorNetworkUnreachable},
        {L"\\\\oldserver\\share\\a.exe", kErrorBadNetpath},
        {L"\\\\server\\gone\\a.exe", kErrorBadNetName},
        {L"\\\\server\\busy\\a.exe", 1232},
    };
    for (const auto& [path, expected] : failures) {
        Status got = kErrorSuccess;
        EXPECT_EQ(GetFileAttributes(path, &got), kInvalidFileAttributes) << ToUtf8(path);
        EXPECT_EQ(got, expected) << ToUtf8(path);
    }
}

TEST_F(SimMachineDirectoryTest, EmptyDirectoryGivesTheDefaultMachine) {
    Machine m;
    std::string error;
    ASSERT_TRUE(LoadMachineDirectory(dir_, m, error)) << error;
    EXPECT_TRUE(m.Is64Bit());
    EXPECT_TRUE(m.administrator);
    EXPECT_EQ(m.drives.size(), 1u);
    EXPECT_FALSE(LoadMachineDirectory(dir_ / "missing", m, error));
    EXPECT_NE(error.find("missing"), std::string::npos);
}

struct ErrorCase {
    const char* file;
    std::string content;
    const char* where;  // expected "file:line"
};

TEST_F(SimMachineDirectoryTest, MalformedLinesNameFileAndLine) {
    const ErrorCase cases[] = {
        {"machine.ini", "[machine]\nwindows = C:\\Windows\nbogus = 1\n", "machine.ini:3:"},
        {"machine.ini", "windows = C:\\Windows\n", "machine.ini:1:"},
        {"machine.ini", "[machine]\n\njust text\n", "machine.ini:3:"},
        {"machine.ini", "[other]\n", "machine.ini:1:"},
        {"machine.ini", "[machine\n", "machine.ini:1:"},
        {"machine.ini", "[machine]\nadmin = maybe\n", "machine.ini:2:"},
        {"machine.ini", "[machine]\ndrives = C:fixed D:floppy\n", "machine.ini:2:"},
        {"machine.ini", "[machine]\ndrives = CC\n", "machine.ini:2:"},
        {"machine.ini", "[machine]\nwindows = Windows\n", "machine.ini:2:"},
        {"machine.ini", "[rights]\nHKEY_USERS\\x = read\n", "machine.ini:2:"},
        {"machine.ini", "[rights]\nHKLM\\x = write\n", "machine.ini:2:"},
        {"machine.ini", "[environment]\n = value\n", "machine.ini:2:"},
        {"registry.reg", "not a registry file\r\n", "registry.reg:1:"},
        {"registry.reg",
         "Windows Registry Editor Version "
         "5.00\r\n\r\n[HKLM\\A]\r\n\"a\"=\"b\"\r\n\"c\"=dword:zz\r\n",
         "registry.reg:5:"},
        {"registry.reg", "Windows Registry Editor Version 5.00\r\n[BAD\\A]\r\n", "registry.reg:2:"},
        {"machine.ini", "[machine]\nmaxpath = long\n", "machine.ini:2:"},
        {"machine.ini", "[machine]\nfreespace = -1\n", "machine.ini:2:"},
        {"machine.ini", "[files]\nrelative\\x.exe = denied\n", "machine.ini:2:"},
        {"machine.ini", "[files]\nC:\\x.exe = sticky\n", "machine.ini:2:"},
        {"machine.ini", "[files]\nC:\\x.exe = symlink\n", "machine.ini:2:"},
        {"machine.ini", "[files]\nC:\\x.exe = appexeclink C:\\y.exe\n", "machine.ini:2:"},
        {"machine.ini", "[files]\nC:\\x.exe = denied now\n", "machine.ini:2:"},
        {"machine.ini", "[files]\nC:\\x.exe = reparse 0\n", "machine.ini:2:"},
        {"machine.ini", "[files]\n\nC:\\x.exe = error x\n", "machine.ini:3:"},
        {"files.txt", "C:\\ok.txt\nrelative\\path.txt\n", "files.txt:2:"},
        {"files.txt", "# c\n\\\\server\\share\\x\n", "files.txt:2:"},
    };
    for (const ErrorCase& c : cases) {
        fs::remove_all(dir_);
        fs::create_directories(dir_);
        Write(c.file, c.content);
        Machine m;
        std::string error;
        EXPECT_FALSE(LoadMachineDirectory(dir_, m, error)) << c.content;
        EXPECT_NE(error.find(c.where), std::string::npos) << error << " / expected " << c.where;
    }
}

std::map<std::wstring, std::wstring> EnvMap(const Machine& m) {
    std::map<std::wstring, std::wstring> out;
    for (const auto& [name, value] : m.EnvironmentVariables()) {
        out[name] = value;
    }
    return out;
}

TEST_F(SimMachineDirectoryTest, SaveThenLoadGivesTheSameMachine) {
    Machine a;
    a.windowsFolder = L"C:\\WINDOWS";
    a.systemFolder = L"C:\\WINDOWS\\System32";
    a.programFilesFolder = L"C:\\Program Files";
    a.appDataFolder = L"C:\\Users\\Zo\u00EB\\AppData\\Roaming";
    a.programPath = L"C:\\Apps\\Brimvale.exe";
    a.currentFolder = L"C:\\Apps";
    a.administrator = false;
    a.drives = {
        {L'C', kDriveFixed}, {L'D', kDriveCdrom}, {L'R', kDriveRamdisk}, {L'N', kDriveRemote}};
    a.SetEnvironment(L"PATH", L"C:\\Tools;;C:\\WINDOWS");
    a.SetEnvironment(L"Greeting", L"caf\u00E9 = \u0416");
    a.registry.SetString(kHkeyCurrentUser, L"Software\\\"Odd\" [name]", L"a\\b", L"\u0416");
    a.registry.SetValue(kHkeyLocalMachine, L"SOFTWARE\\Bin", L"", kRegBinary, {1, 2, 3});
    a.registry.SetValue(kHkeyLocalMachine, L"SOFTWARE\\Bin", L"odd", kRegSz, {0x41});
    a.registry.SetString(kHkeyClassesRoot, L".txt", L"", L"txtfile");
    a.registry.SetRight(kHkeyLocalMachine, L"SOFTWARE\\Bin", Right::None);
    a.registry.SetRight(kHkeyCurrentUser, L"Software", Right::Read);
    a.registry.SetRight(kHkeyCurrentUser, L"Software\\\"Odd\" [name]", Right::Full);
    a.AddFile(L"C:\\WINDOWS\\System32\\x.dll");
    a.AddFolder(L"C:\\Empty Folder");
    a.AddFile(L"C:\\Users\\Zo\u00EB\\AppData\\Roaming\\Brimvale\\Exclusions.txt", {0xFF, 0xFE, 0});
    a.AddFile(L"C:\\Users\\Zo\u00EB\\AppData\\Roaming\\Brimvale\\Undo\\u1.reg", {'u'});
    a.AddFolder(L"C:\\Users\\Zo\u00EB\\AppData\\Roaming\\Brimvale\\Empty");
    a.AddFile(L"C:\\Apps\\real.exe");
    a.AddReparsePoint(L"C:\\Apps\\link.exe", kIoReparseTagSymlink, L"real.exe");
    a.AddReparsePoint(L"C:\\Apps\\alias.exe", kIoReparseTagAppExecLink);
    a.AddReparsePoint(L"C:\\Cloud", kIoReparseTagCloud, L"", true);
    a.AddReparsePoint(L"C:\\Odd.dll", 0x80000017u);
    a.AddFile(L"C:\\Locked\\x.txt");
    a.DenyAccess(L"C:\\Locked");
    a.FailLooks(L"D:\\", kErrorNotReady);
    a.FailLooks(L"\\\\Server\\Share", kErrorNetworkUnreachable);
    a.maxPath = 0;
    a.freeBytes = 123456;

    std::string error;
    ASSERT_TRUE(SaveMachineDirectory(a, dir_, error)) << error;
    Machine b;
    ASSERT_TRUE(LoadMachineDirectory(dir_, b, error)) << error;

    EXPECT_EQ(b.windowsFolder, a.windowsFolder);
    EXPECT_EQ(b.systemFolder, a.systemFolder);
    EXPECT_EQ(b.programFilesFolder, a.programFilesFolder);
    EXPECT_EQ(b.appDataFolder, a.appDataFolder);
    EXPECT_EQ(b.programPath, a.programPath);
    EXPECT_EQ(b.currentFolder, a.currentFolder);
    EXPECT_EQ(b.administrator, a.administrator);
    EXPECT_EQ(b.maxPath, a.maxPath);
    EXPECT_EQ(b.freeBytes, a.freeBytes);
    for (const auto& [upper, entry] : a.Files()) {
        const auto it = b.Files().find(upper);
        ASSERT_NE(it, b.Files().end()) << ToUtf8(upper);
        EXPECT_EQ(it->second.reparseTag, entry.reparseTag) << ToUtf8(upper);
        EXPECT_EQ(it->second.linkTarget, entry.linkTarget) << ToUtf8(upper);
        EXPECT_EQ(b.LookFailure(entry.path), a.LookFailure(entry.path)) << ToUtf8(upper);
    }
    for (const wchar_t* path : {L"D:\\x", L"\\\\server\\share\\y"}) {
        EXPECT_EQ(b.LookFailure(b.FullPath(path)), a.LookFailure(a.FullPath(path)));
    }
    ASSERT_EQ(b.drives.size(), a.drives.size());
    for (std::size_t i = 0; i < a.drives.size(); ++i) {
        EXPECT_EQ(b.drives[i].letter, a.drives[i].letter);
        EXPECT_EQ(b.drives[i].type, a.drives[i].type);
    }
    EXPECT_EQ(EnvMap(b), EnvMap(a));
    EXPECT_EQ(ExportWholeRegistry(b.registry), ExportWholeRegistry(a.registry));
    for (std::uint32_t root : {kHkeyClassesRoot, kHkeyCurrentUser, kHkeyLocalMachine}) {
        const Key* ka = a.registry.Find(root, L"");
        const Key* kb = b.registry.Find(root, L"");
        EXPECT_EQ(ka->subkeys.size(), kb->subkeys.size());
    }
    const Key* odd = b.registry.Find(kHkeyCurrentUser, L"Software\\\"Odd\" [name]");
    ASSERT_NE(odd, nullptr);
    EXPECT_EQ(odd->right, std::optional<Right>(Right::Full));
    EXPECT_EQ(b.registry.Find(kHkeyCurrentUser, L"Software")->right,
              std::optional<Right>(Right::Read));
    EXPECT_EQ(b.registry.Find(kHkeyLocalMachine, L"SOFTWARE\\Bin")->right,
              std::optional<Right>(Right::None));

    std::vector<std::wstring> pa = a.ListPaths(), pb = b.ListPaths();
    std::sort(pa.begin(), pa.end());
    std::sort(pb.begin(), pb.end());
    EXPECT_EQ(pb, pa);
    for (const std::wstring& p : pa) {
        if (a.IsFile(p)) {
            EXPECT_EQ(*b.FileContents(p), *a.FileContents(p)) << ToUtf8(p);
        }
    }

    // Saving the loaded machine again writes the same files.
    fs::path again = dir_ / "again";
    ASSERT_TRUE(SaveMachineDirectory(b, again, error)) << error;
    for (const char* name : {"registry.reg", "files.txt"}) {
        std::ifstream f1(dir_ / name, std::ios::binary), f2(again / name, std::ios::binary);
        std::string s1((std::istreambuf_iterator<char>(f1)), std::istreambuf_iterator<char>());
        std::string s2((std::istreambuf_iterator<char>(f2)), std::istreambuf_iterator<char>());
        EXPECT_EQ(s1, s2) << name;
    }
}

}  // namespace
}  // namespace bv::sim
