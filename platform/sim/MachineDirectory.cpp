// Machine directories: the loader that builds a simulated machine from machine.ini,
// registry.reg, files.txt and appdata/, and the saver that writes one it reads back.
#include "platform/sim/MachineDirectory.h"

#include <cwchar>
#include <fstream>
#include <iterator>
#include <system_error>

#include "platform/Utf16.h"
#include "platform/sim/RegFile.h"

namespace bv::sim {

using namespace bv::platform;
namespace fs = std::filesystem;

namespace {

struct DriveTypeName {
    const wchar_t* name;
    std::uint32_t type;
};

// The first name of a type is the one the saver writes.
constexpr DriveTypeName kDriveTypes[] = {
    {L"removable", kDriveRemovable}, {L"fixed", kDriveFixed},      {L"network", kDriveRemote},
    {L"remote", kDriveRemote},       {L"cdrom", kDriveCdrom},      {L"ramdisk", kDriveRamdisk},
    {L"unknown", kDriveUnknown},     {L"noroot", kDriveNoRootDir},
};

constexpr const char* kDataSubfolder = "Brimvale";

// [files]: what a look at a path (and everything below it) fails with...
struct LookFailureName {
    const wchar_t* name;
    Status error;
};
constexpr LookFailureName kLookFailureNames[] = {
    {L"denied", kErrorAccessDenied},
    {L"notready", kErrorNotReady},
    {L"badnetpath", kErrorBadNetpath},
    {L"badnetname", kErrorBadNetName},
    {L"unreachable", kErrorNetworkUnreachable},
};

// ...or the kind of reparse point it is; links name their target after the kind.
struct ReparseName {
    const wchar_t* name;
    std::uint32_t tag;
    bool link;
};
constexpr ReparseName kReparseNames[] = {
    {L"symlink", kIoReparseTagSymlink, true},
    {L"junction", kIoReparseTagMountPoint, true},
    {L"appexeclink", kIoReparseTagAppExecLink, false},
    {L"cloud", kIoReparseTagCloud, false},
};

struct FileKindLine {
    std::wstring path;
    Status error = kErrorSuccess;  // a look failure, or
    std::uint32_t tag = 0;         // a reparse point
    std::wstring target;
};

// Paths in UTF-8 both ways, whatever the platform's narrow encoding is.
std::string PathText(const fs::path& path) {
    std::u8string u8 = path.u8string();
    return std::string(u8.begin(), u8.end());
}

fs::path PathFrom(std::wstring_view text) {
    std::string utf8 = ToUtf8(text);
    return fs::path(std::u8string(utf8.begin(), utf8.end()));
}

std::string Where(const fs::path& file, std::size_t line) {
    std::string text = PathText(file);
    if (line > 0) {
        text.push_back(':');
        text.append(std::to_string(line));
    }
    text.append(": ");
    return text;
}

std::wstring_view Trim(std::wstring_view s) {
    while (!s.empty() && (s.front() == L' ' || s.front() == L'\t' || s.front() == L'\r' ||
                          s.front() == L'\xFEFF')) {
        s.remove_prefix(1);
    }
    while (!s.empty() && (s.back() == L' ' || s.back() == L'\t' || s.back() == L'\r')) {
        s.remove_suffix(1);
    }
    return s;
}

std::vector<std::wstring_view> Lines(std::wstring_view text) {
    std::vector<std::wstring_view> lines;
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t end = text.find(L'\n', start);
        if (end == std::wstring_view::npos) {
            end = text.size();
        }
        lines.push_back(text.substr(start, end - start));
        start = end + 1;
    }
    return lines;
}

bool ReadWhole(const fs::path& file, std::vector<std::uint8_t>& bytes) {
    std::ifstream in(file, std::ios::binary);
    if (!in) {
        return false;
    }
    bytes.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    return !in.bad();
}

bool WriteWhole(const fs::path& file, const std::vector<std::uint8_t>& bytes) {
    std::ofstream out(file, std::ios::binary | std::ios::trunc);
    if (!out) {
        return false;
    }
    out.write(reinterpret_cast<const char*>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
    return static_cast<bool>(out);
}

bool WriteUtf8(const fs::path& file, std::wstring_view text) {
    std::string utf8 = ToUtf8(text);
    return WriteWhole(file, std::vector<std::uint8_t>(utf8.begin(), utf8.end()));
}

bool IsFullPath(std::wstring_view path) {
    return path.size() >= 3 &&
           ((path[0] >= L'A' && path[0] <= L'Z') || (path[0] >= L'a' && path[0] <= L'z')) &&
           path[1] == L':' && path[2] == L'\\';
}

bool IsUncPath(std::wstring_view path) {
    return path.size() > 2 && path[0] == L'\\' && path[1] == L'\\' && path[2] != L'\\';
}

bool ParseNumber(std::wstring_view text, std::uint64_t& number) {
    int base = 10;
    if (text.size() > 2 && text[0] == L'0' && (text[1] == L'x' || text[1] == L'X')) {
        base = 16;
        text.remove_prefix(2);
    }
    if (text.empty() || text.size() > 16) {
        return false;
    }
    number = 0;
    for (wchar_t c : text) {
        int digit = -1;
        if (c >= L'0' && c <= L'9') {
            digit = c - L'0';
        } else if (base == 16 && c >= L'a' && c <= L'f') {
            digit = c - L'a' + 10;
        } else if (base == 16 && c >= L'A' && c <= L'F') {
            digit = c - L'A' + 10;
        }
        if (digit < 0) {
            return false;
        }
        number = number * static_cast<std::uint64_t>(base) + static_cast<std::uint64_t>(digit);
    }
    return true;
}

// "KIND" or "KIND ARGUMENT": a look failure, "error N", a reparse kind, "reparse 0xTAG", or a
// link kind followed by its target.
bool ParseFileKind(std::wstring_view value, FileKindLine& line) {
    const std::size_t blank = value.find_first_of(L" \t");
    const std::wstring kind = FoldCase(value.substr(0, blank));
    const std::wstring_view argument =
        blank == std::wstring_view::npos ? std::wstring_view() : Trim(value.substr(blank));
    for (const LookFailureName& f : kLookFailureNames) {
        if (kind == FoldCase(f.name)) {
            line.error = f.error;
            return argument.empty();
        }
    }
    for (const ReparseName& r : kReparseNames) {
        if (kind == FoldCase(r.name)) {
            line.tag = r.tag;
            line.target = std::wstring(argument);
            return r.link ? !argument.empty() : argument.empty();
        }
    }
    std::uint64_t number = 0;
    if (kind == L"ERROR" && ParseNumber(argument, number) && number != 0 && number <= 0xFFFF) {
        line.error = static_cast<Status>(number);
        return true;
    }
    if (kind == L"REPARSE" && ParseNumber(argument, number) && number != 0 &&
        number <= 0xFFFFFFFFu) {
        line.tag = static_cast<std::uint32_t>(number);
        return true;
    }
    return false;
}

std::wstring FileKindText(Status error, std::uint32_t tag, const std::wstring& target) {
    if (tag != 0) {
        for (const ReparseName& r : kReparseNames) {
            if (r.tag == tag) {
                return r.link ? std::wstring(r.name) + L" " + target : std::wstring(r.name);
            }
        }
        wchar_t hex[16];
        std::swprintf(hex, 16, L"0x%08X", static_cast<unsigned>(tag));
        return std::wstring(L"reparse ") + hex;
    }
    for (const LookFailureName& f : kLookFailureNames) {
        if (f.error == error) {
            return f.name;
        }
    }
    return L"error " + std::to_wstring(error);
}

bool ParseDrives(std::wstring_view text, std::vector<Drive>& drives) {
    drives.clear();
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t end = text.find_first_of(L" \t", start);
        if (end == std::wstring_view::npos) {
            end = text.size();
        }
        std::wstring_view token = text.substr(start, end - start);
        start = end + 1;
        if (token.empty()) {
            continue;
        }
        if (token.size() < 3 || token[1] != L':') {
            return false;
        }
        wchar_t letter = FoldChar(token[0]);
        if (letter < L'A' || letter > L'Z') {
            return false;
        }
        bool known = false;
        for (const DriveTypeName& t : kDriveTypes) {
            if (EqualNoCase(token.substr(2), t.name)) {
                drives.push_back(Drive{letter, t.type});
                known = true;
                break;
            }
        }
        if (!known) {
            return false;
        }
    }
    return true;
}

struct RightLine {
    std::uint32_t root;
    std::wstring path;
    Right right;
};

bool LoadIni(const fs::path& file, Machine& machine, std::vector<RightLine>& rights,
             std::vector<FileKindLine>& fileKinds, std::string& error) {
    std::vector<std::uint8_t> bytes;
    if (!ReadWhole(file, bytes)) {
        error = Where(file, 0) + "cannot be read";
        return false;
    }
    std::wstring text = DecodeRegFileBytes(bytes);
    std::wstring section;
    std::vector<std::pair<std::wstring, std::wstring>> environment;
    bool windowsSet = false, systemSet = false;
    std::vector<std::wstring_view> lines = Lines(text);
    for (std::size_t i = 0; i < lines.size(); ++i) {
        std::wstring_view line = Trim(lines[i]);
        const std::size_t number = i + 1;
        if (line.empty() || line.front() == L';' || line.front() == L'#') {
            continue;
        }
        if (line.front() == L'[') {
            if (line.back() != L']') {
                error = Where(file, number) + "malformed section header";
                return false;
            }
            section = FoldCase(Trim(line.substr(1, line.size() - 2)));
            if (section != L"MACHINE" && section != L"ENVIRONMENT" && section != L"RIGHTS" &&
                section != L"FILES") {
                error = Where(file, number) + "unknown section [" +
                        ToUtf8(line.substr(1, line.size() - 2)) + "]";
                return false;
            }
            continue;
        }
        std::size_t eq = line.find(L'=');
        if (eq == std::wstring_view::npos) {
            error = Where(file, number) + "expected 'key = value'";
            return false;
        }
        std::wstring key(Trim(line.substr(0, eq)));
        std::wstring value(Trim(line.substr(eq + 1)));
        if (key.empty()) {
            error = Where(file, number) + "empty key";
            return false;
        }
        if (section.empty()) {
            error = Where(file, number) + "line outside any section";
            return false;
        }
        if (section == L"ENVIRONMENT") {
            environment.emplace_back(key, value);
            continue;
        }
        if (section == L"FILES") {
            FileKindLine kind;
            kind.path = key;
            if (!IsFullPath(key) && !IsUncPath(key)) {
                error = Where(file, number) + "not a full path: " + ToUtf8(key);
                return false;
            }
            if (!ParseFileKind(value, kind)) {
                error = Where(file, number) +
                        "a file kind is denied, notready, badnetpath, badnetname, unreachable, "
                        "error N, symlink TARGET, junction TARGET, appexeclink, cloud or "
                        "reparse 0xTAG";
                return false;
            }
            fileKinds.push_back(std::move(kind));
            continue;
        }
        if (section == L"RIGHTS") {
            std::size_t slash = key.find(L'\\');
            RightLine r{0, slash == std::wstring::npos ? L"" : key.substr(slash + 1), Right::Read};
            if (!RootFromName(key.substr(0, slash), r.root)) {
                error = Where(file, number) + "unknown root key in '" + ToUtf8(key) + "'";
                return false;
            }
            std::wstring v = FoldCase(value);
            if (v == L"READ") {
                r.right = Right::Read;
            } else if (v == L"NONE") {
                r.right = Right::None;
            } else if (v == L"FULL") {
                r.right = Right::Full;
            } else {
                error = Where(file, number) + "right must be read, none or full";
                return false;
            }
            rights.push_back(std::move(r));
            continue;
        }
        // [machine]
        std::wstring name = FoldCase(key);
        auto folder = [&](std::wstring& target) {
            if (!IsFullPath(value)) {
                error = Where(file, number) + ToUtf8(key) + " must be a full path";
                return false;
            }
            while (value.size() > 3 && value.back() == L'\\') {
                value.pop_back();
            }
            target = value;
            return true;
        };
        bool ok = true;
        if (name == L"WINDOWS") {
            ok = folder(machine.windowsFolder);
            windowsSet = true;
        } else if (name == L"SYSTEM") {
            ok = folder(machine.systemFolder);
            systemSet = true;
        } else if (name == L"PROGRAMFILES") {
            ok = folder(machine.programFilesFolder);
        } else if (name == L"APPDATA") {
            ok = folder(machine.appDataFolder);
        } else if (name == L"PROGRAM") {
            ok = folder(machine.programPath);
        } else if (name == L"CWD") {
            ok = folder(machine.currentFolder);
        } else if (name == L"DRIVES") {
            if (!ParseDrives(value, machine.drives)) {
                error = Where(file, number) + "drives must read like 'C:fixed D:cdrom'";
                return false;
            }
        } else if (name == L"MAXPATH" || name == L"FREESPACE") {
            std::uint64_t parsed = 0;
            if (!ParseNumber(value, parsed)) {
                error = Where(file, number) + ToUtf8(key) + " must be a number";
                return false;
            }
            if (name == L"MAXPATH") {
                machine.maxPath = static_cast<std::size_t>(parsed);
            } else {
                machine.freeBytes = parsed;
            }
        } else if (name == L"ADMIN") {
            std::wstring v = FoldCase(value);
            if (v == L"YES" || v == L"TRUE" || v == L"1") {
                machine.administrator = true;
            } else if (v == L"NO" || v == L"FALSE" || v == L"0") {
                machine.administrator = false;
            } else {
                error = Where(file, number) + "admin must be yes or no";
                return false;
            }
        } else {
            error = Where(file, number) + "unknown key '" + ToUtf8(key) + "'";
            return false;
        }
        if (!ok) {
            return false;
        }
    }
    if (windowsSet && !systemSet) {
        machine.systemFolder = machine.windowsFolder + L"\\system32";
    }
    // Variables follow the facts unless the file names them itself.
    const std::wstring& win = machine.windowsFolder;
    machine.SetEnvironment(L"SystemRoot", win);
    machine.SetEnvironment(L"windir", win);
    machine.SetEnvironment(L"PATH", machine.systemFolder + L";" + win);
    machine.SetEnvironment(L"ComSpec", machine.systemFolder + L"\\cmd.exe");
    machine.SetEnvironment(L"SystemDrive", win.substr(0, 2));
    machine.SetEnvironment(L"APPDATA", machine.appDataFolder);
    const std::wstring& pf = machine.programFilesFolder;
    machine.SetEnvironment(L"ProgramFiles", pf);
    machine.SetEnvironment(L"CommonProgramFiles", pf + L"\\Common Files");
    if (machine.Is64Bit()) {
        machine.SetEnvironment(L"ProgramFiles(x86)", pf);
        machine.SetEnvironment(L"CommonProgramFiles(x86)", pf + L"\\Common Files");
        // The 64-bit programs' folder is the x86 one without its " (x86)", where it has one.
        constexpr std::wstring_view kX86 = L" (x86)";
        if (pf.size() > kX86.size() &&
            EqualNoCase(std::wstring_view(pf).substr(pf.size() - kX86.size()), kX86)) {
            const std::wstring native = pf.substr(0, pf.size() - kX86.size());
            machine.SetEnvironment(L"ProgramW6432", native);
            machine.SetEnvironment(L"CommonProgramW6432", native + L"\\Common Files");
        }
    } else {
        for (const wchar_t* name :
             {L"ProgramFiles(x86)", L"CommonProgramFiles(x86)", L"ProgramW6432",
              L"CommonProgramW6432", L"PROCESSOR_ARCHITEW6432"}) {
            machine.RemoveEnvironment(name);
        }
    }
    for (const auto& [name, value] : environment) {
        machine.SetEnvironment(name, value);
    }
    return true;
}

bool LoadFilesList(const fs::path& file, Machine& machine, std::string& error) {
    std::vector<std::uint8_t> bytes;
    if (!ReadWhole(file, bytes)) {
        error = Where(file, 0) + "cannot be read";
        return false;
    }
    std::wstring text = DecodeRegFileBytes(bytes);
    std::vector<std::wstring_view> lines = Lines(text);
    for (std::size_t i = 0; i < lines.size(); ++i) {
        std::wstring_view line = Trim(lines[i]);
        if (line.empty() || line.front() == L'#') {
            continue;
        }
        if (!IsFullPath(line)) {
            error = Where(file, i + 1) + "not a full path: " + ToUtf8(line);
            return false;
        }
        if (line.back() == L'\\') {
            machine.AddFolder(line);
        } else {
            machine.AddFile(line);
        }
    }
    return true;
}

bool LoadAppData(const fs::path& dir, Machine& machine, std::string& error) {
    std::error_code ec;
    const std::wstring base = machine.appDataFolder + L"\\" + FromUtf8(kDataSubfolder);
    machine.AddFolder(base);
    for (fs::recursive_directory_iterator it(dir, ec), end; !ec && it != end; it.increment(ec)) {
        fs::path relative = it->path().lexically_relative(dir);
        std::wstring target = base;
        for (const fs::path& part : relative) {
            target += L"\\" + FromUtf8(PathText(part));
        }
        if (it->is_directory(ec)) {
            machine.AddFolder(target);
            continue;
        }
        std::vector<std::uint8_t> bytes;
        if (!ReadWhole(it->path(), bytes)) {
            error = Where(it->path(), 0) + "cannot be read";
            return false;
        }
        machine.AddFile(target, std::move(bytes));
    }
    if (ec) {
        error = Where(dir, 0) + ec.message();
        return false;
    }
    return true;
}

bool LoadAll(const fs::path& dir, Machine& machine, std::string& error) {
    std::error_code ec;
    if (!fs::is_directory(dir, ec)) {
        error = Where(dir, 0) + "not a machine directory";
        return false;
    }
    std::vector<RightLine> rights;
    std::vector<FileKindLine> fileKinds;
    fs::path ini = dir / "machine.ini";
    if (fs::exists(ini, ec) && !LoadIni(ini, machine, rights, fileKinds, error)) {
        return false;
    }
    fs::path reg = dir / "registry.reg";
    if (fs::exists(reg, ec)) {
        std::vector<std::uint8_t> bytes;
        if (!ReadWhole(reg, bytes)) {
            error = Where(reg, 0) + "cannot be read";
            return false;
        }
        ImportStats stats = ImportRegText(machine, DecodeRegFileBytes(bytes), false);
        if (!stats.header) {
            error = Where(reg, 1) + "not a registry editor file (version 5.00 header missing)";
            return false;
        }
        if (stats.linesSkipped > 0) {
            error = Where(reg, static_cast<std::size_t>(stats.firstSkippedLine)) + "malformed line";
            return false;
        }
    }
    for (const RightLine& r : rights) {
        machine.registry.SetRight(r.root, r.path, r.right);
    }
    fs::path files = dir / "files.txt";
    if (fs::exists(files, ec) && !LoadFilesList(files, machine, error)) {
        return false;
    }
    // After files.txt: a reparse point marks what it listed (or adds it after those, as the
    // saver lists them).
    for (const FileKindLine& k : fileKinds) {
        if (k.tag != 0) {
            machine.AddReparsePoint(k.path, k.tag, k.target, k.path.back() == L'\\');
        } else {
            machine.FailLooks(k.path, k.error);
        }
    }
    fs::path appdata = dir / "appdata";
    if (fs::is_directory(appdata, ec) && !LoadAppData(appdata, machine, error)) {
        return false;
    }
    return true;
}

void CollectRights(const Key& key, const std::wstring& name, std::wstring& out) {
    if (key.right) {
        out += name;
        out += *key.right == Right::None   ? L" = none\r\n"
               : *key.right == Right::Read ? L" = read\r\n"
                                           : L" = full\r\n";
    }
    for (const auto& sub : key.subkeys) {
        CollectRights(*sub, name + L"\\" + sub->name, out);
    }
}

bool SaveAll(const Machine& machine, const fs::path& dir, std::string& error) {
    std::error_code ec;
    fs::create_directories(dir, ec);
    if (!fs::is_directory(dir, ec)) {
        error = Where(dir, 0) + "cannot be created";
        return false;
    }

    std::wstring ini = L"; Simulated machine\r\n[machine]\r\n";
    ini += L"windows = " + machine.windowsFolder + L"\r\n";
    ini += L"system = " + machine.systemFolder + L"\r\n";
    ini += L"programfiles = " + machine.programFilesFolder + L"\r\n";
    ini += L"appdata = " + machine.appDataFolder + L"\r\n";
    ini += L"program = " + machine.programPath + L"\r\n";
    ini += L"cwd = " + machine.currentFolder + L"\r\n";
    ini += L"drives =";
    for (const Drive& d : machine.drives) {
        const wchar_t* type = L"unknown";
        for (const DriveTypeName& t : kDriveTypes) {
            if (t.type == d.type) {
                type = t.name;
                break;
            }
        }
        ini += L" ";
        ini += d.letter;
        ini += L":";
        ini += type;
    }
    ini += L"\r\nadmin = ";
    ini += machine.administrator ? L"yes" : L"no";
    ini += L"\r\nmaxpath = " + std::to_wstring(machine.maxPath);
    if (machine.freeBytes) {
        ini += L"\r\nfreespace = " + std::to_wstring(*machine.freeBytes);
    }
    ini += L"\r\n\r\n[environment]\r\n";
    for (const auto& [name, value] : machine.EnvironmentVariables()) {
        ini += name + L" = " + value + L"\r\n";
    }
    ini += L"\r\n[rights]\r\n";
    for (std::uint32_t root : {kHkeyClassesRoot, kHkeyCurrentUser, kHkeyLocalMachine}) {
        CollectRights(machine.registry.Root(root), RootName(root), ini);
    }
    ini += L"\r\n[files]\r\n";
    for (const std::wstring& path : machine.ListPaths()) {
        const auto it = machine.Files().find(FoldCase(
            path.size() > 3 && path.back() == L'\\' ? path.substr(0, path.size() - 1) : path));
        if (it == machine.Files().end()) {
            continue;
        }
        if (it->second.reparseTag != 0) {
            ini += path + L" = " +
                   FileKindText(kErrorSuccess, it->second.reparseTag, it->second.linkTarget) +
                   L"\r\n";
        }
        if (it->second.denied) {
            ini += path + L" = denied\r\n";
        }
    }
    for (const auto& [key, failure] : machine.LookFailures()) {
        ini += failure.path + L" = " + FileKindText(failure.error, 0, L"") + L"\r\n";
    }
    if (!WriteUtf8(dir / "machine.ini", ini)) {
        error = Where(dir / "machine.ini", 0) + "cannot be written";
        return false;
    }

    std::vector<std::uint8_t> reg = {0xFF, 0xFE};
    std::vector<std::uint8_t> body = ToUtf16LeBytes(ExportWholeRegistry(machine.registry));
    reg.insert(reg.end(), body.begin(), body.end());
    if (!WriteWhole(dir / "registry.reg", reg)) {
        error = Where(dir / "registry.reg", 0) + "cannot be written";
        return false;
    }

    // The data folder's contents go to appdata/, byte for byte; everything else is listed.
    const std::wstring dataFolder =
        FoldCase(machine.appDataFolder + L"\\" + FromUtf8(kDataSubfolder));
    const fs::path appdata = dir / "appdata";
    fs::remove_all(appdata, ec);
    std::wstring list = L"# Files and folders of the simulated machine\r\n";
    for (const std::wstring& path : machine.ListPaths()) {
        std::wstring folded = FoldCase(path);
        bool inData = folded.size() > dataFolder.size() + 1 &&
                      folded.compare(0, dataFolder.size() + 1, dataFolder + L"\\") == 0;
        if (!inData) {
            list += path + L"\r\n";
            continue;
        }
        std::wstring relative = path.substr(dataFolder.size() + 1);
        fs::path target = appdata;
        std::size_t start = 0;
        while (start < relative.size()) {
            std::size_t end = relative.find(L'\\', start);
            if (end == std::wstring::npos) {
                end = relative.size();
            }
            if (end > start) {
                target /= PathFrom(relative.substr(start, end - start));
            }
            start = end + 1;
        }
        if (relative.back() == L'\\') {
            fs::create_directories(target, ec);
            continue;
        }
        fs::create_directories(target.parent_path(), ec);
        const std::vector<std::uint8_t>* contents = machine.FileContents(path);
        if (!WriteWhole(target, contents ? *contents : std::vector<std::uint8_t>{})) {
            error = Where(target, 0) + "cannot be written";
            return false;
        }
    }
    if (!WriteUtf8(dir / "files.txt", list)) {
        error = Where(dir / "files.txt", 0) + "cannot be written";
        return false;
    }
    return true;
}

}  // namespace

bool LoadMachineDirectory(const fs::path& dir, Machine& machine, std::string& error) {
    try {
        return LoadAll(dir, machine, error);
    } catch (const std::exception& e) {
        error = Where(dir, 0) + e.what();
    } catch (...) {
        error = Where(dir, 0) + "cannot be loaded";
    }
    return false;
}

bool SaveMachineDirectory(const Machine& machine, const fs::path& dir, std::string& error) {
    try {
        return SaveAll(machine, dir, error);
    } catch (const std::exception& e) {
        error = Where(dir, 0) + e.what();
    } catch (...) {
        error = Where(dir, 0) + "cannot be saved";
    }
    return false;
}

}  // namespace bv::sim
