// The product key below HKEY_LOCAL_MACHINE: installed folder, identity, menu
// folder, internet settings, search folders and the package records.
#include "registry/registry.h"

#include "base/log.h"
#include "base/format.h"

#include <string.h>

namespace {

// A value that is already gone counts as removed: a run that stopped halfway,
// or a value deleted by hand, must not keep every later uninstall from
// finishing.
int DeleteValue(HKEY key, const char *name)
{
    LONG result = RegDeleteValueA(key, name);
    if (result != ERROR_SUCCESS && result != ERROR_FILE_NOT_FOUND)
        LogOutcome((DWORD)result, "RegDeleteValueA %s", name ? name : "(default)");
    return result == ERROR_SUCCESS || result == ERROR_FILE_NOT_FOUND;
}

// Removes the values `names` (null: the default value) of the product key;
// a key that is gone holds none of them.
int RemoveProductValues(const char *const *names, int count)
{
    HKEY key;
    LONG opened = RegOpenKeyExA(HKEY_LOCAL_MACHINE, PRODUCT_KEY, 0, KEY_ALL_ACCESS, &key);
    if (opened == ERROR_FILE_NOT_FOUND)
        return 1;
    if (opened != ERROR_SUCCESS)
        return 0;
    int ok = 1;
    for (int i = 0; i < count; ++i)
        ok = DeleteValue(key, names[i]) && ok;
    RegCloseKey(key);
    return ok;
}

int ValueExists(HKEY key, const char *name)
{
    return RegQueryValueExA(key, name, 0, 0, 0, 0) == ERROR_SUCCESS;
}

// Reads one string value of the product key into a buffer of 260.
int ReadProductValue(const char *name, char *buffer)
{
    HKEY key;
    if (!OpenMachineKey(PRODUCT_KEY, KEY_READ, &key))
        return 0;
    int ok = QueryStringValue(key, name, buffer, REGISTRY_VALUE_SIZE);
    RegCloseKey(key);
    return ok;
}

int HexDigitValue(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    return -1;
}

// An eight-hexadecimal-digit version such as 03000000 reads as "3.00.0000".
// Any other text stays as it is.
void ExpandHexVersion(char *version)
{
    if (strlen(version) != 8)
        return;
    DWORD number = 0;
    for (int i = 0; i < 8; ++i) {
        int digit = HexDigitValue(version[i]);
        if (digit < 0)
            return;
        number = (number << 4) | (DWORD)digit;
    }
    FormatText(version, REGISTRY_VALUE_SIZE, "%X.%02X.%04X", (unsigned)(number >> 24),
               (unsigned)((number >> 16) & 0xFF), (unsigned)(number & 0xFFFF));
}

int SetEmptyMultiString(HKEY key, const char *name)
{
    static const BYTE kEmptyList[1] = {0};
    return RegSetValueExA(key, name, 0, REG_MULTI_SZ, kEmptyList, 1) == ERROR_SUCCESS;
}

void NormalisePackageRecord(HKEY record, const char *packageId)
{
    DWORD zyn;
    DWORD size = sizeof(zyn);
    if (RegQueryValueExA(record, "ZYN", 0, 0, (BYTE *)&zyn, &size) != ERROR_SUCCESS)
        SetDwordValue(record, "ZYN", lstrcmpiA(packageId, "DORSEL") == 0 ? 0x200 : 0x100);
    if (!ValueExists(record, "RegVersion"))
        SetEmptyMultiString(record, "RegVersion");
    BYTE version[REGISTRY_VALUE_SIZE];
    size = sizeof(version);
    if (RegQueryValueExA(record, "Version", 0, 0, version, &size) == ERROR_SUCCESS && size <= 3) {
        static const BYTE kNever[8] = {0};
        RegSetValueExA(record, "LastUpdate", 0, REG_BINARY, kNever, sizeof(kNever));
    }
    if (!ValueExists(record, "DeviceInfo"))
        SetEmptyMultiString(record, "DeviceInfo");
    RegDeleteValueA(record, "Catalog");
}

} // namespace

