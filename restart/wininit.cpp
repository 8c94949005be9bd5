// The "rename" section of WININIT.INI, which Windows 9x carries out at its
// next start, and the short (8.3) paths it is written in. Lines that other
// programs left pending there are kept.
#include "restart/restart.h"

#include "base/ansi_path.h"
#include "base/log.h"
#include "base/format.h"
#include "base/text.h"

#include <string.h>

namespace {

const DWORD kSectionSize = 32768;

int WininitPath(char *path)
{
    char windows[MAX_PATH];
    return ReadWindowsFolder(windows) && FormatText(path, MAX_PATH, "%s\\WININIT.INI", windows);
}

size_t MultiStringLength(const char *lines)
{
    const char *p = lines;
    while (*p)
        p = NextEntry(p);
    return (size_t)(p - lines);  // without the final empty string
}

// The section's lines, read whole: a section too large to read whole is
// never rewritten, as that would lose lines.
char *ReadRenameSection(const char *path, DWORD *length)
{
    char *section = (char *)LocalAlloc(LMEM_ZEROINIT, kSectionSize);
    if (!section)
        return 0;
    *length = GetPrivateProfileSectionA("rename", section, kSectionSize, path);
    if (*length < kSectionSize - 2)
        return section;
    LocalFree(section);
    return 0;
}

// The target of a "<target>=<source>" line, whose '=' is at `value` (the
// whole line without one), into `target` of MAX_PATH characters.
void CopyLineTarget(const char *line, const char *value, char *target)
{
    int size = value && value - line + 1 < MAX_PATH ? (int)(value - line) + 1 : MAX_PATH;
    lstrcpynA(target, line, size);
}

// "NUL=<path>", a deletion of one of the places.
int IsDeletionOfAny(const char *line, Withdrawal *withdrawal)
{
    return _strnicmp(line, "NUL=", 4) == 0 && IsInPlaceSet(line + 4, &withdrawal->places);
}

// "<target>=<source>", a move onto one of the places.
int IsMoveOntoAny(const char *line, Withdrawal *withdrawal)
{
    const char *value = strchr(line, '=');
    if (!value || _strnicmp(line, "NUL=", 4) == 0)
        return 0;
    char target[MAX_PATH];
    CopyLineTarget(line, value, target);
    return IsInPlaceSet(target, &withdrawal->places) && TakeBackMove(withdrawal, value + 1);
}

typedef int (*LinePick)(const char *line, Withdrawal *withdrawal);

// Removes the lines `picks` chooses among those of `paths`, and writes the
// section back when one went; `more` as WithdrawRenameMoves tells it.
int RemoveRenameLines(const char *paths, PathList *sources, int *more, LinePick picks)
{
    static Withdrawal withdrawal;
    withdrawal.sources = sources;
    withdrawal.more = 0;
    *more = 0;
    char path[MAX_PATH];
    DWORD length = 0;
    char *section = WininitPath(path) ? ReadRenameSection(path, &length) : 0;
    if (!section)
        return 0;
    // The paths are read as places only when a line is there.
    if (*section && !ReadPlaceSet(paths, &withdrawal.places)) {
        LocalFree(section);
        return 0;
    }
    int removed = 0;
    for (char *line = section; *line;) {
        size_t size = strlen(line) + 1;
        if (!picks(line, &withdrawal)) {
            line += size;
            continue;
        }
        memmove(line, line + size, (size_t)(section + length + 2 - (line + size)));
        length -= (DWORD)size;
        removed = 1;
    }
    int ok = !removed || WritePrivateProfileSectionA("rename", section, path);
    LocalFree(section);
    *more = ok && withdrawal.more;
    return ok;
}

} // namespace

int ShortPathOfFile(const char *path, char *shortPath)
{
    memset(shortPath, 0, MAX_PATH);
    DWORD length = GetShortPathNameA(path, shortPath, MAX_PATH);
    return length > 0 && length < MAX_PATH;
}

int ShortPathOfNewFile(const char *path, char *shortPath)
{
    if (ShortPathOfFile(path, shortPath))
        return 1;
    char folder[MAX_PATH];
    lstrcpynA(folder, path, MAX_PATH);
    char *cut = strrchr(folder, '\\');
    if (!cut)
        return 0;
    *cut = 0;
    char shortFolder[MAX_PATH];
    return ShortPathOfFile(folder, shortFolder) &&
           FormatText(shortPath, MAX_PATH, "%s\\%s", shortFolder, cut + 1);
}

int WriteRenameEntry(const char *key, const char *value)
{
    char path[MAX_PATH];
    int ok = WininitPath(path) && WritePrivateProfileStringA("rename", key, value, path);
    LogOutcome(ok ? 0 : GetLastError(), "WININIT.INI [rename] %s=%s", key,
               value ? value : "(removed)");
    return ok;
}

int AppendRenameLines(const char *lines)
{
    char path[MAX_PATH];
    if (!WininitPath(path))
        return 0;
    DWORD kept = 0;
    char *section = ReadRenameSection(path, &kept);
    if (!section)
        return 0;
    size_t added = MultiStringLength(lines);
    int ok = kept + added + 2 <= kSectionSize;
    if (ok) {
        memcpy(section + kept, lines, added);
        section[kept + added] = 0;
        section[kept + added + 1] = 0;
        ok = WritePrivateProfileSectionA("rename", section, path) != 0;
    }
    LocalFree(section);
    LogOutcome(ok ? 0 : GetLastError(), "WININIT.INI [rename] lines added");
    LogPathLists(lines, 0);
    return ok;
}

int WithdrawRenameDeletions(const char *paths)
{
    int more;
    int ok = RemoveRenameLines(paths, 0, &more, IsDeletionOfAny);
    return LogWithdrawal("WININIT.INI [rename]", "pending deletions", ok, paths);
}

int WithdrawRenameMoves(const char *paths, PathList *sources, int *more)
{
    int ok = RemoveRenameLines(paths, sources, more, IsMoveOntoAny);
    return LogWithdrawal("WININIT.INI [rename]", "moves", ok, sources->text);
}

int IsPendingRenameSource(const char *folder)
{
    char path[MAX_PATH];
    PlaceKey place;
    DWORD length = 0;
    if (!ReadPlaceKey(folder, &place) || !WininitPath(path))
        return 1;  // unknown counts as pending: the folder is left alone
    char *section = ReadRenameSection(path, &length);
    int pending = !section;
    for (const char *line = section; !pending && line && *line; line = NextEntry(line)) {
        const char *value = strchr(line, '=');
        char target[MAX_PATH];
        CopyLineTarget(line, value, target);
        pending = IsInsidePlace(&place, target) || (value && IsInsidePlace(&place, value + 1));
    }
    if (section)
        LocalFree(section);
    return pending;
}
