// The main window: creation and layout of its controls, its handlers (thin switch in the window
// procedure), the engine's window operations, the pump and the application-wide restore hook.
#include "ui/Unit1.h"

#include <commctrl.h>

#include <string>

#include "engine/Findings.h"
#include "engine/ScanRun.h"
#include "repair/Repair.h"
#include "sysaccess/EnvironmentSnapshot.h"
#include "ui/Gauge.h"
#include "ui/OpenKey.h"
#include "ui/Unit2.h"
#include "ui/Unit3a.h"
#include "ui/Unit3b.h"

namespace bv::ui {
namespace {

constexpr int kClientWidth = 784;
constexpr int kClientHeight = 561;
constexpr int kMinWidth = 800;
constexpr int kMinHeight = 600;
constexpr int kInfoBoxHeight = 72;
constexpr int kBottomStripHeight = 48;
constexpr int kActionsWidth = 120;
constexpr int kButtonPanelHeight = 85;
constexpr UINT_PTR kTimer1 = 1;
constexpr UINT kTimer1Interval = 200;
// Looking at the queue is a round trip to the window server under Wine; entries come far faster
// than input, paint or timer ticks, so the queue is read at most this often.
constexpr ULONGLONG kPumpIntervalMs = 20;
// No WS_CLIPCHILDREN: the group boxes are transparent and the window paints beneath them.
constexpr DWORD kMainStyle = WS_OVERLAPPEDWINDOW;
constexpr DWORD kChildStyle = WS_VISIBLE | WS_CLIPSIBLINGS;

// The hook procedure has no user data: this is the window whose restore message it watches.
MainWindow* hookedWindow = nullptr;

}  // namespace

MainWindow::MainWindow() : state_(*this), list_(state_.results) {}

namespace {
// Creation parameters: whether the window took ownership of its object (WM_NCCREATE ran; then
// WM_NCDESTROY deletes it, even when creation fails later).
struct CreateParams {
    MainWindow* self;
    bool adopted;
};
}  // namespace

MainWindow* MainWindow::Create(HINSTANCE instance) {
    INITCOMMONCONTROLSEX init{sizeof(INITCOMMONCONTROLSEX),
                              ICC_LISTVIEW_CLASSES | ICC_BAR_CLASSES | ICC_STANDARD_CLASSES};
    InitCommonControlsEx(&init);
    RegisterGaugeClass();
    RegisterClassOnce(kMainClass, WindowProc, GetSysColorBrush(COLOR_BTNFACE));
    CreateParams params{new MainWindow(), false};
    SIZE outer = OuterSize(kClientWidth, kClientHeight, kMainStyle, 0);
    HWND window =
        CreateWindowExW(0, kMainClass, kMainTitle, kMainStyle, CW_USEDEFAULT, CW_USEDEFAULT,
                        outer.cx, outer.cy, nullptr, nullptr, instance, &params);
    if (window == nullptr) {
        if (!params.adopted) {
            delete params.self;
        }
        return nullptr;
    }
    CenterOver(window, nullptr);
    return params.self;
}

MainWindow* MainWindow::FromHandle(HWND window) {
    if (window == nullptr) {
        return nullptr;
    }
    return reinterpret_cast<MainWindow*>(GetWindowLongPtrW(window, GWLP_USERDATA));
}

void MainWindow::Show(int showCommand) {
    ShowWindow(hwnd_, showCommand);
    UpdateWindow(hwnd_);
}

// ---- window procedure ----

LRESULT CALLBACK MainWindow::WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_NCCREATE) {
        auto* create = reinterpret_cast<CREATESTRUCTW*>(lParam);
        auto* params = static_cast<CreateParams*>(create->lpCreateParams);
        params->adopted = true;
        MainWindow* self = params->self;
        self->hwnd_ = window;
        SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
    }
    MainWindow* self = FromHandle(window);
    if (self == nullptr) {
        return DefWindowProcW(window, message, wParam, lParam);
    }
    if (message == WM_NCDESTROY) {
        SetWindowLongPtrW(window, GWLP_USERDATA, 0);
        delete self;
        return DefWindowProcW(window, message, wParam, lParam);
    }
    try {
        return self->OnMessage(message, wParam, lParam);
    } catch (...) {
        return DefWindowProcW(window, message, wParam, lParam);
    }
}

