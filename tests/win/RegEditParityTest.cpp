// The simulated registry editor against the real one under Wine: for the same registry data the
// export files are byte-identical, and the same deletion script removes the same keys and values.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "platform/Utf16.h"
#include "platform/sim/RegFile.h"
#include "platform/sim/SimMachine.h"
#include "sysaccess/EnvironmentSnapshot.h"
#include "sysaccess/RegistryEditor.h"
#include "tests/win/WinTestSupport.h"

namespace bv::wintest {
namespace {

using namespace bv::platform;

struct Entry {
    const wchar_t* key;   // below the test key; empty: the test key itself
    const wchar_t* name;  // nullptr: the key alone, no value
    std::uint32_t type;
    std::vector<std::uint8_t> data;
};

std::vector<std::uint8_t> Dword(std::uint32_t v) {
    return {static_cast<std::uint8_t>(v), static_cast<std::uint8_t>(v >> 8),
            static_cast<std::uint8_t>(v >> 16), static_cast<std::uint8_t>(v >> 24)};
}

std::vector<std::uint8_t> Bytes(std::size_t count, int seed) {
    std::vector<std::uint8_t> b(count);
    for (std::size_t i = 0; i < count; ++i) {
        b[i] = static_cast<std::uint8_t>(seed + i * 37);
    }
    return b;
}

std::vector<std::uint8_t> Multi(std::initializer_list<const wchar_t*> items) {
    std::vector<std::uint8_t> b;
    for (const wchar_t* item : items) {
        std::vector<std::uint8_t> one = Utf16Bytes(item);
        b.insert(b.end(), one.begin(), one.end());
    }
    b.push_back(0);
    b.push_back(0);
    return b;
}

std::vector<std::uint8_t> Sz(const wchar_t* text) {
    return Utf16Bytes(text);
}

std::string Narrow(const std::wstring& text) {
    return ToUtf8(text);
}

struct DataSet {
    const char* label;
    std::vector<Entry> entries;
    bool wineExportDiffers = false;
};

const std::wstring kLongName = L"A value name long enough to push the hex data onto the next line";

std::vector<DataSet> DataSets() {
    return {
        {"Strings",
         {{L"", L"", kRegSz, Sz(L"default text")},
          {L"", L"plain", kRegSz, Sz(L"text")},
          {L"", L"quotes", kRegSz, Sz(L"say \"hi\" \"")},
          {L"", L"backslash", kRegSz, Sz(L"C:\\dir\\file.exe \\\\server\\")},
          {L"", L"brackets", kRegSz, Sz(L"[x] {y} ]")},
          {L"", L"equals", kRegSz, Sz(L"a=b==c")},
          {L"", L"unicode", kRegSz, Sz(L"\u041a\u043b\u044e\u0447 \u9375 \u00fc\u00df")},
          {L"", L"empty", kRegSz, Sz(L"")},
          {L"", L"spaces", kRegSz, Sz(L"  lead and trail  ")},
          {L"", L"semicolon", kRegSz, Sz(L";not a comment")},
          {L"", L"expand", kRegExpandSz, Sz(L"%SystemRoot%\\system32\\x.dll")},
          {L"", L"multi", kRegMultiSz, Multi({L"one", L"two \"2\"", L""})}}},
        {"Names",
         {{L"", L"quote\"d", kRegSz, Sz(L"1")},
          {L"", L"back\\slash", kRegSz, Sz(L"2")},
          {L"", L"[bracket]", kRegSz, Sz(L"3")},
          {L"", L"eq=ual", kRegSz, Sz(L"4")},
          {L"", L"\u0418\u043c\u044f \u540d\u524d", kRegSz, Sz(L"5")},
          {L"", L" spaced name ", kRegSz, Sz(L"6")},
          {L"", L"@", kRegSz, Sz(L"7")},
          {L"", L"-", kRegSz, Sz(L"8")}}},
        {"Binary",
         {{L"", L"bin0", kRegBinary, {}},
          {L"", L"bin1", kRegBinary, {0xAB}},
          {L"", L"bin24", kRegBinary, Bytes(24, 1)},
          {L"", L"bin25", kRegBinary, Bytes(25, 2)},
          {L"", L"bin300", kRegBinary, Bytes(300, 3)},
          {L"", kLongName.c_str(), kRegBinary, Bytes(40, 4)},
          {L"", L"expandLong", kRegExpandSz,
           Sz(L"%ProgramFiles%\\A rather long folder name\\and a long file name.dll")}}},
        {"Types",
         {{L"", L"dword0", kRegDword, Dword(0)},
          {L"", L"dwordHex", kRegDword, Dword(0x1A2B3C4D)},
          {L"", L"dwordMax", kRegDword, Dword(0xFFFFFFFF)},
          {L"", L"qword", kRegQword, {1, 2, 3, 4, 5, 6, 7, 8}},
          {L"", L"none", kRegNone, {}},
          {L"", L"noneData", kRegNone, {0, 1}},
          {L"", L"bigEndian", kRegDwordBigEndian, {0, 0, 0, 1}},
          {L"", L"link", kRegLink, Utf16Bytes(L"\\Registry\\Machine", false)},
          {L"", L"custom", 0x123, {9, 8}}}},
        // Data no well-behaved program writes. Windows' editor exports it losslessly as hex(4) and
        // hex(1); Wine's reads a short REG_DWORD past its end and cuts strings at a NUL.
        {"Malformed",
         {{L"", L"dwordShort", kRegDword, {1, 2}},
          {L"", L"szOdd", kRegSz, {'a', 0, 'b'}},
          {L"", L"szEmbeddedNul", kRegSz, {'a', 0, 0, 0, 'b', 0, 0, 0}},
          {L"", L"szZero", kRegSz, {}}},
         true},
        {"Keys",
         {{L"Empty", nullptr, 0, {}},
          {L"Quote\"Key", L"v", kRegSz, Sz(L"q")},
          {L"Bracket[1]", L"v", kRegSz, Sz(L"b")},
          {L"Eq=Key", L"", kRegSz, Sz(L"e")},
          {L"Space Key", L"v", kRegDword, Dword(3)},
          {L"\u042e\u043d\u0438\u043a\u043e\u0434", L"v", kRegSz, Sz(L"u")},
          {L"Deep\\Er\\Est", L"leaf", kRegSz, Sz(L"d")},
          {L"Deep\\Sibling", nullptr, 0, {}},
          {L"OnlyDefault", L"", kRegSz, Sz(L"")}}},
    };
}

// The same data in a simulated registry, key for key in the real registry's order.
void CopyRealTree(HKey parent, const std::wstring& path, sim::Registry& out,
                  const std::wstring& simPath) {
    HKey key = 0;
    ASSERT_EQ(RegOpenKeyEx(parent, path.c_str(), 0, kRead64, &key), kErrorSuccess);
    out.Create(kHkeyCurrentUser, simPath);
    for (std::uint32_t i = 0;; ++i) {
        wchar_t name[512];
        std::uint32_t len = 512, type = 0;
        if (RegEnumValue(key, i, name, &len, &type) != kErrorSuccess) {
            break;
        }
        std::wstring valueName(name, len);
        std::uint32_t size = 0;
        ASSERT_EQ(RegQueryValueEx(key, valueName.c_str(), &type, nullptr, &size), kErrorSuccess);
        std::vector<std::uint8_t> data(size);
        ASSERT_EQ(RegQueryValueEx(key, valueName.c_str(), &type, data.data(), &size),
                  kErrorSuccess);
        data.resize(size);
        out.SetValue(kHkeyCurrentUser, simPath, valueName, type, data);
    }
    std::vector<std::wstring> subkeys;
    for (std::uint32_t i = 0;; ++i) {
        wchar_t name[512];
        std::uint32_t len = 512;
        if (RegEnumKeyEx(key, i, name, &len) != kErrorSuccess) {
            break;
        }
        subkeys.emplace_back(name, len);
    }
    platform::RegCloseKey(key);
    for (const std::wstring& sub : subkeys) {
        CopyRealTree(parent, path + L"\\" + sub, out, simPath + L"\\" + sub);
    }
}

std::string Hex(const std::vector<std::uint8_t>& data) {
    std::string s;
    char buf[4];
    for (std::uint8_t b : data) {
        std::snprintf(buf, sizeof(buf), "%02x", b);
        s += buf;
    }
    return s;
}

// Every key and value of a tree as sorted lines: what is there, regardless of order.
void DumpSim(const sim::Key& key, const std::wstring& path, std::vector<std::string>& lines) {
    lines.push_back(Narrow(sim::FoldCase(path)));
    for (const sim::Value& v : key.values) {
        lines.push_back(Narrow(sim::FoldCase(path)) + " | " + Narrow(v.name) + " | " +
                        std::to_string(v.type) + " | " + Hex(v.data));
    }
    for (const auto& sub : key.subkeys) {
        DumpSim(*sub, path + L"\\" + sub->name, lines);
    }
}

std::vector<std::string> DumpSimTree(const sim::Registry& registry, const std::wstring& path) {
    std::vector<std::string> lines;
    const sim::Key* key = registry.Find(kHkeyCurrentUser, path);
    if (key != nullptr) {
        DumpSim(*key, L"", lines);
    }
    std::sort(lines.begin(), lines.end());
    return lines;
}

std::vector<std::string> DumpRealTree(const std::wstring& path) {
    sim::Registry copy;
    CopyRealTree(kHkcu, path, copy, path);
    return DumpSimTree(copy, path);
}

// Text of an export file for failure messages.
std::string Readable(const std::vector<std::uint8_t>& bytes) {
    std::wstring text = sim::DecodeRegFileBytes(bytes);
    return Narrow(text);
}

// The first line where two export files differ, for a failure message that says where.
std::string FirstDifference(const std::vector<std::uint8_t>& real,
                            const std::vector<std::uint8_t>& simulated) {
    std::string a = Readable(real), b = Readable(simulated);
    std::size_t line = 1, start = 0;
    for (std::size_t i = 0; i < std::min(a.size(), b.size()); ++i) {
        if (a[i] != b[i]) {
            std::size_t endA = a.find('\n', i), endB = b.find('\n', i);
            return "line " + std::to_string(line) +
                   "\n  regedit: " + a.substr(start, endA - start) +
                   "\n  sim:     " + b.substr(start, endB - start);
        }
        if (a[i] == '\n') {
            ++line;
            start = i + 1;
        }
    }
    return "one file is a prefix of the other (sizes " + std::to_string(real.size()) + ", " +
           std::to_string(simulated.size()) + ")";
}

class EditorParity : public testing::TestWithParam<DataSet> {
  protected:
    void SetUp() override {
        ASSERT_TRUE(test_.Valid());
        env_ = GatherEnvironmentSnapshot();
        ASSERT_FALSE(env_.WindowsFolder.empty());
        for (const Entry& e : GetParam().entries) {
            if (e.name == nullptr) {
                ASSERT_TRUE(test_.AddKey(e.key)) << Narrow(e.key);
            } else {
                ASSERT_TRUE(test_.Set(e.key, e.name, e.type, e.data)) << Narrow(e.name);
            }
        }
        CopyRealTree(kHkcu, test_.Path(), simulated_.registry, test_.Path());
    }

