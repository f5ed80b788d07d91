// The main window: creation and layout of its controls, its handlers (thin switch in the window
// procedure), the engine's window operations, the pump and the application-wide restore hook.
#include "ui/Unit1.h"

#include <commctrl.h>

#include <iterator>
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
// The window never paints beneath its controls (no flicker on resize); the group boxes, lowest in
// the z-order, paint their own background off-screen, clipped to what no other control covers.
constexpr DWORD kMainStyle = WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN;
constexpr DWORD kChildStyle = WS_VISIBLE | WS_CLIPSIBLINGS;
constexpr UINT_PTR kGroupBoxSubclass = 1;

// The hook procedure has no user data: this is the window whose restore message it watches.
MainWindow* hookedWindow = nullptr;

LRESULT CALLBACK GroupBoxProc(HWND box, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR /*id*/,
                              DWORD_PTR /*data*/) {
    switch (message) {
        case WM_ERASEBKGND:
            return 1;
        case WM_PAINT: {
            PAINTSTRUCT ps;
            HDC dc = BeginPaint(box, &ps);
            RECT client;
            GetClientRect(box, &client);
            HDC memory = CreateCompatibleDC(dc);
            if (memory != nullptr && client.right > 0 && client.bottom > 0) {
                GdiObject bitmap(CreateCompatibleBitmap(dc, client.right, client.bottom));
                HGDIOBJ old = SelectObject(memory, bitmap.Get());
                FillRect(memory, &client, GetSysColorBrush(COLOR_BTNFACE));
                DefSubclassProc(box, WM_PRINTCLIENT, reinterpret_cast<WPARAM>(memory), PRF_CLIENT);
                BitBlt(dc, ps.rcPaint.left, ps.rcPaint.top, ps.rcPaint.right - ps.rcPaint.left,
                       ps.rcPaint.bottom - ps.rcPaint.top, memory, ps.rcPaint.left, ps.rcPaint.top,
                       SRCCOPY);
                SelectObject(memory, old);
            }
            if (memory != nullptr) {
                DeleteDC(memory);
            }
            EndPaint(box, &ps);
            return 0;
        }
        case WM_NCDESTROY:
            RemoveWindowSubclass(box, GroupBoxProc, kGroupBoxSubclass);
            break;
        default:
            break;
    }
    return DefSubclassProc(box, message, wParam, lParam);
}

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
    // Created at its size for the monitor it opens on: a later resize would be held to the
    // minimum size, which is meant for the user's resizing only.
    const UINT dpi = PrimaryMonitorDpi();
    SIZE outer = OuterSize(Scale(kClientWidth, dpi), Scale(kClientHeight, dpi), kMainStyle, 0, dpi);
    HWND window =
        CreateWindowExW(0, kMainClass, kMainTitle, kMainStyle, CW_USEDEFAULT, CW_USEDEFAULT,
                        outer.cx, outer.cy, nullptr, nullptr, instance, &params);
    if (window == nullptr) {
        if (!params.adopted) {
            delete params.self;
        }
        return nullptr;
    }
    MainWindow* self = params.self;
    if (self->dpi_ != dpi) {
        SetClientSize(window, self->S(kClientWidth), self->S(kClientHeight));
    }
    CenterOver(window, nullptr);
    return self;
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
        self->dpi_ = WindowDpi(window);
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
            info->ptMinTrackSize.x = S(kMinWidth);
            info->ptMinTrackSize.y = S(kMinHeight);
            return 0;
        }
        case WM_DPICHANGED:
            DpiChanged(HIWORD(wParam), *reinterpret_cast<const RECT*>(lParam));
            return 0;
        case WM_SYSCOLORCHANGE:
        case WM_SETTINGCHANGE:
        case WM_THEMECHANGED:
            ColoursChanged();
            break;
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
            // Keep the focused control across switches to other windows; a control that was
            // disabled meanwhile hands the focus to the first one that can take it.
            if (LOWORD(wParam) == WA_INACTIVE) {
                HWND focus = GetFocus();
                lastFocus_ = focus != nullptr && IsChild(hwnd_, focus) ? focus : lastFocus_;
            } else if (HIWORD(wParam) == 0) {
                HWND focus =
                    lastFocus_ != nullptr && IsWindow(lastFocus_) && IsWindowEnabled(lastFocus_)
                        ? lastFocus_
                        : GetNextDlgTabItem(hwnd_, nullptr, FALSE);
                if (focus != nullptr) {
                    SetFocus(focus);
                    return 0;
                }
            }
            break;
        case DM_GETDEFID:
            return FocusedDefaultId(hwnd_);
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
    lastFocus_ = Button1;  // the first activation gives it the focus
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

