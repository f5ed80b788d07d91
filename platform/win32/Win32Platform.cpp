// The platform seam on real Windows: every call forwards to the Win32 API, handles are owned by
// small RAII wrappers and no call throws.
#include <windows.h>
#include <shellapi.h>
#include <shlobj.h>

#include <algorithm>
#include <climits>
#include <mutex>
#include <utility>

// The seam uses Win32's names; the headers above turn several of them into A/W macros.
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
#undef SHGetFolderPath
#undef GetDriveType

#include "platform/Platform.h"

namespace bv::platform {

static_assert(sizeof(wchar_t) == sizeof(WCHAR), "wide text is UTF-16 on Windows");
static_assert(sizeof(HKey) == sizeof(HKEY), "registry handles fit the seam's integer");

namespace {

HKEY ToHkey(HKey key) {
    return reinterpret_cast<HKEY>(key);
}
HKey FromHkey(HKEY key) {
    return reinterpret_cast<HKey>(key);
}

static_assert(PredefinedKey(kHkeyClassesRoot) ==
              static_cast<HKey>(static_cast<ULONG_PTR>(static_cast<LONG>(0x80000000))));

// A kernel handle closed when it goes out of scope; never copied.
class UniqueHandle {
  public:
    UniqueHandle() = default;
    explicit UniqueHandle(HANDLE handle)
        : handle_(handle == INVALID_HANDLE_VALUE ? nullptr : handle) {}
    ~UniqueHandle() { Reset(); }
    UniqueHandle(const UniqueHandle&) = delete;
    UniqueHandle& operator=(const UniqueHandle&) = delete;
    UniqueHandle(UniqueHandle&& other) noexcept : handle_(other.handle_) {
        other.handle_ = nullptr;
    }
    UniqueHandle& operator=(UniqueHandle&& other) noexcept {
        if (this != &other) {
            Reset();
            handle_ = other.handle_;
            other.handle_ = nullptr;
        }
        return *this;
    }
    HANDLE Get() const { return handle_; }
    HANDLE Release() {
        HANDLE handle = handle_;
        handle_ = nullptr;
        return handle;
    }
    explicit operator bool() const { return handle_ != nullptr; }
    void Reset() {
        if (handle_ != nullptr) {
            ::CloseHandle(handle_);
            handle_ = nullptr;
        }
    }

  private:
    HANDLE handle_ = nullptr;
};

// A directory search handle, closed with FindClose.
class UniqueFind {
  public:
    explicit UniqueFind(HANDLE handle) : handle_(handle) {}
    ~UniqueFind() {
        if (handle_ != INVALID_HANDLE_VALUE) {
            ::FindClose(handle_);
        }
    }
    UniqueFind(const UniqueFind&) = delete;
    UniqueFind& operator=(const UniqueFind&) = delete;
    explicit operator bool() const { return handle_ != INVALID_HANDLE_VALUE; }

  private:
    HANDLE handle_;
};

UniqueHandle OpenExisting(const std::wstring& path, DWORD access, DWORD share, DWORD flags) {
    return UniqueHandle(
        ::CreateFileW(path.c_str(), access, share, nullptr, OPEN_EXISTING, flags, nullptr));
}

// Win32 writes DWORDs; the seam speaks uint32_t. Copies back only where the caller asked.
void Store(std::uint32_t* out, DWORD value) {
    if (out != nullptr) {
        *out = static_cast<std::uint32_t>(value);
    }
}

// kernel32's entry point by name, looked up fresh each time: it is absent on 32-bit Windows.
template <typename Fn>
Fn Kernel32Entry(const char* name) {
    HMODULE kernel = ::GetModuleHandleW(L"kernel32.dll");
    if (kernel == nullptr) {
        return nullptr;
    }
    FARPROC proc = ::GetProcAddress(kernel, name);
    if (proc == nullptr) {
        return nullptr;
    }
    // Through the generic function-pointer type, which converts to any other without warning.
    return reinterpret_cast<Fn>(reinterpret_cast<void (*)()>(proc));
}

// A folder text as the platform leaves it in a 260-character buffer, up to its first NUL.
std::wstring FromPathBuffer(const wchar_t* buffer) {
    std::size_t length = 0;
    while (length < MAX_PATH && buffer[length] != L'\0') {
        ++length;
    }
    return std::wstring(buffer, length);
}

// Wine 8 opens a new handle to HKEY_CLASSES_ROOT for every call that names a view flag and never
// closes it: a scan would leak one handle and pay one more server round trip per registry
// operation. Under Wine one handle to the root, opened once in the same view, answers every later
// call the same way. Windows keeps the documented path (its root is a merged view).
class WineClassesRoot {
  public:
    ~WineClassesRoot() {
        if (handle_ != nullptr) {
            ::RegCloseKey(handle_);
        }
    }
    // The key to open KEY relative to: the kept root where it stands in for KEY, else KEY.
    HKEY Stand(HKEY key, DWORD sam) {
        if (key != HKEY_CLASSES_ROOT ||
            (sam & (KEY_WOW64_64KEY | KEY_WOW64_32KEY)) != static_cast<DWORD>(KEY_WOW64_64KEY)) {
            return key;
        }
        std::call_once(once_, [this] {
            if (!UnderWine()) {
                return;
            }
            HKEY root = nullptr;
            // Opening "" would give back the pseudo-handle; creating "" opens the root itself.
            if (::RegCreateKeyExW(HKEY_CLASSES_ROOT, L"", 0, nullptr, REG_OPTION_NON_VOLATILE,
                                  MAXIMUM_ALLOWED | KEY_WOW64_64KEY, nullptr, &root,
                                  nullptr) == ERROR_SUCCESS &&
                root != HKEY_CLASSES_ROOT) {
                handle_ = root;
            }
        });
        return handle_ != nullptr ? handle_ : key;
    }