LRESULT MainWindow::OnMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_CREATE:
            CreateForm();
            return 0;
        case WM_SHOWWINDOW:
            if (wParam != 0 && !shown_) {
                shown_ = true;
                ShowForm();
            }
            break;
        case WM_SIZE:
            ResizeForm();
            return 0;
        case WM_GETMINMAXINFO: {
            auto* info = reinterpret_cast<MINMAXINFO*>(lParam);
            info->ptMinTrackSize.x = kMinWidth;
            info->ptMinTrackSize.y = kMinHeight;
            return 0;
        }
        case WM_GETFONT:
            return reinterpret_cast<LRESULT>(font_.Font());
        case WM_COMMAND:
            OnCommand(LOWORD(wParam), HIWORD(wParam));
            return 0;
        case WM_NOTIFY:
            return OnNotify(reinterpret_cast<NMHDR*>(lParam));
        case WM_CONTEXTMENU:
            OnContextMenu(reinterpret_cast<HWND>(wParam), lParam);
            return 0;
        case WM_TIMER:
            if (wParam == kTimer1) {
                Guarded([this] { TimerEvent(state_); });
            }
            return 0;
        case WM_CTLCOLORSTATIC:
            return OnColorStatic(reinterpret_cast<HDC>(wParam), reinterpret_cast<HWND>(lParam));
        case WM_SETCURSOR:
            if (OnSetCursor(reinterpret_cast<HWND>(wParam))) {
                return TRUE;
            }
            break;
        case WM_ACTIVATE:
            // Keep the focused control across switches to other windows.
            if (LOWORD(wParam) == WA_INACTIVE) {
                HWND focus = GetFocus();
                lastFocus_ = focus != nullptr && IsChild(hwnd_, focus) ? focus : lastFocus_;
            } else if (lastFocus_ != nullptr && IsWindow(lastFocus_) &&
                       IsWindowEnabled(lastFocus_)) {
                SetFocus(lastFocus_);
                return 0;
            }
            break;
        case WM_CLOSE:
            CloseForm();
            return 0;
        case WM_DESTROY:
            DestroyForm();
            return 0;
        default:
            break;
    }
    return DefWindowProcW(hwnd_, message, wParam, lParam);
}

template <typename F>
void MainWindow::Guarded(F&& handler) {
    // Nothing may unwind through the window procedure.
    try {
        handler();
    } catch (...) {
    }
}

// ---- life cycle ----

void MainWindow::CreateForm() {
    RestoreMessageId = RegisterWindowMessageW(kRestoreMessageName);
    state_.env = GatherEnvironmentSnapshot();
    CreateControls();
    hookedWindow = this;
    hook_ = SetWindowsHookExW(WH_GETMESSAGE, GetMessageHook, nullptr, GetCurrentThreadId());
    Layout();
}

void MainWindow::ShowForm() {
    SetInfoTop(32);
    EnableWindow(Button2, FALSE);
}

void MainWindow::ResizeForm() {
    Layout();
    list_.SetColumnWidths();
}

void MainWindow::CloseForm() {
    // A scan or fix cannot be torn down half-way, nor while a stopped one winds down, nor under
    // a dialog or menu: the code below it on the stack still uses the window and its state.
    if (state_.scanInProgress || state_.runActive || modalDepth_ > 0) {
        return;
    }
    DestroyWindow(hwnd_);
}

void MainWindow::DestroyForm() {
    KillTimer(hwnd_, kTimer1);
    if (hook_ != nullptr) {
        UnhookWindowsHookEx(hook_);
        hook_ = nullptr;
    }
    if (hookedWindow == this) {
        hookedWindow = nullptr;
    }
    if (PopupMenu1 != nullptr) {
        DestroyMenu(PopupMenu1);
        PopupMenu1 = nullptr;
    }
    PostQuitMessage(0);
}

