// Text files the system reads and writes: encoding from a byte-order mark or the ANSI code page
// when reading; ANSI without a mark when lossless, else UTF-16LE with a mark, when writing.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace bv {

enum class TextEncoding { Ansi, Utf8Bom, Utf16LeBom, Utf16BeBom };

// Splits at CR, LF and CR LF; a final line end does not add an empty line.
bool ReadTextLines(const std::wstring& path, std::vector<std::wstring>& lines,
                   TextEncoding* encoding = nullptr);
std::vector<std::wstring> DecodeTextLines(const std::vector<std::uint8_t>& bytes,
                                          TextEncoding* encoding = nullptr);

// Every line followed by CR LF. Ansi falls back to UTF-16LE with a mark when a character does
// not fit the code page.
std::vector<std::uint8_t> EncodeTextLines(const std::vector<std::wstring>& lines,
                                          TextEncoding encoding);
bool WriteTextLines(const std::wstring& path, const std::vector<std::wstring>& lines,
                    TextEncoding encoding = TextEncoding::Ansi);

}  // namespace bv