  private:
    static bool UnderWine() {
        HMODULE ntdll = ::GetModuleHandleW(L"ntdll.dll");
        return ntdll != nullptr && ::GetProcAddress(ntdll, "wine_get_version") != nullptr;
    }
    std::once_flag once_;
    HKEY handle_ = nullptr;
};

HKEY RootFor(HKey key, std::uint32_t sam) {
    static WineClassesRoot classesRoot;
    return classesRoot.Stand(ToHkey(key), sam);
}

}  // namespace

// ---- Registry ----

Status RegOpenKeyEx(HKey key, const wchar_t* subKey, std::uint32_t options, std::uint32_t sam,
                    HKey* result) {
    HKEY opened = nullptr;
    LSTATUS status = ::RegOpenKeyExW(RootFor(key, sam), subKey, options, sam, &opened);
    if (result != nullptr) {
        *result = status == ERROR_SUCCESS ? FromHkey(opened) : 0;
    } else if (status == ERROR_SUCCESS) {
        ::RegCloseKey(opened);
    }
    return static_cast<Status>(status);
}

Status RegCreateKeyEx(HKey key, const wchar_t* subKey, std::uint32_t sam, HKey* result,
                      std::uint32_t* disposition) {
    HKEY opened = nullptr;
    DWORD how = 0;
    LSTATUS status = ::RegCreateKeyExW(RootFor(key, sam), subKey, 0, nullptr,
                                       REG_OPTION_NON_VOLATILE, sam, nullptr, &opened, &how);
    if (status == ERROR_SUCCESS) {
        Store(disposition, how);
    }
    if (result != nullptr) {
        *result = status == ERROR_SUCCESS ? FromHkey(opened) : 0;
    } else if (status == ERROR_SUCCESS) {
        ::RegCloseKey(opened);
    }
    return static_cast<Status>(status);
}

Status RegQueryInfoKey(HKey key, std::uint32_t* subKeys, std::uint32_t* maxSubKeyLen,
                       std::uint32_t* values, std::uint32_t* maxValueNameLen,
                       std::uint32_t* maxValueLen) {
    DWORD keyCount = 0, keyLen = 0, valueCount = 0, valueNameLen = 0, valueLen = 0;
    LSTATUS status =
        ::RegQueryInfoKeyW(ToHkey(key), nullptr, nullptr, nullptr, &keyCount, &keyLen, nullptr,
                           &valueCount, &valueNameLen, &valueLen, nullptr, nullptr);
    if (status == ERROR_SUCCESS) {
        Store(subKeys, keyCount);
        Store(maxSubKeyLen, keyLen);
        Store(values, valueCount);
        Store(maxValueNameLen, valueNameLen);
        Store(maxValueLen, valueLen);
    }
    return static_cast<Status>(status);
}

Status RegEnumKeyEx(HKey key, std::uint32_t index, wchar_t* name, std::uint32_t* nameLen) {
    if (nameLen == nullptr) {
        return kErrorInvalidParameter;
    }
    DWORD length = *nameLen;
    LSTATUS status =
        ::RegEnumKeyExW(ToHkey(key), index, name, &length, nullptr, nullptr, nullptr, nullptr);
    *nameLen = static_cast<std::uint32_t>(length);
    return static_cast<Status>(status);
}

Status RegEnumValue(HKey key, std::uint32_t index, wchar_t* name, std::uint32_t* nameLen,
                    std::uint32_t* type) {
    if (nameLen == nullptr) {
        return kErrorInvalidParameter;
    }
    DWORD length = *nameLen;
    DWORD valueType = 0;
    LSTATUS status = ::RegEnumValueW(ToHkey(key), index, name, &length, nullptr,
                                     type != nullptr ? &valueType : nullptr, nullptr, nullptr);
    *nameLen = static_cast<std::uint32_t>(length);
    if (status == ERROR_SUCCESS) {
        Store(type, valueType);
    }
    return static_cast<Status>(status);
}

Status RegQueryValueEx(HKey key, const wchar_t* valueName, std::uint32_t* type, std::uint8_t* data,
                       std::uint32_t* dataSize) {
    DWORD valueType = 0;
    DWORD size = dataSize != nullptr ? *dataSize : 0;
    LSTATUS status =
        ::RegQueryValueExW(ToHkey(key), valueName, nullptr, type != nullptr ? &valueType : nullptr,
                           data, dataSize != nullptr ? &size : nullptr);
    if (status == ERROR_SUCCESS || status == ERROR_MORE_DATA) {
        Store(type, valueType);
        Store(dataSize, size);
    }
    return static_cast<Status>(status);
}

Status RegCloseKey(HKey key) {
    return static_cast<Status>(::RegCloseKey(ToHkey(key)));
}

// ---- Files ----

std::uint32_t GetFileAttributes(const std::wstring& path, Status* lastError) {
    DWORD attributes = ::GetFileAttributesW(path.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES && lastError != nullptr) {
        *lastError = static_cast<Status>(::GetLastError());
    }
    return static_cast<std::uint32_t>(attributes);
}

std::uint32_t GetReparseTag(const std::wstring& path) {
    // The directory entry carries the tag; no handle on the file itself is needed.
    WIN32_FIND_DATAW found{};
    UniqueFind find(::FindFirstFileExW(path.c_str(), FindExInfoBasic, &found, FindExSearchNameMatch,
                                       nullptr, 0));
    if (!find || (found.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) == 0) {
        return 0;
    }
    return static_cast<std::uint32_t>(found.dwReserved0);
}

bool LinkTargetOpens(const std::wstring& path, bool folder, Status* lastError) {
    // Opening without FILE_FLAG_OPEN_REPARSE_POINT follows the link to its target.
    UniqueHandle target = OpenExisting(path, FILE_READ_ATTRIBUTES,
                                       FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                       folder ? FILE_FLAG_BACKUP_SEMANTICS : FILE_ATTRIBUTE_NORMAL);
    if (!target && lastError != nullptr) {
        *lastError = static_cast<Status>(::GetLastError());
    }
    return static_cast<bool>(target);
}

bool ReadFileBytes(const std::wstring& path, std::vector<std::uint8_t>& bytes) {
    bytes.clear();
    UniqueHandle file =
        OpenExisting(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, FILE_ATTRIBUTE_NORMAL);
    if (!file) {
        return false;
    }
    LARGE_INTEGER size{};
    if (!::GetFileSizeEx(file.Get(), &size) || size.QuadPart < 0 ||
        static_cast<unsigned long long>(size.QuadPart) > bytes.max_size()) {
        return false;
    }
    bytes.resize(static_cast<std::size_t>(size.QuadPart));
    std::size_t done = 0;
    while (done < bytes.size()) {
        DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(bytes.size() - done, 1u << 30));
        DWORD got = 0;
        if (!::ReadFile(file.Get(), bytes.data() + done, chunk, &got, nullptr)) {
            bytes.clear();
            return false;
        }
        if (got == 0) {
            break;  // the file shrank while we read it
        }
        done += got;
    }
    bytes.resize(done);
    return true;
}

