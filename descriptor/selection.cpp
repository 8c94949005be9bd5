// Chooses among the variants of a value: the item whose id matches this
// machine most specifically, else the item named by "default".
#include "descriptor/descriptor.h"

#include "base/format.h"
#include "xml/platform.h"

#include <string.h>

namespace {

enum { MAX_CANDIDATES = 3, LARGEST_SLOT = 128 };

struct Candidates {
    char slot[MAX_CANDIDATES][LARGEST_SLOT];
    int usable[MAX_CANDIDATES];  // a value longer than its slot is skipped, never cut
    int count;
};

void AddCandidate(Candidates *list, size_t slotSize, const char *text, size_t length)
{
    int index = list->count++;
    list->usable[index] = length < slotSize;
    if (list->usable[index]) {
        memcpy(list->slot[index], text, length);
        list->slot[index][length] = 0;
    }
}

void AddText(Candidates *list, size_t slotSize, const char *text)
{
    AddCandidate(list, slotSize, text, strlen(text));
}

// `text` up to its last `separator`, or whole when it holds none.
void AddTextBefore(Candidates *list, size_t slotSize, const char *text, char separator)
{
    const char *last = strrchr(text, separator);
    AddCandidate(list, slotSize, text, last ? (size_t)(last - text) : strlen(text));
}

void AddHex(Candidates *list, size_t slotSize, unsigned value)
{
    char text[16];
    FormatText(text, sizeof(text), "%04X", value);
    AddText(list, slotSize, text);
}

// The machine methods in MachineMethod order, with the size of a candidate
// slot: a candidate that does not fit is skipped.
struct MachineMethodRow {
    const char *name;
    size_t slotSize;
};

const MachineMethodRow kMachineMethods[METHOD_COUNT] = {
    {"LANGUAGE", 10}, {"LANGUAGE.OS", 10}, {"BIOSID", 6},
    {"MTM", 12},      {"OS", 12},          {"FAMILYNAME", 128},
};

// The machine's identifiers for `method`, most specific first; 0 for an
// unknown method.
int BuildCandidates(const char *method, const MachineInfo *machine, Candidates *list,
                    size_t *slotSize)
{
    list->count = 0;
    MachineMethod found = FindMachineMethod(method);
    if (found == METHOD_COUNT)
        return 0;
    *slotSize = kMachineMethods[found].slotSize;
    switch (found) {
    case METHOD_LANGUAGE:
        AddHex(list, *slotSize, machine->systemLanguageId);
        AddHex(list, *slotSize, machine->systemPrimaryLanguage);
        break;
    case METHOD_LANGUAGE_OS:
        AddHex(list, *slotSize, machine->osLanguageId);
        AddHex(list, *slotSize, machine->osPrimaryLanguage);
        break;
    case METHOD_BIOSID: {
        char first = (char)(machine->biosId >> 8);
        char second = (char)(machine->biosId & 0xFF);
        char text[16] = {0};
        FormatText(text, sizeof(text), "%c%c.%02X", first, second, (unsigned)machine->biosRevision);
        AddText(list, *slotSize, text);
        text[2] = 0;
        AddText(list, *slotSize, text);
        break;
    }
    case METHOD_MTM:
        AddText(list, *slotSize, machine->typeModel);
        AddTextBefore(list, *slotSize, machine->typeModel, '-');
        break;
    case METHOD_OS:
        AddText(list, *slotSize, machine->osId);
        AddTextBefore(list, *slotSize, machine->osId, '.');
        break;
    case METHOD_FAMILYNAME:
    default:
        AddText(list, *slotSize, machine->familyName);
        break;
    }
    return 1;
}

} // namespace

MachineMethod FindMachineMethod(const char *name)
{
    int index = 0;
    while (index < METHOD_COUNT && strcmp(kMachineMethods[index].name, name) != 0)
        ++index;
    return (MachineMethod)index;
}

int SelectValue(char *path, uint32_t size, const char *dataId, const XmlDocument *document,
                const MachineInfo *machine)
{
    XmlNode *node = 0;
    if (!path || !QueryPath(path, &node, document) || !node->children ||
        node->children->count == 0)
        return 0;
    const char *defaultId = FindAttribute(node, "default");
    const char *method = defaultId ? FindAttribute(node, "method") : 0;
    Candidates candidates;
    size_t slotSize = 0;
    if (!method || !BuildCandidates(method, machine, &candidates, &slotSize))
        return 0;
    AddText(&candidates, slotSize, defaultId);
    char *scratch = (char *)HeapBlockAlloc(size);
    if (!scratch)
        return 0;
    int found = 0;
    for (int i = 0; i < candidates.count && !found; ++i) {
        if (!candidates.usable[i])
            continue;
        int fits = dataId && *dataId
                       ? FormatText(scratch, size, "%s/item[@id=%s]/data[@id=%s]", path,
                                    candidates.slot[i], dataId)
                       : FormatText(scratch, size, "%s/item[@id=%s]/data", path,
                                    candidates.slot[i]);
        XmlNode *data = 0;
        if (fits && QueryPath(scratch, &data, document)) {
            memcpy(path, scratch, strlen(scratch) + 1);
            found = 1;
        }
    }
    HeapBlockFree(scratch);
    return found;
}