LRESULT CALLBACK MainWindow::GetMessageHook(int code, WPARAM wParam, LPARAM lParam) {
    if (code == HC_ACTION && wParam == PM_REMOVE && hookedWindow != nullptr) {
        hookedWindow->EventsMessage(*reinterpret_cast<const MSG*>(lParam));
    }
    return CallNextHookEx(nullptr, code, wParam, lParam);
}

void MainWindow::EventsMessage(const MSG& msg) {
    if (RestoreMessageId == 0 || msg.message != RestoreMessageId || msg.wParam != kRestoreMarker) {
        return;
    }
    if (IsIconic(hwnd_)) {
        ShowWindow(hwnd_, SW_RESTORE);
    }
    // The active window may be a dialog in front of the main window.
    HWND active = GetLastActivePopup(hwnd_);
    if (active == nullptr || !IsWindowVisible(active)) {
        active = hwnd_;
    }
    SetForegroundWindow(active);
    BringWindowToTop(active);
}

// ---- controls ----

void MainWindow::CreateControls() {
    HFONT font = font_.Font();
    // Creation order is tab order: Button1..4, the list, UndoCheck.
    Button1 = MakeChild(hwnd_, L"BUTTON", L"Start scan", kChildStyle | WS_TABSTOP | BS_PUSHBUTTON,
                        0, 0, 100, 25, kIdButton1, font);
    Button2 = MakeChild(hwnd_, L"BUTTON", L"Fix errors", kChildStyle | WS_TABSTOP | BS_PUSHBUTTON,
                        0, 0, 100, 25, kIdButton2, font);
    Button3 = MakeChild(hwnd_, L"BUTTON", L"About", kChildStyle | WS_TABSTOP | BS_PUSHBUTTON, 0, 0,
                        100, 25, kIdButton3, font);
    Button4 = MakeChild(hwnd_, L"BUTTON", L"Close", kChildStyle | WS_TABSTOP | BS_PUSHBUTTON, 0, 0,
                        100, 25, kIdButton4, font);
    list_.Create(hwnd_, kIdInfoList, font);
    UndoCheck =
        MakeChild(hwnd_, L"BUTTON", L"Save undo", kChildStyle | WS_TABSTOP | BS_AUTOCHECKBOX, 0, 0,
                  80, 17, kIdUndoCheck, font);
    SendMessageW(UndoCheck, BM_SETCHECK, BST_CHECKED, 0);
    SIZE undoSize = TextSize(hwnd_, linkFont_.Font(), L"Manage undo");
    UndoLabel = MakeChild(hwnd_, L"STATIC", L"Manage undo", kChildStyle | SS_NOTIFY, 0, 0,
                          undoSize.cx + 2, undoSize.cy, kIdUndoLabel, linkFont_.Font());
    SIZE exclusionsSize = TextSize(hwnd_, linkFont_.Font(), L"Remove exclusions");
    ExclusionsLabel =
        MakeChild(hwnd_, L"STATIC", L"Remove exclusions", kChildStyle | SS_NOTIFY, 0, 0,
                  exclusionsSize.cx + 2, exclusionsSize.cy, kIdExclusionsLabel, linkFont_.Font());
    InfoLabel = MakeChild(hwnd_, L"STATIC", L"Click \"Start Scan\" to check your registry",
                          kChildStyle | SS_LEFT | SS_NOPREFIX, 20, 18, 596, 20, kIdInfoLabel, font);
    ProgressBar =
        MakeChild(hwnd_, kGaugeClass, L"", WS_CLIPSIBLINGS, 18, 40, 600, 18, kIdProgressBar, font);
    // Group boxes last: they sit below every control in the z-order.
    InfoBox = MakeChild(hwnd_, L"BUTTON", L" Info ", kChildStyle | BS_GROUPBOX, 0, 0, 10, 10,
                        kIdInfoBox, font);
    ActionsBox = MakeChild(hwnd_, L"BUTTON", L" Actions  ", kChildStyle | BS_GROUPBOX, 0, 0, 10, 10,
                           kIdActionsBox, font);
    DetailsBox = MakeChild(hwnd_, L"BUTTON", L" Details ", kChildStyle | BS_GROUPBOX, 0, 0, 10, 10,
                           kIdDetailsBox, font);
    AdditionallyBox = MakeChild(hwnd_, L"BUTTON", L" Additionally ", kChildStyle | BS_GROUPBOX, 0,
                                0, 10, 10, kIdAdditionallyBox, font);
    PopupMenu1 = CreatePopupMenu();
    AppendMenuW(PopupMenu1, MF_STRING, kIdPopupMenuItem1, L"Open registry key");
}

