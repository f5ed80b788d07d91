// GUI tests: the real main window runs on its own user-interface thread and the test thread
// drives it by messages, as a user would: clicks, dialogs, the result list, the registry editor.
#include <windows.h>
#include <commctrl.h>
#include <tlhelp32.h>

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "engine/Findings.h"
#include "sysaccess/EnvironmentSnapshot.h"
#include "sysaccess/RegistryEditor.h"
#include "tests/host/RecordingWindow.h"
#include "tests/win/GuiTestSupport.h"
#include "ui/Gauge.h"
#include "ui/OpenKey.h"
#include "ui/Unit1.h"
#include "ui/Unit2.h"
#include "ui/Unit3a.h"
#include "ui/Unit3b.h"

namespace bv::ui {
namespace {

using namespace guitest;

// The control of a dialog that has the focus, once the dialog has given it to one: a dialog is
// shown before it sets its focus.
HWND WaitForFocusIn(HWND dialog) {
    HWND focus = nullptr;
    WaitFor([&] {
        focus = FocusOf(dialog);
        return focus != nullptr && IsChild(dialog, focus);
    });
    return focus;
}

class GuiTest : public GuiFixture {
  protected:
    std::wstring Info() const { return Text(Item(kIdInfoLabel)); }
    int ListCount() const {
        return static_cast<int>(SendMessageW(Item(kIdInfoList), LVM_GETITEMCOUNT, 0, 0));
    }
    std::wstring ListText(int index, int column) const {
        wchar_t buffer[1024] = {};
        LVITEMW item{};
        item.iSubItem = column;
        item.pszText = buffer;
        item.cchTextMax = 1024;
        DWORD_PTR got = 0;
        SendMessageTimeoutW(Item(kIdInfoList), LVM_GETITEMTEXTW, static_cast<WPARAM>(index),
                            reinterpret_cast<LPARAM>(&item), SMTO_NORMAL, kStepTimeoutMs, &got);
        return buffer;
    }
    // Clicks "Start scan" and waits for the scan's end.
    void RunScan() {
        Click(Item(kIdButton1));
        ASSERT_TRUE(WaitFor([this] { return Text(Item(kIdButton1)) == L"Stop"; }));
        ASSERT_TRUE(WaitFor([this] { return Idle(); }, kScanTimeoutMs));
        ui_->Settle();
    }

