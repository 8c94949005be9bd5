// The product's registry record, the uninstall entry, the interface path, the
// browser toolbar button, and the security operations. Every operation opens
// what it needs, closes it again, and returns nonzero for success.
#ifndef REGISTRY_REGISTRY_H
#define REGISTRY_REGISTRY_H

#include "base/run_options.h"

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

// Product record. Readers take buffers of REGISTRY_VALUE_SIZE characters (the
// terminator included) unless they take a size; they return 0 when the key or
// value is missing or does not fit, and a value that does not fit leaves "".
// Writers with RUNOPT_INSTALL in `options` write, without it they remove; a
// value or key that is already gone counts as removed.
// A drive letter with ":\", or a network path "\\server\share".
int IsFullPath(const char *path);
// "ProgDir", only when it is a REG_SZ holding a full path; otherwise 0 with
// `folder` emptied.
int ReadInstalledFolder(char *folder);
// "ProgDir" and the default value (the folder and "\Dorsel.exe"); refuses a
// folder longer than INSTALLED_FOLDER_LIMIT before writing anything.
int WriteInstalledFolder(const char *folder, RunOptions options);
// "Name" and "Version"; a version stored as eight hexadecimal digits reads as
// "3.00.0000". Both buffers are REGISTRY_VALUE_SIZE characters.
int ReadProductIdentity(char *name, char *version);
// "Name" and "Version"; fails when the product key does not exist yet.
int WriteProductIdentity(const char *name, const char *version, RunOptions options);
// "MenuDir".
int ReadMenuFolder(char *folder);
int WriteMenuFolder(const char *folder, RunOptions options);
// "InternetFunction"; `*radarChoice` is untouched when it is missing.
int ReadInternetFunction(DWORD *radarChoice);
// Install: "DownloadDir" unless one is stored, and "InternetFunction".
// Removal: "DownloadDir" and "ProxyServer".
int WriteInternetSettings(DWORD radarChoice, const char *downloadFolder, RunOptions options);
// Install: the folder's own key below "SearchPath" (a folder that is empty or
// only backslashes and blanks is skipped with 1; one longer than
// SEARCH_FOLDER_LIMIT fails). Removal: the whole "SearchPath" tree.
int RegisterSearchFolder(const char *folder, RunOptions options);
// 1 when the product key holds the value `name` (null: the default value),
// of whatever type.
int HasProductValue(const char *name);
// 1 while anything that an install writes and an uninstall removes is still
// there: a value of the product record, the search folders, the uninstall
// entry, the toolbar button or the interface path.
int HasProductRemains(void);
// Completes the values every package record below "Install" needs. Always 1.
int MigratePackageRecords(void);
// The product key's default value into `buffer` of `size` characters.
int ReadLauncherPath(char *buffer, DWORD size);

// Uninstall entry, interface path and toolbar button. `uninstaller` is a file
// name in the Windows folder.
int WriteUninstallEntry(const char *uninstaller, const char *name, const char *version,
                        RunOptions options);
// Removal succeeds when the key was never created.
int WriteInterfacePath(const char *uninstaller, RunOptions options);
// What Apps & Features shows besides the name: the silent uninstall command,
// the folder, the size in KB, the publisher (none: no such value), and that
// the product offers no modify or repair. Install only; the entry's key goes
// with its values on uninstall.
int WriteUninstallDetails(const char *uninstaller, const char *folder, DWORD kilobytes,
                          const char *publisher);
// 1 when the toolbar button's key exists.
int HasToolbarButton(void);
// Creates or (with `create` 0) removes the button; 1 without a browser
// extensions key, where there is nothing to do.
int WriteToolbarButton(const char *program, const char *icon, const char *text, int create);

