// The Confirmation dialog: question label, "No" and "Yes"; "Yes" has the focus so Enter answers
// it at once; there is no cancel button, so Escape does nothing.
#include "ui/Unit3b.h"

#include <cstdint>
#include <string>

#include "ui/UiCommon.h"

namespace bv::ui {
namespace {

constexpr wchar_t kClass[] = L"BrimvaleConfirmation";
constexpr std::uint8_t kAnswerNo = 1;
constexpr std::uint8_t kAnswerYes = 2;
constexpr int kClientWidth = 300;
constexpr int kClientHeight = 160;

struct ConfirmationForm {
    std::wstring question;
    std::uint8_t answer = kAnswerNo;
    bool done = false;
    UINT dpi = kBaseDpi;
    GdiObject font;
    HWND label = nullptr;
    HWND no = nullptr;
    HWND yes = nullptr;
};

// Places the controls for the form's DPI; the old font goes only once no control uses it.
void Layout(ConfirmationForm& form) {
    GdiObject font = MakeFont(form.dpi, 13);
    PlaceScaled(form.label, 30, 30, 240, 40, form.dpi, font.Font());
    PlaceScaled(form.no, 40, 112, 100, 25, form.dpi, font.Font());
    PlaceScaled(form.yes, 152, 112, 100, 25, form.dpi, font.Font());
    form.font = std::move(font);
}

void CreateControls(HWND window, ConfirmationForm& form) {
    form.label = MakeChild(window, L"STATIC", form.question.c_str(), WS_VISIBLE | SS_OWNERDRAW, 0,
                           0, 0, 0, kConfirmLabelId, nullptr);
    form.no = MakeChild(window, L"BUTTON", L"No", WS_VISIBLE | WS_TABSTOP | BS_PUSHBUTTON, 0, 0, 0,
                        0, kConfirmNoId, nullptr);
    form.yes = MakeChild(window, L"BUTTON", L"Yes", WS_VISIBLE | WS_TABSTOP | BS_DEFPUSHBUTTON, 0,
                         0, 0, 0, kConfirmYesId, nullptr);
    DefaultLookFollowsFocus(form.no);
    DefaultLookFollowsFocus(form.yes);
    Layout(form);
}

// Closing by any means other than "Yes" leaves the answer at "No".
void Button1Click(ConfirmationForm& form) {
    form.done = true;
}
void Button2Click(ConfirmationForm& form) {
    form.answer = kAnswerYes;
    form.done = true;
}

LRESULT CALLBACK ConfirmationProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_NCCREATE) {
        auto* create = reinterpret_cast<CREATESTRUCTW*>(lParam);
        SetWindowLongPtrW(window, GWLP_USERDATA,
                          reinterpret_cast<LONG_PTR>(create->lpCreateParams));
    }
    auto* form = reinterpret_cast<ConfirmationForm*>(GetWindowLongPtrW(window, GWLP_USERDATA));
    if (form == nullptr) {
        return DefWindowProcW(window, message, wParam, lParam);
    }
    switch (message) {
        case WM_CREATE:
            CreateControls(window, *form);
            return 0;
        case WM_COMMAND:
            if (HIWORD(wParam) == BN_CLICKED && LOWORD(wParam) == kConfirmNoId) {
                Button1Click(*form);
            } else if (HIWORD(wParam) == BN_CLICKED && LOWORD(wParam) == kConfirmYesId) {
                Button2Click(*form);
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

bool Confirm(HWND owner, std::wstring_view question) {
    RegisterClassOnce(kClass, ConfirmationProc, GetSysColorBrush(COLOR_BTNFACE));
    ConfirmationForm form;
    form.question = std::wstring(question);
    form.dpi = WindowDpi(owner);
    HWND dialog = CreateDialogWindow(kClass, kConfirmationCaption, kClientWidth, kClientHeight,
                                     owner, form.dpi, &form);
    if (dialog == nullptr) {
        return false;
    }
    // ShowForm: the answer starts at "No" and "Yes" has the keyboard focus.
    form.answer = kAnswerNo;
    RunModal(dialog, owner, form.yes, form.done);
    DestroyWindow(dialog);
    return form.answer != kAnswerNo;
}

}  // namespace bv::ui
