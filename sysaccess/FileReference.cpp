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
    std::wstring_view reference;  // upper case, with its "\"
    std::wstring_view replacement;
};

// On 64-bit Windows a 32-bit program is told the x86 folders; these name what 64-bit programs
// use. Table order decides which one reference is replaced.
constexpr FolderReference kFolderReferences[] = {
    {L"%PROGRAMFILES%\\", L"C:\\Program Files\\"},
    {L"%PROGRAMFILES(X86)%\\", L"C:\\Program Files (x86)\\"},
    {L"%PROGRAMW6432%\\", L"C:\\Program Files\\"},
    {L"%COMMONPROGRAMFILES%\\", L"C:\\Program Files\\Common Files\\"},
    {L"%COMMONPROGRAMFILES(X86)%\\", L"C:\\Program Files (x86)\\Common Files\\"},
    {L"%COMMONPROGRAMW6432%\\", L"C:\\Program Files\\Common Files\\"},
};

constexpr std::wstring_view kFileExtensions[] = {L".EXE", L".DLL", L".BAT", L".CMD",
                                                 L".CPL", L".APL", L".BPL", L".OCX"};

constexpr std::size_t npos = std::wstring::npos;

// Errors that mean "no such folder" rather than "cannot look".
bool IsAbsenceError(pf::Status error) {
    switch (error) {
        case pf::kErrorFileNotFound:
        case pf::kErrorPathNotFound:
        case 15:   // ERROR_INVALID_DRIVE
        case 21:   // ERROR_NOT_READY
        case 53:   // ERROR_BAD_NETPATH
        case 123:  // ERROR_INVALID_NAME
        case 161:  // ERROR_BAD_PATHNAME
            return true;
        default:
            return false;
    }
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
            // Upper-casing ASCII keeps every position, so matches in `upper` index `text`.
            std::wstring result;
            std::size_t from = 0;
            for (std::size_t at = upper.find(entry.reference); at != npos;
                 at = upper.find(entry.reference, from)) {
                result.append(text.substr(from, at - from));
                result.append(entry.replacement);
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
    const RedirectionOff redirection(env);
    if (FileExists(text)) {
        return true;
    }
    std::wstring name(text);
    if (name.find(L'\\') != npos) {
        name = ExtractFileName(name);
    }
    for (const std::wstring& folder : env.PathFolders) {
        if (FileExists(folder + name)) {
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

bool FileExists(std::wstring_view path) {
    // The API would see a path holding NUL only up to it: another file.
    if (path.empty() || path.find(L'\0') != npos) {
        return false;
    }
    const std::wstring file(path);
    pf::Status error = 0;
    const std::uint32_t attributes = pf::GetFileAttributes(file, &error);
    if (attributes == pf::kInvalidFileAttributes ||
        (attributes & pf::kFileAttributeDirectory) != 0) {
        return false;
    }
    if ((attributes & pf::kFileAttributeReparsePoint) != 0) {
        return pf::LinkTargetOpens(file, false);
    }
    return true;
}

bool DirectoryExists(std::wstring_view path) {
    if (path.empty() || path.find(L'\0') != npos) {
        return false;
    }
    const std::wstring folder(path);
    pf::Status error = 0;
    const std::uint32_t attributes = pf::GetFileAttributes(folder, &error);
    if (attributes == pf::kInvalidFileAttributes) {
        // A folder we may not look at is still there.
        return !IsAbsenceError(error);
    }
    if ((attributes & pf::kFileAttributeDirectory) == 0) {
        return false;
    }
    if ((attributes & pf::kFileAttributeReparsePoint) != 0) {
        return pf::LinkTargetOpens(folder, true);
    }
    return true;
}

std::wstring ExtractFileName(std::wstring_view path) {
    const std::size_t at = path.find_last_of(L"\\:");
    return std::wstring(at == npos ? path : path.substr(at + 1));
}

}  // namespace bv
