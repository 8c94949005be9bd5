// The result value and the log's path beside it; see result_value.h.
#include "driver/result_value.h"

#include "base/format.h"

#include <windows.h>

#include <string.h>

void SetResultKeyValue(const char *name, const char *text)
{
    HKEY key;
    if (text ? RegCreateKeyExA(HKEY_CURRENT_USER, RESULT_KEY, 0, 0, REG_OPTION_NON_VOLATILE,
                               KEY_ALL_ACCESS, 0, &key, 0)
             : RegOpenKeyExA(HKEY_CURRENT_USER, RESULT_KEY, 0, KEY_SET_VALUE, &key))
        return;
    if (text)
        RegSetValueExA(key, name, 0, REG_SZ, (const BYTE *)text, (DWORD)strlen(text) + 1);
    else
        RegDeleteValueA(key, name);
    RegCloseKey(key);
}

void WriteResultValue(int phaseCode)
{
    char text[8];
    FormatText(text, sizeof(text), "%04X", (unsigned)phaseCode);
    SetResultKeyValue("Setup", text);
}

void DeleteResultValue(void)
{
    SetResultKeyValue("Setup", 0);
}
