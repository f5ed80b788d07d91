// The simulated registry editor's files: the exact export text (checked against the editor's
// own output), export -> import round trips of awkward data, and the import's line forms,
// encodings, skipped lines and refusals.
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "platform/Platform.h"
#include "platform/Utf16.h"
#include "platform/sim/RegFile.h"
#include "platform/sim/SimMachine.h"

namespace bv::sim {
namespace {

using namespace bv::platform;
using Bytes = std::vector<std::uint8_t>;

Bytes Range(int n) {
    Bytes b;
    for (int i = 0; i < n; ++i) {
        b.push_back(static_cast<std::uint8_t>(i));
    }
    return b;
}

Bytes Utf16z(std::wstring_view text) {
    Bytes b = ToUtf16LeBytes(text);
    b.push_back(0);
    b.push_back(0);
    return b;
}

// The values, in the order the editor under Wine listed them, with its export text.
TEST(SimRegFileTest, ExportMatchesTheEditorByteForByte) {
    Registry reg;
    const std::uint32_t cu = kHkeyCurrentUser;
    const wchar_t* k = L"Software\\BvProbe";
    reg.SetString(cu, k, L"", L"default");
    reg.SetValue(cu, k, L"big", kRegDwordBigEndian, {1, 2, 3, 4});
    reg.SetValue(cu, k, L"bin", kRegBinary, Range(100));
    reg.SetValue(cu, k, L"binempty", kRegBinary, {});
    reg.SetDword(cu, k, L"dw", 0xabcd);
    reg.SetValue(cu, k, L"dwempty", kRegDword, {});
    reg.SetString(cu, k, L"emptystr", L"");
    reg.SetString(cu, k, L"exp", L"%PATH%", kRegExpandSz);
    reg.SetValue(cu, k, std::wstring(80, L'm'), kRegBinary, {1, 2});
    reg.SetValue(cu, k, L"multi", kRegMultiSz, {0x61, 0, 0, 0, 0x62, 0, 0, 0, 0, 0});
    reg.SetString(cu, k, L"name with [brackets] = and spaces", L"v");
    reg.SetValue(cu, k, std::wstring(60, L'n'), kRegBinary, Range(40));
    reg.SetValue(cu, k, L"none", kRegNone, {});
    reg.SetValue(cu, k, L"none2", kRegNone, {1, 2});
    reg.SetString(cu, k, L"q\"uote", L"a\\b\"c");
    reg.SetValue(cu, k, L"qw", kRegQword, {1, 2, 3, 4, 5, 6, 7, 8});
    reg.SetString(cu, k, L"sznl", L"A\nB\r");
    reg.SetValue(cu, k, L"t100000", 0x100000, {1});
    reg.SetValue(cu, k, L"t99", 0x99, {1});
    reg.SetValue(cu, k, L"x", kRegBinary, Range(24));
    reg.SetValue(cu, k, L"xy", kRegBinary, Range(24));
    reg.SetString(cu, k, L"\u00E9t\u00E9 \u0416", L"\u0416\u00E9");
    reg.Create(cu, L"Software\\BvProbe\\Sub1");
    reg.SetString(cu, L"Software\\BvProbe\\Sub1\\Deep", L"a", L"b");
    reg.SetValue(cu, L"Software\\BvProbe\\Sub2", L"", kRegExpandSz, {0x41, 0, 0, 0});

    const std::wstring expected =
        L"Windows Registry Editor Version 5.00\r\n"
        L"\r\n"
        L"[HKEY_CURRENT_USER\\Software\\BvProbe]\r\n"
        L"@=\"default\"\r\n"
        L"\"big\"=hex(5):01,02,03,04\r\n"
        L"\"bin\"=hex:00,01,02,03,04,05,06,07,08,09,0a,0b,0c,0d,0e,0f,10,11,12,13,14,15,16,\\\r\n"
        L"  17,18,19,1a,1b,1c,1d,1e,1f,20,21,22,23,24,25,26,27,28,29,2a,2b,2c,2d,2e,2f,\\\r\n"
        L"  30,31,32,33,34,35,36,37,38,39,3a,3b,3c,3d,3e,3f,40,41,42,43,44,45,46,47,48,\\\r\n"
        L"  49,4a,4b,4c,4d,4e,4f,50,51,52,53,54,55,56,57,58,59,5a,5b,5c,5d,5e,5f,60,61,\\\r\n"
        L"  62,63\r\n"
        L"\"binempty\"=hex:\r\n"
        L"\"dw\"=dword:0000abcd\r\n"
        L"\"dwempty\"=hex(4):\r\n"
        L"\"emptystr\"=\"\"\r\n"
        L"\"exp\"=hex(2):25,00,50,00,41,00,54,00,48,00,25,00,00,00\r\n"
        L"\"mmmmmmmmmmmmmmmmmmmmmmmmmmmmmmmmmmmmmmmmmmmmmmmmmmmmmmmmmmmmmmmmmmmmmmmmmmmmmmmm\""
        L"=hex:01,\\\r\n"
        L"  02\r\n"
        L"\"multi\"=hex(7):61,00,00,00,62,00,00,00,00,00\r\n"
        L"\"name with [brackets] = and spaces\"=\"v\"\r\n"
        L"\"nnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnn\"=hex:00,01,02,03,\\\r\n"
        L"  04,05,06,07,08,09,0a,0b,0c,0d,0e,0f,10,11,12,13,14,15,16,17,18,19,1a,1b,1c,\\\r\n"
        L"  1d,1e,1f,20,21,22,23,24,25,26,27\r\n"
        L"\"none\"=hex(0):\r\n"
        L"\"none2\"=hex(0):01,02\r\n"
        L"\"q\\\"uote\"=\"a\\\\b\\\"c\"\r\n"
        L"\"qw\"=hex(b):01,02,03,04,05,06,07,08\r\n"
        L"\"sznl\"=\"A\\nB\\r\"\r\n"
        L"\"t100000\"=hex(100000):01\r\n"
        L"\"t99\"=hex(99):01\r\n"
        L"\"x\"=hex:00,01,02,03,04,05,06,07,08,09,0a,0b,0c,0d,0e,0f,10,11,12,13,14,15,16,\\\r\n"
        L"  17\r\n"
        L"\"xy\"=hex:00,01,02,03,04,05,06,07,08,09,0a,0b,0c,0d,0e,0f,10,11,12,13,14,15,16,\\\r\n"
        L"  17\r\n"
        L"\"\u00E9t\u00E9 \u0416\"=\"\u0416\u00E9\"\r\n"
        L"\r\n"
        L"[HKEY_CURRENT_USER\\Software\\BvProbe\\Sub1]\r\n"
        L"\r\n"
        L"[HKEY_CURRENT_USER\\Software\\BvProbe\\Sub1\\Deep]\r\n"
        L"\"a\"=\"b\"\r\n"
        L"\r\n"
        L"[HKEY_CURRENT_USER\\Software\\BvProbe\\Sub2]\r\n"
        L"@=hex(2):41,00,00,00\r\n"
        L"\r\n";
    EXPECT_EQ(ExportRegText(reg, cu, L"Software\\BvProbe"), expected);
    EXPECT_EQ(ExportRegText(reg, cu, L"\\Software\\BvProbe"), expected);

    Bytes file = ExportRegFile(reg, cu, L"Software\\BvProbe");
    Bytes body = ToUtf16LeBytes(expected);
    body.insert(body.begin(), {0xFF, 0xFE});
    EXPECT_EQ(file, body);

    EXPECT_EQ(ExportRegText(reg, cu, L"Software\\Missing"), L"");
    EXPECT_TRUE(ExportRegFile(reg, cu, L"Software\\Missing").empty());
}

// Data the editor cannot write as a quoted string or a dword keeps every byte in hex form.
TEST(SimRegFileTest, ExportKeepsUncleanDataAsHex) {
    struct Case {
        std::uint32_t type;
        Bytes data;
        const wchar_t* line;
    } cases[] = {
        {kRegSz, {0x41, 0x00, 0x42}, L"\"v\"=hex(1):41,00,42"},
        {kRegSz, {0x41, 0x00, 0x42, 0x00}, L"\"v\"=hex(1):41,00,42,00"},
        {kRegSz, {}, L"\"v\"=hex(1):"},
        {kRegSz, {0x41, 0, 0, 0, 0x42, 0, 0, 0}, L"\"v\"=hex(1):41,00,00,00,42,00,00,00"},
        {kRegDword, {1, 2}, L"\"v\"=hex(4):01,02"},
        {kRegDword, {1, 2, 3, 4, 5}, L"\"v\"=hex(4):01,02,03,04,05"},
        {kRegDword, {0xff, 0xff, 0xff, 0xff}, L"\"v\"=dword:ffffffff"},
        {kRegSz, {0x41, 0x00, 0x00, 0x00}, L"\"v\"=\"A\""},
    };
    for (const Case& c : cases) {
        Registry reg;
        reg.SetValue(kHkeyLocalMachine, L"K", L"v", c.type, c.data);
        std::wstring expected =
            L"Windows Registry Editor Version 5.00\r\n\r\n"
            L"[HKEY_LOCAL_MACHINE\\K]\r\n" +
            std::wstring(c.line) + L"\r\n\r\n";
        EXPECT_EQ(ExportRegText(reg, kHkeyLocalMachine, L"K"), expected) << ToUtf8(c.line);
    }
}

void ExpectSameTree(const Key& a, const Key& b, const std::string& where) {
    ASSERT_EQ(a.values.size(), b.values.size()) << where;
    for (std::size_t i = 0; i < a.values.size(); ++i) {
        const Value& va = a.values[i];
        const Value& vb = b.values[i];
        EXPECT_EQ(va.name, vb.name) << where;
        EXPECT_EQ(va.type, vb.type) << where << " " << ToUtf8(va.name);
        EXPECT_EQ(va.data, vb.data) << where << " " << ToUtf8(va.name);
    }
    ASSERT_EQ(a.subkeys.size(), b.subkeys.size()) << where;
    for (std::size_t i = 0; i < a.subkeys.size(); ++i) {
        EXPECT_EQ(a.subkeys[i]->name, b.subkeys[i]->name) << where;
        ExpectSameTree(*a.subkeys[i], *b.subkeys[i], where + "\\" + ToUtf8(a.subkeys[i]->name));
    }
}

TEST(SimRegFileTest, AwkwardDataSurvivesExportAndImport) {
    Machine source;
    Registry& reg = source.registry;
    const std::uint32_t lm = kHkeyLocalMachine;
    const std::wstring k = L"SOFTWARE\\Odd [key] = \"x\" \u0416\u4E2D";
    const wchar_t* names[] = {L"q\"uote",    L"back\\slash\\",
                              L"[bracket]",  L"a=b",
                              L" spaces  ",  L"\u00E9\u00E8\u0416\u4E2D\u05D0",
                              L"@",          L"-",
                              L"semi;colon", L"line\nbreak\r",
                              L"\\\"",       L"\"=\"-"};
    for (const wchar_t* n : names) {
        reg.SetString(lm, k, n, std::wstring(L"value of ") + n);
    }
    reg.SetString(lm, k, L"", L"\"quoted\" \\path\\ ; not a comment");
    reg.SetString(lm, k, L"empty", L"");
    reg.SetString(lm, k, L"huge", std::wstring(5000, L'\u00E9'));
    reg.SetValue(lm, k, L"hugebin", kRegBinary, Range(10000));
    reg.SetValue(lm, k, L"odd", kRegSz, {0x41, 0, 0x42});
    reg.SetValue(lm, k, L"nonul", kRegSz, {0x41, 0, 0x42, 0});
    reg.SetValue(lm, k, L"emptysz", kRegSz, {});
    reg.SetValue(lm, k, L"embedded", kRegSz, {0x41, 0, 0, 0, 0x42, 0, 0, 0});
    reg.SetString(lm, k, L"expand", L"%SystemRoot%\\x", kRegExpandSz);
    reg.SetValue(lm, k, L"expandodd", kRegExpandSz, {0x25, 0});
    reg.SetValue(lm, k, L"bin", kRegBinary, {0, 0xff, 0x10});
    reg.SetDword(lm, k, L"dword", 0xdeadbeef);
    reg.SetValue(lm, k, L"shortdword", kRegDword, {1});
    reg.SetValue(lm, k, L"be", kRegDwordBigEndian, {1, 2, 3, 4});
    reg.SetValue(lm, k, L"link", kRegLink, Utf16z(L"\\Registry\\Machine\\X"));
    reg.SetValue(lm, k, L"multi", kRegMultiSz, Utf16z(std::wstring(L"a\0b\0", 4)));
    reg.SetValue(lm, k, L"qword", kRegQword, {1, 2, 3, 4, 5, 6, 7, 8});
    reg.SetValue(lm, k, L"none", kRegNone, {});
    reg.SetValue(lm, k, L"type99", 0x99, {9});
    reg.SetValue(lm, k, L"typebig", 0xFFFF0001u, {7, 7});
    reg.Create(lm, k + L"\\Sub key\\\u0416 deeper");
    reg.SetString(lm, k + L"\\Sub]key", L"x", L"y");

    for (bool viaFile : {false, true}) {
        std::wstring text;
        if (viaFile) {
            text = DecodeRegFileBytes(ExportRegFile(reg, lm, L"SOFTWARE"));
        } else {
            text = ExportRegText(reg, lm, L"SOFTWARE");
        }
        Machine target;
        ImportStats stats = ImportRegText(target, text);
        EXPECT_EQ(stats.linesSkipped, 0);
        const Key* a = reg.Find(lm, L"SOFTWARE");
        const Key* b = target.registry.Find(lm, L"SOFTWARE");
        ASSERT_NE(b, nullptr);
        ExpectSameTree(*a, *b, "SOFTWARE");
        // And the second export is the same text.
        EXPECT_EQ(ExportRegText(target.registry, lm, L"SOFTWARE"), text);
    }
}

TEST(SimRegFileTest, WholeRegistryRoundTrip) {
    Machine source;
    source.registry.SetString(kHkeyClassesRoot, L".txt", L"", L"txtfile");
    source.registry.SetString(kHkeyCurrentUser, L"", L"rootvalue", L"1");
    source.registry.SetDword(kHkeyLocalMachine, L"SOFTWARE\\A", L"n", 5);
    Machine target;
    ImportRegText(target, ExportWholeRegistry(source.registry), false);
    for (std::uint32_t root : {kHkeyClassesRoot, kHkeyCurrentUser, kHkeyLocalMachine}) {
        ExpectSameTree(source.registry.Root(root), target.registry.Root(root), "root");
    }
}

struct ImportCase {
    const char* name;
    std::wstring script;
    bool admin;
    ImportStats expected;
    std::function<void(const Registry&)> check;
};

std::wstring Script(std::wstring_view body) {
    return L"Windows Registry Editor Version 5.00\r\n\r\n" + std::wstring(body);
}

std::wstring Text(const Registry& reg, std::uint32_t root, std::wstring_view path,
                  std::wstring_view name) {
    const Key* k = reg.Find(root, path);
    const Value* v = k ? k->FindValue(name) : nullptr;
    if (v == nullptr) {
        return L"<missing>";
    }
    return FromUtf16LeBytes(v->data.data(), v->data.size());
}

const std::uint32_t kCu = kHkeyCurrentUser;
const std::uint32_t kLm = kHkeyLocalMachine;

std::vector<ImportCase> ImportCases() {
    return {
        {"DeletesKeysAndValues",
         Script(L"[-HKEY_CURRENT_USER\\Software\\App]\r\n"
                L"[HKEY_CURRENT_USER\\Software\\Keep]\r\n"
                L"\"old\"=-\r\n"
                L"@=-\r\n"
                L"\"missing\"=-\r\n"
                L"[-HKEY_CURRENT_USER\\Software\\NoSuchKey]\r\n"),
         true,
         {1, 2, 0, 0},
         [](const Registry& r) {
             EXPECT_EQ(r.Find(kCu, L"Software\\App"), nullptr);
             EXPECT_EQ(r.Find(kCu, L"Software\\App\\Child"), nullptr);
             EXPECT_EQ(Text(r, kCu, L"Software\\Keep", L"old"), L"<missing>");
             EXPECT_EQ(Text(r, kCu, L"Software\\Keep", L""), L"<missing>");
             EXPECT_NE(Text(r, kCu, L"Software\\Keep", L"other"), L"<missing>");
         }},
        {"ShortRootNamesAndCase",
         Script(L"[-hkcu\\software\\app]\r\n[HKLM\\Software\\New]\r\n\"a\"=\"b\"\r\n"),
         true,
         {1, 0, 1, 0},
         [](const Registry& r) {
             EXPECT_EQ(r.Find(kCu, L"Software\\App"), nullptr);
             EXPECT_EQ(Text(r, kLm, L"Software\\New", L"a"), std::wstring(L"b\0", 2));
         }},
        {"CommentsContinuationAndSpacing",
         Script(L"; a comment\r\n"
                L"  [HKEY_CURRENT_USER\\Software\\T]   \r\n"
                L"\"bin\"=hex:01,02,\\\r\n"
                L"    03,04,\\\r\n"
                L"  05\r\n"
                L"\"typed\"=hex(2):41,00,\\\r\n"
                L"  00,00\r\n"
                L"\"spaced\" = \"v\" ; trailing comment\r\n"
                L"\"d\"=dword:0000000A\r\n"
                L"\t; indented comment\r\n"
                L"@=\"def\"\r\n"),
         true,
         {0, 0, 5, 0},
         [](const Registry& r) {
             const Key* k = r.Find(kCu, L"Software\\T");
             ASSERT_NE(k, nullptr);
             EXPECT_EQ(k->FindValue(L"bin")->data, (Bytes{1, 2, 3, 4, 5}));
             EXPECT_EQ(k->FindValue(L"typed")->type, kRegExpandSz);
             EXPECT_EQ(k->FindValue(L"typed")->data, (Bytes{0x41, 0, 0, 0}));
             EXPECT_EQ(k->FindValue(L"d")->data, (Bytes{10, 0, 0, 0}));
             EXPECT_EQ(Text(r, kCu, L"Software\\T", L"spaced"), std::wstring(L"v\0", 2));
             EXPECT_EQ(Text(r, kCu, L"Software\\T", L""), std::wstring(L"def\0", 4));
         }},
        {"UnparsableLinesSkipped",
         Script(L"garbage line\r\n"
                L"\"before\"=\"any key\"\r\n"
                L"[HKEY_CURRENT_USER\\Software\\S]\r\n"
                L"\"noequals\"\r\n"
                L"\"badnum\"=dword:xyz\r\n"
                L"\"longnum\"=dword:123456789\r\n"
                L"\"badhex\"=hex:zz\r\n"
                L"\"badtype\"=hex(q):01\r\n"
                L"\"unterminated=\"x\r\n"
                L"\"str\"=\"unterminated\r\n"
                L"\"unknown\"=word:1\r\n"
                L"\"ok\"=\"yes\"\r\n"
                L"[NOROOT\\Software]\r\n"
                L"\"lost\"=\"x\"\r\n"
                L"[HKEY_CURRENT_USER\\Software\\S2\r\n"),
         true,
         {0, 0, 1, 13},
         [](const Registry& r) {
             const Key* k = r.Find(kCu, L"Software\\S");
             ASSERT_NE(k, nullptr);
             EXPECT_EQ(k->values.size(), 1u);
             EXPECT_EQ(r.Find(kCu, L"Software\\S2"), nullptr);
         }},
        {"NoHeaderImportsNothing",
         L"[HKEY_CURRENT_USER\\Software\\X]\r\n\"a\"=\"b\"\r\n",
         true,
         {0, 0, 0, 0},
         [](const Registry& r) { EXPECT_EQ(r.Find(kCu, L"Software\\X"), nullptr); }},
        {"Regedit4Header",
         L"REGEDIT4\r\n\r\n[HKEY_CURRENT_USER\\Software\\Four]\r\n"
         L"\"e\"=hex(2):25,41,25,00\r\n\"s\"=\"x\"\r\n",
         true,
         {0, 0, 2, 0},
         [](const Registry& r) {
             EXPECT_EQ(Text(r, kCu, L"Software\\Four", L"e"), std::wstring(L"%A%\0", 4));
         }},
        {"NonAdministratorRefusedOnMachineKeys",
         Script(L"[-HKEY_LOCAL_MACHINE\\SOFTWARE\\Vendor]\r\n"
                L"[HKEY_LOCAL_MACHINE\\SOFTWARE\\Vendor]\r\n"
                L"\"v\"=-\r\n"
                L"\"w\"=\"new\"\r\n"
                L"[HKEY_LOCAL_MACHINE\\SOFTWARE\\Created]\r\n"
                L"[HKEY_CURRENT_USER\\Software\\Keep]\r\n"
                L"\"old\"=-\r\n"),
         false,
         {0, 1, 0, 5},
         [](const Registry& r) {
             EXPECT_NE(Text(r, kLm, L"SOFTWARE\\Vendor", L"v"), L"<missing>");
             EXPECT_EQ(Text(r, kLm, L"SOFTWARE\\Vendor", L"w"), L"<missing>");
             EXPECT_EQ(r.Find(kLm, L"SOFTWARE\\Created"), nullptr);
             EXPECT_EQ(Text(r, kCu, L"Software\\Keep", L"old"), L"<missing>");
         }},
        {"ExplicitRightsRefuseEvenAdministrator",
         Script(L"[-HKEY_CURRENT_USER\\Software\\Mixed]\r\n"
                L"[HKEY_CURRENT_USER\\Software\\Locked\\New]\r\n"
                L"[HKEY_CURRENT_USER\\Software\\Mixed\\Free]\r\n"
                L"\"f\"=\"1\"\r\n"),
         true,
         {0, 0, 1, 2},
         [](const Registry& r) {
             EXPECT_NE(r.Find(kCu, L"Software\\Mixed\\ReadOnly"), nullptr);
             EXPECT_EQ(r.Find(kCu, L"Software\\Locked\\New"), nullptr);
         }},
    };
}

TEST(SimRegFileTest, ImportLineForms) {
    for (const ImportCase& c : ImportCases()) {
        SCOPED_TRACE(c.name);
        Machine m;
        m.administrator = c.admin;
        Registry& reg = m.registry;
        reg.SetString(kCu, L"Software\\App\\Child", L"x", L"1");
        reg.SetString(kCu, L"Software\\Keep", L"old", L"1");
        reg.SetString(kCu, L"Software\\Keep", L"other", L"1");
        reg.SetString(kCu, L"Software\\Keep", L"", L"1");
        reg.SetString(kLm, L"SOFTWARE\\Vendor", L"v", L"1");
        reg.Create(kCu, L"Software\\Mixed\\ReadOnly");
        reg.SetRight(kCu, L"Software\\Mixed\\ReadOnly", Right::Read);
        reg.SetRight(kCu, L"Software\\Locked", Right::Read);
        ImportStats s = ImportRegText(m, c.script);
        EXPECT_EQ(s.keysDeleted, c.expected.keysDeleted);
        EXPECT_EQ(s.valuesDeleted, c.expected.valuesDeleted);
        EXPECT_EQ(s.valuesWritten, c.expected.valuesWritten);
        EXPECT_EQ(s.linesSkipped, c.expected.linesSkipped);
        c.check(reg);
    }
}

TEST(SimRegFileTest, RightsIgnoredWhenNotHonoured) {
    Machine m;
    m.administrator = false;
    ImportStats s =
        ImportRegText(m, Script(L"[HKEY_LOCAL_MACHINE\\SOFTWARE\\X]\r\n\"a\"=\"b\"\r\n"), false);
    EXPECT_EQ(s.valuesWritten, 1);
    EXPECT_NE(m.registry.Find(kLm, L"SOFTWARE\\X"), nullptr);
}

TEST(SimRegFileTest, DecodesEveryEncoding) {
    const std::wstring text = L"Windows Registry Editor Version 5.00\r\n\u00E9\u20AC";
    auto bytesOf = [](std::string s) { return Bytes(s.begin(), s.end()); };
    Bytes utf8 = bytesOf(ToUtf8(text));
    Bytes utf8Bom = utf8;
    utf8Bom.insert(utf8Bom.begin(), {0xEF, 0xBB, 0xBF});
    Bytes le = ToUtf16LeBytes(text);
    le.insert(le.begin(), {0xFF, 0xFE});
    Bytes be;
    for (std::size_t i = 2; i < le.size(); i += 2) {
        be.push_back(le[i + 1]);
        be.push_back(le[i]);
    }
    be.insert(be.begin(), {0xFE, 0xFF});
    Bytes ansi = bytesOf("Windows Registry Editor Version 5.00\r\n\xE9\x80");
    for (const Bytes& b : {utf8, utf8Bom, le, be, ansi}) {
        EXPECT_EQ(DecodeRegFileBytes(b), text);
    }
    EXPECT_EQ(DecodeRegFileBytes({}), L"");

    // Each encoding imports the same.
    for (const Bytes& b : {bytesOf("Windows Registry Editor Version 5.00\r\n[HKCU\\\xC3\xA9]\r\n"),
                           bytesOf("Windows Registry Editor Version 5.00\r\n[HKCU\\\xE9]\r\n")}) {
        Machine m;
        ImportRegText(m, DecodeRegFileBytes(b));
        EXPECT_NE(m.registry.Find(kCu, L"\u00E9"), nullptr);
    }
}

TEST(SimRegFileTest, RootNames) {
    const std::pair<const wchar_t*, std::uint32_t> known[] = {
        {L"HKEY_CLASSES_ROOT", kHkeyClassesRoot},   {L"hkcr", kHkeyClassesRoot},
        {L"HKEY_CURRENT_USER", kHkeyCurrentUser},   {L"HKCU", kHkeyCurrentUser},
        {L"hkey_local_machine", kHkeyLocalMachine}, {L"HKLM", kHkeyLocalMachine},
    };
    for (const auto& [name, root] : known) {
        std::uint32_t r = 0;
        EXPECT_TRUE(RootFromName(name, r));
        EXPECT_EQ(r, root);
    }
    for (const wchar_t* bad : {L"", L"HKEY_USERS", L"HKLM\\x", L"HKEY_LOCAL"}) {
        std::uint32_t r = 0;
        EXPECT_FALSE(RootFromName(bad, r)) << ToUtf8(bad);
    }
    EXPECT_EQ(std::wstring(RootName(kHkeyLocalMachine)), L"HKEY_LOCAL_MACHINE");
}

}  // namespace
}  // namespace bv::sim

