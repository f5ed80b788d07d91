// Startup entries: Run values of one hive and MSConfig's startupreg entries whose program is
// gone. Every finding goes to "Startup".
#include <string>
#include <vector>

#include "engine/Findings.h"
#include "scanners/Scanners.h"
#include "sysaccess/FileReference.h"

namespace bv {

namespace {

constexpr std::wstring_view kRunPath = L"\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run";
constexpr std::wstring_view kStartupRegPath =
    L"\\SOFTWARE\\Microsoft\\Shared Tools\\MSConfig\\startupreg";

void CheckRunValue(RunState& state, std::uint32_t root, const std::wstring& name) {
    const std::wstring keyText = std::wstring(HiveTag(root)) + std::wstring(kRunPath);
    std::wstring exclusion = keyText + L"=" + name;
    const std::wstring command = ReadStringValue(root, kRunPath, name);
    if (command.empty()) {
        // An empty or non-string entry starts nothing: reported even when excluded.
        RecordIssue(state, IssueCategory::Startup, keyText, name, std::move(exclusion),
                    ValueDeletion(root, kRunPath, name), false);
        return;
    }
    if (IsExcluded(state, exclusion)) {
        return;
    }
    const std::wstring file = ExtractFileReference(command, state.env);
    if (FileExists(file) || FileReferenceExists(ExtractFileName(file), state.env)) {
        return;
    }
    RecordIssue(state, IssueCategory::Startup, keyText, name, std::move(exclusion),
                ValueDeletion(root, kRunPath, name));
}

// Whole text, its file name in PATH, then the program the command line names: a quoted
// command or one with arguments must not be taken for a missing program.
bool StartupProgramExists(const std::wstring& command, const EnvironmentSnapshot& env) {
    if (FileExists(command) || FileReferenceExists(ExtractFileName(command), env)) {
        return true;
    }
    const std::wstring file = ExtractFileReference(command, env);
    return !file.empty() && (FileExists(file) || FileReferenceExists(file, env));
}

void CheckStartupEntry(RunState& state, const std::wstring& name) {
    const std::wstring entryPath = std::wstring(kStartupRegPath) + L"\\" + name;
    std::wstring keyText = HiveTag(kHkeyLocalMachine) + entryPath;
    const std::wstring command = ReadStringValue(kHkeyLocalMachine, entryPath, L"command");
    if (command.empty()) {
        std::wstring exclusion = keyText;
        RecordIssue(state, IssueCategory::Startup, std::move(keyText), L"", std::move(exclusion),
                    KeyDeletion(kHkeyLocalMachine, entryPath), false);
        return;
    }
    if (StartupProgramExists(command, state.env) || IsExcluded(state, keyText)) {
        return;
    }
    std::wstring exclusion = keyText;
    RecordIssue(state, IssueCategory::Startup, std::move(keyText), command, std::move(exclusion),
                KeyDeletion(kHkeyLocalMachine, entryPath));
}

}  // namespace

void ScanRunKeys(RunState& state, std::uint32_t root) {
    Gauge gauge(state);
    std::vector<std::wstring> names;
    ListValueNames(root, kRunPath, names);
    for (std::size_t i = 0; i < names.size(); ++i) {
        state.Pump();
        if (!state.scanInProgress || names[i].empty()) {
            continue;  // the unnamed value starts nothing
        }
        gauge.Step(i, names.size());
        CheckRunValue(state, root, names[i]);
    }
    gauge.Finish();
}

void ScanStartupReg(RunState& state) {
    Gauge gauge(state);
    std::vector<std::wstring> names;
    ListSubkeys(kHkeyLocalMachine, kStartupRegPath, names);
    for (std::size_t i = 0; i < names.size(); ++i) {
        state.Pump();
        if (!state.scanInProgress || names[i].empty()) {
            continue;
        }
        gauge.Step(i, names.size());
        CheckStartupEntry(state, names[i]);
    }
    gauge.Finish();
}

}  // namespace bv