int IsFullPath(const char *path)
{
    if (!path)
        return 0;
    char drive = (char)(path[0] | 0x20);
    if (drive >= 'a' && drive <= 'z' && path[1] == ':' && path[2] == '\\')
        return 1;
    if (path[0] != '\\' || path[1] != '\\' || !path[2] || path[2] == '\\')
        return 0;
    const char *share = strchr(path + 2, '\\');  // \\server\share at least
    return share && share[1] && share[1] != '\\';
}

// Only a REG_SZ holding a full path counts: any other ProgDir (a number, an
// unexpanded or a relative text) would point into whatever folder is current.
int ReadInstalledFolder(char *folder)
{
    HKEY key;
    if (!OpenMachineKey(PRODUCT_KEY, KEY_READ, &key))
        return 0;
    DWORD type = 0;
    int ok = RegQueryValueExA(key, "ProgDir", 0, &type, 0, 0) == ERROR_SUCCESS &&
             type == REG_SZ && QueryStringValue(key, "ProgDir", folder, REGISTRY_VALUE_SIZE);
    RegCloseKey(key);
    if (ok && !IsFullPath(folder))
        ok = 0;
    if (!ok)
        memset(folder, 0, REGISTRY_VALUE_SIZE);
    return ok;
}

int ReadMenuFolder(char *folder)
{
    return ReadProductValue("MenuDir", folder);
}

int ReadLauncherPath(char *buffer, DWORD size)
{
    HKEY key;
    if (!OpenMachineKey(PRODUCT_KEY, KEY_READ, &key))
        return 0;
    int ok = QueryStringValue(key, 0, buffer, size);
    RegCloseKey(key);
    return ok;
}

int ReadInternetFunction(DWORD *radarChoice)
{
    HKEY key;
    if (!OpenMachineKey(PRODUCT_KEY, KEY_READ, &key))
        return 0;
    DWORD size = sizeof(*radarChoice);
    int ok = RegQueryValueExA(key, "InternetFunction", 0, 0, (BYTE *)radarChoice, &size) ==
             ERROR_SUCCESS;
    RegCloseKey(key);
    return ok;
}

int ReadProductIdentity(char *name, char *version)
{
    HKEY key;
    if (!OpenMachineKey(PRODUCT_KEY, KEY_READ, &key))
        return 0;
    int ok = QueryStringValue(key, "Name", name, REGISTRY_VALUE_SIZE) &&
             QueryStringValue(key, "Version", version, REGISTRY_VALUE_SIZE);
    RegCloseKey(key);
    if (ok)
        ExpandHexVersion(version);
    return ok;
}

int WriteInstalledFolder(const char *folder, RunOptions options)
{
    HKEY key;
    if (!(options & RUNOPT_INSTALL)) {
        static const char *const kValues[] = {0, "ProgDir"};
        return RemoveProductValues(kValues, 2);
    }
    // A longer folder would not leave room for "\Dorsel.exe": refuse it
    // before anything is written rather than record a cut path.
    if (!folder || strlen(folder) > INSTALLED_FOLDER_LIMIT)
        return 0;
    char program[MAX_PATH];
    if (!FormatText(program, sizeof(program), "%s\\Dorsel.exe", folder))
        return 0;
    if (!CreateRegistryKey(HKEY_LOCAL_MACHINE, PRODUCT_KEY, &key))
        return 0;
    int ok = SetStringValue(key, "ProgDir", folder) && SetStringValue(key, 0, program);
    RegCloseKey(key);
    return ok;
}

int WriteProductIdentity(const char *name, const char *version, RunOptions options)
{
    if (!(options & RUNOPT_INSTALL)) {
        static const char *const kValues[] = {"Name", "Version"};
        return RemoveProductValues(kValues, 2);
    }
    HKEY key;
    if (!OpenMachineKey(PRODUCT_KEY, KEY_ALL_ACCESS, &key))
        return 0;
    int ok = SetStringValue(key, "Name", name) && SetStringValue(key, "Version", version);
    RegCloseKey(key);
    return ok;
}

int WriteMenuFolder(const char *folder, RunOptions options)
{
    if (!(options & RUNOPT_INSTALL)) {
        static const char *const kValues[] = {"MenuDir"};
        return RemoveProductValues(kValues, 1);
    }
    HKEY key;
    if (!OpenMachineKey(PRODUCT_KEY, KEY_ALL_ACCESS, &key))
        return 0;
    int ok = SetStringValue(key, "MenuDir", folder);
    RegCloseKey(key);
    return ok;
}