void MainWindow::Layout() {
    RECT client;
    GetClientRect(hwnd_, &client);
    int width = client.right;
    int height = client.bottom;
    int middleTop = kInfoBoxHeight;
    int middleHeight = height - kInfoBoxHeight - kBottomStripHeight;
    int actionsLeft = width - kActionsWidth;
    int bottomTop = height - kBottomStripHeight;
    auto place = [](HWND w, int x, int y, int cx, int cy) {
        SetWindowPos(w, nullptr, x, y, cx, cy, SWP_NOZORDER | SWP_NOACTIVATE);
    };
    auto move = [](HWND w, int x, int y) {
        SetWindowPos(w, nullptr, x, y, 0, 0, SWP_NOZORDER | SWP_NOACTIVATE | SWP_NOSIZE);
    };
    place(InfoBox, 0, 0, width, kInfoBoxHeight);
    move(InfoLabel, 20, infoTop_);
    move(ProgressBar, 18, 40);
    place(ActionsBox, actionsLeft, middleTop, kActionsWidth, middleHeight);
    move(Button1, actionsLeft + 10, middleTop + 24);
    move(Button2, actionsLeft + 10, middleTop + 56);
    // The borderless panel holding About and Close sits on the box's bottom edge.
    int panelTop = middleTop + middleHeight - 2 - kButtonPanelHeight;
    move(Button3, actionsLeft + 10, panelTop + 16);
    move(Button4, actionsLeft + 10, panelTop + 48);
    place(DetailsBox, 0, middleTop, actionsLeft, middleHeight);
    place(list_.Handle(), 2, middleTop + 15, actionsLeft - 4, middleHeight - 17);
    place(AdditionallyBox, 0, bottomTop, width, kBottomStripHeight);
    move(UndoCheck, 16, bottomTop + 22);
    move(UndoLabel, 104, bottomTop + 23);
    move(ExclusionsLabel, 192, bottomTop + 23);
    InvalidateRect(hwnd_, nullptr, TRUE);
}

HWND MainWindow::ControlHandle(Control control) const {
    switch (control) {
        case Control::Button1:
            return Button1;
        case Control::Button2:
            return Button2;
        case Control::Button3:
            return Button3;
        case Control::Button4:
            return Button4;
        case Control::UndoCheck:
            return UndoCheck;
        case Control::UndoLabel:
            return UndoLabel;
        case Control::ExclusionsLabel:
            return ExclusionsLabel;
    }
    return nullptr;
}

// ---- handlers ----

void MainWindow::OnCommand(int id, int code) {
    switch (id) {
        case kIdButton1:
            if (code == BN_CLICKED) {
                Guarded([this] { Button1Click(state_); });
                list_.Flush(true);
            }
            break;
        case kIdButton2:
            if (code == BN_CLICKED) {
                Guarded([this] { Button2Click(state_); });
                list_.Flush(true);
            }
            break;
        case kIdButton3:
            if (code == BN_CLICKED) {
                Button3Click();
            }
            break;
        case kIdButton4:
            if (code == BN_CLICKED) {
                Button4Click();
            }
            break;
        case kIdUndoLabel:
            if (code == STN_CLICKED) {
                Guarded([this] { UndoLabelClick(state_); });
            }
            break;
        case kIdExclusionsLabel:
            if (code == STN_CLICKED) {
                Guarded([this] { ExclusionsLabelClick(state_); });
            }
            break;
        case kIdPopupMenuItem1: {
            ModalScope walking(*this);  // the editor walk waits on another program's window
            Guarded([this] { PopupMenuItem1Click(state_, list_.RowCount()); });
            break;
        }
        default:
            break;
    }
}

