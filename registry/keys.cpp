// The registry key and value helpers that every writer and reader of this
// program's keys shares: bounded string reads, logged writes, key creation
// and removal of whole trees.
#include "registry/registry.h"

#include "base/log.h"

#include <string.h>

int OpenMachineKey(const char *path, REGSAM access, HKEY *key)
{
    return RegOpenKeyExA(HKEY_LOCAL_MACHINE, path, 0, access, key) == ERROR_SUCCESS;
}

int QueryStringValue(HKEY key, const char *name, char *buffer, DWORD size)
{
    if (!buffer || size == 0)
        return 0;
    DWORD length = size;
    LONG result = RegQueryValueExA(key, name, 0, 0, (BYTE *)buffer, &length);
    if (result == ERROR_MORE_DATA)
        buffer[size - 1] = 0;
    if (result != ERROR_SUCCESS)
        return 0;
    if (length < size) {
        buffer[length] = 0;  // also ends a value stored without its NUL
        return 1;
    }
    if (buffer[size - 1] == 0)
        return 1;
    buffer[0] = 0;  // fills the buffer without a terminator: it does not fit
    buffer[size - 1] = 0;
    return 0;
}

int CreateRegistryKey(HKEY parent, const char *path, HKEY *key)
{
    LONG error = RegCreateKeyExA(parent, path, 0, 0, REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS, 0,
                                 key, 0);
    if (error != ERROR_SUCCESS)
        LogOutcome((DWORD)error, "RegCreateKeyExA %s", path);
    return error == ERROR_SUCCESS;
}

int SetDwordValue(HKEY key, const char *name, DWORD value)
{
    return RegSetValueExA(key, name, 0, REG_DWORD, (const BYTE *)&value, sizeof(value)) ==
           ERROR_SUCCESS;
}

int SetStringValue(HKEY key, const char *name, const char *text)
{
    LONG error = text ? RegSetValueExA(key, name, 0, REG_SZ, (const BYTE *)text,
                                       (DWORD)strlen(text) + 1)
                      : ERROR_INVALID_PARAMETER;
    if (error != ERROR_SUCCESS)
        LogOutcome((DWORD)error, "RegSetValueExA %s", name);
    return error == ERROR_SUCCESS;
}

int DeleteKeyTree(HKEY parent, const char *name)
{
    HKEY key;
    if (RegOpenKeyExA(parent, name ? name : "", 0, KEY_ALL_ACCESS, &key) == ERROR_SUCCESS) {
        DWORD subkeys = 0;
        DWORD values = 0;
        if (RegQueryInfoKeyA(key, 0, 0, 0, &subkeys, 0, 0, &values, 0, 0, 0, 0) == ERROR_SUCCESS) {
            // From the highest index down, so the remaining indexes stay valid.
            for (DWORD i = values; i-- > 0;) {
                char valueName[REGISTRY_VALUE_SIZE];
                DWORD length = sizeof(valueName);
                if (RegEnumValueA(key, i, valueName, &length, 0, 0, 0, 0) == ERROR_SUCCESS)
                    RegDeleteValueA(key, valueName);
            }
            for (DWORD i = subkeys; i-- > 0;) {
                char subkey[REGISTRY_VALUE_SIZE];
                if (RegEnumKeyA(key, i, subkey, sizeof(subkey)) == ERROR_SUCCESS)
                    DeleteKeyTree(key, subkey);
            }
        }
        RegCloseKey(key);
    }
    if (name)
        RegDeleteKeyA(parent, name);
    return 1;
}

int ReadCurrentVersionValue(const char *name, char *buffer, DWORD size)
{
    return ReadCurrentVersionValueOfView(name, buffer, size, 0);
}

int ReadCurrentVersionValueOfView(const char *name, char *buffer, DWORD size, REGSAM view)
{
    HKEY key;
    if (!OpenMachineKey("Software\\Microsoft\\Windows\\CurrentVersion", KEY_READ | view, &key))
        return 0;
    int ok = QueryStringValue(key, name, buffer, size);
    RegCloseKey(key);
    return ok;
}
