// The payload phase: installs or removes the twelve payload files.
#include "files/staging.h"

#include <string.h>

namespace {

// A folder usable as a place for the payload: a path that the shell cannot
// read as a pattern matching other files, with room for every file's path.
int IsPlainFolder(const char *folder)
{
    return folder && *folder && strlen(folder) + 1 + LONGEST_FOLDER_FILE_NAME < MAX_PATH &&
           !strpbrk(folder, "*?");
}

} // namespace

int TransferPayload(HWND owner, const PayloadSource *source, const char *folder, int deferred,
                    RunOptions options)
{
    if (!source || !IsPlainFolder(folder))
        return 0;
    FILEOP_FLAGS quiet = options & RUNOPT_SILENT ? FOF_NOERRORUI : 0;
    if (options & RUNOPT_INSTALL)
        return InstallPayload(owner, source, folder, deferred, quiet);
    return RemovePayload(owner, folder, source->xmlDescriptor, deferred, quiet);
}
