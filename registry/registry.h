// The product's registry record, the uninstall entry, the interface path, the
// browser toolbar button, and the security operations. Every operation opens
// what it needs, closes it again, and returns nonzero for success.
#ifndef REGISTRY_REGISTRY_H
#define REGISTRY_REGISTRY_H

#include "driver/run_options.h"

#include <windows.h>

#define PRODUCT_KEY_NAME "QuillsenSoftwareInstaller"
#define PRODUCT_KEY "SOFTWARE\\Vak\\" PRODUCT_KEY_NAME
#define SEARCH_PATH_KEY PRODUCT_KEY "\\SearchPath"
#define PACKAGE_RECORDS_KEY PRODUCT_KEY "\\Install"
#define PRODUCT_GUID "{5E0C7A21-9B3D-4F6E-A8C2-71D4B0E96F13}"
#define WINDOWS_UNINSTALL_KEY "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall"
#define UNINSTALL_ENTRY_KEY WINDOWS_UNINSTALL_KEY "\\" PRODUCT_KEY_NAME
#define INTERFACE_PATH_KEY WINDOWS_UNINSTALL_KEY "\\" PRODUCT_GUID
#define BROWSER_EXTENSIONS_KEY "SOFTWARE\\Microsoft\\Internet Explorer\\Extensions"
#define TOOLBAR_BUTTON_CLSID "{1FBA04EE-3024-11D2-8F1F-0000F87ABD16}"

enum {
    REGISTRY_VALUE_SIZE = 260,
    INSTALLED_FOLDER_LIMIT = 248,  // the folder and "\Dorsel.exe" fit in 260
    SEARCH_FOLDER_LIMIT = 209      // the "SearchPath" key path fits in 260
};

// Product record.
// A drive letter with ":\", or a network path "\\server\share".
int IsFullPath(const char *path);
int ReadCurrentVersionValue(const char *name, char *buffer, DWORD size);
int ReadInstalledFolder(char *folder);
int WriteInstalledFolder(const char *folder, RunOptions options);
int ReadProductIdentity(char *name, char *version);
int WriteProductIdentity(const char *name, const char *version, RunOptions options);
int ReadMenuFolder(char *folder);
int WriteMenuFolder(const char *folder, RunOptions options);
int ReadInternetFunction(DWORD *radarChoice);
int WriteInternetSettings(DWORD radarChoice, const char *downloadFolder, RunOptions options);
int DeleteKeyTree(HKEY parent, const char *name);
int RegisterSearchFolder(const char *folder, RunOptions options);
int MigratePackageRecords(void);
int ReadLauncherPath(char *buffer, DWORD size);

// Uninstall entry, interface path and toolbar button.
int WriteUninstallEntry(const char *uninstaller, const char *name, const char *version,
                        RunOptions options);
int WriteInterfacePath(const char *uninstaller, RunOptions options);
int HasToolbarButton(void);
int WriteToolbarButton(const char *program, const char *icon, const char *text, int create);

// Security, NT family only.
int IsAdministrator(void);
int EnableTakeOwnership(void);
int SetFileAccessRights(const char *path);
int HasEnabledAdministrators(const TOKEN_GROUPS *groups, PSID administrators);
// Creates a new folder that only Administrators and SYSTEM may use; fails
// (with ERROR_ALREADY_EXISTS) when the folder is already there.
int CreatePrivateFolder(const char *path);

// An entry point of a module already loaded into the process, or null: for
// system functions that older Windows versions lack.
void *LookupSystemEntry(const char *module, const char *name);

// Shared by the registry operations: a string read that always ends in a NUL
// within the buffer, and a string write that counts the NUL.
int QueryStringValue(HKEY key, const char *name, char *buffer, DWORD size);
int SetStringValue(HKEY key, const char *name, const char *text);
// Creates or opens `path` below `parent` for all access, as every writer does.
int CreateRegistryKey(HKEY parent, const char *path, HKEY *key);

#endif
