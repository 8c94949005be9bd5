// Started by the conversion tests with a Windows version chosen for it. Its
// exit code tells what Utf8ToAnsi did: 1 = converted before "unicows.dll" was
// loaded, 2 = converted after, 4 = the platform reported itself as 9x.
#include "xml/xml.h"

#include <windows.h>

static int Converts()
{
    char out[16];
    uint32_t size = sizeof(out);
    return Utf8ToAnsi("abc", out, &size) && lstrcmpA(out, "abc") == 0;
}

int main()
{
    OSVERSIONINFOA version;
    ZeroMemory(&version, sizeof(version));
    version.dwOSVersionInfoSize = sizeof(version);
    GetVersionExA(&version);
    int result = version.dwPlatformId == VER_PLATFORM_WIN32_WINDOWS ? 4 : 0;
    if (Converts())
        result |= 1;
    if (!LoadLibraryA("unicows.dll"))
        return 100;
    if (Converts())
        result |= 2;
    return result;
}