    // What the real editor writes for the test key (empty when it wrote nothing).
    std::vector<std::uint8_t> RealExport(const std::wstring& keyPath) {
        std::wstring file = temp_.File(L"export.reg");
        platform::DeleteFile(file);
        RunRegistryEditor(L"/s /e \"" + file + L"\" \"HKEY_CURRENT_USER\\" + keyPath + L"\"", env_);
        std::vector<std::uint8_t> bytes;
        platform::ReadFileBytes(file, bytes);
        return bytes;
    }

    void ExpectSameExport() {
        std::vector<std::uint8_t> real = RealExport(test_.Path());
        ASSERT_FALSE(real.empty()) << "regedit /e wrote nothing";
        std::vector<std::uint8_t> simulated =
            sim::ExportRegFile(simulated_.registry, kHkeyCurrentUser, test_.Path());
        if (GetParam().wineExportDiffers && real != simulated) {
            GTEST_SKIP() << "Wine's editor differs from Windows' here: "
                         << FirstDifference(real, simulated);
        }
        EXPECT_TRUE(real == simulated) << FirstDifference(real, simulated) << "\n--- regedit:\n"
                                       << Readable(real) << "--- sim:\n"
                                       << Readable(simulated);
    }

    TestKey test_{L"Parity"};
    TempFolder temp_{L"parity"};
    EnvironmentSnapshot env_;
    sim::Machine simulated_;
};

TEST_P(EditorParity, RealDataIsWhatWasWritten) {
    // The copy into the simulated registry must hold exactly the table, or parity proves little.
    sim::Registry expected;
    expected.Create(kHkeyCurrentUser, test_.Path());
    for (const Entry& e : GetParam().entries) {
        std::wstring path = e.key[0] == L'\0' ? test_.Path() : test_.Sub(e.key);
        expected.Create(kHkeyCurrentUser, path);
        if (e.name != nullptr) {
            expected.SetValue(kHkeyCurrentUser, path, e.name, e.type, e.data);
        }
    }
    EXPECT_EQ(DumpRealTree(test_.Path()), DumpSimTree(expected, test_.Path()));
}

TEST_P(EditorParity, ExportIsByteIdentical) {
    ExpectSameExport();
}

TEST_P(EditorParity, ExportOfASubkeyIsByteIdentical) {
    // The lowest key that exists in every data set besides the test key is the test key itself;
    // export a deeper key where the set has one.
    for (const Entry& e : GetParam().entries) {
        // A double quote in a key name cannot be passed inside the quoted command-line
        // argument: the editor exports nothing for it.
        if (e.key[0] == L'\0' || std::wstring_view(e.key).find(L'"') != std::wstring_view::npos) {
            continue;
        }
        std::wstring path = test_.Sub(e.key);
        std::vector<std::uint8_t> real = RealExport(path);
        std::vector<std::uint8_t> simulated =
            sim::ExportRegFile(simulated_.registry, kHkeyCurrentUser, path);
        EXPECT_TRUE(real == simulated) << Narrow(e.key) << ": " << FirstDifference(real, simulated);
    }
}

TEST_P(EditorParity, ExportOfAMissingKeyWritesNothing) {
    std::vector<std::uint8_t> real = RealExport(test_.Sub(L"NoSuchKey"));
    EXPECT_TRUE(real.empty()) << Readable(real);
    EXPECT_TRUE(
        sim::ExportRegFile(simulated_.registry, kHkeyCurrentUser, test_.Sub(L"NoSuchKey")).empty());
}

INSTANTIATE_TEST_SUITE_P(Data, EditorParity, testing::ValuesIn(DataSets()),
                         [](const auto& info) { return std::string(info.param.label); });

// ---- Deletion scripts: the same lines remove the same things ----

struct ScriptCase {
    const char* label;
    bool utf16;           // UTF-16LE with a mark; otherwise plain ANSI text
    const wchar_t* body;  // "%K" stands for the full test key name
};

std::vector<std::uint8_t> ScriptBytes(const ScriptCase& c, const std::wstring& fullKey) {
    std::wstring text = c.body;
    for (std::size_t at; (at = text.find(L"%K")) != std::wstring::npos;) {
        text.replace(at, 2, fullKey);
    }
    std::vector<std::uint8_t> bytes;
    if (c.utf16) {
        bytes = {0xFF, 0xFE};
        std::vector<std::uint8_t> body = ToUtf16LeBytes(text);
        bytes.insert(bytes.end(), body.begin(), body.end());
    } else {
        std::string ansi = WideToAnsi(text, nullptr);
        bytes.assign(ansi.begin(), ansi.end());
    }
    return bytes;
}

const ScriptCase kScripts[] = {
    {"KeysAndValuesAnsi", false,
     L"Windows Registry Editor Version 5.00\r\n\r\n"
     L"[-%K\\Keys\\Quote\"Key]\r\n\r\n"
     L"[-%K\\Keys\\Deep\\Er]\r\n\r\n"
     L"[%K\\Names]\r\n\"quote\\\"d\"=-\r\n\"back\\\\slash\"=-\r\n\"missing\"=-\r\n\r\n"
     L"[%K\\Strings]\r\n@=-\r\n\"equals\"=-\r\n\r\n"
     L"[-%K\\DoesNotExist]\r\n\r\n"},
    {"UnicodeNamesUtf16", true,
     L"Windows Registry Editor Version 5.00\r\n\r\n"
     L"[-%K\\Keys\\\u042e\u043d\u0438\u043a\u043e\u0434]\r\n\r\n"
     L"[%K\\Names]\r\n\"\u0418\u043c\u044f \u540d\u524d\"=-\r\n\"[bracket]\"=-\r\n"
     L"\"eq=ual\"=-\r\n\r\n"},
    {"CommentsAndJunkAreSkipped", false,
     L"Windows Registry Editor Version 5.00\r\n\r\n"
     L"; [-%K\\Keys]\r\n"
     L"this line means nothing\r\n"
     L"[%K\\Types]\r\n\"dword0\"=-\r\n  \"qword\"=-\r\nnone=-\r\n\r\n"
     L"[-%K\\Keys\\Bracket[1]]\r\n\r\n"},
    {"DeletingTheTestKeyItself", false,
     L"Windows Registry Editor Version 5.00\r\n\r\n[-%K\\Binary]\r\n\r\n"},
    {"LfLineEnds", false,
     L"Windows Registry Editor Version 5.00\n\n[-%K\\Keys\\Eq=Key]\n\n"
     L"[%K\\Strings]\n\"plain\"=-\n"},
};

class ScriptParity : public testing::TestWithParam<ScriptCase> {
  protected:
    void SetUp() override {
        ASSERT_TRUE(test_.Valid());
        env_ = GatherEnvironmentSnapshot();
        for (const DataSet& set : DataSets()) {
            for (const Entry& e : set.entries) {
                std::wstring sub = Widen(set.label);
                if (e.key[0] != L'\0') {
                    sub += L"\\";
                    sub += e.key;
                }
                if (e.name == nullptr) {
                    ASSERT_TRUE(test_.AddKey(sub));
                } else {
                    ASSERT_TRUE(test_.Set(sub, e.name, e.type, e.data));
                }
            }
        }
        CopyRealTree(kHkcu, test_.Path(), simulated_.registry, test_.Path());
    }

