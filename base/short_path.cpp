// Kept in a file of its own so that tests can link a replacement for a
// volume that makes no short names, which Wine cannot show.
#include "base/ansi_path.h"

DWORD ReadShortPath(const wchar_t *path, wchar_t *shortPath)
{
    return GetShortPathNameW(path, shortPath, MAX_PATH);
}
