// brimvale-cli scan: one TAB-separated line per finding on standard output, the status line
// on standard error, and optionally the deletion script as the fix would save it.
#include <string>
#include <vector>

#include "cli/CliSupport.h"
#include "cli/Commands.h"
#include "engine/Findings.h"
#include "engine/RunState.h"
#include "engine/ScanRun.h"
#include "sysaccess/TextFile.h"

namespace bv::cli {

int RunScanCommand(const std::vector<std::wstring>& args) {
    Options options;
    std::string error;
    if (!ParseOptions(args, {L"machine", L"script"}, {}, options, error)) {
        return UsageError(error);
    }
    MachineSession session;
    if (!session.Open(options, error)) {
        return UsageError(error);
    }
    ConsoleWindow window(/*answerYes=*/false);
    RunState state(window);
    state.env = GatherEnvironmentSnapshot();
    Button1Click(state);

    for (const RowRef& ref : state.results.recorded) {
        const Issue& issue = state.results.groups[ref.group].rows[ref.row];
        PrintOut(std::wstring(CategoryCaption(issue.category)) + L"\t" + issue.keyText + L"\t" +
                 issue.valueText + L"\t" + issue.exclusionText + L"\n");
    }
    PrintErr(window.infoText + L"\n");
    if (!options.script.empty() &&
        !WriteLocalFile(options.script,
                        EncodeTextLines(state.results.FixScript, TextEncoding::Ansi))) {
        return UsageError("cannot write the script file '" + Utf8(options.script) + "'");
    }
    return 0;
}

}  // namespace bv::cli
