// What the system can say about a path: a file, a folder, gone, or not to be
// told (a drive that is not there, a network that is not ready, a refused
// access); and whether a folder is one an elevated setup may install into or
// delete from, which on NT a standard user must not be able to own or swap;
// and the folders of an install, created so that no standard user owns them.
#include "places/places.h"

#include "base/format.h"
#include "base/log.h"
#include "base/system_version.h"
#include "registry/registry.h"

#include <string.h>

namespace {

int IsNotFound(DWORD error)
{
    return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND;
}

// The open `held` is a folder of its own and, with `path`, lies where
// `path` names it (see IsOpenWhereNamed).
int IsFolderWhereNamed(HANDLE held, const char *path)
{
    if (!IsFolderOfItsOwn(held))
        return 0;
    char spelled[MAX_PATH];
    spelled[0] = 0;
    return !path || IsOpenWhereNamed(held, path, spelled);
}

} // namespace

HANDLE OpenFolderToHold(const char *path)
{
    return CreateFileA(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, 0, OPEN_EXISTING,
                       FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, 0);
}

int IsFolderOfItsOwn(HANDLE held)
{
    BY_HANDLE_FILE_INFORMATION information;
    return GetFileInformationByHandle(held, &information) &&
           !(information.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) &&
           (information.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY);
}

int ProbePath(const char *path)
{
    char walk[MAX_PATH];
    if (!path || lstrlenA(path) >= MAX_PATH)
        return PATH_UNKNOWN;
    lstrcpyA(walk, path);
    for (int above = 0;; above = 1) {
        DWORD attributes = GetFileAttributesA(walk);
        if (attributes != INVALID_FILE_ATTRIBUTES) {
            int folder = (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
            if (above)
                return folder ? PATH_GONE : PATH_UNKNOWN;
            return folder ? PATH_FOLDER : PATH_FILE;
        }
        if (!IsNotFound(GetLastError()) || !CutToParentFolder(walk))
            return PATH_UNKNOWN;
    }
}

int IsExistingFile(const char *path)
{
    return ProbePath(path) == PATH_FILE;
}

int FindFileInFolder(const char *folder, const char *name, char *found)
{
    return FormatText(found, MAX_PATH, "%s\\%s", folder, name) ? ProbePath(found) : PATH_UNKNOWN;
}

int IsTrustedFolderPath(const char *folder)
{
    char walk[MAX_PATH];
    if (!IsNtPlatform())
        return 1;
    if (!folder || lstrlenA(folder) >= MAX_PATH)
        return 0;
    lstrcpyA(walk, folder);
    int found = 0;
    for (;;) {
        HANDLE held = OpenFolderToHold(walk);
        if (held != INVALID_HANDLE_VALUE) {
            // The nearest folder there must also lie where it is named; the
            // ones above it must be no links either.
            int trusted =
                IsFolderWhereNamed(held, found ? 0 : walk) && IsOwnedByTrustedAccount(held);
            CloseHandle(held);
            if (!trusted)
                break;
            found = 1;
        } else if (found || !IsNotFound(GetLastError())) {
            break;
        }
        if (!CutToParentFolder(walk)) {
            if (found)
                return 1;
            break;  // not even the root could be judged
        }
    }
    LogLine("folder %s refused at %s", folder, walk);
    return 0;
}

HANDLE HoldInstalledFolder(const char *folder)
{
    if (!IsNtPlatform())
        return 0;
    HANDLE held = OpenFolderToHold(folder);
    if (held == INVALID_HANDLE_VALUE) {
        if (ProbePath(folder) == PATH_GONE)
            return 0;  // its files went with it
    } else if (IsFolderWhereNamed(held, folder)) {
        return held;
    } else {
        CloseHandle(held);
    }
    LogLine("installed folder %s refused: not there as named", folder);
    return INVALID_HANDLE_VALUE;
}

namespace {

// One folder of the install's path; Windows 9x knows no access lists.
int CreateFolder(const char *path)
{
    return IsNtPlatform() ? CreateProtectedFolder(path) : CreateDirectoryA(path, 0);
}

} // namespace

int CreateFolderPath(const char *path)
{
    if (!path || strlen(path) >= MAX_PATH)
        return 0;
    if (CreateFolder(path) || GetLastError() == ERROR_ALREADY_EXISTS)
        return 1;
    char parent[MAX_PATH] = {0};
    lstrcpynA(parent, path, MAX_PATH);
    // Past the two backslashes that open a network path.
    char *cut = strrchr(parent[0] == '\\' ? parent + 2 : parent, '\\');
    if (!cut)
        return 0;
    *cut = 0;
    return CreateFolderPath(parent) && CreateFolder(path);
}
