// The simulated registry editor's files: export byte for byte as the editor writes it (hex data
// wrapped at the editor's column), import of editor scripts as "regedit /s" reads them.
#include "platform/sim/RegFile.h"

#include <cstdio>

#include "platform/Utf16.h"

namespace bv::sim {

using namespace bv::platform;

namespace {

struct RootNameEntry {
    std::uint32_t root;
    const wchar_t* full;
    const wchar_t* shortName;
};

constexpr RootNameEntry kRootNames[] = {
    {kHkeyClassesRoot, L"HKEY_CLASSES_ROOT", L"HKCR"},
    {kHkeyCurrentUser, L"HKEY_CURRENT_USER", L"HKCU"},
    {kHkeyLocalMachine, L"HKEY_LOCAL_MACHINE", L"HKLM"},
};

constexpr std::wstring_view kHeader5 = L"Windows Registry Editor Version 5.00";
constexpr std::wstring_view kHeader4 = L"REGEDIT4";
// The editor breaks a hex line once it reaches this many characters.
constexpr std::size_t kMaxHexChars = 77;

// ----- export --------------------------------------------------------------------------------

// The editor's escaping: backslash, double quote, CR and LF; the text ends at a NUL.
std::wstring Escape(std::wstring_view text) {
    std::wstring out;
    out.reserve(text.size() + 8);
    for (wchar_t c : text) {
        switch (c) {
            case L'\0':
                return out;
            case L'\\':
                out += L"\\\\";
                break;
            case L'"':
                out += L"\\\"";
                break;
            case L'\r':
                out += L"\\r";
                break;
            case L'\n':
                out += L"\\n";
                break;
            default:
                out += c;
        }
    }
    return out;
}

// REG_SZ data the editor can write as a quoted string without losing anything: whole UTF-16
// units, one terminating NUL and no NUL before it.
bool CleanString(const std::vector<std::uint8_t>& data, std::wstring& text) {
    if (data.size() < 2 || data.size() % 2 != 0 || data[data.size() - 1] != 0 ||
        data[data.size() - 2] != 0) {
        return false;
    }
    for (std::size_t i = 0; i + 2 < data.size(); i += 2) {
        if (data[i] == 0 && data[i + 1] == 0) {
            return false;
        }
    }
    text = FromUtf16LeBytes(data.data(), data.size() - 2);
    return true;
}

void AppendHex(std::wstring& out, std::size_t lineLen, std::uint32_t type,
               const std::vector<std::uint8_t>& data) {
    wchar_t tag[24];
    if (type == kRegBinary) {
        std::swprintf(tag, 24, L"hex:");
    } else {
        std::swprintf(tag, 24, L"hex(%x):", type);
    }
    out += tag;
    lineLen += std::wstring_view(tag).size();
    static constexpr wchar_t kDigits[] = L"0123456789abcdef";
    for (std::size_t i = 0; i < data.size(); ++i) {
        out += kDigits[data[i] >> 4];
        out += kDigits[data[i] & 15];
        if (i + 1 == data.size()) {
            break;
        }
        out += L',';
        lineLen += 3;
        if (lineLen >= kMaxHexChars) {
            out += L"\\\r\n  ";
            lineLen = 2;
        }
    }
}

void AppendValue(std::wstring& out, const Value& v) {
    std::size_t start = out.size();
    if (v.name.empty()) {
        out += L"@=";
    } else {
        out += L'"';
        out += Escape(v.name);
        out += L"\"=";
    }
    std::size_t lineLen = out.size() - start;
    std::wstring text;
    if (v.type == kRegSz && CleanString(v.data, text)) {
        out += L'"';
        out += Escape(text);
        out += L'"';
    } else if (v.type == kRegDword && v.data.size() == 4) {
        wchar_t buf[24];
        std::uint32_t d = static_cast<std::uint32_t>(v.data[0]) |
                          (static_cast<std::uint32_t>(v.data[1]) << 8) |
                          (static_cast<std::uint32_t>(v.data[2]) << 16) |
                          (static_cast<std::uint32_t>(v.data[3]) << 24);
        std::swprintf(buf, 24, L"dword:%08x", d);
        out += buf;
    } else {
        AppendHex(out, lineLen, v.type, v.data);
    }
    out += L"\r\n";
}

void AppendKey(std::wstring& out, const Key& key, const std::wstring& fullName) {
    out += L"\r\n[";
    out += fullName;
    out += L"]\r\n";
    for (const Value& v : key.values) {
        AppendValue(out, v);
    }
    for (const auto& sub : key.subkeys) {
        AppendKey(out, *sub, fullName + L"\\" + sub->name);
    }
}

// ----- import --------------------------------------------------------------------------------

std::wstring_view Trim(std::wstring_view s) {
    while (!s.empty() && (s.front() == L' ' || s.front() == L'\t')) {
        s.remove_prefix(1);
    }
    while (!s.empty() && (s.back() == L' ' || s.back() == L'\t' || s.back() == L'\r')) {
        s.remove_suffix(1);
    }
    return s;
}

// A quoted string starting at s[0] == '"'; the editor's escapes undone. Returns the index after
// the closing quote, or npos when there is none.
std::size_t ParseQuoted(std::wstring_view s, std::wstring& out) {
    out.clear();
    for (std::size_t i = 1; i < s.size(); ++i) {
        wchar_t c = s[i];
        if (c == L'"') {
            return i + 1;
        }
        if (c == L'\\' && i + 1 < s.size()) {
            wchar_t n = s[++i];
            switch (n) {
                case L'\\':
                    out += L'\\';
                    break;
                case L'"':
                    out += L'"';
                    break;
                case L'n':
                    out += L'\n';
                    break;
                case L'r':
                    out += L'\r';
                    break;
                case L'0':
                    out += L'\0';
                    break;
                default:
                    out += L'\\';
                    out += n;
            }
            continue;
        }
        out += c;
    }
    return std::wstring_view::npos;
}

int HexDigit(wchar_t c) {
    if (c >= L'0' && c <= L'9') {
        return c - L'0';
    }
    if (c >= L'a' && c <= L'f') {
        return c - L'a' + 10;
    }
    if (c >= L'A' && c <= L'F') {
        return c - L'A' + 10;
    }
    return -1;
}

bool ParseHexNumber(std::wstring_view s, std::size_t maxDigits, std::uint32_t& value) {
    if (s.empty() || s.size() > maxDigits) {
        return false;
    }
    value = 0;
    for (wchar_t c : s) {
        int d = HexDigit(c);
        if (d < 0) {
            return false;
        }
        value = (value << 4) | static_cast<std::uint32_t>(d);
    }
    return true;
}

// "01,02, 0a" (already joined over continuation lines) -> bytes; false when malformed.
bool ParseHexBytes(std::wstring_view s, std::vector<std::uint8_t>& bytes) {
    bytes.clear();
    s = Trim(s);
    if (s.empty()) {
        return true;
    }
    std::size_t start = 0;
    while (start <= s.size()) {
        std::size_t comma = s.find(L',', start);
        if (comma == std::wstring_view::npos) {
            comma = s.size();
        }
        std::wstring_view piece = Trim(s.substr(start, comma - start));
        std::uint32_t b = 0;
        if (piece.empty() && comma == s.size() && !bytes.empty()) {
            break;  // a trailing comma
        }
        if (!ParseHexNumber(piece, 2, b)) {
            return false;
        }
        bytes.push_back(static_cast<std::uint8_t>(b));
        start = comma + 1;
    }
    return true;
}

struct Importer {
    Machine& machine;
    bool honourRights;
    RegistryView view;
    bool regedit4 = false;
    ImportStats stats;
    std::uint32_t root = 0;
    Key* current = nullptr;  // the key values go to; null when none or refused
    std::size_t line = 0;    // index of the line being read

