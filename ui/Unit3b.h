// The Confirmation dialog: a yes/no question asked modally over the main window.
#pragma once

#include <windows.h>

#include <string_view>

namespace bv::ui {

inline constexpr wchar_t kConfirmationCaption[] = L"Confirmation";
inline constexpr int kConfirmNoId = 101;   // Button1 "No"
inline constexpr int kConfirmYesId = 102;  // Button2 "Yes"
inline constexpr int kConfirmLabelId = 103;

// Shows the question and returns true only when "Yes" was pressed; any other way of closing
// the dialog answers "No".
bool Confirm(HWND owner, std::wstring_view question);

}  // namespace bv::ui
