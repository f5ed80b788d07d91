// The progress gauge's window class: keeps one value 0..100 and paints border, background, the
// done part and the centred percentage, double-buffered so frequent updates do not flicker; and
// its accessible object (role progress bar, value "NN%"), the standard one with those two answers.
#include "ui/Gauge.h"

#include <commctrl.h>
#include <oleacc.h>

#include <new>
#include <string>

#include "ui/UiCommon.h"

namespace bv::ui {
namespace {

int ValueOf(HWND window) {
    return static_cast<int>(GetWindowLongPtrW(window, GWLP_USERDATA));
}

std::wstring ValueText(HWND window) {
    return std::to_wstring(ValueOf(window)) + L"%";
}

struct GaugeColours {
    COLORREF back, done, border, text, doneText;
};

GaugeColours Colours() {
    if (UseSystemColours()) {
        return {GetSysColor(COLOR_WINDOW), GetSysColor(COLOR_HIGHLIGHT),
                GetSysColor(COLOR_WINDOWTEXT), GetSysColor(COLOR_WINDOWTEXT),
                GetSysColor(COLOR_HIGHLIGHTTEXT)};
    }
    return {RGB(255, 255, 255), kGold, RGB(128, 128, 128), RGB(0, 0, 0), RGB(0, 0, 0)};
}

void DrawValue(HDC dc, const std::wstring& text, RECT all, const RECT& clip, COLORREF colour) {
    if (clip.right <= clip.left) {
        return;
    }
    int saved = SaveDC(dc);
    IntersectClipRect(dc, clip.left, clip.top, clip.right, clip.bottom);
    SetTextColor(dc, colour);
    DrawTextW(dc, text.c_str(), static_cast<int>(text.size()), &all,
              DT_CENTER | DT_VCENTER | DT_SINGLELINE | DT_NOPREFIX);
    RestoreDC(dc, saved);
}

void Draw(HWND window, HDC dc, int width, int height) {
    const GaugeColours colours = Colours();
    const int scaled = Scale(1, WindowDpi(window));
    const int line = scaled > 1 ? scaled : 1;
    RECT all{0, 0, width, height};
    GdiObject back(CreateSolidBrush(colours.back));
    FillRect(dc, &all, back.Brush());
    int value = ValueOf(window);
    int inner = width - 2 * line;
    RECT done{line, line, line + (inner > 0 ? inner * value / 100 : 0), height - line};
    GdiObject fill(CreateSolidBrush(colours.done));
    FillRect(dc, &done, fill.Brush());
    GdiObject border(CreateSolidBrush(colours.border));
    for (int i = 0; i < line; ++i) {
        RECT frame{i, i, width - i, height - i};
        FrameRect(dc, &frame, border.Brush());
    }
    std::wstring text = ValueText(window);
    HFONT font = reinterpret_cast<HFONT>(SendMessageW(GetParent(window), WM_GETFONT, 0, 0));
    HGDIOBJ oldFont = font != nullptr ? SelectObject(dc, font) : nullptr;
    SetBkMode(dc, TRANSPARENT);
    // Over the done part the text takes the colour that reads on it.
    DrawValue(dc, text, all, RECT{0, 0, done.right, height}, colours.doneText);
    DrawValue(dc, text, all, RECT{done.right, 0, width, height}, colours.text);
    if (oldFont != nullptr) {
        SelectObject(dc, oldFont);
    }
}

void Paint(HWND window) {
    PAINTSTRUCT ps;
    HDC dc = BeginPaint(window, &ps);
    RECT client;
    GetClientRect(window, &client);
    int width = client.right > 0 ? client.right : 1;
    int height = client.bottom > 0 ? client.bottom : 1;
    HDC memory = CreateCompatibleDC(dc);
    if (memory != nullptr) {
        GdiObject bitmap(CreateCompatibleBitmap(dc, width, height));
        HGDIOBJ old = SelectObject(memory, bitmap.Get());
        Draw(window, memory, width, height);
        BitBlt(dc, 0, 0, width, height, memory, 0, 0, SRCCOPY);
        SelectObject(memory, old);
        DeleteDC(memory);
    } else {
        Draw(window, dc, width, height);
    }
    EndPaint(window, &ps);
}

bool IsSelf(const VARIANT& child) {
    return child.vt == VT_I4 && child.lVal == CHILDID_SELF;
}

// The standard accessible object of the gauge's window, answering role and value itself.
class GaugeAccessible final : public IAccessible {
  public:
    GaugeAccessible(HWND gauge, IAccessible* standard) : gauge_(gauge), standard_(standard) {}
    GaugeAccessible(const GaugeAccessible&) = delete;
    GaugeAccessible& operator=(const GaugeAccessible&) = delete;

