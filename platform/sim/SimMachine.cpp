// The simulated machine's model: registry tree with rights, files and folders, environment,
// and the process-wide "current machine" the simulated platform answers from.
#include "platform/sim/SimMachine.h"

#include <algorithm>

#include "platform/Utf16.h"

namespace bv::sim {

using namespace bv::platform;

// ---------------------------------------------------------------------------------------------
// Case folding

wchar_t FoldChar(wchar_t c) {
    const std::uint32_t u = static_cast<std::uint32_t>(c);
    if (u < 0x80) {
        return (u >= 'a' && u <= 'z') ? static_cast<wchar_t>(u - 0x20) : c;
    }
    if (u >= 0xE0 && u <= 0xFE && u != 0xF7) {
        return static_cast<wchar_t>(u - 0x20);
    }
    if (u == 0xFF) {
        return static_cast<wchar_t>(0x178);
    }
    if (u >= 0x100 && u <= 0x17F) {  // Latin Extended-A: mostly upper/lower pairs
        if ((u >= 0x139 && u <= 0x148) || (u >= 0x179 && u <= 0x17E)) {
            return (u % 2 == 0) ? static_cast<wchar_t>(u - 1) : c;
        }
        if (u != 0x131 && u != 0x138 && u != 0x149 && u != 0x17F) {
            return (u % 2 == 1) ? static_cast<wchar_t>(u - 1) : c;
        }
        return c;
    }
    if (u >= 0x3B1 && u <= 0x3CB && u != 0x3C2) {  // Greek
        return static_cast<wchar_t>(u - 0x20);
    }
    if (u >= 0x430 && u <= 0x44F) {  // Cyrillic
        return static_cast<wchar_t>(u - 0x20);
    }
    if (u >= 0x450 && u <= 0x45F) {
        return static_cast<wchar_t>(u - 0x50);
    }
    return c;
}

std::wstring FoldCase(std::wstring_view text) {
    std::wstring out(text);
    for (wchar_t& c : out) {
        c = FoldChar(c);
    }
    return out;
}

bool EqualNoCase(std::wstring_view a, std::wstring_view b) {
    if (a.size() != b.size()) {
        return false;
    }
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (a[i] != b[i] && FoldChar(a[i]) != FoldChar(b[i])) {
            return false;
        }
    }
    return true;
}

// ---------------------------------------------------------------------------------------------
// Keys

namespace {

constexpr std::size_t kIndexThreshold = 24;

// Splits a registry path at "\", dropping empty pieces (leading, trailing, doubled).
std::vector<std::wstring_view> SplitKeyPath(std::wstring_view path) {
    std::vector<std::wstring_view> parts;
    std::size_t start = 0;
    while (start <= path.size()) {
        std::size_t end = path.find(L'\\', start);
        if (end == std::wstring_view::npos) {
            end = path.size();
        }
        if (end > start) {
            parts.push_back(path.substr(start, end - start));
        }
        start = end + 1;
    }
    return parts;
}

void MarkDeleted(Key& key) {
    key.deleted = true;
    for (auto& child : key.subkeys) {
        MarkDeleted(*child);
    }
}

}  // namespace

Key* Key::FindSubkey(std::wstring_view child) const {
    if (subkeys.size() < kIndexThreshold) {
        for (const auto& k : subkeys) {
            if (EqualNoCase(k->name, child)) {
                return k.get();
            }
        }
        return nullptr;
    }
    if (index_.size() != subkeys.size()) {
        index_.clear();
        for (const auto& k : subkeys) {
            index_.emplace(FoldCase(k->name), k.get());
        }
    }
    // Folded into a reused buffer: a lookup allocates nothing.
    thread_local std::wstring folded;
    folded.assign(child);
    for (wchar_t& c : folded) {
        c = FoldChar(c);
    }
    auto it = index_.find(folded);
    return it == index_.end() ? nullptr : it->second;
}

const Value* Key::FindValue(std::wstring_view valueName) const {
    for (const auto& v : values) {
        if (EqualNoCase(v.name, valueName)) {
            return &v;
        }
    }
    return nullptr;
}

