// Small text helpers shared by the XML engine and the subsystems.
#ifndef BASE_TEXT_H
#define BASE_TEXT_H

#include <stddef.h>
#include <string.h>

// 1 when the first `length` bytes of `a` and `b` match with ASCII letters
// folded to upper case; other bytes compare exactly. The first mismatch ends
// the comparison, so a `length` that counts the terminator of one side never
// reads past the end of the other.
inline int EqualIgnoringCase(const char *a, const char *b, size_t length)
{
    for (size_t i = 0; i < length; ++i) {
        char x = a[i] >= 'a' && a[i] <= 'z' ? (char)(a[i] - 'a' + 'A') : a[i];
        char y = b[i] >= 'a' && b[i] <= 'z' ? (char)(b[i] - 'a' + 'A') : b[i];
        if (x != y)
            return 0;
    }
    return 1;
}

// 1 when the name of `length` bytes at `name` names a device in every
// folder: CON, PRN, AUX, NUL, COM0 to COM9, LPT0 to LPT9, CONIN$, CONOUT$ or
// CLOCK$, in any letter case, also with an extension or with blanks before it.
inline int IsDeviceName(const char *name, size_t length)
{
    static const char *const kDevices[] = {"CON", "PRN", "AUX", "NUL", "CONIN$", "CONOUT$",
                                           "CLOCK$"};
    const char *dot = (const char *)memchr(name, '.', length);
    if (dot)
        length = (size_t)(dot - name);
    while (length && name[length - 1] == ' ')
        --length;
    for (size_t i = 0; i < sizeof(kDevices) / sizeof(kDevices[0]); ++i)
        if (strlen(kDevices[i]) == length && EqualIgnoringCase(name, kDevices[i], length))
            return 1;
    return length == 4 && (EqualIgnoringCase(name, "COM", 3) || EqualIgnoringCase(name, "LPT", 3)) &&
           name[3] >= '0' && name[3] <= '9';
}

// The entry after `entry` in a list of NUL-ended entries; the caller knows
// where the list ends (an empty entry or its buffer's end).
inline const char *NextEntry(const char *entry)
{
    return entry + strlen(entry) + 1;
}

#endif
