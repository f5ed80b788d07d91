// The Information dialog: a message shown modally over the main window until "OK".
#pragma once

#include <windows.h>

#include <string_view>

namespace bv::ui {

inline constexpr wchar_t kInformationCaption[] = L"Information";
inline constexpr int kInformOkId = 101;
inline constexpr int kInformLabelId = 103;

void Inform(HWND owner, std::wstring_view message);

}  // namespace bv::ui