Value* Key::FindValue(std::wstring_view valueName) {
    return const_cast<Value*>(static_cast<const Key*>(this)->FindValue(valueName));
}

Key& Key::AddSubkey(std::wstring_view child) {
    auto key = std::make_shared<Key>();
    key->name = std::wstring(child);
    key->parent = this;
    subkeys.push_back(key);
    if (!index_.empty()) {
        index_.emplace(FoldCase(child), key.get());
    }
    return *key;
}

bool Key::RemoveSubkey(std::wstring_view child) {
    for (auto it = subkeys.begin(); it != subkeys.end(); ++it) {
        if (EqualNoCase((*it)->name, child)) {
            MarkDeleted(**it);
            (*it)->parent = nullptr;
            subkeys.erase(it);
            index_.clear();
            return true;
        }
    }
    return false;
}

// ---------------------------------------------------------------------------------------------
// WOW64 registry view

namespace {

bool IsRedirectedClassKey(std::wstring_view name) {
    for (std::wstring_view key : {L"CLSID", L"Interface", L"TypeLib", L"AppID"}) {
        if (EqualNoCase(name, key)) {
            return true;
        }
    }
    return false;
}

// The index of the part before which WOW64 puts "WOW6432Node", or npos when the path is shared.
std::size_t Wow64NodeAt(std::uint32_t root, const std::vector<std::wstring_view>& parts) {
    constexpr std::size_t kShared = std::wstring_view::npos;
    if (root == kHkeyClassesRoot) {
        return !parts.empty() && IsRedirectedClassKey(parts[0]) ? 0 : kShared;
    }
    if ((root != kHkeyLocalMachine && root != kHkeyCurrentUser) || parts.size() < 2 ||
        !EqualNoCase(parts[0], L"SOFTWARE")) {
        return kShared;
    }
    if (EqualNoCase(parts[1], L"Classes")) {
        return parts.size() >= 3 && IsRedirectedClassKey(parts[2]) ? 2 : kShared;
    }
    return root == kHkeyLocalMachine && !EqualNoCase(parts[1], L"WOW6432Node") ? 1 : kShared;
}

}  // namespace

std::wstring ViewPath(RegistryView view, std::uint32_t root, std::wstring_view path) {
    if (view == RegistryView::Native) {
        return std::wstring(path);
    }
    const std::vector<std::wstring_view> parts = SplitKeyPath(path);
    const std::size_t nodeAt = Wow64NodeAt(root, parts);
    if (nodeAt == std::wstring_view::npos) {
        return std::wstring(path);
    }
    std::wstring stored;
    for (std::size_t i = 0; i < parts.size(); ++i) {
        if (i == nodeAt) {
            stored += L"WOW6432Node\\";
        }
        stored += parts[i];
        if (i + 1 < parts.size()) {
            stored += L'\\';
        }
    }
    return stored;
}

// ---------------------------------------------------------------------------------------------
// Registry

Registry::Registry()
    : classesRoot_(std::make_shared<Key>()),
      currentUser_(std::make_shared<Key>()),
      localMachine_(std::make_shared<Key>()) {
    classesRoot_->name = L"HKEY_CLASSES_ROOT";
    currentUser_->name = L"HKEY_CURRENT_USER";
    localMachine_->name = L"HKEY_LOCAL_MACHINE";
}

Key& Registry::Root(std::uint32_t root) {
    return const_cast<Key&>(static_cast<const Registry*>(this)->Root(root));
}

const Key& Registry::Root(std::uint32_t root) const {
    switch (root) {
        case kHkeyClassesRoot:
            return *classesRoot_;
        case kHkeyCurrentUser:
            return *currentUser_;
        default:
            return *localMachine_;
    }
}

Key* Registry::Find(std::uint32_t root, std::wstring_view path) {
    return const_cast<Key*>(static_cast<const Registry*>(this)->Find(root, path));
}

const Key* Registry::Find(std::uint32_t root, std::wstring_view path) const {
    if (root != kHkeyClassesRoot && root != kHkeyCurrentUser && root != kHkeyLocalMachine) {
        return nullptr;
    }
    const Key* key = &Root(root);
    for (std::wstring_view part : SplitKeyPath(path)) {
        key = key->FindSubkey(part);
        if (key == nullptr) {
            return nullptr;
        }
    }
    return key;
}