void MainWindow::Button3Click() {
    ModalScope about(*this);
    Guarded([this] { ShowAbout(hwnd_); });
}

void MainWindow::Button4Click() {
    SendMessageW(hwnd_, WM_CLOSE, 0, 0);
}

LRESULT MainWindow::OnNotify(NMHDR* header) {
    if (header == nullptr || header->hwndFrom != list_.Handle()) {
        return 0;
    }
    switch (header->code) {
        case LVN_GETDISPINFOW:
            list_.OnGetDispInfo(reinterpret_cast<NMLVDISPINFOW*>(header));
            return 0;
        case NM_CUSTOMDRAW:
            return list_.OnCustomDraw(reinterpret_cast<NMLVCUSTOMDRAW*>(header));
        case NM_CLICK:
        case NM_RCLICK:
            ListClick(reinterpret_cast<NMITEMACTIVATE*>(header)->iItem);
            return 0;
        default:
            return 0;
    }
}

// A click on a finding remembers its key; a band is a caption and selects no finding.
void MainWindow::ListClick(int index) {
    auto row = list_.RowAt(index);
    if (!row) {
        return;
    }
    if (row->band) {
        ListView_SetItemState(list_.Handle(), index, 0, LVIS_SELECTED | LVIS_FOCUSED);
        state_.SelectedIssueKey.clear();
        return;
    }
    InfoListItemClick(state_, list_.KeyTextAt(index));
}

void MainWindow::OnContextMenu(HWND source, LPARAM position) {
    if (source != list_.Handle() || PopupMenu1 == nullptr) {
        return;
    }
    POINT at{static_cast<short>(LOWORD(position)), static_cast<short>(HIWORD(position))};
    if (at.x == -1 && at.y == -1) {
        // From the keyboard: the selected row, below its rectangle.
        int selected = ListView_GetNextItem(list_.Handle(), -1, LVNI_SELECTED);
        RECT r{};
        if (selected >= 0 && ListView_GetItemRect(list_.Handle(), selected, &r, LVIR_BOUNDS)) {
            at = POINT{r.left, r.bottom};
        } else {
            at = POINT{0, 0};
        }
        ClientToScreen(list_.Handle(), &at);
    } else {
        // The right click counts as a click on its row, before the menu opens.
        LVHITTESTINFO hit{};
        hit.pt = at;
        ScreenToClient(list_.Handle(), &hit.pt);
        int index = ListView_HitTest(list_.Handle(), &hit);
        if (index >= 0) {
            ListClick(index);
        }
    }
    ModalScope menu(*this);
    TrackPopupMenu(PopupMenu1, TPM_LEFTALIGN | TPM_RIGHTBUTTON, at.x, at.y, 0, hwnd_, nullptr);
}

LRESULT MainWindow::OnColorStatic(HDC dc, HWND control) {
    SetBkMode(dc, TRANSPARENT);
    if (control == UndoLabel || control == ExclusionsLabel) {
        SetTextColor(dc, IsWindowEnabled(control) ? kLinkText : GetSysColor(COLOR_GRAYTEXT));
    } else {
        SetTextColor(dc, RGB(0, 0, 0));
    }
    return reinterpret_cast<LRESULT>(GetSysColorBrush(COLOR_BTNFACE));
}

bool MainWindow::OnSetCursor(HWND over) {
    if ((over == UndoLabel || over == ExclusionsLabel) && IsWindowEnabled(over)) {
        SetCursor(LoadCursorW(nullptr, IDC_HAND));
        return true;
    }
    return false;
}

// ---- the engine's window operations ----

