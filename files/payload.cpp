// The twelve payload files: staged beside nothing else in a private folder of
// the temporary folder, then moved into place at once or at the next Windows
// start; removed again on uninstall. A move or a deletion counts only when
// the files on disk show it: the shell's own result is not enough.
#include "files/files.h"

#include "base/log.h"
#include "base/format.h"
#include "base/system_version.h"
#include "base/text.h"
#include "files/setup_source.h"
#include "files/staging.h"
#include "registry/registry.h"

#include <shellapi.h>
#include <string.h>

namespace {

// The Payload list. Only the descriptor row differs in the XML form; a null
// XML column means the same name as in the INI form. Row 1 goes to the
// Windows folder, the others to the target folder.
struct PayloadRow {
    const char *source;
    const char *installed;
    const char *xmlSource;
    const char *xmlInstalled;
};

const PayloadRow kPayload[PAYLOAD_FILE_COUNT] = {
    {"setup.exe", "_zynu000.exe", 0, 0},
    {"Dorsel", "Dorsel.exe", 0, 0},
    {"Dorsel.zyn", "ZynSetup.ini", "VAKZYN.xml", "ZynSetup.xml"},
    {"ZynSetup.dat", "ZynSetup.dat", 0, 0},
    {"ZynSetup.dll", "ZynSetup.dll", 0, 0},
    {"ZYNSYSID.sys", "ZYNSYSID.sys", 0, 0},
    {"ZYNSYSID.vxd", "ZYNSYSID.vxd", 0, 0},
    {"zynliba.dll", "zynliba.dll", 0, 0},
    {"zynlibb.dll", "zynlibb.dll", 0, 0},
    {"unicows.dll", "unicows.dll", 0, 0},
    {"ZYNNTDEV.sys", "ZYNNTDEV.sys", 0, 0},
    {"ZynFlash.dll", "ZynFlash.dll", 0, 0},
};

} // namespace

const char *PayloadName(int row, PayloadColumn column, int xml)
{
    const PayloadRow &entry = kPayload[row];
    if (column == SOURCE_NAME)
        return xml && entry.xmlSource ? entry.xmlSource : entry.source;
    return xml && entry.xmlInstalled ? entry.xmlInstalled : entry.installed;
}

namespace {

// Each source goes to its own destination, without a progress window, and
// existing files are replaced without a question; deletions skip the
// recycle bin.
const FILEOP_FLAGS kCopyFlags =
    FOF_MULTIDESTFILES | FOF_SILENT | FOF_NOCONFIRMATION | FOF_NOCONFIRMMKDIR;
const FILEOP_FLAGS kDeleteFlags = FOF_SILENT | FOF_NOCONFIRMATION;

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

} // namespace

int AppendToList(PathList *list, const char *path)
{
    return AppendPath(list, path, "", "");
}

