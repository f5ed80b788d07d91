// Fuzz target: a whole scan and fix over a simulated registry built from the input (awkward
// names, every value type, wrong sizes, huge values, long names, deep chains, many values).
// The deletion script names only findings, each of which existed; the fix removes exactly
// what the script names; importing the undo file restores the registry as it was.
#include <fuzzer/FuzzedDataProvider.h>

#include <cstddef>
#include <cstdint>
#include <iterator>
#include <map>
#include <string>
#include <vector>

#include "engine/Findings.h"
#include "engine/ScanRun.h"
#include "fuzz/FuzzSupport.h"
#include "platform/Utf16.h"
#include "platform/sim/RegFile.h"
#include "repair/Repair.h"
#include "tests/host/RecordingWindow.h"

namespace {

using namespace bv::platform;
using Bytes = std::vector<std::uint8_t>;

struct Base {
    std::uint32_t root;
    const wchar_t* path;
};

// Where the scanners look, and a little beside it.
constexpr Base kBases[] = {
    {kHkeyLocalMachine, L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\App Paths"},
    {kHkeyCurrentUser,
     L"SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\AppCompatFlags\\Compatibility "
     L"Assistant\\Store"},
    {kHkeyLocalMachine, L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\SharedDLLs"},
    {kHkeyClassesRoot, L""},
    {kHkeyClassesRoot, L"CLSID"},
    {kHkeyClassesRoot, L"Interface"},
    {kHkeyClassesRoot, L"TypeLib"},
    {kHkeyClassesRoot, L"Applications"},
    {kHkeyCurrentUser, L"Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\FileExts"},
    {kHkeyCurrentUser, L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run"},
    {kHkeyLocalMachine, L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run"},
    {kHkeyLocalMachine, L"SOFTWARE\\Microsoft\\Shared Tools\\MSConfig\\startupreg"},
    {kHkeyLocalMachine, L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall"},
    {kHkeyCurrentUser, L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall"},
    {kHkeyLocalMachine, L"SOFTWARE\\Wow6432Node\\Microsoft\\Windows\\CurrentVersion\\Uninstall"},
    {kHkeyLocalMachine, L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Installer\\Folders"},
    {kHkeyLocalMachine, L"SOFTWARE\\Microsoft\\Windows\\HTML Help"},
    {kHkeyLocalMachine, L"SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Fonts"},
    {kHkeyCurrentUser, L"AppEvents\\Schemes\\Apps\\.Default"},
    {kHkeyCurrentUser, L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Explorer\\RunMRU"},
    {kHkeyCurrentUser, L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Explorer\\RecentDocs"},
    {kHkeyCurrentUser, L"SOFTWARE\\Microsoft\\Internet Explorer\\TypedURLs"},
    {kHkeyCurrentUser, L"SOFTWARE"},
    {kHkeyLocalMachine, L"SOFTWARE"},
};

constexpr const wchar_t* kFiles[] = {L"C:\\Program Files\\App\\app.exe",
                                     L"C:\\Windows\\system32\\ok.dll",
                                     L"C:\\Windows\\Media\\ding.wav",
                                     L"C:\\Gone\\gone.exe",
                                     L"C:\\Gone\\gone.dll",
                                     L"%SystemRoot%\\system32\\ok.dll",
                                     L"\"C:\\Program Files\\App\\app.exe\" /x",
                                     L"rundll32.exe C:\\Gone\\x.dll,Entry",
                                     L"C:\\Windows\\Fonts\\gone.ttf",
                                     L"C:\\Gone\\"};

constexpr std::uint32_t kTypes[] = {
    kRegNone, kRegSz,      kRegExpandSz, kRegBinary, kRegDword,  kRegDwordBigEndian,
    kRegLink, kRegMultiSz, kRegQword,    0x20,       0xFFFFFFFFu};

class Builder {
  public:
    Builder(bv::sim::Machine& m, FuzzedDataProvider& in) : m_(m), in_(in) {}

    void Build() {
        for (const wchar_t* f : {kFiles[0], kFiles[1], kFiles[2]}) {
            m_.AddFile(f);
        }
        for (int op = 0; op < 32 && in_.remaining_bytes() > 0; ++op) {
            const Base& base =
                kBases[in_.ConsumeIntegralInRange<std::size_t>(0, std::size(kBases) - 1)];
            std::wstring key = Join(base.path, KeyName());
            switch (in_.ConsumeIntegralInRange<int>(0, 7)) {
                case 0:
                    m_.registry.Create(base.root, key);
                    break;
                case 1:
                    m_.registry.SetValue(base.root, key, ValueName(), Type(), Data());
                    break;
                case 2:  // a chain up to the registry's 512 levels
                    for (int depth = in_.ConsumeIntegralInRange<int>(1, 500); depth > 0; --depth) {
                        key += L"\\d";
                    }
                    m_.registry.SetValue(base.root, key, ValueName(), Type(), Data());
                    break;
                case 3: {  // many values in one key (the simulated editor's value lookup
                           // is linear, so the undo import would be quadratic beyond this)
                    const int count = in_.ConsumeIntegralInRange<int>(1, 1000);
                    Bytes data = Data();
                    const std::uint32_t type = Type();
                    bv::sim::Key& k = m_.registry.Create(base.root, key);
                    if (!k.values.empty()) {
                        break;
                    }
                    for (int i = 0; i < count; ++i) {
                        k.values.push_back({L"v" + std::to_wstring(i), type, data});
                    }
                    break;
                }
                case 4:  // a huge value
                    m_.registry.SetValue(base.root, key, ValueName(), Type(),
                                         Bytes(in_.ConsumeIntegralInRange<std::size_t>(0, 1 << 16),
                                               in_.ConsumeIntegral<std::uint8_t>()));
                    break;
                case 5:  // names at the registry's limits
                    m_.registry.SetValue(base.root, Join(base.path, std::wstring(255, L'K')),
                                         std::wstring(16383, L'V'), Type(), Data());
                    break;
                case 6:  // a text naming a file, present or not
                    m_.registry.SetString(base.root, key, ValueName(), FileText(),
                                          in_.ConsumeBool() ? kRegSz : kRegExpandSz);
                    break;
                default:
                    m_.AddFile(FileText());
                    break;
            }
        }
    }

  private:
    static std::wstring Join(const wchar_t* base, const std::wstring& name) {
        return *base == L'\0' ? name : std::wstring(base) + L"\\" + name;
    }

    std::wstring Text(std::size_t maxBytes) {
        const std::string raw = in_.ConsumeRandomLengthString(maxBytes);
        return bv::fuzz::WideFromBytes(reinterpret_cast<const std::uint8_t*>(raw.data()),
                                       raw.size());
    }

    // A key name as RegCreateKeyEx accepts it: no "\", no NUL, 1 to 255 characters.
    std::wstring KeyName() {
        std::wstring name;
        for (wchar_t c : Text(64)) {
            if (c != L'\\' && c != L'\0') {
                name += c;
            }
        }
        if (name.empty()) {
            name = L"k";
        }
        return name.substr(0, 255);
    }

    // A value name: anything but NUL, possibly empty (the unnamed value).
    std::wstring ValueName() {
        std::wstring name;
        for (wchar_t c : Text(64)) {
            if (c != L'\0') {
                name += c;
            }
        }
        return name;
    }

    std::uint32_t Type() { return in_.PickValueInArray(kTypes); }

    // Raw data of any length: odd byte counts, strings without a NUL, DWORDs of 3 bytes.
    Bytes Data() {
        if (in_.ConsumeBool()) {
            Bytes b = bv::ToUtf16LeBytes(FileText());
            if (in_.ConsumeBool()) {
                b.insert(b.end(), {0, 0});
            }
            return b;
        }
        const std::string raw = in_.ConsumeRandomLengthString(64);
        return Bytes(raw.begin(), raw.end());
    }

    std::wstring FileText() {
        return in_.ConsumeBool() ? std::wstring(in_.PickValueInArray(kFiles)) : Text(80);
    }

    bv::sim::Machine& m_;
    FuzzedDataProvider& in_;
};

// ----- the registry as plain data -------------------------------------------------------------

struct KeyData {
    std::wstring path;
    std::map<std::wstring, bv::sim::Value> values;  // by folded name
};
using Model = std::map<std::wstring, KeyData>;  // by root and folded path

std::wstring ModelKey(std::uint32_t root, std::wstring_view path) {
    while (!path.empty() && path.front() == L'\\') {
        path.remove_prefix(1);
    }
    return std::to_wstring(root) + L"|" + bv::sim::FoldCase(path);
}

void Walk(const bv::sim::Key& key, std::uint32_t root, const std::wstring& path, Model& model) {
    KeyData& d = model[ModelKey(root, path)];
    d.path = path;
    for (const bv::sim::Value& v : key.values) {
        d.values[bv::sim::FoldCase(v.name)] = v;
    }
    for (const auto& sub : key.subkeys) {
        Walk(*sub, root, path.empty() ? sub->name : path + L"\\" + sub->name, model);
    }
}

Model Take(const bv::sim::Registry& r) {
    Model model;
    for (std::uint32_t root : {kHkeyClassesRoot, kHkeyCurrentUser, kHkeyLocalMachine}) {
        Walk(r.Root(root), root, L"", model);
    }
    return model;
}

// One finding's group of the deletion script.
struct Deletion {
    std::uint32_t root = 0;
    std::wstring path;
    bool isValue = false;
    std::wstring valueName;
};

std::wstring Unescape(std::wstring_view quoted) {
    std::wstring out;
    for (std::size_t i = 0; i < quoted.size(); ++i) {
        if (quoted[i] == L'\\' && i + 1 < quoted.size() &&
            (quoted[i + 1] == L'\\' || quoted[i + 1] == L'"')) {
            ++i;
        }
        out += quoted[i];
    }
    return out;
}

bool Header(std::wstring_view inner, std::uint32_t& root, std::wstring& path) {
    const std::size_t slash = inner.find(L'\\');
    path = slash == std::wstring_view::npos ? L"" : std::wstring(inner.substr(slash + 1));
    return bv::sim::RootFromName(inner.substr(0, slash), root) && !path.empty();
}

// The script body, strictly: "[-key]" or "[key]" + value line, each followed by an empty line.
std::vector<Deletion> ParseScript(const std::vector<std::wstring>& script) {
    BV_FUZZ_CHECK(script.size() >= 2 && script[0] == L"Windows Registry Editor Version 5.00" &&
                  script[1].empty());
    std::vector<Deletion> out;
    for (std::size_t i = 2; i < script.size();) {
        const std::wstring& line = script[i];
        Deletion d;
        BV_FUZZ_CHECK(line.size() > 2 && line.front() == L'[' && line.back() == L']', line);
        if (line[1] == L'-') {
            BV_FUZZ_CHECK(
                Header(std::wstring_view(line).substr(2, line.size() - 3), d.root, d.path), line);
            i += 1;
        } else {
            BV_FUZZ_CHECK(
                Header(std::wstring_view(line).substr(1, line.size() - 2), d.root, d.path), line);
            BV_FUZZ_CHECK(i + 1 < script.size());
            const std::wstring& v = script[i + 1];
            d.isValue = true;
            if (v != L"@=-") {
                BV_FUZZ_CHECK(
                    v.size() >= 4 && v.front() == L'"' && v.compare(v.size() - 3, 3, L"\"=-") == 0,
                    v);
                d.valueName = Unescape(std::wstring_view(v).substr(1, v.size() - 4));
            }
            i += 2;
        }
        BV_FUZZ_CHECK(i < script.size() && script[i].empty());
        ++i;
        out.push_back(std::move(d));
    }
    return out;
}

// What the editor does with the script.
void Apply(Model& model, const std::vector<Deletion>& deletions) {
    for (const Deletion& d : deletions) {
        const std::wstring k = ModelKey(d.root, d.path);
        if (!d.isValue) {
            for (auto it = model.begin(); it != model.end();) {
                const bool under = it->first == k || it->first.rfind(k + L"\\", 0) == 0;
                it = under ? model.erase(it) : std::next(it);
            }
            continue;
        }
        auto it = model.find(k);
        BV_FUZZ_CHECK(it != model.end(), d.path);  // a value finding's key exists
        it->second.values.erase(bv::sim::FoldCase(d.valueName));
    }
}

bool SameModel(const Model& a, const Model& b) {
    if (a.size() != b.size()) {
        return false;
    }
    for (auto i = a.begin(), j = b.begin(); i != a.end(); ++i, ++j) {
        if (i->first != j->first || i->second.path != j->second.path ||
            i->second.values.size() != j->second.values.size()) {
            return false;
        }
        for (auto v = i->second.values.begin(), w = j->second.values.begin();
             v != i->second.values.end(); ++v, ++w) {
            if (v->first != w->first || v->second.name != w->second.name ||
                v->second.type != w->second.type || v->second.data != w->second.data) {
                return false;
            }
        }
    }
    return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzedDataProvider in(data, size);
    bv::sim::Machine machine;
    bv::sim::ScopedMachine installed(machine);
    Builder(machine, in).Build();

    bv::test::RecordingWindow window;
    bv::RunState state(window);
    state.env = bv::GatherEnvironmentSnapshot();
    bv::Button1Click(state);

    // The script has one group per finding, naming exactly the finding, which exists.
    const Model before = Take(machine.registry);
    const std::vector<Deletion> deletions = ParseScript(state.results.FixScript);
    BV_FUZZ_CHECK(deletions.size() == state.results.IssueKeys.size());
    for (std::size_t i = 0; i < deletions.size(); ++i) {
        const Deletion& d = deletions[i];
        bv::IssueKeyParts parts;
        BV_FUZZ_CHECK(bv::ParseIssueKey(state.results.IssueKeys[i], parts));
        BV_FUZZ_CHECK(parts.root == d.root && parts.isValue == d.isValue,
                      state.results.IssueKeys[i]);
        BV_FUZZ_CHECK(bv::sim::EqualNoCase(parts.keyPath.substr(1), d.path),
                      state.results.IssueKeys[i]);
        BV_FUZZ_CHECK(!d.isValue || bv::sim::EqualNoCase(parts.valueName, d.valueName),
                      state.results.IssueKeys[i]);
        auto it = before.find(ModelKey(d.root, d.path));
        BV_FUZZ_CHECK(it != before.end(), d.path);
        BV_FUZZ_CHECK(!d.isValue || it->second.values.count(bv::sim::FoldCase(d.valueName)) > 0,
                      d.valueName);
    }
    if (deletions.empty()) {
        return 0;
    }

    // The fix removes exactly what the script names.
    window.answers = {true};
    bv::Button2Click(state);
    Model expected = before;
    Apply(expected, deletions);
    BV_FUZZ_CHECK(SameModel(expected, Take(machine.registry)));

    // Importing the undo file restores every removed key and value.
    const Bytes* undo = nullptr;
    for (const auto& [upper, entry] : machine.Files()) {
        if (!entry.folder && upper.find(L"BRIMVALE_UNDO_") != std::wstring::npos) {
            undo = &entry.contents;
        }
    }
    BV_FUZZ_CHECK(undo != nullptr);
    const bv::sim::ImportStats stats =
        bv::sim::ImportRegText(machine, bv::sim::DecodeRegFileBytes(*undo));
    BV_FUZZ_CHECK(stats.linesSkipped == 0);
    BV_FUZZ_CHECK(SameModel(before, Take(machine.registry)));
    return 0;
}
