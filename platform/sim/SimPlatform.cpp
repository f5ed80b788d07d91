// The platform seam answered by the simulated machine (Machine::Current()): the Win32 calls
// with Win32's error codes, handle rules and WOW64 redirection, over the in-memory model.
#include <algorithm>
#include <cstring>
#include <map>
#include <mutex>

#include "platform/Platform.h"
#include "platform/Utf16.h"
#include "platform/sim/RegFile.h"
#include "platform/sim/SimMachine.h"

namespace bv::platform {

using sim::EqualNoCase;
using sim::FoldCase;
using sim::Key;
using sim::Machine;
using sim::Right;

namespace {

constexpr Status kErrorSharingViolation = 32;
constexpr Status kErrorAlreadyExists = 183;
constexpr Status kErrorKeyDeleted = 1018;

constexpr std::uint32_t kMaximumAllowed = 0x02000000;
constexpr std::uint32_t kGenericRead = 0x80000000;
constexpr std::uint32_t kGenericWrite = 0x40000000;
constexpr std::uint32_t kGenericExecute = 0x20000000;
constexpr std::uint32_t kGenericAll = 0x10000000;
// Bits that only full access grants.
constexpr std::uint32_t kWriteBits =
    kKeySetValue | kKeyCreateSubKey | kKeyCreateLink | kDelete | kWriteDac | kWriteOwner;

Machine& M() {
    return Machine::Current();
}

// ---------------------------------------------------------------------------------------------
// Registry handles

struct OpenKey {
    std::shared_ptr<Key> key;
    std::uint32_t root = 0;
    std::uint32_t granted = 0;
};

struct HandleTable {
    std::mutex mutex;
    std::map<HKey, OpenKey> open;
    HKey next = 0x40;
};

HandleTable& Handles() {
    static HandleTable table;
    return table;
}

bool IsPredefined(HKey key, std::uint32_t& root) {
    for (std::uint32_t r : {kHkeyClassesRoot, kHkeyCurrentUser, kHkeyLocalMachine}) {
        if (key == PredefinedKey(r)) {
            root = r;
            return true;
        }
    }
    return false;
}

// A shared_ptr to a root key, borrowed from the registry (roots live as long as the machine).
std::shared_ptr<Key> RootPointer(std::uint32_t root) {
    Key& k = M().registry.Root(root);
    return std::shared_ptr<Key>(std::shared_ptr<Key>{}, &k);
}

// Generic rights mapped to key rights; MAXIMUM_ALLOWED becomes what the right allows.
std::uint32_t MapAccess(std::uint32_t sam, Right right) {
    std::uint32_t mask = sam & ~(kKeyWow6464Key | kKeyWow6432Key);
    if (mask & kGenericRead) {
        mask = (mask & ~kGenericRead) | kKeyRead;
    }
    if (mask & kGenericWrite) {
        mask = (mask & ~kGenericWrite) | kKeyWrite;
    }
    if (mask & kGenericExecute) {
        mask = (mask & ~kGenericExecute) | kKeyRead;
    }
    if (mask & kGenericAll) {
        mask = (mask & ~kGenericAll) | kKeyAllAccess;
    }
    if (mask & kMaximumAllowed) {
        mask = (mask & ~kMaximumAllowed) | (right == Right::Full ? kKeyAllAccess : kKeyRead);
    }
    return mask;
}

// Whether a right lets a key be opened with a mask; the granted mask on success.
Status CheckAccess(std::uint32_t sam, Right right, std::uint32_t& granted) {
    if (right == Right::None) {
        return kErrorAccessDenied;
    }
    if ((sam & kMaximumAllowed) == 0 || right == Right::Full) {
        granted = MapAccess(sam, right);
        if ((granted & kWriteBits) != 0 && right != Right::Full) {
            return kErrorAccessDenied;
        }
        return kErrorSuccess;
    }
    // MAXIMUM_ALLOWED with read-only right: grant what is readable unless writes were asked.
    granted = MapAccess(sam & ~kMaximumAllowed, right);
    if ((granted & kWriteBits) != 0) {
        return kErrorAccessDenied;
    }
    granted |= kKeyRead;
    return kErrorSuccess;
}

// Resolves a handle (predefined or from the table) to its key.
Status Resolve(HKey handle, OpenKey& out) {
    std::uint32_t root = 0;
    if (IsPredefined(handle, root)) {
        out.key = RootPointer(root);
        out.root = root;
        Right right = M().EffectiveRight(root, *out.key);
        out.granted = right == Right::Full ? kKeyAllAccess : right == Right::Read ? kKeyRead : 0;
        return kErrorSuccess;
    }
    HandleTable& table = Handles();
    std::lock_guard<std::mutex> lock(table.mutex);
    auto it = table.open.find(handle);
    if (it == table.open.end()) {
        return kErrorInvalidHandle;
    }
    out = it->second;
    return out.key->deleted ? kErrorKeyDeleted : kErrorSuccess;
}

// Lets a test change the registry between two calls of a running scan.
void RegistryCall(const wchar_t* call) {
    Machine& m = M();
    if (m.onRegistryCall) {
        m.onRegistryCall(call);
    }
}

HKey AddHandle(const OpenKey& entry) {
    HandleTable& table = Handles();
    std::lock_guard<std::mutex> lock(table.mutex);
    HKey handle = table.next;
    table.next += 4;
    table.open.emplace(handle, entry);
    return handle;
}

// The shared_ptr that owns a key (its parent's entry), or the borrowed root.
std::shared_ptr<Key> Owning(Key* key, std::uint32_t root) {
    if (key->parent == nullptr) {
        return RootPointer(root);
    }
    if (!key->deleted) {
        if (std::shared_ptr<Key> self = key->weak_from_this().lock()) {
            return self;
        }
    }
    for (const auto& child : key->parent->subkeys) {
        if (child.get() == key) {
            return child;
        }
    }
    return RootPointer(root);
}

// Splits a sub key path into names. Trailing "\" are accepted; a leading "\" is not (except
// on HKEY_CLASSES_ROOT, which Windows' merged view forgives).
Status SplitSubKey(HKey parent, const wchar_t* subKey, std::vector<std::wstring_view>& names) {
    names.clear();
    if (subKey == nullptr) {
        return kErrorSuccess;
    }
    std::wstring_view path(subKey);
    if (!path.empty() && path.front() == L'\\') {
        if (parent != PredefinedKey(kHkeyClassesRoot)) {
            return kErrorBadPathname;
        }
        path.remove_prefix(1);
    }
    while (!path.empty() && path.back() == L'\\') {
        path.remove_suffix(1);
    }
    std::size_t start = 0;
    while (start < path.size()) {
        std::size_t end = path.find(L'\\', start);
        if (end == std::wstring_view::npos) {
            end = path.size();
        }
        if (end == start) {
            return kErrorBadPathname;  // "a\\b": an empty name in the middle
        }
        names.emplace_back(path.substr(start, end - start));
        start = end + 1;
    }
    return kErrorSuccess;
}

// ---------------------------------------------------------------------------------------------
// Files

thread_local bool redirectionOff = false;

bool StartsWithFolder(std::wstring_view folded, std::wstring_view prefix, std::size_t& rest) {
    if (folded.size() < prefix.size() || folded.compare(0, prefix.size(), prefix) != 0) {
        return false;
    }
    if (folded.size() == prefix.size()) {
        rest = prefix.size();
        return true;
    }
    if (folded[prefix.size()] == L'\\') {
        rest = prefix.size();
        return true;
    }
    return false;
}

// <windows> followed by a name, as a full path.
std::wstring InWindowsFolder(const Machine& m, std::wstring_view name) {
    std::wstring windows = m.FullPath(m.windowsFolder);
    if (windows.empty() || windows.back() != L'\\') {
        windows += L'\\';
    }
    return windows + std::wstring(name);
}

// The full path a call of this thread reaches: WOW64 sends <windows>\system32 to SysWOW64
// (except the few subfolders Windows exempts) and <windows>\regedit.exe to SysWOW64's editor
// while redirection is on, on a 64-bit machine.
std::wstring ResolvePath(const std::wstring& path) {
    Machine& m = M();
    std::wstring full = m.FullPath(path);
    if (!m.Is64Bit() || redirectionOff) {
        return full;
    }
    // The folded names are worked out again only when the folders they rest on change.
    thread_local std::wstring cachedWindows, cachedCurrent, system32, editor;
    if (system32.empty() || cachedWindows != m.windowsFolder || cachedCurrent != m.currentFolder) {
        system32 = FoldCase(InWindowsFolder(m, L"system32"));
        editor = FoldCase(InWindowsFolder(m, L"regedit.exe"));
        cachedWindows = m.windowsFolder;
        cachedCurrent = m.currentFolder;
    }
    std::wstring folded = FoldCase(full);
    if (folded == editor) {
        return InWindowsFolder(m, L"SysWOW64\\regedit.exe");
    }
    std::size_t rest = 0;
    if (!StartsWithFolder(folded, system32, rest)) {
        return full;
    }
    std::wstring_view tail = std::wstring_view(folded).substr(rest);
    for (std::wstring_view exempt :
         {L"\\CATROOT", L"\\CATROOT2", L"\\DRIVERS\\ETC", L"\\LOGFILES", L"\\SPOOL"}) {
        std::size_t unused = 0;
        if (StartsWithFolder(tail, exempt, unused)) {
            return full;
        }
    }
    return std::wstring(full.substr(0, system32.size() - 8)) + L"SysWOW64" + full.substr(rest);
}

Machine::FileEntry* Entry(const std::wstring& full) {
    Machine& m = M();
    std::wstring key = FoldCase(full);
    if (key.size() > 3 && key.back() == L'\\') {
        key.pop_back();
    }
    if (key.size() == 3 && key[1] == L':') {
        key.pop_back();
    }
    auto it = m.Files().find(key);
    return it == m.Files().end() ? nullptr : &it->second;
}

std::wstring Parent(const std::wstring& full) {
    std::size_t slash = full.find_last_of(L'\\');
    if (slash == std::wstring::npos || full.size() <= 3) {
        return {};
    }
    return slash == 2 ? full.substr(0, 3) : full.substr(0, slash);
}

bool Denied(const std::wstring& full) {
    return M().LookFailure(full) != kErrorSuccess;
}

bool IsExtendedPath(const std::wstring& path) {
    return path.size() >= 4 && path.compare(0, 4, L"\\\\?\\") == 0;
}

// Without the "\\?\" prefix a full path must fit the platform's buffers.
bool TooLong(const std::wstring& path, const std::wstring& full) {
    const std::size_t limit = M().maxPath;
    return limit != 0 && !IsExtendedPath(path) && full.size() >= limit;
}

bool BadName(const std::wstring& path) {
    const std::size_t from = IsExtendedPath(path) ? 4 : 0;
    for (std::size_t i = from; i < path.size(); ++i) {
        wchar_t c = path[i];
        if (c == L'*' || c == L'?' || c == L'"' || c == L'<' || c == L'>' || c == L'|' ||
            (c == L':' && i != from + 1) || (static_cast<std::uint32_t>(c) < 32)) {
            return true;
        }
    }
    return false;
}

bool WritableFile(const std::wstring& full) {
    Machine::FileEntry* e = Entry(full);
    if (e != nullptr) {
        return !e->folder && !e->denied && e->locks == 0 && !Denied(full);
    }
    return !Denied(full) && M().IsFolder(Parent(full));
}

// ---------------------------------------------------------------------------------------------
// Registry editor emulation

std::vector<std::wstring> SplitCommandLine(const std::wstring& line) {
    std::vector<std::wstring> out;
    std::size_t i = 0;
    while (i < line.size()) {
        while (i < line.size() && (line[i] == L' ' || line[i] == L'\t')) {
            ++i;
        }
        if (i >= line.size()) {
            break;
        }
        std::wstring token;
        bool quoted = false;
        while (i < line.size() && (quoted || (line[i] != L' ' && line[i] != L'\t'))) {
            if (line[i] == L'"') {
                quoted = !quoted;
            } else {
                token += line[i];
            }
            ++i;
        }
        out.push_back(token);
    }
    return out;
}

// The editor of the machine's own view, or the 32-bit one a 64-bit machine keeps in SysWOW64.
bool IsRegistryEditor(const Machine& m, const std::wstring& full, sim::RegistryView& view) {
    if (EqualNoCase(full, InWindowsFolder(m, L"regedit.exe"))) {
        view = sim::RegistryView::Native;
        return true;
    }
    if (m.Is64Bit() && EqualNoCase(full, InWindowsFolder(m, L"SysWOW64\\regedit.exe"))) {
        view = sim::RegistryView::Wow64;
        return true;
    }
    return false;
}

void RunRegistryEditorEmulation(const std::wstring& commandLine, sim::RegistryView view) {
    Machine& m = M();
    std::vector<std::wstring> tokens = SplitCommandLine(commandLine);
    // Without a leading blank the first token is the program's own name.
    if (!commandLine.empty() && commandLine[0] != L' ' && commandLine[0] != L'\t' &&
        !tokens.empty() && tokens[0].size() > 0 && tokens[0][0] != L'/' && tokens[0][0] != L'-') {
        tokens.erase(tokens.begin());
    }
    bool exportMode = false;
    std::vector<std::wstring> positional;
    for (const std::wstring& t : tokens) {
        if (t.size() >= 2 && (t[0] == L'/' || t[0] == L'-')) {
            if (EqualNoCase(t.substr(1), L"e")) {
                exportMode = true;
            }
            continue;  // /s and the others change nothing here
        }
        positional.push_back(t);
    }
    if (exportMode) {
        if (positional.empty()) {
            return;
        }
        std::wstring file = m.FullPath(positional[0]);
        std::vector<std::uint8_t> bytes;
        if (positional.size() < 2) {
            std::wstring text = sim::ExportWholeRegistry(m.registry);
            std::vector<std::uint8_t> body = ToUtf16LeBytes(text);
            bytes = {0xFF, 0xFE};
            bytes.insert(bytes.end(), body.begin(), body.end());
        } else {
            std::wstring name = positional[1];
            while (!name.empty() && name.back() == L'\\') {
                name.pop_back();
            }
            std::size_t slash = name.find(L'\\');
            std::uint32_t root = 0;
            if (!sim::RootFromName(name.substr(0, slash), root)) {
                return;
            }
            std::wstring path = slash == std::wstring::npos ? L"" : name.substr(slash + 1);
            bytes = sim::ExportRegFile(m.registry, root, path, view);
            if (bytes.empty()) {
                return;  // no such key: the editor writes no file
            }
        }
        if (WritableFile(file)) {
            m.AddFile(file, std::move(bytes));
        }
        return;
    }
    for (const std::wstring& p : positional) {
        std::wstring file = m.FullPath(p);
        Machine::FileEntry* e = Entry(file);
        // A file held open for reading (FileLock) still opens for the editor's read.
        if (e == nullptr || e->folder || e->denied || Denied(file)) {
            continue;
        }
        sim::ImportRegText(m, sim::DecodeRegFileBytes(e->contents), true, view);
    }
}

// ---------------------------------------------------------------------------------------------
// Time

int DaysInMonth(int year, int month) {
    static constexpr int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    if (month == 2 && ((year % 4 == 0 && year % 100 != 0) || year % 400 == 0)) {
        return 29;
    }
    return kDays[(month - 1) % 12];
}

void Advance(LocalTime& t, std::uint64_t ms) {
    std::uint64_t total = static_cast<std::uint64_t>(t.millisecond) + ms;
    t.millisecond = static_cast<int>(total % 1000);
    total = total / 1000 + static_cast<std::uint64_t>(t.second);
    t.second = static_cast<int>(total % 60);
    total = total / 60 + static_cast<std::uint64_t>(t.minute);
    t.minute = static_cast<int>(total % 60);
    total = total / 60 + static_cast<std::uint64_t>(t.hour);
    t.hour = static_cast<int>(total % 24);
    std::uint64_t days = total / 24;
    while (days > 0) {
        ++t.day;
        if (t.day > DaysInMonth(t.year, t.month)) {
            t.day = 1;
            if (++t.month > 12) {
                t.month = 1;
                ++t.year;
            }
        }
        --days;
    }
}

}  // namespace

// ---------------------------------------------------------------------------------------------
// Registry

Status RegOpenKeyEx(HKey key, const wchar_t* subKey, std::uint32_t /*options*/, std::uint32_t sam,
                    HKey* result) {
    RegistryCall(L"RegOpenKeyEx");
    if (result == nullptr) {
        return kErrorInvalidParameter;
    }
    OpenKey parent;
    if (Status s = Resolve(key, parent); s != kErrorSuccess) {
        return s;
    }
    std::vector<std::wstring_view> names;  // views into subKey
    if (Status s = SplitSubKey(key, subKey, names); s != kErrorSuccess) {
        return s;
    }
    Key* target = parent.key.get();
    for (std::wstring_view n : names) {
        target = target->FindSubkey(n);
        if (target == nullptr) {
            return kErrorFileNotFound;
        }
    }
    OpenKey entry;
    entry.root = parent.root;
    Right right = M().EffectiveRight(parent.root, *target);
    if (Status s = CheckAccess(sam, right, entry.granted); s != kErrorSuccess) {
        return s;
    }
    entry.key = Owning(target, parent.root);
    *result = AddHandle(entry);
    return kErrorSuccess;
}

Status RegCreateKeyEx(HKey key, const wchar_t* subKey, std::uint32_t sam, HKey* result,
                      std::uint32_t* disposition) {
    RegistryCall(L"RegCreateKeyEx");
    if (result == nullptr) {
        return kErrorInvalidParameter;
    }
    OpenKey parent;
    if (Status s = Resolve(key, parent); s != kErrorSuccess) {
        return s;
    }
    std::vector<std::wstring_view> names;  // views into subKey
    if (Status s = SplitSubKey(key, subKey, names); s != kErrorSuccess) {
        return s;
    }
    Key* target = parent.key.get();
    std::size_t found = 0;
    for (; found < names.size(); ++found) {
        Key* next = target->FindSubkey(names[found]);
        if (next == nullptr) {
            break;
        }
        target = next;
    }
    Machine& m = M();
    bool created = found < names.size();
    if (created) {
        if (m.EffectiveRight(parent.root, *target) != Right::Full) {
            return kErrorAccessDenied;
        }
        for (; found < names.size(); ++found) {
            target = &target->AddSubkey(names[found]);
        }
    }
    OpenKey entry;
    entry.root = parent.root;
    if (Status s = CheckAccess(sam, m.EffectiveRight(parent.root, *target), entry.granted);
        s != kErrorSuccess) {
        return s;
    }
    entry.key = Owning(target, parent.root);
    *result = AddHandle(entry);
    if (disposition != nullptr) {
        *disposition = created ? kRegCreatedNewKey : kRegOpenedExistingKey;
    }
    return kErrorSuccess;
}

Status RegQueryInfoKey(HKey key, std::uint32_t* subKeys, std::uint32_t* maxSubKeyLen,
                       std::uint32_t* values, std::uint32_t* maxValueNameLen,
                       std::uint32_t* maxValueLen) {
    RegistryCall(L"RegQueryInfoKey");
    OpenKey open;
    if (Status s = Resolve(key, open); s != kErrorSuccess) {
        return s;
    }
    if ((open.granted & kKeyQueryValue) == 0) {
        return kErrorAccessDenied;
    }
    const Key& k = *open.key;
    std::uint32_t maxSub = 0, maxName = 0, maxData = 0;
    for (const auto& sub : k.subkeys) {
        maxSub = std::max<std::uint32_t>(maxSub, static_cast<std::uint32_t>(sub->name.size()));
    }
    for (const auto& v : k.values) {
        maxName = std::max<std::uint32_t>(maxName, static_cast<std::uint32_t>(v.name.size()));
        maxData = std::max<std::uint32_t>(maxData, static_cast<std::uint32_t>(v.data.size()));
    }
    if (subKeys != nullptr) {
        *subKeys = static_cast<std::uint32_t>(k.subkeys.size());
    }
    if (maxSubKeyLen != nullptr) {
        *maxSubKeyLen = maxSub;
    }
    if (values != nullptr) {
        *values = static_cast<std::uint32_t>(k.values.size());
    }
    if (maxValueNameLen != nullptr) {
        *maxValueNameLen = maxName;
    }
    if (maxValueLen != nullptr) {
        *maxValueLen = maxData;
    }
    return kErrorSuccess;
}

namespace {

Status CopyName(const std::wstring& text, wchar_t* name, std::uint32_t* nameLen) {
    if (name == nullptr || nameLen == nullptr) {
        return kErrorInvalidParameter;
    }
    if (*nameLen <= text.size()) {
        return kErrorMoreData;
    }
    std::copy(text.begin(), text.end(), name);
    name[text.size()] = L'\0';
    *nameLen = static_cast<std::uint32_t>(text.size());
    return kErrorSuccess;
}

}  // namespace

Status RegEnumKeyEx(HKey key, std::uint32_t index, wchar_t* name, std::uint32_t* nameLen) {
    RegistryCall(L"RegEnumKeyEx");
    OpenKey open;
    if (Status s = Resolve(key, open); s != kErrorSuccess) {
        return s;
    }
    if ((open.granted & kKeyEnumerateSubKeys) == 0) {
        return kErrorAccessDenied;
    }
    if (index >= open.key->subkeys.size()) {
        return kErrorNoMoreItems;
    }
    return CopyName(open.key->subkeys[index]->name, name, nameLen);
}

Status RegEnumValue(HKey key, std::uint32_t index, wchar_t* name, std::uint32_t* nameLen,
                    std::uint32_t* type) {
    RegistryCall(L"RegEnumValue");
    OpenKey open;
    if (Status s = Resolve(key, open); s != kErrorSuccess) {
        return s;
    }
    if ((open.granted & kKeyQueryValue) == 0) {
        return kErrorAccessDenied;
    }
    if (index >= open.key->values.size()) {
        return kErrorNoMoreItems;
    }
    const sim::Value& v = open.key->values[index];
    Status s = CopyName(v.name, name, nameLen);
    if (s == kErrorSuccess && type != nullptr) {
        *type = v.type;
    }
    return s;
}

Status RegQueryValueEx(HKey key, const wchar_t* valueName, std::uint32_t* type, std::uint8_t* data,
                       std::uint32_t* dataSize) {
    RegistryCall(L"RegQueryValueEx");
    OpenKey open;
    if (Status s = Resolve(key, open); s != kErrorSuccess) {
        return s;
    }
    if ((open.granted & kKeyQueryValue) == 0) {
        return kErrorAccessDenied;
    }
    if (data != nullptr && dataSize == nullptr) {
        return kErrorInvalidParameter;
    }
    const sim::Value* v = open.key->FindValue(valueName == nullptr ? L"" : valueName);
    if (v == nullptr) {
        return kErrorFileNotFound;
    }
    if (type != nullptr) {
        *type = v->type;
    }
    const auto size = static_cast<std::uint32_t>(v->data.size());
    if (data != nullptr && *dataSize < size) {
        *dataSize = size;
        return kErrorMoreData;
    }
    if (data != nullptr && size > 0) {
        std::memcpy(data, v->data.data(), size);
    }
    if (dataSize != nullptr) {
        *dataSize = size;
    }
    return kErrorSuccess;
}

Status RegCloseKey(HKey key) {
    std::uint32_t root = 0;
    if (IsPredefined(key, root)) {
        return kErrorSuccess;
    }
    HandleTable& table = Handles();
    std::lock_guard<std::mutex> lock(table.mutex);
    return table.open.erase(key) > 0 ? kErrorSuccess : kErrorInvalidHandle;
}

// ---------------------------------------------------------------------------------------------
// Files

std::uint32_t GetFileAttributes(const std::wstring& path, Status* lastError) {
    Status error = kErrorSuccess;
    std::uint32_t attributes = kInvalidFileAttributes;
    if (path.empty()) {
        error = kErrorFileNotFound;
    } else if (BadName(path)) {
        error = kErrorInvalidName;
    } else {
        std::wstring full = ResolvePath(path);
        Machine::FileEntry* e = Entry(full);
        if (const Status failure = M().LookFailure(full); failure != kErrorSuccess) {
            error = failure;
        } else if (TooLong(path, full)) {
            error = kErrorPathNotFound;
        } else if (full.size() == 3) {
            if (M().IsFolder(full)) {
                attributes = kFileAttributeDirectory;
            } else {
                error = kErrorPathNotFound;  // no such drive
            }
        } else if (e != nullptr) {
            attributes = e->folder ? kFileAttributeDirectory : 0x20u;
            if (e->reparseTag != 0) {
                attributes |= kFileAttributeReparsePoint;
            }
        } else {
            std::wstring parent = Parent(full);
            error =
                !parent.empty() && M().IsFolder(parent) ? kErrorFileNotFound : kErrorPathNotFound;
        }
    }
    if (lastError != nullptr && attributes == kInvalidFileAttributes) {
        *lastError = error;
    }
    return attributes;
}

std::uint32_t GetReparseTag(const std::wstring& path) {
    if (path.empty() || BadName(path)) {
        return 0;
    }
    std::wstring full = ResolvePath(path);
    Machine::FileEntry* e = Entry(full);
    if (e == nullptr || Denied(full) || TooLong(path, full)) {
        return 0;
    }
    return e->reparseTag;
}

bool LinkTargetOpens(const std::wstring& path, bool folder, Status* lastError) {
    // Opening follows links, hop by hop, as the system does, up to its limit of 63.
    Status error = kErrorSuccess;
    std::wstring full = path.empty() || BadName(path) ? std::wstring() : ResolvePath(path);
    if (full.empty()) {
        error = path.empty() ? kErrorPathNotFound : kErrorInvalidName;
    } else if (TooLong(path, full)) {
        error = kErrorPathNotFound;
    }
    for (int hop = 0; error == kErrorSuccess; ++hop) {
        Machine::FileEntry* e = Entry(full);
        if (const Status failure = M().LookFailure(full); failure != kErrorSuccess) {
            error = failure;
        } else if (full.size() == 3 && M().IsFolder(full)) {
            error = folder ? kErrorSuccess : kErrorAccessDenied;
            break;
        } else if (e == nullptr) {
            const std::wstring parent = Parent(full);
            error =
                !parent.empty() && M().IsFolder(parent) ? kErrorFileNotFound : kErrorPathNotFound;
        } else if (e->reparseTag == kIoReparseTagSymlink ||
                   e->reparseTag == kIoReparseTagMountPoint) {
            if (hop >= 63) {
                error = kErrorCantResolveFilename;
            } else {
                // A relative target is relative to the link's folder.
                const std::wstring& target = e->linkTarget;
                const bool absolute =
                    target.size() >= 2 && (target[1] == L':' || target[0] == L'\\');
                full = M().FullPath(absolute ? target : Parent(full) + L"\\" + target);
            }
        } else if (e->reparseTag == kIoReparseTagCloud) {
            error = kErrorCloudFileProviderNotRunning;  // no sync provider on this machine
        } else if (e->reparseTag != 0) {
            error = kErrorCantAccessFile;  // only its owner's code can open it
        } else if (e->folder && !folder) {
            error = kErrorAccessDenied;  // a folder opens only with backup semantics
        } else {
            break;
        }
    }
    if (lastError != nullptr && error != kErrorSuccess) {
        *lastError = error;
    }
    return error == kErrorSuccess;
}

bool ReadFileBytes(const std::wstring& path, std::vector<std::uint8_t>& bytes) {
    std::wstring full = ResolvePath(path);
    Machine::FileEntry* e = Entry(full);
    if (e == nullptr || e->folder || Denied(full) || TooLong(path, full)) {
        return false;
    }
    bytes = e->contents;
    return true;
}

bool WriteFileBytes(const std::wstring& path, const std::vector<std::uint8_t>& bytes) {
    if (path.empty() || BadName(path)) {
        return false;
    }
    std::wstring full = ResolvePath(path);
    if (!WritableFile(full) || TooLong(path, full)) {
        return false;
    }
    Machine& m = M();
    if (m.freeBytes) {
        // The old content is given up first, as CREATE_ALWAYS does; what does not fit is lost.
        const std::vector<std::uint8_t>* old = m.FileContents(full);
        const std::uint64_t room = *m.freeBytes + (old != nullptr ? old->size() : 0);
        if (bytes.size() > room) {
            m.AddFile(full, std::vector<std::uint8_t>(
                                bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(room)));
            m.freeBytes = 0;
            return false;
        }
        m.freeBytes = room - bytes.size();
    }
    m.AddFile(full, bytes);
    return true;
}

bool DeleteFile(const std::wstring& path) {
    if (path.empty()) {
        return false;
    }
    std::wstring full = ResolvePath(path);
    Machine::FileEntry* e = Entry(full);
    if (e == nullptr || e->folder || e->locks > 0 || Denied(full) || TooLong(path, full)) {
        return false;
    }
    return M().RemoveFile(full);
}

bool CreateDirectory(const std::wstring& path) {
    if (path.empty() || BadName(path)) {
        return false;
    }
    std::wstring full = ResolvePath(path);
    if (full.size() <= 3 || Entry(full) != nullptr || Denied(full) || TooLong(path, full) ||
        !M().IsFolder(Parent(full))) {
        return false;
    }
    M().AddFolder(full);
    return true;
}

namespace {

struct LockRecord {
    Machine* machine = nullptr;
    std::wstring path;
};

struct LockTable {
    std::mutex mutex;
    std::map<std::uintptr_t, LockRecord> locks;
    std::uintptr_t next = 1;
};

LockTable& Locks() {
    static LockTable table;
    return table;
}

void ReleaseLock(std::uintptr_t handle) {
    if (handle == 0) {
        return;
    }
    LockTable& table = Locks();
    std::lock_guard<std::mutex> guard(table.mutex);
    auto it = table.locks.find(handle);
    if (it == table.locks.end()) {
        return;
    }
    // Only touch the machine that took the lock, if it is still the one installed.
    if (it->second.machine == &Machine::Current()) {
        if (Machine::FileEntry* e = Entry(it->second.path); e != nullptr && e->locks > 0) {
            --e->locks;
        }
    }
    table.locks.erase(it);
}

}  // namespace

FileLock::FileLock(const std::wstring& path) {
    std::wstring full = ResolvePath(path);
    Machine::FileEntry* e = Entry(full);
    if (e == nullptr || e->folder || Denied(full) || TooLong(path, full)) {
        return;
    }
    ++e->locks;
    LockTable& table = Locks();
    std::lock_guard<std::mutex> guard(table.mutex);
    handle_ = table.next++;
    table.locks.emplace(handle_, LockRecord{&Machine::Current(), full});
}

FileLock::~FileLock() {
    ReleaseLock(handle_);
}

FileLock::FileLock(FileLock&& other) noexcept : handle_(other.handle_) {
    other.handle_ = 0;
}

FileLock& FileLock::operator=(FileLock&& other) noexcept {
    if (this != &other) {
        ReleaseLock(handle_);
        handle_ = other.handle_;
        other.handle_ = 0;
    }
    return *this;
}

bool CallWow64DisableFsRedirection() {
    redirectionOff = true;
    return true;
}

bool CallWow64EnableFsRedirection() {
    redirectionOff = false;
    return true;
}

// ---------------------------------------------------------------------------------------------
// Environment and folders

bool GetEnvironmentVariable(const std::wstring& name, std::wstring& value) {
    std::optional<std::wstring> v = M().Environment(name);
    if (!v) {
        return false;
    }
    value = *v;
    return true;
}

std::uint32_t ExpandEnvironmentStrings(const wchar_t* source, wchar_t* buffer, std::uint32_t size) {
    if (source == nullptr) {
        return 0;
    }
    const Machine& m = M();
    std::wstring_view src(source);
    std::wstring out;
    std::size_t i = 0;
    while (i < src.size()) {
        if (src[i] != L'%') {
            std::size_t next = src.find(L'%', i);
            if (next == std::wstring_view::npos) {
                next = src.size();
            }
            out.append(src.substr(i, next - i));
            i = next;
            continue;
        }
        std::size_t close = src.find(L'%', i + 1);
        if (close == std::wstring_view::npos) {
            out.append(src.substr(i));
            break;
        }
        std::wstring_view name = src.substr(i + 1, close - i - 1);
        std::optional<std::wstring> value;
        if (!name.empty()) {
            value = m.Environment(name);
        }
        if (value) {
            out += *value;
        } else {
            out.append(src.substr(i, close - i + 1));  // left as written, both "%" included
        }
        i = close + 1;
    }
    const auto needed = static_cast<std::uint32_t>(out.size() + 1);
    if (buffer != nullptr && size >= needed) {
        std::copy(out.begin(), out.end(), buffer);
        buffer[out.size()] = L'\0';
    }
    return needed;
}

std::wstring GetModuleFileName() {
    return M().programPath;
}
std::wstring GetWindowsDirectory() {
    return M().windowsFolder;
}
std::wstring GetSystemDirectory() {
    return M().systemFolder;
}

std::wstring SHGetFolderPath(int csidl) {
    switch (csidl) {
        case kCsidlAppData:
            return M().appDataFolder;
        case kCsidlProgramFiles:
            return M().programFilesFolder;
        default:
            return {};
    }
}

std::uint32_t GetLogicalDrives() {
    std::uint32_t mask = 0;
    for (const sim::Drive& d : M().drives) {
        wchar_t letter = sim::FoldChar(d.letter);
        if (letter >= L'A' && letter <= L'Z') {
            mask |= 1u << (letter - L'A');
        }
    }
    return mask;
}

std::uint32_t GetDriveType(const std::wstring& root) {
    if (root.size() < 2 || root[1] != L':' || (root.size() > 2 && root.substr(2) != L"\\")) {
        return kDriveNoRootDir;
    }
    for (const sim::Drive& d : M().drives) {
        if (sim::FoldChar(d.letter) == sim::FoldChar(root[0])) {
            return d.type;
        }
    }
    return kDriveNoRootDir;
}

// ---------------------------------------------------------------------------------------------
// Processes, shell, time, code page

namespace {

// A started process's handle: the machine it ran on, its record there, and whether it is still
// running when a wait gives up.
struct ProcessEntry {
    Machine* machine = nullptr;
    std::size_t record = 0;
    bool pastTimeOut = false;
};

struct ProcessTable {
    std::mutex mutex;
    std::map<std::uintptr_t, ProcessEntry> open;
    std::uintptr_t next = 1;
};

ProcessTable& Processes() {
    static ProcessTable table;
    return table;
}

}  // namespace

Process StartProcess(const std::wstring& application, const std::wstring& commandLine,
                     std::uint32_t creationFlags) {
    Machine& m = M();
    sim::ProcessRecord record;
    record.application = application;
    record.commandLine = commandLine;
    record.creationFlags = creationFlags;
    record.redirectionOff = redirectionOff;
    m.processes.push_back(record);
    if (application.empty()) {
        return Process();
    }
    // The image is picked when the process is created, with the starting thread's redirection.
    std::wstring full = ResolvePath(application);
    sim::RegistryView view = sim::RegistryView::Native;
    bool editor = IsRegistryEditor(m, full, view);
    Machine::FileEntry* e = Entry(full);
    if (!editor && (e == nullptr || e->folder || Denied(full))) {
        return Process();
    }
    const std::size_t index = m.processes.size() - 1;
    m.processes[index].image = full;
    const Machine::ProcessOutcome outcome =
        m.onProcess ? m.onProcess(m.processes[index]) : Machine::ProcessOutcome::Runs;
    if (editor && outcome == Machine::ProcessOutcome::Runs) {
        // The simulated editor is done by the time the start returns.
        RunRegistryEditorEmulation(commandLine, view);
    }
    ProcessTable& table = Processes();
    std::lock_guard<std::mutex> lock(table.mutex);
    const std::uintptr_t handle = table.next++;
    table.open.emplace(
        handle, ProcessEntry{&m, index, outcome == Machine::ProcessOutcome::RunsPastTimeOut});
    return Process(handle);
}

Process::~Process() {
    if (handle_ != 0) {
        ProcessTable& table = Processes();
        std::lock_guard<std::mutex> lock(table.mutex);
        table.open.erase(handle_);
    }
}

Process::Process(Process&& other) noexcept : handle_(other.handle_) {
    other.handle_ = 0;
}

Process& Process::operator=(Process&& other) noexcept {
    if (this != &other) {
        Process old(std::move(*this));
        handle_ = other.handle_;
        other.handle_ = 0;
    }
    return *this;
}

bool Process::Wait(std::uint32_t timeoutMs) const {
    ProcessTable& table = Processes();
    std::lock_guard<std::mutex> lock(table.mutex);
    auto it = table.open.find(handle_);
    if (it == table.open.end()) {
        return false;
    }
    // Only the machine that started it keeps its record.
    Machine& m = M();
    if (it->second.machine == &m && it->second.record < m.processes.size()) {
        sim::ProcessRecord& record = m.processes[it->second.record];
        record.waited = true;
        record.redirectionOffInWait = redirectionOff;
    }
    if (it->second.pastTimeOut) {
        Advance(m.clock, timeoutMs);  // the wait gives up
        return false;
    }
    return true;
}

void ShellOpen(std::uintptr_t ownerWindow, const std::wstring& file) {
    M().shellOpens.push_back(sim::ShellOpenRecord{ownerWindow, file});
}

LocalTime GetLocalTime() {
    return M().clock;
}

void Sleep(std::uint32_t milliseconds) {
    Advance(M().clock, milliseconds);
}

std::string WideToAnsi(std::wstring_view text, bool* usedDefault) {
    return sim::ToCodepage1252(text, usedDefault);
}

std::wstring AnsiToWide(std::string_view bytes) {
    return sim::FromCodepage1252(bytes);
}

}  // namespace bv::platform
