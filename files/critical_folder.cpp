// Folders an uninstall must never delete from, whatever the registry claims
// the installed folder is: a drive root, the Windows, system and Program
// Files folders, the profile folder and every shell folder of the user or of
// all users, and any folder that holds one of these.
#include "files/files.h"

#include "base/system_library.h"
#include "registry/registry.h"

#include <string.h>

namespace {

enum { SHELL_FOLDER_IDS = 0x40 };  // every CSIDL value Windows defines

// The full path, in its short form where the folder exists (so that a long
// and an 8.3 spelling compare equal), without trailing backslashes.
int NormalisePath(const char *path, char *normal)
{
    memset(normal, 0, MAX_PATH);
    char *name = 0;
    DWORD length = GetFullPathNameA(path, MAX_PATH, normal, &name);
    if (length == 0 || length >= MAX_PATH)
        return 0;
    char shortForm[MAX_PATH];
    if (ShortPathOfFile(normal, shortForm))
        lstrcpyA(normal, shortForm);
    length = (DWORD)strlen(normal);
    while (length > 0 && normal[length - 1] == '\\')
        normal[--length] = 0;
    return length > 0;
}

// "C:" or "\\server\share": nothing above it.
int IsRoot(const char *normal)
{
    if (normal[0] != '\\')
        return strlen(normal) <= 2;
    const char *server = strchr(normal + 2, '\\');
    return !server || !strchr(server + 1, '\\');
}

// `folder` is `place` or one of the folders above it.
int Covers(const char *folder, const char *place)
{
    char normal[MAX_PATH];
    if (!place[0] || !NormalisePath(place, normal))
        return 0;
    size_t length = strlen(folder);
    return _strnicmp(folder, normal, length) == 0 &&
           (normal[length] == 0 || normal[length] == '\\');
}

} // namespace

int IsCriticalFolder(const char *folder)
{
    char normal[MAX_PATH];
    if (!folder || !NormalisePath(folder, normal) || IsRoot(normal))
        return 1;
    char place[MAX_PATH] = {0};
    UINT length = GetWindowsDirectoryA(place, MAX_PATH);
    if (length > 0 && length < MAX_PATH && Covers(normal, place))
        return 1;
    memset(place, 0, MAX_PATH);
    length = GetSystemDirectoryA(place, MAX_PATH);
    if (length > 0 && length < MAX_PATH && Covers(normal, place))
        return 1;
    memset(place, 0, MAX_PATH);
    if (ReadCurrentVersionValue("ProgramFilesDir", place, MAX_PATH) && Covers(normal, place))
        return 1;
    for (int id = 0; id < SHELL_FOLDER_IDS; ++id)
        if (GetShellFolder(id, place) && Covers(normal, place))
            return 1;
    return 0;
}
