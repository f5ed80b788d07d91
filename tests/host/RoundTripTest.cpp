// Scan, fix and undo on seeded random machines: the fix removes exactly what the deletion
// script names, and importing the undo file brings every removed key and value back.
#include <gtest/gtest.h>

#include <array>
#include <chrono>
#include <cstdio>
#include <cstdint>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "engine/Findings.h"
#include "engine/ScanRun.h"
#include "platform/Utf16.h"
#include "platform/sim/RegFile.h"
#include "repair/Repair.h"
#include "tests/host/TestMachine.h"

namespace bv {
namespace {

using namespace platform;
using test::TestMachine;
using Bytes = std::vector<std::uint8_t>;

// ----- the generator --------------------------------------------------------------------------

class Generator {
  public:
    Generator(sim::Machine& m, std::uint32_t seed) : m_(m), rng_(seed) {}

    void Build() {
        // Programs that exist, so that some entries are sound and must survive.
        for (const wchar_t* f : kPresent) {
            m_.AddFile(f);
        }
        const int scale = Int(1, 4);
        for (int i = 0; i < scale; ++i) {
            AppPath();
            CompatibilityStore();
            Application();
            RunEntry(i % 2 ? kHkeyCurrentUser : kHkeyLocalMachine);
            SharedDll();
            Mru();
            SoundEvent();
            StartupReg();
            Uninstall();
            ClassKeys();
            InterfacesAndHelp();
            Noise(kHkeyCurrentUser, L"SOFTWARE\\Noise" + std::to_wstring(i));
            Noise(kHkeyLocalMachine, L"SOFTWARE\\Vendor" + std::to_wstring(i));
        }
    }

  private:
    static constexpr const wchar_t* kPresent[] = {L"C:\\Program Files\\App\\app.exe",
                                                  L"C:\\Windows\\system32\\ok.dll",
                                                  L"C:\\Windows\\Media\\ding.wav"};

    int Int(int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng_); }
    bool Chance(int percent) { return Int(1, 100) <= percent; }

    // Awkward names: quotes, brackets, "=", "@", commas, non-Latin letters; backslashes only
    // where the registry allows them (value names).
    std::wstring Name(bool valueName) {
        static const wchar_t* const kPieces[] = {
            L"a", L"Z", L"7", L"x y", L"\"", L"[", L"]", L"=", L"@", L",", L";",
            L"%", L"é", L"Ж", L"中",  L"ß",  L"-", L".", L"'", L"{", L"}", L"Prog"};
        std::wstring s;
        const int n = Int(1, 6);
        for (int i = 0; i < n; ++i) {
            if (valueName && Chance(10)) {
                s += L'\\';
            }
            s += kPieces[Int(0, static_cast<int>(std::size(kPieces)) - 1)];
        }
        return s + std::to_wstring(counter_++);  // unique, and never blank at either end
    }

    std::wstring Text(int maxLen) {
        static const wchar_t kChars[] = L"abcXYZ019 \\\"=[]@,;%éЖ中:.";
        std::wstring s;
        const int n = Int(0, maxLen);
        for (int i = 0; i < n; ++i) {
            s += kChars[Int(0, static_cast<int>(std::size(kChars)) - 2)];
        }
        return s;
    }

    Bytes Random(int maxLen) {
        Bytes b(static_cast<std::size_t>(Int(0, maxLen)));
        for (auto& x : b) {
            x = static_cast<std::uint8_t>(Int(0, 255));
        }
        return b;
    }

    static Bytes Utf16z(std::wstring_view text) {
        Bytes b = ToUtf16LeBytes(text);
        b.push_back(0);
        b.push_back(0);
        return b;
    }

    std::wstring MissingFile(const wchar_t* ext) {
        return L"C:\\Gone" + std::to_wstring(counter_++) + L"\\" + L"file" + ext;
    }

