// The platform family, as the phases ask for it.
#ifndef BASE_SYSTEM_VERSION_H
#define BASE_SYSTEM_VERSION_H

#include <windows.h>

// Fills `version` (cleared first); 0 when the system does not answer.
inline int QueryVersion(OSVERSIONINFOA *version)
{
    ZeroMemory(version, sizeof(*version));
    version->dwOSVersionInfoSize = sizeof(*version);
    return GetVersionExA(version) != 0;
}

// 1 on the NT family, 0 on Windows 9x (and when the version is unknown).
inline int IsNtPlatform(void)
{
    OSVERSIONINFOA version;
    return QueryVersion(&version) && version.dwPlatformId == VER_PLATFORM_WIN32_NT;
}

#endif