Key& Registry::Create(std::uint32_t root, std::wstring_view path) {
    Key* key = &Root(root);
    for (std::wstring_view part : SplitKeyPath(path)) {
        Key* next = key->FindSubkey(part);
        key = next != nullptr ? next : &key->AddSubkey(part);
    }
    return *key;
}

bool Registry::DeleteKey(std::uint32_t root, std::wstring_view path) {
    Key* key = Find(root, path);
    if (key == nullptr || key->parent == nullptr) {
        return false;  // missing, or a root (roots cannot be deleted)
    }
    return key->parent->RemoveSubkey(key->name);
}

void Registry::SetValue(std::uint32_t root, std::wstring_view path, std::wstring_view name,
                        std::uint32_t type, std::vector<std::uint8_t> data) {
    Key& key = Create(root, path);
    if (Value* v = key.FindValue(name)) {
        v->type = type;
        v->data = std::move(data);
        return;
    }
    key.values.push_back(Value{std::wstring(name), type, std::move(data)});
}

void Registry::SetString(std::uint32_t root, std::wstring_view path, std::wstring_view name,
                         std::wstring_view text, std::uint32_t type) {
    std::vector<std::uint8_t> data = ToUtf16LeBytes(text);
    data.push_back(0);
    data.push_back(0);
    SetValue(root, path, name, type, std::move(data));
}

void Registry::SetDword(std::uint32_t root, std::wstring_view path, std::wstring_view name,
                        std::uint32_t value) {
    SetValue(root, path, name, kRegDword,
             {static_cast<std::uint8_t>(value), static_cast<std::uint8_t>(value >> 8),
              static_cast<std::uint8_t>(value >> 16), static_cast<std::uint8_t>(value >> 24)});
}

bool Registry::DeleteValue(std::uint32_t root, std::wstring_view path, std::wstring_view name) {
    Key* key = Find(root, path);
    if (key == nullptr) {
        return false;
    }
    for (auto it = key->values.begin(); it != key->values.end(); ++it) {
        if (EqualNoCase(it->name, name)) {
            key->values.erase(it);
            return true;
        }
    }
    return false;
}

void Registry::SetRight(std::uint32_t root, std::wstring_view path, Right right) {
    Create(root, path).right = right;
}

bool Registry::RootOf(const Key& key, std::uint32_t& root) const {
    const Key* top = &key;
    while (top->parent != nullptr) {
        top = top->parent;
    }
    for (std::uint32_t r : {kHkeyClassesRoot, kHkeyCurrentUser, kHkeyLocalMachine}) {
        if (top == &Root(r)) {
            root = r;
            return !key.deleted;
        }
    }
    return false;
}

std::wstring Registry::PathOf(const Key& key) {
    std::vector<const Key*> chain;
    for (const Key* k = &key; k->parent != nullptr; k = k->parent) {
        chain.push_back(k);
    }
    std::wstring path;
    for (auto it = chain.rbegin(); it != chain.rend(); ++it) {
        if (!path.empty()) {
            path += L'\\';
        }
        path += (*it)->name;
    }
    return path;
}

// ---------------------------------------------------------------------------------------------
// Machine

