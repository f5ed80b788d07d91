// Turns registry texts into the one file they name and tests whether it exists, in the view of
// the file system that 64-bit programs see.
#include "sysaccess/FileReference.h"

#include <algorithm>
#include <cstdint>
#include <vector>

#include "platform/Platform.h"
#include "sysaccess/EnvironmentSnapshot.h"
#include "sysaccess/RegUnit.h"

namespace bv {

namespace {

namespace pf = platform;

constexpr std::uint32_t kExpansionBuffer = 260;

struct FolderReference {
    std::wstring_view reference;  // upper case, with its "\\"
    const wchar_t* variable;      // where this machine keeps the 64-bit programs' folder
    std::wstring_view fallback;   // when the process environment does not say
};

// On 64-bit Windows a 32-bit program is told the x86 folders; these name what 64-bit programs
// use, as the machine's own variables give them (Windows need not live on C:). Table order
// decides which one reference is replaced.
constexpr FolderReference kFolderReferences[] = {
    {L"%PROGRAMFILES%\\", L"ProgramW6432", L"C:\\Program Files\\"},
    {L"%PROGRAMFILES(X86)%\\", L"ProgramFiles(x86)", L"C:\\Program Files (x86)\\"},
    {L"%PROGRAMW6432%\\", L"ProgramW6432", L"C:\\Program Files\\"},
    {L"%COMMONPROGRAMFILES%\\", L"CommonProgramW6432", L"C:\\Program Files\\Common Files\\"},
    {L"%COMMONPROGRAMFILES(X86)%\\", L"CommonProgramFiles(x86)",
     L"C:\\Program Files (x86)\\Common Files\\"},
    {L"%COMMONPROGRAMW6432%\\", L"CommonProgramW6432", L"C:\\Program Files\\Common Files\\"},
};

constexpr std::wstring_view kFileExtensions[] = {L".EXE", L".DLL", L".BAT", L".CMD",
                                                 L".CPL", L".APL", L".BPL", L".OCX"};

constexpr std::size_t npos = std::wstring::npos;

// Errors that say the path names nothing; every other failure means "cannot look". Besides
// file and path not found: a name no file can have, a file where a folder should be, a link
// that leads nowhere.
bool IsAbsenceError(pf::Status error) {
    switch (error) {
        case pf::kErrorFileNotFound:
        case pf::kErrorPathNotFound:
        case pf::kErrorInvalidName:
        case pf::kErrorBadPathname:
        case pf::kErrorDirectory:
        case pf::kErrorCantResolveFilename:
            return true;
        default:
            return false;
    }
}

// The folder of 64-bit programs the machine names in its environment, with its "\\".
std::wstring ProgramFilesFolder(const FolderReference& entry) {
    std::wstring folder;
    if (!pf::GetEnvironmentVariable(entry.variable, folder) || folder.empty() ||
        folder.find(L'\0') != npos) {
        return std::wstring(entry.fallback);
    }
    if (folder.back() != L'\\') {
        folder.push_back(L'\\');
    }
    return folder;
}

bool IsDriveLetter(wchar_t c) {
    return (c >= L'A' && c <= L'Z') || (c >= L'a' && c <= L'z');
}

bool StartsWithExtendedPrefix(std::wstring_view path) {
    return path.size() >= 4 && path[0] == L'\\' && path[1] == L'\\' &&
           (path[2] == L'?' || path[2] == L'.') && path[3] == L'\\';
}

// A drive letter the process cannot see at all (an unplugged disk, a drive mapped in another
// logon session): nothing on it can be judged.
bool OnUnseenDrive(std::wstring_view path) {
    if (StartsWithExtendedPrefix(path)) {
        path.remove_prefix(4);
    }
    if (path.size() < 2 || path[1] != L':' || !IsDriveLetter(path[0])) {
        return false;
    }
    const int bit = (path[0] | 0x20) - L'a';
    return (pf::GetLogicalDrives() & (1u << bit)) == 0;
}

PathState FailedLook(pf::Status error, std::wstring_view path) {
    if (!IsAbsenceError(error) || OnUnseenDrive(path)) {
        return PathState::Unknown;
    }
    return PathState::Missing;
}

// Win32's own clean-up of a full path, which the "\\?\" form skips: "/" is a separator, empty
// and "." pieces go, ".." takes the previous piece, and a path that does not end in a
// separator loses its final blanks and dots.
std::wstring NormalizedFullPath(std::wstring_view root, std::wstring_view rest) {
    std::wstring text(rest);
    std::replace(text.begin(), text.end(), L'/', L'\\');
    const bool trailingSeparator = !text.empty() && text.back() == L'\\';
    if (!trailingSeparator) {
        while (!text.empty() && (text.back() == L' ' || text.back() == L'.')) {
            text.pop_back();
        }
    }
    std::vector<std::wstring_view> pieces;
    std::wstring_view view(text);
    std::size_t start = 0;
    while (start <= view.size()) {
        std::size_t end = view.find(L'\\', start);
        if (end == npos) {
            end = view.size();
        }
        const std::wstring_view piece = view.substr(start, end - start);
        if (piece == L"..") {
            if (!pieces.empty()) {
                pieces.pop_back();
            }
        } else if (!piece.empty() && piece != L".") {
            pieces.push_back(piece);
        }
        start = end + 1;
    }
    std::wstring out(root);
    for (const std::wstring_view piece : pieces) {
        out += L'\\';
        out += piece;
    }
    if (trailingSeparator || pieces.empty()) {
        out += L'\\';
    }
    return out;
}

std::wstring PlatformExpand(const std::wstring& text) {
    // A text holding NUL would be expanded only up to it.
    if (text.find(L'\0') != npos) {
        return text;
    }
    std::vector<wchar_t> buffer(kExpansionBuffer, L'\0');
    const std::uint32_t needed =
        pf::ExpandEnvironmentStrings(text.c_str(), buffer.data(), kExpansionBuffer);
    if (needed == 0 || needed > kExpansionBuffer) {
        return text;  // failed or did not fit: left as it stands
    }
    std::size_t length = 0;
    while (length < buffer.size() && buffer[length] != L'\0') {
        ++length;
    }
    return std::wstring(buffer.data(), length);
}

// Turns redirection off for its lifetime and back on when it ends, on every path.
class RedirectionOff {
  public:
    explicit RedirectionOff(const EnvironmentSnapshot& env) : env_(env) {
        SetFileSystemRedirection(true, env_);
    }
    ~RedirectionOff() { SetFileSystemRedirection(false, env_); }
    RedirectionOff(const RedirectionOff&) = delete;
    RedirectionOff& operator=(const RedirectionOff&) = delete;

