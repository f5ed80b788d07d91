// Windows-1252, the ANSI code page of the simulated machine, both ways.
#include "platform/sim/SimMachine.h"

namespace bv::sim {

namespace {

// 0x80..0x9F; the five bytes 1252 leaves undefined map to the C1 control of the same number,
// as Windows' MultiByteToWideChar and WideCharToMultiByte do.
constexpr char16_t kHigh[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,
};

}  // namespace

std::string ToCodepage1252(std::wstring_view text, bool* usedDefault) {
    std::string out;
    out.reserve(text.size());
    bool defaulted = false;
    for (wchar_t wc : text) {
        const std::uint32_t c = static_cast<std::uint32_t>(wc);
        int byte = -1;
        if (c < 0x80 || (c >= 0xA0 && c <= 0xFF)) {
            byte = static_cast<int>(c);
        } else {
            for (int i = 0; i < 32; ++i) {
                if (kHigh[i] == c) {
                    byte = 0x80 + i;
                    break;
                }
            }
        }
        if (byte < 0) {
            byte = '?';
            defaulted = true;
        }
        out.push_back(static_cast<char>(byte));
    }
    if (usedDefault != nullptr) {
        *usedDefault = defaulted;
    }
    return out;
}

std::wstring FromCodepage1252(std::string_view bytes) {
    std::wstring out;
    out.reserve(bytes.size());
    for (char ch : bytes) {
        const unsigned char b = static_cast<unsigned char>(ch);
        out.push_back(b >= 0x80 && b < 0xA0 ? static_cast<wchar_t>(kHigh[b - 0x80])
                                            : static_cast<wchar_t>(b));
    }
    return out;
}

}  // namespace bv::sim
