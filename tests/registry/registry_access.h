// Direct registry access for the tests: reset keys, write values by hand
// (also malformed ones) and read back type and bytes exactly.
#ifndef TESTS_REGISTRY_ACCESS_H
#define TESTS_REGISTRY_ACCESS_H

#include <windows.h>
#include <shlwapi.h>

#include <string>

struct RawValue {
    bool present = false;
    DWORD type = 0;
    std::string bytes;
};

inline void RemoveKey(const char *path)
{
    SHDeleteKeyA(HKEY_LOCAL_MACHINE, path);
}

inline bool KeyExists(const char *path)
{
    HKEY key;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, path, 0, KEY_READ, &key) != ERROR_SUCCESS)
        return false;
    RegCloseKey(key);
    return true;
}

inline RawValue ReadRaw(const char *path, const char *name)
{
    RawValue value;
    HKEY key;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, path, 0, KEY_READ, &key) != ERROR_SUCCESS)
        return value;
    DWORD size = 0;
    if (RegQueryValueExA(key, name, 0, &value.type, 0, &size) == ERROR_SUCCESS) {
        value.bytes.resize(size);
        value.present = RegQueryValueExA(key, name, 0, &value.type,
                                         (BYTE *)&value.bytes[0], &size) == ERROR_SUCCESS;
        value.bytes.resize(size);
    }
    RegCloseKey(key);
    return value;
}

// A REG_SZ as the registry holds it: the text and its NUL.
inline std::string Sz(const std::string &text)
{
    return text + std::string(1, '\0');
}

inline void WriteRaw(const char *path, const char *name, DWORD type, const std::string &bytes)
{
    HKEY key;
    if (RegCreateKeyExA(HKEY_LOCAL_MACHINE, path, 0, 0, 0, KEY_ALL_ACCESS, 0, &key, 0) !=
        ERROR_SUCCESS)
        return;
    RegSetValueExA(key, name, 0, type, (const BYTE *)bytes.data(), (DWORD)bytes.size());
    RegCloseKey(key);
}

inline void WriteDword(const char *path, const char *name, DWORD value)
{
    WriteRaw(path, name, REG_DWORD, std::string((const char *)&value, sizeof(value)));
}

inline std::string Dword(DWORD value)
{
    return std::string((const char *)&value, sizeof(value));
}

// A value beside the result: by default the result value "Setup" of the last
// run; "<none>" when it is not there.
inline std::string ResultValue(const char *name = "Setup")
{
    HKEY key;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, "SOFTWARE\\Vak\\QuillsenSoftwareInstaller", 0, KEY_READ,
                      &key) != ERROR_SUCCESS)
        return "<none>";
    char text[MAX_PATH + 1] = {0};
    DWORD size = MAX_PATH;
    LONG result = RegQueryValueExA(key, name, 0, 0, (BYTE *)text, &size);
    RegCloseKey(key);
    return result == ERROR_SUCCESS ? text : "<none>";
}

#endif