    void Skip() {
        if (stats.linesSkipped++ == 0) {
            stats.firstSkippedLine = static_cast<int>(line) + 1;
        }
    }

    bool Full(std::uint32_t r, const Key& k) const {
        return !honourRights || machine.EffectiveRight(r, k) == Right::Full;
    }

    bool SubtreeFull(std::uint32_t r, const Key& k) const {
        if (!Full(r, k)) {
            return false;
        }
        for (const auto& sub : k.subkeys) {
            if (!SubtreeFull(r, *sub)) {
                return false;
            }
        }
        return true;
    }

    static bool SplitKeyName(std::wstring_view name, std::uint32_t& r, std::wstring_view& path) {
        std::size_t slash = name.find(L'\\');
        if (!RootFromName(name.substr(0, slash), r)) {
            return false;
        }
        path = slash == std::wstring_view::npos ? std::wstring_view() : name.substr(slash + 1);
        return true;
    }

    void KeyLine(std::wstring_view line) {
        current = nullptr;
        std::size_t close = line.find_last_of(L']');
        if (close == std::wstring_view::npos) {
            Skip();
            return;
        }
        std::wstring_view name = line.substr(1, close - 1);
        bool remove = !name.empty() && name.front() == L'-';
        if (remove) {
            name.remove_prefix(1);
        }
        std::wstring_view asked;
        if (!SplitKeyName(name, root, asked)) {
            Skip();
            return;
        }
        const std::wstring stored = ViewPath(view, root, asked);
        const std::wstring_view path = stored;
        Registry& reg = machine.registry;
        if (remove) {
            Key* key = reg.Find(root, path);
            if (key == nullptr) {
                return;  // nothing to delete
            }
            if (key->parent == nullptr || !SubtreeFull(root, *key)) {
                Skip();
                return;
            }
            reg.DeleteKey(root, path);
            ++stats.keysDeleted;
            return;
        }
        // Create-or-open for writing: full access to the key, or to the deepest existing
        // ancestor when it has to be created.
        Key* deepest = &reg.Root(root);
        std::size_t start = 0;
        bool exists = true;
        while (start < path.size()) {
            std::size_t end = path.find(L'\\', start);
            if (end == std::wstring_view::npos) {
                end = path.size();
            }
            if (end > start) {
                Key* next = deepest->FindSubkey(path.substr(start, end - start));
                if (next == nullptr) {
                    exists = false;
                    break;
                }
                deepest = next;
            }
            start = end + 1;
        }
        if (!Full(root, *deepest)) {
            Skip();
            return;
        }
        current = exists ? deepest : &reg.Create(root, path);
    }

