// Fuzz target: turning registry text into a file reference, and the file tests behind it.
#include <cstddef>
#include <cstdint>

#include "fuzz/FuzzSupport.h"
#include "platform/sim/SimMachine.h"
#include "sysaccess/EnvironmentSnapshot.h"
#include "sysaccess/FileReference.h"

namespace {

struct World {
    bv::sim::Machine machine;
    bv::EnvironmentSnapshot env;

    World() {
        bv::sim::Machine::Install(&machine);
        machine.SetEnvironment(L"PATH", L"C:\\Windows\\system32;C:\\Windows;C:\\Tools;;%X%");
        machine.SetEnvironment(L"SystemRoot", L"C:\\Windows");
        machine.AddFile(L"C:\\Windows\\system32\\ok.dll");
        machine.AddFile(L"C:\\Windows\\notepad.exe");
        machine.AddFile(L"C:\\Program Files\\App\\app.exe");
        machine.AddFile(L"C:\\Tools\\a b.exe");
        machine.AddFolder(L"C:\\Empty");
        machine.DenyAccess(L"C:\\Secret\\x.exe");
        env = bv::GatherEnvironmentSnapshot();
    }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static World world;
    const std::wstring text = bv::fuzz::WideFromBytes(data, size);

    const std::wstring ref = bv::ExtractFileReference(text, world.env);
    bv::FileReferenceExists(text, world.env);
    bv::FileReferenceExists(ref, world.env);
    bv::FileExists(ref);
    bv::DirectoryExists(ref);
    bv::ExpandFolderVariables(text, world.env);

    const std::wstring name = bv::ExtractFileName(text);
    BV_FUZZ_CHECK(name.size() <= text.size());
    BV_FUZZ_CHECK(text.compare(text.size() - name.size(), name.size(), name) == 0);
    BV_FUZZ_CHECK(name.find_first_of(L"\\:") == std::wstring::npos);

    std::size_t slashes = 0;
    for (wchar_t c : text) {
        slashes += c == L'\\' ? 1 : 0;
    }
    BV_FUZZ_CHECK(bv::EscapeRegText(text).size() == text.size() + slashes);
    BV_FUZZ_CHECK(bv::UpperAscii(text).size() == text.size());
    return 0;
}
