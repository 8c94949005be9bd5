// Host stand-ins for the local heap and the code-page conversion, so that the
// engine can be built natively. The "system code page" here is Latin-1.
#include "platform.h"

#include <stdlib.h>
#include <string.h>

namespace {

// Each block carries its size in front, as LocalSize reports it on Windows.
const size_t kHeader = 16;

uint32_t &StoredSize(void *block)
{
    return *(uint32_t *)((char *)block - kHeader);
}

uint64_t heapHeld = 0;
uint64_t heapPeak = 0;

void CountHeld(uint64_t added, uint64_t removed)
{
    heapHeld += added;
    heapHeld -= removed;
    if (heapHeld > heapPeak)
        heapPeak = heapHeld;
}

void *NewBlock(uint32_t size, int zeroed)
{
    char *raw = (char *)(zeroed ? calloc(1, kHeader + size) : malloc(kHeader + size));
    if (!raw)
        return 0;
    StoredSize(raw + kHeader) = size;
    CountHeld(size, 0);
    return raw + kHeader;
}

int XML_WINAPI HostUtf8ToWide(unsigned int codePage, unsigned long flags, const char *source,
                              int sourceLength, XmlWideChar *destination, int destinationLength);
int XML_WINAPI HostWideToLatin1(unsigned int codePage, unsigned long flags,
                                const XmlWideChar *source, int sourceLength, char *destination,
                                int destinationLength, const char *defaultChar, int *usedDefault);

// Decodes one UTF-8 sequence; malformed input gives U+FFFD and consumes one byte.
uint32_t DecodeUtf8(const unsigned char *s, size_t left, size_t *used)
{
    unsigned char lead = s[0];
    size_t length = lead < 0x80 ? 1 : (lead >> 5) == 6 ? 2 : (lead >> 4) == 14 ? 3
                  : (lead >> 3) == 30 ? 4 : 0;
    *used = 1;
    if (length == 1)
        return lead;
    if (length == 0 || length > left)
        return 0xFFFD;
    uint32_t value = lead & (0x7F >> length);
    for (size_t i = 1; i < length; ++i) {
        if ((s[i] & 0xC0) != 0x80)
            return 0xFFFD;
        value = (value << 6) | (s[i] & 0x3F);
    }
    static const uint32_t kMinimum[] = {0, 0, 0x80, 0x800, 0x10000};
    if (value < kMinimum[length] || value > 0x10FFFF || (value >= 0xD800 && value <= 0xDFFF))
        return 0xFFFD;
    *used = length;
    return value;
}

int XML_WINAPI HostUtf8ToWide(unsigned int codePage, unsigned long flags, const char *source,
                              int sourceLength, XmlWideChar *destination, int destinationLength)
{
    if (codePage != XML_CP_UTF8 || flags != 0 || !source)
        return 0;
    size_t left = sourceLength < 0 ? strlen(source) + 1 : (size_t)sourceLength;
    const unsigned char *s = (const unsigned char *)source;
    int units = 0;
    while (left) {
        size_t used;
        uint32_t value = DecodeUtf8(s, left, &used);
        s += used;
        left -= used;
        XmlWideChar pair[2];
        int count = 1;
        if (value >= 0x10000) {
            value -= 0x10000;
            pair[0] = (XmlWideChar)(0xD800 + (value >> 10));
            pair[1] = (XmlWideChar)(0xDC00 + (value & 0x3FF));
            count = 2;
        } else {
            pair[0] = (XmlWideChar)value;
        }
        if (destinationLength) {
            if (units + count > destinationLength)
                return 0;
            memcpy(destination + units, pair, count * sizeof(XmlWideChar));
        }
        units += count;
    }
    return units;
}

int XML_WINAPI HostWideToLatin1(unsigned int codePage, unsigned long flags,
                                const XmlWideChar *source, int sourceLength, char *destination,
                                int destinationLength, const char *defaultChar, int *usedDefault)
{
    if (codePage != XML_CP_ACP || flags != 0 || !source || sourceLength < 0 || defaultChar ||
        usedDefault)
        return 0;
    if (destinationLength && destinationLength < sourceLength)
        return 0;
    for (int i = 0; destinationLength && i < sourceLength; ++i)
        destination[i] = source[i] <= 0xFF ? (char)source[i] : '?';
    return sourceLength;
}

} // namespace

void *HeapBlockAlloc(uint32_t size)
{
    return NewBlock(size, 1);
}

void *HeapBlockAllocRaw(uint32_t size)
{
    return NewBlock(size, 0);
}

void *HeapBlockReAlloc(void *block, uint32_t size)
{
    uint32_t old = StoredSize(block);
    char *grown = (char *)HeapBlockReAllocRaw(block, size);
    if (grown && size > old)
        memset(grown + old, 0, size - old);
    return grown;
}

void *HeapBlockReAllocRaw(void *block, uint32_t size)
{
    uint32_t old = StoredSize(block);
    char *raw = (char *)realloc((char *)block - kHeader, kHeader + size);
    if (!raw)
        return 0;
    StoredSize(raw + kHeader) = size;
    CountHeld(size, old);
    return raw + kHeader;
}

uint32_t HeapBlockSize(void *block)
{
    return StoredSize(block);
}

void HeapBlockFree(void *block)
{
    if (!block)
        return;
    CountHeld(0, StoredSize(block));
    free((char *)block - kHeader);
}

uint64_t HostHeapPeak(void)
{
    return heapPeak;
}

void HostHeapResetPeak(void)
{
    heapPeak = heapHeld;
}

int QueryPlatformIs9x(int *is9x)
{
    *is9x = 0;
    return 1;
}

void *LookupSystemEntry(const char *module, const char *name)
{
    if (strcmp(module, "kernel32.dll") != 0)
        return 0;
    if (strcmp(name, "MultiByteToWideChar") == 0)
        return (void *)&HostUtf8ToWide;
    if (strcmp(name, "WideCharToMultiByte") == 0)
        return (void *)&HostWideToLatin1;
    return 0;
}