// Security, NT family only.
// 1 when the process token has the Administrators group enabled.
int IsAdministrator(void);
// The token's elevation type as Vista and later report it (the values of
// TOKEN_ELEVATION_TYPE); unknown on older systems.
enum {
    ELEVATION_UNKNOWN = 0,
    ELEVATION_DEFAULT = 1,  // no split token: UAC off, a standard user, or SYSTEM
    ELEVATION_FULL = 2,     // an elevated administrator
    ELEVATION_LIMITED = 3   // an administrator's filtered token
};
int QueryElevationType(void);
// Whether the process token is elevated: 1 or 0, -1 where the system does
// not tell (before Vista).
int QueryTokenElevated(void);
// Enables the take-ownership privilege for the process.
int EnableTakeOwnership(void);
// Owner and group Administrators, full access for Administrators and read and
// execute for Everyone on `path` (shorter than MAX_PATH).
int SetFileAccessRights(const char *path);
// The SIDs of well-known accounts, constant data that is never freed. The
// first three own the folders that a standard user cannot take over.
enum {
    WELL_KNOWN_ADMINISTRATORS,
    WELL_KNOWN_SYSTEM,
    WELL_KNOWN_TRUSTED_INSTALLER,
    WELL_KNOWN_USERS,
    WELL_KNOWN_EVERYONE
};
PSID WellKnownSid(int account);
// 1 when `groups` holds `administrators` enabled.
int HasEnabledAdministrators(const TOKEN_GROUPS *groups, PSID administrators);
// 1 when the owner of the open file or folder `object` is Administrators,
// SYSTEM or TrustedInstaller, or the account that runs setup (an
// administrator: on NT setup runs only with those rights). 0 when the system
// names no owner or cannot be asked.
int IsOwnedByTrustedAccount(HANDLE object);
// 1 when no one but administrators can have made or changed the open folder
// `object`: its owner is Administrators or SYSTEM, or the account that runs
// setup when that is an administrator (a folder CreatePrivateFolder made
// where the token may not give it to Administrators; Wine names the user as
// the owner of every folder), and its access list lets no other account
// write to it, delete it or change its access list. 0 when the system
// cannot say.
int IsPrivateFolder(HANDLE object);
// Creates a new folder that only Administrators and SYSTEM may use; fails
// (with ERROR_ALREADY_EXISTS) when the folder is already there.
int CreatePrivateFolder(const char *path);
// Creates a new folder with the access list of Program Files, not taken over
// from its parent: full control for Administrators, SYSTEM and
// TrustedInstaller, read and execute for Users, passed on to what it holds;
// owned by Administrators. Fails as CreatePrivateFolder does.
int CreateProtectedFolder(const char *path);

// Shared by the registry operations (keys.cpp). Opens `path` below
// HKEY_LOCAL_MACHINE with `access`; the caller closes `*key`.
int OpenMachineKey(const char *path, REGSAM access, HKEY *key);
// A string read into `buffer` of `size` characters that always ends in a NUL
// within the buffer (a value that does not fit gives 0 and ""), and a string
// write that counts the NUL (a null text gives 0).
int QueryStringValue(HKEY key, const char *name, char *buffer, DWORD size);
int SetStringValue(HKEY key, const char *name, const char *text);
// A DWORD write.
int SetDwordValue(HKEY key, const char *name, DWORD value);
// Creates or opens `path` below `parent` for all access, as every writer does;
// the caller closes `*key`.
int CreateRegistryKey(HKEY parent, const char *path, HKEY *key);
// Removes `name` below `parent` with all its values and subkeys; with a null
// name, empties `parent` itself. Always 1: what cannot be removed stays.
int DeleteKeyTree(HKEY parent, const char *name);
// A Windows "CurrentVersion" value into `buffer` of `size` characters, as
// this 32-bit program sees it, or in the registry view `view`
// (KEY_WOW64_64KEY: the native one of 64-bit Windows; 0 when the system has
// no such view or refuses it).
int ReadCurrentVersionValue(const char *name, char *buffer, DWORD size);
int ReadCurrentVersionValueOfView(const char *name, char *buffer, DWORD size, REGSAM view);

#endif
