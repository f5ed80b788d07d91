// Small Win32 helpers shared by the windows: owned GDI objects, fonts, text measuring, centring
// and the modal loop the dialogs run.
#pragma once

#include <windows.h>

#include <string>
#include <string_view>

namespace bv::ui {

// The "Auric" look: gold accent on the system face colour.
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

// Segoe UI with the given character height in pixels (not scaled with DPI).
GdiObject MakeFont(int pixelHeight, bool bold = false, bool underline = false);

// Width and height of a single line of text in a font.
SIZE TextSize(HWND window, HFONT font, std::wstring_view text);

std::wstring WindowText(HWND window);

// Outer window size for a client area of the given size.
SIZE OuterSize(int clientWidth, int clientHeight, DWORD style, DWORD exStyle);

// Places a window centred over another (or over the work area when owner is null).
void CenterOver(HWND window, HWND owner);

HWND MakeChild(HWND parent, const wchar_t* className, const wchar_t* text, DWORD style, int x,
               int y, int width, int height, int id, HFONT font, DWORD exStyle = 0);

// Shows a dialog window modally: the owner is disabled until `done` turns true, then enabled
// again with its focus back where it was. `focus` gets the keyboard focus first. Enter clicks the
// focused button; Tab and the space bar work as in dialogs; Escape does nothing.
void RunModal(HWND dialog, HWND owner, HWND focus, const bool& done);

// Paints an owner-drawn label: its text wrapped and centred horizontally and vertically.
void DrawCentredLabel(const DRAWITEMSTRUCT& item, COLORREF color);

// Window styles of the small dialogs: fixed size, a caption but no close box or system menu.
constexpr DWORD kDialogStyle = WS_POPUP | WS_CAPTION | WS_CLIPCHILDREN;
constexpr DWORD kDialogExStyle = WS_EX_DLGMODALFRAME | WS_EX_CONTROLPARENT;

// Creates a dialog window of the given client size centred over its owner (hidden).
HWND CreateDialogWindow(const wchar_t* className, const wchar_t* caption, int clientWidth,
                        int clientHeight, HWND owner, void* self);

// Registers a window class once per process (later calls are no-ops).
void RegisterClassOnce(const wchar_t* name, WNDPROC proc, HBRUSH background);

}  // namespace bv::ui
