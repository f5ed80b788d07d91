// Small Win32 helpers shared by the windows: owned GDI objects, DPI scaling, fonts, colours,
// text measuring, centring, the default-button look and the modal loop the dialogs run.
#pragma once

#include <windows.h>

#include <string>
#include <string_view>

namespace bv::ui {

// The "Auric" look: gold accent on the system face colour. The accents are made for a light face:
// see UseSystemColours.
constexpr COLORREF kGold = RGB(255, 204, 51);
constexpr COLORREF kBandBack = RGB(255, 243, 207);
constexpr COLORREF kBandText = RGB(102, 68, 0);
constexpr COLORREF kLinkText = RGB(153, 102, 0);
constexpr COLORREF kDialogText = RGB(102, 102, 102);
constexpr COLORREF kAboutLinkText = RGB(0, 0, 255);

// Owns one GDI object (font, brush, bitmap); moves, never copies.
class GdiObject {
  public:
    GdiObject() = default;
    explicit GdiObject(HGDIOBJ object) : object_(object) {}
    GdiObject(GdiObject&& other) noexcept : object_(other.Release()) {}
    GdiObject& operator=(GdiObject&& other) noexcept {
        if (this != &other) {
            Reset(other.Release());
        }
        return *this;
    }
    GdiObject(const GdiObject&) = delete;
    GdiObject& operator=(const GdiObject&) = delete;
    ~GdiObject() { Reset(); }

    void Reset(HGDIOBJ object = nullptr) {
        if (object_ != nullptr) {
            DeleteObject(object_);
        }
        object_ = object;
    }
    HGDIOBJ Release() {
        HGDIOBJ o = object_;
        object_ = nullptr;
        return o;
    }
    HGDIOBJ Get() const { return object_; }
    HFONT Font() const { return static_cast<HFONT>(object_); }
    HBRUSH Brush() const { return static_cast<HBRUSH>(object_); }

  private:
    HGDIOBJ object_ = nullptr;
};

// Layout figures are given at 96 DPI and scaled to the window's DPI.
inline constexpr UINT kBaseDpi = 96;
inline int Scale(int value, UINT dpi) {
    return MulDiv(value, static_cast<int>(dpi), static_cast<int>(kBaseDpi));
}
// The window's DPI (its monitor's on Windows 10 and later), else the system's.
UINT WindowDpi(HWND window);
// The DPI of the primary monitor, where a new top-level window opens (Windows 8.1 and later),
// else the system's.
UINT PrimaryMonitorDpi();

// Segoe UI with the given character height in pixels at 96 DPI, scaled to `dpi`.
GdiObject MakeFont(UINT dpi, int pixelHeight, bool bold = false, bool underline = false);

// Width and height of a single line of text in a font.
SIZE TextSize(HWND window, HFONT font, std::wstring_view text);

std::wstring WindowText(HWND window);

// Outer window size for a client area of the given size (in pixels at `dpi`).
SIZE OuterSize(int clientWidth, int clientHeight, DWORD style, DWORD exStyle, UINT dpi);

// Gives a window the client size asked for, measuring its frame as it is now.
void SetClientSize(HWND window, int clientWidth, int clientHeight);

// Places a window centred over another (or over the work area when owner is null).
void CenterOver(HWND window, HWND owner);

// Moves and sizes a child to a rectangle given at 96 DPI, scaled to `dpi`, and sets its font.
void PlaceScaled(HWND child, int x, int y, int width, int height, UINT dpi, HFONT font);

HWND MakeChild(HWND parent, const wchar_t* className, const wchar_t* text, DWORD style, int x,
               int y, int width, int height, int id, HFONT font, DWORD exStyle = 0);

// Under a high-contrast theme, or when the face colour is dark, text and backgrounds come from
// the system colours instead of the accents.
bool UseSystemColours();
// Text on the face colour: the accent, or the system's button text.
COLORREF FaceText(COLORREF accent);
// A link on the face colour: the accent, or the system's link colour.
COLORREF LinkText(COLORREF accent);

// Gives a push button the default-button look while it has the keyboard focus, so the look
// always shows what Enter does.
void DefaultLookFollowsFocus(HWND button);
// The answer to DM_GETDEFID: the focused push button. Tab in IsDialogMessage asks it after
// moving the focus, to give the default look back to that button.
LRESULT FocusedDefaultId(HWND window);
// Enter (not a key repeat) clicks the focused push button or link of `window`. True when the
// message was such an Enter, whether or not something was clicked.
bool ClickFocusedOnEnter(HWND window, const MSG& msg);

// Shows a dialog window modally: the owner is disabled until `done` turns true, then enabled
// again with its focus back where it was. `focus` gets the keyboard focus first. Enter clicks the
// focused button or link; Tab and the space bar work as in dialogs; Escape does nothing.
void RunModal(HWND dialog, HWND owner, HWND focus, const bool& done);

// Paints an owner-drawn label: its text wrapped and centred horizontally and vertically.
void DrawCentredLabel(const DRAWITEMSTRUCT& item, COLORREF color);

// Window styles of the small dialogs: fixed size, a caption but no close box or system menu.
constexpr DWORD kDialogStyle = WS_POPUP | WS_CAPTION | WS_CLIPCHILDREN;
constexpr DWORD kDialogExStyle = WS_EX_DLGMODALFRAME | WS_EX_CONTROLPARENT;

// Creates a dialog window with the given client size at 96 DPI, scaled to `dpi` and centred over
// its owner (hidden).
HWND CreateDialogWindow(const wchar_t* className, const wchar_t* caption, int clientWidth,
                        int clientHeight, HWND owner, UINT dpi, void* self);
// A dialog's answer to WM_DPICHANGED: its client size at 96 DPI scaled to the new DPI, placed
// where the system suggests.
void ResizeDialogForDpi(HWND dialog, int clientWidth, int clientHeight, UINT dpi,
                        const RECT& suggested);

// The messages every small dialog answers alike: a new scale (the form is laid out again by its
// own Layout), the default button's id, and a close request that ends the dialog. Sets `result`
// and returns true for those.
template <typename Form>
bool HandleDialogMessage(HWND window, Form& form, int clientWidth, int clientHeight, UINT message,
                         WPARAM wParam, LPARAM lParam, LRESULT& result) {
    switch (message) {
        case WM_DPICHANGED:
            form.dpi = HIWORD(wParam);
            ResizeDialogForDpi(window, clientWidth, clientHeight, form.dpi,
                               *reinterpret_cast<const RECT*>(lParam));
            Layout(form);
            result = 0;
            return true;
        case DM_GETDEFID:
            result = FocusedDefaultId(window);
            return true;
        case WM_CLOSE:
            form.done = true;
            result = 0;
            return true;
        default:
            return false;
    }
}

// Tells screen readers what a control is called when its text does not say it (Windows'
// dynamic annotation; nothing happens where that is missing). Cleared before the control goes.
void AnnotateName(HWND control, const wchar_t* name);
void ClearAnnotatedName(HWND control);

// Owns a COM apartment on the calling thread (the accessible objects are handed out through
// COM); leaves the thread as it was when one was already there.
class ComApartment {
  public:
    ComApartment();
    ~ComApartment();
    ComApartment(const ComApartment&) = delete;
    ComApartment& operator=(const ComApartment&) = delete;

  private:
    bool initialized_ = false;
};

// Registers a window class once per process (later calls are no-ops).
void RegisterClassOnce(const wchar_t* name, WNDPROC proc, HBRUSH background);

}  // namespace bv::ui
