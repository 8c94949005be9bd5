// Linked into a test build of setup.exe only: a volume that makes no short
// names, which Wine cannot show (it makes one for every long name). There
// GetShortPathNameW hands back the long path itself.
#include "base/ansi_path.h"

DWORD ReadShortPath(const wchar_t *path, wchar_t *shortPath)
{
    DWORD length = (DWORD)lstrlenW(path);
    if (length < MAX_PATH)
        lstrcpyW(shortPath, path);
    return length;
}
