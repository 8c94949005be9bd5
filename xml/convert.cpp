// UTF-8 to the system ANSI code page, through UTF-16. On Windows 9x the
// conversion functions come from the Unicode layer that start-up loaded.
#include "xml.h"
#include "platform.h"

static XmlToWideFn g_toWide;
static XmlToAnsiFn g_toAnsi;

int ResolveConversion(void)
{
    int is9x;
    if (!QueryPlatformIs9x(&is9x))
        return 0;
    const char *module = is9x ? "unicows.dll" : "kernel32.dll";
    g_toWide = (XmlToWideFn)LookupSystemEntry(module, "MultiByteToWideChar");
    g_toAnsi = (XmlToAnsiFn)LookupSystemEntry(module, "WideCharToMultiByte");
    return g_toWide && g_toAnsi;
}

int Utf8ToAnsi(const char *source, char *destination, uint32_t *size)
{
    if ((!g_toWide || !g_toAnsi) && !ResolveConversion())
        return 0;
    int units = g_toWide(XML_CP_UTF8, 0, source, -1, 0, 0);
    if (units <= 0)
        return 0;
    XmlWideChar *wide = (XmlWideChar *)HeapBlockAlloc((uint32_t)units * sizeof(XmlWideChar));
    if (!wide)
        return 0;
    int ok = 0;
    if (g_toWide(XML_CP_UTF8, 0, source, -1, wide, units) != 0) {
        int needed = g_toAnsi(XML_CP_ACP, 0, wide, units, 0, 0, 0, 0);
        if (!destination) {
            if (needed > 0) {
                *size = (uint32_t)needed;
                ok = 1;
            }
        } else if (needed > 0 && *size >= (uint32_t)needed) {
            int capacity = *size > 0x7FFFFFFFu ? 0x7FFFFFFF : (int)*size;
            ok = g_toAnsi(XML_CP_ACP, 0, wide, units, destination, capacity, 0, 0) != 0;
        }
    }
    HeapBlockFree(wide);
    return ok;
}
