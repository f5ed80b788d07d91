// Runs regedit.exe from the Windows folder, hidden, and waits a bounded time for it. On 64-bit
// Windows the editor is started with redirection off, so that it is the native one.
#include "sysaccess/RegistryEditor.h"

#include <cstdint>

#include "platform/Platform.h"
#include "sysaccess/EnvironmentSnapshot.h"
#include "sysaccess/FileReference.h"

namespace bv {

namespace {

constexpr std::uint32_t kHighPriorityDetached = 0x88;  // HIGH_PRIORITY_CLASS | DETACHED_PROCESS
constexpr std::uint32_t kEditorTimeoutMs = 10000;

}  // namespace

EditorStartRedirectionOff::EditorStartRedirectionOff(const EnvironmentSnapshot& env) : env_(env) {
    SetFileSystemRedirection(true, env_);
}

EditorStartRedirectionOff::~EditorStartRedirectionOff() {
    SetFileSystemRedirection(false, env_);
}

std::wstring RegistryEditorPath(const EnvironmentSnapshot& env) {
    return env.WindowsFolder + L"regedit.exe";
}

bool RunRegistryEditor(const std::wstring& arguments, const EnvironmentSnapshot& env) {
    // The argument text is the whole command line; the editor expects its switches after a space.
    std::wstring commandLine = arguments;
    if (!commandLine.empty() && commandLine.front() != L' ') {
        commandLine.insert(commandLine.begin(), L' ');
    }
    const std::wstring program = RegistryEditorPath(env);
    platform::Process editor;
    {
        const EditorStartRedirectionOff nativeEditor(env);
        editor = platform::StartProcess(program, commandLine, kHighPriorityDetached);
    }
    return editor.Started() && editor.Wait(kEditorTimeoutMs);
}

}  // namespace bv
