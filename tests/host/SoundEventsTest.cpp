// Sound events scanner: ".Current" and ".Default" sounds of the default scheme, on small machines.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "scanners/Scanners.h"
#include "tests/host/TestMachine.h"

namespace bv {
namespace {

using test::TestMachine;
using Rows = std::vector<std::vector<std::wstring>>;
using Lines = std::vector<std::wstring>;

const std::wstring kEvents = L"\\AppEvents\\Schemes\\Apps\\.Default";

void SetSound(sim::Machine& m, const std::wstring& event, const wchar_t* scheme,
              const std::wstring& file) {
    m.registry.SetString(kHkeyCurrentUser, kEvents + L"\\" + event + L"\\" + scheme, L"", file);
}

std::vector<std::wstring> Row(const std::wstring& event, const wchar_t* scheme,
                              const std::wstring& value) {
    const std::wstring key = L"[HKCU]" + kEvents + L"\\" + event + L"\\" + scheme;
    return {L"Fonts/Sounds", key, value, key};
}

Lines Script(const std::wstring& event, const wchar_t* scheme) {
    return {L"[HKEY_CURRENT_USER" + kEvents + L"\\" + event + L"\\" + scheme + L"]", L"@=-", L""};
}

Lines Join(Lines a, const Lines& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

struct Case {
    const char* label;
    void (*setup)(sim::Machine&);
    Lines exclusions;
    Rows rows;
    Lines script;
};

TEST(ScanSoundEvents, Table) {
    const std::vector<Case> cases = {
        {"empty .Current, missing .Default",
         [](sim::Machine& m) {
             SetSound(m, L"Ding", L".Current", L"");
             SetSound(m, L"Ding", L".Default", L"C:\\Sounds\\gone.wav");
         },
         {},
         {Row(L"Ding", L".Default", L"C:\\Sounds\\gone.wav")},
         Script(L"Ding", L".Default")},
        {"both naming the same missing file: .Current first",
         [](sim::Machine& m) {
             SetSound(m, L"Ding", L".Current", L"C:\\Sounds\\gone.wav");
             SetSound(m, L"Ding", L".Default", L"C:\\Sounds\\gone.wav");
         },
         {},
         {Row(L"Ding", L".Current", L"C:\\Sounds\\gone.wav"),
          Row(L"Ding", L".Default", L"C:\\Sounds\\gone.wav")},
         Join(Script(L"Ding", L".Current"), Script(L"Ding", L".Default"))},
        {"both sound values missing: nothing to judge",
         [](sim::Machine& m) {
             m.registry.Create(kHkeyCurrentUser, kEvents + L"\\Quiet\\.Current");
             m.registry.Create(kHkeyCurrentUser, kEvents + L"\\Quiet\\.Default");
             m.registry.Create(kHkeyCurrentUser, kEvents + L"\\NoKeys");
         },
         {},
         {},
         {}},
        {"Windows folder reference: existing not reported, missing shown unexpanded",
         [](sim::Machine& m) {
             m.AddFile(L"C:\\Windows\\Media\\ding.wav");
             SetSound(m, L"Here", L".Current", L"%SystemRoot%\\Media\\ding.wav");
             SetSound(m, L"Gone", L".Current", L"%SystemRoot%\\Media\\gone.wav");
         },
         {},
         {Row(L"Gone", L".Current", L"%SystemRoot%\\Media\\gone.wav")},
         Script(L"Gone", L".Current")},
        {"bare file name: found in a PATH folder or reported",
         [](sim::Machine& m) {
             m.AddFile(L"C:\\Windows\\chimes.wav");
             SetSound(m, L"Chimes", L".Default", L"chimes.wav");
             SetSound(m, L"Lost", L".Default", L"lost.wav");
         },
         {},
         {Row(L"Lost", L".Default", L"lost.wav")},
         Script(L"Lost", L".Default")},
        {"value shown trimmed",
         [](sim::Machine& m) { SetSound(m, L"Pad", L".Current", L"  C:\\S\\pad.wav  "); },
         {},
         {Row(L"Pad", L".Current", L"C:\\S\\pad.wav")},
         Script(L"Pad", L".Current")},
        {"excluded key",
         [](sim::Machine& m) { SetSound(m, L"Ding", L".Current", L"C:\\Sounds\\gone.wav"); },
         {L"[HKCU]" + kEvents + L"\\DING\\.current"},
         {},
         {}},
        {"non-string value is not tested",
         [](sim::Machine& m) {
             m.registry.SetDword(kHkeyCurrentUser, kEvents + L"\\Num\\.Current", L"", 7);
         },
         {},
         {},
         {}},
        {"other applications' schemes are not examined",
         [](sim::Machine& m) {
             m.registry.SetString(kHkeyCurrentUser,
                                  L"\\AppEvents\\Schemes\\Apps\\Explorer\\Navigating\\.Current",
                                  L"", L"C:\\Sounds\\gone.wav");
         },
         {},
         {},
         {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        TestMachine t;
        c.setup(t.machine);
        RunState& s = t.Ready();
        s.results.ExclusionList = c.exclusions;
        ScanSoundEvents(s);
        EXPECT_EQ(t.Rows(), c.rows);
        EXPECT_EQ(t.ScriptBody(), c.script);
    }
}

TEST(ScanSoundEvents, StopPassesOverTheRest) {
    TestMachine t;
    SetSound(t.machine, L"A", L".Current", L"C:\\S\\a.wav");
    SetSound(t.machine, L"B", L".Current", L"C:\\S\\b.wav");
    RunState& s = t.Ready();
    t.window.onPump = [&s](int pump) {
        if (pump == 2) {
            s.scanInProgress = false;
        }
    };
    ScanSoundEvents(s);
    EXPECT_EQ(t.Rows(), (Rows{Row(L"A", L".Current", L"C:\\S\\a.wav")}));
    ASSERT_FALSE(t.window.gaugeHistory.empty());
    EXPECT_EQ(t.window.gaugeHistory.back(), 100);
}

}  // namespace
}  // namespace bv
