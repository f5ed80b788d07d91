// The registry reader: every operation opens its own handle in the 64-bit view, checks types and
// sizes itself and reads any failure as absence.
#include "sysaccess/RegUnit.h"

#include <algorithm>
#include <new>

#include "platform/Utf16.h"

namespace bv {

namespace {

namespace pf = platform;

constexpr std::uint32_t kReadMasks[] = {0x20119, 0x20109, 0x101};
constexpr std::uint32_t kProbeMask = 0x20109;
constexpr std::uint32_t kFullAccessMask = 0xF013F;

// Longest names the registry allows, in characters without the NUL.
constexpr std::uint32_t kMaxKeyNameLength = 255;
constexpr std::uint32_t kMaxValueNameLength = 16383;

// A value may change between the size query and the read; a few rounds settle it.
constexpr int kReadAttempts = 4;

// A real key is at most 512 levels deep; a walk that goes deeper is following a link cycle.
constexpr int kMaxWalkDepth = 512;

bool HasNul(std::wstring_view text) {
    return text.find(L'\0') != std::wstring_view::npos;
}

std::wstring_view DropLeadingBackslash(std::wstring_view path) {
    if (!path.empty() && path.front() == L'\\') {
        path.remove_prefix(1);
    }
    return path;
}

// One RegOpenKeyEx attempt. A name holding NUL would be cut short by the API and open another
// key (a parent of the one meant), so it does not open at all.
RegKey OpenWithMask(std::uint32_t root, std::wstring_view path, std::uint32_t sam) {
    path = DropLeadingBackslash(path);
    if (HasNul(path)) {
        return RegKey();
    }
    const std::wstring subKey(path);
    pf::HKey handle = 0;
    if (pf::RegOpenKeyEx(pf::PredefinedKey(root), subKey.c_str(), 0, sam, &handle) !=
            pf::kErrorSuccess ||
        handle == 0) {
        return RegKey();
    }
    return RegKey(handle);
}

// Most values fit a small buffer, so the first query reads the data at once; a larger value
// reports its size and is read again at that size, and again when it grew in between.
constexpr std::uint32_t kFirstReadSize = 512;

bool ReadValue(pf::HKey key, const std::wstring& name, std::uint32_t& type,
               std::vector<std::uint8_t>& data) {
    std::uint32_t size = kFirstReadSize;
    for (int attempt = 0; attempt <= kReadAttempts; ++attempt) {
        // Never hand the API a null buffer: that would be a size query.
        data.assign(std::max<std::uint32_t>(size, 1), 0);
        std::uint32_t readSize = static_cast<std::uint32_t>(data.size());
        std::uint32_t readType = 0;
        const pf::Status status =
            pf::RegQueryValueEx(key, name.c_str(), &readType, data.data(), &readSize);
        if (status == pf::kErrorSuccess) {
            data.resize(std::min<std::size_t>(readSize, data.size()));
            type = readType;
            return true;
        }
        if (status != pf::kErrorMoreData) {
            return false;
        }
        // The size needed; a platform that does not say gets a doubled buffer.
        size = readSize > data.size() ? readSize : static_cast<std::uint32_t>(data.size()) * 2;
    }
    return false;
}

enum class NameKind { Subkey, Value };

std::int32_t ListNames(const RegKey& key, NameKind kind, std::vector<std::wstring>& names) {
    names.clear();
    if (!key) {
        return 0;
    }
    try {
        std::uint32_t subKeys = 0, maxSubKeyLen = 0, values = 0, maxValueNameLen = 0,
                      maxValueLen = 0;
        if (pf::RegQueryInfoKey(key.Get(), &subKeys, &maxSubKeyLen, &values, &maxValueNameLen,
                                &maxValueLen) != pf::kErrorSuccess) {
            return 0;
        }
        const bool subkeys = kind == NameKind::Subkey;
        const std::uint32_t count = subkeys ? subKeys : values;
        const std::uint32_t limit = subkeys ? kMaxKeyNameLength : kMaxValueNameLength;
        std::vector<wchar_t> buffer(std::min(subkeys ? maxSubKeyLen : maxValueNameLen, limit) + 1);
        for (std::uint32_t index = 0; index < count; ++index) {
            pf::Status status = pf::kErrorMoreData;
            std::uint32_t length = 0;
            // A longer name than the information query reported (added since): widen once to
            // the registry's limit before giving up on the enumeration.
            for (int round = 0; round < 2 && status == pf::kErrorMoreData; ++round) {
                if (round == 1) {
                    if (buffer.size() > limit) {
                        break;
                    }
                    buffer.assign(limit + 1, L'\0');
                }
                length = static_cast<std::uint32_t>(buffer.size());
                std::uint32_t valueType = 0;
                status = subkeys ? pf::RegEnumKeyEx(key.Get(), index, buffer.data(), &length)
                                 : pf::RegEnumValue(key.Get(), index, buffer.data(), &length,
                                                    &valueType);
            }
            if (status != pf::kErrorSuccess) {
                break;
            }
            // The length is the platform's word; the buffer bounds it, whatever it says.
            length = std::min(length, static_cast<std::uint32_t>(buffer.size() - 1));
            names.emplace_back(buffer.data(), length);
        }
    } catch (const std::bad_alloc&) {
        // What was gathered stays.
    }
    return static_cast<std::int32_t>(names.size());
}

// One level of the walk; the frame holds only small objects so deep trees fit the stack.
void WalkLevel(std::uint32_t root, std::wstring_view path, std::int32_t& errorTotal,
               ScanControl& control, int depth, bool& complete) {
    control.Pump();
    if (!control.ScanInProgress()) {
        complete = false;
        return;
    }
    if (errorTotal > 0 || path.size() < 2) {
        return;
    }
    if (depth > kMaxWalkDepth) {
        complete = false;
        return;
    }
    std::wstring keyPath(path);
    if (keyPath.back() != L'\\') {
        keyPath.push_back(L'\\');
    }
    const RegKey key = OpenKeyReadOnly(root, keyPath);
    if (!key) {
        return;
    }
    std::vector<std::wstring> names;
    errorTotal += ListValueNames(key, names);
    if (errorTotal != 0) {
        return;
    }
    ListSubkeys(key, names);
    for (const std::wstring& name : names) {
        if (!name.empty()) {
            WalkLevel(root, keyPath + name + L'\\', errorTotal, control, depth + 1, complete);
        }
    }
}

}  // namespace

RegKey& RegKey::operator=(RegKey&& other) noexcept {
    if (this != &other) {
        Close();
        handle_ = other.handle_;
        other.handle_ = 0;
    }
    return *this;
}

void RegKey::Close() {
    if (handle_ != 0) {
        pf::RegCloseKey(handle_);
        handle_ = 0;
    }
}

RegKey OpenKeyReadOnly(std::uint32_t root, std::wstring_view path) {
    for (std::uint32_t mask : kReadMasks) {
        RegKey key = OpenWithMask(root, path, mask);
        if (key) {
            return key;
        }
    }
    return RegKey();
}

bool QueryValueType(const RegKey& key, std::wstring_view name, std::uint32_t& type) {
    if (!key || HasNul(name)) {
        return false;
    }
    const std::wstring valueName(name);
    std::uint32_t size = 0;
    std::uint32_t valueType = 0;
    if (pf::RegQueryValueEx(key.Get(), valueName.c_str(), &valueType, nullptr, &size) !=
        pf::kErrorSuccess) {
        return false;
    }
    type = valueType;
    return true;
}

bool QueryValueData(const RegKey& key, std::wstring_view name, std::uint32_t& type,
                    std::vector<std::uint8_t>& data) {
    data.clear();
    if (!key || HasNul(name)) {
        return false;
    }
    try {
        if (ReadValue(key.Get(), std::wstring(name), type, data)) {
            return true;
        }
    } catch (const std::bad_alloc&) {
    }
    data.clear();
    return false;
}

bool QueryStringAsStored(const RegKey& key, std::wstring_view name, std::wstring& text) {
    text.clear();
    std::uint32_t type = 0;
    std::vector<std::uint8_t> data;
    if (!QueryValueData(key, name, type, data) ||
        (type != pf::kRegSz && type != pf::kRegExpandSz)) {
        return false;
    }
    // Registry data need not end in NUL, nor hold an even number of bytes.
    text = FromUtf16LeBytes(data.data(), data.size());
    const std::size_t nul = text.find(L'\0');
    if (nul != std::wstring::npos) {
        text.resize(nul);
    }
    return true;
}

std::int32_t ListSubkeys(const RegKey& key, std::vector<std::wstring>& names) {
    return ListNames(key, NameKind::Subkey, names);
}

std::int32_t ListValueNames(const RegKey& key, std::vector<std::wstring>& names) {
    return ListNames(key, NameKind::Value, names);
}

std::int32_t ListSubkeys(std::uint32_t root, std::wstring_view path,
                         std::vector<std::wstring>& names) {
    names.clear();
    return ListSubkeys(OpenKeyReadOnly(root, path), names);
}

std::int32_t ListValueNames(std::uint32_t root, std::wstring_view path,
                            std::vector<std::wstring>& names) {
    names.clear();
    return ListValueNames(OpenKeyReadOnly(root, path), names);
}

std::wstring ReadStringValue(std::uint32_t root, std::wstring_view path, std::wstring_view name) {
    const RegKey key = OpenKeyReadOnly(root, path);
    std::wstring text;
    if (!QueryStringAsStored(key, name, text)) {
        return std::wstring();
    }
    return TrimControl(text);
}

std::int32_t ReadIntegerValue(std::uint32_t root, std::wstring_view path, std::wstring_view name) {
    const RegKey key = OpenKeyReadOnly(root, path);
    std::uint32_t type = 0;
    std::vector<std::uint8_t> data;
    // Anything but exactly four bytes of REG_DWORD is not a readable integer.
    if (!QueryValueData(key, name, type, data) || type != pf::kRegDword || data.size() != 4) {
        return 0;
    }
    const std::uint32_t value =
        static_cast<std::uint32_t>(data[0]) | (static_cast<std::uint32_t>(data[1]) << 8) |
        (static_cast<std::uint32_t>(data[2]) << 16) | (static_cast<std::uint32_t>(data[3]) << 24);
    return static_cast<std::int32_t>(value);
}

bool KeyExists(std::uint32_t root, std::wstring_view path) {
    return static_cast<bool>(OpenWithMask(root, path, kProbeMask));
}

bool KeyHasSubkeys(std::uint32_t root, std::wstring_view path) {
    const RegKey key = OpenKeyReadOnly(root, path);
    if (!key) {
        return false;
    }
    std::uint32_t subKeys = 0, maxSubKeyLen = 0, values = 0, maxValueNameLen = 0, maxValueLen = 0;
    return pf::RegQueryInfoKey(key.Get(), &subKeys, &maxSubKeyLen, &values, &maxValueNameLen,
                               &maxValueLen) == pf::kErrorSuccess &&
           subKeys > 0;
}

bool ValueExistsInKey(std::uint32_t root, std::wstring_view path, std::wstring_view name) {
    // Opened, never created: a re-test must not leave empty keys behind.
    const RegKey key = OpenWithMask(root, path, kFullAccessMask);
    std::uint32_t type = 0;
    return QueryValueType(key, name, type);
}

bool CanOpenKeyForWrite(std::uint32_t root, std::wstring_view path) {
    if (root == kHkeyCurrentUser) {
        return true;
    }
    return static_cast<bool>(OpenWithMask(root, path, kFullAccessMask));
}

bool KeyTreeHasValues(std::uint32_t root, std::wstring_view path, std::int32_t& errorTotal,
                      ScanControl& control) {
    bool complete = true;
    WalkLevel(root, path, errorTotal, control, 0, complete);
    return complete;
}

std::wstring TrimControl(std::wstring_view text) {
    auto blank = [](wchar_t c) { return static_cast<std::uint32_t>(c) <= 32; };
    std::size_t begin = 0;
    std::size_t end = text.size();
    while (begin < end && blank(text[begin])) {
        ++begin;
    }
    while (end > begin && blank(text[end - 1])) {
        --end;
    }
    return std::wstring(text.substr(begin, end - begin));
}

}  // namespace bv
