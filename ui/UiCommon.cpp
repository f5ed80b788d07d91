// Small Win32 helpers shared by the windows: fonts, measuring, centring and the dialogs' modal
// loop (our own, so Enter and Escape behave exactly as the dialogs need).
#include "ui/UiCommon.h"

#include <vector>

namespace bv::ui {

GdiObject MakeFont(int pixelHeight, bool bold, bool underline) {
    return GdiObject(CreateFontW(-pixelHeight, 0, 0, 0, bold ? FW_BOLD : FW_NORMAL, FALSE,
                                 underline ? TRUE : FALSE, FALSE, DEFAULT_CHARSET,
                                 OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, CLEARTYPE_QUALITY,
                                 DEFAULT_PITCH | FF_SWISS, L"Segoe UI"));
}

SIZE TextSize(HWND window, HFONT font, std::wstring_view text) {
    SIZE size{0, 0};
    HDC dc = GetDC(window);
    if (dc == nullptr) {
        return size;
    }
    HGDIOBJ old = SelectObject(dc, font);
    GetTextExtentPoint32W(dc, text.data(), static_cast<int>(text.size()), &size);
    SelectObject(dc, old);
    ReleaseDC(window, dc);
    return size;
}

std::wstring WindowText(HWND window) {
    int length = GetWindowTextLengthW(window);
    std::vector<wchar_t> buffer(static_cast<size_t>(length) + 1, L'\0');
    int got = GetWindowTextW(window, buffer.data(), length + 1);
    return std::wstring(buffer.data(), got > 0 ? static_cast<size_t>(got) : 0);
}

SIZE OuterSize(int clientWidth, int clientHeight, DWORD style, DWORD exStyle) {
    RECT r{0, 0, clientWidth, clientHeight};
    AdjustWindowRectEx(&r, style, FALSE, exStyle);
    return SIZE{r.right - r.left, r.bottom - r.top};
}

void CenterOver(HWND window, HWND owner) {
    RECT area{};
    if (owner != nullptr && !IsIconic(owner)) {
        GetWindowRect(owner, &area);
    } else {
        SystemParametersInfoW(SPI_GETWORKAREA, 0, &area, 0);
    }
    RECT own{};
    GetWindowRect(window, &own);
    int width = own.right - own.left;
    int height = own.bottom - own.top;
    int x = area.left + (area.right - area.left - width) / 2;
    int y = area.top + (area.bottom - area.top - height) / 2;
    SetWindowPos(window, nullptr, x, y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

HWND MakeChild(HWND parent, const wchar_t* className, const wchar_t* text, DWORD style, int x,
               int y, int width, int height, int id, HFONT font, DWORD exStyle) {
    HWND child = CreateWindowExW(
        exStyle, className, text, WS_CHILD | style, x, y, width, height, parent,
        reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)),
        reinterpret_cast<HINSTANCE>(GetWindowLongPtrW(parent, GWLP_HINSTANCE)), nullptr);
    if (child != nullptr && font != nullptr) {
        SendMessageW(child, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
    }
    return child;
}

void RunModal(HWND dialog, HWND owner, HWND focus, const bool& done) {
    bool ownerWasEnabled = owner != nullptr && IsWindowEnabled(owner);
    HWND ownerFocus = GetFocus();
    if (ownerFocus != nullptr && ownerFocus != owner && !IsChild(owner, ownerFocus)) {
        ownerFocus = nullptr;
    }
    if (ownerWasEnabled) {
        EnableWindow(owner, FALSE);
    }
    ShowWindow(dialog, SW_SHOW);
    SetForegroundWindow(dialog);
    if (focus != nullptr) {
        SetFocus(focus);
    }
    MSG msg;
    bool quit = false;
    int quitCode = 0;
    while (!done) {
        BOOL got = GetMessageW(&msg, nullptr, 0, 0);
        if (got == 0) {
            quit = true;
            quitCode = static_cast<int>(msg.wParam);
            break;
        }
        if (got < 0) {
            break;
        }
        if (msg.message == WM_KEYDOWN && msg.wParam == VK_RETURN &&
            (msg.hwnd == dialog || IsChild(dialog, msg.hwnd))) {
            HWND focus = GetFocus();
            if (focus != nullptr && IsChild(dialog, focus)) {
                SendMessageW(focus, BM_CLICK, 0, 0);
            }
            continue;
        }
        if (msg.message == WM_KEYDOWN && msg.wParam == VK_ESCAPE &&
            (msg.hwnd == dialog || IsChild(dialog, msg.hwnd))) {
            continue;  // no cancel button: Escape does nothing
        }
        if (!IsDialogMessageW(dialog, &msg)) {
            TranslateMessage(&msg);
            DispatchMessageW(&msg);
        }
    }
    if (ownerWasEnabled) {
        EnableWindow(owner, TRUE);
        SetActiveWindow(owner);
        if (ownerFocus != nullptr && IsWindow(ownerFocus) && IsWindowEnabled(ownerFocus)) {
            SetFocus(ownerFocus);
        }
    }
    ShowWindow(dialog, SW_HIDE);
    if (quit) {
        PostQuitMessage(quitCode);  // let the outer loop see it too
    }
}

void DrawCentredLabel(const DRAWITEMSTRUCT& item, COLORREF color) {
    std::wstring text = WindowText(item.hwndItem);
    HDC dc = item.hDC;
    RECT area = item.rcItem;
    FillRect(dc, &area, GetSysColorBrush(COLOR_BTNFACE));
    HFONT font = reinterpret_cast<HFONT>(SendMessageW(item.hwndItem, WM_GETFONT, 0, 0));
    HGDIOBJ old = font != nullptr ? SelectObject(dc, font) : nullptr;
    constexpr UINT kFormat = DT_CENTER | DT_WORDBREAK | DT_NOPREFIX | DT_EDITCONTROL;
    RECT measure = area;
    DrawTextW(dc, text.c_str(), static_cast<int>(text.size()), &measure, kFormat | DT_CALCRECT);
    int textHeight = measure.bottom - measure.top;
    int areaHeight = area.bottom - area.top;
    RECT target = area;
    if (textHeight < areaHeight) {
        target.top += (areaHeight - textHeight) / 2;
    }
    SetBkMode(dc, TRANSPARENT);
    SetTextColor(dc, color);
    // The label never grows: text beyond its height is cut off.
    IntersectClipRect(dc, area.left, area.top, area.right, area.bottom);
    DrawTextW(dc, text.c_str(), static_cast<int>(text.size()), &target, kFormat);
    if (old != nullptr) {
        SelectObject(dc, old);
    }
}

HWND CreateDialogWindow(const wchar_t* className, const wchar_t* caption, int clientWidth,
                        int clientHeight, HWND owner, void* self) {
    SIZE outer = OuterSize(clientWidth, clientHeight, kDialogStyle, kDialogExStyle);
    HWND dialog = CreateWindowExW(kDialogExStyle, className, caption, kDialogStyle, 0, 0, outer.cx,
                                  outer.cy, owner, nullptr, GetModuleHandleW(nullptr), self);
    if (dialog != nullptr) {
        CenterOver(dialog, owner);
    }
    return dialog;
}

void RegisterClassOnce(const wchar_t* name, WNDPROC proc, HBRUSH background) {
    HINSTANCE instance = GetModuleHandleW(nullptr);
    WNDCLASSEXW existing{};
    existing.cbSize = sizeof(existing);
    if (GetClassInfoExW(instance, name, &existing)) {
        return;
    }
    WNDCLASSEXW wc{};
    wc.cbSize = sizeof(wc);
    wc.lpfnWndProc = proc;
    wc.hInstance = instance;
    wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    wc.hbrBackground = background;
    wc.lpszClassName = name;
    wc.hIcon = LoadIconW(instance, L"MAINICON");
    wc.hIconSm = wc.hIcon;
    RegisterClassExW(&wc);
}

}  // namespace bv::ui
