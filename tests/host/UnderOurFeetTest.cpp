// Changes under our feet: other programs delete and change keys and values while a scan lists
// and reads them. The scan must not crash, and must never report what it did not see.
#include <gtest/gtest.h>

#include <cctype>
#include <map>
#include <ostream>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "engine/Findings.h"
#include "engine/ScanRun.h"
#include "platform/Utf16.h"
#include "platform/sim/MachineDirectory.h"
#include "repair/Repair.h"
#include "tests/host/TestMachine.h"

namespace bv {
namespace {

using namespace platform;
using test::TestMachine;

struct Place {
    std::uint32_t root = 0;
    std::wstring path;  // key path below the root, no leading "\"
};

// Every key and value that existed at some moment: "root|FOLDED PATH" and that + "=" + name.
class Seen {
    // The registry reads "a\\b\\" as "a\\b": leading and trailing separators do not count.
    static std::wstring Id(std::uint32_t root, std::wstring_view path) {
        while (!path.empty() && path.front() == L'\\') {
            path.remove_prefix(1);
        }
        while (!path.empty() && path.back() == L'\\') {
            path.remove_suffix(1);
        }
        return std::to_wstring(root) + L"|" + sim::FoldCase(path);
    }

  public:
    void Key(std::uint32_t root, std::wstring_view path) { keys_.insert(Id(root, path)); }
    void Value(std::uint32_t root, std::wstring_view path, std::wstring_view name) {
        values_.insert(Id(root, path) + L"=" + sim::FoldCase(name));
    }
    void Tree(const sim::Key& key, std::uint32_t root, const std::wstring& path) {
        Key(root, path);
        for (const sim::Value& v : key.values) {
            Value(root, path, v.name);
        }
        for (const auto& sub : key.subkeys) {
            Tree(*sub, root, path.empty() ? sub->name : path + L"\\" + sub->name);
        }
    }
    void Registry(const sim::Registry& r) {
        for (std::uint32_t root : {kHkeyClassesRoot, kHkeyCurrentUser, kHkeyLocalMachine}) {
            Tree(r.Root(root), root, L"");
        }
    }
    bool HasKey(std::uint32_t root, std::wstring_view path) const {
        return keys_.count(Id(root, path)) > 0;
    }
    bool HasValue(std::uint32_t root, std::wstring_view path, std::wstring_view name) const {
        return values_.count(Id(root, path) + L"=" + sim::FoldCase(name)) > 0;
    }

  private:
    std::set<std::wstring> keys_, values_;
};

void Collect(const sim::Key& key, std::uint32_t root, const std::wstring& path,
             std::vector<Place>& out) {
    if (!path.empty()) {
        out.push_back({root, path});
    }
    for (const auto& sub : key.subkeys) {
        Collect(*sub, root, path.empty() ? sub->name : path + L"\\" + sub->name, out);
    }
}

enum class Mutation { DeleteKey, DeleteValue, ChangeValue, AddEntries, Any };

struct Case {
    const char* name;
    Mutation mutation;
    int percent;  // chance that a registry call is preceded by a change
};

constexpr Case kCases[] = {
    {"delete keys", Mutation::DeleteKey, 2},
    {"delete values", Mutation::DeleteValue, 5},
    {"change values", Mutation::ChangeValue, 5},
    {"add keys and values", Mutation::AddEntries, 5},
    {"all kinds, now and then", Mutation::Any, 1},
    {"all kinds, often", Mutation::Any, 20},
    {"all kinds, at every call", Mutation::Any, 100},
};
constexpr std::uint32_t kSeedsPerCase = 12;

void PrintTo(const Case& c, std::ostream* os) {
    *os << c.name;
}

class UnderOurFeet : public ::testing::TestWithParam<Case> {};

// The demo machine with a mutator on every registry call. Half the changes aim at what a
// quiet scan reports, so that they land between the listing and the read.
struct Mutator {
    Mutator(sim::Machine& m, const Case& c, std::uint32_t seed,
            const std::vector<std::wstring>& findings)
        : m_(m), c_(c), rng_(seed) {
        for (std::uint32_t root : {kHkeyClassesRoot, kHkeyCurrentUser, kHkeyLocalMachine}) {
            Collect(m.registry.Root(root), root, L"", all_);
        }
        for (const std::wstring& entry : findings) {
            IssueKeyParts parts;
            if (ParseIssueKey(entry, parts)) {
                targets_.push_back({parts.root, parts.keyPath.substr(1)});
            }
        }
        seen.Registry(m.registry);
    }

    void OnCall(const wchar_t* /*call*/) {
        ++calls;
        if (Int(1, 100) > c_.percent) {
            return;
        }
        ++changes;
        Mutation kind = c_.mutation;
        if (kind == Mutation::Any) {
            kind = static_cast<Mutation>(Int(0, 3));
        }
        const std::vector<Place>& pool = !targets_.empty() && Int(0, 1) ? targets_ : all_;
        const Place& p = pool[static_cast<std::size_t>(Int(0, static_cast<int>(pool.size()) - 1))];
        sim::Key* key = m_.registry.Find(p.root, p.path);
        switch (kind) {
            case Mutation::DeleteKey:
                m_.registry.DeleteKey(p.root, p.path);
                break;
            case Mutation::DeleteValue:
                if (key != nullptr && !key->values.empty()) {
                    const std::wstring name = key->values[Index(key->values.size())].name;
                    m_.registry.DeleteValue(p.root, p.path, name);
                }
                break;
            case Mutation::ChangeValue:
                if (key != nullptr && !key->values.empty()) {
                    sim::Value& v = key->values[Index(key->values.size())];
                    ChangeData(v);
                }
                break;
            default: {
                const std::wstring sub = p.path + L"\\New" + std::to_wstring(changes);
                const std::wstring name = Int(0, 3) == 0 ? L"" : L"n" + std::to_wstring(changes);
                m_.registry.SetString(p.root, sub, name, L"C:\\Gone\\new.exe");
                m_.registry.SetString(p.root, p.path, name, L"C:\\Gone\\other.exe");
                seen.Key(p.root, sub);
                seen.Value(p.root, sub, name);
                seen.Key(p.root, p.path);
                seen.Value(p.root, p.path, name);
                break;
            }
        }
    }

