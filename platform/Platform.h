// The one seam to the operating system: the few Win32 calls Brimvale makes, in Win32's own
// shape. platform/win32 forwards them to Windows; platform/sim answers them from a simulated
// machine. The build links exactly one of the two.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace bv::platform {

// Registry handles are opaque integers; the predefined roots carry Windows' sign-extended values.
using HKey = std::uintptr_t;
using Status = std::int32_t;  // LSTATUS / Win32 error code

constexpr HKey PredefinedKey(std::uint32_t root) {
    return static_cast<HKey>(static_cast<std::intptr_t>(static_cast<std::int32_t>(root)));
}

constexpr std::uint32_t kHkeyClassesRoot = 0x80000000u;
constexpr std::uint32_t kHkeyCurrentUser = 0x80000001u;
constexpr std::uint32_t kHkeyLocalMachine = 0x80000002u;

// Win32 error codes the system looks at.
constexpr Status kErrorSuccess = 0;
constexpr Status kErrorFileNotFound = 2;
constexpr Status kErrorPathNotFound = 3;
constexpr Status kErrorAccessDenied = 5;
constexpr Status kErrorInvalidHandle = 6;
constexpr Status kErrorNotEnoughMemory = 8;
constexpr Status kErrorInvalidDrive = 15;
constexpr Status kErrorNotReady = 21;
constexpr Status kErrorBadNetpath = 53;
constexpr Status kErrorBadNetName = 67;
constexpr Status kErrorInvalidParameter = 87;
constexpr Status kErrorDiskFull = 112;
constexpr Status kErrorInvalidName = 123;
constexpr Status kErrorBadPathname = 161;
constexpr Status kErrorFilenameExcedRange = 206;
constexpr Status kErrorMoreData = 234;
constexpr Status kErrorNoMoreItems = 259;
constexpr Status kErrorDirectory = 267;
constexpr Status kErrorCloudFileProviderNotRunning = 362;
constexpr Status kErrorNetworkUnreachable = 1231;
constexpr Status kErrorCantAccessFile = 1920;
constexpr Status kErrorCantResolveFilename = 1921;

// Registry access masks.
constexpr std::uint32_t kKeyQueryValue = 0x0001;
constexpr std::uint32_t kKeySetValue = 0x0002;
constexpr std::uint32_t kKeyCreateSubKey = 0x0004;
constexpr std::uint32_t kKeyEnumerateSubKeys = 0x0008;
constexpr std::uint32_t kKeyNotify = 0x0010;
constexpr std::uint32_t kKeyCreateLink = 0x0020;
constexpr std::uint32_t kKeyWow6464Key = 0x0100;
constexpr std::uint32_t kKeyWow6432Key = 0x0200;
constexpr std::uint32_t kDelete = 0x00010000;
constexpr std::uint32_t kReadControl = 0x00020000;
constexpr std::uint32_t kWriteDac = 0x00040000;
constexpr std::uint32_t kWriteOwner = 0x00080000;
constexpr std::uint32_t kStandardRightsRead = kReadControl;
constexpr std::uint32_t kKeyRead = 0x20019;
constexpr std::uint32_t kKeyWrite = 0x20006;
constexpr std::uint32_t kKeyAllAccess = 0xF003F;

// Registry value types.
constexpr std::uint32_t kRegNone = 0;
constexpr std::uint32_t kRegSz = 1;
constexpr std::uint32_t kRegExpandSz = 2;
constexpr std::uint32_t kRegBinary = 3;
constexpr std::uint32_t kRegDword = 4;
constexpr std::uint32_t kRegDwordBigEndian = 5;
constexpr std::uint32_t kRegLink = 6;
constexpr std::uint32_t kRegMultiSz = 7;
constexpr std::uint32_t kRegQword = 11;

// RegCreateKeyEx dispositions.
constexpr std::uint32_t kRegCreatedNewKey = 1;
constexpr std::uint32_t kRegOpenedExistingKey = 2;

// Registry: lengths are in wchar_t units and, as in Win32, exclude the terminating NUL on output.
Status RegOpenKeyEx(HKey key, const wchar_t* subKey, std::uint32_t options, std::uint32_t sam,
                    HKey* result);
Status RegCreateKeyEx(HKey key, const wchar_t* subKey, std::uint32_t sam, HKey* result,
                      std::uint32_t* disposition);
Status RegQueryInfoKey(HKey key, std::uint32_t* subKeys, std::uint32_t* maxSubKeyLen,
                       std::uint32_t* values, std::uint32_t* maxValueNameLen,
                       std::uint32_t* maxValueLen);
// nameLen: in = buffer size including room for NUL; out = characters written without NUL.
Status RegEnumKeyEx(HKey key, std::uint32_t index, wchar_t* name, std::uint32_t* nameLen);
Status RegEnumValue(HKey key, std::uint32_t index, wchar_t* name, std::uint32_t* nameLen,
                    std::uint32_t* type);
// data may be null to ask for type and size only; dataSize in bytes.
Status RegQueryValueEx(HKey key, const wchar_t* valueName, std::uint32_t* type, std::uint8_t* data,
                       std::uint32_t* dataSize);
Status RegCloseKey(HKey key);

