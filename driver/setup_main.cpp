// Program entry: launch mode or the setup run.
#include "driver/setup_driver.h"

#include "base/startup_state.h"
#include "base/system_version.h"

namespace {

// A setup program usually starts from a downloads folder, where other
// software may have left DLLs; limit the search for DLLs loaded from now on to
// the system folder where the system can. Windows Vista is left out: its
// shell link object then fails to create. Windows 9x has no such setting and
// loads the Unicode layer from beside the program.
void RestrictDllSearch(const OSVERSIONINFOA &version)
{
    if (version.dwPlatformId != VER_PLATFORM_WIN32_NT ||
        (version.dwMajorVersion == 6 && version.dwMinorVersion == 0))
        return;
    typedef BOOL(WINAPI * SetDllDirectoriesFn)(DWORD);
    HMODULE kernel = GetModuleHandleA("kernel32.dll");
    SetDllDirectoriesFn restrict =
        kernel ? (SetDllDirectoriesFn)(void *)GetProcAddress(kernel, "SetDefaultDllDirectories")
               : 0;
    if (restrict)
        restrict(0x800);  // LOAD_LIBRARY_SEARCH_SYSTEM32
}

} // namespace

extern "C" int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR commandLine, int)
{
    // The version is read here, once, for the whole run.
    RestrictDllSearch(SystemVersion());
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
    ExitProcess((UINT)WinMain(GetModuleHandleA(0), 0, SkipProgramName(GetCommandLineA()),
                              SW_SHOWDEFAULT));
}
