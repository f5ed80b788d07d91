// Runs regedit.exe from the Windows folder, hidden, and waits a bounded time for it.
#include "sysaccess/RegistryEditor.h"

#include <cstdint>

#include "platform/Platform.h"
#include "sysaccess/EnvironmentSnapshot.h"

namespace bv {

namespace {

constexpr std::uint32_t kHighPriorityDetached = 0x88;  // HIGH_PRIORITY_CLASS | DETACHED_PROCESS
constexpr std::uint32_t kEditorTimeoutMs = 10000;

}  // namespace

bool RunRegistryEditor(const std::wstring& arguments, const EnvironmentSnapshot& env) {
    // The argument text is the whole command line; the editor expects its switches after a space.
    std::wstring commandLine = arguments;
    if (!commandLine.empty() && commandLine.front() != L' ') {
        commandLine.insert(commandLine.begin(), L' ');
    }
    bool ended = false;
    return platform::RunProcessAndWait(env.WindowsFolder + L"regedit.exe", commandLine,
                                       kHighPriorityDetached, kEditorTimeoutMs, &ended) &&
           ended;
}

}  // namespace bv
