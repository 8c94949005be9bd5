// The twelve payload files: staged beside nothing else in a private folder of
// the temporary folder, then moved into place at once or at the next Windows
// start; removed again on uninstall.
#include "files/files.h"

#include "base/log.h"
#include "base/format.h"
#include "base/startup_state.h"
#include "base/system_entry.h"
#include "base/system_version.h"
#include "base/text.h"
#include "registry/registry.h"

#include <shellapi.h>
#include <string.h>

namespace {

// Source and installed names of the Payload list, rows paired by position.
// The two variants differ only in the descriptor (row 3).
const char kSourceNamesIni[] =
    "setup.exe\0Dorsel\0Dorsel.zyn\0ZynSetup.dat\0ZynSetup.dll\0ZYNSYSID.sys\0ZYNSYSID.vxd\0"
    "zynliba.dll\0zynlibb.dll\0unicows.dll\0ZYNNTDEV.sys\0ZynFlash.dll\0";
const char kSourceNamesXml[] =
    "setup.exe\0Dorsel\0VAKZYN.xml\0ZynSetup.dat\0ZynSetup.dll\0ZYNSYSID.sys\0ZYNSYSID.vxd\0"
    "zynliba.dll\0zynlibb.dll\0unicows.dll\0ZYNNTDEV.sys\0ZynFlash.dll\0";
const char kInstalledNamesIni[] =
    "_zynu000.exe\0Dorsel.exe\0ZynSetup.ini\0ZynSetup.dat\0ZynSetup.dll\0ZYNSYSID.sys\0"
    "ZYNSYSID.vxd\0zynliba.dll\0zynlibb.dll\0unicows.dll\0ZYNNTDEV.sys\0ZynFlash.dll\0";
const char kInstalledNamesXml[] =
    "_zynu000.exe\0Dorsel.exe\0ZynSetup.xml\0ZynSetup.dat\0ZynSetup.dll\0ZYNSYSID.sys\0"
    "ZYNSYSID.vxd\0zynliba.dll\0zynlibb.dll\0unicows.dll\0ZYNNTDEV.sys\0ZynFlash.dll\0";

const FILEOP_FLAGS kCopyFlags = 0x215;  // multi-destination, silent, no questions
const FILEOP_FLAGS kDeleteFlags = 0x14;  // silent, no questions, no recycle bin

struct PathList {
    char text[PATH_LIST_SIZE];  // paths separated by NUL, ended by an empty one
    size_t used;
};

// Appends "prefix" + "separator" + "name"; fails rather than overrun the list.
int AppendPath(PathList *list, const char *prefix, const char *separator, const char *name)
{
    char path[MAX_PATH];
    if (!FormatText(path, sizeof(path), "%s%s%s", prefix, separator, name))
        return 0;
    size_t length = strlen(path) + 1;
    if (list->used + length + 1 > PATH_LIST_SIZE)
        return 0;
    memcpy(list->text + list->used, path, length);
    list->used += length;
    return 1;
}

// One path per name, all in `folder`.
int BuildList(PathList *list, const char *folder, const char *names)
{
    memset(list, 0, sizeof(*list));
    for (const char *name = names; *name; name = NextEntry(name))
        if (!AppendPath(list, folder, "\\", name))
            return 0;
    return 1;
}

// Row 1 in the Windows folder, the other rows in `folder`.
int BuildFinalList(PathList *list, const char *folder, const char *names)
{
    memset(list, 0, sizeof(*list));
    char windows[MAX_PATH] = {0};
    UINT length = GetWindowsDirectoryA(windows, MAX_PATH);
    if (length == 0 || length >= MAX_PATH || !AppendPath(list, windows, "\\", names))
        return 0;
    for (const char *name = NextEntry(names); *name; name = NextEntry(name))
        if (!AppendPath(list, folder, "\\", name))
            return 0;
    return 1;
}

int ShellOperation(HWND owner, UINT operation, const char *from, const char *to,
                   FILEOP_FLAGS flags)
{
    SHFILEOPSTRUCTA request;
    ZeroMemory(&request, sizeof(request));
    request.hwnd = owner;
    request.wFunc = operation;
    request.pFrom = from;
    request.pTo = to;
    request.fFlags = flags;
    int result = SHFileOperationA(&request);
    LogOutcome((DWORD)result, "SHFileOperationA %s", operation == FO_DELETE ? "delete"
                                                      : operation == FO_MOVE ? "move" : "copy");
    LogPathLists(from, to);
    return result == 0;
}

// A folder usable as a place for the payload: a path that the shell cannot
// read as a pattern matching other files.
int IsPlainFolder(const char *folder)
{
    return folder && *folder && strlen(folder) < MAX_PATH && !strpbrk(folder, "*?");
}

int ShortPath(const char *path, char *shortPath)
{
    memset(shortPath, 0, MAX_PATH);
    DWORD length = GetShortPathNameA(path, shortPath, MAX_PATH);
    return length > 0 && length < MAX_PATH;
}

// The short form of a file that may not exist yet: its folder's short form
// joined with its name, which is already an 8.3 name for every payload file.
int ShortPathOfNewFile(const char *path, char *shortPath)
{
    if (ShortPath(path, shortPath))
        return 1;
    char folder[MAX_PATH];
    lstrcpynA(folder, path, MAX_PATH);
    char *cut = strrchr(folder, '\\');
    if (!cut)
        return 0;
    *cut = 0;
    char shortFolder[MAX_PATH];
    return ShortPath(folder, shortFolder) &&
           FormatText(shortPath, MAX_PATH, "%s\\%s", shortFolder, cut + 1);
}

int AppendDeletionLine(PathList *lines, const char *path)
{
    char shortPath[MAX_PATH];
    if (!ShortPath(path, shortPath))
        return 1;  // nothing there to delete
    return AppendPath(lines, "NUL=", "", shortPath);
}

// Deletes one file now, or registers its deletion for the next start.
int RemoveAtOnceOrLater(HWND owner, const char *path, int deferred, int nt)
{
    if (!deferred) {
        char single[MAX_PATH + 1] = {0};
        lstrcpynA(single, path, MAX_PATH);
        return ShellOperation(owner, FO_DELETE, single, 0, kDeleteFlags);
    }
    if (nt)
        return RegisterRestartOperation(path, 0);
    PathList line;
    memset(&line, 0, sizeof(line));
    return AppendDeletionLine(&line, path) && AppendRenameLines(line.text);
}

// A new folder in the temporary folder, for this run only, under a name that
// cannot be guessed: others cannot plant or hold a file there in advance.
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
        if (!FormatText(folder, MAX_PATH, "%szyn%08lX%08lX", temp, words[0], words[1]))
            return 0;
        if (nt ? CreatePrivateFolder(folder) : CreateDirectoryA(folder, 0))
            return 1;
        if (GetLastError() != ERROR_ALREADY_EXISTS)
            return LogFailure("CreateDirectoryA", folder);
    }
    return 0;
}

