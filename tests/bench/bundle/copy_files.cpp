// The plain copy that make bench-bundle times a bundle's install against:
// CopyFileA of every file of one folder into another, which it creates.
// Not a test. Usage: copy_files <from folder> <to folder>; exit code 0 when
// every file was copied.
#include <windows.h>

#include <stdio.h>

int main(int argc, char **argv)
{
    if (argc != 3) {
        fprintf(stderr, "usage: copy_files <from folder> <to folder>\n");
        return 2;
    }
    char pattern[MAX_PATH], source[MAX_PATH], target[MAX_PATH];
    if (snprintf(pattern, sizeof(pattern), "%s\\*", argv[1]) >= (int)sizeof(pattern))
        return 1;
    if (!CreateDirectoryA(argv[2], 0) && GetLastError() != ERROR_ALREADY_EXISTS)
        return 1;
    WIN32_FIND_DATAA entry;
    HANDLE search = FindFirstFileA(pattern, &entry);
    if (search == INVALID_HANDLE_VALUE)
        return 1;
    int copied = 0, failed = 0;
    do {
        if (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
            continue;
        int fits = snprintf(source, sizeof(source), "%s\\%s", argv[1], entry.cFileName) <
                       (int)sizeof(source) &&
                   snprintf(target, sizeof(target), "%s\\%s", argv[2], entry.cFileName) <
                       (int)sizeof(target);
        if (fits && CopyFileA(source, target, FALSE))
            ++copied;
        else
            ++failed;
    } while (FindNextFileA(search, &entry));
    FindClose(search);
    return copied && !failed ? 0 : 1;
}
