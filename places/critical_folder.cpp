// Folders setup never installs to or deletes from, whatever a user, a script
// or the registry names: a drive root, the Windows folder and everything in
// it, the Program Files and Common Files folders of either view, the profile
// folder and every shell folder of the user or of all users, and any folder
// that holds one of these. Every name is compared as a place (see PlaceKey),
// so device prefixes, 8.3 names, shares of this machine and links lead to
// the same answer as the plain path. The critical places are read once per
// run; each folder asked about is then read once and compared with them.
#include "places/places.h"

#include "base/ansi_path.h"
#include "base/log.h"
#include "base/system_library.h"
#include "base/text.h"
#include "registry/registry.h"

#include <shlobj.h>
#include <string.h>

namespace {

enum {
    SHELL_FOLDER_IDS = 0x40,  // every CSIDL value Windows defines
    COVERED_PLACES = 256      // critical folders and the folders above them
};

// The Program Files folders as the 32-bit program sees them and in the
// native view of 64-bit Windows, which also names its own "...W6432Dir".
const char *const kProgramFolderValues[] = {"ProgramFilesDir", "CommonFilesDir",
                                            "ProgramW6432Dir", "CommonW6432Dir"};
const REGSAM kViews[] = {0, 0x0100 /* KEY_WOW64_64KEY */};

// A place that a critical folder is or lies in, with the path it was read
// from: folders that several critical folders share are read once.
struct CoveredPlace {
    char walked[MAX_PATH];
    PlaceKey key;
};

struct CriticalPlaces {
    int state;  // 0 not read yet, 1 read, -1 unknown: every folder is refused
    const char *unknown;  // what could not be read, logged at the first question
    int told;
    HANDLE reader;        // the thread reading them ahead, until it is waited for
    PlaceKey windows;
    CoveredPlace covered[COVERED_PLACES];
    int count;
};

CriticalPlaces g_critical;

// Spelled alike, letter case aside: read before, with the folders above it.
int IsWalked(const char *path)
{
    size_t size = strlen(path) + 1;
    for (int i = 0; i < g_critical.count; ++i)
        if (EqualIgnoringCase(g_critical.covered[i].walked, path, size))
            return 1;
    return 0;
}

// Adds the place `folder` and every folder above it, up to the root or to a
// folder read before; 0 when the table is full.
int Cover(const char *folder)
{
    char walk[MAX_PATH];
    lstrcpynA(walk, folder, MAX_PATH);
    for (int step = 0; walk[0] && !IsWalked(walk); ++step) {
        if (g_critical.count == COVERED_PLACES)
            return 0;
        CoveredPlace &place = g_critical.covered[g_critical.count];
        if (!ReadPlaceKey(walk, &place.key))
            return 1;  // no place: nothing it could cover
        lstrcpyA(place.walked, walk);
        ++g_critical.count;
        if (step == 0)
            lstrcpyA(walk, place.key.path);  // the folders above it as it resolves
        if (!CutToParentFolder(walk))
            return 1;
    }
    return 1;
}

int CoverProgramFolders(void)
{
    for (size_t i = 0; i < sizeof(kProgramFolderValues) / sizeof(kProgramFolderValues[0]); ++i)
        for (size_t view = 0; view < sizeof(kViews) / sizeof(kViews[0]); ++view) {
            char place[MAX_PATH];
            if (ReadCurrentVersionValueOfView(kProgramFolderValues[i], place, MAX_PATH,
                                              kViews[view]) &&
                !Cover(place))
                return 0;
        }
    return 1;
}

// A shell folder that no ANSI path names cannot be compared with any other:
// 0 with `unknown` naming it.
int CoverShellFolders(const char **unknown)
{
    char place[MAX_PATH];
    for (int id = 0; id < SHELL_FOLDER_IDS; ++id) {
        int read = GetShellFolder(id, place);
        if (read < 0)
            *unknown = "shell folder without ANSI path";
        if (read < 0 || (read && !Cover(place)))
            return 0;
    }
    return 1;
}

// Reads every critical place; 0, with `unknown` naming what could not be
// read, when setup cannot tell which folders are critical.
int ReadCriticalPlaces(const char **unknown)
{
    char windows[MAX_PATH];
    char system[MAX_PATH];
    *unknown = "Windows folder";
    if (!ReadWindowsFolder(windows) || !ReadSystemFolder(system) || !Cover(windows) ||
        !g_critical.count)
        return 0;
    g_critical.windows = g_critical.covered[0].key;
    // Every version of shfolder.dll knows the Windows folder: without it,
    // the shell folders cannot be asked at all.
    *unknown = "shfolder.dll";
    if (GetShellFolder(CSIDL_WINDOWS, windows) <= 0)
        return 0;
    *unknown = "too many";
    return Cover(system) && CoverProgramFolders() && CoverShellFolders(unknown);
}

void ReadAllCriticalPlaces(void)
{
    g_critical.unknown = "";
    g_critical.state = ReadCriticalPlaces(&g_critical.unknown) ? 1 : -1;
}

DWORD WINAPI ReadCriticalPlacesAhead(LPVOID)
{
    ReadAllCriticalPlaces();
    return 0;
}

// Whether the critical places are known; read at the first question unless
// they were read ahead.
int KnowCriticalPlaces(void)
{
    FinishReadingCriticalPlaces();
    if (!g_critical.state)
        ReadAllCriticalPlaces();
    if (g_critical.state < 0 && !g_critical.told) {
        g_critical.told = 1;
        LogLine("critical folders unknown: %s", g_critical.unknown);
    }
    return g_critical.state == 1;
}

int IsCoveredPlace(const PlaceKey *key)
{
    for (int i = 0; i < g_critical.count; ++i)
        if (IsSamePlaceKey(key, &g_critical.covered[i].key))
            return 1;
    return 0;
}

// A ':' after the drive letter (after a device prefix, if any): the path
// names a stream, or a folder by its index, not the folder it spells.
int NamesAStream(const char *folder)
{
    char plain[MAX_PATH];
    if (!DropDevicePrefix(folder, plain))
        return 0;  // no place of files at all: ReadPlaceKey says so
    const char *colon = strchr(plain + (plain[0] && plain[1] == ':' ? 2 : 0), ':');
    if (colon)
        LogLine("folder %s refused: a ':' after its drive", folder);
    return colon != 0;
}

} // namespace

void StartReadingCriticalPlaces(void)
{
    DWORD id;
    if (!g_critical.state && !g_critical.reader)
        g_critical.reader = CreateThread(0, 0, ReadCriticalPlacesAhead, 0, 0, &id);
}

void FinishReadingCriticalPlaces(void)
{
    if (!g_critical.reader)
        return;
    WaitForSingleObject(g_critical.reader, INFINITE);
    CloseHandle(g_critical.reader);
    g_critical.reader = 0;
}

int IsCriticalFolder(const char *folder)
{
    PlaceKey key;
    return !KnowCriticalPlaces() || !folder || NamesAStream(folder) || !ReadPlaceKey(folder, &key) ||
           IsDriveRoot(&key) || IsCoveredPlace(&key) ||
           ContainsPlaceKey(&g_critical.windows, &key);
}
