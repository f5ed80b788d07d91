// The main window and its dialogs from the keyboard: the first focus, Enter on the focused
// button, the default-button look following the focus, Tab to the About box's links, and the
// context-menu key on the highlighted row.
#include <windows.h>
#include <commctrl.h>

#include <gtest/gtest.h>

#include <atomic>
#include <functional>
#include <sstream>
#include <string>
#include <vector>

#include "engine/Findings.h"
#include "tests/win/GuiTestSupport.h"
#include "ui/Link.h"
#include "ui/Unit2.h"
#include "ui/Unit3b.h"

namespace bv::ui::guitest {
namespace {

using GuiKeyboardTest = GuiFixture;

TEST_F(GuiKeyboardTest, FirstButtonHasTheFocusAndTheDefaultLookAtStart) {
    ASSERT_TRUE(WaitFor([this] { return FocusOf(main_) == Item(kIdButton1); }));
    EXPECT_TRUE(WaitFor([this] { return ButtonType(Item(kIdButton1)) == BS_DEFPUSHBUTTON; }));
    for (int id : {kIdButton2, kIdButton3, kIdButton4}) {
        EXPECT_EQ(ButtonType(Item(id)), static_cast<UINT>(BS_PUSHBUTTON)) << id;
    }
}

// Enter on the focused button of the main window, and what that does.
struct EnterCase {
    const char* name;
    int button;
    bool repeat;
    std::function<bool(GuiFixture&)> happened;
};

TEST_F(GuiKeyboardTest, EnterClicksTheFocusedButtonOnce) {
    const EnterCase cases[] = {
        {"About opens the About box", kIdButton3, false,
         [](GuiFixture&) { return WaitForWindow(kAboutCaption) != nullptr; }},
        {"a held key clicks nothing more", kIdButton3, true,
         [this](GuiFixture&) {
             // Twice: a click the key posted comes after the first mark; an About box it
             // opened would be up by the second.
             ui_->Settle();
             ui_->Settle();
             return FindWindowW(nullptr, kAboutCaption) == nullptr;
         }},
        {"Start scan scans", kIdButton1, false,
         [this](GuiFixture&) {
             return WaitFor([this] { return Text(Item(kIdButton1)) == L"Stop" || Idle(); }) &&
                    WaitFor([this] { return Idle(); }, kScanTimeoutMs) &&
                    State().results.ErrorTotal >= 0;
         }},
    };
    for (const EnterCase& c : cases) {
        SCOPED_TRACE(c.name);
        HWND button = Item(c.button);
        ui_->Invoke([button] { SetFocus(button); });
        ASSERT_EQ(FocusOf(main_), button);
        EXPECT_EQ(ButtonType(button), static_cast<UINT>(BS_DEFPUSHBUTTON));
        PressKey(button, VK_RETURN, c.repeat);
        EXPECT_TRUE(c.happened(*this));
        if (HWND about = FindWindowW(nullptr, kAboutCaption)) {
            Click(Button(about, L"Close"));
            ASSERT_TRUE(WaitForNoWindow(kAboutCaption));
        }
        ui_->Settle();
    }
}

TEST_F(GuiKeyboardTest, ConfirmationDefaultLookFollowsTheFocus) {
    std::atomic<int> answer{-1};
    ui_->Post([&answer, this] { answer = ui_->Window()->Confirm(L"Are you sure?") ? 1 : 0; });
    HWND dialog = WaitForWindow(kConfirmationCaption);
    ASSERT_NE(dialog, nullptr);
    HWND yes = Button(dialog, L"Yes");
    HWND no = Button(dialog, L"No");
    ASSERT_TRUE(WaitFor([&] { return FocusOf(dialog) == yes; }));
    EXPECT_EQ(ButtonType(yes), static_cast<UINT>(BS_DEFPUSHBUTTON));
    EXPECT_EQ(ButtonType(no), static_cast<UINT>(BS_PUSHBUTTON));
    // Tab to "No": the look goes with the focus, and Enter answers what the look shows.
    PressKey(yes, VK_TAB);
    ASSERT_TRUE(WaitFor([&] { return FocusOf(dialog) == no; }));
    EXPECT_TRUE(WaitFor(
        [&] { return ButtonType(no) == BS_DEFPUSHBUTTON && ButtonType(yes) == BS_PUSHBUTTON; }));
    PressKey(no, VK_RETURN);
    ASSERT_TRUE(WaitFor([&] { return answer.load() >= 0; }));
    EXPECT_EQ(answer.load(), 0);
}

// Points the shell's "open" of a URL scheme at a command that writes the address into a file,
// for as long as it lives; the machine's own command comes back afterwards.
class OpenedAddresses {
  public:
    OpenedAddresses() {
        wchar_t folder[MAX_PATH + 1] = {};
        GetTempPathW(MAX_PATH, folder);
        file_ = std::wstring(folder) + L"bvtest-opened.txt";
        DeleteFileW(file_.c_str());
        wchar_t system[MAX_PATH + 1] = {};
        GetSystemDirectoryW(system, MAX_PATH);
        const std::wstring command =
            std::wstring(system) + L"\\cmd.exe /c echo %1>>\"" + file_ + L"\"";
        for (const wchar_t* scheme : {L"https", L"mailto"}) {
            Scheme s{std::wstring(L"Software\\Classes\\") + scheme + L"\\shell\\open\\command", L"",
                     false};
            wchar_t old[1024] = {};
            DWORD size = sizeof(old);
            s.had = RegGetValueW(HKEY_LOCAL_MACHINE, s.key.c_str(), nullptr, RRF_RT_REG_SZ, nullptr,
                                 old, &size) == ERROR_SUCCESS;
            s.old = old;
            RegSetKeyValueW(HKEY_LOCAL_MACHINE, s.key.c_str(), nullptr, REG_SZ, command.c_str(),
                            static_cast<DWORD>((command.size() + 1) * sizeof(wchar_t)));
            schemes_.push_back(s);
        }
    }
    ~OpenedAddresses() {
        for (const Scheme& s : schemes_) {
            if (s.had) {
                RegSetKeyValueW(HKEY_LOCAL_MACHINE, s.key.c_str(), nullptr, REG_SZ, s.old.c_str(),
                                static_cast<DWORD>((s.old.size() + 1) * sizeof(wchar_t)));
            } else {
                RegDeleteKeyValueW(HKEY_LOCAL_MACHINE, s.key.c_str(), nullptr);
            }
        }
        DeleteFileW(file_.c_str());
    }
    OpenedAddresses(const OpenedAddresses&) = delete;
    OpenedAddresses& operator=(const OpenedAddresses&) = delete;