void MainWindow::DpiChanged(UINT dpi, const RECT& suggested) {
    dpi_ = dpi;
    ApplyFonts();
    SetWindowPos(hwnd_, nullptr, suggested.left, suggested.top, suggested.right - suggested.left,
                 suggested.bottom - suggested.top, SWP_NOZORDER | SWP_NOACTIVATE);
    Layout();
    list_.SetColumnWidths();
}

void MainWindow::ColoursChanged() {
    list_.ColoursChanged();
    RedrawWindow(hwnd_, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN);
}

void MainWindow::DestroyForm() {
    KillTimer(hwnd_, kTimer1);
    list_.Destroying();
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
    font_ = MakeFont(dpi_, 12);
    linkFont_ = MakeFont(dpi_, 12, false, true);
    HFONT font = font_.Font();
    // Creation order is tab order: Button1..4, the list, UndoCheck. Sizes and places: Layout.
    auto button = [&](const wchar_t* caption, int id) {
        HWND b = MakeChild(hwnd_, L"BUTTON", caption, kChildStyle | WS_TABSTOP | BS_PUSHBUTTON, 0,
                           0, 0, 0, id, font);
        DefaultLookFollowsFocus(b);
        return b;
    };
    Button1 = button(L"Start scan", kIdButton1);
    Button2 = button(L"Fix errors", kIdButton2);
    Button3 = button(L"About", kIdButton3);
    Button4 = button(L"Close", kIdButton4);
    // Screen readers name the list after its box.
    list_.Create(hwnd_, kIdInfoList, font, dpi_, L"Details");
    UndoCheck =
        MakeChild(hwnd_, L"BUTTON", L"Save undo", kChildStyle | WS_TABSTOP | BS_AUTOCHECKBOX, 0, 0,
                  0, 0, kIdUndoCheck, font);
    SendMessageW(UndoCheck, BM_SETCHECK, BST_CHECKED, 0);
    UndoLabel = MakeChild(hwnd_, L"STATIC", L"Manage undo", kChildStyle | SS_NOTIFY, 0, 0, 0, 0,
                          kIdUndoLabel, linkFont_.Font());
    ExclusionsLabel = MakeChild(hwnd_, L"STATIC", L"Remove exclusions", kChildStyle | SS_NOTIFY, 0,
                                0, 0, 0, kIdExclusionsLabel, linkFont_.Font());
    InfoLabel = MakeChild(hwnd_, L"STATIC", L"Click \"Start Scan\" to check your registry",
                          kChildStyle | SS_LEFT | SS_NOPREFIX, 0, 0, 0, 0, kIdInfoLabel, font);
    ProgressBar =
        MakeChild(hwnd_, kGaugeClass, L"", WS_CLIPSIBLINGS, 0, 0, 0, 0, kIdProgressBar, font);
    // Group boxes last: they sit below every control in the z-order.
    auto box = [&](const wchar_t* caption, int id) {
        HWND b =
            MakeChild(hwnd_, L"BUTTON", caption, kChildStyle | BS_GROUPBOX, 0, 0, 0, 0, id, font);
        SetWindowSubclass(b, GroupBoxProc, kGroupBoxSubclass, 0);
        return b;
    };
    InfoBox = box(L" Info ", kIdInfoBox);
    ActionsBox = box(L" Actions  ", kIdActionsBox);
    DetailsBox = box(L" Details ", kIdDetailsBox);
    AdditionallyBox = box(L" Additionally ", kIdAdditionallyBox);
    PopupMenu1 = CreatePopupMenu();
    AppendMenuW(PopupMenu1, MF_STRING, kIdPopupMenuItem1, L"Open registry key");
}

