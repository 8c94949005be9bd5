// Kept in a file of its own so that tests can link a replacement that records
// the calls made through the returned entry points.
#include "base/system_entry.h"

#include <windows.h>

void *LookupSystemEntry(const char *module, const char *name)
{
    HMODULE handle = GetModuleHandleA(module);
    return handle ? (void *)GetProcAddress(handle, name) : 0;
}
