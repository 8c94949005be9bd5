// Program entry: launch mode or the setup run.
#include "driver/setup_driver.h"

#include "base/ansi_path.h"
#include "base/startup_state.h"
#include "base/system_library.h"

extern "C" int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR commandLine, int)
{
    g_startup.instance = instance;
    return RunCommandLine(commandLine);
}

// The process starts here rather than in the C runtime's start-up code: the
// program needs none of it (no global constructors, no argv, no stdio), and
// leaving it out keeps the download small. msvcrt.dll sets itself up when it
// loads. The command-line text handed to WinMain is what Windows passes: the
// text after the program name and the blanks behind it.
namespace {

char *SkipProgramName(char *commandLine)
{
    char *position = commandLine;
    if (*position == '"') {
        ++position;
        while (*position && *position != '"')
            ++position;
        if (*position)
            ++position;
    } else {
        while ((unsigned char)*position > ' ')
            ++position;
    }
    while (*position && (unsigned char)*position <= ' ')
        ++position;
    return position;
}

} // namespace

extern "C" void WINAPI SetupEntry(void)
{
    // Before anything that may load a DLL.
    RestrictDllSearch();
    ExitProcess((UINT)WinMain(GetModuleHandleA(0), 0, SkipProgramName(ReadCommandLine()),
                              SW_SHOWDEFAULT));
}
