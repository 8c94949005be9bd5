// Folders setup never installs to or deletes from, whatever a user, a script
// or the registry names: a drive root, the Windows folder and everything in
// it, the Program Files and Common Files folders of either view, the profile
// folder and every shell folder of the user or of all users, and any folder
// that holds one of these. Every name is compared as a place (see PlaceKey),
// so device prefixes, 8.3 names, shares of this machine and links lead to
// the same answer as the plain path.
#include "files/files.h"

#include "base/system_library.h"
#include "registry/registry.h"

#include <string.h>

namespace {

enum { SHELL_FOLDER_IDS = 0x40 };  // every CSIDL value Windows defines

// The Program Files folders as the 32-bit program sees them and in the
// native view of 64-bit Windows, which also names its own "...W6432Dir".
const char *const kProgramFolderValues[] = {"ProgramFilesDir", "CommonFilesDir",
                                            "ProgramW6432Dir", "CommonW6432Dir"};
const REGSAM kViews[] = {0, 0x0100 /* KEY_WOW64_64KEY */};

// `folder` is `place` or one of the folders above it.
int Covers(const PlaceKey *folder, const char *place)
{
    return place[0] && ContainsPlace(folder, place);
}

int CoversAnyProgramFolder(const PlaceKey *folder)
{
    for (size_t i = 0; i < sizeof(kProgramFolderValues) / sizeof(kProgramFolderValues[0]); ++i)
        for (size_t view = 0; view < sizeof(kViews) / sizeof(kViews[0]); ++view) {
            char place[MAX_PATH] = {0};
            if (ReadCurrentVersionValueOfView(kProgramFolderValues[i], place, MAX_PATH,
                                              kViews[view]) &&
                Covers(folder, place))
                return 1;
        }
    return 0;
}

// The Windows folder, or a folder in it (the system folders, "Sysnative").
int IsInWindowsFolder(const char *folder)
{
    char windows[MAX_PATH] = {0};
    PlaceKey place;
    UINT length = GetWindowsDirectoryA(windows, MAX_PATH);
    return length > 0 && length < MAX_PATH && ReadPlaceKey(windows, &place) &&
           ContainsPlace(&place, folder);
}

} // namespace

int IsCriticalFolder(const char *folder)
{
    PlaceKey key;
    if (!folder || !ReadPlaceKey(folder, &key) || IsDriveRoot(&key) ||
        IsInWindowsFolder(key.path))
        return 1;
    char place[MAX_PATH] = {0};
    UINT length = GetSystemDirectoryA(place, MAX_PATH);
    if (length > 0 && length < MAX_PATH && Covers(&key, place))
        return 1;
    if (CoversAnyProgramFolder(&key))
        return 1;
    for (int id = 0; id < SHELL_FOLDER_IDS; ++id)
        if (GetShellFolder(id, place) && Covers(&key, place))
            return 1;
    return 0;
}