namespace {

constexpr std::wstring_view kDefaultEnvironment[][2] = {
    {L"ALLUSERSPROFILE", L"C:\\ProgramData"},
    {L"APPDATA", L"C:\\Users\\User\\AppData\\Roaming"},
    {L"CommonProgramFiles", L"C:\\Program Files (x86)\\Common Files"},
    {L"CommonProgramFiles(x86)", L"C:\\Program Files (x86)\\Common Files"},
    {L"CommonProgramW6432", L"C:\\Program Files\\Common Files"},
    {L"ComSpec", L"C:\\Windows\\system32\\cmd.exe"},
    {L"LOCALAPPDATA", L"C:\\Users\\User\\AppData\\Local"},
    {L"OS", L"Windows_NT"},
    {L"PATH", L"C:\\Windows\\system32;C:\\Windows"},
    {L"PATHEXT", L".COM;.EXE;.BAT;.CMD"},
    {L"PROCESSOR_ARCHITECTURE", L"x86"},
    {L"PROCESSOR_ARCHITEW6432", L"AMD64"},
    {L"ProgramData", L"C:\\ProgramData"},
    {L"ProgramFiles", L"C:\\Program Files (x86)"},
    {L"ProgramFiles(x86)", L"C:\\Program Files (x86)"},
    {L"ProgramW6432", L"C:\\Program Files"},
    {L"SystemDrive", L"C:"},
    {L"SystemRoot", L"C:\\Windows"},
    {L"TEMP", L"C:\\Users\\User\\AppData\\Local\\Temp"},
    {L"TMP", L"C:\\Users\\User\\AppData\\Local\\Temp"},
    {L"USERNAME", L"User"},
    {L"USERPROFILE", L"C:\\Users\\User"},
    {L"windir", L"C:\\Windows"},
};

// Files map key: folded full path without trailing "\".
std::wstring FileKey(std::wstring_view fullPath) {
    std::wstring key = FoldCase(fullPath);
    while (key.size() > 2 && key.back() == L'\\') {
        key.pop_back();
    }
    if (key.size() == 3 && key[1] == L':' && key[2] == L'\\') {
        key.pop_back();
    }
    return key;
}

std::wstring ParentOf(std::wstring_view fullPath) {
    std::size_t slash = fullPath.find_last_of(L'\\');
    if (slash == std::wstring_view::npos) {
        return {};
    }
    return std::wstring(fullPath.substr(0, slash));
}

bool IsDriveRoot(std::wstring_view key) {
    return key.size() == 2 && key[1] == L':';
}

// A folder above which nothing is implied: a drive root, or a UNC server or share.
bool IsTopFolder(std::wstring_view full) {
    while (full.size() > 3 && full.back() == L'\\') {
        full.remove_suffix(1);
    }
    if (full.size() >= 2 && full[0] == L'\\' && full[1] == L'\\') {
        const std::size_t server = full.find(L'\\', 2);
        return server == std::wstring_view::npos ||
               full.find(L'\\', server + 1) == std::wstring_view::npos;
    }
    return full.size() <= 3;
}

}  // namespace

Machine::Machine() {
    drives.push_back(Drive{L'C', kDriveFixed});
    for (const auto& entry : kDefaultEnvironment) {
        environment_.emplace_back(std::wstring(entry[0]), std::wstring(entry[1]));
    }
}

bool Machine::Is64Bit() const {
    return FoldCase(programFilesFolder).find(L"(X86)") != std::wstring::npos;
}

Right Machine::EffectiveRight(std::uint32_t root, const Key& key) const {
    const bool machineWide = root != kHkeyCurrentUser;
    std::optional<Right> right;
    for (const Key* k = &key; k != nullptr; k = k->parent) {
        if (k->right) {
            right = k->right;
            break;
        }
    }
    if (!right) {
        right = (!machineWide || administrator) ? Right::Full : Right::Read;
    }
    if (machineWide && !administrator && *right == Right::Full) {
        return Right::Read;
    }
    return *right;
}