    void ValueLine(std::wstring_view line, const std::vector<std::wstring_view>& lines,
                   std::size_t& index) {
        std::wstring name;
        std::size_t pos = 0;
        if (line.front() == L'@') {
            pos = 1;
        } else {
            pos = ParseQuoted(line, name);
            if (pos == std::wstring_view::npos) {
                Skip();
                return;
            }
        }
        std::wstring_view rest = Trim(line.substr(pos));
        if (rest.empty() || rest.front() != L'=') {
            Skip();
            return;
        }
        rest = Trim(rest.substr(1));
        if (current == nullptr) {
            Skip();
            SkipContinuation(rest, lines, index);
            return;
        }
        if (rest == L"-") {
            for (auto it = current->values.begin(); it != current->values.end(); ++it) {
                if (EqualNoCase(it->name, name)) {
                    current->values.erase(it);
                    ++stats.valuesDeleted;
                    break;
                }
            }
            return;
        }
        std::uint32_t type = kRegSz;
        std::vector<std::uint8_t> data;
        if (!rest.empty() && rest.front() == L'"') {
            std::wstring text;
            std::size_t end = ParseQuoted(rest, text);
            if (end == std::wstring_view::npos || !OnlyComment(rest.substr(end))) {
                Skip();
                return;
            }
            data = ToUtf16LeBytes(text);
            data.push_back(0);
            data.push_back(0);
        } else if (rest.substr(0, 6) == L"dword:") {
            std::uint32_t d = 0;
            std::wstring_view digits = Trim(StripComment(rest.substr(6)));
            if (!ParseHexNumber(digits, 8, d)) {
                Skip();
                return;
            }
            type = kRegDword;
            data = {static_cast<std::uint8_t>(d), static_cast<std::uint8_t>(d >> 8),
                    static_cast<std::uint8_t>(d >> 16), static_cast<std::uint8_t>(d >> 24)};
        } else if (rest.substr(0, 3) == L"hex") {
            std::wstring joined;
            std::wstring_view hexForm = rest.substr(3);
            std::size_t colon = hexForm.find(L':');
            if (colon == std::wstring_view::npos) {
                Skip();
                return;
            }
            std::wstring_view typeText = hexForm.substr(0, colon);
            joined = std::wstring(StripComment(hexForm.substr(colon + 1)));
            while (!Trim(joined).empty() && Trim(joined).back() == L'\\') {
                std::wstring_view t = Trim(joined);
                joined = std::wstring(t.substr(0, t.size() - 1));
                if (index + 1 >= lines.size()) {
                    break;
                }
                joined += StripComment(Trim(lines[++index]));
            }
            if (typeText.empty()) {
                type = kRegBinary;
            } else if (typeText.size() < 3 || typeText.front() != L'(' || typeText.back() != L')' ||
                       !ParseHexNumber(typeText.substr(1, typeText.size() - 2), 8, type)) {
                Skip();
                return;
            }
            if (!ParseHexBytes(joined, data)) {
                Skip();
                return;
            }
            if (regedit4 && (type == kRegExpandSz || type == kRegMultiSz)) {
                // Version 4 scripts hold these as ANSI bytes.
                std::string ansi(data.begin(), data.end());
                data = ToUtf16LeBytes(FromCodepage1252(ansi));
            }
        } else {
            Skip();
            return;
        }
        if (Value* v = current->FindValue(name)) {
            v->type = type;
            v->data = std::move(data);
        } else {
            current->values.push_back(Value{name, type, std::move(data)});
        }
        ++stats.valuesWritten;
    }