    // IUnknown
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** object) override {
        if (object == nullptr) {
            return E_POINTER;
        }
        if (IsEqualIID(riid, __uuidof(IUnknown)) || IsEqualIID(riid, __uuidof(IDispatch)) ||
            IsEqualIID(riid, __uuidof(IAccessible))) {
            *object = static_cast<IAccessible*>(this);
            AddRef();
            return S_OK;
        }
        *object = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return InterlockedIncrement(&references_); }
    ULONG STDMETHODCALLTYPE Release() override {
        ULONG left = InterlockedDecrement(&references_);
        if (left == 0) {
            delete this;
        }
        return left;
    }

    // IDispatch
    HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override {
        return standard_->GetTypeInfoCount(count);
    }
    HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT index, LCID locale, ITypeInfo** info) override {
        return standard_->GetTypeInfo(index, locale, info);
    }
    HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID riid, LPOLESTR* names, UINT count, LCID locale,
                                            DISPID* ids) override {
        return standard_->GetIDsOfNames(riid, names, count, locale, ids);
    }
    HRESULT STDMETHODCALLTYPE Invoke(DISPID id, REFIID riid, LCID locale, WORD flags,
                                     DISPPARAMS* params, VARIANT* result, EXCEPINFO* exception,
                                     UINT* argument) override {
        return standard_->Invoke(id, riid, locale, flags, params, result, exception, argument);
    }

    // IAccessible: role and value of the gauge itself; everything else as the standard object.
    HRESULT STDMETHODCALLTYPE get_accRole(VARIANT child, VARIANT* role) override {
        if (!IsSelf(child)) {
            return standard_->get_accRole(child, role);
        }
        if (role == nullptr) {
            return E_INVALIDARG;
        }
        VariantInit(role);
        role->vt = VT_I4;
        role->lVal = ROLE_SYSTEM_PROGRESSBAR;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE get_accValue(VARIANT child, BSTR* value) override {
        if (!IsSelf(child)) {
            return standard_->get_accValue(child, value);
        }
        if (value == nullptr) {
            return E_INVALIDARG;
        }
        *value = nullptr;
        if (!IsWindow(gauge_)) {
            return E_FAIL;
        }
        *value = SysAllocString(ValueText(gauge_).c_str());
        return *value != nullptr ? S_OK : E_OUTOFMEMORY;
    }
    HRESULT STDMETHODCALLTYPE get_accParent(IDispatch** parent) override {
        return standard_->get_accParent(parent);
    }
    HRESULT STDMETHODCALLTYPE get_accChildCount(long* count) override {
        return standard_->get_accChildCount(count);
    }
    HRESULT STDMETHODCALLTYPE get_accChild(VARIANT child, IDispatch** object) override {
        return standard_->get_accChild(child, object);
    }
    HRESULT STDMETHODCALLTYPE get_accName(VARIANT child, BSTR* name) override {
        return standard_->get_accName(child, name);
    }
    HRESULT STDMETHODCALLTYPE get_accDescription(VARIANT child, BSTR* text) override {
        return standard_->get_accDescription(child, text);
    }
    HRESULT STDMETHODCALLTYPE get_accState(VARIANT child, VARIANT* state) override {
        return standard_->get_accState(child, state);
    }
    HRESULT STDMETHODCALLTYPE get_accHelp(VARIANT child, BSTR* help) override {
        return standard_->get_accHelp(child, help);
    }
    HRESULT STDMETHODCALLTYPE get_accHelpTopic(BSTR* file, VARIANT child, long* topic) override {
        return standard_->get_accHelpTopic(file, child, topic);
    }
    HRESULT STDMETHODCALLTYPE get_accKeyboardShortcut(VARIANT child, BSTR* shortcut) override {
        return standard_->get_accKeyboardShortcut(child, shortcut);
    }
    HRESULT STDMETHODCALLTYPE get_accFocus(VARIANT* child) override {
        return standard_->get_accFocus(child);
    }
    HRESULT STDMETHODCALLTYPE get_accSelection(VARIANT* children) override {
        return standard_->get_accSelection(children);
    }
    HRESULT STDMETHODCALLTYPE get_accDefaultAction(VARIANT child, BSTR* action) override {
        return standard_->get_accDefaultAction(child, action);
    }
    HRESULT STDMETHODCALLTYPE accSelect(long flags, VARIANT child) override {
        return standard_->accSelect(flags, child);
    }
    HRESULT STDMETHODCALLTYPE accLocation(long* left, long* top, long* width, long* height,
                                          VARIANT child) override {
        return standard_->accLocation(left, top, width, height, child);
    }
    HRESULT STDMETHODCALLTYPE accNavigate(long direction, VARIANT start, VARIANT* end) override {
        return standard_->accNavigate(direction, start, end);
    }
    HRESULT STDMETHODCALLTYPE accHitTest(long x, long y, VARIANT* child) override {
        return standard_->accHitTest(x, y, child);
    }
    HRESULT STDMETHODCALLTYPE accDoDefaultAction(VARIANT child) override {
        return standard_->accDoDefaultAction(child);
    }
    HRESULT STDMETHODCALLTYPE put_accName(VARIANT child, BSTR name) override {
        return standard_->put_accName(child, name);
    }
    HRESULT STDMETHODCALLTYPE put_accValue(VARIANT child, BSTR value) override {
        return standard_->put_accValue(child, value);
    }

  private:
    ~GaugeAccessible() { standard_->Release(); }

    HWND gauge_;
    IAccessible* standard_;
    LONG references_ = 1;
};

