// Final paths of open handles; see final_path.h.
#include "base/final_path.h"

#include "base/format.h"
#include "base/system_entry.h"

#include <string.h>

namespace {

typedef DWORD(WINAPI *FinalPathFn)(HANDLE, LPSTR, DWORD, DWORD);
typedef DWORD(WINAPI *LongPathFn)(LPCSTR, LPSTR, DWORD);

FinalPathFn FinalPathEntry(void)
{
    return (FinalPathFn)LookupSystemEntry("kernel32.dll", "GetFinalPathNameByHandleA");
}

int StartsWith(const char *text, const char *prefix)
{
    return _strnicmp(text, prefix, strlen(prefix)) == 0;
}

// `path` in full and in long names, as a final path spells it.
int SpellOut(const char *path, char *spelled)
{
    LongPathFn longPath = (LongPathFn)LookupSystemEntry("kernel32.dll", "GetLongPathNameA");
    char full[MAX_PATH];
    DWORD length = GetFullPathNameA(path, MAX_PATH, full, 0);
    if (!longPath || length == 0 || length >= MAX_PATH)
        return 0;
    length = longPath(full, spelled, MAX_PATH);
    if (length == 0 || length >= MAX_PATH)
        return 0;
    DropTrailingBackslashes(spelled);
    return 1;
}

} // namespace

size_t RootLength(const char *path)
{
    if (path[0] && path[1] == ':' && path[2] == '\\')
        return 3;
    if (!StartsWith(path, "\\\\"))
        return 0;
    const char *share = strchr(path + 2, '\\');
    if (!share)
        return 0;
    const char *end = strchr(share + 1, '\\');
    return end ? (size_t)(end - path) : strlen(path);
}

void DropTrailingBackslashes(char *path)
{
    size_t root = RootLength(path);
    for (size_t length = strlen(path); length > root && path[length - 1] == '\\';)
        path[--length] = 0;
}

int DropDevicePrefix(const char *path, char *plain)
{
    int device = StartsWith(path, "\\\\?\\") || StartsWith(path, "\\\\.\\") ||
                 StartsWith(path, "\\??\\");
    const char *rest = device ? path + 4 : path;
    int network = device && StartsWith(rest, "UNC\\");
    char drive = (char)(rest[0] | 0x20);
    if (device && !network &&
        (drive < 'a' || drive > 'z' || rest[1] != ':' || (rest[2] && rest[2] != '\\')))
        return 0;
    return FormatText(plain, MAX_PATH, "%s%s%s", network ? "\\\\" : "", network ? rest + 4 : rest,
                      device && !network && !rest[2] ? "\\" : "");
}

int CanTellFinalPaths(void)
{
    return FinalPathEntry() != 0;
}

int FinalPathOf(HANDLE place, char *path)
{
    FinalPathFn finalPath = FinalPathEntry();
    char final[MAX_PATH];
    DWORD length = finalPath ? finalPath(place, final, MAX_PATH, 0) : 0;
    char plain[MAX_PATH];
    if (length == 0 || length >= MAX_PATH || !DropDevicePrefix(final, plain))
        return 0;
    DropTrailingBackslashes(plain);
    lstrcpyA(path, plain);
    return 1;
}

int IsOpenWhereNamed(HANDLE held, const char *named, char *spelled)
{
    char final[MAX_PATH];
    if (!FinalPathOf(held, final))
        return !CanTellFinalPaths();
    if (!spelled[0] && !SpellOut(named, spelled)) {
        spelled[0] = 0;
        return 0;
    }
    return lstrcmpiA(final, spelled) == 0;
}
