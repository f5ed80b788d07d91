// The loop frame the list-walking scanners share, and the missing-file test most of them use.
#pragma once

#include <string>
#include <vector>

#include "engine/RunState.h"
#include "sysaccess/FileReference.h"

namespace bv {

// Plain test with redirection in force, then with it off and the PATH fallback.
inline bool FilePresent(const std::wstring& reference, const EnvironmentSnapshot& env) {
    return FileExists(reference) || FileReferenceExists(reference, env);
}

// For each name: pump; after a stop pass over it; else move the gauge and, unless the name is
// empty, run perName. The gauge starts at 0 and ends at 100.
template <typename PerName>
void WalkNames(RunState& state, std::vector<std::wstring>& names, PerName perName) {
    Gauge gauge(state);
    for (std::size_t i = 0; i < names.size(); ++i) {
        state.window.Pump();
        if (!state.scanInProgress) {
            continue;
        }
        gauge.Step(i, names.size());
        if (!names[i].empty()) {
            perName(names[i]);
        }
    }
    names.clear();
    gauge.Finish();
}

}  // namespace bv
