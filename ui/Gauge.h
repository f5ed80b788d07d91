// The progress gauge: an owner-drawn bar from 0 to 100 with a single-line border, white
// background, the done part in gold and "NN%" written in its middle. Screen readers see it as a
// progress bar whose value is "NN%".
#pragma once

#include <windows.h>

namespace bv::ui {

inline constexpr wchar_t kGaugeClass[] = L"BrimvaleGauge";

// Registers the window class. The gauge answers PBM_SETPOS (value clamped to 0..100) and
// PBM_GETPOS like a progress bar.
void RegisterGaugeClass();

}  // namespace bv::ui