bool WriteFileBytes(const std::wstring& path, const std::vector<std::uint8_t>& bytes) {
    UniqueHandle file(::CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                    FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) {
        return false;
    }
    std::size_t done = 0;
    while (done < bytes.size()) {
        DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(bytes.size() - done, 1u << 30));
        DWORD written = 0;
        if (!::WriteFile(file.Get(), bytes.data() + done, chunk, &written, nullptr) ||
            written == 0) {
            return false;
        }
        done += written;
    }
    return true;
}

bool DeleteFile(const std::wstring& path) {
    return ::DeleteFileW(path.c_str()) != FALSE;
}

bool CreateDirectory(const std::wstring& path) {
    return ::CreateDirectoryW(path.c_str(), nullptr) != FALSE;
}

FileLock::FileLock(const std::wstring& path) {
    UniqueHandle file = OpenExisting(path, GENERIC_READ, FILE_SHARE_READ, FILE_ATTRIBUTE_NORMAL);
    handle_ = reinterpret_cast<std::uintptr_t>(file.Release());
}

FileLock::~FileLock() {
    if (handle_ != 0) {
        ::CloseHandle(reinterpret_cast<HANDLE>(handle_));
    }
}

FileLock::FileLock(FileLock&& other) noexcept : handle_(other.handle_) {
    other.handle_ = 0;
}

