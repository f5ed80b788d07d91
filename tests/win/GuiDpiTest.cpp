// The window and its dialogs at 96, 144 and 192 DPI: the 96-DPI layout scaled, fonts, header,
// rows and gauge with it, every control's text inside its rectangle; and the answer to a move to
// a monitor of another scale. Wine takes its DPI from HKCU\Control Panel\Desktop\LogPixels when a
// program starts, so each DPI is checked in a new start of this test program.
#include <windows.h>
#include <commctrl.h>

#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <functional>
#include <string>
#include <vector>

#include "engine/Findings.h"
#include "tests/win/GuiTestSupport.h"
#include "ui/Unit2.h"
#include "ui/Unit3a.h"
#include "ui/Unit3b.h"

namespace bv::ui::guitest {
namespace {

constexpr wchar_t kDpiVariable[] = L"BV_GUI_DPI";
constexpr wchar_t kProbeDesktop[] = L"BrimvaleDpiProbe";

RECT Scaled(const RECT& r, UINT dpi) {
    return RECT{Scale(r.left, dpi), Scale(r.top, dpi), Scale(r.right, dpi), Scale(r.bottom, dpi)};
}

// Rectangles agree to a pixel: scaled edges are rounded one by one.
void ExpectNear(const RECT& got, const RECT& want, const std::string& what) {
    EXPECT_NEAR(got.left, want.left, 1) << what;
    EXPECT_NEAR(got.top, want.top, 1) << what;
    EXPECT_NEAR(got.right, want.right, 1) << what;
    EXPECT_NEAR(got.bottom, want.bottom, 1) << what;
}

std::string Narrow(const std::wstring& text) {
    std::string out;
    for (wchar_t c : text) {
        out += c < 128 ? static_cast<char>(c) : '?';
    }
    return out;
}

int FontHeight(HWND window) {
    auto font = reinterpret_cast<HFONT>(SendMessageW(window, WM_GETFONT, 0, 0));
    LOGFONTW lf{};
    return font != nullptr && GetObjectW(font, sizeof(lf), &lf) != 0 ? lf.lfHeight : 0;
}

// Room a control needs beside its text: a button's frame, a check box's box, a group box's
// indent. Labels and links need none.
int Margin(HWND control, UINT dpi) {
    wchar_t name[32] = {};
    GetClassNameW(control, name, 32);
    if (lstrcmpiW(name, L"Button") != 0) {
        return 0;
    }
    switch (ButtonType(control)) {
        case BS_AUTOCHECKBOX:
        case BS_CHECKBOX:
            return Scale(17, dpi);
        case BS_GROUPBOX:
            return Scale(12, dpi);
        default:
            return Scale(6, dpi);
    }
}

// The control's text, in its font, fits its client rectangle: the width of its line (or of its
// wrapped lines, for labels that wrap), and the height of the font's em box.
void ExpectTextFits(HWND control, UINT dpi, bool wraps = false) {
    std::wstring text = Text(control);
    if (text.empty()) {
        return;
    }
    RECT client{};
    GetClientRect(control, &client);
    HDC dc = GetDC(control);
    auto font = reinterpret_cast<HFONT>(SendMessageW(control, WM_GETFONT, 0, 0));
    HGDIOBJ old = SelectObject(dc, font);
    TEXTMETRICW metrics{};
    GetTextMetricsW(dc, &metrics);
    RECT need{0, 0, client.right, 0};
    UINT format = DT_CALCRECT | DT_NOPREFIX | (wraps ? DT_WORDBREAK : DT_SINGLELINE);
    DrawTextW(dc, text.c_str(), static_cast<int>(text.size()), &need, format);
    SelectObject(dc, old);
    ReleaseDC(control, dc);
    int height = wraps ? need.bottom : metrics.tmHeight - metrics.tmInternalLeading;
    EXPECT_LE(need.right + Margin(control, dpi), client.right) << Narrow(text);
    EXPECT_LE(height, client.bottom) << Narrow(text);
}

void ExpectEveryTextFits(HWND window, UINT dpi) {
    for (HWND w = GetWindow(window, GW_CHILD); w != nullptr; w = GetWindow(w, GW_HWNDNEXT)) {
        bool ownerDrawn = (GetWindowLongPtrW(w, GWL_STYLE) & SS_TYPEMASK) == SS_OWNERDRAW;
        wchar_t name[32] = {};
        GetClassNameW(w, name, 32);
        ExpectTextFits(w, dpi, ownerDrawn && lstrcmpiW(name, L"Static") == 0);
    }
}

// The main window's 96-DPI layout at its initial client size of 784 x 561.
struct Placed {
    int id;
    RECT rect;
};
const Placed kMainLayout[] = {
    {kIdInfoBox, {0, 0, 784, 72}},      {kIdActionsBox, {664, 72, 784, 513}},
    {kIdDetailsBox, {0, 72, 664, 513}}, {kIdAdditionallyBox, {0, 513, 784, 561}},
    {kIdButton1, {674, 96, 774, 121}},  {kIdButton2, {674, 128, 774, 153}},
    {kIdButton3, {674, 442, 774, 467}}, {kIdButton4, {674, 474, 774, 499}},
    {kIdInfoLabel, {20, 32, 616, 52}},  {kIdProgressBar, {18, 40, 618, 58}},
    {kIdInfoList, {2, 87, 662, 511}},   {kIdUndoCheck, {16, 535, 96, 552}},
};

std::vector<RECT> MainRects(const UiThread& ui) {
    std::vector<RECT> rects;
    for (const Placed& p : kMainLayout) {
        rects.push_back(ChildRect(ui.Item(p.id)));
    }
    for (int id : {kIdUndoLabel, kIdExclusionsLabel}) {
        rects.push_back(ChildRect(ui.Item(id)));
    }
    return rects;
}

// Fonts, header, columns and rows of the main window at `dpi`.
void ExpectMainScaledParts(UiThread& ui, UINT dpi) {
    for (int id : {kIdButton1, kIdInfoLabel, kIdUndoCheck, kIdDetailsBox, kIdInfoList}) {
        EXPECT_EQ(FontHeight(ui.Item(id)), -Scale(12, dpi)) << id;
    }
    EXPECT_EQ(FontHeight(ui.Item(kIdUndoLabel)), -Scale(12, dpi));
    HWND list = ui.Item(kIdInfoList);
    RECT header{};
    GetWindowRect(reinterpret_cast<HWND>(SendMessageW(list, LVM_GETHEADER, 0, 0)), &header);
    EXPECT_EQ(header.bottom - header.top, Scale(23, dpi));
    RECT listRect{};
    GetWindowRect(list, &listRect);
    int column = (listRect.right - listRect.left) / 2 - Scale(16, dpi);
    EXPECT_EQ(SendMessageW(list, LVM_GETCOLUMNWIDTH, 0, 0), column);
    EXPECT_EQ(SendMessageW(list, LVM_GETCOLUMNWIDTH, 1, 0), column);
}

// A band and a row in the list: each row is as high as its text needs.
void ExpectRowsFitTheirText(UiThread& ui) {
    HWND list = ui.Item(kIdInfoList);
    ui.Invoke([&] {
        ScanResults& results = ui.Window()->State().results;
        IssueGroup group;
        group.category = IssueCategory::SharedDlls;
        group.rows.push_back(
            Issue{group.category, L"[HKLM]\\Software\\Shared", L"C:\\gone.dll", L""});
        results.groups.push_back(std::move(group));
        ui.Window()->ResultsAppended();
        ui.Window()->List().Flush(true);
    });
    HDC dc = GetDC(list);
    HGDIOBJ old = SelectObject(dc, reinterpret_cast<HFONT>(SendMessageW(list, WM_GETFONT, 0, 0)));
    TEXTMETRICW metrics{};
    GetTextMetricsW(dc, &metrics);
    SelectObject(dc, old);
    ReleaseDC(list, dc);
    for (int row = 0; row < 2; ++row) {
        RECT r{};
        r.left = LVIR_BOUNDS;
        SendMessageW(list, LVM_GETITEMRECT, static_cast<WPARAM>(row), reinterpret_cast<LPARAM>(&r));
        EXPECT_GE(r.bottom - r.top, metrics.tmHeight) << "row " << row;
    }
    ui.Invoke([&] {
        ui.Window()->State().results.groups.clear();
        ui.Window()->ResultsCleared();
    });
}

// One dialog: how to open it over the main window, its 96-DPI client size and controls, and
// which button closes it.
struct DialogCase {
    const char* name;
    const wchar_t* caption;
    std::function<void(UiThread&)> open;
    SIZE client;
    std::vector<Placed> controls;
    int fontHeight;
    const wchar_t* closeButton;
};

std::vector<DialogCase> Dialogs() {
    std::vector<DialogCase> cases;
    for (const wchar_t* question :
         {L"Are you sure you want to stop registry scan?",
          L"Are you sure you want to fix found errors?", L"Are you sure you want to stop fixing?",
          L"Are you sure you want to remove current exclusions?"}) {
        cases.push_back({"Confirmation",
                         kConfirmationCaption,
                         [question](UiThread& ui) {
                             ui.Post([&ui, question] { ui.Window()->Confirm(question); });
                         },
                         SIZE{300, 160},
                         {{kConfirmLabelId, {30, 30, 270, 70}},
                          {kConfirmNoId, {40, 112, 140, 137}},
                          {kConfirmYesId, {152, 112, 252, 137}}},
                         13,
                         L"No"});
    }
    cases.push_back({"Information",
                     kInformationCaption,
                     [](UiThread& ui) {
                         ui.Post([&ui] { ui.Window()->Inform(L"Summary: 12345 errors fixed"); });
                     },
                     SIZE{300, 160},
                     {{kInformLabelId, {30, 22, 270, 81}}, {kInformOkId, {96, 120, 196, 145}}},
                     13,
                     L"OK"});
    cases.push_back({"About",
                     kAboutCaption,
                     [](UiThread& ui) { Click(ui.Item(kIdButton3)); },
                     SIZE{364, 241},
                     {{kAboutCloseId, {120, 200, 220, 225}}},
                     12,
                     L"Close"});
    return cases;
}

void ExpectDialogAt(const DialogCase& c, HWND dialog, UINT dpi) {
    SIZE client = ClientSize(dialog);
    EXPECT_EQ(client.cx, Scale(c.client.cx, dpi));
    EXPECT_EQ(client.cy, Scale(c.client.cy, dpi));
    for (const Placed& p : c.controls) {
        HWND control = GetDlgItem(dialog, p.id);
        ExpectNear(ChildRect(control), Scaled(p.rect, dpi), "control " + std::to_string(p.id));
        EXPECT_EQ(FontHeight(control), -Scale(c.fontHeight, dpi)) << p.id;
    }
    ExpectEveryTextFits(dialog, dpi);
}

void ExpectDialogsAt(UiThread& ui, UINT dpi) {
    for (const DialogCase& c : Dialogs()) {
        SCOPED_TRACE(c.name);
        c.open(ui);
        HWND dialog = WaitForThreadWindow(ui.Main(), c.caption);
        ASSERT_NE(dialog, nullptr);
        ExpectDialogAt(c, dialog, dpi);
        if (c.caption == kAboutCaption) {
            // Text-sized labels start at their scaled places.
            ExpectNear(ChildRect(GetDlgItem(dialog, kAboutHomePageId)),
                       RECT{Scale(168, dpi), Scale(144, dpi),
                            ChildRect(GetDlgItem(dialog, kAboutHomePageId)).right,
                            ChildRect(GetDlgItem(dialog, kAboutHomePageId)).bottom},
                       "homepage link");
            EXPECT_EQ(FontHeight(GetDlgItem(dialog, kAboutHomePageId)), -Scale(11, dpi));
        }
        Click(Button(dialog, c.closeButton));
        ASSERT_TRUE(WaitFor([&] { return ThreadWindow(ui.Main(), c.caption) == nullptr; }));
        ui.Settle();
    }
}

// Runs inside a start of this program made by DpiTest below, with Wine at the DPI given.
TEST(GuiDpiProbe, AtTheDpiOfThisStart) {
    wchar_t value[16] = {};
    if (GetEnvironmentVariableW(kDpiVariable, value, 16) == 0) {
        GTEST_SKIP() << "run by GuiDpiTest.EachScaleInItsOwnStart";
    }
    const auto dpi = static_cast<UINT>(_wtoi(value));
    UiThread ui;
    ASSERT_NE(ui.Main(), nullptr);
    ASSERT_EQ(WindowDpi(ui.Main()), dpi) << "Wine did not start at this DPI";
    EXPECT_EQ(ui.Window()->Dpi(), dpi);

    SIZE client = ClientSize(ui.Main());
    EXPECT_NEAR(client.cx, Scale(784, dpi), 1);
    EXPECT_NEAR(client.cy, Scale(561, dpi), 1);
    std::vector<RECT> rects = MainRects(ui);
    for (std::size_t i = 0; i < std::size(kMainLayout); ++i) {
        ExpectNear(rects[i], Scaled(kMainLayout[i].rect, dpi),
                   "control " + std::to_string(kMainLayout[i].id));
    }
    EXPECT_NEAR(rects[std::size(kMainLayout)].left, Scale(104, dpi), 1);
    EXPECT_NEAR(rects[std::size(kMainLayout) + 1].left, Scale(192, dpi), 1);
    ExpectMainScaledParts(ui, dpi);
    ExpectEveryTextFits(ui.Main(), dpi);
    ui.Invoke([&] { SetWindowTextW(ui.Item(kIdProgressBar), L"100%"); });
    ExpectTextFits(ui.Item(kIdProgressBar), dpi);  // the gauge's widest value
    ExpectRowsFitTheirText(ui);
    ExpectDialogsAt(ui, dpi);

    // The minimum size scales too.
    SetWindowPos(ui.Main(), nullptr, 0, 0, 300, 200, SWP_NOMOVE | SWP_NOZORDER);
    RECT outer{};
    GetWindowRect(ui.Main(), &outer);
    EXPECT_EQ(outer.right - outer.left, Scale(800, dpi));
    EXPECT_EQ(outer.bottom - outer.top, Scale(600, dpi));
}

// Sets Wine's DPI for the programs started while it lives; the old setting comes back after.
class LogPixels {
  public:
    explicit LogPixels(DWORD dpi) {
        DWORD size = sizeof(old_);
        had_ = RegGetValueW(HKEY_CURRENT_USER, kKey, L"LogPixels", RRF_RT_REG_DWORD, nullptr, &old_,
                            &size) == ERROR_SUCCESS;
        RegSetKeyValueW(HKEY_CURRENT_USER, kKey, L"LogPixels", REG_DWORD, &dpi, sizeof(dpi));
    }
    ~LogPixels() {
        if (had_) {
            RegSetKeyValueW(HKEY_CURRENT_USER, kKey, L"LogPixels", REG_DWORD, &old_, sizeof(old_));
        } else {
            RegDeleteKeyValueW(HKEY_CURRENT_USER, kKey, L"LogPixels");
        }
    }
    LogPixels(const LogPixels&) = delete;
    LogPixels& operator=(const LogPixels&) = delete;