// Registers each staged file to replace its installed one at the next start.
int RegisterReplacements(const PathList *staged, const PathList *finals, int nt)
{
    const char *source = staged->text;
    for (const char *target = finals->text; *target && *source;
         target = NextEntry(target), source = NextEntry(source)) {
        if (nt) {
            RegisterRestartOperation(target, 0);
            if (!RegisterRestartOperation(source, target)) {
                // No deletion may stay without the file that replaces it.
                WithdrawRestartDeletion(target);
                return 0;
            }
            continue;
        }
        char shortTarget[MAX_PATH];
        char shortSource[MAX_PATH];
        if (!ShortPathOfNewFile(target, shortTarget) || !ShortPath(source, shortSource) ||
            !WriteRenameEntry(shortTarget, shortSource))
            return 0;
    }
    return 1;
}

int InstallPayload(HWND owner, const char *folder, int deferred, const char *sourceNames,
                   const char *installedNames)
{
    static PathList sources, staged, finals;
    char staging[MAX_PATH];
    if (!BuildList(&sources, g_startup.setupFolder, sourceNames) ||
        !BuildFinalList(&finals, folder, installedNames) || !CreateStagingFolder(staging))
        return 0;
    if (!BuildList(&staged, staging, installedNames) ||
        !ShellOperation(owner, FO_COPY, sources.text, staged.text, kCopyFlags)) {
        RemoveDirectoryA(staging);  // only when nothing was copied into it
        return 0;
    }
    if (!CreateFolderPath(folder))
        return LogFailure("CreateDirectoryA", folder);
    int nt = IsNtPlatform();
    if (nt)
        for (const char *file = staged.text; *file; file = NextEntry(file))
            SetFileAccessRights(file);

    char found[MAX_PATH];
    const char *otherDescriptor = g_startup.descriptorMode ? "ZynSetup.ini" : "ZynSetup.xml";
    if (FindInFolder(folder, otherDescriptor, 0, found) &&
        !RemoveAtOnceOrLater(owner, found, deferred, nt))
        return 0;
    if (nt && FindInFolder(folder, "dorsel.exe.manifest", 0, found) &&
        !RemoveAtOnceOrLater(owner, found, deferred, nt))
        return 0;

    if (deferred)
        return RegisterReplacements(&staged, &finals, nt);
    if (!ShellOperation(owner, FO_MOVE, staged.text, finals.text, kCopyFlags))
        return 0;
    RemoveDirectoryA(staging);
    return 1;
}