// The standard object of the window with role progress bar and value "NN%"; the caller owns the
// reference.
HRESULT CreateGaugeAccessible(HWND gauge, IAccessible** object) {
    if (object == nullptr) {
        return E_POINTER;
    }
    *object = nullptr;
    // __uuidof: MinGW's import library defines IID_IAccessible wrongly.
    IAccessible* standard = nullptr;
    HRESULT result = CreateStdAccessibleObject(gauge, OBJID_CLIENT, __uuidof(IAccessible),
                                               reinterpret_cast<void**>(&standard));
    if (FAILED(result) || standard == nullptr) {
        return FAILED(result) ? result : E_FAIL;
    }
    *object = new (std::nothrow) GaugeAccessible(gauge, standard);
    if (*object == nullptr) {
        standard->Release();
        return E_OUTOFMEMORY;
    }
    return S_OK;
}

LRESULT AnswerGetObject(HWND window, WPARAM wParam, LPARAM lParam) {
    IAccessible* accessible = nullptr;
    if (static_cast<DWORD>(lParam) != static_cast<DWORD>(OBJID_CLIENT) ||
        FAILED(CreateGaugeAccessible(window, &accessible))) {
        return DefWindowProcW(window, WM_GETOBJECT, wParam, lParam);
    }
    LRESULT result = LresultFromObject(__uuidof(IAccessible), wParam, accessible);
    accessible->Release();  // the reference now belongs to the caller
    return result;
}

LRESULT CALLBACK GaugeProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case PBM_SETPOS: {
            int old = ValueOf(window);
            int value = static_cast<int>(wParam);
            value = value < 0 ? 0 : value > 100 ? 100 : value;
            if (value != old) {
                SetWindowLongPtrW(window, GWLP_USERDATA, value);
                InvalidateRect(window, nullptr, FALSE);
                NotifyWinEvent(EVENT_OBJECT_VALUECHANGE, window, OBJID_CLIENT, CHILDID_SELF);
            }
            return old;
        }
        case PBM_GETPOS:
            return ValueOf(window);
        case WM_GETOBJECT:
            return AnswerGetObject(window, wParam, lParam);
        case WM_ERASEBKGND:
            return 1;
        case WM_PAINT:
            Paint(window);
            return 0;
        case WM_PRINTCLIENT: {
            RECT client;
            GetClientRect(window, &client);
            Draw(window, reinterpret_cast<HDC>(wParam), client.right, client.bottom);
            return 0;
        }
        default:
            return DefWindowProcW(window, message, wParam, lParam);
    }
}

}  // namespace

void RegisterGaugeClass() {
    RegisterClassOnce(kGaugeClass, GaugeProc, nullptr);
}

}  // namespace bv::ui
