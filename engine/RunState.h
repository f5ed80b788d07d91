// The shared state of one program run, passed by reference to every procedure of the engine,
// the scanners and the repair: environment, scan results, the stop flag, the window.
#pragma once

#include <cstdint>
#include <string>

#include "engine/ScanResults.h"
#include "engine/WindowPort.h"
#include "sysaccess/EnvironmentSnapshot.h"
#include "sysaccess/RegUnit.h"
#include "sysaccess/TextFile.h"

namespace bv {

struct RunState final : ScanControl {
    explicit RunState(WindowPort& w) : window(w) {}

    EnvironmentSnapshot env;
    ScanResults results;
    bool scanInProgress = false;  // true for a whole scan or fix; clearing it asks to stop
    // True from the start of a scan or fix to its end, also while a stopped one winds down:
    // a click then must not start a second run inside the first.
    bool runActive = false;
    std::wstring SelectedIssueKey;
    std::int32_t timerValue = 0;
    // Encoding "Exclusions.txt" was last read in; written back in it.
    TextEncoding exclusionsEncoding = TextEncoding::Ansi;
    WindowPort& window;

    bool ScanInProgress() const override { return scanInProgress; }
    void Pump() override { window.Pump(); }
};

// The per-scanner gauge rule: moves only when a new rounded percentage is a multiple of 5.
class Gauge {
  public:
    explicit Gauge(RunState& state);  // sets the gauge to 0
    void Step(std::size_t index, std::size_t count);
    void Finish();  // sets the gauge to 100

  private:
    RunState& state_;
    std::int32_t lastPercent_ = 0;
};

}  // namespace bv
