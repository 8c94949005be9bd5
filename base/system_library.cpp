// The search restriction, the loads by full path and the helper that the
// delay-import stubs call (see system_library.h). What runs before msvcrt.dll
// is loaded, or while it is being loaded, calls kernel32 only.
#include "base/system_library.h"

#include "base/ansi_path.h"
#include "base/system_entry.h"

#include <delayimp.h>

namespace {

const DWORD kSearchSystem32 = 0x800;     // LOAD_LIBRARY_SEARCH_SYSTEM32
const ULONG kDllRedirectionSection = 2;  // ACTIVATION_CONTEXT_SECTION_DLL_REDIRECTION

// Set once every later load searches the system folder only. Until then a
// load by full path has the DLL's own dependencies searched from its folder
// (the system folder) first rather than from the program's.
int g_searchRestricted;

// Loaded from the system folder at the start, on the NT family:
// - advapi32, in which the program looks up optional entry points of the
//   security calls (LookupSystemEntry loads nothing);
// - DLLs that system DLLs load by bare name, each before a system DLL asks
//   for it: a load by bare name gets a module already loaded under that name.
//   Measured under Wine with a planted copy of each: user32 loads imm32
//   (input methods) and, like Common Controls 6, uxtheme (visual styles),
//   both found beside the program where the search cannot be limited;
//   shell32 loads ole32 when it first needs it, and the visual styles load
//   msimg32 (AlphaBlend, TransparentBlt) when a dialog, the folder browser
//   or a message box first draws, through a search that Wine does not limit
//   even then. Their own dependencies (user32, gdi32, msvcrt)
//   come from the system folder with them, where a later load of Common
//   Controls 6 by name, whose dependencies the standard search finds, then
//   finds them.
const char kLoadedFirst[] =
    "advapi32.dll\0imm32.dll\0uxtheme.dll\0msimg32.dll\0ole32.dll\0";

// Where the search cannot be limited (NT 4.0 to Vista, and 7 without its
// update), then also the DLLs that are no known DLLs there, that system DLLs
// load by name, and that installers on those systems were found to load from
// their download folders: the visual styles' dwmapi, version, the profile's
// userenv, the shell's propsys and apphelp, cryptbase, oleacc and COM's
// clbcatq. One that a system lacks fails to load here and changes nothing.
const char kLoadedFirstUnrestricted[] =
    "dwmapi.dll\0version.dll\0userenv.dll\0propsys.dll\0apphelp.dll\0cryptbase.dll\0"
    "oleacc.dll\0clbcatq.dll\0";

// ACTCTX_SECTION_KEYED_DATA as Windows XP defines it, the oldest size the
// call accepts.
struct KeyedData {
    ULONG size;
    ULONG rest[9];
};

// 1 when the activation context of the calling thread (the process's, from
// the manifest) redirects the DLL name `name`. Windows before XP have no
// activation contexts.
int IsRedirectedByActivationContext(const char *name)
{
    typedef BOOL(WINAPI * FindSectionStringFn)(DWORD, const GUID *, ULONG, LPCSTR, KeyedData *);
    FindSectionStringFn find =
        (FindSectionStringFn)LookupSystemEntry("kernel32.dll", "FindActCtxSectionStringA");
    KeyedData data;
    data.size = sizeof(data);
    return find && find(0, 0, kDllRedirectionSection, name, &data);
}

void LoadSystemLibraries(const char *names)
{
    for (; *names; names += lstrlenA(names) + 1)
        LoadSystemLibrary(names);
}

} // namespace

// The loader of Windows 10 1607 and later reads DependentLoadFlags (the
// header's Reserved1) before any code runs and resolves the static imports
// from the system folder only. Size 64, the one that x86 programs give for
// Windows XP, ends before the SafeSEH fields: a handler table that is empty
// within the size would make every exception handler invalid. The build
// points the header's data directory here by this name.
extern "C" const IMAGE_LOAD_CONFIG_DIRECTORY32 _load_config_used
    __attribute__((used)) = {64, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,
                             (WORD)kSearchSystem32, 0, 0, 0, 0};

