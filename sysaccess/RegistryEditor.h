// Runs the Windows registry editor hidden with switches (silent import, silent export), and
// starts the editor of the machine's native registry view.
#pragma once

#include <string>

namespace bv {

struct EnvironmentSnapshot;

// Starts <windows>\regedit.exe and waits for it a bounded time. True when the editor ran and
// ended within its time-out.
bool RunRegistryEditor(const std::wstring& arguments, const EnvironmentSnapshot& env);

// The editor's full path in the Windows folder.
std::wstring RegistryEditorPath(const EnvironmentSnapshot& env);

// File-system redirection of this thread off for the life of the object, on 64-bit Windows.
// Held around the start of the editor alone: WOW64 hands a 32-bit program SysWOW64's editor for
// <windows>\regedit.exe, and that one imports and exports the 32-bit view of the machine's
// software and class keys. Nothing else may run meanwhile: the loading of DLLs depends on
// redirection.
class EditorStartRedirectionOff {
  public:
    explicit EditorStartRedirectionOff(const EnvironmentSnapshot& env);
    ~EditorStartRedirectionOff();
    EditorStartRedirectionOff(const EditorStartRedirectionOff&) = delete;
    EditorStartRedirectionOff& operator=(const EditorStartRedirectionOff&) = delete;

  private:
    const EnvironmentSnapshot& env_;
};

}  // namespace bv
