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

struct Key {
    std::wstring name;
    Key* parent = nullptr;
    std::vector<std::shared_ptr<Key>> subkeys;  // insertion order is enumeration order
    std::vector<Value> values;                  // insertion order is enumeration order
    std::optional<Right> right;                 // explicit right; inherited when unset
    bool deleted = false;                       // set when removed while a handle still holds it

    Key* FindSubkey(std::wstring_view child) const;
    const Value* FindValue(std::wstring_view valueName) const;
    Value* FindValue(std::wstring_view valueName);
};

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

struct ProcessRecord {
    std::wstring application;
    std::wstring commandLine;
    std::uint32_t creationFlags = 0;
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

    // True when the program-files folder names "(x86)".
    bool Is64Bit() const;

    // Environment variables; names compared without letter case.
    void SetEnvironment(std::wstring_view name, std::wstring_view value);
    std::optional<std::wstring> Environment(std::wstring_view name) const;
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

    // What the program asked of the system.
    std::vector<ShellOpenRecord> shellOpens;
    std::vector<ProcessRecord> processes;

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
    };
    std::map<std::wstring, FileEntry>& Files() { return files_; }
    const std::map<std::wstring, FileEntry>& Files() const { return files_; }
    std::vector<std::wstring>& FileOrder() { return fileOrder_; }

private:
    std::vector<std::pair<std::wstring, std::wstring>> environment_;
    std::map<std::wstring, FileEntry> files_;  // keyed by upper-cased path
    std::vector<std::wstring> fileOrder_;
};

// Upper-cases ASCII and Latin-1 letters the way Windows compares names.
std::wstring FoldCase(std::wstring_view text);
bool EqualNoCase(std::wstring_view a, std::wstring_view b);

// Installs a machine for the life of a scope (tests).
class ScopedMachine {
public:
    explicit ScopedMachine(Machine& machine) { Machine::Install(&machine); }
    ~ScopedMachine() { Machine::Install(nullptr); }
    ScopedMachine(const ScopedMachine&) = delete;
    ScopedMachine& operator=(const ScopedMachine&) = delete;
};

}  // namespace bv::sim
