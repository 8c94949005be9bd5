// Places on disk compared by what they are, not by how they are spelled: an
// 8.3 name, another letter case, a device prefix, a share of this machine, a
// link or a drive mapped onto a folder all name the same place as the plain
// long path; a place not there yet is named through the nearest folder above
// it that is. A share is known by its identity alone: one that cannot be
// reached cannot be written to either.
#include "places/places.h"

#include "base/final_path.h"
#include "base/format.h"
#include "base/system_entry.h"
#include "base/system_version.h"
#include "base/text.h"

#include <string.h>

namespace {

typedef DWORD(WINAPI *LongPathFn)(LPCSTR, LPSTR, DWORD);

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

// A file system that gives every file the index 0 tells no identity.
void ReadIdentity(HANDLE place, PlaceKey *key)
{
    BY_HANDLE_FILE_INFORMATION information;
    if (GetFileInformationByHandle(place, &information) &&
        (information.nFileIndexHigh || information.nFileIndexLow)) {
        key->identified = 1;
        key->volume = information.dwVolumeSerialNumber;
        key->indexHigh = information.nFileIndexHigh;
        key->indexLow = information.nFileIndexLow;
    }
}

// A place that is not there (yet): the final path of the nearest folder
// above it that is, drive roots included, and the rest of the path after
// it. So a drive that maps another folder (subst, a network drive of this
// machine, a drive letter of Wine) leads back to that folder. 0 where no
// folder above opens or the system cannot say (before Vista).
int ResolveThroughNearestFolder(char *path)
{
    if (!CanTellFinalPaths() || !IsNtPlatform())
        return 0;
    char folder[MAX_PATH];
    lstrcpyA(folder, path);
    while (CutToParentFolder(folder)) {
        HANDLE place = OpenPlace(folder);
        if (place == INVALID_HANDLE_VALUE)
            continue;
        char final[MAX_PATH];
        int resolved = FinalPathOf(place, final);
        CloseHandle(place);
        if (!resolved)
            return 0;
        const char *rest = path + strlen(folder);
        rest += *rest == '\\';
        size_t length = strlen(final);
        if (final[length - 1] == '\\')
            final[length - 1] = 0;  // a drive root's: the join puts it back
        char joined[MAX_PATH];
        if (!FormatText(joined, MAX_PATH, "%s\\%s", final, rest))
            return 0;
        lstrcpyA(path, joined);
        return 1;
    }
    return 0;
}

} // namespace

int CutToParentFolder(char *path)
{
    size_t root = RootLength(path);
    char *cut = strrchr(path, '\\');
    if (!cut || strlen(path) <= root || (size_t)(cut - path) + 1 < root)
        return 0;
    if ((size_t)(cut - path) + 1 == root)
        cut[1] = 0;  // "C:\"
    else
        *cut = 0;
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
    DropTrailingBackslashes(key->path);
    HANDLE place = OpenPlace(key->path);
    int resolved = 0;
    if (place != INVALID_HANDLE_VALUE) {
        ReadIdentity(place, key);
        resolved = FinalPathOf(place, key->path);  // links followed, names in long form
        CloseHandle(place);
    } else {
        resolved = ResolveThroughNearestFolder(key->path);
    }
    if (!resolved)
        ExpandShortNames(key->path);
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

int ContainsPlaceKey(const PlaceKey *outer, const PlaceKey *inner)
{
    if (IsSamePlaceKey(outer, inner))
        return 1;
    char walk[MAX_PATH];
    lstrcpyA(walk, inner->path);
    PlaceKey key;
    while (CutToParentFolder(walk) && ReadPlaceKey(walk, &key))
        if (IsSamePlaceKey(outer, &key))
            return 1;
    return 0;
}

int IsInsidePlace(const PlaceKey *folder, const char *path)
{
    PlaceKey key, above;
    return ReadPlaceKey(path, &key) && CutToParentFolder(key.path) &&
           ReadPlaceKey(key.path, &above) && ContainsPlaceKey(folder, &above);
}

int IsDriveRoot(const PlaceKey *key)
{
    return key->path[0] && strlen(key->path) == RootLength(key->path);
}

int ReadPlaceSet(const char *paths, PlaceSet *set)
{
    set->count = 0;
    for (const char *path = paths; *path; path = NextEntry(path))
        if (set->count == PLACE_SET_SIZE || !ReadPlaceKey(path, &set->keys[set->count++]))
            return 0;
    return 1;
}

int IsInPlaceSet(const char *path, const PlaceSet *set)
{
    PlaceKey key;
    if (!ReadPlaceKey(path, &key))
        return 0;
    for (int i = 0; i < set->count; ++i)
        if (IsSamePlaceKey(&key, &set->keys[i]))
            return 1;
    return 0;
}

int AppendToList(PathList *list, const char *path)
{
    size_t length = strlen(path) + 1;
    if (length > MAX_PATH || list->used + length + 1 > PATH_LIST_SIZE)
        return 0;
    memcpy(list->text + list->used, path, length);
    list->used += length;
    return 1;
}
