// The simulated Windows machine: registry, files, environment, processes and clock in memory.
// It is the host platform of brimvale-cli and the fixture world of every host test.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "platform/Platform.h"

namespace bv::sim {

// What the current user may do with a key (and, unless a deeper key says otherwise, its subtree).
enum class Right { None, Read, Full };

struct Value {
    std::wstring name;  // empty: the key's unnamed value
    std::uint32_t type = platform::kRegSz;
    std::vector<std::uint8_t> data;
};

// Shared from itself: a handle finds the owning pointer of a key without a search of its siblings.
struct Key : std::enable_shared_from_this<Key> {
    std::wstring name;
    Key* parent = nullptr;
    std::vector<std::shared_ptr<Key>> subkeys;  // insertion order is enumeration order
    std::vector<Value> values;                  // insertion order is enumeration order
    std::optional<Right> right;                 // explicit right; inherited when unset
    bool deleted = false;                       // set when removed while a handle still holds it

    Key* FindSubkey(std::wstring_view child) const;
    const Value* FindValue(std::wstring_view valueName) const;
    Value* FindValue(std::wstring_view valueName);

    // Adds a subkey (the caller checked that the name is new) / removes one, keeping the
    // lookup index right. Code that edits `subkeys` directly calls InvalidateIndex().
    Key& AddSubkey(std::wstring_view child);
    bool RemoveSubkey(std::wstring_view child);
    void InvalidateIndex() const { index_.clear(); }

  private:
    // Folded name -> subkey, built on demand for keys with many subkeys.
    mutable std::unordered_map<std::wstring, Key*> index_;
};

// The view a program has of the registry. A 32-bit program on 64-bit Windows (the 32-bit
// registry editor among them) sees the WOW64 view; everything else sees the keys as stored.
enum class RegistryView { Native, Wow64 };

// Where a key path (below its root, no leading "\") lives in the given view. WOW64 sends
// HKLM\SOFTWARE\X to HKLM\SOFTWARE\WOW6432Node\X, and the class keys CLSID, Interface, TypeLib
// and AppID of HKCR (and of the machine's and the user's Software\Classes) to a WOW6432Node
// beside them. The rest of Software\Classes, WOW6432Node itself, HKLM\SOFTWARE alone and every
// other path are shared.
std::wstring ViewPath(RegistryView view, std::uint32_t root, std::wstring_view path);

// Three roots (HKEY_CLASSES_ROOT kept as its own tree), names compared without letter case.
class Registry {
  public:
    Registry();

    // root: kHkeyClassesRoot, kHkeyCurrentUser or kHkeyLocalMachine. Paths use "\" and may
    // begin with one; an empty path is the root itself.
    Key& Root(std::uint32_t root);
    const Key& Root(std::uint32_t root) const;
    Key* Find(std::uint32_t root, std::wstring_view path);
    const Key* Find(std::uint32_t root, std::wstring_view path) const;
    Key& Create(std::uint32_t root, std::wstring_view path);
    bool DeleteKey(std::uint32_t root, std::wstring_view path);  // with its subtree

    void SetValue(std::uint32_t root, std::wstring_view path, std::wstring_view name,
                  std::uint32_t type, std::vector<std::uint8_t> data);
    // Writes the text as UTF-16LE with its terminating NUL, as RegSetValueExW callers do.
    void SetString(std::uint32_t root, std::wstring_view path, std::wstring_view name,
                   std::wstring_view text, std::uint32_t type = platform::kRegSz);
    void SetDword(std::uint32_t root, std::wstring_view path, std::wstring_view name,
                  std::uint32_t value);
    bool DeleteValue(std::uint32_t root, std::wstring_view path, std::wstring_view name);

    void SetRight(std::uint32_t root, std::wstring_view path, Right right);

    // The root a key belongs to (walking up its parents); false for a key no longer attached.
    bool RootOf(const Key& key, std::uint32_t& root) const;
    // "A\B\C" of a key below its root (empty for the root).
    static std::wstring PathOf(const Key& key);

  private:
    std::shared_ptr<Key> classesRoot_, currentUser_, localMachine_;
};

struct Drive {
    wchar_t letter = L'C';
    std::uint32_t type = platform::kDriveFixed;
};

struct ShellOpenRecord {
    std::uintptr_t owner = 0;
    std::wstring file;
};

// Every start the program asked for, created or not.
struct ProcessRecord {
    std::wstring application;  // as passed
    std::wstring commandLine;
    std::uint32_t creationFlags = 0;
    std::wstring image;           // the file the start reached (WOW64 applied); empty: not created
    bool redirectionOff = false;  // the starting thread's file-system redirection was off
    bool waited = false;
    bool redirectionOffInWait = false;  // redirection was off during a wait for it
};

class Machine {
  public:
    Machine();  // a 64-bit machine, administrator, drive C fixed, Windows in C:\Windows

    Registry registry;

    // Facts the platform reports. Folders are stored as written, without a trailing "\".
    std::wstring windowsFolder = L"C:\\Windows";
    std::wstring systemFolder = L"C:\\Windows\\system32";
    std::wstring programFilesFolder = L"C:\\Program Files (x86)";  // as told to a 32-bit program
    std::wstring appDataFolder = L"C:\\Users\\User\\AppData\\Roaming";
    std::wstring programPath = L"C:\\Program Files (x86)\\Brimvale\\Brimvale.exe";
    std::wstring currentFolder = L"C:\\Users\\User";
    std::vector<Drive> drives;
    bool administrator = true;
    platform::LocalTime clock{2024, 12, 9, 14, 5, 7, 0};  // Sleep advances it
    // A full path this long or longer is found by the file calls only in its "\\?\" form;
    // 0: no limit (a long-path-aware process).
    std::size_t maxPath = platform::kMaxPath;
    // Bytes the disks can still take; unset: no limit. A write that does not fit puts down what
    // fits and fails with ERROR_DISK_FULL.
    std::optional<std::uint64_t> freeBytes;

