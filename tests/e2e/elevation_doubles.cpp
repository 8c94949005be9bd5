// Linked into a test build of setup.exe only: under Wine every token is a full
// administrator, so these stand-ins make the elevation path run for real. The
// first copy lacks the rights and holds a filtered token; the copy that it
// starts with "runas" has them. Each rights check is traced to a file.
#include "driver/setup_driver.h"
#include "registry/registry.h"

#include <stdio.h>

const char kElevationTrace[] = "C:\\ze2e\\elevation.trace";

int IsAdministrator(void)
{
    const char *commandLine = GetCommandLineA();
    FILE *trace = fopen(kElevationTrace, "ab");
    if (trace) {
        fprintf(trace, "%lu %s\n", GetCurrentProcessId(), commandLine);
        fclose(trace);
    }
    return IsElevatedCopy(commandLine);
}

int QueryElevationType(void)
{
    return ELEVATION_LIMITED;
}
