// Where the program's system DLLs come from. setup.exe imports only KERNEL32
// statically, which every Windows maps from its system folder before the
// program's first instruction; every other system DLL is delay-loaded (the
// build's delay-import libraries) and, like the libraries loaded at run time
// here, comes from the system folder by full path. A DLL that another
// download left beside the program, or in its current folder, never loads
// into the process, which may run with administrator rights.
#ifndef BASE_SYSTEM_LIBRARY_H
#define BASE_SYSTEM_LIBRARY_H

#include <windows.h>

// The first thing the program does, before any call that may load a DLL:
// limits the search of every later load by name to the system folder where
// the system can (else takes the current folder out of it), and loads from
// the system folder, ahead of them, DLLs that system DLLs load by bare name.
void RestrictDllSearch(void);

// Loads the system DLL `name` (for good): by name where the process's
// activation context redirects that name (the manifest's Common Controls 6),
// else by full path from the system folder. Null when it cannot load.
HMODULE LoadSystemLibrary(const char *name);

// Loads `library` as above and returns the address of `name` in it, or null.
void *SystemLibraryEntry(const char *library, const char *name);

// SHGetFolderPath of shell32.dll, or of shfolder.dll where shell32 lacks it
// (Windows 98 and NT 4.0): the folder of CSIDL `place` into `folder` of
// MAX_PATH characters (the terminator included), on NT as AnsiPathOf gives
// it. It stays "" when the call fails with 0, or with -1 when the folder is
// there but no ANSI path names it.
int GetShellFolder(int place, char *folder);

#endif
