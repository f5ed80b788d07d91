// Tests of the registry editor runner: the program it starts, its command line and flags.
#include "sysaccess/RegistryEditor.h"

#include <gtest/gtest.h>

#include <string>

#include "platform/sim/SimMachine.h"
#include "sysaccess/EnvironmentSnapshot.h"

namespace bv {
namespace {

TEST(RegistryEditorTest, RunsRegeditFromTheWindowsFolderWithALeadingSpace) {
    struct Case {
        const wchar_t* arguments;
        const wchar_t* commandLine;
    };
    const Case cases[] = {
        {L"/s \"C:\\Data\\none.reg\"", L" /s \"C:\\Data\\none.reg\""},
        {L" /s \"C:\\Data\\none.reg\"", L" /s \"C:\\Data\\none.reg\""},
        {L"", L""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::PrintToString(std::wstring(c.arguments)));
        sim::Machine machine;
        sim::ScopedMachine use(machine);
        EnvironmentSnapshot env;
        env.WindowsFolder = L"D:\\WinNT\\";
        RunRegistryEditor(c.arguments, env);
        ASSERT_EQ(machine.processes.size(), 1u);
        EXPECT_EQ(machine.processes[0].application, L"D:\\WinNT\\regedit.exe");
        EXPECT_EQ(machine.processes[0].commandLine, c.commandLine);
        EXPECT_EQ(machine.processes[0].creationFlags, 0x88u);
    }
}

}  // namespace
}  // namespace bv
