// The scan run: Button1Click starts a scan (or asks to stop the running one), calls the
// scanners in their fixed order with checkpoints, and ends with the summary.
#pragma once

#include "engine/RunState.h"

namespace bv {

void Button1Click(RunState& state);
// One tick of Timer1 during the timer phase.
void TimerEvent(RunState& state);

}  // namespace bv
