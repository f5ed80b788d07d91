// What the scan and fix runs need from the main window. The Win32 window implements it; host
// tests implement it with a recorder whose Pump can re-enter the button handlers.
#pragma once

#include <cstdint>
#include <string_view>

namespace bv {

enum class Control { Button1, Button2, Button3, Button4, UndoCheck, UndoLabel, ExclusionsLabel };
enum class Alignment { Left, Center };

class WindowPort {
  public:
    virtual ~WindowPort() = default;

    virtual void SetCaption(Control control, std::wstring_view caption) = 0;
    virtual void SetEnabled(Control control, bool enabled) = 0;
    virtual void Focus(Control control) = 0;
    virtual bool UndoChecked() const = 0;

    virtual void SetInfoText(std::wstring_view text) = 0;
    virtual void SetInfoTop(int top) = 0;
    virtual void SetInfoAlignment(Alignment alignment) = 0;

    virtual void SetGauge(int percent) = 0;  // clamped to 0..100 by the window
    virtual void ShowGauge(bool visible) = 0;
    virtual void EnableTimer(bool enabled) = 0;

    // Modal Confirmation dialog: true only for "Yes".
    virtual bool Confirm(std::wstring_view question) = 0;
    // Modal Information dialog.
    virtual void Inform(std::wstring_view message) = 0;

    // The result list shows ScanResults; these say that it changed.
    virtual void ResultsCleared() = 0;
    virtual void ResultsAppended() = 0;

    // Handles every window message that is waiting, then returns.
    virtual void Pump() = 0;
    // Owner window for shell calls (0 when there is none).
    virtual std::uintptr_t OwnerHandle() const = 0;
};

}  // namespace bv
