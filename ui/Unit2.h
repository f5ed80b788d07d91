// The About box: product name, version, copyright and the homepage and support links.
#pragma once

#include <windows.h>

namespace bv::ui {

inline constexpr wchar_t kAboutCaption[] = L"About";
inline constexpr wchar_t kHomePage[] = L"https://brimvale.example.org/";
inline constexpr wchar_t kSupportAddress[] = L"support@brimvale.example.org";
inline constexpr wchar_t kCopyright[] = L"Copyright \u00A9 2024 The Brimvale authors";
inline constexpr int kAboutCloseId = 101;
inline constexpr int kAboutHomePageId = 102;
inline constexpr int kAboutSupportId = 103;

// Creates the About box, shows it modally over the owner and destroys it when it closes.
void ShowAbout(HWND owner);

}  // namespace bv::ui