    // A value of any type, with empty and long data.
    void AnyValue(std::uint32_t root, const std::wstring& path, const std::wstring& name) {
        switch (Int(0, 9)) {
            case 0:
                m_.registry.SetValue(root, path, name, kRegSz, Utf16z(Text(Chance(20) ? 300 : 12)));
                break;
            case 1:
                m_.registry.SetValue(root, path, name, kRegExpandSz,
                                     Utf16z(L"%SystemRoot%\\" + Text(8)));
                break;
            case 2:
                m_.registry.SetValue(root, path, name, kRegBinary, Random(Chance(30) ? 200 : 6));
                break;
            case 3:
                m_.registry.SetValue(root, path, name, kRegDword,
                                     Random(0).empty() ? Bytes{1, 2, 3, 4} : Bytes{});
                break;
            case 4: {
                Bytes b = ToUtf16LeBytes(Text(6));
                b.insert(b.end(), {0, 0});
                Bytes c = ToUtf16LeBytes(Text(6));
                b.insert(b.end(), c.begin(), c.end());
                b.insert(b.end(), {0, 0, 0, 0});
                m_.registry.SetValue(root, path, name, kRegMultiSz, b);
                break;
            }
            case 5:
                m_.registry.SetValue(root, path, name, kRegQword,
                                     Random(0).empty() ? Bytes{1, 2, 3, 4, 5, 6, 7, 8} : Bytes{});
                break;
            case 6:
                m_.registry.SetValue(root, path, name, kRegNone, Random(3));
                break;
            case 7:
                m_.registry.SetValue(root, path, name, kRegDwordBigEndian, {0, 0, 1, 2});
                break;
            case 8:
                // A string the editor cannot write as a quoted string.
                m_.registry.SetValue(root, path, name, kRegSz, Random(5));
                break;
            default:
                m_.registry.SetValue(root, path, name, 0x20, Random(4));
                break;
        }
    }

    // Values of every kind under a key, and maybe a subkey with more.
    void Fill(std::uint32_t root, const std::wstring& path, int depth) {
        const int n = Int(0, 3);
        for (int i = 0; i < n; ++i) {
            AnyValue(root, path, Name(true));
        }
        if (depth > 0 && Chance(40)) {
            const std::wstring sub = path + L"\\" + Name(false);
            m_.registry.Create(root, sub);
            Fill(root, sub, depth - 1);
        }
    }

    std::wstring ProgramText() {
        return Chance(60) ? L"\"" + MissingFile(L".exe") + L"\" /x"
                          : L"C:\\Program Files\\App\\app.exe";
    }

    void AppPath() {
        const std::wstring key =
            L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\App Paths\\" + Name(false) + L".exe";
        m_.registry.SetString(kHkeyLocalMachine, key, L"", ProgramText());
        Fill(kHkeyLocalMachine, key, 2);
    }

    void CompatibilityStore() {
        const std::wstring key =
            L"SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\AppCompatFlags\\Compatibility "
            L"Assistant\\Store";
        const int n = Int(1, 3);
        for (int i = 0; i < n; ++i) {
            std::wstring name;
            switch (Int(0, 3)) {
                case 0:
                    name = MissingFile(L".exe") + Name(true);
                    break;
                case 1:
                    name = L"C:\\Program Files\\App\\app.exe";
                    break;
                case 2:
                    name = L"\\\\server\\share\\" + Name(true);
                    break;
                default:
                    name = Name(true);
                    break;
            }
            AnyValue(kHkeyCurrentUser, key, name);
        }
    }

    void Application() {
        const std::wstring key = L"Applications\\" + Name(false) + L".exe";
        for (const wchar_t* verb : {L"open", L"edit"}) {
            if (Chance(60)) {
                const std::wstring command = key + L"\\shell\\" + verb + L"\\command";
                m_.registry.SetString(kHkeyClassesRoot, command, L"", ProgramText() + L" \"%1\"");
                Fill(kHkeyClassesRoot, command, 1);
            }
        }
    }

    void RunEntry(std::uint32_t root) {
        m_.registry.SetString(root, L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run",
                              Name(true), ProgramText());
    }

    void SharedDll() {
        m_.registry.SetDword(
            kHkeyLocalMachine, L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\SharedDLLs",
            Chance(70) ? MissingFile(L".dll") : L"C:\\Windows\\system32\\ok.dll", 1);
    }

