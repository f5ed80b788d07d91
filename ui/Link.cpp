// The link control's window class: paints its text in the colours its parent gives, a focus
// rectangle while focused, and reports clicks from the mouse, the space bar and BM_CLICK.
#include "ui/Link.h"

#include <string>

#include "ui/UiCommon.h"

namespace bv::ui {
namespace {

// Window extra bytes: whether the mouse or the space bar pressed the link, and its font.
constexpr int kPressedOffset = 0;
constexpr int kFontOffset = sizeof(LONG_PTR);

bool Pressed(HWND link) {
    return GetWindowLongPtrW(link, kPressedOffset) != 0;
}

void SetPressed(HWND link, bool pressed) {
    SetWindowLongPtrW(link, kPressedOffset, pressed ? 1 : 0);
}

void Notify(HWND link) {
    HWND parent = GetParent(link);
    if (parent != nullptr && IsWindowEnabled(link)) {
        SendMessageW(parent, WM_COMMAND, MAKEWPARAM(GetDlgCtrlID(link), STN_CLICKED),
                     reinterpret_cast<LPARAM>(link));
    }
}

void Paint(HWND link) {
    PAINTSTRUCT ps;
    HDC dc = BeginPaint(link, &ps);
    RECT client;
    GetClientRect(link, &client);
    HWND parent = GetParent(link);
    auto brush = reinterpret_cast<HBRUSH>(SendMessageW(
        parent, WM_CTLCOLORSTATIC, reinterpret_cast<WPARAM>(dc), reinterpret_cast<LPARAM>(link)));
    FillRect(dc, &client, brush != nullptr ? brush : GetSysColorBrush(COLOR_BTNFACE));
    if (!IsWindowEnabled(link)) {
        SetTextColor(dc, GetSysColor(COLOR_GRAYTEXT));
    }
    SetBkMode(dc, TRANSPARENT);
    auto font = reinterpret_cast<HFONT>(SendMessageW(link, WM_GETFONT, 0, 0));
    HGDIOBJ old = font != nullptr ? SelectObject(dc, font) : nullptr;
    std::wstring text = WindowText(link);
    DrawTextW(dc, text.c_str(), static_cast<int>(text.size()), &client,
              DT_LEFT | DT_TOP | DT_SINGLELINE | DT_NOPREFIX);
    if (GetFocus() == link) {
        DrawFocusRect(dc, &client);
    }
    if (old != nullptr) {
        SelectObject(dc, old);
    }
    EndPaint(link, &ps);
}

LRESULT CALLBACK LinkProc(HWND link, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_PAINT:
            Paint(link);
            return 0;
        case WM_ERASEBKGND:
            return 1;
        case WM_SETFONT:
            SetWindowLongPtrW(link, kFontOffset, static_cast<LONG_PTR>(wParam));
            if (LOWORD(lParam) != 0) {
                InvalidateRect(link, nullptr, TRUE);
            }
            return 0;
        case WM_GETFONT:
            return GetWindowLongPtrW(link, kFontOffset);
        case WM_SETTEXT:
        case WM_ENABLE: {
            LRESULT result = DefWindowProcW(link, message, wParam, lParam);
            InvalidateRect(link, nullptr, TRUE);
            return result;
        }
        case WM_GETDLGCODE:
            return DLGC_BUTTON;
        case WM_SETFOCUS:
        case WM_KILLFOCUS:
            SetPressed(link, false);
            InvalidateRect(link, nullptr, TRUE);
            return 0;
        case WM_LBUTTONDOWN:
            if (GetFocus() != link && (GetWindowLongPtrW(link, GWL_STYLE) & WS_TABSTOP) != 0) {
                SetFocus(link);
            }
            SetPressed(link, true);
            SetCapture(link);
            return 0;
        case WM_LBUTTONUP: {
            bool wasPressed = Pressed(link);
            SetPressed(link, false);
            if (GetCapture() == link) {
                ReleaseCapture();
            }
            RECT client;
            GetClientRect(link, &client);
            POINT at{static_cast<short>(LOWORD(lParam)), static_cast<short>(HIWORD(lParam))};
            if (wasPressed && PtInRect(&client, at)) {
                Notify(link);
            }
            return 0;
        }
        case WM_KEYDOWN:
            if (wParam == VK_SPACE && (lParam & (1 << 30)) == 0) {
                SetPressed(link, true);
            }
            return 0;
        case WM_KEYUP:
            if (wParam == VK_SPACE && Pressed(link)) {
                SetPressed(link, false);
                Notify(link);
            }
            return 0;
        case BM_CLICK:
            Notify(link);
            return 0;
        default:
            break;
    }
    return DefWindowProcW(link, message, wParam, lParam);
}

}  // namespace

void RegisterLinkClass() {
    HINSTANCE instance = GetModuleHandleW(nullptr);
    WNDCLASSEXW existing{};
    existing.cbSize = sizeof(existing);
    if (GetClassInfoExW(instance, kLinkClass, &existing)) {
        return;
    }
    WNDCLASSEXW wc{};
    wc.cbSize = sizeof(wc);
    wc.lpfnWndProc = LinkProc;
    wc.hInstance = instance;
    wc.hCursor = LoadCursorW(nullptr, IDC_HAND);
    wc.cbWndExtra = 2 * sizeof(LONG_PTR);
    wc.lpszClassName = kLinkClass;
    RegisterClassExW(&wc);
}

bool IsLink(HWND window) {
    wchar_t name[32] = {};
    return window != nullptr && GetClassNameW(window, name, 32) > 0 &&
           lstrcmpW(name, kLinkClass) == 0;
}

}  // namespace bv::ui