    // Whether an address starting with `start` was opened (waits for the shell's command).
    bool Opened(const std::string& start) const {
        return WaitFor([&] {
            std::istringstream in(Contents());
            std::string line;
            while (std::getline(in, line)) {
                if (line.rfind(start, 0) == 0) {
                    return true;
                }
            }
            return false;
        });
    }

  private:
    std::string Contents() const {
        std::string text;
        HANDLE file = CreateFileW(file_.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                  nullptr, OPEN_EXISTING, 0, nullptr);
        if (file == INVALID_HANDLE_VALUE) {
            return text;
        }
        char buffer[4096];
        DWORD got = 0;
        while (ReadFile(file, buffer, sizeof(buffer), &got, nullptr) && got > 0) {
            text.append(buffer, got);
        }
        CloseHandle(file);
        return text;
    }

    struct Scheme {
        std::wstring key;
        std::wstring old;
        bool had;
    };
    std::wstring file_;
    std::vector<Scheme> schemes_;
};

TEST_F(GuiKeyboardTest, AboutLinksAreReachedWithTabAndOpenWithEnterOrSpace) {
    OpenedAddresses opened;
    Click(Item(kIdButton3));
    HWND about = WaitForWindow(kAboutCaption);
    ASSERT_NE(about, nullptr);
    HWND close = Button(about, L"Close");
    HWND homePage = GetDlgItem(about, kAboutHomePageId);
    HWND support = GetDlgItem(about, kAboutSupportId);
    ASSERT_TRUE(IsLink(homePage));
    ASSERT_TRUE(WaitFor([&] { return FocusOf(about) == close; }));
    // Tab goes round: the links, then "Close" again.
    const HWND order[] = {homePage, support, close};
    for (HWND next : order) {
        PressKey(FocusOf(about), VK_TAB);
        ASSERT_TRUE(WaitFor([&] { return FocusOf(about) == next; }));
        const UINT look = next == close ? BS_DEFPUSHBUTTON : BS_PUSHBUTTON;
        EXPECT_TRUE(WaitFor([&] { return ButtonType(close) == look; }));
    }
    struct Case {
        HWND link;
        WPARAM key;
        const char* address;
    };
    const Case cases[] = {
        {homePage, VK_RETURN, "https://brimvale.example.org/"},
        {support, VK_SPACE, "mailto:support@brimvale.example.org?subject=Brimvale"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.address);
        ui_->Invoke([&] { SetFocus(c.link); });
        PressKey(c.link, c.key);
        EXPECT_TRUE(opened.Opened(c.address));
        EXPECT_TRUE(IsWindow(about)) << "a link closed the About box";
    }
    Click(close);
    EXPECT_TRUE(WaitForNoWindow(kAboutCaption));
}

// The keys that open the context menu from the keyboard, sent to the list as Windows would.
struct MenuKey {
    const char* name;
    std::function<void(UiThread&, HWND list)> press;
};

HWND OpenMenuWindow() {
    HWND menu = FindWindowW(L"#32768", nullptr);
    return menu != nullptr && IsWindowVisible(menu) ? menu : nullptr;
}

TEST_F(GuiKeyboardTest, ContextMenuKeyActsOnTheHighlightedRow) {
    // Two groups of findings, shown in the list.
    ui_->Invoke([this] {
        ScanResults& results = State().results;
        for (int g = 0; g < 2; ++g) {
            IssueGroup group;
            group.category = static_cast<IssueCategory>(g);
            for (int r = 0; r < 3; ++r) {
                group.rows.push_back(
                    Issue{group.category,
                          L"[HKCU]\\Software\\G" + std::to_wstring(g) + L"\\R" + std::to_wstring(r),
                          L"", L""});
            }
            results.groups.push_back(std::move(group));
        }
        ui_->Window()->ResultsAppended();
        ui_->Window()->List().Flush(true);
    });
    HWND list = Item(kIdInfoList);
    const MenuKey keys[] = {
        // What Windows makes of the context-menu key (Wine's DefWindowProc does not).
        {"context-menu key",
         [](UiThread&, HWND l) {
             PostMessageW(l, WM_CONTEXTMENU, reinterpret_cast<WPARAM>(l), MAKELPARAM(-1, -1));
         }},
        {"Shift+F10",
         [](UiThread& ui, HWND l) {
             // The key state belongs to the window's thread: Shift is held there.
             ui.Invoke([] {
                 BYTE keys[256] = {};
                 GetKeyboardState(keys);
                 keys[VK_SHIFT] = 0x80;
                 SetKeyboardState(keys);
             });
             PostMessageW(l, WM_SYSKEYDOWN, VK_F10, 0);
             PostMessageW(l, WM_SYSKEYUP, VK_F10, static_cast<LPARAM>(0xC0000000u));
         }},
    };
    struct Row {
        int index;
        const wchar_t* key;  // SelectedIssueKey afterwards
    };
    // A finding sets the key; a band (index 4, "Shared dlls") leaves the one chosen before.
    const Row rows[] = {{2, L"[HKCU]\\Software\\G0\\R1"},
                        {4, L"[HKCU]\\Software\\G0\\R1"},
                        {6, L"[HKCU]\\Software\\G1\\R1"}};
    for (const MenuKey& key : keys) {
        for (const Row& row : rows) {
            SCOPED_TRACE(std::string(key.name) + ", row " + std::to_string(row.index));
            ui_->Invoke([&] {
                SetFocus(list);
                ListView_SetItemState(list, -1, 0, LVIS_SELECTED);
                ListView_SetItemState(list, row.index, LVIS_SELECTED | LVIS_FOCUSED,
                                      LVIS_SELECTED | LVIS_FOCUSED);
            });
            key.press(*ui_, list);
            HWND menu = nullptr;
            ASSERT_TRUE(WaitFor([&] { return (menu = OpenMenuWindow()) != nullptr; }));
            std::wstring selected;
            RECT rowRect{};
            ui_->Invoke([&] {
                selected = State().SelectedIssueKey;
                rowRect.left = LVIR_BOUNDS;
                SendMessageW(list, LVM_GETITEMRECT, static_cast<WPARAM>(row.index),
                             reinterpret_cast<LPARAM>(&rowRect));
                MapWindowPoints(list, nullptr, reinterpret_cast<POINT*>(&rowRect), 2);
            });
            EXPECT_EQ(selected, row.key);
            RECT menuRect{};
            GetWindowRect(menu, &menuRect);
            EXPECT_NEAR(menuRect.top, rowRect.bottom, 2) << "the menu opens below the row";
            ui_->Invoke([] {
                EndMenu();
                BYTE keys[256] = {};
                GetKeyboardState(keys);
                keys[VK_SHIFT] = 0;
                SetKeyboardState(keys);
            });
            ASSERT_TRUE(WaitFor([] { return OpenMenuWindow() == nullptr; }));
            ui_->Settle();
        }
    }
}

}  // namespace
}  // namespace bv::ui::guitest
