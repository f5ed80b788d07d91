// Fuzz target: decoding text files (byte-order marks, odd lengths, invalid UTF-16 and UTF-8,
// the ANSI code page) and writing the lines back in the encoding they were read in.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "fuzz/FuzzSupport.h"
#include "sysaccess/TextFile.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::vector<std::uint8_t> bytes(data, data + size);
    bv::TextEncoding encoding = bv::TextEncoding::Ansi;
    const std::vector<std::wstring> lines = bv::DecodeTextLines(bytes, &encoding);
    for (const std::wstring& line : lines) {
        BV_FUZZ_CHECK(line.find_first_of(L"\r\n") == std::wstring::npos, line);
    }

    // Written back in the encoding it was read in (or UTF-16 when ANSI cannot hold it), the
    // lines read the same.
    const std::vector<std::uint8_t> written = bv::EncodeTextLines(lines, encoding);
    const std::vector<std::wstring> again = bv::DecodeTextLines(written);
    BV_FUZZ_CHECK(again == lines);
    return 0;
}