    Seen seen;
    int calls = 0;
    int changes = 0;

  private:
    int Int(int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng_); }
    std::size_t Index(std::size_t n) { return static_cast<std::size_t>(Int(0, int(n) - 1)); }

    // Sound data, broken data, or data of another type and size.
    void ChangeData(sim::Value& v) {
        switch (Int(0, 4)) {
            case 0: {
                v.type = kRegSz;
                std::vector<std::uint8_t> b = ToUtf16LeBytes(L"C:\\Windows\\notepad.exe");
                b.insert(b.end(), {0, 0});
                v.data = b;
                break;
            }
            case 1: {
                v.type = kRegSz;
                std::vector<std::uint8_t> b = ToUtf16LeBytes(L"C:\\Gone\\changed.exe");
                v.data = b;  // no terminating NUL
                break;
            }
            case 2:
                v.type = kRegDword;
                v.data = {1, 2, 3};
                break;
            case 3:
                v.data.clear();
                break;
            default:
                v.type = kRegBinary;
                v.data.assign(static_cast<std::size_t>(Int(0, 5000)), 0x41);
                break;
        }
    }

    sim::Machine& m_;
    Case c_;
    std::mt19937 rng_;
    std::vector<Place> all_, targets_;
};

bool LoadDemo(sim::Machine& m) {
    std::string error;
    const bool ok = sim::LoadMachineDirectory(BV_SOURCE_DIR "/tests/machines/demo", m, error);
    EXPECT_TRUE(ok) << error;
    return ok;
}

TEST_P(UnderOurFeet, ScanReportsOnlyWhatExisted) {
    const Case& c = GetParam();
    std::vector<std::wstring> quiet;
    {
        TestMachine t;
        ASSERT_TRUE(LoadDemo(t.machine));
        t.state.env = GatherEnvironmentSnapshot();
        Button1Click(t.state);
        quiet = t.state.results.IssueKeys;
        ASSERT_FALSE(quiet.empty());
    }
    int changes = 0, calls = 0;
    std::size_t findings = 0;
    for (std::uint32_t seed = 1; seed <= kSeedsPerCase; ++seed) {
        SCOPED_TRACE("seed " + std::to_string(seed));
        TestMachine t;
        ASSERT_TRUE(LoadDemo(t.machine));
        t.state.env = GatherEnvironmentSnapshot();
        Mutator mutator(t.machine, c, seed, quiet);
        t.machine.onRegistryCall = [&](const wchar_t* call) { mutator.OnCall(call); };
        Button1Click(t.state);
        t.machine.onRegistryCall = nullptr;

        const ScanResults& r = t.state.results;
        std::int32_t counted = 0;
        for (std::int32_t n : r.counters) {
            counted += n;
        }
        EXPECT_EQ(static_cast<std::size_t>(counted), r.IssueKeys.size());
        EXPECT_EQ(r.recorded.size(), r.IssueKeys.size());
        for (const std::wstring& entry : r.IssueKeys) {
            IssueKeyParts parts;
            ASSERT_TRUE(ParseIssueKey(entry, parts)) << ToUtf8(entry);
            EXPECT_TRUE(parts.isValue
                            ? mutator.seen.HasValue(parts.root, parts.keyPath, parts.valueName)
                            : mutator.seen.HasKey(parts.root, parts.keyPath))
                << "a finding for something that never existed: " << ToUtf8(entry);
        }
        changes += mutator.changes;
        calls += mutator.calls;
        findings += r.IssueKeys.size();

        // The fix runs over a registry that keeps changing too, without a crash.
        if (!r.IssueKeys.empty()) {
            t.machine.onRegistryCall = [&](const wchar_t* call) { mutator.OnCall(call); };
            t.window.answers = {true};
            Button2Click(t.state);
            t.machine.onRegistryCall = nullptr;
            EXPECT_FALSE(t.state.scanInProgress);
        }
        if (::testing::Test::HasFailure()) {
            break;
        }
    }
    EXPECT_GT(changes, 0);
    std::printf("under our feet (%s): %u scans, %d registry calls, %d changes, %zu findings\n",
                c.name, kSeedsPerCase, calls, changes, findings);
}

INSTANTIATE_TEST_SUITE_P(Mutations, UnderOurFeet, ::testing::ValuesIn(kCases),
                         [](const ::testing::TestParamInfo<Case>& info) {
                             std::string n;
                             for (const char* p = info.param.name; *p; ++p) {
                                 n += std::isalnum(static_cast<unsigned char>(*p)) ? *p : '_';
                             }
                             return n;
                         });

}  // namespace
}  // namespace bv
