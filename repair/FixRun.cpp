// The fix run behind "Fix errors": undo file, deletion script imported by the registry editor,
// re-test of every finding, summary.
#include <string>
#include <vector>

#include "platform/Platform.h"
#include "repair/Repair.h"
#include "sysaccess/EnvironmentSnapshot.h"
#include "sysaccess/FileReference.h"
#include "sysaccess/RegistryEditor.h"
#include "sysaccess/TextFile.h"

namespace bv {

namespace {

constexpr std::uint32_t kSettleMs = 800;

constexpr wchar_t kUndoNotSaved[] = L"Nothing was changed because the undo file could not be saved";

void SetWorking(WindowPort& w) {
    w.SetEnabled(Control::Button1, false);
    w.SetCaption(Control::Button2, L"Stop");
    for (Control c : {Control::Button3, Control::Button4, Control::UndoCheck, Control::UndoLabel,
                      Control::ExclusionsLabel}) {
        w.SetEnabled(c, false);
    }
    w.SetInfoTop(18);
    w.SetInfoAlignment(Alignment::Left);
    w.SetGauge(100);
    w.ShowGauge(true);
}

void SetIdle(WindowPort& w) {
    w.SetEnabled(Control::Button1, true);
    w.SetCaption(Control::Button2, L"Fix errors");
    w.SetEnabled(Control::Button2, false);
    w.SetEnabled(Control::Button3, true);
    w.SetEnabled(Control::Button4, true);
    w.Focus(Control::Button4);
    for (Control c : {Control::UndoCheck, Control::UndoLabel, Control::ExclusionsLabel}) {
        w.SetEnabled(c, true);
    }
}

// FixScript without the lines of the findings to keep. When the findings cannot be matched to
// their lines, nothing is deleted rather than something that must stay.
std::vector<std::wstring> ScriptToImport(const ScanResults& results,
                                         const std::vector<bool>& keep) {
    const std::vector<std::wstring>& script = results.FixScript;
    bool keepAny = false;
    for (bool k : keep) {
        keepAny = keepAny || k;
    }
    if (!keepAny) {
        return script;
    }
    const std::vector<std::size_t>& blocks = results.fixScriptBlocks;
    if (blocks.size() != results.IssueKeys.size() || keep.size() != blocks.size()) {
        return {};
    }
    // Piece 0 is the header; piece i holds the lines of finding i - 1.
    std::vector<std::wstring> lines;
    bool deletesSomething = false;
    for (std::size_t i = 0; i <= blocks.size(); ++i) {
        const std::size_t from = i == 0 ? 0 : blocks[i - 1];
        const std::size_t to = i < blocks.size() ? blocks[i] : script.size();
        if (from > to || to > script.size()) {
            return {};
        }
        if (i == 0 || !keep[i - 1]) {
            lines.insert(lines.end(), script.begin() + static_cast<std::ptrdiff_t>(from),
                         script.begin() + static_cast<std::ptrdiff_t>(to));
            deletesSomething = deletesSomething || (i > 0 && to > from);
        }
    }
    return deletesSomething ? lines : std::vector<std::wstring>{};
}

// Saves the deletion script and has the editor import it. The file is held against writing
// and deletion from its save until the editor is done, and imported only when it still holds
// exactly what was written, so nothing else can slip into what the editor imports.
void ApplyFixScript(RunState& state, const std::vector<bool>& keep) {
    EnsureAppDataFolder(state.env);
    const std::wstring path = state.env.AppDataFolder + L"Brimvale.reg";
    const std::vector<std::wstring> script = ScriptToImport(state.results, keep);
    if (script.empty()) {
        return;
    }
    if (!WriteTextLines(path, script, TextEncoding::Ansi)) {
        // A script cut short (a full disk) is not left behind; a file another program holds
        // cannot be removed and stays as it is.
        platform::DeleteFile(path);
        return;
    }
    {
        platform::FileLock lock(path);
        std::vector<std::uint8_t> written;
        if (lock.Held() && platform::ReadFileBytes(path, written) &&
            written == EncodeTextLines(script, TextEncoding::Ansi)) {
            platform::Sleep(kSettleMs);
            RunRegistryEditor(L" /s \"" + path + L"\"", state.env);
        }
    }
    platform::Sleep(kSettleMs);
    platform::DeleteFile(path);
}

}  // namespace

void Button2Click(RunState& state) {
    WindowPort& w = state.window;
    if (state.scanInProgress) {
        if (w.Confirm(L"Are you sure you want to stop fixing?")) {
            state.scanInProgress = false;
        }
        return;
    }
    if (state.runActive) {
        return;  // a stopped scan or fix is still winding down
    }
    if (!w.Confirm(L"Are you sure you want to fix found errors?")) {
        return;
    }
    state.runActive = true;

    std::wstring info;
    auto show = [&](std::wstring text) {
        info = std::move(text);
        w.SetInfoText(info);
    };

    SetWorking(w);
    state.scanInProgress = true;

    bool undoFailed = false;
    try {
        UndoOutcome undo;
        if (w.UndoChecked()) {
            show(L"Creating undo. Please wait...");
            undo = CreateUndoFile(state);
        }
        // Nothing is deleted that the user asked to be able to put back and cannot.
        undoFailed = state.scanInProgress && !undo.saved;
        if (state.scanInProgress && !undoFailed) {
            show(L"Applying changes. Please wait...");
            ApplyFixScript(state, undo.keep);
            if (state.scanInProgress) {
                show(L"Checking exclusions. Please wait...");
                const auto remaining = static_cast<std::int64_t>(UpdateExclusions(state));
                show(remaining == 0
                         ? std::wstring(L"Errors were fixed")
                         : L"Summary: " + std::to_wstring(state.results.ErrorTotal - remaining) +
                               L" errors fixed");
            }
        }
    } catch (...) {
        // A fault on the way (out of memory) ends the fix like a stop: the window must not be
        // left with the run's flags set and nothing to clear them.
        state.scanInProgress = false;
    }

    w.ShowGauge(false);
    w.SetInfoTop(32);
    w.SetInfoAlignment(Alignment::Center);
    if (undoFailed) {
        show(kUndoNotSaved);  // the findings stay listed: none of them was touched
    } else if (state.scanInProgress) {
        // The visible list is emptied; IssueKeys, FixScript and the counters stay until the next
        // scan.
        state.results.groups.clear();
        state.results.recorded.clear();
        w.ResultsCleared();
        state.SelectedIssueKey.clear();
    } else {
        show(L"Process was cancelled");
    }
    SetIdle(w);
    state.scanInProgress = false;
    state.runActive = false;
    w.Inform(info);
}

}  // namespace bv
