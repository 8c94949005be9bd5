// Reads the Setup script and the INI-form Package descriptor through the
// Windows profile API. A value written %KEY% is looked up as KEY in the
// "STRINGS.<language>" sections of the same file.
#include "script/setup_script.h"

#include "base/format.h"
#include "base/startup_state.h"
#include "base/system_library.h"
#include "base/system_version.h"
#include "descriptor/descriptor.h"
#include "registry/registry.h"

#include <shlobj.h>
#include <string.h>

namespace {

int ReadFromScript(const char *section, const char *key, char *output)
{
    return ReadScriptValue(section, key, "", output, MAX_PATH, g_startup.scriptPath);
}

// A radar file name counts unless it begins with ".".
int NamesRadarFile(const char *key)
{
    char value[MAX_PATH] = {0};
    return ReadFromScript("RADAR", key, value) && value[0] != '.';
}

} // namespace

int ReadScriptValue(const char *section, const char *key, const char *defaultText, char *output,
                    int size, const char *file)
{
    if (size <= 0 || size > MAX_PATH)
        size = MAX_PATH;
    char value[MAX_PATH] = {0};
    int length = (int)GetPrivateProfileStringA(section, key, defaultText, value, size, file);
    if (length == 0)
        return 0;
    if (length < 2 || value[0] != '%' || value[length - 1] != '%') {
        memcpy(output, value, (size_t)length + 1);
        return length;
    }
    value[length - 1] = 0;
    const char *name = value + 1;
    const MachineInfo &machine = g_startup.machine;
    char languageSection[32];
    FormatText(languageSection, sizeof(languageSection), "STRINGS.%04X",
               (unsigned)machine.systemLanguageId);
    length = (int)GetPrivateProfileStringA(languageSection, name, defaultText, output, size, file);
    if (length)
        return length;
    FormatText(languageSection, sizeof(languageSection), "STRINGS.%04X",
               (unsigned)machine.systemPrimaryLanguage);
    length = (int)GetPrivateProfileStringA(languageSection, name, defaultText, output, size, file);
    if (length)
        return length;
    return (int)GetPrivateProfileStringA("STRINGS", name, defaultText, output, size, file);
}

int GetDefaultTargetFolder(char *folder)
{
    ReadCurrentVersionValue("ProgramFilesDir", folder, MAX_PATH);
    char target[MAX_PATH] = {0};
    int length = ReadFromScript("INIT", "TARGET", target);
    // A folder that would not fit is refused, never cut into another folder.
    if (!length || strlen(folder) + 1 + (size_t)length >= MAX_PATH)
        return 0;
    strcat(folder, "\\");
    strcat(folder, target);
    return length;
}

int ReadSearchFolderList(char *list)
{
    return ReadFromScript("INIT", "DEFAULTSEARCH", list);
}

int ReadDownloadFolderList(char *list)
{
    return ReadFromScript("INIT", "DOWNLOAD", list);
}

int ReadReleaseInfo(char *name, char *version)
{
    if (g_startup.document) {
        MachineInfo *machine = &g_startup.machine;
        return GetDescriptorProperty("RELEASE", "NAME", name, MAX_PATH, "DORSEL",
                                     g_startup.document, machine, 0) &&
               GetDescriptorProperty("RELEASE", "VERSION", version, MAX_PATH, "DORSEL",
                                     g_startup.document, machine, 0);
    }
    const char *descriptor = g_startup.descriptorPath;
    return ReadScriptValue("RELEASE", "NAME", "", name, MAX_PATH, descriptor) &&
           ReadScriptValue("RELEASE", "VERSION", "", version, MAX_PATH, descriptor);
}

int ReadPublisher(char *publisher)
{
    return ReadFromScript("INIT", "PUBLISHER", publisher);
}

int GetMenuGroupFolder(char *folder)
{
    char group[MAX_PATH] = {0};
    if (!ReadFromScript("INIT", "GROUP", group))
        return 0;
    int nt = IsNtPlatform();
    int programs = nt ? CSIDL_COMMON_PROGRAMS : CSIDL_PROGRAMS;
    int startMenu = nt ? CSIDL_COMMON_STARTMENU : CSIDL_STARTMENU;
    char base[MAX_PATH];
    if (group[0] == '.') {
        GetShellFolder(programs, base);
        return FormatText(folder, MAX_PATH, "%s", base);
    }
    if (group[0] == '\\') {
        GetShellFolder(startMenu, base);
        return FormatText(folder, MAX_PATH, "%s%s", base, group[1] ? group : "");
    }
    GetShellFolder(programs, base);
    // A group that would not fit is refused, never cut into another folder.
    return FormatText(folder, MAX_PATH, "%s\\%s", base, group);
}

int GetRadarChoice(void)
{
    if (NamesRadarFile("FILE"))
        return 1;
    if (NamesRadarFile("ALTFILE"))
        return 2;
    return 0;
}

int HasIniDescriptor(const char *path)
{
    char value[MAX_PATH] = {0};
    return (int)GetPrivateProfileStringA("ZYN", "XRELEASE", "", value, MAX_PATH, path);
}
