// The target folder as a user or a Setup script may write it: blanks and
// trailing backslashes around it.
#include "driver/ui/user_interface.h"

#include <string.h>

void TidyTargetFolder(char *folder)
{
    size_t start = strspn(folder, " \t");
    memmove(folder, folder + start, strlen(folder + start) + 1);
    for (;;) {
        // Walked from the start: the second byte of a double-byte character
        // may have the value of a backslash.
        char *last = folder;
        for (char *next = folder; *next; next = CharNextA(next))
            last = next;
        size_t length = (size_t)(last - folder) + 1;
        int isRoot = length == 3 && folder[1] == ':';
        if (!*last || last[1] || !(*last == ' ' || *last == '\t' || (*last == '\\' && !isRoot)))
            return;
        *last = 0;
    }
}
