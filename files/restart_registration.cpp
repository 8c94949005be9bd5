// Registrations for the next Windows start on the NT family, through
// MoveFileExA, and taking one back when its pair cannot be completed.
#include "files/files.h"

#include "base/log.h"

#include <string.h>

namespace {

const char kSessionManager[] = "SYSTEM\\CurrentControlSet\\Control\\Session Manager";
const char kPending[] = "PendingFileRenameOperations";

// The path of a pending entry without the "\??\" prefix Windows adds.
const char *PlainPath(const char *entry)
{
    return strncmp(entry, "\\??\\", 4) == 0 ? entry + 4 : entry;
}

// Removes from the multi-string `data` (pairs of source and target) the last
// pair whose source is `path` and whose target is empty. Returns the new size,
// or 0 when there is no such pair.
DWORD RemoveLastDeletion(char *data, DWORD size, const char *path)
{
    char *found = 0;
    DWORD foundLength = 0;
    char *end = data + size;
    for (char *source = data; source < end && *source;) {
        char *target = source + strlen(source) + 1;
        if (target >= end)
            break;
        char *next = target + strlen(target) + 1;
        if (!*target && lstrcmpiA(PlainPath(source), path) == 0) {
            found = source;
            foundLength = (DWORD)(next - source);
        }
        source = next;
    }
    if (!found)
        return 0;
    memmove(found, found + foundLength, (size_t)(end - found - foundLength));
    return size - foundLength;
}

} // namespace

int RegisterRestartOperation(const char *from, const char *to)
{
    int ok = MoveFileExA(from, to, MOVEFILE_DELAY_UNTIL_REBOOT) != 0;
    LogOutcome(ok ? 0 : GetLastError(), "restart: %s > %s", from, to ? to : "(deleted)");
    return ok;
}

int WithdrawRestartDeletion(const char *path)
{
    HKEY key;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, kSessionManager, 0, KEY_ALL_ACCESS, &key) !=
        ERROR_SUCCESS)
        return 0;
    int ok = 0;
    DWORD type = 0;
    DWORD size = 0;
    if (RegQueryValueExA(key, kPending, 0, &type, 0, &size) == ERROR_SUCCESS && size > 0) {
        char *data = (char *)LocalAlloc(LMEM_ZEROINIT, size + 2);  // room for missing NULs
        if (data && RegQueryValueExA(key, kPending, 0, &type, (BYTE *)data, &size) ==
                        ERROR_SUCCESS) {
            DWORD left = RemoveLastDeletion(data, size, path);
            if (left)
                ok = RegSetValueExA(key, kPending, 0, type, (const BYTE *)data, left) ==
                     ERROR_SUCCESS;
        }
        LocalFree(data);
    }
    RegCloseKey(key);
    LogLine("restart: deletion of %s taken back: %d", path, ok);
    return ok;
}
