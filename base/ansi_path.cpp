// Exact ANSI paths; see ansi_path.h. Strings are compared and copied by
// hand or with kernel32's calls: the system folder is read while msvcrt.dll
// is being loaded.
#include "base/ansi_path.h"

namespace {

int IsWindows9x(void)
{
    return (GetVersion() & 0x80000000) != 0;
}

// A path of `length` characters that a system call wrote into `path` of
// MAX_PATH characters: 1 when it fits whole, else 0 with "".
int Taken(char *path, DWORD length)
{
    if (length > 0 && length < MAX_PATH)
        return 1;
    path[0] = 0;
    return 0;
}

// 1 when the ANSI `text` reads back as `wide`, letter for letter.
int ReadsBackAs(const char *text, const wchar_t *wide)
{
    wchar_t back[MAX_PATH];
    if (!MultiByteToWideChar(CP_ACP, 0, text, -1, back, MAX_PATH))
        return 0;
    for (int i = 0; back[i] == wide[i]; ++i)
        if (!back[i])
            return 1;
    return 0;
}

// The exact ANSI form of the path `wide` into `path`; 0 with "" without one.
int ExactAnsiPath(const wchar_t *wide, char *path)
{
    return ToAnsiText(wide, path, MAX_PATH) && ReadsBackAs(path, wide) ? 1 : Taken(path, 0);
}

} // namespace

// The second call serves a code page that takes no flags (UTF-8, which has
// a form for every letter) and a system that lacks the flag (NT 4.0): there
// letters keep their look-alikes here, and only a path's read-back tells.
int ToAnsiText(const wchar_t *wide, char *text, int size)
{
    if (WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, wide, -1, text, size, "?", 0) ||
        WideCharToMultiByte(CP_ACP, 0, wide, -1, text, size, 0, 0))
        return 1;
    text[0] = 0;
    return 0;
}

int HasMissingLetter(const char *path)
{
    const char *letter = path;
    if (path[0] == '\\' && (path[1] == '\\' || path[1] == '?') && path[2] == '?' && path[3] == '\\')
        letter += 4;
    for (; *letter; ++letter)
        if (*letter == '?')
            return 1;
    return 0;
}

int AnsiPathOf(const wchar_t *wide, char *path)
{
    wchar_t shortPath[MAX_PATH];
    if (ExactAnsiPath(wide, path))
        return 1;
    DWORD length = ReadShortPath(wide, shortPath);
    return length < MAX_PATH && length && ExactAnsiPath(shortPath, path);
}

int FullAnsiPath(const char *path, char *full)
{
    if (IsWindows9x())
        return Taken(full, GetFullPathNameA(path, MAX_PATH, full, 0));
    wchar_t wide[MAX_PATH];
    wchar_t wideFull[MAX_PATH];
    DWORD length = MultiByteToWideChar(CP_ACP, 0, path, -1, wide, MAX_PATH)
                       ? GetFullPathNameW(wide, MAX_PATH, wideFull, 0)
                       : 0;
    return length && length < MAX_PATH ? ExactAnsiPath(wideFull, full) : Taken(full, 0);
}

// GetModuleFileName leaves a name of MAX_PATH characters unended on XP: the
// length test refuses it.
int ReadSystemPath(SystemPath which, char *path)
{
    DWORD length;
    if (IsWindows9x()) {
        switch (which) {
        case PROGRAM_FILE: length = GetModuleFileNameA(0, path, MAX_PATH); break;
        case WINDOWS_FOLDER: length = GetWindowsDirectoryA(path, MAX_PATH); break;
        case SYSTEM_FOLDER: length = GetSystemDirectoryA(path, MAX_PATH); break;
        default: length = GetTempPathA(MAX_PATH, path); break;
        }
        return Taken(path, length);
    }
    wchar_t wide[MAX_PATH];
    switch (which) {
    case PROGRAM_FILE: length = GetModuleFileNameW(0, wide, MAX_PATH); break;
    case WINDOWS_FOLDER: length = GetWindowsDirectoryW(wide, MAX_PATH); break;
    case SYSTEM_FOLDER: length = GetSystemDirectoryW(wide, MAX_PATH); break;
    default: length = GetTempPathW(MAX_PATH, wide); break;
    }
    return length && length < MAX_PATH ? AnsiPathOf(wide, path) : Taken(path, 0);
}

// GetTempPath's folder ends with a backslash, and so does its short name. A
// temporary folder of another name (C:\tmpa for C:\tmpą) may belong to
// anyone: without an exact form the Windows folder's own is taken.
int ReadTempFolder(char *path)
{
    if (ReadSystemPath(TEMP_PATH, path))
        return 1;
    return ReadSystemPath(WINDOWS_FOLDER, path) && lstrlenA(path) < MAX_PATH - 6 &&
           lstrcatA(path, "\\Temp\\");
}

char *ReadCommandLine(void)
{
    static char line[3 * 32768];
    if (IsWindows9x())
        return GetCommandLineA();
    ToAnsiText(GetCommandLineW(), line, sizeof(line));
    return line;
}
