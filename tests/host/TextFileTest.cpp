// Tests of text files: encodings from byte-order marks or the ANSI code page, line splitting,
// and lossless writing.
#include "sysaccess/TextFile.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/sim/SimMachine.h"

namespace bv {
namespace {

using Bytes = std::vector<std::uint8_t>;
using Lines = std::vector<std::wstring>;

Bytes AsBytes(std::string_view text) {
    return Bytes(text.begin(), text.end());
}

class TextFileTest : public ::testing::Test {
  protected:
    sim::Machine machine;
    sim::ScopedMachine use{machine};
};

struct DecodeCase {
    const char* name;
    Bytes bytes;
    Lines lines;
    TextEncoding encoding;
};

TEST_F(TextFileTest, DecodeTextLines) {
    const DecodeCase cases[] = {
        {"Empty", {}, {}, TextEncoding::Ansi},
        {"CrLf", AsBytes("a\r\nb\r\n"), {L"a", L"b"}, TextEncoding::Ansi},
        {"NoFinalLineEnd", AsBytes("a\nb"), {L"a", L"b"}, TextEncoding::Ansi},
        {"BareCr", AsBytes("a\rb\r"), {L"a", L"b"}, TextEncoding::Ansi},
        {"EmptyLinesKept",
         AsBytes("a\r\n\r\nb\n\nc"),
         {L"a", L"", L"b", L"", L"c"},
         TextEncoding::Ansi},
        {"OnlyLineEnds", AsBytes("\r\n\r\n"), {L"", L""}, TextEncoding::Ansi},
        {"LfThenCr", AsBytes("a\n\rb"), {L"a", L"", L"b"}, TextEncoding::Ansi},
        {"AnsiCodePage",
         {'c', 'a', 'f', 0xE9, ' ', 0x80, '\r', '\n'},
         {L"caf\u00e9 \u20ac"},
         TextEncoding::Ansi},
        {"Utf8Mark",
         {0xEF, 0xBB, 0xBF, 'c', 0xC3, 0xA9, '\r', '\n', 'x'},
         {L"c\u00e9", L"x"},
         TextEncoding::Utf8Bom},
        {"Utf8MarkOnly", {0xEF, 0xBB, 0xBF}, {}, TextEncoding::Utf8Bom},
        {"Utf8Invalid", {0xEF, 0xBB, 0xBF, 'a', 0xFF, 'b'}, {L"a\ufffdb"}, TextEncoding::Utf8Bom},
        {"Utf16Le",
         {0xFF, 0xFE, 'a', 0, 0x2D, 0x4E, '\r', 0, '\n', 0, 'b', 0},
         {L"a\u4e2d", L"b"},
         TextEncoding::Utf16LeBom},
        {"Utf16LeOddLength", {0xFF, 0xFE, 'a', 0, 'b'}, {L"a"}, TextEncoding::Utf16LeBom},
        {"Utf16Be",
         {0xFE, 0xFF, 0, 'a', 0x4E, 0x2D, 0, '\n', 0, 'b'},
         {L"a\u4e2d", L"b"},
         TextEncoding::Utf16BeBom},
        {"Utf16BeOddLength", {0xFE, 0xFF, 0, 'a', 0}, {L"a"}, TextEncoding::Utf16BeBom},
        {"ShortIsAnsi", {0xFF}, {L"\u00ff"}, TextEncoding::Ansi},
        {"PartialUtf8MarkIsAnsi", {0xEF, 0xBB}, {L"\u00ef\u00bb"}, TextEncoding::Ansi},
    };
    for (const DecodeCase& c : cases) {
        SCOPED_TRACE(c.name);
        TextEncoding encoding = TextEncoding::Utf16BeBom;
        EXPECT_EQ(DecodeTextLines(c.bytes, &encoding), c.lines);
        EXPECT_EQ(encoding, c.encoding);
    }
}

TEST_F(TextFileTest, BrokenUtf16NeverCrashes) {
    const Bytes inputs[] = {
        {0xFF, 0xFE, 0x00, 0xD8},              // lone high surrogate at the end
        {0xFF, 0xFE, 0x00, 0xDC, 'a', 0},      // lone low surrogate
        {0xFF, 0xFE, 0x00, 0xD8, 0x00, 0xD8},  // two high surrogates
        {0xFE, 0xFF, 0xD8, 0x00, 0x00},        // big-endian, odd length
        {0xFF, 0xFE, 0x3D, 0xD8, 0x00, 0xDE},  // a valid pair
    };
    for (const Bytes& bytes : inputs) {
        const Lines lines = DecodeTextLines(bytes);
        EXPECT_EQ(lines.size(), 1u);
        const Bytes again = EncodeTextLines(lines, TextEncoding::Utf16LeBom);
        EXPECT_GE(again.size(), 4u);
        EncodeTextLines(lines, TextEncoding::Utf8Bom);
        const Bytes ansi = EncodeTextLines(lines, TextEncoding::Ansi);
        ASSERT_GE(ansi.size(), 2u);
        if (ansi[0] == 0xFF) {
            EXPECT_EQ(ansi[1], 0xFE);
        }
    }
}

struct EncodeCase {
    const char* name;
    Lines lines;
    TextEncoding encoding;
    Bytes bytes;
};

TEST_F(TextFileTest, EncodeTextLines) {
    const EncodeCase cases[] = {
        {"AnsiEveryLineEnded", {L"a", L"", L"b"}, TextEncoding::Ansi, AsBytes("a\r\n\r\nb\r\n")},
        {"AnsiNothing", {}, TextEncoding::Ansi, {}},
        {"AnsiCodePage",
         {L"caf\u00e9 \u20ac"},
         TextEncoding::Ansi,
         {'c', 'a', 'f', 0xE9, ' ', 0x80, '\r', '\n'}},
        {"AnsiFallsBackToUtf16",
         {L"a\u4e2d"},
         TextEncoding::Ansi,
         {0xFF, 0xFE, 'a', 0, 0x2D, 0x4E, '\r', 0, '\n', 0}},
        {"Utf8", {L"\u00e9"}, TextEncoding::Utf8Bom, {0xEF, 0xBB, 0xBF, 0xC3, 0xA9, '\r', '\n'}},
        {"Utf16Le", {L"a"}, TextEncoding::Utf16LeBom, {0xFF, 0xFE, 'a', 0, '\r', 0, '\n', 0}},
        {"Utf16Be", {L"a"}, TextEncoding::Utf16BeBom, {0xFE, 0xFF, 0, 'a', 0, '\r', 0, '\n'}},
        {"Utf16LeNothing", {}, TextEncoding::Utf16LeBom, {0xFF, 0xFE}},
    };
    for (const EncodeCase& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(EncodeTextLines(c.lines, c.encoding), c.bytes);
    }
}

TEST_F(TextFileTest, EveryEncodingRoundTrips) {
    const Lines lines = {L"Windows Registry Editor Version 5.00", L"",
                         L"[HKEY_CURRENT_USER\\Software\\Caf\u00e9]", L"\"\u4e2d\"=\"\U0001F600\""};
    const TextEncoding encodings[] = {TextEncoding::Ansi, TextEncoding::Utf8Bom,
                                      TextEncoding::Utf16LeBom, TextEncoding::Utf16BeBom};
    for (TextEncoding encoding : encodings) {
        SCOPED_TRACE(static_cast<int>(encoding));
        TextEncoding read = TextEncoding::Ansi;
        EXPECT_EQ(DecodeTextLines(EncodeTextLines(lines, encoding), &read), lines);
        // ANSI cannot hold these lines, so they come back from UTF-16LE.
        EXPECT_EQ(read, encoding == TextEncoding::Ansi ? TextEncoding::Utf16LeBom : encoding);
    }
}

TEST_F(TextFileTest, ReadAndWriteFiles) {
    const std::wstring path = L"C:\\Data\\Exclusions.txt";
    machine.AddFolder(L"C:\\Data");
    ASSERT_TRUE(WriteTextLines(path, {L"[HKCU]\\Software\\A", L"x=y"}));
    const Bytes* written = machine.FileContents(path);
    ASSERT_NE(written, nullptr);
    EXPECT_EQ(*written, AsBytes("[HKCU]\\Software\\A\r\nx=y\r\n"));

    Lines lines{L"stale"};
    TextEncoding encoding = TextEncoding::Utf8Bom;
    ASSERT_TRUE(ReadTextLines(path, lines, &encoding));
    EXPECT_EQ(lines, (Lines{L"[HKCU]\\Software\\A", L"x=y"}));
    EXPECT_EQ(encoding, TextEncoding::Ansi);

    ASSERT_TRUE(WriteTextLines(path, {L"z"}, TextEncoding::Utf16BeBom));
    ASSERT_TRUE(ReadTextLines(path, lines, &encoding));
    EXPECT_EQ(lines, (Lines{L"z"}));
    EXPECT_EQ(encoding, TextEncoding::Utf16BeBom);

    EXPECT_FALSE(ReadTextLines(L"C:\\Data\\missing.txt", lines));
    EXPECT_TRUE(lines.empty());
}

}  // namespace
}  // namespace bv
