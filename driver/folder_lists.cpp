// Lists of the Setup script are ";"-separated and split in place: the cutting
// walk visits every entry, empty ones included; a later walk over the split
// list ends at its first empty entry.
#include "driver/folder_lists.h"

#include "base/ansi_path.h"
#include "base/text.h"
#include "registry/registry.h"
#include "script/setup_script.h"

#include <windows.h>

#include <string.h>

namespace {

char *CutEntry(char *entry, char *end)
{
    char *cut = entry;
    while (cut < end - 1 && *cut && *cut != ';')
        ++cut;
    *cut = 0;
    return cut + 1;
}

int IsWritableFolder(const char *path)
{
    DWORD attributes = GetFileAttributesA(path);
    return attributes != INVALID_FILE_ATTRIBUTES &&
           (attributes & (FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_DIRECTORY)) ==
               FILE_ATTRIBUTE_DIRECTORY;
}

// Each candidate replaces the folder from its first backslash on (its drive
// stays). The first candidate that does not exist yet is created and
// registered; when all exist, the last one stands.
void ChooseDownloadFolder(RunOptions options, char *list, char *folder)
{
    memset(folder, 0, MAX_PATH);
    if (!ReadWindowsFolder(folder))
        return;
    char *end = list + MAX_PATH;
    for (char *entry = list; entry < end && *entry;)
        entry = CutEntry(entry, end);
    for (const char *entry = list; entry < end && *entry; entry = NextEntry(entry)) {
        char *drive = strchr(folder, '\\');
        size_t kept = drive ? (size_t)(drive - folder) : strlen(folder);
        if (kept + strlen(entry) >= MAX_PATH)
            return;  // does not fit: the last candidate that did stands
        lstrcpyA(folder + kept, entry);
        if (GetFileAttributesA(folder) == INVALID_FILE_ATTRIBUTES) {
            if (CreateDirectoryA(folder, 0))
                RegisterSearchFolder(folder, options);
            return;
        }
    }
}

} // namespace

int RegisterSearchFolders(RunOptions options, char *downloadFolder, const SetupSource *source)
{
    char list[MAX_PATH] = {0};  // split in place
    char *end = list + MAX_PATH;
    if (!ReadSearchFolderList(source, list))
        return 1;
    int registered = 1;
    for (char *entry = list; entry < end && *entry;) {
        char *next = CutEntry(entry, end);
        registered = RegisterSearchFolder(entry, options) && registered;
        entry = next;
    }
    for (const char *entry = list; entry < end && *entry; entry = NextEntry(entry))
        if (IsWritableFolder(entry))
            return registered;
    char downloadList[MAX_PATH] = {0};
    if (ReadDownloadFolderList(source, downloadList))
        ChooseDownloadFolder(options, downloadList, downloadFolder);
    return registered;
}
