// Paths between the system and this ANSI program. Windows hands an ANSI
// program every path through the ANSI code page, and a letter that the code
// page lacks comes out as a look-alike ("ł" as "l") or as '?': another file or
// folder than the one meant, or none. So on NT the program reads each path
// the system gives it as wide text and uses it only in an ANSI form that
// names exactly the same place: the path itself where every letter has its
// own ANSI character, else its short (8.3) name, which the file system makes
// in ASCII. Windows 9x works in the ANSI code page itself: its paths are taken
// as they come, and its wide calls are never made. Only kernel32 is called
// here: the system folder is read before msvcrt.dll is loaded.
#ifndef BASE_ANSI_PATH_H
#define BASE_ANSI_PATH_H

#include <windows.h>

// `wide` in the ANSI code page into `text` of `size` bytes, each letter that
// has no exact form there written as '?'. 0 with "" when it does not fit.
int ToAnsiText(const wchar_t *wide, char *text, int size);

// 1 when `path` holds a '?' past a device prefix ("\\?\", "\??\"): a letter
// that ToAnsiText could not write, or a wildcard; no file or folder has one.
int HasMissingLetter(const char *path);

// The exact ANSI form of the path `wide`, else that of its short name, into
// `path` (MAX_PATH characters); 0 with "" when neither has one (the place
// is not there, or its volume makes no short names).
int AnsiPathOf(const wchar_t *wide, char *path);
// The short name of the existing `path` into `shortPath` (MAX_PATH
// characters): GetShortPathNameW's result.
DWORD ReadShortPath(const wchar_t *path, wchar_t *shortPath);

// The full path of `path`, relative to the current folder as it truly is
// (the current folder's ANSI name may be a look-alike), into `full`
// (MAX_PATH characters); 0 with "" when it has no exact ANSI form.
int FullAnsiPath(const char *path, char *full);

// A path the system names, into `path` of MAX_PATH characters as AnsiPathOf
// gives it; 0 with "" when there is none.
enum SystemPath { PROGRAM_FILE, WINDOWS_FOLDER, SYSTEM_FOLDER, TEMP_PATH };
int ReadSystemPath(SystemPath which, char *path);

// The running program's file.
inline int ReadProgramFile(char *path)
{
    return ReadSystemPath(PROGRAM_FILE, path);
}
inline int ReadWindowsFolder(char *path)
{
    return ReadSystemPath(WINDOWS_FOLDER, path);
}
inline int ReadSystemFolder(char *path)
{
    return ReadSystemPath(SYSTEM_FOLDER, path);
}

// The command line as the caller wrote it. On NT it is read as wide text and
// written as ToAnsiText does: a "/D=" or "/L=" path with a letter that the
// ANSI code page lacks holds a '?' and is refused, rather than taken for its
// look-alike ("C:\Zazolc" for "C:\Zażółć") as the ANSI command line would
// give it. The longest command line (32767 characters) fits at three bytes a
// character, UTF-8's most.
char *ReadCommandLine(void);

// The temporary folder, with its final backslash, into `path` (MAX_PATH
// characters): %TEMP% as AnsiPathOf gives it; without such a form the
// Windows folder's "Temp", which Administrators own. 0 when neither fits.
int ReadTempFolder(char *path);

#endif
