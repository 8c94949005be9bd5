// The "rename" section of WININIT.INI, which Windows 9x carries out at its
// next start. Lines that other programs left pending there are kept.
#include "files/files.h"

#include "base/log.h"
#include "base/format.h"

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
        p += strlen(p) + 1;
    return (size_t)(p - lines);  // without the final empty string
}

} // namespace

int WriteRenameEntry(const char *key, const char *value)
{
    char path[MAX_PATH];
    int ok = WininitPath(path) && WritePrivateProfileStringA("rename", key, value, path);
    LogOutcome(ok ? 0 : GetLastError(), "WININIT.INI [rename] %s=%s", key, value);
    return ok;
}

int AppendRenameLines(const char *lines)
{
    char path[MAX_PATH];
    if (!WininitPath(path))
        return 0;
    char *section = (char *)LocalAlloc(LMEM_ZEROINIT, kSectionSize);
    if (!section)
        return 0;
    DWORD kept = GetPrivateProfileSectionA("rename", section, kSectionSize, path);
    size_t added = MultiStringLength(lines);
    // A section too large to read whole is not rewritten: that would lose lines.
    int ok = kept < kSectionSize - 2 && kept + added + 2 <= kSectionSize;
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