void RestrictDllSearch(void)
{
    // GetVersion rather than the run's version record, whose reading would
    // already call msvcrt.dll (memset).
    DWORD version = GetVersion();
    // Windows 9x has no privilege boundary and no such settings; it loads the
    // Unicode layer from beside the program, which is where it belongs there.
    if (version & 0x80000000)
        return;
    // Vista (6.0) is left out: its shell link object then fails to create.
    typedef BOOL(WINAPI * SetDefaultDirectoriesFn)(DWORD);
    SetDefaultDirectoriesFn setDefault =
        (version & 0xFFFF) == 6 ? 0
                                : (SetDefaultDirectoriesFn)LookupSystemEntry(
                                      "kernel32.dll", "SetDefaultDllDirectories");
    if (setDefault && setDefault(kSearchSystem32)) {
        g_searchRestricted = 1;
    } else {
        // The current folder out of the search where the system has the call
        // (XP SP1 on); the program's own folder stays first in it.
        typedef BOOL(WINAPI * SetDllDirectoryFn)(LPCSTR);
        SetDllDirectoryFn setDirectory =
            (SetDllDirectoryFn)LookupSystemEntry("kernel32.dll", "SetDllDirectoryA");
        if (setDirectory)
            setDirectory("");
    }
    LoadSystemLibraries(kLoadedFirst);
    if (!g_searchRestricted)
        LoadSystemLibraries(kLoadedFirstUnrestricted);
}

HMODULE LoadSystemLibrary(const char *name)
{
    // The manifest's Common Controls 6 lives in the side-by-side store, where
    // the activation context redirects a load by name; a full path would
    // bypass the redirection and give the system folder's version 5.
    if (IsRedirectedByActivationContext(name))
        return LoadLibraryA(name);
    char path[MAX_PATH];
    if (!ReadSystemFolder(path))
        return 0;
    int length = lstrlenA(path);
    if (length + 1 + lstrlenA(name) >= MAX_PATH)
        return 0;
    path[length] = '\\';
    lstrcpyA(path + length + 1, name);  // fits: checked above
    return LoadLibraryExA(path, 0, g_searchRestricted ? 0 : LOAD_WITH_ALTERED_SEARCH_PATH);
}

void *SystemLibraryEntry(const char *library, const char *name)
{
    HMODULE module = LoadSystemLibrary(library);  // stays loaded for the process
    return module ? (void *)GetProcAddress(module, name) : 0;
}

// Called by a delay-import stub the first time the program calls a function
// of a DLL other than KERNEL32: loads the DLL as above, finds the function by
// name (the build's delay imports name every function and give RVAs) and
// writes it into the import slot. A DLL or function that cannot be had ends
// the process with the Windows error code that says so (126
// ERROR_MOD_NOT_FOUND, 127 ERROR_PROC_NOT_FOUND) rather than calling nothing.
extern "C" IMAGE_DOS_HEADER __ImageBase;

extern "C" FARPROC WINAPI __delayLoadHelper2(PCImgDelayDescr descriptor, FARPROC *slot)
{
    BYTE *image = (BYTE *)&__ImageBase;
    HMODULE *module = (HMODULE *)(image + descriptor->rvaHmod);
    if (!*module) {
        HMODULE loaded = LoadSystemLibrary((const char *)(image + descriptor->rvaDLLName));
        if (!loaded)
            ExitProcess(ERROR_MOD_NOT_FOUND);
        *module = loaded;
    }
    const IMAGE_THUNK_DATA32 *names = (const IMAGE_THUNK_DATA32 *)(image + descriptor->rvaINT);
    DWORD entry = names[slot - (FARPROC *)(image + descriptor->rvaIAT)].u1.AddressOfData;
    FARPROC address =
        GetProcAddress(*module, (LPCSTR)((const IMAGE_IMPORT_BY_NAME *)(image + entry))->Name);
    if (!address)
        ExitProcess(ERROR_PROC_NOT_FOUND);
    *slot = address;
    return address;
}
