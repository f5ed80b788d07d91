// rawwalk: the floor a scan is measured against. It reads what a scan reads -- each key opened
// once, its names listed once, each examined value read once, each named file tested once --
// through the platform seam and nothing else, and prints how long that took.
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

#include "platform/Platform.h"
#include "platform/Utf16.h"

#ifndef _WIN32
#include <filesystem>

#include "platform/sim/MachineDirectory.h"
#include "platform/sim/SimMachine.h"
#endif

namespace bv {
namespace {

namespace pf = platform;

constexpr std::uint32_t kReadMask = 0x20119;  // KEY_READ in the 64-bit view, as the scan asks

struct Counts {
    std::uint64_t opens = 0, names = 0, reads = 0, tests = 0;
};
Counts g_counts;

// An open key, closed when it goes.
class Key {
  public:
    Key() = default;
    Key(pf::HKey parent, std::wstring_view sub) {
        const std::wstring name(sub.size() && sub.front() == L'\\' ? sub.substr(1) : sub);
        ++g_counts.opens;
        pf::HKey h = 0;
        if (pf::RegOpenKeyEx(parent, name.c_str(), 0, kReadMask, &h) == pf::kErrorSuccess) {
            handle_ = h;
        }
    }
    ~Key() {
        if (handle_ != 0) {
            pf::RegCloseKey(handle_);
        }
    }
    Key(const Key&) = delete;
    Key& operator=(const Key&) = delete;
    explicit operator bool() const { return handle_ != 0; }
    pf::HKey Get() const { return handle_; }