    void Mru() {
        static const wchar_t* const kLists[] = {
            L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Explorer\\RunMRU",
            L"SOFTWARE\\Microsoft\\Internet Explorer\\TypedURLs",
            L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Explorer\\RecentDocs\\.txt"};
        const std::wstring key = kLists[Int(0, 2)];
        AnyValue(kHkeyCurrentUser, key, Chance(15) ? std::wstring() : Name(true));
    }

    void SoundEvent() {
        const std::wstring key =
            L"AppEvents\\Schemes\\Apps\\.Default\\" + Name(false) + L"\\.Current";
        m_.registry.SetString(kHkeyCurrentUser, key, L"",
                              Chance(60) ? MissingFile(L".wav") : L"C:\\Windows\\Media\\ding.wav");
    }

    void StartupReg() {
        const std::wstring key =
            L"SOFTWARE\\Microsoft\\Shared Tools\\MSConfig\\startupreg\\" + Name(false);
        m_.registry.SetString(kHkeyLocalMachine, key, L"command", ProgramText());
        Fill(kHkeyLocalMachine, key, 1);
    }

    void Uninstall() {
        const std::wstring key =
            L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\" + Name(false);
        m_.registry.SetString(kHkeyLocalMachine, key, L"DisplayName", Name(true));
        if (Chance(50)) {
            m_.registry.SetString(kHkeyLocalMachine, key, L"UninstallString", ProgramText());
        }
    }

    void ClassKeys() {
        const std::wstring ext = L"." + Name(false);
        if (Chance(50)) {
            m_.registry.Create(kHkeyClassesRoot, ext);  // holds nothing at all
        } else {
            m_.registry.SetString(kHkeyClassesRoot, ext, L"",
                                  L"Missing.Class" + std::to_wstring(counter_++));
        }
        m_.registry.Create(
            kHkeyCurrentUser,
            L"Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\FileExts\\" + ext);
        const std::wstring clsid = L"CLSID\\{0000" + std::to_wstring(counter_++) + L"-0000}";
        m_.registry.SetString(kHkeyClassesRoot, clsid + L"\\InprocServer32", L"",
                              Chance(50) ? MissingFile(L".dll") : L"C:\\Windows\\system32\\ok.dll");
    }

    void InterfacesAndHelp() {
        const std::wstring id = L"{1111" + std::to_wstring(counter_++) + L"-0000}";
        m_.registry.SetString(kHkeyClassesRoot, L"Interface\\" + id, L"", Name(true));
        m_.registry.SetString(kHkeyClassesRoot, L"Interface\\" + id + L"\\TypeLib", L"",
                              L"{2222" + std::to_wstring(counter_++) + L"-0000}");
        m_.registry.SetString(kHkeyClassesRoot, L"Interface\\" + id + L"\\ProxyStubClsid32", L"",
                              L"{3333" + std::to_wstring(counter_++) + L"-0000}");
        const std::wstring lib = L"TypeLib\\{4444" + std::to_wstring(counter_++) + L"-0000}\\1.0";
        m_.registry.SetString(kHkeyClassesRoot, lib + L"\\0\\win32", L"", MissingFile(L".tlb"));
        m_.registry.SetString(kHkeyLocalMachine, L"SOFTWARE\\Microsoft\\Windows\\HTML Help",
                              Name(true) + L".chm", L"C:\\Gone" + std::to_wstring(counter_++));
        m_.registry.SetString(
            kHkeyLocalMachine, L"SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Fonts",
            Name(true) + L" (TrueType)", L"gone" + std::to_wstring(counter_++) + L".ttf");
    }

    void Noise(std::uint32_t root, const std::wstring& key) {
        m_.registry.Create(root, key);
        Fill(root, key, 3);
        if (Chance(50)) {
            m_.registry.SetString(root, key, Name(true), MissingFile(L".exe"));
        }
    }

    sim::Machine& m_;
    std::mt19937 rng_;
    int counter_ = 0;
};

// ----- the registry as plain data -------------------------------------------------------------

struct KeyData {
    std::wstring path;                          // as the registry spells it
    std::map<std::wstring, sim::Value> values;  // by folded name
};
using Model = std::map<std::wstring, KeyData>;  // by root and folded path

std::wstring ModelKey(std::uint32_t root, std::wstring_view path) {
    std::wstring p(path);
    while (!p.empty() && p.front() == L'\\') {
        p.erase(p.begin());
    }
    while (!p.empty() && p.back() == L'\\') {
        p.pop_back();
    }
    return std::to_wstring(root) + L"|" + sim::FoldCase(p);
}

void Walk(const sim::Key& key, std::uint32_t root, const std::wstring& path, Model& model) {
    KeyData& d = model[ModelKey(root, path)];
    d.path = path;
    for (const sim::Value& v : key.values) {
        d.values[sim::FoldCase(v.name)] = v;
    }
    for (const auto& sub : key.subkeys) {
        Walk(*sub, root, path.empty() ? sub->name : path + L"\\" + sub->name, model);
    }
}

Model Take(const sim::Registry& r) {
    Model model;
    for (std::uint32_t root : {kHkeyClassesRoot, kHkeyCurrentUser, kHkeyLocalMachine}) {
        Walk(r.Root(root), root, L"", model);
    }
    return model;
}

std::wstring Unescape(std::wstring_view quoted) {
    std::wstring out;
    for (std::size_t i = 0; i < quoted.size(); ++i) {
        if (quoted[i] == L'\\' && i + 1 < quoted.size()) {
            ++i;
        }
        out += quoted[i];
    }
    return out;
}

bool SplitHeader(std::wstring_view inner, std::uint32_t& root, std::wstring& path) {
    const std::size_t slash = inner.find(L'\\');
    path = slash == std::wstring_view::npos ? L"" : std::wstring(inner.substr(slash + 1));
    return sim::RootFromName(inner.substr(0, slash), root);
}

// What the editor makes of the deletion script: a "[-key]" removes the subtree, a "[key]"
// header opens the key, creating it (and its parents) when missing, a "=-" line removes a value.
void ApplyScript(Model& model, const std::vector<std::wstring>& script) {
    KeyData* current = nullptr;
    for (const std::wstring& line : script) {
        if (line.size() > 3 && line.rfind(L"[-", 0) == 0 && line.back() == L']') {
            std::uint32_t root = 0;
            std::wstring path;
            ASSERT_TRUE(
                SplitHeader(std::wstring_view(line).substr(2, line.size() - 3), root, path));
            const std::wstring k = ModelKey(root, path);
            for (auto it = model.begin(); it != model.end();) {
                const bool under = it->first == k || it->first.rfind(k + L"\\", 0) == 0;
                it = under ? model.erase(it) : std::next(it);
            }
            current = nullptr;
        } else if (line.size() > 2 && line.front() == L'[' && line.back() == L']') {
            std::uint32_t root = 0;
            std::wstring path;
            ASSERT_TRUE(
                SplitHeader(std::wstring_view(line).substr(1, line.size() - 2), root, path));
            std::wstring partial;
            std::size_t start = 0;
            while (true) {
                const std::size_t slash = path.find(L'\\', start);
                partial = path.substr(0, slash);
                KeyData& d = model[ModelKey(root, partial)];
                if (d.path.empty()) {
                    d.path = partial;
                }
                if (slash == std::wstring::npos) {
                    current = &d;
                    break;
                }
                start = slash + 1;
            }
        } else if (current != nullptr && line == L"@=-") {
            current->values.erase(L"");
        } else if (current != nullptr && line.size() >= 4 && line.front() == L'"') {
            ASSERT_EQ(line.substr(line.size() - 3), L"\"=-");
            current->values.erase(
                sim::FoldCase(Unescape(std::wstring_view(line).substr(1, line.size() - 4))));
        }
    }
}

std::string Describe(const Model& want, const Model& got) {
    std::string out;
    for (const auto& [k, d] : want) {
        auto it = got.find(k);
        if (it == got.end()) {
            out += "  missing key " + ToUtf8(k) + "\n";
            continue;
        }
        for (const auto& [n, v] : d.values) {
            auto jt = it->second.values.find(n);
            if (jt == it->second.values.end()) {
                out += "  missing value " + ToUtf8(k) + " : " + ToUtf8(v.name) + "\n";
            } else if (jt->second.type != v.type || jt->second.data != v.data ||
                       jt->second.name != v.name) {
                out += "  changed value " + ToUtf8(k) + " : " + ToUtf8(v.name) + "\n";
            }
        }
        for (const auto& [n, v] : it->second.values) {
            if (d.values.count(n) == 0) {
                out += "  extra value " + ToUtf8(k) + " : " + ToUtf8(v.name) + "\n";
            }
        }
        if (it->second.path != d.path) {
            out += "  renamed key " + ToUtf8(d.path) + " -> " + ToUtf8(it->second.path) + "\n";
        }
    }
    for (const auto& [k, d] : got) {
        if (want.count(k) == 0) {
            out += "  extra key " + ToUtf8(k) + "\n";
        }
    }
    return out;
}

// ----- the round trip -------------------------------------------------------------------------

struct Outcome {
    std::size_t findings = 0;
    std::array<std::int32_t, kCategoryCount> perCategory{};
    bool undoWritten = false;
};

// Runs one seed; every failure message carries the seed.
Outcome RoundTrip(std::uint32_t seed) {
    SCOPED_TRACE("seed " + std::to_string(seed));
    Outcome outcome;
    TestMachine t;
    Generator(t.machine, seed).Build();
    RunState& s = t.state;
    s.env = GatherEnvironmentSnapshot();

    Button1Click(s);  // the scan
    outcome.findings = s.results.IssueKeys.size();
    outcome.perCategory = s.results.counters;
    if (outcome.findings == 0) {
        return outcome;
    }
    const Model before = Take(t.machine.registry);
    t.window.answers = {true};
    Button2Click(s);
    const Model after = Take(t.machine.registry);

    // Exactly what the script names is gone; nothing else changed.
    Model expected = before;
    ApplyScript(expected, s.results.FixScript);
    const std::string fixDiff = Describe(expected, after);
    EXPECT_TRUE(fixDiff.empty()) << "after the fix:\n" << fixDiff;

    // The exclusions are the findings still present, tested as the re-test tests them.
    std::vector<std::wstring> stillPresent;
    for (const std::wstring& entry : s.results.IssueKeys) {
        IssueKeyParts p;
        if (!ParseIssueKey(entry, p)) {
            continue;
        }
        auto it = after.find(ModelKey(p.root, p.keyPath));
        const bool present =
            it != after.end() &&
            (!p.isValue || it->second.values.count(sim::FoldCase(p.valueName)) > 0);
        if (present) {
            stillPresent.push_back(entry);
        }
    }
    EXPECT_EQ(s.results.ExclusionList, stillPresent);
    EXPECT_EQ(t.window.infoText, stillPresent.empty()
                                     ? std::wstring(L"Errors were fixed")
                                     : L"Summary: " +
                                           std::to_wstring(outcome.findings - stillPresent.size()) +
                                           L" errors fixed");

    // Importing the undo file puts back every removed key and value, with type and data.
    const std::vector<std::uint8_t>* undo = nullptr;
    for (const auto& [upper, entry] : t.machine.Files()) {
        if (!entry.folder && upper.find(L"BRIMVALE_UNDO_") != std::wstring::npos) {
            undo = &entry.contents;
        }
    }
    const bool removedSomething = Describe(before, after).size() > 0;
    EXPECT_EQ(undo != nullptr, removedSomething);
    if (undo != nullptr) {
        outcome.undoWritten = true;
        const sim::ImportStats stats =
            sim::ImportRegText(t.machine, sim::DecodeRegFileBytes(*undo));
        EXPECT_EQ(stats.linesSkipped, 0);
        const std::string undoDiff = Describe(before, Take(t.machine.registry));
        EXPECT_TRUE(undoDiff.empty()) << "after importing the undo file:\n" << undoDiff;
    }
    return outcome;
}

TEST(RoundTrip, SeededRandomMachines) {
    constexpr std::uint32_t kSeeds = 300;
    const auto start = std::chrono::steady_clock::now();
    std::size_t findings = 0, undoFiles = 0;
    std::array<std::int32_t, kCategoryCount> perCategory{};
    for (std::uint32_t seed = 1; seed <= kSeeds; ++seed) {
        const Outcome o = RoundTrip(seed);
        findings += o.findings;
        undoFiles += o.undoWritten ? 1 : 0;
        for (int c = 0; c < kCategoryCount; ++c) {
            perCategory[c] += o.perCategory[c];
        }
        if (::testing::Test::HasFailure()) {
            ADD_FAILURE() << "round trip failed for seed " << seed;
            break;
        }
    }
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    std::printf("round trip: %u seeds, %zu findings, %zu undo files, %.1f s\n", kSeeds, findings,
                undoFiles, seconds);
    for (int c = 0; c < kCategoryCount; ++c) {
        std::printf("  %-20s %d\n", ToUtf8(CategoryCaption(static_cast<IssueCategory>(c))).c_str(),
                    perCategory[c]);
    }
    // The generator must give the scanners something to find.
    EXPECT_GT(findings, kSeeds);
}

}  // namespace
}  // namespace bv
