// Portable conversions between wide text and the UTF-16LE / UTF-8 bytes that registry data and
// files hold. wchar_t is 16-bit on Windows and 32-bit on Linux; these never assume either.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace bv {

// UTF-16 code units of a wide text (surrogate pairs for code points above U+FFFF on Linux).
std::u16string ToUtf16(std::wstring_view text);
// Wide text from UTF-16 code units; unpaired surrogates are kept as they are.
std::wstring FromUtf16(std::u16string_view units);

std::vector<std::uint8_t> ToUtf16LeBytes(std::wstring_view text);
// A trailing odd byte is ignored.
std::wstring FromUtf16LeBytes(const std::uint8_t* bytes, std::size_t size);
std::wstring FromUtf16BeBytes(const std::uint8_t* bytes, std::size_t size);

std::string ToUtf8(std::wstring_view text);
// Invalid sequences become U+FFFD.
std::wstring FromUtf8(std::string_view bytes);

}  // namespace bv
