// The Information dialog: the message centred in its label and one "OK" button.
#include "ui/Unit3a.h"

#include <string>

#include "ui/UiCommon.h"

namespace bv::ui {
namespace {

constexpr wchar_t kClass[] = L"BrimvaleInformation";

struct InformationForm {
    std::wstring message;
    bool done = false;
    GdiObject font = MakeFont(13);
    HWND ok = nullptr;
};

void CreateControls(HWND window, InformationForm& form) {
    HFONT font = form.font.Font();
    MakeChild(window, L"STATIC", form.message.c_str(), WS_VISIBLE | SS_OWNERDRAW, 30, 22, 240, 59,
              kInformLabelId, font);
    form.ok = MakeChild(window, L"BUTTON", L"OK", WS_VISIBLE | WS_TABSTOP | BS_DEFPUSHBUTTON, 96,
                        120, 100, 25, kInformOkId, font);
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

void Inform(HWND owner, std::wstring_view message) {
    RegisterClassOnce(kClass, InformationProc, GetSysColorBrush(COLOR_BTNFACE));
    InformationForm form;
    form.message = std::wstring(message);
    HWND dialog = CreateDialogWindow(kClass, kInformationCaption, 300, 160, owner, &form);
    if (dialog == nullptr) {
        return;
    }
    RunModal(dialog, owner, form.ok, form.done);
    DestroyWindow(dialog);
}

}  // namespace bv::ui
