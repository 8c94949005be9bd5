// The one reading of the Windows version (see system_version.h).
#include "base/system_version.h"

const OSVERSIONINFOA &SystemVersion(void)
{
    static OSVERSIONINFOA version;
    static int read;
    if (!read) {
        read = 1;
        ZeroMemory(&version, sizeof(version));
        version.dwOSVersionInfoSize = sizeof(version);
        if (!GetVersionExA(&version))
            ZeroMemory(&version, sizeof(version));
    }
    return version;
}
