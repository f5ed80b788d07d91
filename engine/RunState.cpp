// The per-scanner gauge rule.
#include "engine/RunState.h"

#include <cmath>

namespace bv {

Gauge::Gauge(RunState& state) : state_(state) {
    state_.window.SetGauge(0);
}

void Gauge::Step(std::size_t index, std::size_t count) {
    if (!state_.scanInProgress || count == 0) {
        return;
    }
    // Round half to even, as the gauge rule asks (12.5 -> 12, 17.5 -> 18).
    const double exact = static_cast<double>(index) * 100.0 / static_cast<double>(count);
    const auto percent = static_cast<std::int32_t>(std::nearbyint(exact));
    if (percent > lastPercent_) {
        lastPercent_ = percent;
        if (percent % 5 == 0) {
            state_.window.SetGauge(percent);
        }
    }
}

void Gauge::Finish() {
    state_.window.SetGauge(100);
}

}  // namespace bv