    // A left click on a row of the result list, through the list's own mouse handling.
    void ClickRow(int index) {
        HWND list = Item(kIdInfoList);
        RECT r{};
        r.left = LVIR_BOUNDS;
        SendMessageW(list, LVM_ENSUREVISIBLE, static_cast<WPARAM>(index), FALSE);
        SendMessageW(list, LVM_GETITEMRECT, static_cast<WPARAM>(index),
                     reinterpret_cast<LPARAM>(&r));
        LPARAM at = MAKELPARAM(r.left + 20, (r.top + r.bottom) / 2);
        PostMessageW(list, WM_LBUTTONDOWN, MK_LBUTTON, at);
        PostMessageW(list, WM_LBUTTONUP, 0, at);
        ui_->Settle();
    }
};

TEST_F(GuiTest, StartsCentredWithItsLayoutCaptionsAndInitialState) {
    EXPECT_EQ(Text(main_), L"Brimvale");
    SIZE client = ClientSize(main_);
    EXPECT_EQ(client.cx, 784);
    EXPECT_EQ(client.cy, 561);
    RECT outer{}, area{};
    GetWindowRect(main_, &outer);
    SystemParametersInfoW(SPI_GETWORKAREA, 0, &area, 0);
    EXPECT_NEAR((outer.left + outer.right) / 2, (area.left + area.right) / 2, 2);
    EXPECT_NEAR((outer.top + outer.bottom) / 2, (area.top + area.bottom) / 2, 2);

    struct Case {
        int id;
        const wchar_t* text;
        RECT rect;  // in the main window's client area
    };
    const Case cases[] = {
        {kIdInfoBox, L" Info ", {0, 0, 784, 72}},
        {kIdActionsBox, L" Actions  ", {664, 72, 784, 513}},
        {kIdDetailsBox, L" Details ", {0, 72, 664, 513}},
        {kIdAdditionallyBox, L" Additionally ", {0, 513, 784, 561}},
        {kIdButton1, L"Start scan", {674, 96, 774, 121}},
        {kIdButton2, L"Fix errors", {674, 128, 774, 153}},
        {kIdButton3, L"About", {674, 442, 774, 467}},
        {kIdButton4, L"Close", {674, 474, 774, 499}},
        {kIdInfoLabel, L"Click \"Start Scan\" to check your registry", {20, 32, 616, 52}},
        {kIdUndoCheck, L"Save undo", {16, 535, 96, 552}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        HWND item = Item(c.id);
        ASSERT_NE(item, nullptr);
        EXPECT_EQ(Text(item), c.text);
        RECT r = ChildRect(item);
        EXPECT_EQ(r.left, c.rect.left);
        EXPECT_EQ(r.top, c.rect.top);
        EXPECT_EQ(r.right, c.rect.right);
        EXPECT_EQ(r.bottom, c.rect.bottom);
    }
    EXPECT_EQ(Text(Item(kIdUndoLabel)), L"Manage undo");
    EXPECT_EQ(Text(Item(kIdExclusionsLabel)), L"Remove exclusions");
    EXPECT_EQ(ChildRect(Item(kIdUndoLabel)).left, 104);
    EXPECT_EQ(ChildRect(Item(kIdExclusionsLabel)).left, 192);

    // State after start-up.
    EXPECT_TRUE(IsWindowEnabled(Item(kIdButton1)));
    EXPECT_FALSE(IsWindowEnabled(Item(kIdButton2)));
    EXPECT_TRUE(IsWindowEnabled(Item(kIdButton3)));
    EXPECT_TRUE(IsWindowEnabled(Item(kIdButton4)));
    EXPECT_FALSE(IsWindowVisible(Item(kIdProgressBar)));
    EXPECT_EQ(SendMessageW(Item(kIdUndoCheck), BM_GETCHECK, 0, 0), BST_CHECKED);
    EXPECT_EQ(GetWindowLongPtrW(Item(kIdInfoLabel), GWL_STYLE) & SS_TYPEMASK, SS_LEFT);

    // Font: Segoe UI, 12 pixels.
    auto font = reinterpret_cast<HFONT>(SendMessageW(Item(kIdButton1), WM_GETFONT, 0, 0));
    LOGFONTW lf{};
    ASSERT_NE(GetObjectW(font, sizeof(lf), &lf), 0);
    EXPECT_EQ(lf.lfHeight, -12);
    EXPECT_STREQ(lf.lfFaceName, L"Segoe UI");

    // The list: two columns of (width div 2) - 16, a 23-pixel header.
    HWND list = Item(kIdInfoList);
    RECT listRect{};
    GetWindowRect(list, &listRect);
    EXPECT_EQ(listRect.right - listRect.left, 660);
    EXPECT_EQ(SendMessageW(list, LVM_GETCOLUMNWIDTH, 0, 0), 314);
    EXPECT_EQ(SendMessageW(list, LVM_GETCOLUMNWIDTH, 1, 0), 314);
    RECT header{};
    GetWindowRect(reinterpret_cast<HWND>(SendMessageW(list, LVM_GETHEADER, 0, 0)), &header);
    EXPECT_EQ(header.bottom - header.top, 23);
    EXPECT_EQ(ListCount(), 0);

    // Tab order: the tab stops in z-order.
    std::vector<HWND> stops;
    for (HWND w = GetWindow(main_, GW_CHILD); w != nullptr; w = GetWindow(w, GW_HWNDNEXT)) {
        if ((GetWindowLongPtrW(w, GWL_STYLE) & WS_TABSTOP) != 0) {
            stops.push_back(w);
        }
    }
    std::vector<HWND> expected = {
        Item(kIdButton1),  Item(kIdButton2), Item(kIdButton3), Item(kIdButton4), list,
        Item(kIdUndoCheck)};
    EXPECT_EQ(stops, expected);
}

TEST_F(GuiTest, KeepsItsMinimumSizeAndColumnRuleWhenResized) {
    SetWindowPos(main_, nullptr, 0, 0, 300, 200, SWP_NOMOVE | SWP_NOZORDER);
    RECT r{};
    GetWindowRect(main_, &r);
    EXPECT_EQ(r.right - r.left, 800);
    EXPECT_EQ(r.bottom - r.top, 600);
    // Every area stays visible; the Actions box stays 120 wide at the right.
    SIZE client = ClientSize(main_);
    RECT actions = ChildRect(Item(kIdActionsBox));
    EXPECT_EQ(actions.right, client.cx);
    EXPECT_EQ(actions.right - actions.left, 120);
    EXPECT_GT(ChildRect(Item(kIdButton4)).top, ChildRect(Item(kIdButton2)).bottom);

    for (int width : {1000, 1001, 1234}) {
        SetWindowPos(main_, nullptr, 0, 0, width, 700, SWP_NOMOVE | SWP_NOZORDER);
        RECT listRect{};
        GetWindowRect(Item(kIdInfoList), &listRect);
        int expected = (listRect.right - listRect.left) / 2 - 16;
        EXPECT_EQ(SendMessageW(Item(kIdInfoList), LVM_GETCOLUMNWIDTH, 0, 0), expected) << width;
        EXPECT_EQ(SendMessageW(Item(kIdInfoList), LVM_GETCOLUMNWIDTH, 1, 0), expected) << width;
        EXPECT_EQ(ChildRect(Item(kIdActionsBox)).right - ChildRect(Item(kIdActionsBox)).left, 120);
    }
}

TEST_F(GuiTest, ScanShowsProgressRefusesCloseAndStopsOnlyOnYes) {
    SeededAppPaths seeded(30);
    // Start, and ask to stop at once: the second click is handled at the scan's first pump.
    Click(Item(kIdButton1));
    Click(Item(kIdButton1));
    HWND question = WaitForWindow(kConfirmationCaption);
    ASSERT_NE(question, nullptr);

    // Scanning state, seen while the question holds the scan.
    EXPECT_EQ(Text(Item(kIdButton1)), L"Stop");
    EXPECT_EQ(Info(), L"Scanning. Please wait...");
    EXPECT_EQ(ChildRect(Item(kIdInfoLabel)).top, 18);
    EXPECT_TRUE(IsWindowVisible(Item(kIdProgressBar)));
    for (int id :
         {kIdButton2, kIdButton3, kIdButton4, kIdUndoCheck, kIdUndoLabel, kIdExclusionsLabel}) {
        EXPECT_FALSE(IsWindowEnabled(Item(id))) << id;
    }
    EXPECT_TRUE(IsWindowEnabled(Item(kIdButton1)));
    EXPECT_FALSE(IsWindowEnabled(main_));  // modal

    // The question: caption, text, fixed frame without close box, "Yes" focused, centred.
    EXPECT_EQ(Text(GetDlgItem(question, kConfirmLabelId)),
              L"Are you sure you want to stop registry scan?");
    LONG_PTR style = GetWindowLongPtrW(question, GWL_STYLE);
    EXPECT_EQ(style & WS_SYSMENU, 0);
    EXPECT_EQ(style & WS_THICKFRAME, 0);
    EXPECT_EQ(ClientSize(question).cx, 300);
    EXPECT_EQ(ClientSize(question).cy, 160);
    EXPECT_EQ(WaitForFocusIn(question), Button(question, L"Yes"));
    RECT q{}, m{};
    GetWindowRect(question, &q);
    GetWindowRect(main_, &m);
    EXPECT_NEAR((q.left + q.right) / 2, (m.left + m.right) / 2, 2);
    EXPECT_NEAR((q.top + q.bottom) / 2, (m.top + m.bottom) / 2, 2);

    // Closing is refused while the scan runs, and says nothing.
    PostMessageW(main_, WM_CLOSE, 0, 0);
    ui_->Settle();
    EXPECT_TRUE(IsWindow(main_));
    EXPECT_TRUE(IsWindow(question));

    // "No": the scan goes on.
    Click(Button(question, L"No"));
    ASSERT_TRUE(WaitFor([] { return FindWindowW(nullptr, kConfirmationCaption) == nullptr; }));
    EXPECT_TRUE(IsWindow(main_));
    // Ask again, answer "Yes": the scan ends early.
    Click(Item(kIdButton1));
    question = WaitForWindow(kConfirmationCaption);
    ASSERT_NE(question, nullptr);
    Click(Button(question, L"Yes"));
    ASSERT_TRUE(WaitFor([this] { return Idle(); }, kScanTimeoutMs));
    ui_->Settle();

    int total = 0;
    ui_->Invoke([&] { total = State().results.ErrorTotal; });
    EXPECT_LT(total, 30) << "the scan was not cut short";
    EXPECT_EQ(Info(), total > 0 ? L"Summary: " + std::to_wstring(total) + L" errors found."
                                : std::wstring(L"No errors found."));
    EXPECT_EQ(ChildRect(Item(kIdInfoLabel)).top, 32);
    EXPECT_EQ(GetWindowLongPtrW(Item(kIdInfoLabel), GWL_STYLE) & SS_TYPEMASK, SS_CENTER);
    EXPECT_FALSE(IsWindowVisible(Item(kIdProgressBar)));
    for (int id :
         {kIdButton1, kIdButton3, kIdButton4, kIdUndoCheck, kIdUndoLabel, kIdExclusionsLabel}) {
        EXPECT_TRUE(IsWindowEnabled(Item(id))) << id;
    }
    EXPECT_EQ(IsWindowEnabled(Item(kIdButton2)) != FALSE, total > 0);
}

TEST_F(GuiTest, FullScanListsBandsAndRowsAndRemembersTheClickedRow) {
    SeededAppPaths seeded(12);
    RunScan();
    int total = 0;
    std::vector<std::wstring> captions;
    ui_->Invoke([&] {
        total = State().results.ErrorTotal;
        for (const IssueGroup& g : State().results.groups) {
            captions.emplace_back(CategoryCaption(g.category));
        }
    });
    ASSERT_GE(total, 12);
    EXPECT_EQ(Info(), L"Summary: " + std::to_wstring(total) + L" errors found.");
    EXPECT_TRUE(IsWindowEnabled(Item(kIdButton2)));
    EXPECT_EQ(FocusOf(main_), Item(kIdButton2));
    ASSERT_EQ(ListCount(), total + static_cast<int>(captions.size()));

    // Walk the list: bands carry the captions in order with an empty Value; rows follow.
    std::vector<std::wstring> bands;
    std::vector<std::wstring> keys;
    int firstBand = -1;
    int seededRow = -1;
    for (int i = 0; i < ListCount(); ++i) {
        std::wstring key = ListText(i, 0);
        bool isBand = key.rfind(L"[", 0) != 0;
        if (isBand) {
            bands.push_back(key);
            EXPECT_EQ(ListText(i, 1), L"") << i;
            firstBand = firstBand < 0 ? i : firstBand;
        } else {
            keys.push_back(key);
            if (key == SeededAppPaths::KeyText(L"bvgui_07.exe")) {
                seededRow = i;
                EXPECT_EQ(ListText(i, 1), L"C:\\bv-missing\\bvgui_07.exe");
            }
        }
    }
    EXPECT_EQ(firstBand, 0);
    EXPECT_EQ(bands, captions);
    ASSERT_FALSE(bands.empty());
    EXPECT_EQ(bands[0], L"Software locations");
    for (const std::wstring& name : seeded.Names()) {
        EXPECT_NE(std::find(keys.begin(), keys.end(), SeededAppPaths::KeyText(name)), keys.end())
            << std::string(name.begin(), name.end());
    }
    ASSERT_GT(seededRow, 0);

    // A click on a row remembers its key; a band is not a result row: a click on it leaves the
    // key and the selection as they were.
    ClickRow(seededRow);
    std::wstring selected;
    ui_->Invoke([&] { selected = State().SelectedIssueKey; });
    EXPECT_EQ(selected, SeededAppPaths::KeyText(L"bvgui_07.exe"));
    ClickRow(0);
    ui_->Invoke([&] { selected = State().SelectedIssueKey; });
    EXPECT_EQ(selected, SeededAppPaths::KeyText(L"bvgui_07.exe"));
    EXPECT_EQ(
        SendMessageW(Item(kIdInfoList), LVM_GETNEXTITEM, static_cast<WPARAM>(-1), LVNI_SELECTED),
        seededRow);

    // A second scan starts from an empty list.
    RunScan();
    EXPECT_EQ(ListCount(), total + static_cast<int>(captions.size()));
}

TEST_F(GuiTest, AboutBoxShowsNameVersionLinksAndCloses) {
    Click(Item(kIdButton3));
    HWND about = WaitForWindow(kAboutCaption);
    ASSERT_NE(about, nullptr);
    EXPECT_FALSE(IsWindowEnabled(main_));
    EXPECT_EQ(ClientSize(about).cx, 364);
    EXPECT_EQ(ClientSize(about).cy, 241);
    LONG_PTR style = GetWindowLongPtrW(about, GWL_STYLE);
    EXPECT_EQ(style & WS_SYSMENU, 0);
    EXPECT_EQ(style & WS_THICKFRAME, 0);
    std::vector<std::wstring> texts;
    for (HWND w = GetWindow(about, GW_CHILD); w != nullptr; w = GetWindow(w, GW_HWNDNEXT)) {
        texts.push_back(Text(w));
    }
    for (const wchar_t* want : {L"Brimvale", L"Version: 3.0", kCopyright, L"Homepage:", kHomePage,
                                L"Support:", kSupportAddress, L"Close"}) {
        EXPECT_NE(std::find(texts.begin(), texts.end(), want), texts.end())
            << std::string(want, want + wcslen(want));
    }
    EXPECT_EQ(ChildRect(GetDlgItem(about, kAboutHomePageId)).left, 168);
    EXPECT_EQ(ChildRect(GetDlgItem(about, kAboutHomePageId)).top, 144);
    EXPECT_EQ(ChildRect(GetDlgItem(about, kAboutSupportId)).top, 164);
    EXPECT_EQ(ChildRect(Button(about, L"Close")).left, 120);
    EXPECT_EQ(ChildRect(Button(about, L"Close")).top, 200);

    Click(Button(about, L"Close"));
    EXPECT_TRUE(WaitFor([] { return FindWindowW(nullptr, kAboutCaption) == nullptr; }));
    EXPECT_TRUE(WaitFor([this] { return IsWindowEnabled(main_) != FALSE; }));
}

// How a Confirmation dialog is closed, and the answer that gives.
struct ConfirmCase {
    const char* name;
    std::function<void(HWND dialog)> close;
    bool answer;
};

TEST_F(GuiTest, ConfirmationAnswersYesOnlyForYes) {
    auto key = [](WPARAM vk) {
        return [vk](HWND dialog) {
            HWND focus = WaitForFocusIn(dialog);
            PostMessageW(focus, WM_KEYDOWN, vk, 0);
            PostMessageW(focus, WM_KEYUP, vk, 0);
        };
    };
    const ConfirmCase cases[] = {
        {"Yes button", [](HWND d) { Click(Button(d, L"Yes")); }, true},
        {"No button", [](HWND d) { Click(Button(d, L"No")); }, false},
        {"Enter at once", key(VK_RETURN), true},
        {"Space at once", key(VK_SPACE), true},
        {"Alt+F4 / close request", [](HWND d) { PostMessageW(d, WM_CLOSE, 0, 0); }, false},
        {"Escape does nothing, then No",
         [key, this](HWND d) {
             key(VK_ESCAPE)(d);
             ui_->Settle();
             EXPECT_TRUE(IsWindowVisible(d)) << "Escape closed the dialog";
             Click(Button(d, L"No"));
         },
         false},
    };
    for (const ConfirmCase& c : cases) {
        SCOPED_TRACE(c.name);
        std::atomic<int> answer{-1};
        ui_->Post([&answer, this] {
            answer = ui_->Window()->Confirm(
                         L"A question long enough to need more than one line of the label, so "
                         L"that it wraps within its fixed size?")
                         ? 1
                         : 0;
        });
        HWND dialog = WaitForWindow(kConfirmationCaption);
        ASSERT_NE(dialog, nullptr);
        RECT label = ChildRect(GetDlgItem(dialog, kConfirmLabelId));
        EXPECT_EQ(label.right - label.left, 240);
        EXPECT_EQ(label.bottom - label.top, 40);
        c.close(dialog);
        ASSERT_TRUE(WaitFor([&] { return answer.load() >= 0; }));
        EXPECT_EQ(answer.load(), c.answer ? 1 : 0);
        EXPECT_TRUE(WaitFor([] { return FindWindowW(nullptr, kConfirmationCaption) == nullptr; }));
    }
}

TEST_F(GuiTest, InformationShowsItsMessageUntilOk) {
    std::atomic<bool> done{false};
    ui_->Post([&done, this] {
        ui_->Window()->Inform(L"Errors were fixed");
        done = true;
    });
    HWND dialog = WaitForWindow(kInformationCaption);
    ASSERT_NE(dialog, nullptr);
    EXPECT_EQ(Text(GetDlgItem(dialog, kInformLabelId)), L"Errors were fixed");
    EXPECT_EQ(ClientSize(dialog).cx, 300);
    EXPECT_EQ(ClientSize(dialog).cy, 160);
    EXPECT_EQ(GetWindowLongPtrW(dialog, GWL_STYLE) & WS_SYSMENU, 0);
    ui_->Settle();
    EXPECT_FALSE(done.load());
    Click(Button(dialog, L"OK"));
    EXPECT_TRUE(WaitFor([&] { return done.load(); }));
}

TEST_F(GuiTest, GaugeClampsAndKeepsItsValue) {
    struct Case {
        int set;
        int shown;
    };
    const Case cases[] = {{0, 0}, {37, 37}, {100, 100}, {150, 100}, {-5, 0}, {5, 5}};
    for (const Case& c : cases) {
        ui_->Invoke([&] { ui_->Window()->SetGauge(c.set); });
        EXPECT_EQ(SendMessageW(Item(kIdProgressBar), PBM_GETPOS, 0, 0), c.shown) << c.set;
    }
}

TEST_F(GuiTest, FixAnswersTheDialogsAndEmptiesTheList) {
    SeededAppPaths seeded(5);
    RunScan();
    ASSERT_TRUE(IsWindowEnabled(Item(kIdButton2)));
    ASSERT_GT(ListCount(), 0);
    Click(Item(kIdUndoCheck));  // no undo file: keeps the run short
    ui_->Settle();
    ASSERT_EQ(SendMessageW(Item(kIdUndoCheck), BM_GETCHECK, 0, 0), BST_UNCHECKED);

    Click(Item(kIdButton2));
    HWND question = WaitForWindow(kConfirmationCaption);
    ASSERT_NE(question, nullptr);
    EXPECT_EQ(Text(GetDlgItem(question, kConfirmLabelId)),
              L"Are you sure you want to fix found errors?");
    Click(Button(question, L"Yes"));
    HWND info = WaitForWindow(kInformationCaption, kScanTimeoutMs);
    ASSERT_NE(info, nullptr);
    std::wstring message = Text(GetDlgItem(info, kInformLabelId));
    EXPECT_EQ(message, Info());
    EXPECT_EQ(message, L"Errors were fixed");
    Click(Button(info, L"OK"));
    ASSERT_TRUE(WaitFor([] { return FindWindowW(nullptr, kInformationCaption) == nullptr; }));
    ui_->Settle();

    EXPECT_EQ(ListCount(), 0);
    for (const std::wstring& name : seeded.Names()) {
        EXPECT_FALSE(SeededAppPaths::Exists(name));
    }
    EXPECT_FALSE(IsWindowEnabled(Item(kIdButton2)));
    EXPECT_EQ(Text(Item(kIdButton2)), L"Fix errors");
    EXPECT_TRUE(IsWindowEnabled(Item(kIdButton1)));
    EXPECT_EQ(FocusOf(main_), Item(kIdButton4));
    std::wstring selected = L"x";
    ui_->Invoke([&] { selected = State().SelectedIssueKey; });
    EXPECT_EQ(selected, L"");
}

TEST_F(GuiTest, SecondStartBringsTheFirstForwardAndEnds) {
    wchar_t self[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, self, MAX_PATH);
    std::wstring exe(self);
    exe = exe.substr(0, exe.find_last_of(L'\\')) + L"\\ui\\Brimvale.exe";
    if (GetFileAttributesW(exe.c_str()) == INVALID_FILE_ATTRIBUTES) {
        GTEST_SKIP() << "Brimvale.exe not built beside the tests";
    }
    UINT restore = RegisterWindowMessageW(kRestoreMessageName);

    ShowWindow(main_, SW_MINIMIZE);
    ASSERT_TRUE(WaitFor([this] { return IsIconic(main_) != FALSE; }));
    // Another marker changes nothing.
    PostMessageW(main_, restore, 1, 0);
    ui_->Settle();
    EXPECT_TRUE(IsIconic(main_));

    STARTUPINFOW si{};
    si.cb = sizeof(si);
    PROCESS_INFORMATION pi{};
    std::wstring command = L"\"" + exe + L"\"";
    ASSERT_TRUE(CreateProcessW(exe.c_str(), command.data(), nullptr, nullptr, FALSE, 0, nullptr,
                               nullptr, &si, &pi));
    EXPECT_EQ(WaitForSingleObject(pi.hProcess, kStepTimeoutMs), WAIT_OBJECT_0);
    DWORD code = 99;
    GetExitCodeProcess(pi.hProcess, &code);
    CloseHandle(pi.hThread);
    CloseHandle(pi.hProcess);
    EXPECT_EQ(code, 0u);
    EXPECT_TRUE(WaitFor([this] { return IsIconic(main_) == FALSE; }));
    // Only our window exists: the second start showed nothing.
    EXPECT_EQ(FindWindowExW(nullptr, main_, nullptr, L"Brimvale"), nullptr);
}

TEST(OpenKey, FullKeyPathFromKeyText) {
    struct Case {
        const wchar_t* keyText;
        const wchar_t* path;
    };
    const Case cases[] = {
        {L"[HKLM]\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run",
         L"HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run"},
        {L"[HKCU]\\Software\\A=Value name", L"HKEY_CURRENT_USER\\Software\\A"},
        {L"[HKCU]\\Software\\A=x=y", L"HKEY_CURRENT_USER\\Software\\A"},
        {L"[HKCR]\\.abc", L"HKEY_CLASSES_ROOT\\.abc"},
        {L"[HKCU]\\Software\\MRU\\", L"HKEY_CURRENT_USER\\Software\\MRU\\"},
        {L"[hklm]\\x", L"hklm\\x"},  // case-sensitive: the letters stand in themselves
        {L"[HKU_]\\x", L"HKU_\\x"},
        {L"[HKLM]", L"HKEY_LOCAL_MACHINE"},
        {L"[HK", L""},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(FullKeyPathFromKeyText(c.keyText), c.path)
            << std::string(c.keyText, c.keyText + wcslen(c.keyText));
    }
}

// Whether any registry editor process runs: a start would show here as soon as it returned.
bool RegistryEditorRunning() {
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    if (snapshot == INVALID_HANDLE_VALUE) {
        return false;
    }
    PROCESSENTRY32W entry{};
    entry.dwSize = sizeof(entry);
    bool found = false;
    for (BOOL more = Process32FirstW(snapshot, &entry); more && !found;
         more = Process32NextW(snapshot, &entry)) {
        found = _wcsicmp(entry.szExeFile, L"regedit.exe") == 0;
    }
    CloseHandle(snapshot);
    return found;
}

TEST(OpenKey, MenuCommandDoesNothingWithoutARowOrDuringAScan) {
    if (FindWindowW(L"RegEdit_RegEdit", nullptr) != nullptr || RegistryEditorRunning()) {
        GTEST_SKIP() << "a registry editor is already open";
    }
    test::RecordingWindow window;
    RunState state(window);
    state.env = GatherEnvironmentSnapshot();
    struct Case {
        const char* name;
        bool scanning;
        int rows;
        const wchar_t* selected;
    };
    const Case cases[] = {
        {"during a scan", true, 5, L"[HKLM]\\SOFTWARE"},
        {"empty list", false, 0, L"[HKLM]\\SOFTWARE"},
        {"no row clicked", false, 5, L""},
    };
    for (const Case& c : cases) {
        state.scanInProgress = c.scanning;
        state.SelectedIssueKey = c.selected;
        PopupMenuItem1Click(state, c.rows);
        // The command runs to its end on this thread: an editor it started would exist now.
        EXPECT_FALSE(RegistryEditorRunning()) << c.name;
    }
}

// With no editor open, the command starts the editor of the machine's native view: a 64-bit
// process on 64-bit Windows, for the 32-bit program too (WOW64 would hand it SysWOW64's).
TEST(OpenKey, StartsTheEditorOfTheNativeView) {
    if (FindWindowW(L"RegEdit_RegEdit", nullptr) != nullptr || RegistryEditorRunning()) {
        GTEST_SKIP() << "a registry editor is already open";
    }
    test::RecordingWindow window;
    RunState state(window);
    state.env = GatherEnvironmentSnapshot();
    state.SelectedIssueKey = L"[HKCU]\\Software";
    PopupMenuItem1Click(state, 1);
    HWND editor = nullptr;
    ASSERT_TRUE(WaitFor([&] { return (editor = FindWindowW(L"RegEdit_RegEdit", nullptr)); }));
    EXPECT_TRUE(RegistryEditorRunning());
    DWORD id = 0;
    GetWindowThreadProcessId(editor, &id);
    HANDLE process = OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION | SYNCHRONIZE, FALSE, id);
    ASSERT_NE(process, nullptr);
    BOOL wow64 = TRUE;
    EXPECT_TRUE(IsWow64Process(process, &wow64));
    EXPECT_FALSE(wow64) << "the 32-bit registry editor was started";
    PostMessageW(editor, WM_CLOSE, 0, 0);
    EXPECT_EQ(WaitForSingleObject(process, kStepTimeoutMs), WAIT_OBJECT_0);
    CloseHandle(process);
}

BOOL CALLBACK FindTree(HWND child, LPARAM found) {
    wchar_t name[32] = {};
    GetClassNameW(child, name, 32);
    if (_wcsicmp(name, L"SysTreeView32") != 0) {
        return TRUE;
    }
    *reinterpret_cast<HWND*>(found) = child;
    return FALSE;
}

// The editor's key tree once it lists something (the root and its hives).
bool EditorTreeFilled(HWND editor) {
    HWND tree = nullptr;
    EnumChildWindows(editor, FindTree, reinterpret_cast<LPARAM>(&tree));
    DWORD_PTR count = 0;
    return tree != nullptr &&
           SendMessageTimeoutW(tree, TVM_GETCOUNT, 0, 0, SMTO_NORMAL, kStepTimeoutMs, &count) &&
           count > 0;
}

// Reads the key the registry editor remembers from its last run.
std::wstring RegeditLastKey() {
    wchar_t buffer[1024] = {};
    DWORD size = sizeof(buffer);
    if (RegGetValueW(HKEY_CURRENT_USER,
                     L"Software\\Microsoft\\Windows\\CurrentVersion\\Applets\\Regedit", L"LastKey",
                     RRF_RT_REG_SZ, nullptr, buffer, &size) != ERROR_SUCCESS) {
        return {};
    }
    return buffer;
}

TEST_F(GuiTest, OpenRegistryKeyWalksTheEditorToTheRowsKey) {
    SeededAppPaths seeded(3);
    RunScan();
    int row = -1;
    for (int i = 0; i < ListCount() && row < 0; ++i) {
        if (ListText(i, 0) == SeededAppPaths::KeyText(L"bvgui_01.exe")) {
            row = i;
        }
    }
    ASSERT_GE(row, 0);
    ClickRow(row);

    // An editor that is already open is reused; start one (the native one, as the command
    // would) and wait until its key tree is filled.
    STARTUPINFOW si{};
    si.cb = sizeof(si);
    PROCESS_INFORMATION pi{};
    std::wstring program;
    std::wstring command;
    BOOL started = FALSE;
    ui_->Invoke([&] {
        program = RegistryEditorPath(State().env);
        command = L"\"" + program + L"\"";
        const EditorStartRedirectionOff nativeEditor(State().env);
        started = CreateProcessW(program.c_str(), command.data(), nullptr, nullptr, FALSE, 0,
                                 nullptr, nullptr, &si, &pi);
    });
    ASSERT_TRUE(started);
    CloseHandle(pi.hThread);
    HWND editor = nullptr;
    ASSERT_TRUE(WaitFor([&] { return (editor = FindWindowW(L"RegEdit_RegEdit", nullptr)); }));
    WaitForInputIdle(pi.hProcess, kStepTimeoutMs);
    ASSERT_TRUE(WaitFor([&] { return EditorTreeFilled(editor); }));

    PostMessageW(main_, WM_COMMAND, kIdPopupMenuItem1, 0);
    ui_->Settle();  // the walk blocks the thread until it is done

    PostMessageW(editor, WM_CLOSE, 0, 0);
    EXPECT_EQ(WaitForSingleObject(pi.hProcess, kStepTimeoutMs), WAIT_OBJECT_0);
    CloseHandle(pi.hProcess);
    std::wstring last = RegeditLastKey();
    std::wstring want = L"HKEY_LOCAL_MACHINE\\" + std::wstring(kAppPaths) + L"\\bvgui_01.exe";
    EXPECT_TRUE(last.size() >= want.size() &&
                _wcsicmp(last.c_str() + last.size() - want.size(), want.c_str()) == 0)
        << "regedit ended at: " << std::string(last.begin(), last.end());
}

// A scan appends rows while the list shows its first page: rows below the page only grow the
// scroll range; rows that move what the page shows are painted.
TEST_F(GuiTest, ResultListPaintsOnlyWhenTheRowsOnThePageChange) {
    auto issue = [](int g, int r) {
        return Issue{static_cast<IssueCategory>(g),
                     L"[HKCU]\\Software\\G" + std::to_wstring(g) + L"\\R" + std::to_wstring(r), L"",
                     L""};
    };
    ui_->Invoke([&] {
        ScanResults& results = State().results;
        results.groups.clear();
        for (int g = 0; g < 2; ++g) {
            IssueGroup group;
            group.category = static_cast<IssueCategory>(g);
            for (int r = 0; r < (g == 0 ? 3 : 200); ++r) {
                group.rows.push_back(issue(g, r));
            }
            results.groups.push_back(std::move(group));
        }
        ui_->Window()->ResultsAppended();
        ui_->Window()->List().Flush(true);
        SendMessageW(Item(kIdInfoList), LVM_ENSUREVISIBLE, 0, FALSE);
    });
    struct Case {
        int group;
        bool painted;
        int count;  // rows shown after the append
    };
    const Case cases[] = {{1, false, 206}, {0, true, 207}};
    for (const Case& c : cases) {
        bool pending = false;
        ui_->Invoke([&] {
            HWND list = Item(kIdInfoList);
            UpdateWindow(list);
            ValidateRect(list, nullptr);
            std::vector<Issue>& rows = State().results.groups[c.group].rows;
            rows.push_back(issue(c.group, static_cast<int>(rows.size())));
            ui_->Window()->ResultsAppended();
            ui_->Window()->List().Flush(true);
            pending = GetUpdateRect(list, nullptr, FALSE) != FALSE;
        });
        EXPECT_EQ(pending, c.painted) << "group " << c.group;
        EXPECT_EQ(ListCount(), c.count) << "group " << c.group;
    }
    EXPECT_EQ(ListText(4, 0), L"[HKCU]\\Software\\G0\\R3");
    EXPECT_EQ(ListText(5, 0), L"Shared dlls");
    EXPECT_EQ(ListText(206, 0), L"[HKCU]\\Software\\G1\\R200");
}

TEST_F(GuiTest, ResultListShowsAHundredThousandRows) {
    constexpr int kGroups = 10;
    constexpr int kRowsPerGroup = 10000;
    double flushMs = 0;
    ui_->Invoke([&] {
        ScanResults& results = State().results;
        results.groups.clear();
        for (int g = 0; g < kGroups; ++g) {
            IssueGroup group;
            group.category = static_cast<IssueCategory>(g);
            for (int r = 0; r < kRowsPerGroup; ++r) {
                group.rows.push_back(
                    Issue{group.category,
                          L"[HKCU]\\Software\\G" + std::to_wstring(g) + L"\\R" + std::to_wstring(r),
                          L"value " + std::to_wstring(r), L""});
            }
            results.groups.push_back(std::move(group));
        }
        auto start = std::chrono::steady_clock::now();
        ui_->Window()->ResultsAppended();
        ui_->Window()->List().Flush(true);
        flushMs =
            std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start)
                .count();
    });
    std::printf("100 000 rows: flush %.0f ms\n", flushMs);
    ASSERT_EQ(ListCount(), kGroups * (kRowsPerGroup + 1));