  private:
    const EnvironmentSnapshot& env_;
};

}  // namespace

std::wstring UpperAscii(std::wstring_view text) {
    std::wstring upper(text);
    for (wchar_t& c : upper) {
        if (c >= L'a' && c <= L'z') {
            c = static_cast<wchar_t>(c - L'a' + L'A');
        }
    }
    return upper;
}

std::wstring ExpandFolderVariables(std::wstring_view text, const EnvironmentSnapshot& env) {
    if (env.Is64BitWindows) {
        const std::wstring upper = UpperAscii(text);
        for (const FolderReference& entry : kFolderReferences) {
            if (upper.find(entry.reference) == npos) {
                continue;
            }
            const std::wstring replacement = ProgramFilesFolder(entry);
            // Upper-casing ASCII keeps every position, so matches in `upper` index `text`.
            std::wstring result;
            std::size_t from = 0;
            for (std::size_t at = upper.find(entry.reference); at != npos;
                 at = upper.find(entry.reference, from)) {
                result.append(text.substr(from, at - from));
                result.append(replacement);
                from = at + entry.reference.size();
            }
            result.append(text.substr(from));
            return result;
        }
    }
    return PlatformExpand(std::wstring(text));
}

std::wstring ExtractFileReference(std::wstring_view text, const EnvironmentSnapshot& env) {
    // 1. Trim.
    std::wstring s = TrimControl(text);
    if (s.empty()) {
        return s;
    }
    // 2. Environment references.
    if (s.find(L'%') != npos) {
        s = ExpandFolderVariables(s, env);
    }
    // 3. Quotes.
    std::erase(s, L'"');
    // 4. Start at the drive letter of the first full path.
    const std::size_t first = s.find(L":\\");
    if (first != npos && first >= 2) {
        s.erase(0, first - 1);
    }
    // 5. Cut before the drive letter of a second full path.
    if (s.size() > 2) {
        const std::size_t second = s.find(L":\\", 2);
        if (second != npos && second >= 4) {
            s.resize(second - 1);
        }
    }
    // 6. End right after the first occurrence of each known extension, in turn.
    for (std::wstring_view extension : kFileExtensions) {
        const std::size_t at = UpperAscii(s).find(extension);
        if (at != npos) {
            s.resize(at + extension.size());
        }
    }
    // 7. "start program.exe".
    if (s.size() >= 6 && UpperAscii(std::wstring_view(s).substr(0, 6)) == L"START ") {
        s.erase(0, 6);
    }
    // 8. Package lists "file|,...".
    const std::size_t bar = s.find(L"|,");
    if (bar != npos) {
        s.resize(bar);
    }
    // 9. Resource references "file,index".
    const std::size_t comma = s.find(L',');
    if (comma != npos) {
        const std::size_t r = comma;  // zero-based here; positions compare the same way
        const std::size_t colon = s.find(L':');
        if (colon != npos && comma < colon) {
            s.erase(0, comma + 1);
        }
        const std::size_t dot = s.rfind(L'.');
        if (dot == npos) {
            s.resize(std::min<std::size_t>(s.size(), 3));
        } else if (dot < r) {
            s.resize(std::min(s.size(), dot + 4));
        }
    }
    return s;
}

bool SetFileSystemRedirection(bool off, const EnvironmentSnapshot& env) {
    if (!env.Is64BitWindows) {
        return false;
    }
    return off ? pf::CallWow64DisableFsRedirection() : pf::CallWow64EnableFsRedirection();
}

bool FileReferenceExists(std::wstring_view text, const EnvironmentSnapshot& env) {
    std::wstring name(text);
    {
        const RedirectionOff redirection(env);
        if (FileExists(text)) {
            return true;
        }
        if (name.find(L'\\') != npos) {
            name = ExtractFileName(name);
        }
        for (const std::wstring& folder : env.PathFolders) {
            if (FileExists(folder + name)) {
                return true;
            }
        }
    }
    if (!env.Is64BitWindows) {
        return false;
    }
    // A file present in either view counts: the 32-bit system folder may hold a name the 64-bit
    // one lacks. Redirection changes only what lies in the Windows folder.
    for (const std::wstring& folder : env.PathFolders) {
        const std::size_t n = env.WindowsFolder.size();
        if (n != 0 && folder.size() >= n &&
            UpperAscii(std::wstring_view(folder).substr(0, n)) == UpperAscii(env.WindowsFolder) &&
            FileExists(folder + name)) {
            return true;
        }
    }
    return false;
}

std::wstring EscapeRegText(std::wstring_view text) {
    std::wstring escaped;
    escaped.reserve(text.size());
    for (wchar_t c : text) {
        escaped.push_back(c);
        if (c == L'\\') {
            escaped.push_back(L'\\');
        }
    }
    return escaped;
}

std::wstring ExtendedLengthPath(std::wstring_view path) {
    if (path.size() < pf::kMaxPath || StartsWithExtendedPrefix(path)) {
        return std::wstring(path);
    }
    if (path.size() >= 3 && IsDriveLetter(path[0]) && path[1] == L':' &&
        (path[2] == L'\\' || path[2] == L'/')) {
        return L"\\\\?\\" + NormalizedFullPath(path.substr(0, 2), path.substr(3));
    }
    const bool unc = path.size() > 2 && (path[0] == L'\\' || path[0] == L'/') &&
                     (path[1] == L'\\' || path[1] == L'/');
    if (unc) {
        // \\server\share stays the root; what follows is cleaned up as for a drive.
        std::wstring rest(path.substr(2));
        std::replace(rest.begin(), rest.end(), L'/', L'\\');
        const std::size_t server = rest.find(L'\\');
        const std::size_t share = server == npos ? npos : rest.find(L'\\', server + 1);
        if (server == 0 || share == npos || share == server + 1) {
            return std::wstring(path);
        }
        return L"\\\\?\\UNC\\" + NormalizedFullPath(std::wstring_view(rest).substr(0, share),
                                                    std::wstring_view(rest).substr(share + 1));
    }
    return std::wstring(path);  // relative: left to the platform
}

PathState LookUpPath(std::wstring_view path) {
    // The API would see a path holding NUL only up to it: another file.
    if (path.empty() || path.find(L'\0') != npos) {
        return PathState::Missing;
    }
    const std::wstring query = ExtendedLengthPath(path);
    pf::Status error = 0;
    const std::uint32_t attributes = pf::GetFileAttributes(query, &error);
    if (attributes == pf::kInvalidFileAttributes) {
        return FailedLook(error, path);
    }
    const bool folder = (attributes & pf::kFileAttributeDirectory) != 0;
    if ((attributes & pf::kFileAttributeReparsePoint) != 0) {
        // Only links stand for something else; other reparse points are what they are.
        const std::uint32_t tag = pf::GetReparseTag(query);
        if (tag == pf::kIoReparseTagSymlink || tag == pf::kIoReparseTagMountPoint) {
            pf::Status linkError = 0;
            if (!pf::LinkTargetOpens(query, folder, &linkError)) {
                return FailedLook(linkError, path);
            }
        }
    }
    return folder ? PathState::Folder : PathState::File;
}

bool FileExists(std::wstring_view path) {
    const PathState state = LookUpPath(path);
    return state == PathState::File || state == PathState::Unknown;
}

bool DirectoryExists(std::wstring_view path) {
    const PathState state = LookUpPath(path);
    return state == PathState::Folder || state == PathState::Unknown;
}

std::wstring ExtractFileName(std::wstring_view path) {
    const std::size_t at = path.find_last_of(L"\\:");
    return std::wstring(at == npos ? path : path.substr(at + 1));
}

}  // namespace bv