std::wstring Machine::FullPath(std::wstring_view path) const {
    std::wstring text(path);
    // "\\?\C:\..." and "\\?\UNC\server\share\..." name what the path after the prefix names.
    if (text.size() >= 4 && text.compare(0, 4, L"\\\\?\\") == 0) {
        text.erase(0, 4);
        if (text.size() >= 4 && EqualNoCase(std::wstring_view(text).substr(0, 4), L"UNC\\")) {
            text.replace(0, 4, L"\\\\");
        }
    }
    std::replace(text.begin(), text.end(), L'/', L'\\');
    std::wstring base;
    std::wstring rest;
    if (text.size() >= 2 && text[1] == L':') {
        base = text.substr(0, 2);
        if (text.size() >= 3 && text[2] == L'\\') {
            rest = text.substr(3);
        } else {
            // "C:name" is relative to the current folder of that drive; only ours is known.
            std::wstring cwd = currentFolder;
            if (cwd.size() >= 2 && EqualNoCase(cwd.substr(0, 2), base)) {
                rest = cwd.substr(cwd.size() > 3 ? 3 : cwd.size()) + L"\\" + text.substr(2);
            } else {
                rest = text.substr(2);
            }
        }
    } else if (text.size() >= 2 && text[0] == L'\\' && text[1] == L'\\') {
        // UNC: \\server\share\... keeps its first two pieces as the base.
        std::size_t server = text.find(L'\\', 2);
        std::size_t share =
            server == std::wstring::npos ? std::wstring::npos : text.find(L'\\', server + 1);
        base = text.substr(0, share);
        rest = share == std::wstring::npos ? L"" : text.substr(share + 1);
    } else if (!text.empty() && text[0] == L'\\') {
        base = currentFolder.substr(0, 2);
        rest = text.substr(1);
    } else {
        std::wstring cwd = currentFolder;
        base = cwd.substr(0, 2);
        rest = (cwd.size() > 3 ? cwd.substr(3) + L"\\" : L"") + text;
    }
    std::vector<std::wstring> parts;
    std::size_t start = 0;
    while (start <= rest.size()) {
        std::size_t end = rest.find(L'\\', start);
        if (end == std::wstring::npos) {
            end = rest.size();
        }
        std::wstring part = rest.substr(start, end - start);
        if (part == L"..") {
            if (!parts.empty()) {
                parts.pop_back();
            }
        } else if (!part.empty() && part != L".") {
            parts.push_back(part);
        }
        start = end + 1;
    }
    std::wstring out = base + L"\\";
    for (std::size_t i = 0; i < parts.size(); ++i) {
        if (i > 0) {
            out += L'\\';
        }
        out += parts[i];
    }
    return out;
}

void Machine::SetEnvironment(std::wstring_view name, std::wstring_view value) {
    for (auto& entry : environment_) {
        if (EqualNoCase(entry.first, name)) {
            entry.second = std::wstring(value);
            return;
        }
    }
    environment_.emplace_back(std::wstring(name), std::wstring(value));
}

std::optional<std::wstring> Machine::Environment(std::wstring_view name) const {
    for (const auto& entry : environment_) {
        if (EqualNoCase(entry.first, name)) {
            return entry.second;
        }
    }
    return std::nullopt;
}

void Machine::RemoveEnvironment(std::wstring_view name) {
    std::erase_if(environment_,
                  [name](const auto& entry) { return EqualNoCase(entry.first, name); });
}

const std::vector<std::pair<std::wstring, std::wstring>>& Machine::EnvironmentVariables() const {
    return environment_;
}

void Machine::AddFolder(std::wstring_view path) {
    std::wstring full = FullPath(path);
    std::wstring key = FileKey(full);
    if (IsDriveRoot(key)) {
        return;
    }
    auto it = files_.find(key);
    if (it != files_.end()) {
        return;  // already there (a file keeps being a file)
    }
    while (full.size() > 3 && full.back() == L'\\') {
        full.pop_back();
    }
    std::wstring parent = ParentOf(full);
    if (!parent.empty() && parent.size() < full.size() && !IsTopFolder(full)) {
        AddFolder(parent.size() == 2 ? parent + L"\\" : parent);
    }
    FileEntry entry;
    entry.path = full;
    entry.folder = true;
    files_.emplace(key, std::move(entry));
    fileOrder_.push_back(key);
}

void Machine::AddFile(std::wstring_view path, std::vector<std::uint8_t> contents) {
    std::wstring full = FullPath(path);
    std::wstring key = FileKey(full);
    if (IsDriveRoot(key)) {
        return;
    }
    std::wstring parent = ParentOf(full);
    if (!parent.empty() && parent.size() < full.size() && !IsTopFolder(full)) {
        AddFolder(parent.size() == 2 ? parent + L"\\" : parent);
    }
    auto it = files_.find(key);
    if (it != files_.end()) {
        it->second.folder = false;
        it->second.contents = std::move(contents);
        return;
    }
    FileEntry entry;
    entry.path = full;
    entry.contents = std::move(contents);
    files_.emplace(key, std::move(entry));
    fileOrder_.push_back(key);
}