namespace {

void ClearList(PathList *list)
{
    memset(list, 0, sizeof(*list));
}

// One path per row; row 1 in `firstFolder` when given, every other in `folder`.
int BuildList(PathList *list, const char *folder, const char *firstFolder, PayloadColumn column,
              int xml)
{
    ClearList(list);
    for (int row = 0; row < PAYLOAD_FILE_COUNT; ++row)
        if (!AppendPath(list, row == 0 && firstFolder ? firstFolder : folder, "\\",
                        PayloadName(row, column, xml)))
            return 0;
    return 1;
}

// Row 1 in the Windows folder, the other rows in `folder`.
int BuildFinalList(PathList *list, const char *folder, int xml)
{
    char windows[MAX_PATH] = {0};
    UINT length = GetWindowsDirectoryA(windows, MAX_PATH);
    return length > 0 && length < MAX_PATH && BuildList(list, folder, windows, INSTALLED_NAME, xml);
}

// Whether the shell reports the whole operation done; under Wine a failed
// move can still return 0, which is why callers also look at the files.
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
    int result = RunShellFileOperation(&request);
    if (result == 0 && request.fAnyOperationsAborted)
        result = ERROR_CANCELLED;
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

// FindFirstFileA rather than GetFileAttributesExA: Windows 95 must still load
// the program to be told it is not supported.
int FileSize(const char *path, DWORD *size)
{
    WIN32_FIND_DATAA data;
    HANDLE search = FindFirstFileA(path, &data);
    if (search == INVALID_HANDLE_VALUE)
        return 0;
    FindClose(search);
    *size = data.nFileSizeLow;
    return !(data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) && !data.nFileSizeHigh;
}

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

int AppendDeletionLine(PathList *lines, const char *path)
{
    char shortPath[MAX_PATH];
    if (!ShortPathOfFile(path, shortPath))
        return ProbePath(path) == PATH_GONE;  // nothing there to delete
    return AppendPath(lines, "NUL=", "", shortPath);
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

// The payload's entries in the bundle, in the rows' order; 0 when one is missing.
int FindPayloadEntries(const SetupBundle *bundle, int xml,
                       const BundleEntry *entries[PAYLOAD_FILE_COUNT])
{
    for (int row = 0; row < PAYLOAD_FILE_COUNT; ++row) {
        entries[row] = FindBundleEntry(&bundle->index, PayloadName(row, SOURCE_NAME, xml));
        if (!entries[row]) {
            LogLine("bundle: %s missing", PayloadName(row, SOURCE_NAME, xml));
            return 0;
        }
    }
    return 1;
}

} // namespace

int HasBundledPayload(const SetupBundle *bundle, int xmlDescriptor)
{
    const BundleEntry *entries[PAYLOAD_FILE_COUNT];
    return FindPayloadEntries(bundle, xmlDescriptor, entries);
}

namespace {

// The payload's files to decode, taken one at a time by each decoding thread,
// largest first, so that no thread is left with a large file at the end.
struct DecodeJob {
    const SetupBundle *bundle;
    const BundleEntry *entries[PAYLOAD_FILE_COUNT];
    const char *paths[PAYLOAD_FILE_COUNT];
    int order[PAYLOAD_FILE_COUNT];  // rows by decoded size, largest first
    LONG next;    // the next place in `order` to take, less one
    LONG failed;  // a file failed: the rows left are not taken
};

DWORD WINAPI DecodeRows(LPVOID data)
{
    DecodeJob *job = (DecodeJob *)data;
    for (LONG at; !job->failed && (at = InterlockedIncrement(&job->next)) < PAYLOAD_FILE_COUNT;) {
        int row = job->order[at];
        if (DecodeBundleFile(job->bundle, job->entries[row], job->paths[row]) != DECODE_DONE)
            InterlockedExchange(&job->failed, 1);
    }
    return 0;
}

void OrderLargestFirst(DecodeJob *job)
{
    for (int at = 0; at < PAYLOAD_FILE_COUNT; ++at) {
        int row = at, place = at;
        for (; place > 0 && job->entries[job->order[place - 1]]->size < job->entries[row]->size;
             --place)
            job->order[place] = job->order[place - 1];
        job->order[place] = row;
    }
}

// Decoding is processor work: each further processor gets a thread of its
// own, up to three (each decoder holds the frame's window, 8 MiB at most).
const DWORD kMostHelperDecoders = 3;

DWORD StartHelperDecoders(DecodeJob *job, HANDLE helpers[kMostHelperDecoders])
{
    SYSTEM_INFO system;
    GetSystemInfo(&system);
    DWORD wanted = IsNtPlatform() ? system.dwNumberOfProcessors - 1 : 0, started = 0;
    if (wanted > kMostHelperDecoders)
        wanted = kMostHelperDecoders;
    for (DWORD id; started < wanted; ++started)
        if (!(helpers[started] = CreateThread(0, 0, DecodeRows, job, 0, &id)))
            break;
    return started;
}

// Each file decoded from the bundle straight into its staged place, with the
// size the index states.
int DecodePayload(const SetupBundle *bundle, int xml, const PathList *staged, DWORD *sizes)
{
    static DecodeJob job;
    memset(&job, 0, sizeof(job));
    job.bundle = bundle;
    job.next = -1;
    if (!FindPayloadEntries(bundle, xml, job.entries))
        return 0;
    const char *path = staged->text;
    for (int row = 0; row < PAYLOAD_FILE_COUNT; ++row, path = NextEntry(path)) {
        sizes[row] = job.entries[row]->size;
        job.paths[row] = path;
    }
    OrderLargestFirst(&job);
    HANDLE helpers[kMostHelperDecoders];
    DWORD started = StartHelperDecoders(&job, helpers);
    DecodeRows(&job);
    if (started)
        WaitForMultipleObjects(started, helpers, TRUE, INFINITE);
    while (started)
        CloseHandle(helpers[--started]);
    if (job.failed)
        return 0;
    for (int row = 0; row < PAYLOAD_FILE_COUNT; ++row)
        LogLine("  %s > %s", job.entries[row]->name, job.paths[row]);
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

namespace {

// One folder of the install's path; Windows 9x knows no access lists.
int CreateFolder(const char *path)
{
    return IsNtPlatform() ? CreateProtectedFolder(path) : CreateDirectoryA(path, 0);
}

// The size of payload row `row`: as the bundle's index states it, or of the
// file in the setup folder.
int SourceSize(const PayloadSource *source, int row, DWORD *size)
{
    const char *name = PayloadName(row, SOURCE_NAME, source->xmlDescriptor);
    if (source->bundle) {
        const BundleEntry *entry = FindBundleEntry(&source->bundle->index, name);
        *size = entry ? entry->size : 0;
        return entry != 0;
    }
    char path[MAX_PATH];
    return FormatText(path, sizeof(path), "%s\\%s", source->setupFolder, name) &&
           FileSize(path, size);
}

} // namespace

int MeasurePayload(const PayloadSource *source, DWORD *kilobytes)
{
    if (!source->setupFolder && !source->bundle)
        return 0;
    ULONGLONG bytes = 0;
    for (int row = 0; row < PAYLOAD_FILE_COUNT; ++row) {
        DWORD size;
        if (!SourceSize(source, row, &size))
            return 0;
        bytes += size;
    }
    ULONGLONG rounded = (bytes + 1023) / 1024;
    *kilobytes = rounded > 0xFFFFFFFF ? 0xFFFFFFFF : (DWORD)rounded;
    return 1;
}

int CreateFolderPath(const char *path)
{
    if (!path || strlen(path) >= MAX_PATH)
        return 0;
    if (CreateFolder(path) || GetLastError() == ERROR_ALREADY_EXISTS)
        return 1;
    char parent[MAX_PATH] = {0};
    lstrcpynA(parent, path, MAX_PATH);
    // Past the two backslashes that open a network path.
    char *cut = strrchr(parent[0] == '\\' ? parent + 2 : parent, '\\');
    if (!cut)
        return 0;
    *cut = 0;
    return CreateFolderPath(parent) && CreateFolder(path);
}
