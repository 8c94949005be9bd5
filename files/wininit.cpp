// The "rename" section of WININIT.INI, which Windows 9x carries out at its
// next start, and the short (8.3) paths it is written in. Lines that other
// programs left pending there are kept.
#include "files/files.h"

#include "base/log.h"
#include "base/format.h"
#include "base/text.h"

#include <string.h>

namespace {

const DWORD kSectionSize = 32768;

int WininitPath(char *path)
{
    char windows[MAX_PATH] = {0};
    UINT length = GetWindowsDirectoryA(windows, MAX_PATH);
    return length && length < MAX_PATH && FormatText(path, MAX_PATH, "%s\\WININIT.INI", windows);
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

// The forms a pending line may name a file by: its full path and its short one.
void ComparableForms(const char *path, char (*forms)[MAX_PATH])
{
    memset(forms, 0, 2 * MAX_PATH);
    if (!FullPathOf(path, forms[0]))
        lstrcpynA(forms[0], path, MAX_PATH);
    if (!ShortPathOfNewFile(forms[0], forms[1]))
        forms[1][0] = 0;
}

int NamesSameFile(const char *a, const char *b)
{
    char formsA[2][MAX_PATH];
    char formsB[2][MAX_PATH];
    ComparableForms(a, formsA);
    ComparableForms(b, formsB);
    for (int i = 0; i < 2; ++i)
        for (int j = 0; j < 2; ++j)
            if (formsA[i][0] && lstrcmpiA(formsA[i], formsB[j]) == 0)
                return 1;
    return 0;
}

int IsDeletionOfAny(const char *line, const char *paths)
{
    if (_strnicmp(line, "NUL=", 4) != 0)
        return 0;
    for (const char *path = paths; *path; path = NextEntry(path))
        if (NamesSameFile(line + 4, path))
            return 1;
    return 0;
}

} // namespace

int FullPathOf(const char *path, char *full)
{
    memset(full, 0, MAX_PATH);
    DWORD length = GetFullPathNameA(path, MAX_PATH, full, 0);
    if (length == 0 || length >= MAX_PATH)
        return 0;
    while (length > 3 && full[length - 1] == '\\')
        full[--length] = 0;
    return 1;
}

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
    char path[MAX_PATH];
    DWORD length = 0;
    char *section = WininitPath(path) ? ReadRenameSection(path, &length) : 0;
    if (!section)
        return 0;
    int removed = 0;
    for (char *line = section; *line;) {
        size_t size = strlen(line) + 1;
        if (!IsDeletionOfAny(line, paths)) {
            line += size;
            continue;
        }
        memmove(line, line + size, (size_t)(section + length + 2 - (line + size)));
        length -= (DWORD)size;
        removed = 1;
    }
    int ok = !removed || WritePrivateProfileSectionA("rename", section, path);
    LocalFree(section);
    LogLine("WININIT.INI [rename] pending deletions taken back: %d", ok);
    LogPathLists(paths, 0);
    return ok;
}

int IsPendingRenameSource(const char *folder)
{
    char path[MAX_PATH];
    char prefix[MAX_PATH + 1];
    DWORD length = 0;
    if (!ShortPathOfFile(folder, prefix) || !WininitPath(path))
        return 1;  // unknown counts as pending: the folder is left alone
    lstrcatA(prefix, "\\");
    size_t prefixLength = strlen(prefix);
    char *section = ReadRenameSection(path, &length);
    int pending = !section;
    for (const char *line = section; !pending && line && *line; line = NextEntry(line)) {
        const char *value = strchr(line, '=');
        pending = _strnicmp(line, prefix, prefixLength) == 0 ||
                  (value && _strnicmp(value + 1, prefix, prefixLength) == 0);
    }
    if (section)
        LocalFree(section);
    return pending;
}
