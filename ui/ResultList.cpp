// The virtual result list: maps a visible row index to (group, row) with one prefix array over
// the groups, answers the list's text requests from ScanResults and draws bands in bold.
#include "ui/ResultList.h"

#include <algorithm>
#include <cwchar>

namespace bv::ui {
namespace {

constexpr int kHeaderHeight = 23;
constexpr ULONGLONG kFlushIntervalMs = 100;
constexpr ULONGLONG kMaxFlushIntervalMs = 500;

void CopyText(const std::wstring& text, wchar_t* buffer, int capacity) {
    if (buffer == nullptr || capacity <= 0) {
        return;
    }
    size_t n = std::min(text.size(), static_cast<size_t>(capacity - 1));
    std::wmemcpy(buffer, text.data(), n);
    buffer[n] = L'\0';
}

}  // namespace

// The header keeps a fixed height (23 pixels at 96 DPI) whatever the font asks for.
LRESULT CALLBACK ResultList::HeaderProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam,
                                        UINT_PTR /*id*/, DWORD_PTR data) {
    if (message == HDM_LAYOUT) {
        LRESULT result = DefSubclassProc(window, message, wParam, lParam);
        const auto* self = reinterpret_cast<const ResultList*>(data);
        const int height = Scale(kHeaderHeight, self->dpi_);
        auto* layout = reinterpret_cast<HDLAYOUT*>(lParam);
        if (layout != nullptr && layout->prc != nullptr && layout->pwpos != nullptr) {
            layout->pwpos->cy = height;
            layout->prc->top = layout->pwpos->y + height;
        }
        return result;
    }
    if (message == WM_NCDESTROY) {
        RemoveWindowSubclass(window, HeaderProc, 1);
    }
    return DefSubclassProc(window, message, wParam, lParam);
}

HWND ResultList::Create(HWND parent, int id, HFONT font, UINT dpi, const wchar_t* name) {
    dpi_ = dpi;
    list_ = MakeChild(parent, WC_LISTVIEWW, name,
                      WS_VISIBLE | WS_TABSTOP | WS_CLIPSIBLINGS | LVS_REPORT | LVS_OWNERDATA |
                          LVS_SINGLESEL | LVS_SHOWSELALWAYS,
                      0, 0, 100, 100, id, font, WS_EX_CLIENTEDGE);
    if (list_ == nullptr) {
        return nullptr;
    }
    ListView_SetExtendedListViewStyle(list_, LVS_EX_FULLROWSELECT | LVS_EX_DOUBLEBUFFER);
    // The window text names the list for readers that take it; the annotation for the others.
    AnnotateName(list_, name);
    LOGFONTW lf{};
    GetObjectW(font, sizeof(lf), &lf);
    lf.lfWeight = FW_BOLD;
    boldFont_.Reset(CreateFontIndirectW(&lf));
    const wchar_t* captions[] = {L"Key", L"Value"};
    for (int i = 0; i < 2; ++i) {
        LVCOLUMNW column{};
        column.mask = LVCF_TEXT | LVCF_WIDTH | LVCF_SUBITEM;
        column.pszText = const_cast<wchar_t*>(captions[i]);
        column.cx = 100;
        column.iSubItem = i;
        ListView_InsertColumn(list_, i, &column);
    }
    HWND header = ListView_GetHeader(list_);
    if (header != nullptr) {
        SetWindowSubclass(header, HeaderProc, 1, reinterpret_cast<DWORD_PTR>(this));
        // Let the list lay out its header again with the fixed height.
        SetWindowPos(list_, nullptr, 0, 0, 0, 0,
                     SWP_NOMOVE | SWP_NOSIZE | SWP_NOZORDER | SWP_FRAMECHANGED);
    }
    return list_;
}

void ResultList::Destroying() {
    if (list_ != nullptr) {
        ClearAnnotatedName(list_);
    }
}

