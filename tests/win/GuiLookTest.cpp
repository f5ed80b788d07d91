// What the window shows and how: the full gauge painted at the start of a scan, no repainting of
// controls that did not change, colours from the system under a high-contrast scheme, and what
// screen readers are told about the gauge and the result list.
#include <windows.h>
#include <commctrl.h>
#include <oleacc.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "tests/win/GuiTestSupport.h"
#include "ui/UiCommon.h"

namespace bv::ui::guitest {
namespace {

using GuiLookTest = GuiFixture;

// Every gauge value painted, in order, seen by a subclass on the window's own thread.
std::vector<int>* paintedValues = nullptr;

LRESULT CALLBACK RecordPaint(HWND gauge, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR,
                             DWORD_PTR) {
    if (message == WM_PAINT && paintedValues != nullptr && GetUpdateRect(gauge, nullptr, FALSE)) {
        paintedValues->push_back(static_cast<int>(SendMessageW(gauge, PBM_GETPOS, 0, 0)));
    }
    return DefSubclassProc(gauge, message, wParam, lParam);
}

TEST_F(GuiLookTest, GaugeIsPaintedFullBeforeTheFirstScannerResetsIt) {
    std::vector<int> painted;
    HWND gauge = Item(kIdProgressBar);
    ui_->Invoke([&] {
        paintedValues = &painted;
        SetWindowSubclass(gauge, RecordPaint, 1, 0);
    });
    Click(Item(kIdButton1));
    ASSERT_TRUE(WaitFor([this] { return Text(Item(kIdButton1)) == L"Stop"; }));
    ASSERT_TRUE(WaitFor([this] { return Idle(); }, kScanTimeoutMs));
    ui_->Invoke([&] {
        RemoveWindowSubclass(gauge, RecordPaint, 1);
        paintedValues = nullptr;
    });
    ASSERT_FALSE(painted.empty());
    EXPECT_EQ(painted.front(), 100);
}

// Marks every window of the main window painted, runs `change`, and lists the controls that
// are to be painted again.
std::vector<int> RepaintedAfter(UiThread& ui, const std::function<void()>& change) {
    std::vector<int> repainted;
    ui.Invoke([&] {
        RedrawWindow(ui.Main(), nullptr, nullptr, RDW_UPDATENOW | RDW_ALLCHILDREN);
        RedrawWindow(ui.Main(), nullptr, nullptr, RDW_VALIDATE | RDW_ALLCHILDREN);
        change();
        for (int id : {kIdButton1, kIdButton2, kIdButton3, kIdButton4, kIdInfoList, kIdUndoCheck,
                       kIdProgressBar, kIdInfoLabel}) {
            if (GetUpdateRect(ui.Item(id), nullptr, FALSE)) {
                repainted.push_back(id);
            }
        }
    });
    return repainted;
}

TEST_F(GuiLookTest, OnlyWhatChangedIsPaintedAgain) {
    EXPECT_NE(GetWindowLongPtrW(main_, GWL_STYLE) & WS_CLIPCHILDREN, 0);
    // The status line moves: the label (and the box beneath it) only.
    for (int top : {18, 32}) {
        std::vector<int> repainted =
            RepaintedAfter(*ui_, [this, top] { ui_->Window()->SetInfoTop(top); });
        repainted.erase(std::remove(repainted.begin(), repainted.end(), kIdInfoLabel),
                        repainted.end());
        EXPECT_EQ(repainted, std::vector<int>{}) << "top " << top;
    }
    // Taller: the controls of the top rows stay as they are.
    RECT r{};
    GetWindowRect(main_, &r);
    std::vector<int> repainted = RepaintedAfter(*ui_, [&] {
        SetWindowPos(main_, nullptr, 0, 0, r.right - r.left, r.bottom - r.top + 40,
                     SWP_NOMOVE | SWP_NOZORDER);
    });
    for (int id : {kIdButton1, kIdButton2, kIdProgressBar, kIdInfoLabel}) {
        EXPECT_EQ(std::count(repainted.begin(), repainted.end(), id), 0) << id;
    }
}

// System colours for the time of a test; the old ones come back afterwards.
class SystemColours {
  public:
    explicit SystemColours(const std::vector<std::pair<int, COLORREF>>& colours) {
        for (const auto& [element, colour] : colours) {
            elements_.push_back(element);
            old_.push_back(GetSysColor(element));
            new_.push_back(colour);
        }
        SetSysColors(static_cast<int>(elements_.size()), elements_.data(), new_.data());
    }
    ~SystemColours() {
        SetSysColors(static_cast<int>(elements_.size()), elements_.data(), old_.data());
    }
    SystemColours(const SystemColours&) = delete;
    SystemColours& operator=(const SystemColours&) = delete;

