// The payload's install: staged beside nothing else in a private folder of
// the temporary folder (copied from the setup folder, or decoded from the
// bundle), then moved into place at once or registered to replace the
// installed files at the next Windows start. A move counts only when the
// files on disk show it: the shell's own result is not enough.
#include "files/staging.h"

#include "base/log.h"
#include "base/system_version.h"
#include "base/text.h"
#include "registry/registry.h"
#include "restart/restart.h"

#include <string.h>

namespace {

// The sizes of the twelve files of a list; fails when one is not a file.
int RecordSizes(const PathList *files, DWORD *sizes)
{
    int row = 0;
    for (const char *path = files->text; *path; path = NextEntry(path))
        if (row == PAYLOAD_FILE_COUNT || !FileSize(path, &sizes[row++]))
            return 0;
    return row == PAYLOAD_FILE_COUNT;
}

// Every path of `files` is a file of the size recorded for its row.
int SizesMatch(const PathList *files, const DWORD *sizes)
{
    int row = 0;
    DWORD size = 0;
    for (const char *path = files->text; *path; path = NextEntry(path), ++row) {
        if (row == PAYLOAD_FILE_COUNT || !FileSize(path, &size) || size != sizes[row]) {
            LogLine("payload: %s is missing or not of its size", path);
            return 0;
        }
    }
    return 1;
}

// Deletes one file now, or registers its deletion for the next start.
int RemoveAtOnceOrLater(HWND owner, const char *path, int deferred, int nt, FILEOP_FLAGS quiet)
{
    if (!deferred) {
        char single[MAX_PATH + 1] = {0};
        lstrcpynA(single, path, MAX_PATH);
        ShellOperation(owner, FO_DELETE, single, 0, kDeleteFlags | quiet);
        return ProbePath(path) == PATH_GONE;
    }
    if (nt)
        return RegisterRestartOperation(path, 0);
    PathList line;
    ClearList(&line);
    return AppendDeletionLine(&line, path) && AppendRenameLines(line.text);
}

// Pending deletions of the paths an install puts files at would remove the
// new files at the next start: an uninstall of the application while it was
// running, or of the uninstaller itself, leaves such deletions behind.
int WithdrawPendingDeletions(const PathList *paths, int nt)
{
    return nt ? WithdrawRestartDeletions(paths->text) : WithdrawRenameDeletions(paths->text);
}

// Registers each staged file to replace its installed one at the next start.
// `registered` counts the pairs done, so that a failure can take them back.
int RegisterReplacements(const PathList *staged, const PathList *finals, int nt, int *registered)
{
    const char *source = staged->text;
    for (const char *target = finals->text; *target && *source;
         target = NextEntry(target), source = NextEntry(source)) {
        if (nt) {
            RegisterRestartOperation(target, 0);
            if (!RegisterRestartOperation(source, target))
                return 0;
        } else {
            char shortTarget[MAX_PATH];
            char shortSource[MAX_PATH];
            if (!ShortPathOfNewFile(target, shortTarget) || !ShortPathOfFile(source, shortSource) ||
                !WriteRenameEntry(shortTarget, shortSource))
                return 0;
        }
        ++*registered;
    }
    return 1;
}

// After a failed registration no installed file may be deleted at the next
// start without its replacement: the deletions go, and the moves are left
// without sources once the staged copies are removed.
void WithdrawReplacements(const PathList *finals, int registered, int nt)
{
    if (nt) {
        WithdrawRestartDeletions(finals->text);
        return;
    }
    const char *target = finals->text;
    for (int pair = 0; pair < registered; ++pair, target = NextEntry(target)) {
        char shortTarget[MAX_PATH];
        if (ShortPathOfNewFile(target, shortTarget))
            WriteRenameEntry(shortTarget, 0);
    }
}

// Replace on restart: the staged copies stay until Windows moves them. On NT
// their folder is deleted after them, once it is empty; WININIT.INI deletes
// no folder, so on 9x the next run's start-up removes it.
int RegisterReplacementsAndStaging(const PathList *staged, const PathList *finals,
                                   const char *staging, int nt)
{
    int registered = 0;
    if (!RegisterReplacements(staged, finals, nt, &registered)) {
        WithdrawReplacements(finals, registered, nt);
        return 0;
    }
    return !nt || RegisterRestartOperation(staging, 0);
}

// The immediate move, checked on disk: every final file is there with the
// size of its staged copy, and the staging folder is empty and gone.
int MoveIntoPlace(HWND owner, const PathList *staged, const PathList *finals, const char *staging,
                  FILEOP_FLAGS quiet)
{
    DWORD sizes[PAYLOAD_FILE_COUNT];
    return RecordSizes(staged, sizes) &&
           ShellOperation(owner, FO_MOVE, staged->text, finals->text, kCopyFlags | quiet) &&
           SizesMatch(finals, sizes) &&
           (RemoveDirectoryA(staging) || LogFailure("RemoveDirectoryA", staging));
}

// The installed descriptor of the other form and, on NT, a stale application
// manifest: only files, never a folder of that name.
int RemoveOutdatedFiles(HWND owner, const char *folder, int xml, int deferred, int nt,
                        FILEOP_FLAGS quiet)
{
    const char *names[] = {xml ? "ZynSetup.ini" : "ZynSetup.xml", "dorsel.exe.manifest"};
    for (int i = 0; i < 1 + nt; ++i) {
        char found[MAX_PATH];
        int state = FindFileInFolder(folder, names[i], found);
        if (state == PATH_UNKNOWN ||
            (state == PATH_FILE && !RemoveAtOnceOrLater(owner, found, deferred, nt, quiet)))
            return 0;
    }
    return 1;
}

int PlaceStagedFiles(HWND owner, const char *folder, int xml, int deferred, const PathList *staged,
                     const PathList *finals, const char *staging, FILEOP_FLAGS quiet)
{
    int nt = IsNtPlatform();
    if (!WithdrawPendingDeletions(finals, nt))
        return 0;
    if (!CreateFolderPath(folder))
        return LogFailure("CreateDirectoryA", folder);
    if (nt)
        for (const char *file = staged->text; *file; file = NextEntry(file))
            SetFileAccessRights(file);
    if (!RemoveOutdatedFiles(owner, folder, xml, deferred, nt, quiet))
        return 0;
    if (deferred)
        return RegisterReplacementsAndStaging(staged, finals, staging, nt);
    return MoveIntoPlace(owner, staged, finals, staging, quiet);
}

// Each file decoded from the bundle straight into its staged place, with the
// size the index states.
int DecodePayload(const SetupBundle *bundle, int xml, const PathList *staged, DWORD *sizes)
{
    const BundleEntry *entries[PAYLOAD_FILE_COUNT];
    const char *paths[PAYLOAD_FILE_COUNT];
    if (!FindPayloadEntries(bundle, xml, entries))
        return 0;
    const char *path = staged->text;
    for (int row = 0; row < PAYLOAD_FILE_COUNT; ++row, path = NextEntry(path)) {
        sizes[row] = entries[row]->size;
        paths[row] = path;
    }
    if (!DecodeBundleFiles(bundle, entries, paths, PAYLOAD_FILE_COUNT))
        return 0;
    for (int row = 0; row < PAYLOAD_FILE_COUNT; ++row)
        LogLine("  %s > %s", entries[row]->name, paths[row]);
    LogLine("payload decoded from the bundle");
    return 1;
}

// The payload in the staging folder, with the sizes its files must have.
int StagePayload(HWND owner, const PayloadSource *source, const PathList *staged,
                 FILEOP_FLAGS quiet, DWORD *sizes)
{
    const int xml = source->xmlDescriptor;
    if (source->bundle)
        return DecodePayload(source->bundle, xml, staged, sizes);
    static PathList sources;
    return BuildList(&sources, source->setupFolder, 0, SOURCE_NAME, xml) &&
           ShellOperation(owner, FO_COPY, sources.text, staged->text, kCopyFlags | quiet) &&
           RecordSizes(&sources, sizes);
}

} // namespace

int InstallPayload(HWND owner, const PayloadSource *source, const char *folder, int deferred,
                   FILEOP_FLAGS quiet)
{
    static PathList staged, finals;
    char staging[MAX_PATH];
    const int xml = source->xmlDescriptor;
    if ((!source->setupFolder && !source->bundle) || !BuildFinalList(&finals, folder, xml) ||
        !CreateStagingFolder(staging))
        return 0;
    DWORD sizes[PAYLOAD_FILE_COUNT];
    int ok = BuildList(&staged, staging, 0, INSTALLED_NAME, xml) &&
             StagePayload(owner, source, &staged, quiet, sizes) && SizesMatch(&staged, sizes) &&
             PlaceStagedFiles(owner, folder, xml, deferred, &staged, &finals, staging, quiet);
    if (!ok)
        RemoveStagingFolder(staging);  // what this run staged, then its folder
    return ok;
}