void ResultList::SetFont(HFONT font, UINT dpi) {
    if (list_ == nullptr) {
        return;
    }
    dpi_ = dpi;
    LOGFONTW lf{};
    GetObjectW(font, sizeof(lf), &lf);
    lf.lfWeight = FW_BOLD;
    GdiObject bold(CreateFontIndirectW(&lf));
    // The list lays out its header and rows again for the new font.
    SendMessageW(list_, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
    boldFont_ = std::move(bold);
    SetWindowPos(list_, nullptr, 0, 0, 0, 0,
                 SWP_NOMOVE | SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE | SWP_FRAMECHANGED);
    SetColumnWidths();
    InvalidateRect(list_, nullptr, TRUE);
}

void ResultList::ColoursChanged() {
    if (list_ != nullptr) {
        SendMessageW(list_, WM_SYSCOLORCHANGE, 0, 0);
        InvalidateRect(list_, nullptr, TRUE);
    }
}

void ResultList::Cleared() {
    cleared_ = true;
    chosen_.reset();
    dirty_ = false;
    flushInterval_ = kFlushIntervalMs;
    bandIndex_.clear();
    bandRows_.clear();
    shownCount_ = 0;
    if (list_ != nullptr) {
        ListView_SetItemCountEx(list_, 0, 0);
        InvalidateRect(list_, nullptr, TRUE);
    }
}

void ResultList::Flush(bool force) {
    if (!dirty_) {
        return;
    }
    ULONGLONG now = GetTickCount64();
    if (!force && now - lastFlush_ < flushInterval_) {
        return;
    }
    dirty_ = false;
    cleared_ = false;
    // Groups only grow and new ones come last: the first row that differs from the last flush
    // is where a group first got rows or a band first moved.
    std::uint32_t firstChanged = static_cast<std::uint32_t>(shownCount_);
    std::uint32_t index = 0;
    const std::size_t known = bandIndex_.size();
    bandIndex_.resize(results_.groups.size());
    bandRows_.resize(results_.groups.size());
    for (std::size_t g = 0; g < results_.groups.size(); ++g) {
        auto rows = static_cast<std::uint32_t>(results_.groups[g].rows.size());
        if (g >= known || bandIndex_[g] != index) {
            firstChanged = std::min(firstChanged, index);
        } else if (bandRows_[g] != rows) {
            firstChanged = std::min(firstChanged, index + 1 + std::min(bandRows_[g], rows));
        }
        bandIndex_[g] = index;
        bandRows_[g] = rows;
        index += 1 + rows;
    }
    shownCount_ = static_cast<int>(index);
    if (list_ != nullptr) {
        ListView_SetItemCountEx(list_, shownCount_, LVSICF_NOSCROLL | LVSICF_NOINVALIDATEALL);
        // Rows below the page need no paint; the scroll bar already knows of them.
        int pageEnd = ListView_GetTopIndex(list_) + ListView_GetCountPerPage(list_) + 1;
        if (firstChanged <= static_cast<std::uint32_t>(std::max(pageEnd, 0))) {
            InvalidateRect(list_, nullptr, FALSE);
        }
    }
    // Under Wine a new row count lays out the scroll bar and the header again, which can take
    // milliseconds: the list's upkeep is held to about a fortieth of a running scan's time.
    ULONGLONG spent = GetTickCount64() - now;
    flushInterval_ = std::clamp<ULONGLONG>(spent * 40, kFlushIntervalMs, kMaxFlushIntervalMs);
    lastFlush_ = GetTickCount64();
}

std::optional<ResultList::Row> ResultList::RowAt(int index) const {
    if (index < 0 || index >= shownCount_ || bandIndex_.empty()) {
        return std::nullopt;
    }
    auto at = static_cast<std::uint32_t>(index);
    auto it = std::upper_bound(bandIndex_.begin(), bandIndex_.end(), at);
    auto group = static_cast<std::uint32_t>(it - bandIndex_.begin() - 1);
    std::uint32_t offset = at - bandIndex_[group];
    if (group >= results_.groups.size()) {
        return std::nullopt;
    }
    if (offset == 0) {
        return Row{true, group, 0};
    }
    std::uint32_t row = offset - 1;
    if (row >= bandRows_[group] || row >= results_.groups[group].rows.size()) {
        return std::nullopt;
    }
    return Row{false, group, row};
}

void ResultList::SelectChosenFinding() {
    if (list_ == nullptr) {
        return;
    }
    ListView_SetItemState(list_, -1, 0, LVIS_SELECTED);
    if (!chosen_ || chosen_->group >= bandIndex_.size() ||
        chosen_->row >= bandRows_[chosen_->group]) {
        return;
    }
    int index = static_cast<int>(bandIndex_[chosen_->group] + 1 + chosen_->row);
    ListView_SetItemState(list_, index, LVIS_SELECTED | LVIS_FOCUSED, LVIS_SELECTED | LVIS_FOCUSED);
}

std::wstring ResultList::KeyTextAt(int index) const {
    auto row = RowAt(index);
    if (!row || row->band) {
        return {};
    }
    return results_.groups[row->group].rows[row->row].keyText;
}

void ResultList::SetColumnWidths() {
    if (list_ == nullptr) {
        return;
    }
    RECT r;
    GetWindowRect(list_, &r);
    int width = (r.right - r.left) / 2 - Scale(16, dpi_);
    ListView_SetColumnWidth(list_, 0, width);
    ListView_SetColumnWidth(list_, 1, width);
}

void ResultList::OnGetDispInfo(NMLVDISPINFOW* info) const {
    if ((info->item.mask & LVIF_TEXT) == 0) {
        return;
    }
    auto row = RowAt(info->item.iItem);
    static const std::wstring kEmpty;
    const std::wstring* text = &kEmpty;
    std::wstring caption;
    if (row && row->band) {
        if (info->item.iSubItem == 0) {
            caption = CategoryCaption(results_.groups[row->group].category);
            text = &caption;
        }
    } else if (row) {
        const Issue& issue = results_.groups[row->group].rows[row->row];
        text = info->item.iSubItem == 0 ? &issue.keyText : &issue.valueText;
    }
    CopyText(*text, info->item.pszText, info->item.cchTextMax);
}

LRESULT ResultList::OnCustomDraw(NMLVCUSTOMDRAW* draw) const {
    switch (draw->nmcd.dwDrawStage) {
        case CDDS_PREPAINT:
            systemColours_ = UseSystemColours();  // once per paint, not per band
            return CDRF_NOTIFYITEMDRAW;
        case CDDS_ITEMPREPAINT: {
            auto row = RowAt(static_cast<int>(draw->nmcd.dwItemSpec));
            if (!row || !row->band) {
                return CDRF_DODEFAULT;
            }
            // A band is never shown selected: it is a caption, not a finding.
            draw->nmcd.uItemState &= ~static_cast<UINT>(CDIS_SELECTED | CDIS_FOCUS);
            draw->clrText = systemColours_ ? GetSysColor(COLOR_BTNTEXT) : kBandText;
            draw->clrTextBk = systemColours_ ? GetSysColor(COLOR_BTNFACE) : kBandBack;
            SelectObject(draw->nmcd.hdc, boldFont_.Get());
            return CDRF_NEWFONT;
        }
        default:
            return CDRF_DODEFAULT;
    }
}

}  // namespace bv::ui