    struct Case {
        int index;
        const wchar_t* key;
    };
    const Case cases[] = {
        {0, L"Software locations"},
        {1, L"[HKCU]\\Software\\G0\\R0"},
        {10000, L"[HKCU]\\Software\\G0\\R9999"},
        {10001, L"Shared dlls"},
        {10002, L"[HKCU]\\Software\\G1\\R0"},
        {90009, L"Temporary values"},
        {100009, L"[HKCU]\\Software\\G9\\R9999"},
        {100010, L""},  // past the end
    };
    for (const Case& c : cases) {
        EXPECT_EQ(ListText(c.index, 0), c.key) << c.index;
    }

    // Scrolling through the whole list, painting each page (timed for the log only).
    double scrollMs = 0;
    ui_->Invoke([&] {
        HWND list = Item(kIdInfoList);
        auto start = std::chrono::steady_clock::now();
        for (int i = 0; i <= 100; ++i) {
            SendMessageW(list, LVM_ENSUREVISIBLE, static_cast<WPARAM>(i * 1000), FALSE);
            UpdateWindow(list);
        }
        scrollMs =
            std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start)
                .count();
    });
    std::printf("100 000 rows: scrolled through in %.0f ms\n", scrollMs);

    ui_->Invoke([&] {
        ui_->Window()->ResultsCleared();
        State().results.groups.clear();
    });
    EXPECT_EQ(ListCount(), 0);
}

}  // namespace
}  // namespace bv::ui
