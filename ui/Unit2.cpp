// The About box: labels at fixed places, two underlined links that open through the shell with
// tooltips, and a "Close" button.
#include "ui/Unit2.h"

#include <commctrl.h>
#include <shellapi.h>

#include <string>

#include "BrimvaleVersion.h"

#include "ui/UiCommon.h"

namespace bv::ui {
namespace {

constexpr wchar_t kClass[] = L"BrimvaleAbout";
constexpr int kActionLabelId = 110;
constexpr int kVersionLabelId = 111;
constexpr int kCopyrightLabelId = 112;
constexpr int kLicenseLabelId = 113;

struct AboutForm {
    bool done = false;
    GdiObject font = MakeFont(12);
    GdiObject titleFont = MakeFont(16, true);
    GdiObject linkFont = MakeFont(11, false, true);
    HWND title = nullptr;
    HWND homePage = nullptr;
    HWND support = nullptr;
    HWND close = nullptr;
    HWND tooltip = nullptr;
};

HWND Label(HWND window, HFONT font, const wchar_t* text, int x, int y, int id,
           DWORD align = SS_LEFT) {
    SIZE size = TextSize(window, font, text);
    return MakeChild(window, L"STATIC", text, WS_VISIBLE | align, x, y, size.cx + 2, size.cy, id,
                     font);
}

// A label whose right edge ends at `right`.
void RightLabel(HWND window, HFONT font, const wchar_t* text, int right, int y) {
    SIZE size = TextSize(window, font, text);
    MakeChild(window, L"STATIC", text, WS_VISIBLE | SS_RIGHT, right - size.cx - 2, y, size.cx + 2,
              size.cy, 0, font);
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
    HFONT font = form.font.Font();
    form.title = Label(window, form.titleFont.Font(), L"Brimvale", 96, 8, kActionLabelId);
    Label(window, font, L"Version: " BV_VERSION_SHORT_W, 136, 44, kVersionLabelId, SS_CENTER);
    Label(window, font, kCopyright, 80, 72, kCopyrightLabelId);
    MakeChild(window, L"STATIC", L"Freeware", WS_VISIBLE | SS_CENTER, 80, 112, 180, 14,
              kLicenseLabelId, font);
    RightLabel(window, font, L"Homepage:", 158, 144);
    form.homePage = Label(window, form.linkFont.Font(), kHomePage, 168, 144, kAboutHomePageId,
                          SS_LEFT | SS_NOTIFY);
    RightLabel(window, font, L"Support:", 157, 164);
    form.support = Label(window, form.linkFont.Font(), kSupportAddress, 168, 164, kAboutSupportId,
                         SS_LEFT | SS_NOTIFY);
    form.close = MakeChild(window, L"BUTTON", L"Close", WS_VISIBLE | WS_TABSTOP | BS_DEFPUSHBUTTON,
                           120, 200, 100, 25, kAboutCloseId, font);
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
        SetTextColor(dc, kAboutLinkText);
    } else if (control == form.title) {
        SetTextColor(dc, RGB(0, 0, 0));
    } else {
        SetTextColor(dc, kDialogText);
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
        case WM_SETCURSOR: {
            auto over = reinterpret_cast<HWND>(wParam);
            if (over == form->homePage || over == form->support) {
                SetCursor(LoadCursorW(nullptr, IDC_HAND));
                return TRUE;
            }
            return DefWindowProcW(window, message, wParam, lParam);
        }
        case WM_CLOSE:
            form->done = true;
            return 0;
        default:
            return DefWindowProcW(window, message, wParam, lParam);
    }
}

}  // namespace

void ShowAbout(HWND owner) {
    RegisterClassOnce(kClass, AboutProc, GetSysColorBrush(COLOR_BTNFACE));
    AboutForm form;
    HWND dialog = CreateDialogWindow(kClass, kAboutCaption, 364, 241, owner, &form);
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
