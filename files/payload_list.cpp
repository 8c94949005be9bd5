// The Payload list: the twelve files with their names beside the setup
// program and as installed, the lists of paths the shell works on, the
// files' sizes, and the shell's file operations over those lists.
#include "files/staging.h"

#include "base/ansi_path.h"
#include "base/format.h"
#include "base/log.h"
#include "restart/restart.h"

#include <string.h>

namespace {

// Only the descriptor row differs in the XML form; a null XML column means
// the same name as in the INI form. Row 1 goes to the Windows folder, the
// others to the target folder.
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

const char *PayloadName(int row, PayloadColumn column, int xml)
{
    const PayloadRow &entry = kPayload[row];
    if (column == SOURCE_NAME)
        return xml && entry.xmlSource ? entry.xmlSource : entry.source;
    return xml && entry.xmlInstalled ? entry.xmlInstalled : entry.installed;
}

int AppendPath(PathList *list, const char *prefix, const char *separator, const char *name)
{
    char path[MAX_PATH];
    return FormatText(path, sizeof(path), "%s%s%s", prefix, separator, name) &&
           AppendToList(list, path);
}

void ClearList(PathList *list)
{
    memset(list, 0, sizeof(*list));
}

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

int BuildFinalList(PathList *list, const char *folder, int xml)
{
    char windows[MAX_PATH];
    return ReadWindowsFolder(windows) && BuildList(list, folder, windows, INSTALLED_NAME, xml);
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

int AppendDeletionLine(PathList *lines, const char *path)
{
    char shortPath[MAX_PATH];
    if (!ShortPathOfFile(path, shortPath))
        return ProbePath(path) == PATH_GONE;  // nothing there to delete
    return AppendPath(lines, "NUL=", "", shortPath);
}

// Under Wine a failed move can still return 0, which is why callers also
// look at the files.
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

int HasBundledPayload(const SetupBundle *bundle, int xmlDescriptor)
{
    const BundleEntry *entries[PAYLOAD_FILE_COUNT];
    return FindPayloadEntries(bundle, xmlDescriptor, entries);
}

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