    // True when the program-files folder names "(x86)".
    bool Is64Bit() const;

    // What the current user may do with a key: its own or nearest ancestor's explicit right,
    // else full access to HKCU and, for an administrator, to HKLM and HKCR (read otherwise).
    // A non-administrator never gets full access to HKLM or HKCR.
    Right EffectiveRight(std::uint32_t root, const Key& key) const;

    // A full, normalised path: relative paths resolve against currentFolder, "/" becomes "\",
    // "." and ".." are applied, no trailing "\" except on a drive root ("C:\").
    std::wstring FullPath(std::wstring_view path) const;

    // Environment variables; names compared without letter case.
    void SetEnvironment(std::wstring_view name, std::wstring_view value);
    std::optional<std::wstring> Environment(std::wstring_view name) const;
    void RemoveEnvironment(std::wstring_view name);
    const std::vector<std::pair<std::wstring, std::wstring>>& EnvironmentVariables() const;

    // Files and folders, case-insensitive full paths ("C:\dir\file"). Adding a file adds its
    // folders. These see the real folders: no WOW64 redirection is applied here.
    void AddFile(std::wstring_view path, std::vector<std::uint8_t> contents = {});
    void AddFolder(std::wstring_view path);
    bool RemoveFile(std::wstring_view path);
    bool IsFile(std::wstring_view path) const;
    bool IsFolder(std::wstring_view path) const;
    const std::vector<std::uint8_t>* FileContents(std::wstring_view path) const;
    // Every file and folder, in the order first added (folders end with "\").
    std::vector<std::wstring> ListPaths() const;
    // Paths that cannot be queried, as if access were denied (attributes fail with error 5).
    void DenyAccess(std::wstring_view path);
    // Every look at a path and at everything below it fails with this error: a network path
    // that cannot be reached (53, 67, 1231), a drive without its medium (21), access denied (5).
    void FailLooks(std::wstring_view path, platform::Status error);
    // The error a look at a full path fails with (its own or its nearest parent's); 0: none.
    platform::Status LookFailure(std::wstring_view fullPath) const;
    // A reparse point. A symbolic link or junction leads to target (followed when opened); any
    // other tag (an app execution alias, a cloud placeholder) is a file or folder of its own
    // that does not open through the usual calls.
    void AddReparsePoint(std::wstring_view path, std::uint32_t tag, std::wstring_view target = {},
                         bool folder = false);
    struct LookFailureEntry {
        std::wstring path;  // full, as first written
        platform::Status error = 0;
    };
    // Failures set by FailLooks, by folded path.
    const std::map<std::wstring, LookFailureEntry>& LookFailures() const { return lookFailures_; }

    // Called at the start of every registry call of the seam with the call's name
    // (L"RegEnumKeyEx", ...), so tests can change the registry under a running scan.
    std::function<void(const wchar_t* call)> onRegistryCall;

    // What the program asked of the system.
    std::vector<ShellOpenRecord> shellOpens;
    std::vector<ProcessRecord> processes;
    // Asked for every process the program starts (it may do the process's work itself): Runs
    // lets the machine run it; EndsDoingNothing ends it at once, RunsPastTimeOut leaves it
    // running past the wait's time-out, both without any effect of the machine's.
    enum class ProcessOutcome { Runs, EndsDoingNothing, RunsPastTimeOut };
    std::function<ProcessOutcome(const ProcessRecord& process)> onProcess;

    // The machine the platform calls of this process are answered from.
    static Machine& Current();
    static void Install(Machine* machine);  // nullptr restores a fresh default machine

    // Implementation detail shared with the platform functions.
    struct FileEntry {
        std::wstring path;  // as first written
        bool folder = false;
        bool denied = false;
        std::vector<std::uint8_t> contents;
        int locks = 0;
        std::uint32_t reparseTag = 0;  // 0: not a reparse point
        std::wstring linkTarget;       // of a symbolic link or junction, as written
    };
    std::map<std::wstring, FileEntry>& Files() { return files_; }
    const std::map<std::wstring, FileEntry>& Files() const { return files_; }
    std::vector<std::wstring>& FileOrder() { return fileOrder_; }

  private:
    std::vector<std::pair<std::wstring, std::wstring>> environment_;
    std::map<std::wstring, FileEntry> files_;  // keyed by upper-cased path
    std::map<std::wstring, LookFailureEntry> lookFailures_;
    std::vector<std::wstring> fileOrder_;
};

// Upper-cases ASCII and Latin-1 letters the way Windows compares names.
std::wstring FoldCase(std::wstring_view text);
bool EqualNoCase(std::wstring_view a, std::wstring_view b);
wchar_t FoldChar(wchar_t c);

// Windows-1252, the simulated ANSI code page. Unmappable characters become "?" and set
// *usedDefault (when given); the five bytes 1252 leaves undefined map to U+0081 etc.
std::string ToCodepage1252(std::wstring_view text, bool* usedDefault);
std::wstring FromCodepage1252(std::string_view bytes);

// Installs a machine for the life of a scope (tests).
class ScopedMachine {
  public:
    explicit ScopedMachine(Machine& machine) { Machine::Install(&machine); }
    ~ScopedMachine() { Machine::Install(nullptr); }
    ScopedMachine(const ScopedMachine&) = delete;
    ScopedMachine& operator=(const ScopedMachine&) = delete;
};

}  // namespace bv::sim
