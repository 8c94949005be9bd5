// Staging folders: an install copies the payload into a private folder of
// the temporary folder first, and moves the files into place from there at
// once or at the next Windows start. A later run's start-up removes what
// earlier runs left, and never what a pending restart operation still needs.
#include "files/staging.h"

#include "base/ansi_path.h"
#include "base/format.h"
#include "base/log.h"
#include "base/system_entry.h"
#include "base/system_version.h"
#include "registry/registry.h"
#include "restart/restart.h"

#include <string.h>

namespace {

const char kStagingPrefix[] = "zyn";
const size_t kStagingNameLength = 3 + 16;  // the prefix and 16 hexadecimal digits

void DeleteFileOfAnyAttributes(const char *path)
{
    SetFileAttributesA(path, FILE_ATTRIBUTE_NORMAL);
    DeleteFileA(path);
}

// The payload files of a staging folder; nothing else in it is touched.
void DeleteStagedFiles(const char *folder)
{
    for (int row = 0; row < PAYLOAD_FILE_COUNT; ++row)
        for (int xml = 0; xml < 2; ++xml) {
            char path[MAX_PATH];
            if (FormatText(path, MAX_PATH, "%s\\%s", folder, PayloadName(row, INSTALLED_NAME, xml)))
                DeleteFileOfAnyAttributes(path);
        }
}

// Where the folder the handle holds really is, links followed, is `name`
// in the temporary folder `temp`. Where the system cannot say (before Vista)
// the reparse-point test alone stands.
int IsHeldWhereNamed(HANDLE held, const char *temp, const char *name)
{
    char final[MAX_PATH];
    if (!FinalPathOf(held, final))
        return 1;
    char *cut = strrchr(final, '\\');
    if (!cut || lstrcmpiA(cut + 1, name) != 0)
        return 0;
    *cut = 0;
    return IsSamePlace(final, temp);
}

// On NT, `folder` (the folder `name` of the temporary folder `temp`) is held
// open while its files are deleted, without delete sharing, so that it cannot
// be renamed or replaced by a link meanwhile. It must be a folder of its own
// (no reparse point) where it is named, and private to administrators (see
// IsPrivateFolder): in a temporary folder that others can write to (SYSTEM's
// is C:\Windows\Temp) a standard user could have made it, or be let into
// it. INVALID_HANDLE_VALUE when it is not to be touched.
HANDLE HoldStagingFolder(const char *folder, const char *temp, const char *name)
{
    HANDLE held = OpenFolderToHold(folder);
    if (held == INVALID_HANDLE_VALUE)
        return held;
    if (!IsFolderOfItsOwn(held) || !IsHeldWhereNamed(held, temp, name) ||
        !IsPrivateFolder(held)) {
        LogLine("staging: %s left alone", folder);
        CloseHandle(held);
        return INVALID_HANDLE_VALUE;
    }
    return held;
}

// Removes one stale staging folder of the temporary folder `temp` unless a
// pending restart operation still takes files from it.
void RemoveStaleStagingFolder(const char *temp, const char *name, int nt)
{
    char folder[MAX_PATH];
    if (!FormatText(folder, MAX_PATH, "%s%s", temp, name))
        return;
    if (!nt) {
        if (!IsPendingRenameSource(folder))
            RemoveStagingFolder(folder);
        return;
    }
    HANDLE held = HoldStagingFolder(folder, temp, name);
    if (held == INVALID_HANDLE_VALUE)
        return;
    int pending = IsPendingRestartSource(folder);
    if (!pending)
        DeleteStagedFiles(folder);
    CloseHandle(held);
    if (!pending)
        RemoveDirectoryA(folder);
}

} // namespace

// The name cannot be guessed: others cannot plant or hold a file there in
// advance.
int CreateStagingFolder(char *folder)
{
    char temp[MAX_PATH];
    if (!ReadTempFolder(temp))
        return 0;
    typedef BOOLEAN(WINAPI * RandomFn)(PVOID, ULONG);
    RandomFn random = (RandomFn)LookupSystemEntry("advapi32.dll", "SystemFunction036");
    int nt = IsNtPlatform();
    for (int attempt = 0; attempt < 8; ++attempt) {
        DWORD words[2] = {0, 0};
        if (!random || !random(words, sizeof(words))) {
            LARGE_INTEGER counter;
            QueryPerformanceCounter(&counter);
            words[0] = counter.LowPart ^ (GetCurrentProcessId() << 16) ^ (DWORD)(UINT_PTR)&counter;
            words[1] = counter.HighPart ^ GetTickCount() ^ (GetCurrentThreadId() * 2654435761u);
        }
        if (!FormatText(folder, MAX_PATH, "%s%s%08lX%08lX", temp, kStagingPrefix, words[0],
                        words[1]))
            return 0;
        if (nt ? CreatePrivateFolder(folder) : CreateDirectoryA(folder, 0))
            return 1;
        if (GetLastError() != ERROR_ALREADY_EXISTS)
            return LogFailure("CreateDirectoryA", folder);
    }
    return 0;
}

void RemoveStagingFolder(const char *folder)
{
    DeleteStagedFiles(folder);
    RemoveDirectoryA(folder);
}

void RemoveStagedCopy(const char *path)
{
    char folder[MAX_PATH];
    lstrcpynA(folder, path, MAX_PATH);
    char *cut = strrchr(folder, '\\');
    if (!cut)
        return;
    *cut = 0;
    const char *name = strrchr(folder, '\\');
    if (!name || !IsStagingFolderName(name + 1))
        return;
    DeleteFileOfAnyAttributes(path);
    RemoveDirectoryA(folder);
}

int IsStagingFolderName(const char *name)
{
    if (strlen(name) != kStagingNameLength || _strnicmp(name, kStagingPrefix, 3) != 0)
        return 0;
    for (const char *digit = name + 3; *digit; ++digit)
        if (!strchr("0123456789ABCDEF", *digit))
            return 0;
    return 1;
}

void RemoveStaleStagingFolders(const char *ownFolder)
{
    const char *own = ownFolder ? strrchr(ownFolder, '\\') : 0;  // its name
    char temp[MAX_PATH];
    char pattern[MAX_PATH];
    if (!ReadTempFolder(temp) || !FormatText(pattern, MAX_PATH, "%s%s*", temp, kStagingPrefix))
        return;
    int nt = IsNtPlatform();
    WIN32_FIND_DATAA entry;
    HANDLE search = FindFirstFileA(pattern, &entry);
    if (search == INVALID_HANDLE_VALUE)
        return;
    do {
        // A link could lead out of the temporary folder: never followed.
        int ours = own && lstrcmpiA(own + 1, entry.cFileName) == 0;
        if ((entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) &&
            !(entry.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) &&
            IsStagingFolderName(entry.cFileName) && !ours)
            RemoveStaleStagingFolder(temp, entry.cFileName, nt);
    } while (FindNextFileA(search, &entry));
    FindClose(search);
}
