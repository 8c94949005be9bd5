// Kept in a file of its own so that tests can link a replacement that records
// the calls made through the returned entry points.
#include "base/system_entry.h"

#include <windows.h>

namespace {

// One looked-up entry point. A slot is claimed by one thread, filled, and
// only then marked ready, so that a lookup on another thread (the payload's
// worker) never reads half of it.
struct EntrySlot {
    const char *module;
    const char *name;
    void *address;
    LONG ready;
};

const LONG kEntrySlots = 24;  // more than the program's optional entry points
EntrySlot g_entries[kEntrySlots];
LONG g_claimedEntries;

// Names compared byte by byte (module names without regard to ASCII case):
// lstrcmp's locale-aware comparison would cost more than the lookup saved.
int IsSameText(const char *a, const char *b, int anyCase)
{
    for (;; ++a, ++b) {
        char x = *a, y = *b;
        if (anyCase && x >= 'A' && x <= 'Z')
            x = (char)(x + 'a' - 'A');
        if (anyCase && y >= 'A' && y <= 'Z')
            y = (char)(y + 'a' - 'A');
        if (x != y)
            return 0;
        if (!x)
            return 1;
    }
}

int IsSameEntry(const EntrySlot &slot, const char *module, const char *name)
{
    return slot.ready && IsSameText(slot.name, name, 0) && IsSameText(slot.module, module, 1);
}

} // namespace

void *LookupSystemEntry(const char *module, const char *name)
{
    LONG claimed = g_claimedEntries < kEntrySlots ? g_claimedEntries : kEntrySlots;
    for (LONG i = 0; i < claimed; ++i)
        if (IsSameEntry(g_entries[i], module, name))
            return g_entries[i].address;
    HMODULE handle = GetModuleHandleA(module);
    if (!handle)
        return 0;  // asked again once the module is loaded
    void *address = (void *)GetProcAddress(handle, name);
    LONG slot = InterlockedIncrement(&g_claimedEntries) - 1;
    if (slot < kEntrySlots) {
        g_entries[slot].module = module;
        g_entries[slot].name = name;
        g_entries[slot].address = address;
        InterlockedExchange(&g_entries[slot].ready, 1);
    }
    return address;
}
