// Linked into a test build of setup.exe only: under Wine every token is a full
// administrator, so these stand-ins make the elevation path run for real. The
// first copy lacks the rights and holds a filtered token; the copy that it
// starts with "runas" has them. Each rights check appends the process id and
// the switches to a trace file.
#include "driver/setup_driver.h"
#include "registry/registry.h"

#include <stdio.h>
#include <string.h>

int IsAdministrator(void)
{
    const char *switches = GetCommandLineA();
    switches = *switches == '"' ? strchr(switches + 1, '"') + 1 : strchr(switches, ' ');
    while (switches && *switches == ' ')
        ++switches;
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
