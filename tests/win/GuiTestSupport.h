// Shared pieces of the GUI tests: the real main window on its own user-interface thread (code
// can be run there), waiting for states under generous deadlines, and small window queries.
#pragma once

#include <windows.h>
#include <commctrl.h>

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "ui/Unit1.h"

namespace bv::ui::guitest {

// Generous: the 32-bit build runs these under software emulation, about five times slower.
constexpr DWORD kStepTimeoutMs = 60000;
constexpr DWORD kScanTimeoutMs = 600000;
inline constexpr wchar_t kAppPaths[] = L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\App Paths";

inline std::wstring Text(HWND window) {
    wchar_t buffer[1024] = {};
    DWORD_PTR got = 0;
    SendMessageTimeoutW(window, WM_GETTEXT, 1024, reinterpret_cast<LPARAM>(buffer), SMTO_NORMAL,
                        kStepTimeoutMs, &got);
    return buffer;
}

inline bool WaitFor(const std::function<bool()>& condition, DWORD timeoutMs = kStepTimeoutMs) {
    auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (std::chrono::steady_clock::now() < end) {
        if (condition()) {
            return true;
        }
        Sleep(20);
    }
    return condition();
}

inline void Click(HWND button) {
    PostMessageW(button, BM_CLICK, 0, 0);
}

// A key pressed and released on a window, as posted key messages.
inline void PressKey(HWND window, WPARAM key, bool repeat = false) {
    LPARAM down = repeat ? (1 << 30) : 0;
    PostMessageW(window, WM_KEYDOWN, key, down);
    PostMessageW(window, WM_KEYUP, key, static_cast<LPARAM>(0xC0000000u));
}

inline HWND WaitForWindow(const wchar_t* caption, DWORD timeoutMs = kStepTimeoutMs) {
    HWND found = nullptr;
    WaitFor(
        [&] {
            found = FindWindowW(nullptr, caption);
            return found != nullptr && IsWindowVisible(found);
        },
        timeoutMs);
    return found != nullptr && IsWindowVisible(found) ? found : nullptr;
}

struct CaptionSearch {
    const wchar_t* caption;
    HWND found;
};

// Window enumeration callbacks are stdcall in 32-bit programs: named functions, not lambdas.
inline BOOL CALLBACK MatchVisibleCaption(HWND w, LPARAM data) {
    auto* s = reinterpret_cast<CaptionSearch*>(data);
    wchar_t text[256] = {};
    GetWindowTextW(w, text, 256);
    if (IsWindowVisible(w) && lstrcmpW(text, s->caption) == 0) {
        s->found = w;
        return FALSE;
    }
    return TRUE;
}

inline BOOL CALLBACK CloseVisibleOtherThan(HWND w, LPARAM main) {
    if (w != reinterpret_cast<HWND>(main) && IsWindowVisible(w)) {
        PostMessageW(w, WM_CLOSE, 0, 0);
    }
    return TRUE;
}

// A visible top-level window of the thread that owns `window`, by caption (FindWindow looks only
// at the default desktop under Wine).
inline HWND ThreadWindow(HWND window, const wchar_t* caption) {
    CaptionSearch search{caption, nullptr};
    EnumThreadWindows(GetWindowThreadProcessId(window, nullptr), MatchVisibleCaption,
                      reinterpret_cast<LPARAM>(&search));
    return search.found;
}

inline HWND WaitForThreadWindow(HWND window, const wchar_t* caption) {
    HWND found = nullptr;
    WaitFor([&] { return (found = ThreadWindow(window, caption)) != nullptr; });
    return found;
}

inline bool WaitForNoWindow(const wchar_t* caption) {
    return WaitFor([caption] { return FindWindowW(nullptr, caption) == nullptr; });
}

inline HWND Button(HWND dialog, const wchar_t* caption) {
    return FindWindowExW(dialog, nullptr, L"Button", caption);
}

inline SIZE ClientSize(HWND window) {
    RECT r{};
    GetClientRect(window, &r);
    return SIZE{r.right, r.bottom};
}

// A child's rectangle in its parent's client coordinates.
inline RECT ChildRect(HWND child) {
    RECT r{};
    GetWindowRect(child, &r);
    MapWindowPoints(nullptr, GetParent(child), reinterpret_cast<POINT*>(&r), 2);
    return r;
}

inline HWND FocusOf(HWND window) {
    GUITHREADINFO info{};
    info.cbSize = sizeof(info);
    GetGUIThreadInfo(GetWindowThreadProcessId(window, nullptr), &info);
    return info.hwndFocus;
}

inline UINT ButtonType(HWND button) {
    return static_cast<UINT>(GetWindowLongPtrW(button, GWL_STYLE)) & BS_TYPEMASK;
}

// App Paths entries naming programs that do not exist: findings of "Software locations".
class SeededAppPaths {
  public:
    explicit SeededAppPaths(int count) {
        for (int i = 0; i < count; ++i) {
            wchar_t name[32];
            wsprintfW(name, L"bvgui_%02d.exe", i);
            names_.emplace_back(name);
            std::wstring path = std::wstring(kAppPaths) + L"\\" + name;
            std::wstring target = std::wstring(L"C:\\bv-missing\\") + name;
            HKEY key = nullptr;
            if (RegCreateKeyExW(HKEY_LOCAL_MACHINE, path.c_str(), 0, nullptr, 0,
                                KEY_ALL_ACCESS | KEY_WOW64_64KEY, nullptr, &key,
                                nullptr) == ERROR_SUCCESS) {
                RegSetValueExW(key, nullptr, 0, REG_SZ,
                               reinterpret_cast<const BYTE*>(target.c_str()),
                               static_cast<DWORD>((target.size() + 1) * sizeof(wchar_t)));
                RegCloseKey(key);
            }
        }
    }
    ~SeededAppPaths() {
        for (const std::wstring& name : names_) {
            RegDeleteKeyExW(HKEY_LOCAL_MACHINE, (std::wstring(kAppPaths) + L"\\" + name).c_str(),
                            KEY_WOW64_64KEY, 0);
        }
    }
    SeededAppPaths(const SeededAppPaths&) = delete;
    SeededAppPaths& operator=(const SeededAppPaths&) = delete;
    const std::vector<std::wstring>& Names() const { return names_; }
    static std::wstring KeyText(const std::wstring& name) {
        return L"[HKLM]\\" + std::wstring(kAppPaths) + L"\\" + name;
    }
    static bool Exists(const std::wstring& name) {
        HKEY key = nullptr;
        std::wstring path = std::wstring(kAppPaths) + L"\\" + name;
        if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, path.c_str(), 0, KEY_READ | KEY_WOW64_64KEY, &key) !=
            ERROR_SUCCESS) {
            return false;
        }
        RegCloseKey(key);
        return true;
    }

  private:
    std::vector<std::wstring> names_;
};

