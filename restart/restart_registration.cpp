// Registrations for the next Windows start on the NT family, through
// MoveFileExA, and taking deletions and moves back. The pending list is
// shared with every other program: it is read and written with the wide
// calls and only the pairs taken back change, so no other entry loses a
// byte. Entries are compared as places (see PlaceKey), so any spelling of one
// of this program's files is found.
#include "restart/restart.h"

#include "base/log.h"
#include "base/text.h"

#include <string.h>

namespace {

const char kSessionManager[] = "SYSTEM\\CurrentControlSet\\Control\\Session Manager";
const wchar_t kPending[] = L"PendingFileRenameOperations";

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

// A stored entry as a path of the ANSI code page, without the "!" that marks
// the target of a move that replaces an existing file; 0 for a name this code
// page cannot spell, which is never one this program registered.
int EntryPath(const wchar_t *entry, char *path)
{
    BOOL lossy = FALSE;
    if (*entry == L'!')
        ++entry;
    int length = WideCharToMultiByte(CP_ACP, 0, entry, -1, path, MAX_PATH, 0, &lossy);
    return length > 0 && !lossy;
}

// Entries are counted in wide characters; an odd last byte stays untouched.
wchar_t *EntryEnd(wchar_t *entry, wchar_t *end)
{
    while (entry < end && *entry)
        ++entry;
    return entry;
}

int IsOneOf(const wchar_t *entry, const Withdrawal *withdrawal)
{
    char path[MAX_PATH];
    return EntryPath(entry, path) && IsInPlaceSet(path, &withdrawal->places);
}

int IsDeletionOfOne(const wchar_t *source, const wchar_t *target, Withdrawal *withdrawal)
{
    return !*target && IsOneOf(source, withdrawal);
}

int IsMoveIntoOne(const wchar_t *source, const wchar_t *target, Withdrawal *withdrawal)
{
    char path[MAX_PATH];
    return *target && IsOneOf(target, withdrawal) &&
           (!EntryPath(source, path) || TakeBackMove(withdrawal, path));
}

typedef int (*PairTest)(const wchar_t *source, const wchar_t *target, Withdrawal *withdrawal);

// Removes every pair (source, target) that `test` picks; the rest of the
// list, other programs' entries included, keeps every byte. Returns the
// number of bytes removed.
DWORD RemovePairs(PendingList *list, PairTest test, Withdrawal *withdrawal)
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
        if (!test(source, target, withdrawal)) {
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

// Takes back the pairs `test` picks among the paths of `paths`; `more` as
// WithdrawRestartMoves tells it.
int WithdrawPairs(const char *paths, PairTest test, PathList *sources, int *more)
{
    static Withdrawal withdrawal;
    withdrawal.sources = sources;
    withdrawal.more = 0;
    PendingList list;
    int ok = OpenPendingList(&list, KEY_QUERY_VALUE | KEY_SET_VALUE);
    // The paths are read as places only when something is pending.
    if (ok && list.data && *(const wchar_t *)list.data) {
        ok = ReadPlaceSet(paths, &withdrawal.places);
        if (ok && RemovePairs(&list, test, &withdrawal))
            ok = RegSetValueExW(list.key, kPending, 0, list.type, list.data, list.size) ==
                 ERROR_SUCCESS;
    }
    ClosePendingList(&list);
    *more = ok && withdrawal.more;
    return ok;
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
    int more;
    int ok = WithdrawPairs(paths, IsDeletionOfOne, 0, &more);
    return LogWithdrawal("restart:", "pending deletions", ok, paths);
}

int WithdrawRestartMoves(const char *paths, PathList *sources, int *more)
{
    int ok = WithdrawPairs(paths, IsMoveIntoOne, sources, more);
    return LogWithdrawal("restart:", "moves", ok, sources->text);
}

int IsPendingRestartSource(const char *folder)
{
    PlaceKey place;
    if (!ReadPlaceKey(folder, &place))
        return 1;  // unknown counts as pending: the folder is left alone
    PendingList list;
    int pending = !OpenPendingList(&list, KEY_QUERY_VALUE);
    wchar_t *start = (wchar_t *)list.data;
    wchar_t *end = start + list.size / sizeof(wchar_t);
    for (wchar_t *entry = start; !pending && entry && entry < end;
         entry = EntryEnd(entry, end) + 1) {
        char path[MAX_PATH];
        pending = *entry && EntryPath(entry, path) &&
                  IsInsidePlace(&place, path);
    }
    ClosePendingList(&list);
    return pending;
}
