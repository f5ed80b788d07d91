// brimvale-cli fix: a scan, then the fix as if "Yes" were answered; prints the final status
// text. On the host it works on a machine directory and can save the fixed machine.
#include <string>
#include <vector>

#include "cli/CliSupport.h"
#include "cli/Commands.h"
#include "engine/RunState.h"
#include "engine/ScanRun.h"
#include "repair/Repair.h"

namespace bv::cli {

int RunFixCommand(const std::vector<std::wstring>& args) {
    Options options;
    std::string error;
    if (!ParseOptions(args, {L"machine", L"save"}, {L"no-undo", L"yes"}, options, error)) {
        return UsageError(error);
    }
#ifdef _WIN32
    // The live registry is changed only on an explicit request.
    if (!options.yes) {
        return UsageError("fix changes the live registry; add --yes to go ahead");
    }
#endif
    MachineSession session;
    if (!session.Open(options, error)) {
        return UsageError(error);
    }

    ConsoleWindow window(/*answerYes=*/true);
    window.undoChecked = !options.noUndo;
    RunState state(window);
    state.env = GatherEnvironmentSnapshot();

    Button1Click(state);
    if (state.results.ErrorTotal > 0) {
        Button2Click(state);
    }
    PrintOut(window.infoText + L"\n");

    if (!options.save.empty() && !session.Save(options.save, error)) {
        return UsageError(error);
    }
    return 0;
}

}  // namespace bv::cli