FileLock& FileLock::operator=(FileLock&& other) noexcept {
    if (this != &other) {
        if (handle_ != 0) {
            ::CloseHandle(reinterpret_cast<HANDLE>(handle_));
        }
        handle_ = other.handle_;
        other.handle_ = 0;
    }
    return *this;
}

// ---- WOW64 redirection ----

bool CallWow64DisableFsRedirection() {
    using DisableFn = BOOL(WINAPI*)(PVOID*);
    DisableFn disable = Kernel32Entry<DisableFn>("Wow64DisableWow64FsRedirection");
    if (disable == nullptr) {
        return false;
    }
    PVOID previous = nullptr;
    disable(&previous);
    return true;
}

bool CallWow64EnableFsRedirection() {
    using EnableFn = BOOLEAN(WINAPI*)(BOOLEAN);
    EnableFn enable = Kernel32Entry<EnableFn>("Wow64EnableWow64FsRedirection");
    if (enable == nullptr) {
        return false;
    }
    enable(TRUE);
    return true;
}

// ---- Environment and folders ----

bool GetEnvironmentVariable(const std::wstring& name, std::wstring& value) {
    value.clear();
    std::wstring buffer(256, L'\0');
    for (;;) {
        ::SetLastError(ERROR_SUCCESS);
        DWORD length = ::GetEnvironmentVariableW(name.c_str(), buffer.data(),
                                                 static_cast<DWORD>(buffer.size()));
        if (length == 0) {
            // Zero is also the length of a variable that is set but empty.
            return ::GetLastError() != ERROR_ENVVAR_NOT_FOUND;
        }
        if (length < buffer.size()) {
            buffer.resize(length);
            value = std::move(buffer);
            return true;
        }
        buffer.assign(length, L'\0');  // length includes room for the NUL here
    }
}

std::uint32_t ExpandEnvironmentStrings(const wchar_t* source, wchar_t* buffer, std::uint32_t size) {
    return static_cast<std::uint32_t>(
        ::ExpandEnvironmentStringsW(source, buffer, static_cast<DWORD>(size)));
}

