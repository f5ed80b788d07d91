// Text files: the encoding comes from a byte-order mark or else the ANSI code page; lines end at
// CR, LF or CR LF. Writing never loses a character: ANSI gives way to UTF-16LE when needed.
#include "sysaccess/TextFile.h"

#include <string>
#include <string_view>
#include <utility>

#include "platform/Platform.h"
#include "platform/Utf16.h"

namespace bv {

namespace {

constexpr std::uint8_t kUtf8Mark[] = {0xEF, 0xBB, 0xBF};
constexpr std::uint8_t kUtf16LeMark[] = {0xFF, 0xFE};
constexpr std::uint8_t kUtf16BeMark[] = {0xFE, 0xFF};

template <std::size_t N>
bool StartsWith(const std::vector<std::uint8_t>& bytes, const std::uint8_t (&mark)[N]) {
    if (bytes.size() < N) {
        return false;
    }
    for (std::size_t i = 0; i < N; ++i) {
        if (bytes[i] != mark[i]) {
            return false;
        }
    }
    return true;
}

std::vector<std::wstring> SplitLines(std::wstring_view text) {
    std::vector<std::wstring> lines;
    std::size_t start = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const wchar_t c = text[i];
        if (c != L'\r' && c != L'\n') {
            continue;
        }
        lines.emplace_back(text.substr(start, i - start));
        if (c == L'\r' && i + 1 < text.size() && text[i + 1] == L'\n') {
            ++i;
        }
        start = i + 1;
    }
    if (start < text.size()) {
        lines.emplace_back(text.substr(start));
    }
    return lines;
}

// The mark followed by the body. Byte by byte: GCC 12 at -O2 misreads a range insert into a
// fresh vector as an overflow.
template <std::size_t N, typename Body>
std::vector<std::uint8_t> WithMark(const std::uint8_t (&mark)[N], const Body& body) {
    std::vector<std::uint8_t> bytes;
    bytes.reserve(N + body.size());
    for (std::uint8_t b : mark) {
        bytes.push_back(b);
    }
    for (auto b : body) {
        bytes.push_back(static_cast<std::uint8_t>(b));
    }
    return bytes;
}

std::vector<std::uint8_t> Utf16LeWithMark(const std::wstring& text) {
    return WithMark(kUtf16LeMark, ToUtf16LeBytes(text));
}

}  // namespace

std::vector<std::wstring> DecodeTextLines(const std::vector<std::uint8_t>& bytes,
                                          TextEncoding* encoding) {
    TextEncoding found = TextEncoding::Ansi;
    std::wstring text;
    if (StartsWith(bytes, kUtf8Mark)) {
        found = TextEncoding::Utf8Bom;
        text = FromUtf8(
            std::string_view(reinterpret_cast<const char*>(bytes.data()) + 3, bytes.size() - 3));
    } else if (StartsWith(bytes, kUtf16LeMark)) {
        found = TextEncoding::Utf16LeBom;
        text = FromUtf16LeBytes(bytes.data() + 2, bytes.size() - 2);
    } else if (StartsWith(bytes, kUtf16BeMark)) {
        found = TextEncoding::Utf16BeBom;
        text = FromUtf16BeBytes(bytes.data() + 2, bytes.size() - 2);
    } else {
        text = platform::AnsiToWide(
            std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()));
    }
    if (encoding != nullptr) {
        *encoding = found;
    }
    return SplitLines(text);
}

bool ReadTextLines(const std::wstring& path, std::vector<std::wstring>& lines,
                   TextEncoding* encoding) {
    lines.clear();
    std::vector<std::uint8_t> bytes;
    if (!platform::ReadFileBytes(path, bytes)) {
        return false;
    }
    lines = DecodeTextLines(bytes, encoding);
    return true;
}

std::vector<std::uint8_t> EncodeTextLines(const std::vector<std::wstring>& lines,
                                          TextEncoding encoding) {
    std::wstring text;
    for (const std::wstring& line : lines) {
        text += line;
        text += L"\r\n";
    }
    switch (encoding) {
        case TextEncoding::Ansi: {
            bool usedDefault = false;
            const std::string ansi = platform::WideToAnsi(text, &usedDefault);
            // Best-fit mappings do not report themselves: only a round trip proves lossless.
            if (usedDefault || platform::AnsiToWide(ansi) != text) {
                return Utf16LeWithMark(text);
            }
            return std::vector<std::uint8_t>(ansi.begin(), ansi.end());
        }
        case TextEncoding::Utf8Bom:
            return WithMark(kUtf8Mark, ToUtf8(text));
        case TextEncoding::Utf16LeBom:
            return Utf16LeWithMark(text);
        case TextEncoding::Utf16BeBom: {
            std::vector<std::uint8_t> swapped = ToUtf16LeBytes(text);
            for (std::size_t i = 0; i + 1 < swapped.size(); i += 2) {
                std::swap(swapped[i], swapped[i + 1]);
            }
            return WithMark(kUtf16BeMark, swapped);
        }
    }
    return {};
}

bool WriteTextLines(const std::wstring& path, const std::vector<std::wstring>& lines,
                    TextEncoding encoding) {
    return platform::WriteFileBytes(path, EncodeTextLines(lines, encoding));
}

}  // namespace bv