  private:
    pf::HKey handle_ = 0;
};

pf::HKey Root(std::uint32_t root) {
    return pf::PredefinedKey(root);
}

struct Listing {
    std::vector<std::wstring> subkeys;
    std::vector<std::wstring> values;
    std::vector<std::uint32_t> types;
};

// One information query, then every subkey name and/or value name once.
void List(const Key& key, Listing& out, bool subkeys, bool values) {
    out.subkeys.clear();
    out.values.clear();
    out.types.clear();
    if (!key) {
        return;
    }
    std::uint32_t nSub = 0, maxSub = 0, nVal = 0, maxVal = 0, maxData = 0;
    if (pf::RegQueryInfoKey(key.Get(), &nSub, &maxSub, &nVal, &maxVal, &maxData) !=
        pf::kErrorSuccess) {
        return;
    }
    std::vector<wchar_t> buffer(std::max(maxSub, maxVal) + 1);
    for (std::uint32_t i = 0; subkeys && i < nSub; ++i) {
        std::uint32_t len = static_cast<std::uint32_t>(buffer.size());
        if (pf::RegEnumKeyEx(key.Get(), i, buffer.data(), &len) != pf::kErrorSuccess) {
            break;
        }
        ++g_counts.names;
        out.subkeys.emplace_back(buffer.data(), len);
    }
    for (std::uint32_t i = 0; values && i < nVal; ++i) {
        std::uint32_t len = static_cast<std::uint32_t>(buffer.size());
        std::uint32_t type = 0;
        if (pf::RegEnumValue(key.Get(), i, buffer.data(), &len, &type) != pf::kErrorSuccess) {
            break;
        }
        ++g_counts.names;
        out.values.emplace_back(buffer.data(), len);
        out.types.push_back(type);
    }
}

// One read into a buffer that fits what the registry normally holds; a larger value costs
// one more read.
std::wstring Read(const Key& key, const std::wstring& name, std::uint32_t* typeOut = nullptr) {
    if (!key) {
        return {};
    }
    ++g_counts.reads;
    std::uint8_t stack[2048];
    std::vector<std::uint8_t> heap;
    std::uint8_t* data = stack;
    std::uint32_t size = sizeof(stack);
    std::uint32_t type = 0;
    pf::Status status = pf::RegQueryValueEx(key.Get(), name.c_str(), &type, data, &size);
    if (status == pf::kErrorMoreData) {
        heap.resize(size);
        data = heap.data();
        status = pf::RegQueryValueEx(key.Get(), name.c_str(), &type, data, &size);
    }
    if (status != pf::kErrorSuccess) {
        return {};
    }
    if (typeOut != nullptr) {
        *typeOut = type;
    }
    if (type != pf::kRegSz && type != pf::kRegExpandSz) {
        return {};
    }
    std::wstring text = FromUtf16LeBytes(data, size);
    const std::size_t nul = text.find(L'\0');
    if (nul != std::wstring::npos) {
        text.resize(nul);
    }
    return text;
}

bool Exists(std::uint32_t root, const std::wstring& path) {
    return static_cast<bool>(Key(Root(root), path));
}

// The file a command or reference names: the quoted part, else up to the first comma or
// switch.
std::wstring FilePart(std::wstring_view text) {
    if (!text.empty() && text.front() == L'"') {
        const std::size_t end = text.find(L'"', 1);
        return std::wstring(text.substr(1, end == std::wstring_view::npos ? text.npos : end - 1));
    }
    std::size_t end = text.find_first_of(L",");
    const std::size_t sw = text.find(L" /");
    end = std::min(end, sw);
    return std::wstring(text.substr(0, end));
}

void Test(const std::wstring& path) {
    if (path.empty()) {
        return;
    }
    ++g_counts.tests;
    pf::Status error = 0;
    pf::GetFileAttributes(path, &error);
}

// The unnamed value of a subkey of an open key, and the file it names.
void ReadAndTest(const Key& parent, const std::wstring& sub, bool test = true) {
    const Key key(parent.Get(), sub);
    const std::wstring data = Read(key, L"");
    if (test) {
        Test(FilePart(data));
    }
}

// Whether the tree holds a value anywhere; stops at the first one, as the scan does.
bool TreeHasValues(const Key& key, int depth) {
    if (!key || depth > 512) {
        return false;
    }
    Listing l;
    std::uint32_t nSub = 0, maxSub = 0, nVal = 0, maxVal = 0, maxData = 0;
    if (pf::RegQueryInfoKey(key.Get(), &nSub, &maxSub, &nVal, &maxVal, &maxData) !=
            pf::kErrorSuccess ||
        nVal > 0) {
        return nVal > 0;
    }
    List(key, l, true, false);
    for (const std::wstring& name : l.subkeys) {
        if (TreeHasValues(Key(key.Get(), name), depth + 1)) {
            return true;
        }
    }
    return false;
}

constexpr std::uint32_t kCR = pf::kHkeyClassesRoot;
constexpr std::uint32_t kCU = pf::kHkeyCurrentUser;
constexpr std::uint32_t kLM = pf::kHkeyLocalMachine;
const std::wstring kCV = L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion";

void AppPathsAndApplications() {
    Listing l;
    const Key appPaths(Root(kLM), kCV + L"\\App Paths");
    List(appPaths, l, true, false);
    for (const std::wstring& name : l.subkeys) {
        ReadAndTest(appPaths, name);
    }
    const Key store(Root(kCU),
                    L"SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\AppCompatFlags\\"
                    L"Compatibility Assistant\\Store");
    List(store, l, false, true);
    for (const std::wstring& name : l.values) {
        Test(name);
    }
    const Key apps(Root(kCR), L"Applications");
    List(apps, l, true, false);
    for (const std::wstring& name : l.subkeys) {
        ReadAndTest(apps, name + L"\\shell\\open\\command");
        ReadAndTest(apps, name + L"\\shell\\edit\\command");
    }
}

// A value list whose names (or data) name files.
void ValueList(const std::wstring& path, bool readData) {
    Listing l;
    const Key key(Root(kLM), path);
    List(key, l, false, true);
    for (const std::wstring& name : l.values) {
        if (readData) {
            Read(key, name);
        }
        Test(name);
    }
}

void FileExtsAndClassKeys() {
    Listing l;
    const Key fileExts(Root(kCU),
                       L"Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\FileExts");
    List(fileExts, l, true, false);
    for (const std::wstring& name : l.subkeys) {
        TreeHasValues(Key(fileExts.Get(), name), 0);
    }
    List(Key(Root(kCR), L""), l, true, false);
    for (const std::wstring& name : l.subkeys) {
        const Key key(Root(kCR), name);
        TreeHasValues(key, 0);
        if (name.find(L'.') == std::wstring::npos) {
            continue;
        }
        ReadAndTest(key, L"DefaultIcon");
        if (name[0] == L'.') {
            const std::wstring cls = Read(key, L"");
            if (!cls.empty()) {
                Exists(kCR, cls);
            }
        }
        {
            const Key clsid(key.Get(), L"CLSID");
            const std::wstring id = Read(clsid, L"");
            if (!id.empty()) {
                Exists(kCR, L"CLSID\\" + id);
            }
        }
        ReadAndTest(key, L"shell\\open\\command");
        ReadAndTest(key, L"shell\\edit\\command");
    }
}

void ComClasses() {
    Listing l;
    const Key clsidRoot(Root(kCR), L"CLSID");
    List(clsidRoot, l, true, false);
    for (const std::wstring& name : l.subkeys) {
        const Key cls(clsidRoot.Get(), name);
        const std::wstring appId = Read(cls, L"AppId");
        if (!appId.empty()) {
            Exists(kCR, L"AppID\\" + appId);
        }
        const std::wstring lib = Read(Key(cls.Get(), L"TypeLib"), L"");
        if (!lib.empty()) {
            Exists(kCR, L"TypeLib\\" + lib);
        }
        ReadAndTest(cls, L"InprocServer32");
        ReadAndTest(cls, L"LocalServer32");
        ReadAndTest(cls, L"ToolboxBitmap32", false);
    }
}

void InterfacesAndTypeLibraries() {
    Listing l;
    const Key interfaces(Root(kCR), L"Interface");
    List(interfaces, l, true, false);
    for (const std::wstring& name : l.subkeys) {
        const Key itf(interfaces.Get(), name);
        const std::wstring lib = Read(Key(itf.Get(), L"TypeLib"), L"");
        if (!lib.empty()) {
            Exists(kCR, L"TypeLib\\" + lib);
        }
        for (const wchar_t* sub : {L"ProxyStubClsid", L"ProxyStubClsid32"}) {
            const std::wstring id = Read(Key(itf.Get(), sub), L"");
            if (!id.empty()) {
                Exists(kCR, L"CLSID\\" + id);
            }
        }
    }
    const Key libs(Root(kCR), L"TypeLib");
    List(libs, l, true, false);
    Listing versions;
    for (const std::wstring& name : l.subkeys) {
        const Key lib(libs.Get(), name);
        List(lib, versions, true, false);
        if (versions.subkeys.empty()) {
            continue;
        }
        ReadAndTest(lib, versions.subkeys.front() + L"\\0\\win32");
        ReadAndTest(lib, versions.subkeys.front() + L"\\0\\win64");
    }
}

void StartupAndUninstall() {
    Listing l;
    for (std::uint32_t root : {kCU, kLM}) {
        const Key run(Root(root), kCV + L"\\Run");
        List(run, l, false, true);
        for (const std::wstring& name : l.values) {
            Test(FilePart(Read(run, name)));
        }
    }
    const Key startup(Root(kLM), L"SOFTWARE\\Microsoft\\Shared Tools\\MSConfig\\startupreg");
    List(startup, l, true, false);
    for (const std::wstring& name : l.subkeys) {
        Test(FilePart(Read(Key(startup.Get(), name), L"command")));
    }
    const std::pair<std::uint32_t, std::wstring> lists[] = {
        {kLM, kCV + L"\\Uninstall"},
        {kCU, kCV + L"\\Uninstall"},
        {kLM, L"SOFTWARE\\Wow6432Node\\Microsoft\\Windows\\CurrentVersion\\Uninstall"},
    };
    for (const auto& [root, path] : lists) {
        const Key uninstall(Root(root), path);
        List(uninstall, l, true, false);
        for (const std::wstring& name : l.subkeys) {
            if (name.find_first_of(L"{}") != std::wstring::npos) {
                continue;
            }
            const Key entry(uninstall.Get(), name);
            for (const wchar_t* value :
                 {L"NoRemove", L"SystemComponent", L"UninstallString", L"QuietUninstallString"}) {
                Read(entry, value);
            }
        }
    }
}

void FileListsAndSounds() {
    ValueList(L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\SharedDLLs", false);
    ValueList(L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Installer\\Folders", false);
    ValueList(L"SOFTWARE\\Microsoft\\Windows\\HTML Help", true);
    ValueList(L"SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Fonts", true);
    Listing l;
    const Key events(Root(kCU), L"AppEvents\\Schemes\\Apps\\.Default");
    List(events, l, true, false);
    for (const std::wstring& name : l.subkeys) {
        ReadAndTest(events, name + L"\\.Current");
        ReadAndTest(events, name + L"\\.Default");
    }
}

void MruLists() {
    static const wchar_t* const kPaths[] = {L"Explorer\\RunMRU",
                                            L"Explorer\\StreamMRU",
                                            L"Explorer\\Doc Find Spec MRU",
                                            L"Explorer\\FindComputerMRU",
                                            L"Explorer\\ComDlg32\\LastVisitedMRU",
                                            L"Explorer\\ComDlg32\\OpenSaveMRU",
                                            L"Explorer\\ComDlg32\\OpenSaveMRU\\*",
                                            L"Applets\\Regedit",
                                            L"Applets\\Paint\\Recent File List",
                                            L"Applets\\Wordpad\\Recent File List"};
    static const wchar_t* const kOther[] = {
        L"SOFTWARE\\Microsoft\\Search Assistant\\ACMru\\5603",
        L"SOFTWARE\\Microsoft\\Search Assistant\\ACMru\\5604",
        L"SOFTWARE\\Microsoft\\Search Assistant\\ACMru\\5647",
        L"SOFTWARE\\Microsoft\\Internet Explorer\\TypedURLs",
        L"SOFTWARE\\Microsoft\\MediaPlayer\\Player\\RecentFileList",
        L"SOFTWARE\\Gabest\\Media Player Classic\\Recent File List"};
    std::vector<std::wstring> paths;
    for (const wchar_t* p : kPaths) {
        paths.push_back(kCV + L"\\" + p);
    }
    for (const wchar_t* p : kOther) {
        paths.emplace_back(p);
    }
    const std::wstring recent = kCV + L"\\Explorer\\RecentDocs";
    paths.push_back(recent);
    Listing l;
    {
        const Key recentKey(Root(kCU), recent);
        List(recentKey, l, true, false);
        for (const std::wstring& name : l.subkeys) {
            paths.push_back(recent + L"\\" + name);
        }
    }
    for (const std::wstring& path : paths) {
        const Key key(Root(kCU), path);
        List(key, l, false, true);
        for (const std::wstring& name : l.values) {
            Read(key, name);
        }
    }
}

bool Skipped(std::wstring_view path) {
    static const wchar_t* const kWords[] = {L"MICROSOFT", L"CLASSES", L"POLICIES", L"SYNC", L"AUTO",
                                            L"KASPERSKY", L"MCAFEE",  L"HEWLETT",  L"DELL", L"ATI"};
    std::wstring upper(path);
    for (wchar_t& c : upper) {
        if (c >= L'a' && c <= L'z') {
            c = static_cast<wchar_t>(c - L'a' + L'A');
        }
    }
    for (const wchar_t* word : kWords) {
        if (upper.find(word) != std::wstring::npos) {
            return true;
        }
    }
    return false;
}

// Every key of the tree outside the skipped branches; string values that look like a path on
// drive C name a file to test.
void StrayWalk(const Key& key, const std::wstring& path, int depth) {
    if (!key || depth > 512) {
        return;
    }
    Listing l;
    List(key, l, true, true);
    for (std::size_t i = 0; i < l.values.size(); ++i) {
        if (l.types[i] != pf::kRegSz && l.types[i] != pf::kRegExpandSz) {
            continue;
        }
        const std::wstring data = Read(key, l.values[i]);
        if (data.size() >= 5 && data.find(L":\\") != std::wstring::npos &&
            data.find_first_of(L"~$/^|") == std::wstring::npos) {
            Test(data);
        }
    }
    for (const std::wstring& name : l.subkeys) {
        const std::wstring child = path + L"\\" + name;
        if (!Skipped(child)) {
            StrayWalk(Key(key.Get(), name), child, depth + 1);
        }
    }
}

void Walk() {
    AppPathsAndApplications();
    ValueList(L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\SharedDLLs", false);
    FileExtsAndClassKeys();
    ComClasses();
    InterfacesAndTypeLibraries();
    StartupAndUninstall();
    FileListsAndSounds();
    MruLists();
    StrayWalk(Key(Root(kCU), L"SOFTWARE"), L"\\SOFTWARE", 0);
    StrayWalk(Key(Root(kLM), L"SOFTWARE"), L"\\SOFTWARE", 0);
}

}  // namespace
}  // namespace bv

int main(int argc, char** argv) {
#ifndef _WIN32
    bv::sim::Machine machine;
    if (argc != 3 || std::string(argv[1]) != "--machine") {
        std::fprintf(stderr, "usage: rawwalk --machine DIR\n");
        return 2;
    }
    const auto loadStart = std::chrono::steady_clock::now();
    std::string error;
    if (!bv::sim::LoadMachineDirectory(std::filesystem::path(argv[2]), machine, error)) {
        std::fprintf(stderr, "rawwalk: %s\n", error.c_str());
        return 2;
    }
    bv::sim::Machine::Install(&machine);
    const double loadMs =
        std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - loadStart)
            .count();
#else
    if (argc != 1 || argv[0] == nullptr) {
        std::fprintf(stderr, "usage: rawwalk (walks the live registry)\n");
        return 2;
    }
    const double loadMs = 0;
#endif
    const auto start = std::chrono::steady_clock::now();
    bv::Walk();
    const double ms =
        std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
    std::printf("load_ms=%.1f walk_ms=%.1f opens=%llu names=%llu reads=%llu tests=%llu\n", loadMs,
                ms, static_cast<unsigned long long>(bv::g_counts.opens),
                static_cast<unsigned long long>(bv::g_counts.names),
                static_cast<unsigned long long>(bv::g_counts.reads),
                static_cast<unsigned long long>(bv::g_counts.tests));
#ifndef _WIN32
    bv::sim::Machine::Install(nullptr);
#endif
    return 0;
}