    static std::wstring Widen(const char* text) {
        return std::wstring(text, text + std::strlen(text));
    }

    TestKey test_{L"Script"};
    TempFolder temp_{L"script"};
    EnvironmentSnapshot env_;
    sim::Machine simulated_;
};

TEST_P(ScriptParity, RemovesExactlyTheSameKeysAndValues) {
    std::vector<std::string> before = DumpRealTree(test_.Path());
    std::vector<std::uint8_t> script =
        ScriptBytes(GetParam(), L"HKEY_CURRENT_USER\\" + test_.Path());
    std::wstring file = temp_.File(L"script.reg");
    ASSERT_TRUE(platform::WriteFileBytes(file, script));
    RunRegistryEditor(L" /s \"" + file + L"\"", env_);
    sim::ImportRegText(simulated_, sim::DecodeRegFileBytes(script));

    std::vector<std::string> real = DumpRealTree(test_.Path());
    std::vector<std::string> simulated = DumpSimTree(simulated_.registry, test_.Path());
    EXPECT_NE(real, before) << "the script changed nothing in the real registry";
    EXPECT_EQ(real, simulated);
}

INSTANTIATE_TEST_SUITE_P(Scripts, ScriptParity, testing::ValuesIn(kScripts),
                         [](const auto& info) { return std::string(info.param.label); });

}  // namespace
}  // namespace bv::wintest
