// "Open registry key": finds (or starts) the registry editor, collapses its key tree to the root
// and types the key path into it, one Right arrow per backslash. Where the editor shows the
// selected key in its status line, each level is checked, and a walk that went astray is done
// again level by level with the arrow keys.
#include "ui/OpenKey.h"

#include <windows.h>

#include <algorithm>
#include <optional>
#include <vector>

#include "sysaccess/EnvironmentSnapshot.h"
#include "sysaccess/RegistryEditor.h"

namespace bv::ui {
namespace {

constexpr int kCollapsePresses = 30;
constexpr DWORD kStepPauseMs = 100;
constexpr DWORD kIdleWaitMs = 200;
constexpr LPARAM kCharKeyData = 1;
// Steps through one key's subkeys before the walk gives up on a level.
constexpr int kMaxSiblingSteps = 2000;

// A handle of the started editor (process or thread), closed when it goes.
class OwnedHandle {
  public:
    explicit OwnedHandle(HANDLE handle) : handle_(handle) {}
    OwnedHandle(const OwnedHandle&) = delete;
    OwnedHandle& operator=(const OwnedHandle&) = delete;
    ~OwnedHandle() {
        if (handle_ != nullptr) {
            CloseHandle(handle_);
        }
    }
    HANDLE Get() const { return handle_; }

  private:
    HANDLE handle_;
};

// Wine's key tree keeps extending its type-ahead text for 450 ms whatever keys come between, so
// under Wine each level waits that out before the next name is typed; Windows starts afresh
// after the Right arrow.
DWORD LevelPauseMs() {
    HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
    bool wine = ntdll != nullptr && GetProcAddress(ntdll, "wine_get_version") != nullptr;
    return wine ? 500 : kStepPauseMs;
}

HWND FindEditorWindow() {
    return FindWindowW(L"RegEdit_RegEdit", nullptr);
}

BOOL CALLBACK FirstKeyTree(HWND child, LPARAM data) {
    char name[32] = {};
    GetClassNameA(child, name, sizeof(name));
    if (lstrcmpiA(name, "SysTreeView32") == 0) {
        *reinterpret_cast<HWND*>(data) = child;
        return FALSE;
    }
    return TRUE;
}

// The editor's key tree: a direct child first; Wine keeps it one level deeper, so otherwise
// the first tree among the descendants.
HWND FindKeyTree(HWND editor) {
    if (editor == nullptr) {
        return nullptr;
    }
    HWND tree = FindWindowExA(editor, nullptr, "SysTreeView32", nullptr);
    if (tree != nullptr) {
        return tree;
    }
    HWND found = nullptr;
    EnumChildWindows(editor, FirstKeyTree, reinterpret_cast<LPARAM>(&found));
    return found;
}

// By its full path in the Windows folder: an elevated program must not pick up whatever
// "regedit.exe" the search path offers first. Redirection is off around the start alone, so that
// a 32-bit program on 64-bit Windows opens the native editor and not SysWOW64's, which shows the
// 32-bit view of the machine keys. CreateProcessW rather than the shell: nothing may load a DLL
// while redirection is off, and the shell does.
HWND StartEditor(const EnvironmentSnapshot& env) {
    std::wstring program = RegistryEditorPath(env);
    std::wstring commandLine = L"\"" + program + L"\"";
    STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    startup.dwFlags = STARTF_USESHOWWINDOW;
    startup.wShowWindow = SW_SHOWNORMAL;
    PROCESS_INFORMATION info{};
    BOOL created = FALSE;
    {
        const EditorStartRedirectionOff nativeEditor(env);
        created = CreateProcessW(program.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0,
                                 nullptr, nullptr, &startup, &info);
    }
    if (!created) {
        return nullptr;
    }
    OwnedHandle thread(info.hThread);
    OwnedHandle process(info.hProcess);
    WaitForInputIdle(process.Get(), kIdleWaitMs);
    return FindEditorWindow();
}

void KeyDown(HWND tree, WPARAM key) {
    SendMessageA(tree, WM_KEYDOWN, key, 0);
}

void TypeChar(HWND tree, wchar_t c) {
    // Sent as a wide character so names outside the ANSI code page type correctly too, with a
    // repeat count of 1 as a real key press has: Wine's tree ignores a zero one.
    SendMessageW(tree, WM_CHAR, static_cast<WPARAM>(static_cast<unsigned>(c) & 0xFFFFu),
                 kCharKeyData);
}

BOOL CALLBACK FirstStatusBar(HWND child, LPARAM data) {
    char name[32] = {};
    GetClassNameA(child, name, sizeof(name));
    if (lstrcmpiA(name, "msctls_statusbar32") == 0) {
        *reinterpret_cast<HWND*>(data) = child;
        return FALSE;
    }
    return TRUE;
}

bool SamePath(std::wstring_view a, std::wstring_view b) {
    return CompareStringOrdinal(a.data(), static_cast<int>(a.size()), b.data(),
                                static_cast<int>(b.size()), TRUE) == CSTR_EQUAL;
}

// The tree's type-ahead extends its text only while keys come quickly one after another; an
// editor that is slow to show a selected key (a loaded or emulated machine) lets that window
// close between two letters, and the rest of the name then selects some other key.
DWORD TypeAheadResetMs() {
    return std::max<DWORD>(1100, 2 * GetDoubleClickTime() + 100);
}

// The editor's status line: the computer's name, then the selected key's path
// ("Computer\HKEY_LOCAL_MACHINE\SOFTWARE"). Read only while it is shown: a hidden one may not
// follow the selection.
class StatusLine {
  public:
    explicit StatusLine(HWND editor) {
        EnumChildWindows(editor, FirstStatusBar, reinterpret_cast<LPARAM>(&bar_));
    }

