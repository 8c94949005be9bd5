// Linked into a test build of setup.exe only: under Wine every token is a full
// administrator, so these stand-ins make the elevation path run for real. The
// first copy lacks the rights and holds a filtered token; the copy that it
// starts with "runas" has them. Each rights check appends the process id and
// the switches to a trace file. When C:\ze2e\swapped.exe exists, the elevated
// copy finds that file under its own name, as if the program's file had been
// swapped after the elevation prompt.
#include "base/ansi_path.h"
#include "driver/setup_driver.h"
#include "source/setup_source.h"
#include "registry/registry.h"

#include <stdio.h>
#include <string.h>

namespace {

const char *Switches(void)
{
    const char *switches = GetCommandLineA();
    switches = *switches == '"' ? strchr(switches + 1, '"') + 1 : strchr(switches, ' ');
    while (switches && *switches == ' ')
        ++switches;
    return switches;
}

} // namespace

int ReadProgramPath(char *path)
{
    const char *swapped = "C:\\ze2e\\swapped.exe";
    if (IsElevatedCopy(Switches()) && GetFileAttributesA(swapped) != INVALID_FILE_ATTRIBUTES)
        return lstrlenA(lstrcpyA(path, swapped));
    return ReadProgramFile(path);
}

int IsAdministrator(void)
{
    const char *switches = Switches();
    FILE *trace = fopen("C:\\ze2e\\elevation.trace", "ab");
    if (trace) {
        fprintf(trace, "%lu %s\n", GetCurrentProcessId(), switches ? switches : "");
        fclose(trace);
    }
    return IsElevatedCopy(switches);
}

int QueryElevationType(void)
{
    return ELEVATION_LIMITED;
}
