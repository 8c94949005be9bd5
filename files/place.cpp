// Places on disk compared by what they are, not by how they are spelled: an
// 8.3 name, another letter case, a device prefix, a share of this machine or
// a link all name the same place as the plain long path. A share is known by
// its identity alone: one that cannot be reached cannot be written to either.
#include "files/files.h"

#include "base/format.h"
#include "base/system_entry.h"
#include "base/system_version.h"

#include <string.h>

namespace {

typedef DWORD(WINAPI *LongPathFn)(LPCSTR, LPSTR, DWORD);
typedef DWORD(WINAPI *FinalPathFn)(HANDLE, LPSTR, DWORD, DWORD);

int StartsWith(const char *text, const char *prefix)
{
    return _strnicmp(text, prefix, strlen(prefix)) == 0;
}

// "\\?\", "\\.\" and "\??\" before a drive path or "UNC\" name the plain
// path. Any other device path ("\\.\PhysicalDrive0") is no place of files.
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

// The length of the root that a path cannot be cut above: "C:\" or
// "\\server\share"; 0 when there is none.
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

// The long form of the part of `path` that exists, with the rest as it is.
void ExpandShortNames(char *path)
{
    LongPathFn longPath = (LongPathFn)LookupSystemEntry("kernel32.dll", "GetLongPathNameA");
    if (!longPath)
        return;  // Windows 95 and NT 4.0: names stay as written
    char head[MAX_PATH];
    lstrcpyA(head, path);
    for (size_t root = RootLength(head);;) {
        char expanded[MAX_PATH];
        DWORD length = longPath(head, expanded, MAX_PATH);
        if (length > 0 && length < MAX_PATH) {
            char joined[MAX_PATH];
            if (FormatText(joined, MAX_PATH, "%s%s", expanded, path + strlen(head)))
                lstrcpyA(path, joined);
            return;
        }
        char *cut = strrchr(head, '\\');
        if (!cut || (size_t)(cut - head) < root)
            return;
        *cut = 0;
    }
}

// The handle that tells a place's identity; INVALID_HANDLE_VALUE when it is
// not there. Folders open only on NT.
HANDLE OpenPlace(const char *path)
{
    int nt = IsNtPlatform();
    return CreateFileA(path, nt ? FILE_READ_ATTRIBUTES : 0,
                       FILE_SHARE_READ | FILE_SHARE_WRITE | (nt ? FILE_SHARE_DELETE : 0), 0,
                       OPEN_EXISTING, nt ? FILE_FLAG_BACKUP_SEMANTICS : 0, 0);
}

// Cuts `path` to its parent folder; 0 at the root.
int CutToParent(char *path)
{
    size_t root = RootLength(path);
    char *cut = strrchr(path, '\\');
    if (!cut || (size_t)(cut - path) < root || strlen(path) <= root)
        return 0;
    if ((size_t)(cut - path) + 1 == root)
        cut[1] = 0;  // "C:\"
    else
        *cut = 0;
    return 1;
}

} // namespace

int FinalPathOf(HANDLE place, char *path)
{
    FinalPathFn finalPath =
        (FinalPathFn)LookupSystemEntry("kernel32.dll", "GetFinalPathNameByHandleA");
    char final[MAX_PATH];
    DWORD length = finalPath ? finalPath(place, final, MAX_PATH, 0) : 0;
    char plain[MAX_PATH];
    if (length == 0 || length >= MAX_PATH || !DropDevicePrefix(final, plain))
        return 0;
    DropTrailingBackslashes(plain);
    lstrcpyA(path, plain);
    return 1;
}

int ReadPlaceKey(const char *path, PlaceKey *key)
{
    memset(key, 0, sizeof(*key));
    char plain[MAX_PATH];
    if (!path || !*path || !DropDevicePrefix(path, plain))
        return 0;
    DWORD length = GetFullPathNameA(plain, MAX_PATH, key->path, 0);
    if (length == 0 || length >= MAX_PATH || !RootLength(key->path)) {
        key->path[0] = 0;
        return 0;
    }
    ExpandShortNames(key->path);
    DropTrailingBackslashes(key->path);
    HANDLE place = OpenPlace(key->path);
    if (place == INVALID_HANDLE_VALUE)
        return 1;
    BY_HANDLE_FILE_INFORMATION information;
    // A file system that gives every file the index 0 tells no identity.
    if (GetFileInformationByHandle(place, &information) &&
        (information.nFileIndexHigh || information.nFileIndexLow)) {
        key->identified = 1;
        key->volume = information.dwVolumeSerialNumber;
        key->indexHigh = information.nFileIndexHigh;
        key->indexLow = information.nFileIndexLow;
    }
    FinalPathOf(place, key->path);  // links resolved where the system can say
    CloseHandle(place);
    return 1;
}

int IsSamePlaceKey(const PlaceKey *a, const PlaceKey *b)
{
    if (a->identified && b->identified)
        return a->volume == b->volume && a->indexHigh == b->indexHigh &&
               a->indexLow == b->indexLow;
    return a->path[0] && lstrcmpiA(a->path, b->path) == 0;
}

int IsSamePlace(const char *a, const char *b)
{
    PlaceKey first;
    PlaceKey second;
    return ReadPlaceKey(a, &first) && ReadPlaceKey(b, &second) && IsSamePlaceKey(&first, &second);
}

int ContainsPlace(const PlaceKey *outer, const char *path)
{
    PlaceKey key;
    if (!ReadPlaceKey(path, &key))
        return 0;
    char walk[MAX_PATH];
    lstrcpyA(walk, key.path);
    for (;;) {
        if (IsSamePlaceKey(outer, &key))
            return 1;
        if (!CutToParent(walk) || !ReadPlaceKey(walk, &key))
            return 0;
    }
}

int IsInsidePlace(const PlaceKey *folder, const char *path)
{
    PlaceKey key;
    return ReadPlaceKey(path, &key) && CutToParent(key.path) && ContainsPlace(folder, key.path);
}

int IsDriveRoot(const PlaceKey *key)
{
    return key->path[0] && strlen(key->path) == RootLength(key->path);
}
