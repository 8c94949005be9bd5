// The command line of a run, read once into the record every part of the run
// reads. Every "/" starts a switch and only the character right behind it
// counts: /Silent acts as /S. "/D=" ends the switches: everything after it,
// blanks included, is the install folder, as the installers that deployment
// tools know have it.
#include "driver/setup_driver.h"

#include "base/ansi_path.h"
#include "base/format.h"
#include "driver/ui/user_interface.h"
#include "resources/resource.h"

#include <string.h>

namespace {

int IsSwitchWhiteSpace(char c)
{
    return c == ' ' || (c >= '\t' && c <= '\r');
}

void ApplySwitch(char letter, RunOptions *options)
{
    switch (letter) {
    case 'F': case 'f': *options |= RUNOPT_NO_REPORT; break;
    case 'O': case 'o': *options |= RUNOPT_RELAUNCH; break;
    case 'S': case 's': *options |= RUNOPT_SILENT; break;
    case 'U': case 'u': *options &= ~(RunOptions)RUNOPT_INSTALL; break;
    case 'W': case 'w': *options |= RUNOPT_HIDDEN; break;
    case 'L': case 'l': *options |= RUNOPT_LOG; break;
    default: break;
    }
}

int IsInstallFolderSwitch(const char *slash)
{
    return (slash[1] | 0x20) == 'd' && slash[2] == '=';
}

// The value of "/X=<value>": read from the command line itself rather than
// from the switch's token, whose white space would end it at its first
// blank; up to the next switch, without the blanks that end it, quotes
// around it dropped.
void CopySwitchValue(const char *slash, char *value)
{
    const char *start = slash[3] == '"' ? slash + 4 : slash + 3;
    lstrcpynA(value, start, MAX_PATH);
    value[strcspn(value, "/\"")] = 0;
    for (size_t i = strlen(value); i-- > 0 && IsSwitchWhiteSpace(value[i]);)
        value[i] = 0;
}

// A decimal number that fits 32 bits; 0 for any other text.
DWORD DecimalCode(const char *text)
{
    DWORD value = 0;
    const char *digit = text;
    for (; *digit >= '0' && *digit <= '9'; ++digit) {
        if (value > 429496729 || (value == 429496729 && *digit > '5'))
            return 0;
        value = value * 10 + (DWORD)(*digit - '0');
    }
    return digit > text && !*digit ? value : 0;
}

// A code that tells a caller nothing but "done, restart needed": not 0, no
// Phase code, not 1618 (busy, retry), not -1 (no rights), not the code by
// which an elevated copy tells the first that its user backed out, not 126
// or 127 (a system DLL or function that could not be loaded ends the run
// with these), and not STILL_ACTIVE, which a caller that polls the exit
// code reads as "still running".
int IsRestartExitCode(DWORD code)
{
    return code != 0 && (code < IDS_PHASE_INITIALIZATION || code > IDS_UNSUPPORTED_SYSTEM) &&
           code != ERROR_INSTALL_ALREADY_RUNNING && code != ERROR_CANCELLED &&
           code != ERROR_MOD_NOT_FOUND && code != ERROR_PROC_NOT_FOUND && code != STILL_ACTIVE &&
           code != (DWORD)-1;
}

// Every switch before "/D=" into `options`, and, with `command`, the log's
// place, the restart code and the elevated copy's token (the last of each
// counts). Returns the '/' of "/D=", or null without one.
const char *ScanSwitches(const char *commandLine, RunOptions *options, SetupCommand *command)
{
    const char *slash = strchr(commandLine, '/');
    for (; slash && !IsInstallFolderSwitch(slash); slash = strchr(slash + 1, '/')) {
        char token[MAX_PATH];
        lstrcpynA(token, slash + 1, MAX_PATH);
        char *next = strchr(token, '/');
        if (next)
            *next = 0;
        // White space is cut from the end back to the second character; the
        // first is never examined, so "/ S" is no switch.
        for (size_t i = strlen(token); i-- > 1;)
            if (IsSwitchWhiteSpace(token[i]))
                token[i] = 0;
        ApplySwitch(token[0], options);
        if (!command)
            continue;
        const size_t length = sizeof(ELEVATED_COPY_TOKEN) - 1;
        char value[MAX_PATH];
        if ((token[0] | 0x20) == 'l' && token[1] == '=') {
            CopySwitchValue(slash, command->logFolder);
        } else if ((token[0] | 0x20) == 'r' && token[1] == '=') {
            CopySwitchValue(slash, value);
            command->restartExitCode = DecimalCode(value);
            command->restartCodeIgnored = !IsRestartExitCode(command->restartExitCode);
            if (command->restartCodeIgnored)
                command->restartExitCode = 0;
        } else if (strncmp(token, ELEVATED_COPY_TOKEN, length) == 0 &&
                   (!token[length] || IsSwitchWhiteSpace(token[length]))) {
            command->elevatedCopy = 1;
        }
    }
    return slash;
}

} // namespace

int NamesLogFile(const char *place)
{
    size_t length = strlen(place);
    return length > 4 && (_stricmp(place + length - 4, ".log") == 0 ||
                          _stricmp(place + length - 4, ".txt") == 0);
}

int IsLaunchCommandLine(const char *commandLine)
{
    return commandLine && strncmp(commandLine, "/T", 2) == 0;
}

int ParseRunOptions(const char *commandLine, RunOptions *options)
{
    if (commandLine)
        ScanSwitches(commandLine, options, 0);
    return 1;
}

int FindLogFolder(const char *commandLine, char *folder)
{
    SetupCommand command;
    ReadSetupCommand(commandLine, &command);
    lstrcpyA(folder, command.logFile[0] ? command.logFile : command.logFolder);
    return folder[0] != 0;
}

int IsElevatedCopy(const char *commandLine)
{
    SetupCommand command;
    return ReadSetupCommand(commandLine, &command) && command.elevatedCopy;
}

int ReadSetupCommand(const char *commandLine, SetupCommand *command)
{
    memset(command, 0, sizeof(*command));
    command->text = commandLine ? commandLine : "";
    command->options = RUNOPT_INSTALL;
    const char *folder = ScanSwitches(command->text, &command->options, command);
    // A place that has no exact ANSI form (see ReadCommandLine), or a file
    // whose full path has none, is never written to: no log.
    int named = !HasMissingLetter(command->logFolder);
    if (named && NamesLogFile(command->logFolder)) {
        named = FullAnsiPath(command->logFolder, command->logFile);
        command->logFolder[0] = 0;
    }
    if (!named) {
        command->logFolder[0] = 0;
        command->options &= ~(RunOptions)RUNOPT_LOG;
    }
    if (folder)  // one that does not fit stays ""
        FormatText(command->installFolder, MAX_PATH, "%s", folder + 3);
    TidyTargetFolder(command->installFolder);
    command->installFolderSwitch = folder;
    command->installFolderGiven =
        folder && (command->installFolder[0] || strlen(folder + 3) >= MAX_PATH);
    return 1;
}
