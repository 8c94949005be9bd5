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

// The entry after `entry` in a list of NUL-ended entries; the caller knows
// where the list ends (an empty entry or its buffer's end).
inline const char *NextEntry(const char *entry)
{
    return entry + strlen(entry) + 1;
}

#endif