void MainWindow::SetCaption(Control control, std::wstring_view caption) {
    SetWindowTextW(ControlHandle(control), std::wstring(caption).c_str());
}

void MainWindow::SetEnabled(Control control, bool enabled) {
    HWND w = ControlHandle(control);
    EnableWindow(w, enabled ? TRUE : FALSE);
    if (control == Control::UndoLabel || control == Control::ExclusionsLabel) {
        InvalidateRect(w, nullptr, TRUE);
    }
}

void MainWindow::Focus(Control control) {
    SetFocus(ControlHandle(control));
}

bool MainWindow::UndoChecked() const {
    return SendMessageW(UndoCheck, BM_GETCHECK, 0, 0) == BST_CHECKED;
}

void MainWindow::SetInfoText(std::wstring_view text) {
    SetWindowTextW(InfoLabel, std::wstring(text).c_str());
}

void MainWindow::SetInfoTop(int top) {
    infoTop_ = top;
    SetWindowPos(InfoLabel, nullptr, 20, top, 0, 0, SWP_NOZORDER | SWP_NOACTIVATE | SWP_NOSIZE);
    InvalidateRect(hwnd_, nullptr, TRUE);
}

void MainWindow::SetInfoAlignment(Alignment alignment) {
    LONG_PTR style = GetWindowLongPtrW(InfoLabel, GWL_STYLE);
    style &= ~static_cast<LONG_PTR>(SS_TYPEMASK);
    style |= alignment == Alignment::Center ? SS_CENTER : SS_LEFT;
    SetWindowLongPtrW(InfoLabel, GWL_STYLE, style);
    InvalidateRect(InfoLabel, nullptr, TRUE);
}

void MainWindow::SetGauge(int percent) {
    SendMessageW(ProgressBar, PBM_SETPOS, static_cast<WPARAM>(percent < 0 ? 0 : percent), 0);
}

void MainWindow::ShowGauge(bool visible) {
    ShowWindow(ProgressBar, visible ? SW_SHOW : SW_HIDE);
}

void MainWindow::EnableTimer(bool enabled) {
    if (enabled) {
        SetTimer(hwnd_, kTimer1, kTimer1Interval, nullptr);
    } else {
        KillTimer(hwnd_, kTimer1);
    }
}

bool MainWindow::Confirm(std::wstring_view question) {
    ModalScope dialog(*this);
    return ui::Confirm(hwnd_, question);
}

void MainWindow::Inform(std::wstring_view message) {
    ModalScope dialog(*this);
    ui::Inform(hwnd_, message);
}

void MainWindow::ResultsCleared() {
    list_.Cleared();
}

void MainWindow::ResultsAppended() {
    list_.Appended();
}

void MainWindow::Pump() {
    ULONGLONG now = GetTickCount64();
    if (now - lastPump_ < kPumpIntervalMs) {
        return;
    }
    lastPump_ = now;
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
        if (msg.message == WM_QUIT) {
            PostQuitMessage(static_cast<int>(msg.wParam));  // for the outer loop
            break;
        }
        DispatchOne(msg);
    }
    list_.Flush(false);
}

std::uintptr_t MainWindow::OwnerHandle() const {
    return reinterpret_cast<std::uintptr_t>(hwnd_);
}

void MainWindow::DispatchOne(MSG& msg) {
    if (hwnd_ != nullptr && IsDialogMessageW(hwnd_, &msg)) {
        return;
    }
    TranslateMessage(&msg);
    DispatchMessageW(&msg);
}

int RunMessageLoop(HWND mainWindow) {
    MSG msg;
    BOOL got;
    while ((got = GetMessageW(&msg, nullptr, 0, 0)) != 0) {
        if (got < 0) {
            break;
        }
        MainWindow* window = MainWindow::FromHandle(mainWindow);
        if (window != nullptr) {
            window->DispatchOne(msg);
        } else {
            TranslateMessage(&msg);
            DispatchMessageW(&msg);
        }
    }
    return got == 0 ? static_cast<int>(msg.wParam) : 0;
}

}  // namespace bv::ui
