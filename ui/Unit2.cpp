// The About box: labels at fixed places, two underlined links that open through the shell with
// tooltips (reachable with Tab), and a "Close" button.
#include "ui/Unit2.h"

#include <commctrl.h>
#include <shellapi.h>

#include <string>

#include "BrimvaleVersion.h"

#include "ui/Link.h"
#include "ui/UiCommon.h"

namespace bv::ui {
namespace {

constexpr wchar_t kClass[] = L"BrimvaleAbout";
constexpr int kActionLabelId = 110;
constexpr int kVersionLabelId = 111;
constexpr int kCopyrightLabelId = 112;
constexpr int kLicenseLabelId = 113;
constexpr int kClientWidth = 364;
constexpr int kClientHeight = 241;

struct AboutForm {
    bool done = false;
    UINT dpi = kBaseDpi;
    GdiObject font;
    GdiObject titleFont;
    GdiObject linkFont;
    HWND title = nullptr;
    HWND version = nullptr;
    HWND copyright = nullptr;
    HWND license = nullptr;
    HWND homePageCaption = nullptr;
    HWND homePage = nullptr;
    HWND supportCaption = nullptr;
    HWND support = nullptr;
    HWND close = nullptr;
    HWND tooltip = nullptr;
};

// A label as large as its text, its left edge at x (96 DPI); right-aligned labels end at x.
void PlaceByText(HWND label, HFONT font, int x, int y, UINT dpi, bool endsAtX = false) {
    SIZE size = TextSize(label, font, WindowText(label));
    int width = size.cx + Scale(2, dpi);
    int left = endsAtX ? Scale(x, dpi) - width : Scale(x, dpi);
    SetWindowPos(label, nullptr, left, Scale(y, dpi), width, size.cy,
                 SWP_NOZORDER | SWP_NOACTIVATE);
    SendMessageW(label, WM_SETFONT, reinterpret_cast<WPARAM>(font), TRUE);
}

// Places the controls for the form's DPI; the old fonts go only once no control uses them.
void Layout(AboutForm& form) {
    const UINT dpi = form.dpi;
    GdiObject font = MakeFont(dpi, 12);
    GdiObject titleFont = MakeFont(dpi, 16, true);
    GdiObject linkFont = MakeFont(dpi, 11, false, true);
    PlaceByText(form.title, titleFont.Font(), 96, 8, dpi);
    PlaceByText(form.version, font.Font(), 136, 44, dpi);
    PlaceByText(form.copyright, font.Font(), 80, 72, dpi);
    PlaceScaled(form.license, 80, 112, 180, 14, dpi, font.Font());
    PlaceByText(form.homePageCaption, font.Font(), 158, 144, dpi, true);
    PlaceByText(form.homePage, linkFont.Font(), 168, 144, dpi);
    PlaceByText(form.supportCaption, font.Font(), 157, 164, dpi, true);
    PlaceByText(form.support, linkFont.Font(), 168, 164, dpi);
    PlaceScaled(form.close, 120, 200, 100, 25, dpi, font.Font());
    form.font = std::move(font);
    form.titleFont = std::move(titleFont);
    form.linkFont = std::move(linkFont);
}

HWND Label(HWND window, const wchar_t* text, int id, DWORD align = SS_LEFT) {
    return MakeChild(window, L"STATIC", text, WS_VISIBLE | align, 0, 0, 0, 0, id, nullptr);
}

// The links are tab stops: Tab reaches them, Enter or the space bar opens them.
HWND Link(HWND window, const wchar_t* text, int id) {
    return MakeChild(window, kLinkClass, text, WS_VISIBLE | WS_TABSTOP, 0, 0, 0, 0, id, nullptr);
}

void AddTooltip(AboutForm& form, HWND window, HWND tool, const wchar_t* text) {
    if (form.tooltip == nullptr) {
        form.tooltip = CreateWindowExW(WS_EX_TOPMOST, TOOLTIPS_CLASSW, nullptr,
                                       WS_POPUP | TTS_NOPREFIX | TTS_ALWAYSTIP, CW_USEDEFAULT,
                                       CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, window, nullptr,
                                       GetModuleHandleW(nullptr), nullptr);
    }
    if (form.tooltip == nullptr) {
        return;
    }
    TOOLINFOW info{};
    info.cbSize = sizeof(info);
    info.uFlags = TTF_IDISHWND | TTF_SUBCLASS;
    info.hwnd = window;
    info.uId = reinterpret_cast<UINT_PTR>(tool);
    info.lpszText = const_cast<wchar_t*>(text);
    SendMessageW(form.tooltip, TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&info));
}

void CreateControls(HWND window, AboutForm& form) {
    RegisterLinkClass();
    // Creation order is tab order: the two links, then "Close".
    form.title = Label(window, L"Brimvale", kActionLabelId);
    form.version = Label(window, L"Version: " BV_VERSION_SHORT_W, kVersionLabelId, SS_CENTER);
    form.copyright = Label(window, kCopyright, kCopyrightLabelId);
    form.license = Label(window, L"Freeware", kLicenseLabelId, SS_CENTER);
    form.homePageCaption = Label(window, L"Homepage:", 0, SS_RIGHT);
    form.homePage = Link(window, kHomePage, kAboutHomePageId);
    form.supportCaption = Label(window, L"Support:", 0, SS_RIGHT);
    form.support = Link(window, kSupportAddress, kAboutSupportId);
    form.close = MakeChild(window, L"BUTTON", L"Close", WS_VISIBLE | WS_TABSTOP | BS_DEFPUSHBUTTON,
                           0, 0, 0, 0, kAboutCloseId, nullptr);
    DefaultLookFollowsFocus(form.close);
    Layout(form);
    AddTooltip(form, window, form.homePage, L"Visit to homepage");
    AddTooltip(form, window, form.support, L"Send letter to support");
}

// A shell failure to open a link is ignored.
void HomePageLabel2Click(HWND window) {
    ShellExecuteW(window, L"open", kHomePage, nullptr, nullptr, SW_SHOWNORMAL);
}

void SupportLabel2Click(HWND window) {
    std::wstring address =
        std::wstring(L"mailto:") + kSupportAddress + L"?subject=Brimvale support";
    ShellExecuteW(window, L"open", address.c_str(), nullptr, nullptr, SW_SHOWNORMAL);
}

void Button1Click(AboutForm& form) {
    form.done = true;
}

LRESULT ColorStatic(const AboutForm& form, HDC dc, HWND control) {
    SetBkMode(dc, TRANSPARENT);
    if (control == form.homePage || control == form.support) {
        SetTextColor(dc, LinkText(kAboutLinkText));
    } else if (control == form.title) {
        SetTextColor(dc, GetSysColor(COLOR_BTNTEXT));
    } else {
        SetTextColor(dc, FaceText(kDialogText));
    }
    return reinterpret_cast<LRESULT>(GetSysColorBrush(COLOR_BTNFACE));
}

LRESULT CALLBACK AboutProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_NCCREATE) {
        auto* create = reinterpret_cast<CREATESTRUCTW*>(lParam);
        SetWindowLongPtrW(window, GWLP_USERDATA,
                          reinterpret_cast<LONG_PTR>(create->lpCreateParams));
    }
    auto* form = reinterpret_cast<AboutForm*>(GetWindowLongPtrW(window, GWLP_USERDATA));
    if (form == nullptr) {
        return DefWindowProcW(window, message, wParam, lParam);
    }
    switch (message) {
        case WM_CREATE:
            CreateControls(window, *form);
            return 0;
        case WM_COMMAND:
            switch (LOWORD(wParam)) {
                case kAboutCloseId:
                    if (HIWORD(wParam) == BN_CLICKED) {
                        Button1Click(*form);
                    }
                    break;
                case kAboutHomePageId:
                    if (HIWORD(wParam) == STN_CLICKED) {
                        HomePageLabel2Click(window);
                    }
                    break;
                case kAboutSupportId:
                    if (HIWORD(wParam) == STN_CLICKED) {
                        SupportLabel2Click(window);
                    }
                    break;
                default:
                    break;
            }
            return 0;
        case WM_CTLCOLORSTATIC:
            return ColorStatic(*form, reinterpret_cast<HDC>(wParam),
                               reinterpret_cast<HWND>(lParam));
        default: {
            LRESULT result = 0;
            if (HandleDialogMessage(window, *form, kClientWidth, kClientHeight, message, wParam,
                                    lParam, result)) {
                return result;
            }
            return DefWindowProcW(window, message, wParam, lParam);
        }
    }
}

}  // namespace

void ShowAbout(HWND owner) {
    RegisterClassOnce(kClass, AboutProc, GetSysColorBrush(COLOR_BTNFACE));
    AboutForm form;
    form.dpi = WindowDpi(owner);
    HWND dialog = CreateDialogWindow(kClass, kAboutCaption, kClientWidth, kClientHeight, owner,
                                     form.dpi, &form);
    if (dialog == nullptr) {
        return;
    }
    RunModal(dialog, owner, form.close, form.done);
    if (form.tooltip != nullptr) {
        DestroyWindow(form.tooltip);
    }
    DestroyWindow(dialog);
}

}  // namespace bv::ui
