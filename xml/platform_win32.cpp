// The XML engine's platform layer on Windows: blocks of the process's local
// heap (zero-filled, or left as they are where the engine writes them first)
// and the platform family.
#include "platform.h"

#include "base/system_version.h"

#include <windows.h>

void *HeapBlockAlloc(uint32_t size)
{
    return LocalAlloc(LMEM_ZEROINIT, size);
}

void *HeapBlockAllocRaw(uint32_t size)
{
    return LocalAlloc(LMEM_FIXED, size);
}

void *HeapBlockReAlloc(void *block, uint32_t size)
{
    return LocalReAlloc(block, size, LMEM_MOVEABLE | LMEM_ZEROINIT);
}

void *HeapBlockReAllocRaw(void *block, uint32_t size)
{
    return LocalReAlloc(block, size, LMEM_MOVEABLE);
}

uint32_t HeapBlockSize(void *block)
{
    return (uint32_t)LocalSize(block);
}

void HeapBlockFree(void *block)
{
    LocalFree(block);
}

int QueryPlatformIs9x(int *is9x)
{
    const OSVERSIONINFOA &version = SystemVersion();
    if (!version.dwPlatformId && !version.dwMajorVersion)
        return 0;  // the system did not answer
    *is9x = version.dwPlatformId == VER_PLATFORM_WIN32_WINDOWS;
    return 1;
}