// Files. Attributes follow Win32: kInvalidFileAttributes when the path cannot be queried.
// A path of kMaxPath characters or more does not fit Win32's buffers: it needs the "\\?\" form.
constexpr std::size_t kMaxPath = 260;
constexpr std::uint32_t kInvalidFileAttributes = 0xFFFFFFFFu;
constexpr std::uint32_t kFileAttributeDirectory = 0x10;
constexpr std::uint32_t kFileAttributeReparsePoint = 0x400;
// lastError receives GetLastError() when the query fails.
std::uint32_t GetFileAttributes(const std::wstring& path, Status* lastError);
// Reparse tags: links, and kinds that are files and folders in their own right.
constexpr std::uint32_t kIoReparseTagMountPoint = 0xA0000003u;  // junction
constexpr std::uint32_t kIoReparseTagSymlink = 0xA000000Cu;
constexpr std::uint32_t kIoReparseTagAppExecLink = 0x8000001Bu;  // app execution alias
constexpr std::uint32_t kIoReparseTagCloud = 0x9000001Au;        // cloud-file placeholder
// The tag of a reparse point; 0 when the path is none or its tag cannot be read.
std::uint32_t GetReparseTag(const std::wstring& path);
// For a link: whether its target opens (as a folder when asked for one); lastError receives
// GetLastError() when it does not.
bool LinkTargetOpens(const std::wstring& path, bool folder, Status* lastError);
bool ReadFileBytes(const std::wstring& path, std::vector<std::uint8_t>& bytes);
bool WriteFileBytes(const std::wstring& path, const std::vector<std::uint8_t>& bytes);
bool DeleteFile(const std::wstring& path);
bool CreateDirectory(const std::wstring& path);  // one level, like CreateDirectoryW

// A file held open for reading with no write or delete sharing, until the lock is released.
class FileLock {
  public:
    FileLock() = default;
    explicit FileLock(const std::wstring& path);
    ~FileLock();
    FileLock(const FileLock&) = delete;
    FileLock& operator=(const FileLock&) = delete;
    FileLock(FileLock&& other) noexcept;
    FileLock& operator=(FileLock&& other) noexcept;
    bool Held() const { return handle_ != 0; }

  private:
    std::uintptr_t handle_ = 0;
};

// WOW64 file-system redirection of the calling thread, looked up in kernel32 on every call.
// Each returns true when the entry point was found and called.
bool CallWow64DisableFsRedirection();
bool CallWow64EnableFsRedirection();

// Environment and folders. Folder calls return the platform's text (no trailing "\" added).
bool GetEnvironmentVariable(const std::wstring& name, std::wstring& value);
// ExpandEnvironmentStringsW: returns the size needed in wchar_t including the NUL, 0 on failure.
std::uint32_t ExpandEnvironmentStrings(const wchar_t* source, wchar_t* buffer, std::uint32_t size);
std::wstring GetModuleFileName();
std::wstring GetWindowsDirectory();
std::wstring GetSystemDirectory();
constexpr int kCsidlAppData = 26;
constexpr int kCsidlProgramFiles = 38;
std::wstring SHGetFolderPath(int csidl);
std::uint32_t GetLogicalDrives();
constexpr std::uint32_t kDriveUnknown = 0;
constexpr std::uint32_t kDriveNoRootDir = 1;
constexpr std::uint32_t kDriveRemovable = 2;
constexpr std::uint32_t kDriveFixed = 3;
constexpr std::uint32_t kDriveRemote = 4;
constexpr std::uint32_t kDriveCdrom = 5;
constexpr std::uint32_t kDriveRamdisk = 6;
std::uint32_t GetDriveType(const std::wstring& root);

// A process this program started. The handle is closed when the object goes; the process
// itself runs on. Starting and waiting are apart so that a caller can change the thread's state
// (WOW64 redirection) around the start alone.
class Process {
  public:
    Process() = default;
    ~Process();
    Process(const Process&) = delete;
    Process& operator=(const Process&) = delete;
    Process(Process&& other) noexcept;
    Process& operator=(Process&& other) noexcept;
    bool Started() const { return handle_ != 0; }
    // WaitForSingleObject up to timeoutMs: true when the process has ended.
    bool Wait(std::uint32_t timeoutMs) const;

  private:
    friend Process StartProcess(const std::wstring& application, const std::wstring& commandLine,
                                std::uint32_t creationFlags);
    explicit Process(std::uintptr_t handle) : handle_(handle) {}
    std::uintptr_t handle_ = 0;
};

// CreateProcessW with a hidden window, no handle inheritance and the given creation flags. The
// application name is used as given (WOW64 file-system redirection of the calling thread applies).
Process StartProcess(const std::wstring& application, const std::wstring& commandLine,
                     std::uint32_t creationFlags);
// ShellExecuteW(owner, "open", file, nullptr, nullptr, SW_SHOWNORMAL); result not examined.
void ShellOpen(std::uintptr_t ownerWindow, const std::wstring& file);

// Time.
struct LocalTime {
    int year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0, millisecond = 0;
};
LocalTime GetLocalTime();
void Sleep(std::uint32_t milliseconds);

// The ANSI code page. usedDefault is set when a character had no mapping.
std::string WideToAnsi(std::wstring_view text, bool* usedDefault);
std::wstring AnsiToWide(std::string_view bytes);

}  // namespace bv::platform
