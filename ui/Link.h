// A link control: underlined text with the hand cursor that a mouse click, the space bar, Enter
// (through the window's loop) or BM_CLICK opens; it takes the focus by Tab and shows it.
#pragma once

#include <windows.h>

namespace bv::ui {

inline constexpr wchar_t kLinkClass[] = L"BrimvaleLink";

// Registers the window class. A link tells its parent WM_COMMAND with STN_CLICKED, as a
// notifying static would, and asks it for its colours with WM_CTLCOLORSTATIC.
void RegisterLinkClass();
bool IsLink(HWND window);

}  // namespace bv::ui
