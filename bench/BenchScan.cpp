// bench-scan: runs the product's scan once with a window that shows nothing and prints how
// long it took, so the scan can be set against the raw walk without process start-up costs.
#include <chrono>
#include <cstdio>
#include <string>

#include "engine/RunState.h"
#include "engine/ScanRun.h"
#include "engine/WindowPort.h"
#include "sysaccess/EnvironmentSnapshot.h"

#ifndef _WIN32
#include <filesystem>

#include "platform/sim/MachineDirectory.h"
#include "platform/sim/SimMachine.h"
#endif

namespace {

// Answers "No" to every question and paints nothing: the CLI's window.
class SilentWindow : public bv::WindowPort {
  public:
    void SetCaption(bv::Control, std::wstring_view) override {}
    void SetEnabled(bv::Control, bool) override {}
    void Focus(bv::Control) override {}
    bool UndoChecked() const override { return true; }
    void SetInfoText(std::wstring_view) override {}
    void SetInfoTop(int) override {}
    void SetInfoAlignment(bv::Alignment) override {}
    void SetGauge(int) override {}
    void ShowGauge(bool) override {}
    void EnableTimer(bool) override {}
    bool Confirm(std::wstring_view) override { return false; }
    void Inform(std::wstring_view) override {}
    void ResultsCleared() override {}
    void ResultsAppended() override {}
    void Pump() override {}
    std::uintptr_t OwnerHandle() const override { return 0; }
};

}  // namespace

int main(int argc, char** argv) {
#ifndef _WIN32
    bv::sim::Machine machine;
    if (argc != 3 || std::string(argv[1]) != "--machine") {
        std::fprintf(stderr, "usage: bench-scan --machine DIR\n");
        return 2;
    }
    std::string error;
    if (!bv::sim::LoadMachineDirectory(std::filesystem::path(argv[2]), machine, error)) {
        std::fprintf(stderr, "bench-scan: %s\n", error.c_str());
        return 2;
    }
    bv::sim::Machine::Install(&machine);
#else
    if (argc != 1 || argv[0] == nullptr) {
        std::fprintf(stderr, "usage: bench-scan (scans the live registry)\n");
        return 2;
    }
#endif
    SilentWindow window;
    int findings = 0;
    double ms = 0;
    {
        bv::RunState state(window);
        const auto start = std::chrono::steady_clock::now();
        state.env = bv::GatherEnvironmentSnapshot();
        bv::Button1Click(state);
        ms = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start)
                 .count();
        findings = state.results.ErrorTotal;
    }
    std::printf("scan_ms=%.1f findings=%d\n", ms, findings);
#ifndef _WIN32
    bv::sim::Machine::Install(nullptr);
#endif
    return 0;
}
