// Turning registry texts into file references and testing whether those files exist.
#pragma once

#include <string>
#include <string_view>

namespace bv {

struct EnvironmentSnapshot;

std::wstring ExpandFolderVariables(std::wstring_view text, const EnvironmentSnapshot& env);
std::wstring ExtractFileReference(std::wstring_view text, const EnvironmentSnapshot& env);
// Redirection off, plain test, then the file name in each of PathFolders; redirection back on.
bool FileReferenceExists(std::wstring_view text, const EnvironmentSnapshot& env);
bool SetFileSystemRedirection(bool off, const EnvironmentSnapshot& env);
// Every "\" doubled.
std::wstring EscapeRegText(std::wstring_view text);

// True only for an existing file that is not a folder (a link when its target opens).
bool FileExists(std::wstring_view path);
// True for an existing folder; a path whose attributes fail for another reason than absence
// counts as existing.
bool DirectoryExists(std::wstring_view path);
// The part after the last "\" or ":".
std::wstring ExtractFileName(std::wstring_view path);

// Upper-cases ASCII letters only.
std::wstring UpperAscii(std::wstring_view text);

}  // namespace bv