    // The selected key's path ("" for the computer itself), or nothing when the line does not
    // tell.
    std::optional<std::wstring> SelectedPath() const {
        if (bar_ == nullptr || !IsWindowVisible(bar_)) {
            return std::nullopt;
        }
        const LRESULT length = SendMessageW(bar_, WM_GETTEXTLENGTH, 0, 0);
        if (length <= 0 || length > 65535) {
            return std::nullopt;
        }
        std::wstring text(static_cast<std::size_t>(length) + 1, L'\0');
        const LRESULT got =
            SendMessageW(bar_, WM_GETTEXT, text.size(), reinterpret_cast<LPARAM>(text.data()));
        text.resize(static_cast<std::size_t>(std::clamp<LRESULT>(got, 0, length)));
        const std::size_t slash = text.find(L'\\');
        if (slash == std::wstring::npos) {
            return std::wstring();
        }
        std::wstring path = text.substr(slash + 1);
        if (path.size() < 5 || !SamePath(std::wstring_view(path).substr(0, 5), L"HKEY_")) {
            return std::nullopt;  // not a key path: some other text
        }
        return path;
    }

  private:
    HWND bar_ = nullptr;
};

std::vector<std::wstring> SplitLevels(const std::wstring& fullKeyPath) {
    std::vector<std::wstring> levels(1);
    for (wchar_t c : fullKeyPath) {
        if (c == L'\\') {
            levels.emplace_back();
        } else {
            levels.back().push_back(c);
        }
    }
    return levels;
}

std::wstring ChildPath(const std::wstring& parent, const std::wstring& name) {
    return parent.empty() ? name : parent + L"\\" + name;
}

// Whether `path` names a subkey of `parent` ("" is the computer, whose subkeys are the hives).
bool IsChildOf(std::wstring_view path, std::wstring_view parent) {
    if (!parent.empty()) {
        if (path.size() <= parent.size() + 1 || path[parent.size()] != L'\\' ||
            !SamePath(path.substr(0, parent.size()), parent)) {
            return false;
        }
        path.remove_prefix(parent.size() + 1);
    }
    return !path.empty() && path.find(L'\\') == std::wstring_view::npos;
}

// One level, with the parent selected and expanded: the first letter alone (after the
// type-ahead has forgotten what came before) selects the first subkey with that letter, and the
// Down arrow steps on through the subkeys, which the editor lists sorted, until the name's.
bool SelectChild(HWND tree, const StatusLine& status, const std::wstring& parent,
                 const std::wstring& name) {
    const std::wstring want = ChildPath(parent, name);
    Sleep(TypeAheadResetMs());
    TypeChar(tree, name.front());
    std::optional<std::wstring> shown = status.SelectedPath();
    for (int step = 0; step < kMaxSiblingSteps && shown; ++step) {
        if (SamePath(*shown, want)) {
            return true;
        }
        const std::wstring_view child =
            std::wstring_view(*shown).substr(parent.empty() ? 0 : parent.size() + 1);
        if (!IsChildOf(*shown, parent) ||
            CompareStringOrdinal(child.data(), 1, name.data(), 1, TRUE) != CSTR_EQUAL) {
            return false;  // past the subkeys with that letter: no such key
        }
        KeyDown(tree, VK_DOWN);
        std::optional<std::wstring> next = status.SelectedPath();
        if (next && SamePath(*next, *shown)) {
            return false;  // the last subkey, or a line that no longer follows
        }
        shown = std::move(next);
    }
    return false;
}

void CollapseToRoot(HWND tree) {
    for (int i = 0; i < kCollapsePresses; ++i) {
        KeyDown(tree, VK_LEFT);
    }
    Sleep(kStepPauseMs);
    KeyDown(tree, VK_RIGHT);
    Sleep(kStepPauseMs);
}

// The walk again, level by level, checked at each step: from the root, each name is found among
// its parent's subkeys and expanded. Stops at the first name the editor does not list.
void WalkLevelByLevel(HWND tree, const StatusLine& status,
                      const std::vector<std::wstring>& levels) {
    CollapseToRoot(tree);
    std::wstring parent;
    for (std::size_t i = 0; i < levels.size(); ++i) {
        if (!levels[i].empty()) {
            if (!SelectChild(tree, status, parent, levels[i])) {
                return;
            }
            parent = ChildPath(parent, levels[i]);
        }
        if (i + 1 < levels.size()) {
            KeyDown(tree, VK_RIGHT);
            Sleep(kStepPauseMs);
        }
    }
}

// Whether the editor shows the path typed so far; true when it cannot tell.
bool ShowsPath(const StatusLine& status, const std::wstring& path) {
    std::optional<std::wstring> shown = status.SelectedPath();
    if (shown && !SamePath(*shown, path)) {
        Sleep(kStepPauseMs);  // a line that follows a moment later
        shown = status.SelectedPath();
    }
    return !shown || SamePath(*shown, path);
}

}  // namespace

void InfoListItemClick(RunState& state, std::wstring_view keyText) {
    state.SelectedIssueKey = std::wstring(keyText);
}

std::wstring FullKeyPathFromKeyText(std::wstring_view keyText) {
    if (keyText.size() < 6) {
        return {};
    }
    std::wstring_view letters = keyText.substr(1, 4);
    std::wstring hive;
    if (letters == L"HKCU") {
        hive = L"HKEY_CURRENT_USER";
    } else if (letters == L"HKCR") {
        hive = L"HKEY_CLASSES_ROOT";
    } else if (letters == L"HKLM") {
        hive = L"HKEY_LOCAL_MACHINE";
    } else {
        hive = std::wstring(letters);
    }
    std::wstring_view rest = keyText.substr(6);
    size_t equals = rest.find(L'=');
    if (equals != std::wstring_view::npos) {
        rest = rest.substr(0, equals);
    }
    return hive + std::wstring(rest);
}

void PopupMenuItem1Click(RunState& state, int listRowCount) {
    if (state.scanInProgress || listRowCount <= 0 || state.SelectedIssueKey.empty()) {
        return;
    }
    std::wstring path = FullKeyPathFromKeyText(state.SelectedIssueKey);
    if (path.empty()) {
        return;
    }
    OpenKeyInRegistryEditor(path, state.env);
}

void OpenKeyInRegistryEditor(const std::wstring& fullKeyPath, const EnvironmentSnapshot& env) {
    HWND editor = FindEditorWindow();
    if (editor == nullptr) {
        editor = StartEditor(env);
    }
    if (editor == nullptr) {
        return;  // not started, or not up within the wait: nothing to drive
    }
    ShowWindow(editor, SW_SHOWNORMAL);
    HWND tree = FindKeyTree(editor);
    if (tree == nullptr) {
        return;
    }
    SetForegroundWindow(tree);
    CollapseToRoot(tree);
    const StatusLine status(editor);
    const std::vector<std::wstring> levels = SplitLevels(fullKeyPath);
    const DWORD levelPause = LevelPauseMs();
    std::wstring typed;  // the key the tree should show
    for (std::size_t i = 0; i < levels.size(); ++i) {
        for (wchar_t c : levels[i]) {
            TypeChar(tree, c);
        }
        if (!levels[i].empty()) {
            typed = ChildPath(typed, levels[i]);
            if (!ShowsPath(status, typed)) {
                WalkLevelByLevel(tree, status, levels);
                return;
            }
        }
        if (i + 1 < levels.size()) {  // a backslash: expand the key just selected
            KeyDown(tree, VK_RIGHT);
            Sleep(levelPause);
        }
    }
}

}  // namespace bv::ui