std::wstring GetModuleFileName() {
    // Grown until the whole name fits: a cut name would name another folder.
    std::wstring buffer(MAX_PATH, L'\0');
    for (int attempt = 0; attempt < 8; ++attempt) {
        DWORD length =
            ::GetModuleFileNameW(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
        if (length == 0) {
            return std::wstring();
        }
        if (length < buffer.size()) {
            buffer.resize(length);
            return buffer;
        }
        buffer.assign(buffer.size() * 2, L'\0');
    }
    return std::wstring();
}

std::wstring GetWindowsDirectory() {
    wchar_t buffer[MAX_PATH + 1] = {};
    UINT length = ::GetWindowsDirectoryW(buffer, MAX_PATH);
    return length == 0 || length >= MAX_PATH ? std::wstring() : FromPathBuffer(buffer);
}

std::wstring GetSystemDirectory() {
    wchar_t buffer[MAX_PATH + 1] = {};
    UINT length = ::GetSystemDirectoryW(buffer, MAX_PATH);
    return length == 0 || length >= MAX_PATH ? std::wstring() : FromPathBuffer(buffer);
}

std::wstring SHGetFolderPath(int csidl) {
    wchar_t buffer[MAX_PATH + 1] = {};
    HRESULT result = ::SHGetFolderPathW(nullptr, csidl, nullptr, 0, buffer);
    return FAILED(result) ? std::wstring() : FromPathBuffer(buffer);
}

std::uint32_t GetLogicalDrives() {
    return static_cast<std::uint32_t>(::GetLogicalDrives());
}

std::uint32_t GetDriveType(const std::wstring& root) {
    return static_cast<std::uint32_t>(::GetDriveTypeW(root.c_str()));
}

// ---- Processes and shell ----

Process StartProcess(const std::wstring& application, const std::wstring& commandLine,
                     std::uint32_t creationFlags) {
    // CreateProcessW may write into the command line, so it gets its own copy.
    std::vector<wchar_t> command(commandLine.begin(), commandLine.end());
    command.push_back(L'\0');

    STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    startup.dwFlags = STARTF_USESHOWWINDOW;
    startup.wShowWindow = SW_HIDE;
    PROCESS_INFORMATION info{};
    BOOL created = ::CreateProcessW(
        application.empty() ? nullptr : application.c_str(), command.data(), nullptr, nullptr,
        FALSE, static_cast<DWORD>(creationFlags), nullptr, nullptr, &startup, &info);
    if (!created) {
        return Process();
    }
    UniqueHandle thread(info.hThread);
    return Process(reinterpret_cast<std::uintptr_t>(info.hProcess));
}

Process::~Process() {
    if (handle_ != 0) {
        ::CloseHandle(reinterpret_cast<HANDLE>(handle_));
    }
}

Process::Process(Process&& other) noexcept : handle_(other.handle_) {
    other.handle_ = 0;
}

Process& Process::operator=(Process&& other) noexcept {
    if (this != &other) {
        if (handle_ != 0) {
            ::CloseHandle(reinterpret_cast<HANDLE>(handle_));
        }
        handle_ = other.handle_;
        other.handle_ = 0;
    }
    return *this;
}

bool Process::Wait(std::uint32_t timeoutMs) const {
    return handle_ != 0 && ::WaitForSingleObject(reinterpret_cast<HANDLE>(handle_),
                                                 static_cast<DWORD>(timeoutMs)) == WAIT_OBJECT_0;
}

void ShellOpen(std::uintptr_t ownerWindow, const std::wstring& file) {
    ::ShellExecuteW(reinterpret_cast<HWND>(ownerWindow), L"open", file.c_str(), nullptr, nullptr,
                    SW_SHOWNORMAL);
}

// ---- Time ----

LocalTime GetLocalTime() {
    SYSTEMTIME now{};
    ::GetLocalTime(&now);
    LocalTime time;
    time.year = now.wYear;
    time.month = now.wMonth;
    time.day = now.wDay;
    time.hour = now.wHour;
    time.minute = now.wMinute;
    time.second = now.wSecond;
    time.millisecond = now.wMilliseconds;
    return time;
}

void Sleep(std::uint32_t milliseconds) {
    ::Sleep(static_cast<DWORD>(milliseconds));
}

// ---- ANSI code page ----

std::string WideToAnsi(std::wstring_view text, bool* usedDefault) {
    if (usedDefault != nullptr) {
        *usedDefault = false;
    }
    if (text.empty()) {
        return std::string();
    }
    if (text.size() > static_cast<std::size_t>(INT_MAX / 4)) {
        if (usedDefault != nullptr) {
            *usedDefault = true;  // too long to convert: nothing of it is representable here
        }
        return std::string();
    }
    int wideLength = static_cast<int>(text.size());
    // With UTF-8 as the ANSI code page Windows refuses the used-default flag; UTF-8 has no
    // unmappable characters, so the flag stays false there.
    // A lone surrogate is the one thing UTF-8 cannot carry: report it as a default.
    bool utf8 = ::GetACP() == CP_UTF8;
    BOOL defaulted = FALSE;
    BOOL* defaultedFlag = utf8 ? nullptr : &defaulted;
    if (utf8 && ::WideCharToMultiByte(CP_ACP, WC_ERR_INVALID_CHARS, text.data(), wideLength,
                                      nullptr, 0, nullptr, nullptr) <= 0) {
        defaulted = TRUE;
    }
    int length = ::WideCharToMultiByte(CP_ACP, 0, text.data(), wideLength, nullptr, 0, nullptr,
                                       defaultedFlag);
    if (length <= 0) {
        if (usedDefault != nullptr) {
            *usedDefault = true;
        }
        return std::string();
    }
    std::string bytes(static_cast<std::size_t>(length), '\0');
    ::WideCharToMultiByte(CP_ACP, 0, text.data(), wideLength, bytes.data(), length, nullptr,
                          defaultedFlag);
    if (usedDefault != nullptr) {
        *usedDefault = defaulted != FALSE;
    }
    return bytes;
}

std::wstring AnsiToWide(std::string_view bytes) {
    if (bytes.empty() || bytes.size() > static_cast<std::size_t>(INT_MAX)) {
        return std::wstring();
    }
    int byteLength = static_cast<int>(bytes.size());
    int length = ::MultiByteToWideChar(CP_ACP, 0, bytes.data(), byteLength, nullptr, 0);
    if (length <= 0) {
        return std::wstring();
    }
    std::wstring text(static_cast<std::size_t>(length), L'\0');
    ::MultiByteToWideChar(CP_ACP, 0, bytes.data(), byteLength, text.data(), length);
    return text;
}

}  // namespace bv::platform
