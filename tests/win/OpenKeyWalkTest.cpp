// "Open registry key" against a stand-in editor in this process: a window of the editor's class
// with a key tree and a status line that names the selected key, which can be made slow to show
// a selection (as the real editor is on a loaded or emulated machine). The walk must end on the
// row's key either way, and stop on a level the editor does not list.
#include "tests/win/WinTestSupport.h"  // <windows.h> first

#include <commctrl.h>
#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include "sysaccess/EnvironmentSnapshot.h"
#include "ui/OpenKey.h"

namespace bv::wintest {
namespace {

constexpr wchar_t kEditorClass[] = L"RegEdit_RegEdit";

// The keys the stand-in lists, each under the one before it that is its parent; siblings sorted.
const wchar_t* const kKeys[] = {
    L"HKEY_CLASSES_ROOT",
    L"HKEY_CLASSES_ROOT\\.txt",
    L"HKEY_CURRENT_USER",
    L"HKEY_CURRENT_USER\\Software",
    L"HKEY_LOCAL_MACHINE",
    L"HKEY_LOCAL_MACHINE\\HARDWARE",
    L"HKEY_LOCAL_MACHINE\\SAM",
    L"HKEY_LOCAL_MACHINE\\SOFTWARE",
    L"HKEY_LOCAL_MACHINE\\SOFTWARE\\Alpha",
    L"HKEY_LOCAL_MACHINE\\SOFTWARE\\Beta",
    L"HKEY_LOCAL_MACHINE\\SOFTWARE\\Bravo",
    L"HKEY_LOCAL_MACHINE\\SOFTWARE\\Brimvale",
    L"HKEY_LOCAL_MACHINE\\SOFTWARE\\Brimvale\\Data",
    L"HKEY_LOCAL_MACHINE\\SOFTWARE\\Zulu",
    L"HKEY_LOCAL_MACHINE\\SYSTEM",
};

struct StandIn {
    DWORD slowMs = 0;  // how long showing a selected key takes
    bool statusShown = true;
    HWND window = nullptr;
    HWND tree = nullptr;
    HWND status = nullptr;
};

std::wstring ItemText(HWND tree, HTREEITEM item) {
    wchar_t text[256] = {};
    TVITEMW info{};
    info.mask = TVIF_TEXT;
    info.hItem = item;
    info.pszText = text;
    info.cchTextMax = 256;
    TreeView_GetItem(tree, &info);
    return text;
}

// The selected key's path, "" for the computer.
std::wstring PathOf(HWND tree, HTREEITEM item) {
    std::wstring path;
    for (HTREEITEM at = item; at != nullptr && TreeView_GetParent(tree, at) != nullptr;
         at = TreeView_GetParent(tree, at)) {
        path = path.empty() ? ItemText(tree, at) : ItemText(tree, at) + L"\\" + path;
    }
    return path;
}

LRESULT CALLBACK StandInProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    auto* self = reinterpret_cast<StandIn*>(GetWindowLongPtrW(window, GWLP_USERDATA));
    if (message == WM_NCCREATE) {
        self = static_cast<StandIn*>(reinterpret_cast<CREATESTRUCTW*>(lParam)->lpCreateParams);
        SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
    }
    if (message == WM_NOTIFY && self != nullptr) {
        auto* header = reinterpret_cast<NMHDR*>(lParam);
        if (header->hwndFrom == self->tree && header->code == TVN_SELCHANGEDW) {
            Sleep(self->slowMs);
            const std::wstring path =
                PathOf(self->tree, reinterpret_cast<NMTREEVIEWW*>(lParam)->itemNew.hItem);
            const std::wstring text = path.empty() ? L"Computer" : L"Computer\\" + path;
            SetWindowTextW(self->status, text.c_str());
        }
        return 0;
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

// Runs the stand-in on a thread of its own, as the real editor is another process: the walk's
// messages are sent to it and wait for its answer.
class StandInEditor {
  public:
    explicit StandInEditor(StandIn config) : config_(config) {
        thread_ = std::thread([this] { Run(); });
        while (!ready_) {
            Sleep(10);
        }
    }
    ~StandInEditor() {
        PostMessageW(config_.window, WM_CLOSE, 0, 0);
        PostThreadMessageW(threadId_, WM_QUIT, 0, 0);
        thread_.join();
    }
    StandInEditor(const StandInEditor&) = delete;
    StandInEditor& operator=(const StandInEditor&) = delete;

    bool Up() const { return config_.tree != nullptr; }
    std::wstring Selected() const {
        HTREEITEM item = nullptr;
        SendMessageTimeoutW(config_.tree, TVM_GETNEXTITEM, TVGN_CARET, 0, SMTO_NORMAL, 60000,
                            reinterpret_cast<PDWORD_PTR>(&item));
        return PathOf(config_.tree, item);
    }

  private:
    void Run() {
        threadId_ = GetCurrentThreadId();
        INITCOMMONCONTROLSEX controls{sizeof(controls), ICC_TREEVIEW_CLASSES | ICC_BAR_CLASSES};
        InitCommonControlsEx(&controls);
        WNDCLASSW windowClass{};
        windowClass.lpfnWndProc = StandInProc;
        windowClass.hInstance = GetModuleHandleW(nullptr);
        windowClass.lpszClassName = kEditorClass;
        RegisterClassW(&windowClass);
        config_.window =
            CreateWindowExW(0, kEditorClass, L"Stand-in editor", WS_OVERLAPPEDWINDOW, 0, 0, 500,
                            400, nullptr, nullptr, windowClass.hInstance, &config_);
        HWND tree = CreateWindowExW(
            0, WC_TREEVIEWW, L"", WS_CHILD | WS_VISIBLE | TVS_HASBUTTONS | TVS_LINESATROOT, 0, 0,
            500, 350, config_.window, nullptr, windowClass.hInstance, nullptr);
        config_.status = CreateWindowExW(
            0, STATUSCLASSNAMEW, L"Computer", WS_CHILD | (config_.statusShown ? WS_VISIBLE : 0), 0,
            350, 500, 20, config_.window, nullptr, windowClass.hInstance, nullptr);
        std::vector<std::pair<std::wstring, HTREEITEM>> items;
        TVINSERTSTRUCTW insert{};
        insert.hInsertAfter = TVI_LAST;
        insert.item.mask = TVIF_TEXT;
        insert.item.pszText = const_cast<wchar_t*>(L"Computer");
        HTREEITEM root = TreeView_InsertItem(tree, &insert);
        for (const wchar_t* key : kKeys) {
            const std::wstring path = key;
            const std::size_t slash = path.rfind(L'\\');
            HTREEITEM parent = root;
            for (const auto& [known, item] : items) {
                if (slash != std::wstring::npos && known == path.substr(0, slash)) {
                    parent = item;
                }
            }
            std::wstring name = slash == std::wstring::npos ? path : path.substr(slash + 1);
            insert.hParent = parent;
            insert.item.pszText = name.data();
            items.emplace_back(path, TreeView_InsertItem(tree, &insert));
        }
        TreeView_SelectItem(tree, root);
        config_.tree = tree;  // after the first selection, which is not the walk's
        ShowWindow(config_.window, SW_SHOWNOACTIVATE);
        ready_ = true;
        MSG message;
        while (GetMessageW(&message, nullptr, 0, 0) > 0) {
            TranslateMessage(&message);
            DispatchMessageW(&message);
        }
        DestroyWindow(config_.window);
        UnregisterClassW(kEditorClass, windowClass.hInstance);
    }

    StandIn config_;
    std::thread thread_;
    DWORD threadId_ = 0;
    std::atomic<bool> ready_{false};
};

TEST(OpenKeyWalk, EndsOnTheKeyHoweverSlowTheEditorIsAndStopsAtAMissingLevel) {
    if (FindWindowW(kEditorClass, nullptr) != nullptr) {
        GTEST_SKIP() << "a registry editor is already open";
    }
    struct Case {
        const char* name;
        DWORD slowMs;
        bool statusShown;
        const wchar_t* path;
        const wchar_t* ends;  // where the selection must be afterwards
    };
    const Case cases[] = {
        {"a quick editor", 0, true, L"HKEY_LOCAL_MACHINE\\SOFTWARE\\Brimvale",
         L"HKEY_LOCAL_MACHINE\\SOFTWARE\\Brimvale"},
        {"without a status line", 0, false, L"HKEY_LOCAL_MACHINE\\SOFTWARE\\Brimvale",
         L"HKEY_LOCAL_MACHINE\\SOFTWARE\\Brimvale"},
        // Slower than the tree's type-ahead window (450 ms in Wine): the typed names alone land
        // elsewhere.
        {"a slow editor", 700, true, L"HKEY_LOCAL_MACHINE\\SOFTWARE\\Brimvale\\Data",
         L"HKEY_LOCAL_MACHINE\\SOFTWARE\\Brimvale\\Data"},
        {"a slow editor, a key it does not list", 700, true,
         L"HKEY_LOCAL_MACHINE\\SOFTWARE\\Bz\\Data", nullptr},
    };
    EnvironmentSnapshot env = GatherEnvironmentSnapshot();
    for (const Case& c : cases) {
        StandInEditor editor({c.slowMs, c.statusShown});
        ASSERT_TRUE(editor.Up()) << c.name;
        ui::OpenKeyInRegistryEditor(c.path, env);
        const std::wstring selected = editor.Selected();
        if (c.ends != nullptr) {
            EXPECT_EQ(selected, c.ends) << c.name;
        } else {
            // The walk gives up inside the last level it found, and does not wander off.
            EXPECT_EQ(selected.rfind(L"HKEY_LOCAL_MACHINE\\SOFTWARE", 0), 0u)
                << c.name << ": " << std::string(selected.begin(), selected.end());
            EXPECT_NE(selected, L"HKEY_LOCAL_MACHINE\\SOFTWARE\\Bz\\Data") << c.name;
        }
    }
}

}  // namespace
}  // namespace bv::wintest
