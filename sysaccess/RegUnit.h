// The registry reader: nine operations that each open their own handle on a key, do one thing,
// close it and return a plain value. Every failure reads as absence.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "platform/Platform.h"

namespace bv {

using platform::kHkeyClassesRoot;
using platform::kHkeyCurrentUser;
using platform::kHkeyLocalMachine;

// What a long registry walk needs from the run it belongs to: the stop flag and the pump.
class ScanControl {
  public:
    virtual ~ScanControl() = default;
    virtual bool ScanInProgress() const = 0;
    virtual void Pump() = 0;  // lets pending window messages be handled
};

// Owns one open registry handle; closed on every path.
class RegKey {
  public:
    RegKey() = default;
    explicit RegKey(platform::HKey handle) : handle_(handle) {}
    ~RegKey() { Close(); }
    RegKey(const RegKey&) = delete;
    RegKey& operator=(const RegKey&) = delete;
    RegKey(RegKey&& other) noexcept : handle_(other.handle_) { other.handle_ = 0; }
    RegKey& operator=(RegKey&& other) noexcept;
    platform::HKey Get() const { return handle_; }
    explicit operator bool() const { return handle_ != 0; }
    void Close();

  private:
    platform::HKey handle_ = 0;
};

// Read-only open with the three masks in turn (64-bit view); empty RegKey when none succeeds.
RegKey OpenKeyReadOnly(std::uint32_t root, std::wstring_view path);

// Raw reads on an open key, for the few callers that read types and data themselves.
bool QueryValueType(const RegKey& key, std::wstring_view name, std::uint32_t& type);
bool QueryValueData(const RegKey& key, std::wstring_view name, std::uint32_t& type,
                    std::vector<std::uint8_t>& data);
// Text of a REG_SZ/REG_EXPAND_SZ value up to its first NUL, not trimmed; false when the value
// is missing, of another type or unreadable.
bool QueryStringAsStored(const RegKey& key, std::wstring_view name, std::wstring& text);
std::int32_t ListSubkeys(const RegKey& key, std::vector<std::wstring>& names);
std::int32_t ListValueNames(const RegKey& key, std::vector<std::wstring>& names);

std::int32_t ListSubkeys(std::uint32_t root, std::wstring_view path,
                         std::vector<std::wstring>& names);
std::int32_t ListValueNames(std::uint32_t root, std::wstring_view path,
                            std::vector<std::wstring>& names);
std::wstring ReadStringValue(std::uint32_t root, std::wstring_view path, std::wstring_view name);
std::int32_t ReadIntegerValue(std::uint32_t root, std::wstring_view path, std::wstring_view name);
bool KeyExists(std::uint32_t root, std::wstring_view path);
bool KeyHasSubkeys(std::uint32_t root, std::wstring_view path);
// Full access open of an existing key; never creates it.
bool ValueExistsInKey(std::uint32_t root, std::wstring_view path, std::wstring_view name);
bool CanOpenKeyForWrite(std::uint32_t root, std::wstring_view path);

// Adds to errorTotal the number of values of the first key, in pre-order, that has any. When
// the walk was cut short by a stop (or went deeper than any real key, following a link cycle),
// returns false: its zero must not be read as "empty".
bool KeyTreeHasValues(std::uint32_t root, std::wstring_view path, std::int32_t& errorTotal,
                      ScanControl& control);

// Removes characters with a code of 32 or less from both ends.
std::wstring TrimControl(std::wstring_view text);

}  // namespace bv
