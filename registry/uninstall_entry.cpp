// The product's entries outside its own key: the Windows uninstall entry, the
// interface path in the GUID uninstall key, and the browser toolbar button.
#include "registry/registry.h"

#include "base/ansi_path.h"
#include "base/format.h"

namespace {

// The Windows folder joined with `format` filled in with the uninstaller's name.
int WindowsFolderPath(char *buffer, const char *format, const char *uninstaller)
{
    char windows[MAX_PATH];
    if (!ReadWindowsFolder(windows))
        return 0;
    char tail[MAX_PATH];
    return FormatText(tail, sizeof(tail), format, uninstaller) &&
           FormatText(buffer, MAX_PATH, "%s%s", windows, tail);
}

int WriteButtonValues(HKEY button, const char *program, const char *icon, const char *text)
{
    return SetStringValue(button, "Exec", program) && SetStringValue(button, "Icon", icon) &&
           SetStringValue(button, "HotIcon", icon) && SetStringValue(button, "ButtonText", text) &&
           SetStringValue(button, "clsid", TOOLBAR_BUTTON_CLSID) &&
           SetStringValue(button, "Default Visible", "Yes");
}

} // namespace

int WriteUninstallEntry(const char *uninstaller, const char *name, const char *version,
                        RunOptions options)
{
    if (!(options & RUNOPT_INSTALL)) {
        // An entry that is already gone counts as removed.
        LONG result = RegDeleteKeyA(HKEY_LOCAL_MACHINE, UNINSTALL_ENTRY_KEY);
        return result == ERROR_SUCCESS || result == ERROR_FILE_NOT_FOUND;
    }
    HKEY key;
    if (!CreateRegistryKey(HKEY_LOCAL_MACHINE, UNINSTALL_ENTRY_KEY, &key))
        return 0;
    int ok = 1;
    if (!(options & RUNOPT_HIDDEN))
        ok = SetStringValue(key, "DisplayName", name);
    char command[MAX_PATH];
    ok = ok && FormatText(command, sizeof(command), "%s /U", uninstaller) &&
         SetStringValue(key, "UninstallString", command);
    char icon[MAX_PATH];
    ok = ok && WindowsFolderPath(icon, "\\%s,0", uninstaller) &&
         SetStringValue(key, "DisplayIcon", icon);
    ok = ok && SetStringValue(key, "DisplayVersion", version);
    RegDeleteValueA(key, "SystemComponent");
    RegCloseKey(key);
    return ok;
}

int WriteUninstallDetails(const char *uninstaller, const char *folder, DWORD kilobytes,
                          const char *publisher)
{
    char path[MAX_PATH];
    char quiet[MAX_PATH];
    HKEY key;
    if (!WindowsFolderPath(path, "\\%s", uninstaller) ||
        !FormatText(quiet, sizeof(quiet), "\"%s\" /U /S", path) ||
        !CreateRegistryKey(HKEY_LOCAL_MACHINE, UNINSTALL_ENTRY_KEY, &key))
        return 0;
    int ok = SetStringValue(key, "QuietUninstallString", quiet) &&
             SetStringValue(key, "InstallLocation", folder) &&
             SetDwordValue(key, "EstimatedSize", kilobytes) && SetDwordValue(key, "NoModify", 1) &&
             SetDwordValue(key, "NoRepair", 1);
    if (publisher && publisher[0])
        ok = ok && SetStringValue(key, "Publisher", publisher);
    else
        RegDeleteValueA(key, "Publisher");  // an earlier version's publisher no longer holds
    RegCloseKey(key);
    return ok;
}

int WriteInterfacePath(const char *uninstaller, RunOptions options)
{
    HKEY key;
    if (!(options & RUNOPT_INSTALL)) {
        // An install before Windows 2000 never created the key: nothing to remove.
        LONG opened = RegOpenKeyExA(HKEY_LOCAL_MACHINE, INTERFACE_PATH_KEY, 0, KEY_ALL_ACCESS, &key);
        if (opened == ERROR_FILE_NOT_FOUND)
            return 1;
        if (opened != ERROR_SUCCESS)
            return 0;
        RegDeleteValueA(key, "InterfacePath");
        RegCloseKey(key);
        return 1;
    }
    char path[MAX_PATH];
    if (!WindowsFolderPath(path, "\\%s", uninstaller) ||
        !CreateRegistryKey(HKEY_LOCAL_MACHINE, INTERFACE_PATH_KEY, &key))
        return 0;
    int ok = SetStringValue(key, "InterfacePath", path);
    RegCloseKey(key);
    return ok;
}

int HasToolbarButton(void)
{
    HKEY extensions;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, BROWSER_EXTENSIONS_KEY, 0, KEY_READ, &extensions) !=
        ERROR_SUCCESS)
        return 0;
    HKEY button;
    int present = RegOpenKeyExA(extensions, PRODUCT_GUID, 0, KEY_READ, &button) == ERROR_SUCCESS;
    if (present)
        RegCloseKey(button);
    RegCloseKey(extensions);
    return present;
}

int WriteToolbarButton(const char *program, const char *icon, const char *text, int create)
{
    HKEY extensions;
    int ok = 1;
    if (create) {
        // Without a browser extensions key the button is left out; no failure.
        if (!CreateRegistryKey(HKEY_LOCAL_MACHINE, BROWSER_EXTENSIONS_KEY, &extensions))
            return 1;
        HKEY button;
        ok = CreateRegistryKey(extensions, PRODUCT_GUID, &button);
        if (ok) {
            ok = WriteButtonValues(button, program, icon, text);
            RegCloseKey(button);
        }
    } else {
        if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, BROWSER_EXTENSIONS_KEY, 0, KEY_ALL_ACCESS,
                          &extensions) != ERROR_SUCCESS)
            return 1;
        HKEY button;
        if (RegOpenKeyExA(extensions, PRODUCT_GUID, 0, KEY_ALL_ACCESS, &button) == ERROR_SUCCESS) {
            RegCloseKey(button);
            ok = RegDeleteKeyA(extensions, PRODUCT_GUID) == ERROR_SUCCESS;
        }
    }
    RegCloseKey(extensions);
    return ok;
}
