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

struct ConfirmationForm {
    std::wstring question;
    std::uint8_t answer = kAnswerNo;
    bool done = false;
    GdiObject font = MakeFont(13);
    HWND yes = nullptr;
};

void CreateControls(HWND window, ConfirmationForm& form) {
    HFONT font = form.font.Font();
    MakeChild(window, L"STATIC", form.question.c_str(), WS_VISIBLE | SS_OWNERDRAW, 30, 30, 240, 40,
              kConfirmLabelId, font);
    MakeChild(window, L"BUTTON", L"No", WS_VISIBLE | WS_TABSTOP | BS_PUSHBUTTON, 40, 112, 100, 25,
              kConfirmNoId, font);
    form.yes = MakeChild(window, L"BUTTON", L"Yes", WS_VISIBLE | WS_TABSTOP | BS_DEFPUSHBUTTON, 152,
                         112, 100, 25, kConfirmYesId, font);
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
            DrawCentredLabel(*reinterpret_cast<DRAWITEMSTRUCT*>(lParam), kDialogText);
            return TRUE;
        case WM_CLOSE:
            form->done = true;
            return 0;
        default:
            return DefWindowProcW(window, message, wParam, lParam);
    }
}

}  // namespace

bool Confirm(HWND owner, std::wstring_view question) {
    RegisterClassOnce(kClass, ConfirmationProc, GetSysColorBrush(COLOR_BTNFACE));
    ConfirmationForm form;
    form.question = std::wstring(question);
    HWND dialog = CreateDialogWindow(kClass, kConfirmationCaption, 300, 160, owner, &form);
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
