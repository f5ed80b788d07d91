// Helpers shared by the fuzz targets: turning fuzz bytes into wide text and stopping on a
// broken invariant with a readable message.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace bv::fuzz {

// Every two bytes one UTF-16 code unit (lone surrogates and NUL included), as registry text
// holds them; an odd last byte is dropped.
std::wstring WideFromBytes(const std::uint8_t* data, std::size_t size);

// Prints the message and aborts, so libFuzzer keeps the input as a crash.
[[noreturn]] void Fail(std::string_view what, std::wstring_view detail = {});

}  // namespace bv::fuzz

#define BV_FUZZ_CHECK(cond, ...)                                                 \
    do {                                                                         \
        if (!(cond)) {                                                           \
            ::bv::fuzz::Fail("check failed: " #cond __VA_OPT__(, ) __VA_ARGS__); \
        }                                                                        \
    } while (false)
