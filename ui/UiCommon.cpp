// Small Win32 helpers shared by the windows: DPI, fonts, colours, measuring, centring, the
// default-button look and the dialogs' modal loop (our own, so Enter and Escape behave exactly as
// the dialogs need).
#include "ui/UiCommon.h"

#include <objbase.h>
#include <oleacc.h>

#include <commctrl.h>

#include <vector>

#include "ui/Link.h"

namespace bv::ui {
namespace {

// Windows 10 functions, looked up so that the program still starts on Windows 7 and 8.
template <typename F>
F UserFunction(const char* name) {
    HMODULE user = GetModuleHandleW(L"user32.dll");
    return user == nullptr
               ? nullptr
               : reinterpret_cast<F>(reinterpret_cast<void*>(GetProcAddress(user, name)));
}

using GetDpiForWindowFn = UINT(WINAPI*)(HWND);
using AdjustWindowRectExForDpiFn = BOOL(WINAPI*)(RECT*, DWORD, BOOL, DWORD, UINT);

UINT SystemDpi() {
    HDC dc = GetDC(nullptr);
    int dpi = dc != nullptr ? GetDeviceCaps(dc, LOGPIXELSY) : 0;
    if (dc != nullptr) {
        ReleaseDC(nullptr, dc);
    }
    return dpi > 0 ? static_cast<UINT>(dpi) : kBaseDpi;
}

constexpr UINT_PTR kDefaultLookId = 0x4244;  // subclass id

// The annotation service and the name property (oleacc.h declares them; no library defines them).
constexpr CLSID kAccPropServices = {
    0xb5f8350b, 0x0548, 0x48b1, {0xa6, 0xee, 0x88, 0xbd, 0x00, 0xb4, 0xa5, 0xe7}};
constexpr IID kIAccPropServices = {
    0x6e26e776, 0x04f0, 0x495d, {0x80, 0xe4, 0x33, 0x30, 0x35, 0x2e, 0x31, 0x69}};
constexpr GUID kPropIdAccName = {
    0x608d3df8, 0x8128, 0x4aa7, {0xa4, 0x28, 0xf5, 0x5e, 0x49, 0x26, 0x72, 0x91}};

// Runs `use` with the annotation service when there is one.
template <typename F>
void WithAnnotations(F&& use) {
    IAccPropServices* services = nullptr;
    if (SUCCEEDED(CoCreateInstance(kAccPropServices, nullptr, CLSCTX_INPROC_SERVER,
                                   kIAccPropServices, reinterpret_cast<void**>(&services))) &&
        services != nullptr) {
        use(*services);
        services->Release();
    }
}

UINT ButtonType(HWND window) {
    wchar_t name[16] = {};
    GetClassNameW(window, name, 16);
    if (lstrcmpiW(name, L"Button") != 0) {
        return ~0u;
    }
    return static_cast<UINT>(GetWindowLongPtrW(window, GWL_STYLE)) & BS_TYPEMASK;
}

bool IsPushButton(HWND window) {
    UINT type = ButtonType(window);
    return type == BS_PUSHBUTTON || type == BS_DEFPUSHBUTTON;
}

LRESULT CALLBACK DefaultLookProc(HWND button, UINT message, WPARAM wParam, LPARAM lParam,
                                 UINT_PTR /*id*/, DWORD_PTR /*data*/) {
    switch (message) {
        case WM_SETFOCUS:
            // One default button at a time: the one with the focus.
            for (HWND w = GetWindow(GetParent(button), GW_CHILD); w != nullptr;
                 w = GetWindow(w, GW_HWNDNEXT)) {
                if (w != button && ButtonType(w) == BS_DEFPUSHBUTTON) {
                    SendMessageW(w, BM_SETSTYLE, BS_PUSHBUTTON, TRUE);
                }
            }
            if (ButtonType(button) == BS_PUSHBUTTON) {
                SendMessageW(button, BM_SETSTYLE, BS_DEFPUSHBUTTON, TRUE);
            }
            break;
        case WM_KILLFOCUS:
            if (ButtonType(button) == BS_DEFPUSHBUTTON) {
                SendMessageW(button, BM_SETSTYLE, BS_PUSHBUTTON, TRUE);
            }
            break;
        case WM_NCDESTROY:
            RemoveWindowSubclass(button, DefaultLookProc, kDefaultLookId);
            break;
        default:
            break;
    }
    return DefSubclassProc(button, message, wParam, lParam);
}

}  // namespace

UINT WindowDpi(HWND window) {
    static const auto getDpiForWindow = UserFunction<GetDpiForWindowFn>("GetDpiForWindow");
    if (getDpiForWindow != nullptr && window != nullptr) {
        UINT dpi = getDpiForWindow(window);
        if (dpi != 0) {
            return dpi;
        }
    }
    return SystemDpi();
}

UINT PrimaryMonitorDpi() {
    using GetDpiForMonitorFn = HRESULT(WINAPI*)(HMONITOR, int, UINT*, UINT*);
    static const auto getDpiForMonitor = [] {
        HMODULE shcore = LoadLibraryExW(L"shcore.dll", nullptr, 0x00000800);  // system folder
        return shcore == nullptr ? nullptr
                                 : reinterpret_cast<GetDpiForMonitorFn>(reinterpret_cast<void*>(
                                       GetProcAddress(shcore, "GetDpiForMonitor")));
    }();
    HMONITOR primary = MonitorFromPoint(POINT{0, 0}, MONITOR_DEFAULTTOPRIMARY);
    UINT x = 0;
    UINT y = 0;
    if (getDpiForMonitor != nullptr && primary != nullptr &&
        SUCCEEDED(getDpiForMonitor(primary, 0 /* MDT_EFFECTIVE_DPI */, &x, &y)) && y != 0) {
        return y;
    }
    return SystemDpi();
}

GdiObject MakeFont(UINT dpi, int pixelHeight, bool bold, bool underline) {
    return GdiObject(CreateFontW(-Scale(pixelHeight, dpi), 0, 0, 0, bold ? FW_BOLD : FW_NORMAL,
                                 FALSE, underline ? TRUE : FALSE, FALSE, DEFAULT_CHARSET,
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

SIZE OuterSize(int clientWidth, int clientHeight, DWORD style, DWORD exStyle, UINT dpi) {
    static const auto adjustForDpi =
        UserFunction<AdjustWindowRectExForDpiFn>("AdjustWindowRectExForDpi");
    RECT r{0, 0, clientWidth, clientHeight};
    if (adjustForDpi == nullptr || !adjustForDpi(&r, style, FALSE, exStyle, dpi)) {
        r = RECT{0, 0, clientWidth, clientHeight};
        AdjustWindowRectEx(&r, style, FALSE, exStyle);
    }
    return SIZE{r.right - r.left, r.bottom - r.top};
}

bool UseSystemColours() {
    HIGHCONTRASTW contrast{};
    contrast.cbSize = sizeof(contrast);
    if (SystemParametersInfoW(SPI_GETHIGHCONTRAST, sizeof(contrast), &contrast, 0) &&
        (contrast.dwFlags & HCF_HIGHCONTRASTON) != 0) {
        return true;
    }
    // Luma of the face colour: below the middle grey, the accents would be hard to read on it.
    COLORREF face = GetSysColor(COLOR_BTNFACE);
    int luma = 2126 * GetRValue(face) + 7152 * GetGValue(face) + 722 * GetBValue(face);
    return luma < 10000 * 128;
}

COLORREF FaceText(COLORREF accent) {
    return UseSystemColours() ? GetSysColor(COLOR_BTNTEXT) : accent;
}

COLORREF LinkText(COLORREF accent) {
    return UseSystemColours() ? GetSysColor(COLOR_HOTLIGHT) : accent;
}

void DefaultLookFollowsFocus(HWND button) {
    if (button != nullptr) {
        SetWindowSubclass(button, DefaultLookProc, kDefaultLookId, 0);
    }
}

LRESULT FocusedDefaultId(HWND window) {
    HWND focus = GetFocus();
    if (focus == nullptr || !IsChild(window, focus) || !IsPushButton(focus)) {
        return 0;
    }
    return MAKELRESULT(GetDlgCtrlID(focus), DC_HASDEFID);
}

bool ClickFocusedOnEnter(HWND window, const MSG& msg) {
    if (msg.message != WM_KEYDOWN || msg.wParam != VK_RETURN ||
        (msg.hwnd != window && !IsChild(window, msg.hwnd))) {
        return false;
    }
    if ((msg.lParam & (1 << 30)) != 0) {
        return true;  // a held key clicks once, not through every dialog that follows
    }
    HWND focus = GetFocus();
    if (focus != nullptr && IsChild(window, focus) && IsWindowEnabled(focus) &&
        (IsPushButton(focus) || IsLink(focus))) {
        SendMessageW(focus, BM_CLICK, 0, 0);
    }
    return true;
}

void SetClientSize(HWND window, int clientWidth, int clientHeight) {
    RECT outer{};
    RECT client{};
    GetWindowRect(window, &outer);
    GetClientRect(window, &client);
    if (client.right == clientWidth && client.bottom == clientHeight) {
        return;
    }
    int width = outer.right - outer.left - client.right + clientWidth;
    int height = outer.bottom - outer.top - client.bottom + clientHeight;
    SetWindowPos(window, nullptr, 0, 0, width, height, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
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

void PlaceScaled(HWND child, int x, int y, int width, int height, UINT dpi, HFONT font) {
    if (child == nullptr) {
        return;
    }
    SetWindowPos(child, nullptr, Scale(x, dpi), Scale(y, dpi), Scale(width, dpi),
                 Scale(height, dpi), SWP_NOZORDER | SWP_NOACTIVATE);
    if (font != nullptr) {
        SendMessageW(child, WM_SETFONT, reinterpret_cast<WPARAM>(font), TRUE);
    }
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
        if (ClickFocusedOnEnter(dialog, msg)) {
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
                        int clientHeight, HWND owner, UINT dpi, void* self) {
    SIZE outer = OuterSize(Scale(clientWidth, dpi), Scale(clientHeight, dpi), kDialogStyle,
                           kDialogExStyle, dpi);
    HWND dialog = CreateWindowExW(kDialogExStyle, className, caption, kDialogStyle, 0, 0, outer.cx,
                                  outer.cy, owner, nullptr, GetModuleHandleW(nullptr), self);
    if (dialog != nullptr) {
        SetClientSize(dialog, Scale(clientWidth, dpi), Scale(clientHeight, dpi));
        CenterOver(dialog, owner);
    }
    return dialog;
}

void ResizeDialogForDpi(HWND dialog, int clientWidth, int clientHeight, UINT dpi,
                        const RECT& suggested) {
    SIZE outer = OuterSize(Scale(clientWidth, dpi), Scale(clientHeight, dpi), kDialogStyle,
                           kDialogExStyle, dpi);
    SetWindowPos(dialog, nullptr, suggested.left, suggested.top, outer.cx, outer.cy,
                 SWP_NOZORDER | SWP_NOACTIVATE);
    SetClientSize(dialog, Scale(clientWidth, dpi), Scale(clientHeight, dpi));
}

void AnnotateName(HWND control, const wchar_t* name) {
    WithAnnotations([&](IAccPropServices& services) {
        services.SetHwndPropStr(control, static_cast<DWORD>(OBJID_CLIENT), CHILDID_SELF,
                                kPropIdAccName, const_cast<wchar_t*>(name));
    });
}

void ClearAnnotatedName(HWND control) {
    WithAnnotations([&](IAccPropServices& services) {
        services.ClearHwndProps(control, static_cast<DWORD>(OBJID_CLIENT), CHILDID_SELF,
                                &kPropIdAccName, 1);
    });
}

ComApartment::ComApartment() {
    HRESULT result = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    initialized_ = result == S_OK || result == S_FALSE;
}

ComApartment::~ComApartment() {
    if (initialized_) {
        CoUninitialize();
    }
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
