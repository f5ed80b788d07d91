// The Information dialog: the message centred in its label and one "OK" button.
#include "ui/Unit3a.h"

#include <string>

#include "ui/UiCommon.h"

namespace bv::ui {
namespace {

constexpr wchar_t kClass[] = L"BrimvaleInformation";
constexpr int kClientWidth = 300;
constexpr int kClientHeight = 160;

struct InformationForm {
    std::wstring message;
    bool done = false;
    UINT dpi = kBaseDpi;
    GdiObject font;
    HWND label = nullptr;
    HWND ok = nullptr;
};

// Places the controls for the form's DPI; the old font goes only once no control uses it.
void Layout(InformationForm& form) {
    GdiObject font = MakeFont(form.dpi, 13);
    PlaceScaled(form.label, 30, 22, 240, 59, form.dpi, font.Font());
    PlaceScaled(form.ok, 96, 120, 100, 25, form.dpi, font.Font());
    form.font = std::move(font);
}

void CreateControls(HWND window, InformationForm& form) {
    form.label = MakeChild(window, L"STATIC", form.message.c_str(), WS_VISIBLE | SS_OWNERDRAW, 0, 0,
                           0, 0, kInformLabelId, nullptr);
    form.ok = MakeChild(window, L"BUTTON", L"OK", WS_VISIBLE | WS_TABSTOP | BS_DEFPUSHBUTTON, 0, 0,
                        0, 0, kInformOkId, nullptr);
    DefaultLookFollowsFocus(form.ok);
    Layout(form);
}

void Button1Click(InformationForm& form) {
    form.done = true;
}

LRESULT CALLBACK InformationProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_NCCREATE) {
        auto* create = reinterpret_cast<CREATESTRUCTW*>(lParam);
        SetWindowLongPtrW(window, GWLP_USERDATA,
                          reinterpret_cast<LONG_PTR>(create->lpCreateParams));
    }
    auto* form = reinterpret_cast<InformationForm*>(GetWindowLongPtrW(window, GWLP_USERDATA));
    if (form == nullptr) {
        return DefWindowProcW(window, message, wParam, lParam);
    }
    switch (message) {
        case WM_CREATE:
            CreateControls(window, *form);
            return 0;
        case WM_COMMAND:
            if (HIWORD(wParam) == BN_CLICKED && LOWORD(wParam) == kInformOkId) {
                Button1Click(*form);
            }
            return 0;
        case WM_DRAWITEM:
            DrawCentredLabel(*reinterpret_cast<DRAWITEMSTRUCT*>(lParam), FaceText(kDialogText));
            return TRUE;
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

void Inform(HWND owner, std::wstring_view message) {
    RegisterClassOnce(kClass, InformationProc, GetSysColorBrush(COLOR_BTNFACE));
    InformationForm form;
    form.message = std::wstring(message);
    form.dpi = WindowDpi(owner);
    HWND dialog = CreateDialogWindow(kClass, kInformationCaption, kClientWidth, kClientHeight,
                                     owner, form.dpi, &form);
    if (dialog == nullptr) {
        return;
    }
    RunModal(dialog, owner, form.ok, form.done);
    DestroyWindow(dialog);
}

}  // namespace bv::ui