// The main window on its own user-interface thread, with a helper window on that thread to
// run code there (the window's state is only touched from its own thread).
class UiThread {
  public:
    UiThread() {
        HANDLE ready = CreateEventW(nullptr, TRUE, FALSE, nullptr);
        thread_ = std::thread([this, ready] { Run(ready); });
        WaitForSingleObject(ready, kStepTimeoutMs);
        CloseHandle(ready);
    }
    ~UiThread() {
        // Closing is refused while work or a dialog runs: dialogs a failed test left open are
        // closed too (they answer "No"), and the window is asked until it is gone.
        if (main_ != nullptr) {
            WaitFor(
                [this] {
                    if (!IsWindow(main_)) {
                        return true;
                    }
                    EnumThreadWindows(GetWindowThreadProcessId(main_, nullptr),
                                      CloseVisibleOtherThan, reinterpret_cast<LPARAM>(main_));
                    PostMessageW(main_, WM_CLOSE, 0, 0);
                    Sleep(100);
                    return !IsWindow(main_);
                },
                kScanTimeoutMs);
        }
        if (thread_.joinable()) {
            thread_.join();
        }
    }
    UiThread(const UiThread&) = delete;
    UiThread& operator=(const UiThread&) = delete;

    HWND Main() const { return main_; }
    MainWindow* Window() const { return MainWindow::FromHandle(main_); }
    HWND Item(int id) const { return GetDlgItem(main_, id); }

    // Runs `f` on the user-interface thread and waits for it.
    void Invoke(const std::function<void()>& f) {
        auto call = f;
        DWORD_PTR result = 0;
        SendMessageTimeoutW(invoker_, kInvokeMessage, 0, reinterpret_cast<LPARAM>(&call),
                            SMTO_NORMAL, kScanTimeoutMs, &result);
    }
    // Starts `f` on the user-interface thread without waiting (for modal dialogs). Posted work
    // runs in order with the other posted messages, inside whatever loop takes them.
    void Post(std::function<void()> f) {
        auto* call = new std::function<void()>(std::move(f));
        PostMessageW(invoker_, kInvokeMessage, 1, reinterpret_cast<LPARAM>(call));
    }
    // Waits until the thread has handled everything posted before this call.
    void Settle() {
        auto done = std::make_shared<std::atomic<bool>>(false);
        Post([done] { *done = true; });
        WaitFor([done] { return done->load(); }, kScanTimeoutMs);
    }

  private:
    static constexpr wchar_t kInvokeClass[] = L"BrimvaleGuiSupportInvoker";
    static constexpr UINT kInvokeMessage = WM_APP + 2;

    static LRESULT CALLBACK InvokerProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
        if (message == kInvokeMessage) {
            auto* call = reinterpret_cast<std::function<void()>*>(lParam);
            (*call)();
            if (wParam == 1) {
                delete call;
            }
            return 0;
        }
        return DefWindowProcW(window, message, wParam, lParam);
    }

    void Run(HANDLE ready) {
        WNDCLASSW wc{};
        wc.lpfnWndProc = InvokerProc;
        wc.hInstance = GetModuleHandleW(nullptr);
        wc.lpszClassName = kInvokeClass;
        RegisterClassW(&wc);
        invoker_ = CreateWindowExW(0, kInvokeClass, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                                   GetModuleHandleW(nullptr), nullptr);
        MainWindow* window = MainWindow::Create(GetModuleHandleW(nullptr));
        if (window == nullptr) {
            SetEvent(ready);
            DestroyWindow(invoker_);
            return;
        }
        main_ = window->Handle();
        window->Show(SW_SHOWNORMAL);
        SetEvent(ready);
        RunMessageLoop(main_);
        DestroyWindow(invoker_);
    }

    std::thread thread_;
    HWND main_ = nullptr;
    HWND invoker_ = nullptr;
};

// A test with the main window up; skipped without a display.
class GuiFixture : public testing::Test {
  protected:
    void SetUp() override {
        ui_ = std::make_unique<UiThread>();
        if (ui_->Main() == nullptr) {
            GTEST_SKIP() << "no window could be created (no display?)";
        }
        main_ = ui_->Main();
    }
    void TearDown() override { ui_.reset(); }

    HWND Item(int id) const { return ui_->Item(id); }
    RunState& State() const { return ui_->Window()->State(); }
    bool Idle() const { return Text(Item(kIdButton1)) == L"Start scan"; }

    std::unique_ptr<UiThread> ui_;
    HWND main_ = nullptr;
};

}  // namespace bv::ui::guitest
