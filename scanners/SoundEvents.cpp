// Sound events of the current user's default scheme whose ".Current" or ".Default" sound file
// is gone; the fix deletes the unnamed value and keeps the key.
#include <string>
#include <vector>

#include "engine/Findings.h"
#include "scanners/Scanners.h"
#include "sysaccess/FileReference.h"

namespace bv {

namespace {

constexpr std::wstring_view kEventsPath = L"\\AppEvents\\Schemes\\Apps\\.Default";
constexpr std::wstring_view kSchemeNames[] = {L".Current", L".Default"};

bool SoundFileExists(const std::wstring& text, const EnvironmentSnapshot& env) {
    const std::wstring file = ExtractFileReference(text, env);
    return FileExists(file) || FileReferenceExists(file, env);
}

void CheckEvent(RunState& state, const std::wstring& event) {
    const std::wstring eventPath = std::wstring(kEventsPath) + L"\\" + event + L"\\";
    // Both values are read before either is judged.
    std::wstring sounds[2];
    for (int s = 0; s < 2; ++s) {
        sounds[s] =
            ReadStringValue(kHkeyCurrentUser, eventPath + std::wstring(kSchemeNames[s]), L"");
    }
    for (int s = 0; s < 2; ++s) {
        if (sounds[s].empty() || SoundFileExists(sounds[s], state.env)) {
            continue;
        }
        const std::wstring keyPath = eventPath + std::wstring(kSchemeNames[s]);
        std::wstring keyText = HiveTag(kHkeyCurrentUser) + keyPath;
        std::wstring exclusion = keyText;
        RecordIssue(state, IssueCategory::FontsSounds, std::move(keyText),
                    ReadStringValue(kHkeyCurrentUser, keyPath, L""), std::move(exclusion),
                    ValueDeletion(kHkeyCurrentUser, keyPath, L""));
    }
}

}  // namespace

void ScanSoundEvents(RunState& state) {
    Gauge gauge(state);
    std::vector<std::wstring> names;
    ListSubkeys(kHkeyCurrentUser, kEventsPath, names);
    for (std::size_t i = 0; i < names.size(); ++i) {
        state.Pump();
        if (!state.scanInProgress || names[i].empty()) {
            continue;
        }
        gauge.Step(i, names.size());
        CheckEvent(state, names[i]);
    }
    gauge.Finish();
}

}  // namespace bv