  private:
    static constexpr wchar_t kKey[] = L"Control Panel\\Desktop";
    DWORD old_ = 0;
    bool had_ = false;
};

// Runs GuiDpiProbe in a new start of this program, on a Wine desktop of its own that is large
// enough for the window at 200 %; the probe's results come back as gtest's JSON report.
std::string RunProbe(UINT dpi) {
    wchar_t self[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, self, MAX_PATH);
    wchar_t folder[MAX_PATH + 1] = {};
    GetTempPathW(MAX_PATH, folder);
    std::wstring report = std::wstring(folder) + L"bvtest-dpi-" + std::to_wstring(dpi) + L".json";
    DeleteFileW(report.c_str());
    wchar_t windows[MAX_PATH + 1] = {};
    GetWindowsDirectoryW(windows, MAX_PATH);
    std::wstring explorer = std::wstring(windows) + L"\\explorer.exe";
    std::wstring command = L"\"" + explorer + L"\" /desktop=" + kProbeDesktop + L",3200x2400 \"" +
                           self + L"\" --gtest_filter=GuiDpiProbe.* --gtest_output=json:\"" +
                           report + L"\"";
    SetEnvironmentVariableW(kDpiVariable, std::to_wstring(dpi).c_str());
    // Its console output would mix with this program's: the report says it all.
    SECURITY_ATTRIBUTES inherit{sizeof(inherit), nullptr, TRUE};
    HANDLE quiet = CreateFileW(L"NUL", GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, &inherit,
                               OPEN_EXISTING, 0, nullptr);
    STARTUPINFOW si{};
    si.cb = sizeof(si);
    si.dwFlags = STARTF_USESTDHANDLES;
    si.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
    si.hStdOutput = quiet;
    si.hStdError = quiet;
    PROCESS_INFORMATION pi{};
    BOOL started = CreateProcessW(explorer.c_str(), command.data(), nullptr, nullptr, TRUE, 0,
                                  nullptr, nullptr, &si, &pi);
    SetEnvironmentVariableW(kDpiVariable, nullptr);
    if (quiet != INVALID_HANDLE_VALUE) {
        CloseHandle(quiet);
    }
    if (!started) {
        return "the probe did not start";
    }
    if (WaitForSingleObject(pi.hProcess, kScanTimeoutMs) != WAIT_OBJECT_0) {
        TerminateProcess(pi.hProcess, 98);
    }
    CloseHandle(pi.hThread);
    CloseHandle(pi.hProcess);
    std::string text;
    HANDLE in = CreateFileW(report.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                            nullptr, OPEN_EXISTING, 0, nullptr);
    if (in != INVALID_HANDLE_VALUE) {
        char buffer[4096];
        DWORD got = 0;
        while (ReadFile(in, buffer, sizeof(buffer), &got, nullptr) && got > 0) {
            text.append(buffer, got);
        }
        CloseHandle(in);
    }
    DeleteFileW(report.c_str());
    return text;
}

TEST(GuiDpiTest, EachScaleInItsOwnStart) {
    if (GetEnvironmentVariableW(kDpiVariable, nullptr, 0) != 0) {
        GTEST_SKIP() << "inside a probe";
    }
    for (UINT dpi : {96u, 144u, 192u}) {
        SCOPED_TRACE("DPI " + std::to_string(dpi));
        std::string report;
        {
            LogPixels setting(dpi);
            report = RunProbe(dpi);
        }
        // One test, run to its end, without a failure.
        EXPECT_NE(report.find("\"result\": \"COMPLETED\""), std::string::npos) << report;
        EXPECT_EQ(report.find("\"failure\""), std::string::npos) << report;
        EXPECT_NE(report.find("\"tests\": 1,"), std::string::npos) << report;
    }
}

// Wine treats every program as DPI-aware, so what Windows reads from the manifest is checked in
// the manifest itself: per-monitor v2 (with the older forms for Windows 8.1 and 7), next to the
// execution level, the supported systems and common controls 6.
TEST(GuiDpiTest, ManifestDeclaresPerMonitorAwareness) {
    wchar_t self[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, self, MAX_PATH);
    std::wstring exe(self);
    exe = exe.substr(0, exe.find_last_of(L'\\')) + L"\\ui\\Brimvale.exe";
    HMODULE module = LoadLibraryExW(exe.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
    if (module == nullptr) {
        GTEST_SKIP() << "Brimvale.exe not built beside the tests";
    }
    HRSRC found = FindResourceW(module, MAKEINTRESOURCEW(1), MAKEINTRESOURCEW(24));
    ASSERT_NE(found, nullptr);
    const char* data = static_cast<const char*>(LockResource(LoadResource(module, found)));
    std::string manifest(data, SizeofResource(module, found));
    FreeLibrary(module);
    for (const char* want :
         {"<dpiAwareness xmlns=\"http://schemas.microsoft.com/SMI/2016/WindowsSettings\">"
          "PerMonitorV2, PerMonitor</dpiAwareness>",
          "<dpiAware xmlns=\"http://schemas.microsoft.com/SMI/2005/WindowsSettings\">true/pm"
          "</dpiAware>",
          "level=\"highestAvailable\"",
          "name=\"Microsoft.Windows.Common-Controls\" version=\"6.0.0.0\"",
          "{8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a}", "{35138b9a-5d96-4fbd-8e2d-a2440225f93a}"}) {
        EXPECT_NE(manifest.find(want), std::string::npos) << want;
    }
}

using GuiDpiChangeTest = GuiFixture;

// Windows sends WM_DPICHANGED when the window moves to a monitor of another scale, with the
// rectangle it suggests; the window then lays itself out for the new DPI (and back).
TEST_F(GuiDpiChangeTest, WindowAndDialogFollowAMoveToAnotherScale) {
    const UINT base = ui_->Window()->Dpi();
    // A size above the minimum at every scale, so that the suggestion is taken as it is.
    auto suggest = [this](int clientWidth, int clientHeight) {
        RECT outer{};
        RECT client{};
        GetWindowRect(main_, &outer);
        GetClientRect(main_, &client);
        return RECT{outer.left, outer.top,
                    outer.left + outer.right - outer.left - client.right + clientWidth,
                    outer.top + outer.bottom - outer.top - client.bottom + clientHeight};
    };
    RECT start = suggest(1000, 700);
    SetWindowPos(main_, nullptr, start.left, start.top, start.right - start.left,
                 start.bottom - start.top, SWP_NOZORDER);
    const std::vector<RECT> before = MainRects(*ui_);
    for (UINT dpi :
         {static_cast<UINT>(Scale(144, base)), static_cast<UINT>(Scale(192, base)), base}) {
        SCOPED_TRACE("DPI " + std::to_string(dpi));
        RECT to = suggest(MulDiv(1000, static_cast<int>(dpi), static_cast<int>(base)),
                          MulDiv(700, static_cast<int>(dpi), static_cast<int>(base)));
        SendMessageW(main_, WM_DPICHANGED, MAKEWPARAM(dpi, dpi), reinterpret_cast<LPARAM>(&to));
        EXPECT_EQ(ui_->Window()->Dpi(), dpi);
        std::vector<RECT> after = MainRects(*ui_);
        for (std::size_t i = 0; i < after.size(); ++i) {
            RECT want{MulDiv(before[i].left, static_cast<int>(dpi), static_cast<int>(base)),
                      MulDiv(before[i].top, static_cast<int>(dpi), static_cast<int>(base)),
                      MulDiv(before[i].right, static_cast<int>(dpi), static_cast<int>(base)),
                      MulDiv(before[i].bottom, static_cast<int>(dpi), static_cast<int>(base))};
            if (i >= std::size(kMainLayout)) {
                want.right = after[i].right;  // the links are as wide as their text
                want.bottom = after[i].bottom;
            }
            ExpectNear(after[i], want, "control " + std::to_string(i));
        }
        ExpectMainScaledParts(*ui_, dpi);
        ExpectEveryTextFits(main_, dpi);
    }

    // A dialog moved on its own.
    const DialogCase confirm = Dialogs().front();
    confirm.open(*ui_);
    HWND dialog = WaitForWindow(confirm.caption);
    ASSERT_NE(dialog, nullptr);
    for (UINT dpi : {static_cast<UINT>(Scale(192, base)), base}) {
        SCOPED_TRACE("dialog at DPI " + std::to_string(dpi));
        RECT at{};
        GetWindowRect(dialog, &at);
        SendMessageW(dialog, WM_DPICHANGED, MAKEWPARAM(dpi, dpi), reinterpret_cast<LPARAM>(&at));
        ExpectDialogAt(confirm, dialog, dpi);
    }
    Click(Button(dialog, confirm.closeButton));
    EXPECT_TRUE(WaitForNoWindow(confirm.caption));
}

}  // namespace
}  // namespace bv::ui::guitest
