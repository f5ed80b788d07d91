// The main window: status line and gauge, the grouped result list, the action buttons and the
// bottom strip. It implements the engine's WindowPort and owns the run's RunState.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string_view>

#include "engine/RunState.h"
#include "ui/ResultList.h"
#include "ui/UiCommon.h"

namespace bv::ui {

inline constexpr wchar_t kMainTitle[] = L"Brimvale";
inline constexpr wchar_t kMainClass[] = L"BrimvaleMainWindow";
inline constexpr wchar_t kRestoreMessageName[] = L"BVRestore";
inline constexpr WPARAM kRestoreMarker = 1025;

// Control ids (none is IDOK or IDCANCEL, which dialog keys would send).
enum ControlId : int {
    kIdButton1 = 1001,
    kIdButton2,
    kIdButton3,
    kIdButton4,
    kIdInfoLabel,
    kIdProgressBar,
    kIdInfoList,
    kIdUndoCheck,
    kIdUndoLabel,
    kIdExclusionsLabel,
    kIdInfoBox,
    kIdActionsBox,
    kIdDetailsBox,
    kIdAdditionallyBox,
    kIdPopupMenuItem1 = 1100,
};

class MainWindow final : public WindowPort {
  public:
    // Creates the (hidden) main window; CreateForm runs during creation. Null on failure.
    static MainWindow* Create(HINSTANCE instance);
    static MainWindow* FromHandle(HWND window);

    HWND Handle() const { return hwnd_; }
    RunState& State() { return state_; }
    ResultList& List() { return list_; }
    void Show(int showCommand);

    // WindowPort
    void SetCaption(Control control, std::wstring_view caption) override;
    void SetEnabled(Control control, bool enabled) override;
    void Focus(Control control) override;
    bool UndoChecked() const override;
    void SetInfoText(std::wstring_view text) override;
    void SetInfoTop(int top) override;
    void SetInfoAlignment(Alignment alignment) override;
    void SetGauge(int percent) override;
    void ShowGauge(bool visible) override;
    void EnableTimer(bool enabled) override;
    bool Confirm(std::wstring_view question) override;
    void Inform(std::wstring_view message) override;
    void ResultsCleared() override;
    void ResultsAppended() override;
    void Pump() override;
    std::uintptr_t OwnerHandle() const override;

    // One message of any loop of this thread: dialog keys for the window, then dispatch.
    void DispatchOne(MSG& msg);

    // The DPI the window is laid out for.
    UINT Dpi() const { return dpi_; }

  private:
    // Counts a modal loop (dialog, menu, the editor walk) running over the window; closing is
    // refused meanwhile, since the code below it still uses the window.
    class ModalScope {
      public:
        explicit ModalScope(MainWindow& window) : window_(window) { ++window_.modalDepth_; }
        ~ModalScope() { --window_.modalDepth_; }
        ModalScope(const ModalScope&) = delete;
        ModalScope& operator=(const ModalScope&) = delete;

      private:
        MainWindow& window_;
    };

    MainWindow();
    static LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    static LRESULT CALLBACK GetMessageHook(int code, WPARAM wParam, LPARAM lParam);
    LRESULT OnMessage(UINT message, WPARAM wParam, LPARAM lParam);

    // Life-cycle handlers.
    void CreateForm();
    void ShowForm();
    void ResizeForm();
    void CloseForm();
    void DestroyForm();
    void DpiChanged(UINT dpi, const RECT& suggested);
    void ColoursChanged();
    void EventsMessage(const MSG& msg);
    // Control handlers.
    void OnCommand(int id, int code);
    LRESULT OnNotify(NMHDR* header);
    void OnContextMenu(HWND source, LPARAM position);
    void ListClick(int index);
    void Button3Click();
    void Button4Click();
    LRESULT OnColorStatic(HDC dc, HWND control);
    bool OnSetCursor(HWND over);
    template <typename F>
    void Guarded(F&& handler);

    HWND ControlHandle(Control control) const;
    void CreateControls();
    void ApplyFonts();
    void Layout();
    int S(int value) const { return Scale(value, dpi_); }

    ComApartment com_;  // first: the accessible objects are handed out through it
    RunState state_;
    ResultList list_;
    HWND hwnd_ = nullptr;
    UINT RestoreMessageId = 0;
    HHOOK hook_ = nullptr;
    bool shown_ = false;
    HWND lastFocus_ = nullptr;
    ULONGLONG lastPump_ = 0;
    int infoTop_ = 18;
    int modalDepth_ = 0;
    UINT dpi_ = kBaseDpi;
    GdiObject font_;
    GdiObject linkFont_;
    HMENU PopupMenu1 = nullptr;
    HWND Button1 = nullptr, Button2 = nullptr, Button3 = nullptr, Button4 = nullptr;
    HWND InfoLabel = nullptr, ProgressBar = nullptr, UndoCheck = nullptr, UndoLabel = nullptr,
         ExclusionsLabel = nullptr;
    HWND InfoBox = nullptr, ActionsBox = nullptr, DetailsBox = nullptr, AdditionallyBox = nullptr;
};

// Runs the thread's message loop until the main window has closed. Returns the quit code.
int RunMessageLoop(HWND mainWindow);

}  // namespace bv::ui