// Installed payload paths must be files: a folder of that name would be
// deleted with all it holds.
int AllAreFiles(const char *paths)
{
    for (const char *path = paths; *path; path = NextEntry(path)) {
        DWORD attributes = GetFileAttributesA(path);
        if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY))
            return 0;
    }
    return 1;
}

int RemovePayload(HWND owner, const char *folder, int deferred, const char *installedNames)
{
    static PathList finals;
    if (!BuildFinalList(&finals, folder, installedNames) || !AllAreFiles(finals.text))
        return 0;
    int nt = IsNtPlatform();
    const char *uninstaller = finals.text;
    if (!deferred) {
        // The uninstaller may be the running program: it goes at the next start.
        return ShellOperation(owner, FO_DELETE, NextEntry(uninstaller), 0, kDeleteFlags) &&
               RemoveAtOnceOrLater(owner, uninstaller, 1, nt);
    }
    if (nt) {
        for (const char *path = finals.text; *path; path = NextEntry(path))
            if (!RegisterRestartOperation(path, 0))
                return 0;
        return 1;
    }
    static PathList lines;
    memset(&lines, 0, sizeof(lines));
    for (const char *path = finals.text; *path; path = NextEntry(path))
        if (!AppendDeletionLine(&lines, path))
            return 0;
    return AppendRenameLines(lines.text);
}

} // namespace

int TransferPayload(HWND owner, const char *folder, int deferred, RunOptions options)
{
    if (!IsPlainFolder(folder))
        return 0;
    int xml = g_startup.descriptorMode;
    const char *installedNames = xml ? kInstalledNamesXml : kInstalledNamesIni;
    if (options & RUNOPT_INSTALL)
        return InstallPayload(owner, folder, deferred, xml ? kSourceNamesXml : kSourceNamesIni,
                              installedNames);
    return RemovePayload(owner, folder, deferred, installedNames);
}

int MeasurePayload(DWORD *kilobytes)
{
    const char *names = g_startup.descriptorMode ? kSourceNamesXml : kSourceNamesIni;
    ULONGLONG bytes = 0;
    for (const char *name = names; *name; name = NextEntry(name)) {
        char path[MAX_PATH];
        WIN32_FIND_DATAA found;
        if (!FormatText(path, sizeof(path), "%s\\%s", g_startup.setupFolder, name))
            return 0;
        HANDLE search = FindFirstFileA(path, &found);
        if (search == INVALID_HANDLE_VALUE)
            return 0;
        FindClose(search);
        bytes += ((ULONGLONG)found.nFileSizeHigh << 32) | found.nFileSizeLow;
    }
    ULONGLONG rounded = (bytes + 1023) / 1024;
    *kilobytes = rounded > 0xFFFFFFFF ? 0xFFFFFFFF : (DWORD)rounded;
    return 1;
}

int FindInFolder(const char *folder, const char *name, const char *extension, char *found)
{
    memset(found, 0, MAX_PATH);
    DWORD length = SearchPathA(folder, name, extension, MAX_PATH, found, 0);
    return length > 0 && length < MAX_PATH;
}

int CreateFolderPath(const char *path)
{
    if (!path || strlen(path) >= MAX_PATH)
        return 0;
    if (CreateDirectoryA(path, 0) || GetLastError() == ERROR_ALREADY_EXISTS)
        return 1;
    char parent[MAX_PATH] = {0};
    lstrcpynA(parent, path, MAX_PATH);
    // Past the two backslashes that open a network path.
    char *cut = strrchr(parent[0] == '\\' ? parent + 2 : parent, '\\');
    if (!cut)
        return 0;
    *cut = 0;
    return CreateFolderPath(parent) && CreateDirectoryA(path, 0);
}