  private:
    std::vector<int> elements_;
    std::vector<COLORREF> old_;
    std::vector<COLORREF> new_;
};

// The colour at a point of what a control paints of itself.
COLORREF PaintedColour(HWND control, POINT at) {
    RECT client{};
    GetClientRect(control, &client);
    HDC screen = GetDC(control);
    HDC memory = CreateCompatibleDC(screen);
    HBITMAP bitmap = CreateCompatibleBitmap(screen, client.right, client.bottom);
    HGDIOBJ old = SelectObject(memory, bitmap);
    SendMessageW(control, WM_PRINTCLIENT, reinterpret_cast<WPARAM>(memory), PRF_CLIENT);
    COLORREF colour = GetPixel(memory, at.x, at.y);
    SelectObject(memory, old);
    DeleteObject(bitmap);
    DeleteDC(memory);
    ReleaseDC(control, screen);
    return colour;
}

TEST_F(GuiLookTest, DarkSchemeTakesTextAndBackgroundsFromTheSystem) {
    const COLORREF yellow = RGB(255, 255, 0);
    const COLORREF cyan = RGB(0, 255, 255);
    struct Case {
        const char* name;
        std::vector<std::pair<int, COLORREF>> scheme;
        COLORREF gaugeBack, gaugeDone, labelText, linkText;
    };
    const Case cases[] = {
        {"standard", {}, RGB(255, 255, 255), kGold, GetSysColor(COLOR_BTNTEXT), kLinkText},
        {"high contrast black",
         {{COLOR_BTNFACE, RGB(0, 0, 0)},
          {COLOR_BTNTEXT, RGB(255, 255, 255)},
          {COLOR_WINDOW, RGB(0, 0, 0)},
          {COLOR_WINDOWTEXT, RGB(255, 255, 255)},
          {COLOR_HIGHLIGHT, cyan},
          {COLOR_HIGHLIGHTTEXT, RGB(0, 0, 0)},
          {COLOR_HOTLIGHT, yellow}},
         RGB(0, 0, 0),
         cyan,
         RGB(255, 255, 255),
         yellow},
    };
    HWND gauge = Item(kIdProgressBar);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        SystemColours scheme(c.scheme);
        COLORREF back = 0, done = 0, label = 0, link = 0;
        ui_->Invoke([&] {
            ui_->Window()->SetGauge(50);
            RECT r{};
            GetClientRect(gauge, &r);
            back = PaintedColour(gauge, POINT{r.right - 4, r.bottom / 2});
            done = PaintedColour(gauge, POINT{4, r.bottom / 2});
            // The colours the window gives its labels and links.
            HDC dc = CreateCompatibleDC(nullptr);
            SendMessageW(main_, WM_CTLCOLORSTATIC, reinterpret_cast<WPARAM>(dc),
                         reinterpret_cast<LPARAM>(Item(kIdInfoLabel)));
            label = GetTextColor(dc);
            SendMessageW(main_, WM_CTLCOLORSTATIC, reinterpret_cast<WPARAM>(dc),
                         reinterpret_cast<LPARAM>(Item(kIdUndoLabel)));
            link = GetTextColor(dc);
            DeleteDC(dc);
        });
        EXPECT_EQ(back, c.gaugeBack);
        EXPECT_EQ(done, c.gaugeDone);
        EXPECT_EQ(label, c.labelText);
        EXPECT_EQ(link, c.linkText);
    }
}

std::wstring Take(BSTR text) {
    std::wstring out = text != nullptr ? text : L"";
    SysFreeString(text);
    return out;
}

// A COM apartment on the test's thread, which asks as a screen reader would.
struct ComScope {
    ComScope() { CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED); }
    ~ComScope() { CoUninitialize(); }
    ComScope(const ComScope&) = delete;
    ComScope& operator=(const ComScope&) = delete;
};

TEST_F(GuiLookTest, ScreenReadersSeeTheGaugeAndTheListsName) {
    ComScope com;
    IAccessible* gauge = nullptr;
    // __uuidof: MinGW's import library defines IID_IAccessible wrongly.
    ASSERT_EQ(AccessibleObjectFromWindow(Item(kIdProgressBar), OBJID_CLIENT, __uuidof(IAccessible),
                                         reinterpret_cast<void**>(&gauge)),
              S_OK);
    ASSERT_NE(gauge, nullptr);
    VARIANT self{};
    self.vt = VT_I4;
    self.lVal = CHILDID_SELF;
    VARIANT role{};
    EXPECT_EQ(gauge->get_accRole(self, &role), S_OK);
    EXPECT_EQ(role.vt, VT_I4);
    EXPECT_EQ(role.lVal, ROLE_SYSTEM_PROGRESSBAR);
    for (int value : {0, 37, 100}) {
        ui_->Invoke([&] { ui_->Window()->SetGauge(value); });
        BSTR text = nullptr;
        EXPECT_EQ(gauge->get_accValue(self, &text), S_OK);
        EXPECT_EQ(Take(text), std::to_wstring(value) + L"%");
    }
    gauge->Release();

    // The list is named after its box.
    IAccessible* list = nullptr;
    ASSERT_EQ(AccessibleObjectFromWindow(Item(kIdInfoList), OBJID_CLIENT, __uuidof(IAccessible),
                                         reinterpret_cast<void**>(&list)),
              S_OK);
    BSTR name = nullptr;
    EXPECT_EQ(list->get_accName(self, &name), S_OK);
    EXPECT_EQ(Take(name), L"Details");
    list->Release();
}

}  // namespace
}  // namespace bv::ui::guitest
