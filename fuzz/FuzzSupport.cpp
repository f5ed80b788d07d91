// Helpers shared by the fuzz targets.
#include "fuzz/FuzzSupport.h"

#include <cstdio>
#include <cstdlib>

#include "platform/Utf16.h"

namespace bv::fuzz {

std::wstring WideFromBytes(const std::uint8_t* data, std::size_t size) {
    return FromUtf16LeBytes(data, size);
}

void Fail(std::string_view what, std::wstring_view detail) {
    std::fprintf(stderr, "%.*s\n", static_cast<int>(what.size()), what.data());
    if (!detail.empty()) {
        const std::string text = ToUtf8(detail);
        std::fprintf(stderr, "  %.*s\n", static_cast<int>(text.size()), text.data());
    }
    std::abort();
}

}  // namespace bv::fuzz