int WriteInternetSettings(DWORD radarChoice, const char *downloadFolder, RunOptions options)
{
    if (!(options & RUNOPT_INSTALL)) {
        static const char *const kValues[] = {"DownloadDir", "ProxyServer"};
        return RemoveProductValues(kValues, 2);
    }
    HKEY key;
    if (!OpenMachineKey(PRODUCT_KEY, KEY_ALL_ACCESS, &key))
        return 0;
    // The folder chosen by the first install stays.
    int ok = ValueExists(key, "DownloadDir") || SetStringValue(key, "DownloadDir", downloadFolder);
    ok = ok && SetDwordValue(key, "InternetFunction", radarChoice);
    RegCloseKey(key);
    return ok;
}

int RegisterSearchFolder(const char *folder, RunOptions options)
{
    if (!(options & RUNOPT_INSTALL))
        return DeleteKeyTree(HKEY_LOCAL_MACHINE, SEARCH_PATH_KEY);
    // An entry that names no folder ("", "\" or " \ ") would address
    // "SearchPath" itself: skip it, so that earlier registrations stay.
    if (!folder || !folder[strspn(folder, "\\ \t")])
        return 1;
    char path[MAX_PATH];
    if (strlen(folder) > SEARCH_FOLDER_LIMIT ||
        !FormatText(path, sizeof(path), "%s\\%s", SEARCH_PATH_KEY, folder))
        return 0;
    HKEY key;
    if (OpenMachineKey(path, KEY_ALL_ACCESS, &key)) {
        DWORD subkeys = 0;
        if (RegQueryInfoKeyA(key, 0, 0, 0, &subkeys, 0, 0, 0, 0, 0, 0, 0) == ERROR_SUCCESS &&
            subkeys > 0)
            DeleteKeyTree(key, 0);
        RegCloseKey(key);
    }
    return RegSetValueA(HKEY_LOCAL_MACHINE, path, REG_SZ, folder, (DWORD)strlen(folder) + 1) ==
           ERROR_SUCCESS;
}

namespace {

int KeyHasValue(const char *path, const char *name)
{
    HKEY key;
    if (!OpenMachineKey(path, KEY_READ, &key))
        return 0;
    int present = ValueExists(key, name);
    RegCloseKey(key);
    return present;
}

int KeyExists(const char *path)
{
    HKEY key;
    if (!OpenMachineKey(path, KEY_READ, &key))
        return 0;
    RegCloseKey(key);
    return 1;
}

} // namespace

int HasProductValue(const char *name)
{
    return KeyHasValue(PRODUCT_KEY, name);
}

int HasProductRemains(void)
{
    static const char *const kValues[] = {0, "ProgDir", "Name", "Version", "MenuDir", "DownloadDir"};
    for (size_t i = 0; i < sizeof(kValues) / sizeof(kValues[0]); ++i)
        if (KeyHasValue(PRODUCT_KEY, kValues[i]))
            return 1;
    return KeyExists(SEARCH_PATH_KEY) || KeyExists(UNINSTALL_ENTRY_KEY) || HasToolbarButton() ||
           KeyHasValue(INTERFACE_PATH_KEY, "InterfacePath");
}

int MigratePackageRecords(void)
{
    HKEY records;
    if (!OpenMachineKey(PACKAGE_RECORDS_KEY, KEY_ALL_ACCESS, &records))
        return 1;
    DWORD subkeys = 0;
    if (RegQueryInfoKeyA(records, 0, 0, 0, &subkeys, 0, 0, 0, 0, 0, 0, 0) == ERROR_SUCCESS &&
        subkeys > 0) {
        char packageId[REGISTRY_VALUE_SIZE];
        for (DWORD i = 0; RegEnumKeyA(records, i, packageId, sizeof(packageId)) == ERROR_SUCCESS;
             ++i) {
            HKEY record;
            if (RegOpenKeyExA(records, packageId, 0, KEY_ALL_ACCESS, &record) != ERROR_SUCCESS)
                continue;
            NormalisePackageRecord(record, packageId);
            RegCloseKey(record);
        }
    }
    RegCloseKey(records);
    return 1;
}
