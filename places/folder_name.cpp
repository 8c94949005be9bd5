// How a folder is spelled: whether Windows makes of the name the very
// folder it spells, with room in MAX_PATH for the files that go into it.
// Windows drops a dot or a blank that ends a name, resolves "." and "..",
// and opens a device for a name such as "NUL" in any folder; a folder named
// so would be made elsewhere than named, or not at all.
#include "places/places.h"

#include "base/final_path.h"
#include "base/log.h"
#include "base/text.h"

#include <string.h>

namespace {

// Why the part of `length` bytes at `part` is no folder's name as written;
// 0 when it is one. An empty part (a doubled backslash) reads as none.
const char *PartFault(const char *part, size_t length)
{
    if (length == 0)
        return 0;
    if (part[0] == '.' && (length == 1 || (length == 2 && part[1] == '.')))
        return "\".\" or \"..\" as a part";
    if (part[length - 1] == '.' || part[length - 1] == ' ')
        return "a part ends in a dot or a blank";
    return IsDeviceName(part, length) ? "a part names a device" : 0;
}

const char *FolderNameFault(const char *folder, size_t longestName)
{
    if (strlen(folder) + 1 + longestName >= MAX_PATH)
        return "no room for the names of its files";
    const char *part = folder + RootLength(folder);
    for (const char *at = part;; ++at) {
        if (*at == '\\' || *at == '/' || !*at) {
            const char *fault = PartFault(part, (size_t)(at - part));
            if (fault || !*at)
                return fault;
            part = at + 1;
        } else if ((unsigned char)*at < 0x20 || strchr("*?\"<>|", *at)) {
            return "a character that no name may hold";
        } else if (IsDBCSLeadByte((BYTE)*at) && at[1]) {
            ++at;  // the second byte may have the value of a backslash
        }
    }
}

} // namespace

int IsPlainFolderName(const char *folder, size_t longestName)
{
    if (!folder)
        return 0;
    const char *fault = FolderNameFault(folder, longestName);
    if (fault)
        LogLine("folder %s refused: %s", folder, fault);
    return !fault;
}