bool Machine::RemoveFile(std::wstring_view path) {
    std::wstring key = FileKey(FullPath(path));
    auto it = files_.find(key);
    if (it == files_.end()) {
        return false;
    }
    if (it->second.folder) {
        // A folder goes with everything below it.
        std::wstring prefix = key + L"\\";
        for (auto sub = files_.begin(); sub != files_.end();) {
            if (sub->first.compare(0, prefix.size(), prefix) == 0) {
                sub = files_.erase(sub);
            } else {
                ++sub;
            }
        }
    }
    files_.erase(key);
    std::erase_if(fileOrder_, [this](const std::wstring& k) { return files_.count(k) == 0; });
    return true;
}

bool Machine::IsFile(std::wstring_view path) const {
    auto it = files_.find(FileKey(FullPath(path)));
    return it != files_.end() && !it->second.folder;
}

bool Machine::IsFolder(std::wstring_view path) const {
    std::wstring key = FileKey(FullPath(path));
    if (IsDriveRoot(key)) {
        for (const Drive& d : drives) {
            if (FoldChar(d.letter) == key[0]) {
                return true;
            }
        }
        return false;
    }
    auto it = files_.find(key);
    return it != files_.end() && it->second.folder;
}

const std::vector<std::uint8_t>* Machine::FileContents(std::wstring_view path) const {
    auto it = files_.find(FileKey(FullPath(path)));
    if (it == files_.end() || it->second.folder) {
        return nullptr;
    }
    return &it->second.contents;
}

std::vector<std::wstring> Machine::ListPaths() const {
    std::vector<std::wstring> out;
    for (const std::wstring& key : fileOrder_) {
        auto it = files_.find(key);
        if (it == files_.end()) {
            continue;
        }
        out.push_back(it->second.folder ? it->second.path + L"\\" : it->second.path);
    }
    return out;
}

void Machine::DenyAccess(std::wstring_view path) {
    std::wstring key = FileKey(FullPath(path));
    if (files_.find(key) == files_.end()) {
        AddFile(path);
    }
    files_[key].denied = true;
}

void Machine::FailLooks(std::wstring_view path, Status error) {
    const std::wstring full = FullPath(path);
    lookFailures_[FileKey(full)] = LookFailureEntry{full, error};
}

Status Machine::LookFailure(std::wstring_view fullPath) const {
    // Folded once; each parent is a prefix of it (folding keeps every backslash in place).
    std::wstring key = FileKey(fullPath);
    while (!key.empty()) {
        auto it = files_.find(key);
        if (it != files_.end() && it->second.denied) {
            return kErrorAccessDenied;
        }
        if (!lookFailures_.empty()) {
            auto failure = lookFailures_.find(key);
            if (failure != lookFailures_.end()) {
                return failure->second.error;
            }
        }
        const std::size_t slash = key.find_last_of(L'\\');
        if (slash == std::wstring::npos || slash < 2 || IsDriveRoot(key)) {
            break;
        }
        key.resize(slash);
    }
    return kErrorSuccess;
}

void Machine::AddReparsePoint(std::wstring_view path, std::uint32_t tag, std::wstring_view target,
                              bool folder) {
    if (folder) {
        AddFolder(path);
    } else {
        AddFile(path);
    }
    auto it = files_.find(FileKey(FullPath(path)));
    if (it != files_.end()) {
        it->second.reparseTag = tag;
        it->second.linkTarget = std::wstring(target);
    }
}

namespace {

std::unique_ptr<Machine>& DefaultMachine() {
    static std::unique_ptr<Machine> machine = std::make_unique<Machine>();
    return machine;
}

Machine*& CurrentMachine() {
    static Machine* current = nullptr;
    return current;
}

}  // namespace

Machine& Machine::Current() {
    Machine* current = CurrentMachine();
    return current != nullptr ? *current : *DefaultMachine();
}

void Machine::Install(Machine* machine) {
    if (machine == nullptr) {
        DefaultMachine() = std::make_unique<Machine>();
    }
    CurrentMachine() = machine;
}

}  // namespace bv::sim
