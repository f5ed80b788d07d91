// "Open registry key": finds (or starts) the registry editor, collapses its key tree to the root
// and types the key path into it, one Right arrow per backslash.
#include "ui/OpenKey.h"

#include <windows.h>

#include "sysaccess/EnvironmentSnapshot.h"
#include "sysaccess/RegistryEditor.h"

namespace bv::ui {
namespace {

constexpr int kCollapsePresses = 30;
constexpr DWORD kStepPauseMs = 100;
constexpr DWORD kIdleWaitMs = 200;
constexpr LPARAM kCharKeyData = 1;

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
    for (int i = 0; i < kCollapsePresses; ++i) {
        KeyDown(tree, VK_LEFT);
    }
    Sleep(kStepPauseMs);
    KeyDown(tree, VK_RIGHT);
    Sleep(kStepPauseMs);
    const DWORD levelPause = LevelPauseMs();
    for (wchar_t c : fullKeyPath) {
        if (c == L'\\') {
            KeyDown(tree, VK_RIGHT);
            Sleep(levelPause);
        } else {
            // Sent as a wide character so names outside the ANSI code page type correctly too,
            // with a repeat count of 1 as a real key press has: Wine's tree ignores a zero one.
            SendMessageW(tree, WM_CHAR, static_cast<WPARAM>(static_cast<unsigned>(c) & 0xFFFFu),
                         kCharKeyData);
        }
    }
}

}  // namespace bv::ui