    static std::wstring_view StripComment(std::wstring_view s) {
        std::size_t semi = s.find(L';');
        return semi == std::wstring_view::npos ? s : s.substr(0, semi);
    }

    static bool OnlyComment(std::wstring_view s) {
        s = Trim(s);
        return s.empty() || s.front() == L';';
    }

    static void SkipContinuation(std::wstring_view rest,
                                 const std::vector<std::wstring_view>& lines, std::size_t& index) {
        std::wstring_view t = Trim(rest);
        while (!t.empty() && t.back() == L'\\' && index + 1 < lines.size()) {
            t = Trim(lines[++index]);
        }
    }
};

bool ValidUtf8(const std::vector<std::uint8_t>& b, std::size_t start) {
    for (std::size_t i = start; i < b.size();) {
        std::uint8_t c = b[i];
        int extra = c < 0x80 ? 0 : (c >> 5) == 6 ? 1 : (c >> 4) == 14 ? 2 : (c >> 3) == 30 ? 3 : -1;
        if (extra < 0 || (extra == 1 && c < 0xC2) || i + extra >= b.size() + (extra == 0)) {
            return false;
        }
        for (int k = 1; k <= extra; ++k) {
            if ((b[i + k] & 0xC0) != 0x80) {
                return false;
            }
        }
        i += extra + 1;
    }
    return true;
}

}  // namespace

bool RootFromName(std::wstring_view name, std::uint32_t& root) {
    for (const RootNameEntry& e : kRootNames) {
        if (EqualNoCase(name, e.full) || EqualNoCase(name, e.shortName)) {
            root = e.root;
            return true;
        }
    }
    return false;
}

const wchar_t* RootName(std::uint32_t root) {
    for (const RootNameEntry& e : kRootNames) {
        if (e.root == root) {
            return e.full;
        }
    }
    return L"";
}

std::wstring ExportRegText(const Registry& registry, std::uint32_t root, std::wstring_view path,
                           RegistryView view) {
    while (!path.empty() && path.front() == L'\\') {
        path.remove_prefix(1);
    }
    const Key* key = registry.Find(root, ViewPath(view, root, path));
    if (key == nullptr) {
        return {};
    }
    std::wstring out(kHeader5);
    out += L"\r\n";
    std::wstring fullName = RootName(root);
    if (!path.empty()) {
        fullName += L"\\";
        fullName += path;
    }
    AppendKey(out, *key, fullName);
    out += L"\r\n";
    return out;
}

std::vector<std::uint8_t> ExportRegFile(const Registry& registry, std::uint32_t root,
                                        std::wstring_view path, RegistryView view) {
    std::wstring text = ExportRegText(registry, root, path, view);
    if (text.empty()) {
        return {};
    }
    std::vector<std::uint8_t> bytes = {0xFF, 0xFE};
    std::vector<std::uint8_t> body = ToUtf16LeBytes(text);
    bytes.insert(bytes.end(), body.begin(), body.end());
    return bytes;
}

std::wstring ExportWholeRegistry(const Registry& registry) {
    std::wstring out(kHeader5);
    out += L"\r\n";
    for (const RootNameEntry& e : kRootNames) {
        AppendKey(out, registry.Root(e.root), e.full);
    }
    out += L"\r\n";
    return out;
}

std::wstring DecodeRegFileBytes(const std::vector<std::uint8_t>& bytes) {
    if (bytes.size() >= 2 && bytes[0] == 0xFF && bytes[1] == 0xFE) {
        return FromUtf16LeBytes(bytes.data() + 2, bytes.size() - 2);
    }
    if (bytes.size() >= 2 && bytes[0] == 0xFE && bytes[1] == 0xFF) {
        return FromUtf16BeBytes(bytes.data() + 2, bytes.size() - 2);
    }
    std::size_t start = 0;
    if (bytes.size() >= 3 && bytes[0] == 0xEF && bytes[1] == 0xBB && bytes[2] == 0xBF) {
        start = 3;
    }
    std::string_view view(reinterpret_cast<const char*>(bytes.data()) + start,
                          bytes.size() - start);
    if (start == 3 || ValidUtf8(bytes, start)) {
        return FromUtf8(view);
    }
    return FromCodepage1252(view);
}

ImportStats ImportRegText(Machine& machine, std::wstring_view text, bool honourRights,
                          RegistryView view) {
    std::vector<std::wstring_view> lines;
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t end = text.find(L'\n', start);
        if (end == std::wstring_view::npos) {
            end = text.size();
        }
        std::wstring_view line = text.substr(start, end - start);
        if (!line.empty() && line.back() == L'\r') {
            line.remove_suffix(1);
        }
        lines.push_back(line);
        start = end + 1;
    }
    Importer importer{machine, honourRights, view, false, ImportStats{}, 0, nullptr, 0};
    if (lines.empty()) {
        return importer.stats;
    }
    std::wstring_view header = lines[0];
    if (!header.empty() && header.front() == L'\xFEFF') {
        header.remove_prefix(1);  // a mark left in decoded text
    }
    header = Trim(header);
    if (header == kHeader4) {
        importer.regedit4 = true;
    } else if (header != kHeader5) {
        return importer.stats;  // not a registry script: the editor imports nothing
    }
    importer.stats.header = true;
    for (std::size_t i = 1; i < lines.size(); ++i) {
        importer.line = i;
        std::wstring_view line = Trim(lines[i]);
        if (line.empty() || line.front() == L';') {
            continue;
        }
        if (line.front() == L'[') {
            importer.KeyLine(line);
        } else if (line.front() == L'"' || line.front() == L'@') {
            importer.ValueLine(line, lines, i);
        } else {
            importer.Skip();
        }
    }
    return importer.stats;
}

}  // namespace bv::sim
