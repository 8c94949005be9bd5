// Staging folders: an install copies the payload into a private folder of
// the temporary folder first, and moves the files into place from there at
// once or at the next Windows start. A later run's start-up removes what
// earlier runs left, and never what a pending restart operation still needs.
#include "files/staging.h"

#include "base/format.h"
#include "base/log.h"
#include "base/system_entry.h"
#include "base/system_version.h"
#include "files/files.h"
#include "registry/registry.h"

#include <string.h>

namespace {

const char kStagingPrefix[] = "zyn";
const size_t kStagingNameLength = 3 + 16;  // the prefix and 16 hexadecimal digits

void DeleteFileOfAnyAttributes(const char *path)
{
    SetFileAttributesA(path, FILE_ATTRIBUTE_NORMAL);
    DeleteFileA(path);
}

} // namespace

// The name cannot be guessed: others cannot plant or hold a file there in
// advance.
int CreateStagingFolder(char *folder)
{
    char temp[MAX_PATH] = {0};
    DWORD length = GetTempPathA(MAX_PATH, temp);
    if (length == 0 || length >= MAX_PATH)
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
    for (int row = 0; row < PAYLOAD_FILE_COUNT; ++row)
        for (int xml = 0; xml < 2; ++xml) {
            char path[MAX_PATH];
            if (FormatText(path, MAX_PATH, "%s\\%s", folder, PayloadName(row, INSTALLED_NAME, xml)))
                DeleteFileOfAnyAttributes(path);
        }
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

void RemoveStaleStagingFolders(void)
{
    char temp[MAX_PATH] = {0};
    char pattern[MAX_PATH];
    DWORD length = GetTempPathA(MAX_PATH, temp);
    if (length == 0 || length >= MAX_PATH ||
        !FormatText(pattern, MAX_PATH, "%s%s*", temp, kStagingPrefix))
        return;
    int nt = IsNtPlatform();
    WIN32_FIND_DATAA entry;
    HANDLE search = FindFirstFileA(pattern, &entry);
    if (search == INVALID_HANDLE_VALUE)
        return;
    do {
        char folder[MAX_PATH];
        // A link could lead out of the temporary folder: never followed.
        if (!(entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) ||
            (entry.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) ||
            !IsStagingFolderName(entry.cFileName) ||
            !FormatText(folder, MAX_PATH, "%s%s", temp, entry.cFileName))
            continue;
        if (!(nt ? IsPendingRestartSource(folder) : IsPendingRenameSource(folder)))
            RemoveStagingFolder(folder);
    } while (FindNextFileA(search, &entry));
    FindClose(search);
}
