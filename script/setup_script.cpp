// Reads the Setup script and the INI-form Package descriptor through the
// Windows profile API. A value written %KEY% is looked up as KEY in the
// "STRINGS.<language>" sections of the same file.
#include "script/setup_script.h"

#include "base/format.h"
#include "base/system_library.h"
#include "base/system_version.h"
#include "descriptor/descriptor.h"
#include "registry/registry.h"

#include <shlobj.h>
#include <string.h>

namespace {

int ReadFromScript(const SetupSource *source, const char *section, const char *key,
                   char *output)
{
    return ReadScriptValue(source, section, key, "", output, MAX_PATH, source->scriptPath);
}

// A radar file name counts unless it begins with ".".
int NamesRadarFile(const SetupSource *source, const char *key)
{
    char value[MAX_PATH] = {0};
    return ReadFromScript(source, "RADAR", key, value) && value[0] != '.';
}

} // namespace

int ReadScriptValue(const SetupSource *source, const char *section, const char *key,
                    const char *defaultText, char *output, int size, const char *file)
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
    const MachineInfo &machine = source->machine;
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

int GetDefaultTargetFolder(const SetupSource *source, char *folder)
{
    ReadCurrentVersionValue("ProgramFilesDir", folder, MAX_PATH);
    char target[MAX_PATH] = {0};
    int length = ReadFromScript(source, "INIT", "TARGET", target);
    // A folder that would not fit is refused, never cut into another folder.
    if (!length || strlen(folder) + 1 + (size_t)length >= MAX_PATH)
        return 0;
    strcat(folder, "\\");
    strcat(folder, target);
    return length;
}

int ReadSearchFolderList(const SetupSource *source, char *list)
{
    return ReadFromScript(source, "INIT", "DEFAULTSEARCH", list);
}

int ReadDownloadFolderList(const SetupSource *source, char *list)
{
    return ReadFromScript(source, "INIT", "DOWNLOAD", list);
}

int ReadReleaseInfo(const SetupSource *source, char *name, char *version)
{
    if (source->document) {
        const MachineInfo *machine = &source->machine;
        return GetDescriptorProperty("RELEASE", "NAME", name, MAX_PATH, "DORSEL",
                                     source->document, machine, 0) &&
               GetDescriptorProperty("RELEASE", "VERSION", version, MAX_PATH, "DORSEL",
                                     source->document, machine, 0);
    }
    const char *descriptor = source->descriptorPath;
    return ReadScriptValue(source, "RELEASE", "NAME", "", name, MAX_PATH, descriptor) &&
           ReadScriptValue(source, "RELEASE", "VERSION", "", version, MAX_PATH, descriptor);
}

int ReadPublisher(const SetupSource *source, char *publisher)
{
    return ReadFromScript(source, "INIT", "PUBLISHER", publisher);
}

int GetMenuGroupFolder(const SetupSource *source, char *folder)
{
    char group[MAX_PATH] = {0};
    if (!ReadFromScript(source, "INIT", "GROUP", group))
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

int GetRadarChoice(const SetupSource *source)
{
    if (NamesRadarFile(source, "FILE"))
        return 1;
    if (NamesRadarFile(source, "ALTFILE"))
        return 2;
    return 0;
}

int HasIniDescriptor(const char *path)
{
    char value[MAX_PATH] = {0};
    return (int)GetPrivateProfileStringA("ZYN", "XRELEASE", "", value, MAX_PATH, path);
}
