// Registrations for the next Windows start on the NT family, through
// MoveFileExA, and taking deletions back. The pending list is shared with
// every other program: it is read and written with the wide calls and only
// the pairs taken back change, so no other entry loses a byte.
#include "files/files.h"

#include "base/log.h"
#include "base/text.h"

#include <string.h>

namespace {

const char kSessionManager[] = "SYSTEM\\CurrentControlSet\\Control\\Session Manager";
const wchar_t kPending[] = L"PendingFileRenameOperations";

enum {
    NT_PATH_SIZE = MAX_PATH + 8,  // "\??\UNC\" and a full path
    WITHDRAW_LIMIT = 16           // paths taken back in one call
};

// The value as stored, followed by zero bytes so that a list missing its
// terminators still ends within the block.
struct PendingList {
    HKEY key;
    DWORD type;
    DWORD size;
    BYTE *data;
};

int OpenPendingList(PendingList *list, REGSAM access)
{
    ZeroMemory(list, sizeof(*list));
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, kSessionManager, 0, access, &list->key) !=
        ERROR_SUCCESS)
        return 0;
    LONG status = RegQueryValueExW(list->key, kPending, 0, &list->type, 0, &list->size);
    if (status == ERROR_FILE_NOT_FOUND || (status == ERROR_SUCCESS && list->size == 0))
        return 1;  // nothing pending
    if (status != ERROR_SUCCESS)
        return 0;
    list->data = (BYTE *)LocalAlloc(LMEM_ZEROINIT, list->size + 4);
    return list->data &&
           RegQueryValueExW(list->key, kPending, 0, &list->type, list->data, &list->size) ==
               ERROR_SUCCESS;
}

void ClosePendingList(PendingList *list)
{
    if (list->data)
        LocalFree(list->data);
    if (list->key)
        RegCloseKey(list->key);
}

// Case-insensitive over the whole text, as the file system compares names.
int StartsWithIgnoringCase(const wchar_t *text, const wchar_t *prefix)
{
    for (; *prefix; ++text, ++prefix) {
        if (!*text)
            return 0;
        if (*text != *prefix &&
            CharUpperW((LPWSTR)(ULONG_PTR)*text) != CharUpperW((LPWSTR)(ULONG_PTR)*prefix))
            return 0;
    }
    return 1;
}

int SameIgnoringCase(const wchar_t *a, const wchar_t *b)
{
    return lstrlenW(a) == lstrlenW(b) && StartsWithIgnoringCase(a, b);
}

// The form Windows stores a path in: "\??\" and the full path ("\??\UNC\"
// for a network path), without a trailing backslash. "/", "." and ".." are
// resolved by GetFullPathNameA.
int NtPathOf(const char *path, wchar_t *ntPath)
{
    char full[MAX_PATH];
    if (!FullPathOf(path, full))
        return 0;
    wchar_t wide[MAX_PATH] = {0};
    if (!MultiByteToWideChar(CP_ACP, 0, full, -1, wide, MAX_PATH))
        return 0;
    int network = wide[0] == L'\\' && wide[1] == L'\\';
    lstrcpyW(ntPath, network ? L"\\??\\UNC\\" : L"\\??\\");
    lstrcatW(ntPath, network ? wide + 2 : wide);
    return 1;
}

// A stored path matches with or without the "\??\" prefix.
int IsStoredAs(const wchar_t *stored, const wchar_t *ntPath)
{
    return SameIgnoringCase(stored, ntPath) || SameIgnoringCase(stored, ntPath + 4);
}

// Entries are counted in wide characters; an odd last byte stays untouched.
wchar_t *EntryEnd(wchar_t *entry, wchar_t *end)
{
    while (entry < end && *entry)
        ++entry;
    return entry;
}

// Removes every pair (source, empty target) whose source is one of `ntPaths`.
// Returns the number of bytes removed.
DWORD RemoveDeletions(PendingList *list, wchar_t (*ntPaths)[NT_PATH_SIZE], int count)
{
    wchar_t *start = (wchar_t *)list->data;
    wchar_t *end = start + list->size / sizeof(wchar_t);
    DWORD removed = 0;
    for (wchar_t *source = start; source < end && *source;) {
        wchar_t *target = EntryEnd(source, end) + 1;
        if (target >= end)
            break;
        wchar_t *next = EntryEnd(target, end) + 1;
        if (next > end)
            next = end;
        int matches = 0;
        for (int i = 0; i < count && !*target && !matches; ++i)
            matches = IsStoredAs(source, ntPaths[i]);
        if (!matches) {
            source = next;
            continue;
        }
        DWORD pairBytes = (DWORD)((BYTE *)next - (BYTE *)source);
        memmove(source, next, (size_t)((list->data + list->size) - (BYTE *)next));
        list->size -= pairBytes;
        end = start + list->size / sizeof(wchar_t);
        removed += pairBytes;
    }
    return removed;
}

} // namespace

int RegisterRestartOperation(const char *from, const char *to)
{
    int ok = MoveFileExA(from, to, MOVEFILE_DELAY_UNTIL_REBOOT) != 0;
    LogOutcome(ok ? 0 : GetLastError(), "restart: %s > %s", from, to ? to : "(deleted)");
    return ok;
}

int WithdrawRestartDeletions(const char *paths)
{
    static wchar_t ntPaths[WITHDRAW_LIMIT][NT_PATH_SIZE];
    int count = 0;
    for (const char *path = paths; *path; path = NextEntry(path))
        if (count == WITHDRAW_LIMIT || !NtPathOf(path, ntPaths[count++]))
            return 0;
    PendingList list;
    int ok = OpenPendingList(&list, KEY_QUERY_VALUE | KEY_SET_VALUE);
    if (ok && list.data && RemoveDeletions(&list, ntPaths, count))
        ok = RegSetValueExW(list.key, kPending, 0, list.type, list.data, list.size) ==
             ERROR_SUCCESS;
    ClosePendingList(&list);
    LogLine("restart: pending deletions taken back: %d", ok);
    LogPathLists(paths, 0);
    return ok;
}

int IsPendingRestartSource(const char *folder)
{
    wchar_t prefix[NT_PATH_SIZE + 1];
    if (!NtPathOf(folder, prefix))
        return 1;  // unknown counts as pending: the folder is left alone
    lstrcatW(prefix, L"\\");
    PendingList list;
    int pending = !OpenPendingList(&list, KEY_QUERY_VALUE);
    wchar_t *start = (wchar_t *)list.data;
    wchar_t *end = start + list.size / sizeof(wchar_t);
    for (wchar_t *entry = start; !pending && entry && entry < end;
         entry = EntryEnd(entry, end) + 1)
        pending = *entry && (StartsWithIgnoringCase(entry, prefix) ||
                             StartsWithIgnoringCase(entry, prefix + 4));
    ClosePendingList(&list);
    return pending;
}