// New fonts for the window's DPI; the old ones go only once no control uses them.
void MainWindow::ApplyFonts() {
    GdiObject font = MakeFont(dpi_, 12);
    GdiObject linkFont = MakeFont(dpi_, 12, false, true);
    for (HWND w : {Button1, Button2, Button3, Button4, UndoCheck, InfoLabel, ProgressBar, InfoBox,
                   ActionsBox, DetailsBox, AdditionallyBox}) {
        SendMessageW(w, WM_SETFONT, reinterpret_cast<WPARAM>(font.Font()), FALSE);
    }
    for (HWND w : {UndoLabel, ExclusionsLabel}) {
        SendMessageW(w, WM_SETFONT, reinterpret_cast<WPARAM>(linkFont.Font()), FALSE);
    }
    list_.SetFont(font.Font(), dpi_);
    font_ = std::move(font);
    linkFont_ = std::move(linkFont);
    RedrawWindow(hwnd_, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN);
}

// The 96-DPI layout scaled to the window's DPI; every control is placed in one step.
void MainWindow::Layout() {
    RECT client;
    GetClientRect(hwnd_, &client);
    const int width = client.right;
    const int height = client.bottom;
    const int infoHeight = S(kInfoBoxHeight);
    const int bottomHeight = S(kBottomStripHeight);
    const int actionsWidth = S(kActionsWidth);
    const int middleTop = infoHeight;
    const int middleHeight = height - infoHeight - bottomHeight;
    const int actionsLeft = width - actionsWidth;
    const int bottomTop = height - bottomHeight;
    // The borderless panel holding About and Close sits on the box's bottom edge.
    const int panelTop = middleTop + middleHeight - S(2) - S(kButtonPanelHeight);
    const SIZE undoSize = TextSize(hwnd_, linkFont_.Font(), L"Manage undo");
    const SIZE exclusionsSize = TextSize(hwnd_, linkFont_.Font(), L"Remove exclusions");
    struct Place {
        HWND window;
        int x, y, cx, cy;
    };
    const Place places[] = {
        {InfoBox, 0, 0, width, infoHeight},
        {InfoLabel, S(20), S(infoTop_), S(596), S(20)},
        {ProgressBar, S(18), S(40), S(600), S(18)},
        {ActionsBox, actionsLeft, middleTop, actionsWidth, middleHeight},
        {Button1, actionsLeft + S(10), middleTop + S(24), S(100), S(25)},
        {Button2, actionsLeft + S(10), middleTop + S(56), S(100), S(25)},
        {Button3, actionsLeft + S(10), panelTop + S(16), S(100), S(25)},
        {Button4, actionsLeft + S(10), panelTop + S(48), S(100), S(25)},
        {DetailsBox, 0, middleTop, actionsLeft, middleHeight},
        {list_.Handle(), S(2), middleTop + S(15), actionsLeft - S(4), middleHeight - S(17)},
        {AdditionallyBox, 0, bottomTop, width, bottomHeight},
        {UndoCheck, S(16), bottomTop + S(22), S(80), S(17)},
        {UndoLabel, S(104), bottomTop + S(23), undoSize.cx + S(2), undoSize.cy},
        {ExclusionsLabel, S(192), bottomTop + S(23), exclusionsSize.cx + S(2), exclusionsSize.cy},
    };
    HDWP batch = BeginDeferWindowPos(static_cast<int>(std::size(places)));
    for (const Place& p : places) {
        if (batch != nullptr) {
            batch = DeferWindowPos(batch, p.window, nullptr, p.x, p.y, p.cx, p.cy,
                                   SWP_NOZORDER | SWP_NOACTIVATE);
        }
    }
    if (batch != nullptr) {
        EndDeferWindowPos(batch);
        return;
    }
    for (const Place& p : places) {  // out of memory for the batch: one by one
        SetWindowPos(p.window, nullptr, p.x, p.y, p.cx, p.cy, SWP_NOZORDER | SWP_NOACTIVATE);
    }
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

// A click on a finding remembers its key; a band is a caption, not a result row: a click on it
// leaves the remembered key and the selection as they were.
void MainWindow::ListClick(int index) {
    auto row = list_.RowAt(index);
    if (!row) {
        return;
    }
    if (row->band) {
        list_.SelectChosenFinding();
        return;
    }
    list_.ChooseFinding(*row);
    InfoListItemClick(state_, list_.KeyTextAt(index));
}

void MainWindow::OnContextMenu(HWND source, LPARAM position) {
    if (source != list_.Handle() || PopupMenu1 == nullptr) {
        return;
    }
    HWND list = list_.Handle();
    POINT at{static_cast<short>(LOWORD(position)), static_cast<short>(HIWORD(position))};
    if (at.x == -1 && at.y == -1) {
        // The context-menu key or Shift+F10: the highlighted row counts as clicked, and the menu
        // opens below it (inside the list when the row is scrolled away).
        int highlighted = ListView_GetNextItem(list, -1, LVNI_SELECTED);
        if (highlighted < 0) {
            highlighted = ListView_GetNextItem(list, -1, LVNI_FOCUSED);
        }
        RECT client{};
        GetClientRect(list, &client);
        RECT r{};
        at = POINT{client.left, client.top};
        if (highlighted >= 0) {
            ListClick(highlighted);
            if (ListView_GetItemRect(list, highlighted, &r, LVIR_BOUNDS)) {
                at = POINT{r.left + S(8), r.bottom};
            }
        }
        at.x = at.x < client.left ? client.left : at.x > client.right ? client.right : at.x;
        at.y = at.y < client.top ? client.top : at.y > client.bottom ? client.bottom : at.y;
        ClientToScreen(list, &at);
    } else {
        // The right click counts as a click on its row, before the menu opens.
        LVHITTESTINFO hit{};
        hit.pt = at;
        ScreenToClient(list, &hit.pt);
        int index = ListView_HitTest(list, &hit);
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
        SetTextColor(dc,
                     IsWindowEnabled(control) ? LinkText(kLinkText) : GetSysColor(COLOR_GRAYTEXT));
    } else {
        SetTextColor(dc, GetSysColor(COLOR_BTNTEXT));  // black in the standard colours
    }
    SetBkColor(dc, GetSysColor(COLOR_BTNFACE));
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
    lastFocus_ = ControlHandle(control);  // also where an activation later puts the focus
    SetFocus(lastFocus_);
}

bool MainWindow::UndoChecked() const {
    return SendMessageW(UndoCheck, BM_GETCHECK, 0, 0) == BST_CHECKED;
}

void MainWindow::SetInfoText(std::wstring_view text) {
    SetWindowTextW(InfoLabel, std::wstring(text).c_str());
}

// Only the label and the strip of the box it uncovers are painted again.
void MainWindow::SetInfoTop(int top) {
    infoTop_ = top;
    SetWindowPos(InfoLabel, nullptr, S(20), S(top), 0, 0,
                 SWP_NOZORDER | SWP_NOACTIVATE | SWP_NOSIZE);
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
    if (visible) {
        // Painted now, not at the next pump: a run shows the gauge full for a moment, and its
        // first step resets it before any pump.
        UpdateWindow(ProgressBar);
    }
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
    if (hwnd_ != nullptr && (ClickFocusedOnEnter(hwnd_, msg) || IsDialogMessageW(hwnd_, &msg))) {
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
