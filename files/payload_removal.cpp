// The payload's uninstall: every installed file is looked at before anything
// changes, the moves an upgrade left for the next Windows start are taken
// back, and the files go at once or at the next start. A deletion counts
// only when the files on disk show it.
#include "files/staging.h"

#include "base/log.h"
#include "base/system_version.h"
#include "base/text.h"
#include "restart/restart.h"

namespace {

// The first `count` paths of `paths` that are files now, into `existing`;
// one already gone counts as removed. 0 when one is a folder (it would be
// deleted with all it holds) or cannot be told to be there or gone.
int KeepExistingFiles(const char *paths, int count, PathList *existing)
{
    ClearList(existing);
    for (const char *path = paths; count-- > 0; path = NextEntry(path)) {
        int state = ProbePath(path);
        if (state == PATH_UNKNOWN || state == PATH_FOLDER) {
            LogLine("payload: %s is a folder or cannot be seen", path);
            return 0;
        }
        if (state == PATH_FILE && !AppendPath(existing, path, "", ""))
            return 0;
    }
    return 1;
}

// Deletes the files of `existing` now; each must be gone afterwards.
int DeleteNow(HWND owner, const PathList *existing, FILEOP_FLAGS quiet)
{
    if (existing->used)
        ShellOperation(owner, FO_DELETE, existing->text, 0, kDeleteFlags | quiet);
    for (const char *path = existing->text; *path; path = NextEntry(path))
        if (ProbePath(path) != PATH_GONE)
            return 0;
    return 1;
}

int DeleteAtNextStart(const PathList *existing, int nt)
{
    if (nt) {
        for (const char *path = existing->text; *path; path = NextEntry(path))
            if (!RegisterRestartOperation(path, 0))
                return 0;
        return 1;
    }
    static PathList lines;
    ClearList(&lines);
    for (const char *path = existing->text; *path; path = NextEntry(path))
        if (!AppendDeletionLine(&lines, path))
            return 0;
    return !lines.used || AppendRenameLines(lines.text);
}

// Moves onto the installed files that an upgrade left for the next Windows
// start would bring the files back after the uninstall: they are taken back,
// and the staged copies they would have moved go now, only once their
// withdrawal is written. Upgrade after upgrade may have left more moves than
// one list of sources holds: they are taken back a list at a time.
int WithdrawPendingMoves(const PathList *finals, int nt)
{
    static PathList sources;
    for (int more = 1; more;) {
        ClearList(&sources);
        if (!(nt ? WithdrawRestartMoves(finals->text, &sources, &more)
                 : WithdrawRenameMoves(finals->text, &sources, &more)))
            return 0;
        for (const char *source = sources.text; *source; source = NextEntry(source))
            RemoveStagedCopy(source);
        more = more && sources.used;  // a call that keeps no source has nothing left over
    }
    return 1;
}

// Every file is looked at before anything changes: one that cannot be seen
// stops the uninstall, so that the registry stays for a later one.
int RemoveFinalFiles(HWND owner, const PathList *finals, int deferred, int nt,
                     FILEOP_FLAGS quiet)
{
    static PathList now, later;
    // The uninstaller may be the running program: it goes at the next start.
    int atOnce = deferred ? 0 : PAYLOAD_FILE_COUNT - 1;
    return KeepExistingFiles(finals->text, PAYLOAD_FILE_COUNT - atOnce, &later) &&
           KeepExistingFiles(NextEntry(finals->text), atOnce, &now) &&
           WithdrawPendingMoves(finals, nt) && DeleteNow(owner, &now, quiet) &&
           DeleteAtNextStart(&later, nt);
}

} // namespace

// `xml` below 0: the plan could not tell the descriptor's form.
int RemovePayload(HWND owner, const char *folder, int xml, int deferred, FILEOP_FLAGS quiet)
{
    static PathList finals;
    if (xml < 0 || !BuildFinalList(&finals, folder, xml))
        return 0;
    HANDLE held = HoldInstalledFolder(folder);
    if (held == INVALID_HANDLE_VALUE)
        return 0;
    int ok = RemoveFinalFiles(owner, &finals, deferred, IsNtPlatform(), quiet);
    if (held)
        CloseHandle(held);
    return ok;
}