namespace bv::sim {
namespace {

// Where a 32-bit program on 64-bit Windows finds a key: its own WOW6432Node for the machine's
// software and the class keys that hold COM registrations; everything else is shared.
TEST(SimRegistryView, Wow64PathsOfTheRedirectedKeys) {
    struct Case {
        std::uint32_t root;
        const wchar_t* path;
        const wchar_t* stored;
    };
    const Case cases[] = {
        {kHkeyLocalMachine, L"SOFTWARE\\Vendor\\App", L"SOFTWARE\\WOW6432Node\\Vendor\\App"},
        {kHkeyLocalMachine, L"software\\vendor", L"software\\WOW6432Node\\vendor"},
        {kHkeyLocalMachine, L"SOFTWARE", L"SOFTWARE"},
        {kHkeyLocalMachine, L"SOFTWARE\\WOW6432Node\\App", L"SOFTWARE\\WOW6432Node\\App"},
        {kHkeyLocalMachine, L"SOFTWARE\\Classes\\CLSID\\{1}",
         L"SOFTWARE\\Classes\\WOW6432Node\\CLSID\\{1}"},
        {kHkeyLocalMachine, L"SOFTWARE\\Classes\\.txt", L"SOFTWARE\\Classes\\.txt"},
        {kHkeyLocalMachine, L"SYSTEM\\CurrentControlSet", L"SYSTEM\\CurrentControlSet"},
        {kHkeyClassesRoot, L"CLSID\\{1}\\InprocServer32",
         L"WOW6432Node\\CLSID\\{1}\\InprocServer32"},
        {kHkeyClassesRoot, L"Interface\\{2}", L"WOW6432Node\\Interface\\{2}"},
        {kHkeyClassesRoot, L"typelib\\{3}\\1.0", L"WOW6432Node\\typelib\\{3}\\1.0"},
        {kHkeyClassesRoot, L"AppID\\{4}", L"WOW6432Node\\AppID\\{4}"},
        {kHkeyClassesRoot, L"CLSID", L"WOW6432Node\\CLSID"},
        {kHkeyClassesRoot, L".txt", L".txt"},
        {kHkeyClassesRoot, L"txtfile\\shell\\open", L"txtfile\\shell\\open"},
        {kHkeyCurrentUser, L"Software\\Vendor", L"Software\\Vendor"},
        {kHkeyCurrentUser, L"Software\\Classes\\CLSID\\{1}",
         L"Software\\Classes\\WOW6432Node\\CLSID\\{1}"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::PrintToString(std::wstring(c.path)));
        EXPECT_EQ(ViewPath(RegistryView::Wow64, c.root, c.path), c.stored);
        EXPECT_EQ(ViewPath(RegistryView::Native, c.root, c.path), c.path);
    }
}

// An editor with the WOW64 view exports and deletes the 32-bit twin under the name it was given.
TEST(SimRegistryView, Wow64EditorWorksOnTheThirtyTwoBitTwins) {
    Machine m;
    Registry& reg = m.registry;
    reg.SetString(kHkeyLocalMachine, L"SOFTWARE\\App", L"v", L"64");
    reg.SetString(kHkeyLocalMachine, L"SOFTWARE\\WOW6432Node\\App", L"v", L"32");
    reg.SetString(kHkeyLocalMachine, L"SOFTWARE\\WOW6432Node\\App\\Sub", L"w", L"32");
    reg.SetString(kHkeyClassesRoot, L"CLSID\\{1}", L"", L"64");
    reg.SetString(kHkeyClassesRoot, L"WOW6432Node\\CLSID\\{1}", L"", L"32");

    EXPECT_EQ(ExportRegText(reg, kHkeyLocalMachine, L"\\SOFTWARE\\App", RegistryView::Wow64),
              L"Windows Registry Editor Version 5.00\r\n\r\n"
              L"[HKEY_LOCAL_MACHINE\\SOFTWARE\\App]\r\n\"v\"=\"32\"\r\n\r\n"
              L"[HKEY_LOCAL_MACHINE\\SOFTWARE\\App\\Sub]\r\n\"w\"=\"32\"\r\n\r\n");
    EXPECT_EQ(ExportRegText(reg, kHkeyLocalMachine, L"SOFTWARE\\App"),
              L"Windows Registry Editor Version 5.00\r\n\r\n"
              L"[HKEY_LOCAL_MACHINE\\SOFTWARE\\App]\r\n\"v\"=\"64\"\r\n\r\n");

    ImportStats s = ImportRegText(m,
                                  L"Windows Registry Editor Version 5.00\r\n\r\n"
                                  L"[-HKEY_CLASSES_ROOT\\CLSID\\{1}]\r\n\r\n"
                                  L"[HKEY_LOCAL_MACHINE\\SOFTWARE\\App]\r\n\"v\"=-\r\n",
                                  true, RegistryView::Wow64);
    EXPECT_EQ(s.keysDeleted, 1);
    EXPECT_EQ(s.valuesDeleted, 1);
    EXPECT_EQ(reg.Find(kHkeyClassesRoot, L"WOW6432Node\\CLSID\\{1}"), nullptr);
    EXPECT_NE(reg.Find(kHkeyClassesRoot, L"CLSID\\{1}"), nullptr);
    EXPECT_EQ(reg.Find(kHkeyLocalMachine, L"SOFTWARE\\WOW6432Node\\App")->FindValue(L"v"), nullptr);
    EXPECT_NE(reg.Find(kHkeyLocalMachine, L"SOFTWARE\\App")->FindValue(L"v"), nullptr);
}

}  // namespace
}  // namespace bv::sim
