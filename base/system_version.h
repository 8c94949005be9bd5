// The Windows the program runs on. It is read once, when the entry first asks
// for it, and every later question is answered from that one record.
#ifndef BASE_SYSTEM_VERSION_H
#define BASE_SYSTEM_VERSION_H

#include <windows.h>

// The version as GetVersionExA gave it at the first call; all zero when the
// system did not answer.
const OSVERSIONINFOA &SystemVersion(void);

// 1 on the NT family, 0 on Windows 9x (and when the version is unknown).
inline int IsNtPlatform(void)
{
    return SystemVersion().dwPlatformId == VER_PLATFORM_WIN32_NT;
}

// The NT family from Windows 2000 (NT 5) on.
inline int IsNt5OrLater(void)
{
    return IsNtPlatform() && SystemVersion().dwMajorVersion >= 5;
}

#endif
