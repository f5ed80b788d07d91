// The progress gauge's window class: keeps one value 0..100 and paints border, background, the
// gold done part and the centred percentage, double-buffered so frequent updates do not flicker.
#include "ui/Gauge.h"

#include <commctrl.h>

#include <string>

#include "ui/UiCommon.h"

namespace bv::ui {
namespace {

int ValueOf(HWND window) {
    return static_cast<int>(GetWindowLongPtrW(window, GWLP_USERDATA));
}

void Draw(HWND window, HDC dc, int width, int height) {
    RECT all{0, 0, width, height};
    FillRect(dc, &all, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));
    int value = ValueOf(window);
    int inner = width - 2;
    RECT done{1, 1, 1 + (inner > 0 ? inner * value / 100 : 0), height - 1};
    GdiObject gold(CreateSolidBrush(kGold));
    FillRect(dc, &done, gold.Brush());
    GdiObject border(CreateSolidBrush(RGB(128, 128, 128)));
    FrameRect(dc, &all, border.Brush());
    std::wstring text = std::to_wstring(value) + L"%";
    HFONT font = reinterpret_cast<HFONT>(SendMessageW(GetParent(window), WM_GETFONT, 0, 0));
    HGDIOBJ oldFont = font != nullptr ? SelectObject(dc, font) : nullptr;
    SetBkMode(dc, TRANSPARENT);
    SetTextColor(dc, RGB(0, 0, 0));
    DrawTextW(dc, text.c_str(), static_cast<int>(text.size()), &all,
              DT_CENTER | DT_VCENTER | DT_SINGLELINE | DT_NOPREFIX);
    if (oldFont != nullptr) {
        SelectObject(dc, oldFont);
    }
}

void Paint(HWND window) {
    PAINTSTRUCT ps;
    HDC dc = BeginPaint(window, &ps);
    RECT client;
    GetClientRect(window, &client);
    int width = client.right > 0 ? client.right : 1;
    int height = client.bottom > 0 ? client.bottom : 1;
    HDC memory = CreateCompatibleDC(dc);
    if (memory != nullptr) {
        GdiObject bitmap(CreateCompatibleBitmap(dc, width, height));
        HGDIOBJ old = SelectObject(memory, bitmap.Get());
        Draw(window, memory, width, height);
        BitBlt(dc, 0, 0, width, height, memory, 0, 0, SRCCOPY);
        SelectObject(memory, old);
        DeleteDC(memory);
    } else {
        Draw(window, dc, width, height);
    }
    EndPaint(window, &ps);
}

LRESULT CALLBACK GaugeProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case PBM_SETPOS: {
            int old = ValueOf(window);
            int value = static_cast<int>(wParam);
            value = value < 0 ? 0 : value > 100 ? 100 : value;
            if (value != old) {
                SetWindowLongPtrW(window, GWLP_USERDATA, value);
                InvalidateRect(window, nullptr, FALSE);
            }
            return old;
        }
        case PBM_GETPOS:
            return ValueOf(window);
        case WM_ERASEBKGND:
            return 1;
        case WM_PAINT:
            Paint(window);
            return 0;
        default:
            return DefWindowProcW(window, message, wParam, lParam);
    }
}

}  // namespace

void RegisterGaugeClass() {
    RegisterClassOnce(kGaugeClass, GaugeProc, nullptr);
}

}  // namespace bv::ui
