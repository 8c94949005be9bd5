// What the XML engine needs from the platform: the process's local heap and
// the two code-page conversion entry points. The Windows implementation goes
// straight to the Win32 API; the host implementation lets the engine run
// natively under sanitizers, fuzzers and benchmarks.
#ifndef XML_PLATFORM_H
#define XML_PLATFORM_H

#include "base/system_entry.h"

#include <stdint.h>

#ifdef _WIN32
#define XML_WINAPI __stdcall
typedef wchar_t XmlWideChar;
#else
#define XML_WINAPI
typedef uint16_t XmlWideChar;
#endif

enum {
    XML_CP_ACP = 0,
    XML_CP_UTF8 = 65001
};

// Same argument lists as MultiByteToWideChar and WideCharToMultiByte.
typedef int (XML_WINAPI *XmlToWideFn)(unsigned int codePage, unsigned long flags,
                                      const char *source, int sourceLength,
                                      XmlWideChar *destination, int destinationLength);
typedef int (XML_WINAPI *XmlToAnsiFn)(unsigned int codePage, unsigned long flags,
                                      const XmlWideChar *source, int sourceLength,
                                      char *destination, int destinationLength,
                                      const char *defaultChar, int *usedDefault);

// Zero-filled block, or null.
void *HeapBlockAlloc(uint32_t size);
// Block whose bytes are left as they are, for memory that is written before
// it is read; or null.
void *HeapBlockAllocRaw(uint32_t size);
// Grows or shrinks a block, zero-filling what is added; may move it. Null on failure
// (the old block then stays valid).
void *HeapBlockReAlloc(void *block, uint32_t size);
// The same, leaving what is added as it is.
void *HeapBlockReAllocRaw(void *block, uint32_t size);
// The usable size of a block, which may exceed what was asked for.
uint32_t HeapBlockSize(void *block);
// Releases a block; null is accepted.
void HeapBlockFree(void *block);

// Sets *is9x to 1 on the Windows 9x platform. 0 when the version is unknown.
int QueryPlatformIs9x(int *is9x);
// LookupSystemEntry: the entry point of an already loaded module, or null.
// On Windows the floor's own; the host build supplies its conversions.

#ifndef _WIN32
// Host only, for the benchmark: the largest number of bytes held in heap
// blocks at one time since the last reset.
uint64_t HostHeapPeak(void);
void HostHeapResetPeak(void);
#endif

#endif
