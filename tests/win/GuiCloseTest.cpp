// Closing the main window while code below the request still uses it: a stopped scan winding
// down, a dialog or the About box open. The request is refused and the window stays usable.
#include <windows.h>

#include <gtest/gtest.h>

#include <atomic>
#include <functional>
#include <string>

#include "engine/ScanRun.h"
#include "tests/win/GuiTestSupport.h"
#include "ui/Unit2.h"
#include "ui/Unit3a.h"
#include "ui/Unit3b.h"

namespace bv::ui::guitest {
namespace {

// The ways a close request reaches the window.
struct CloseRequest {
    const char* name;
    UINT message;
    WPARAM wParam;
};
const CloseRequest kCloseRequests[] = {
    {"WM_CLOSE from another program", WM_CLOSE, 0},
    {"title-bar close box or Alt+F4", WM_SYSCOMMAND, SC_CLOSE},
};

using GuiCloseTest = GuiFixture;

// After "Yes" to the stop question the scan is still on the stack until its next checkpoint; a
// close request in that gap must not free what it uses.
TEST_F(GuiCloseTest, RefusedWhileAStoppedScanWindsDown) {
    SeededAppPaths seeded(20);
    for (const CloseRequest& request : kCloseRequests) {
        SCOPED_TRACE(request.name);
        std::atomic<int> stage{0};
        bool windingDown = false;
        bool stayed = false;
        // Runs inside the scan's first pump: the stop question, then the close request at once.
        auto inTheScan = [&, request] {
            stage = 1;
            Button1Click(State());  // "Stop": the Confirmation dialog
            windingDown = !State().scanInProgress && State().runActive;
            SendMessageW(main_, request.message, request.wParam, 0);
            stayed = IsWindow(main_) != FALSE;
            stage = 2;
        };
        Click(Item(kIdButton1));
        ui_->Post(inTheScan);
        HWND question = WaitForWindow(kConfirmationCaption);
        ASSERT_NE(question, nullptr);
        Click(Button(question, L"Yes"));
        ASSERT_TRUE(WaitFor([&] { return stage.load() == 2; }, kScanTimeoutMs));
        EXPECT_TRUE(windingDown) << "the request did not come in the wind-down";
        EXPECT_TRUE(stayed);
        ASSERT_TRUE(WaitFor([this] { return Idle(); }, kScanTimeoutMs));
        ui_->Settle();
        ASSERT_TRUE(IsWindow(main_));
        EXPECT_TRUE(IsWindowEnabled(Item(kIdButton4)));
    }
    // Once the run has ended, the same request closes the window.
    PostMessageW(main_, WM_SYSCOMMAND, SC_CLOSE, 0);
    EXPECT_TRUE(WaitFor([this] { return !IsWindow(main_); }));
}

// The modal windows opened over the main window, each with how to close it.
struct ModalCase {
    const char* name;
    const wchar_t* caption;
    std::function<void(UiThread&)> open;
    const wchar_t* closeButton;
};

TEST_F(GuiCloseTest, RefusedWhileADialogIsOpen) {
    const ModalCase cases[] = {
        {"Confirmation", kConfirmationCaption,
         [](UiThread& ui) { ui.Post([&ui] { ui.Window()->Confirm(L"Are you sure?"); }); }, L"No"},
        {"Information", kInformationCaption,
         [](UiThread& ui) { ui.Post([&ui] { ui.Window()->Inform(L"Errors were fixed"); }); },
         L"OK"},
        {"About", kAboutCaption, [](UiThread& ui) { Click(ui.Item(kIdButton3)); }, L"Close"},
    };
    for (const ModalCase& c : cases) {
        for (const CloseRequest& request : kCloseRequests) {
            SCOPED_TRACE(std::string(c.name) + ", " + request.name);
            c.open(*ui_);
            HWND dialog = WaitForWindow(c.caption);
            ASSERT_NE(dialog, nullptr);
            PostMessageW(main_, request.message, request.wParam, 0);
            ui_->Settle();  // handled by the dialog's loop
            EXPECT_TRUE(IsWindow(main_));
            EXPECT_TRUE(IsWindow(dialog));
            Click(Button(dialog, c.closeButton));
            ASSERT_TRUE(WaitForNoWindow(c.caption));
            ui_->Settle();
            ASSERT_TRUE(IsWindow(main_)) << "the refused request came back later";
            EXPECT_TRUE(WaitFor([this] { return IsWindowEnabled(main_) != FALSE; }));
        }
    }
}

}  // namespace
}  // namespace bv::ui::guitest
