// The result list: a virtual (owner-data) report list over ScanResults. Each group shows as a
// bold band row with its category caption, followed by its rows "Key" / "Value".
#pragma once

#include <windows.h>
#include <commctrl.h>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "engine/ScanResults.h"
#include "ui/UiCommon.h"

namespace bv::ui {

class ResultList {
  public:
    // What one visible row shows: a band (group caption) or a finding.
    struct Row {
        bool band = false;
        std::uint32_t group = 0;
        std::uint32_t row = 0;  // finding index within the group (not for bands)
    };

    explicit ResultList(const ScanResults& results) : results_(results) {}
    ResultList(const ResultList&) = delete;
    ResultList& operator=(const ResultList&) = delete;

    // `name` is what screen readers call the list (the caption of its box).
    HWND Create(HWND parent, int id, HFONT font, UINT dpi, const wchar_t* name);
    HWND Handle() const { return list_; }
    // A new font and DPI (the window moved to a monitor of another scale): header, bands, rows.
    void SetFont(HFONT font, UINT dpi);
    // The system colours changed: the band colours follow.
    void ColoursChanged();
    // The window goes: what was told about the list for it goes too.
    void Destroying();

    // The list view is emptied at once (the results may still hold the last scan).
    void Cleared();
    // New findings: the row count follows lazily (Flush), so long scans are not slowed.
    void Appended() { dirty_ = true; }
    // Brings the row count up to date: always when forced, else at most every 100 to 500 ms
    // (more when a flush is slow), painting only when rows on the page changed.
    void Flush(bool force);

    int RowCount() const { return shownCount_; }
    std::optional<Row> RowAt(int index) const;
    // Key text of a finding row; empty for bands and out-of-range rows.
    std::wstring KeyTextAt(int index) const;
    // The finding the user chose last (a click or the context-menu key on it); kept while the
    // list grows, forgotten when it is emptied.
    void ChooseFinding(const Row& row) { chosen_ = row; }
    // Puts the selection back on that finding, or on no row: a band is a caption, so a click on
    // it changes nothing.
    void SelectChosenFinding();
    void SetColumnWidths();

    // Notifications from the list (WM_NOTIFY of the parent).
    void OnGetDispInfo(NMLVDISPINFOW* info) const;
    LRESULT OnCustomDraw(NMLVCUSTOMDRAW* draw) const;

  private:
    static LRESULT CALLBACK HeaderProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam,
                                       UINT_PTR id, DWORD_PTR data);

    const ScanResults& results_;
    HWND list_ = nullptr;
    UINT dpi_ = 96;
    GdiObject boldFont_;
    mutable bool systemColours_ = false;
    std::vector<std::uint32_t> bandIndex_;  // first visible index of each group (its band)
    std::vector<std::uint32_t> bandRows_;   // rows of each group at the last flush
    std::optional<Row> chosen_;
    int shownCount_ = 0;
    bool dirty_ = false;
    bool cleared_ = true;
    ULONGLONG lastFlush_ = 0;
    ULONGLONG flushInterval_ = 100;
};

}  // namespace bv::ui
