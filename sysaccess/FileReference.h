// Turning registry texts into file references and testing whether those files exist.
#pragma once

#include <string>
#include <string_view>

namespace bv {

struct EnvironmentSnapshot;

std::wstring ExpandFolderVariables(std::wstring_view text, const EnvironmentSnapshot& env);
std::wstring ExtractFileReference(std::wstring_view text, const EnvironmentSnapshot& env);
// Redirection off, plain test, then the file name in each of PathFolders; redirection back on.
// On 64-bit Windows the name is then looked for in the PATH folders that redirection changes
// (those in the Windows folder) in the 32-bit view too.
bool FileReferenceExists(std::wstring_view text, const EnvironmentSnapshot& env);
bool SetFileSystemRedirection(bool off, const EnvironmentSnapshot& env);
// Every "\" doubled.
std::wstring EscapeRegText(std::wstring_view text);

// What a look at a path finds in the current view of the file system. Unknown: the look
// failed for another reason than absence (access denied, a network path that cannot be
// reached, a drive without its medium, a drive letter this process does not see).
enum class PathState { Missing, File, Folder, Unknown };
PathState LookUpPath(std::wstring_view path);

// The plain existence tests that judge registry entries: an existing file (or folder) counts,
// and so does a path that cannot be looked at. A link counts when its target opens; any other
// reparse point (an app execution alias, a cloud placeholder) is a file or folder of its own.
bool FileExists(std::wstring_view path);
bool DirectoryExists(std::wstring_view path);
// The form the platform finds a path in: a full path too long for Win32's buffers gets the
// "\\?\" prefix (with "/", ".", ".." and the final blanks and dots resolved as Win32 would).
std::wstring ExtendedLengthPath(std::wstring_view path);
// The part after the last "\" or ":".
std::wstring ExtractFileName(std::wstring_view path);

// Upper-cases ASCII letters only.
std::wstring UpperAscii(std::wstring_view text);

}  // namespace bv
