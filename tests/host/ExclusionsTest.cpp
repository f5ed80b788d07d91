// Exclusions: the re-test after a fix, the "more than two" rule, the file's encodings and
// "Remove exclusions".
#include <gtest/gtest.h>

#include "engine/Findings.h"
#include "platform/Utf16.h"
#include "repair/Repair.h"
#include "sysaccess/TextFile.h"
#include "tests/host/TestMachine.h"

namespace bv {
namespace {

using test::TestMachine;
using Lines = std::vector<std::wstring>;

const std::wstring kAppData = L"C:\\Users\\User\\AppData\\Roaming\\Brimvale\\";
const std::wstring kFile = kAppData + L"Exclusions.txt";

void KeyFinding(RunState& s, std::uint32_t root, const std::wstring& path) {
    const std::wstring text = HiveTag(root) + path;
    ASSERT_TRUE(
        RecordIssue(s, IssueCategory::SoftwareLocations, text, L"", text, KeyDeletion(root, path)));
}

void ValueFinding(RunState& s, std::uint32_t root, const std::wstring& path,
                  const std::wstring& name) {
    const std::wstring key = HiveTag(root) + path;
    ASSERT_TRUE(RecordIssue(s, IssueCategory::TemporaryValues, key, name, key + L"=" + name,
                            ValueDeletion(root, path, name)));
}

Lines FileLines(const sim::Machine& m, TextEncoding* encoding = nullptr) {
    const auto* bytes = m.FileContents(kFile);
    return bytes == nullptr ? Lines{} : DecodeTextLines(*bytes, encoding);
}

// Findings of which `present` still exist: keys Kn under HKCU\Software\Left.
struct Fixture {
    TestMachine t;
    RunState* s = nullptr;
    void Build(int present, int gone) {
        for (int i = 0; i < present; ++i) {
            t.machine.registry.Create(kHkeyCurrentUser, L"Software\\Left\\K" + std::to_wstring(i));
        }
        s = &t.Ready();
        for (int i = 0; i < present + gone; ++i) {
            KeyFinding(*s, kHkeyCurrentUser, L"\\Software\\Left\\K" + std::to_wstring(i));
        }
        s->results.ErrorTotal = present + gone;
    }
};

TEST(UpdateExclusionsTest, MoreThanTwoLeftReplaceTheFileInScanOrder) {
    struct Case {
        const char* what;
        int present;
        bool oldFile;
        bool rewritten;
    } cases[] = {
        {"three left, old file", 3, true, true}, {"three left, no file", 3, false, true},
        {"two left, old file", 2, true, false},  {"two left, no file", 2, false, false},
        {"none left", 0, true, false},
    };
    for (const Case& c : cases) {
        Fixture f;
        if (c.oldFile) {
            f.t.machine.AddFile(kFile, {'o', 'l', 'd', '\r', '\n'});
        }
        f.Build(c.present, 2);
        UpdateExclusions(*f.s);
        Lines left;
        for (int i = 0; i < c.present; ++i) {
            left.push_back(L"[HKCU]\\Software\\Left\\K" + std::to_wstring(i));
        }
        EXPECT_EQ(f.s->results.ExclusionList, left) << c.what;
        if (c.rewritten) {
            EXPECT_EQ(FileLines(f.t.machine), left) << c.what;
        } else if (c.oldFile) {
            EXPECT_EQ(FileLines(f.t.machine), Lines{L"old"}) << c.what;
        } else {
            EXPECT_FALSE(f.t.machine.IsFile(kFile)) << c.what;
        }
    }
}

TEST(UpdateExclusionsTest, NextScanPassesOverTheExclusionsInAnyCase) {
    Fixture f;
    f.Build(3, 0);
    UpdateExclusions(*f.s);
    ResetScanResults(*f.s);
    ASSERT_EQ(f.s->results.ExclusionList.size(), 3u);
    EXPECT_FALSE(RecordIssue(*f.s, IssueCategory::SoftwareLocations, L"x", L"",
                             L"[hkcu]\\SOFTWARE\\left\\k1",
                             KeyDeletion(kHkeyCurrentUser, L"\\Software\\Left\\K1")));
}

TEST(UpdateExclusionsTest, ValueFindingsAndSplitAtTheFirstEquals) {
    TestMachine t;
    auto& r = t.machine.registry;
    r.SetString(kHkeyCurrentUser, L"Software\\V", L"kept", L"x");
    r.SetString(kHkeyCurrentUser, L"Software\\V", L"", L"default");
    r.Create(kHkeyCurrentUser, L"Software\\Key=Name");
    RunState& s = t.Ready();
    ValueFinding(s, kHkeyCurrentUser, L"\\Software\\V", L"kept");
    ValueFinding(s, kHkeyCurrentUser, L"\\Software\\V", L"");
    ValueFinding(s, kHkeyCurrentUser, L"\\Software\\V", L"gone");
    // An entry is split at its first "=": this one is tested as the value "Name" of
    // "Software\Key" (scans never record such a key path).
    s.results.IssueKeys.push_back(L"[HKCU]\\Software\\Key=Name");
    // A value whose key was deleted: the test does not bring the key back.
    ValueFinding(s, kHkeyCurrentUser, L"\\Software\\Deleted", L"v");
    s.scanInProgress = true;
    UpdateExclusions(s);
    EXPECT_EQ(s.results.ExclusionList,
              (Lines{L"[HKCU]\\Software\\V=kept", L"[HKCU]\\Software\\V="}));
    EXPECT_EQ(r.Find(kHkeyCurrentUser, L"Software\\Deleted"), nullptr);
    EXPECT_EQ(r.Find(kHkeyCurrentUser, L"Software\\Key"), nullptr);
}

TEST(UpdateExclusionsTest, GaugeFromZeroAndNotFilled) {
    Fixture f;
    f.Build(0, 3);
    UpdateExclusions(*f.s);
    EXPECT_EQ(f.t.window.gaugeHistory, std::vector<int>{0});
    EXPECT_EQ(f.t.window.pumps, 3);
}

TEST(UpdateExclusionsTest, StopKeepsThePartialListUnderTheRule) {
    struct Case {
        int stopAtPump;
        std::size_t listed;
        bool written;
    } cases[] = {{5, 4, true}, {4, 3, true}, {3, 2, false}};
    for (const Case& c : cases) {
        Fixture f;
        f.Build(6, 0);
        f.t.window.onPump = [&](int pump) {
            if (pump == c.stopAtPump) {
                f.s->scanInProgress = false;
            }
        };
        UpdateExclusions(*f.s);
        EXPECT_EQ(f.s->results.ExclusionList.size(), c.listed);
        EXPECT_EQ(FileLines(f.t.machine).size(), c.written ? c.listed : 0u);
    }
}

TEST(UpdateExclusionsTest, WrittenBackInTheEncodingLastRead) {
    struct Case {
        const char* what;
        TextEncoding read;
        std::vector<std::uint8_t> bytes;
        TextEncoding written;
    } cases[] = {
        {"ANSI", TextEncoding::Ansi, {'a', 0xE9, '\r', '\n'}, TextEncoding::Ansi},
        {"UTF-8 with mark",
         TextEncoding::Utf8Bom,
         {0xEF, 0xBB, 0xBF, 'a', '\r', '\n'},
         TextEncoding::Utf8Bom},
        {"UTF-16LE with mark",
         TextEncoding::Utf16LeBom,
         {0xFF, 0xFE, 'a', 0, '\r', 0, '\n', 0},
         TextEncoding::Utf16LeBom},
        {"UTF-16BE with mark",
         TextEncoding::Utf16BeBom,
         {0xFE, 0xFF, 0, 'a', 0, '\r', 0, '\n'},
         TextEncoding::Utf16BeBom},
    };
    for (const Case& c : cases) {
        Fixture f;
        f.t.machine.AddFile(kFile, c.bytes);
        f.Build(3, 0);  // the scan start read the file
        EXPECT_EQ(f.s->exclusionsEncoding, c.read) << c.what;
        UpdateExclusions(*f.s);
        TextEncoding encoding{};
        EXPECT_EQ(FileLines(f.t.machine, &encoding).size(), 3u) << c.what;
        EXPECT_EQ(encoding, c.written) << c.what;
    }
    // Without a file the list is written in ANSI; a name the code page cannot hold switches
    // the file to UTF-16LE with a mark instead of losing it.
    for (const bool foreign : {false, true}) {
        TestMachine t;
        const std::wstring name = foreign ? L"Программа" : L"Café";
        for (int i = 0; i < 3; ++i) {
            t.machine.registry.Create(kHkeyCurrentUser, L"Software\\" + name + std::to_wstring(i));
        }
        RunState& s = t.Ready();
        for (int i = 0; i < 3; ++i) {
            KeyFinding(s, kHkeyCurrentUser, L"\\Software\\" + name + std::to_wstring(i));
        }
        UpdateExclusions(s);
        TextEncoding encoding{};
        const Lines lines = FileLines(t.machine, &encoding);
        ASSERT_EQ(lines.size(), 3u);
        EXPECT_EQ(lines[0], L"[HKCU]\\Software\\" + name + L"0");
        EXPECT_EQ(encoding, foreign ? TextEncoding::Utf16LeBom : TextEncoding::Ansi);
    }
}

TEST(ExclusionsLabelClickTest, AsksOnlyWhenThereIsAFile) {
    struct Case {
        const char* what;
        bool file;
        std::deque<bool> answers;
        std::size_t questions;
        Lines messages;
        bool fileAfter;
    } cases[] = {
        {"no file", false, {}, 0, {L"No exclusions found."}, false},
        {"file, yes", true, {true}, 1, {L"Exclusions removed."}, false},
        {"file, no", true, {false}, 1, {}, true},
    };
    for (const Case& c : cases) {
        TestMachine t;
        if (c.file) {
            t.machine.AddFile(kFile, {'x', '\r', '\n'});
        }
        RunState& s = t.Ready();
        s.scanInProgress = false;
        t.window.answers = c.answers;
        ExclusionsLabelClick(s);
        EXPECT_EQ(t.window.questions.size(), c.questions) << c.what;
        if (c.questions > 0) {
            EXPECT_EQ(t.window.questions[0],
                      L"Are you sure you want to remove current exclusions?");
        }
        EXPECT_EQ(t.window.messages, c.messages) << c.what;
        EXPECT_EQ(t.machine.IsFile(kFile), c.fileAfter) << c.what;
        // The list in memory waits for the next scan.
        EXPECT_EQ(s.results.ExclusionList.size(), c.file ? 1u : 0u) << c.what;
    }
}

}  // namespace
}  // namespace bv
