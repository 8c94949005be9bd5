// The command line of a run, read once into the record every part of the run
// reads. Every "/" starts a switch and only the character right behind it
// counts: /Silent acts as /S.
#include "driver/setup_driver.h"

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

} // namespace

int IsLaunchCommandLine(const char *commandLine)
{
    return commandLine && strncmp(commandLine, "/T", 2) == 0;
}

int ParseRunOptions(const char *commandLine, RunOptions *options)
{
    if (!commandLine)
        return 1;
    for (const char *slash = strchr(commandLine, '/'); slash; slash = strchr(slash + 1, '/')) {
        char token[MAX_PATH] = {0};
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
    }
    return 1;
}

// Read from the command line itself rather than from a switch token, whose
// white space would end the folder at its first blank.
int FindLogFolder(const char *commandLine, char *folder)
{
    memset(folder, 0, MAX_PATH);
    for (const char *slash = commandLine ? strchr(commandLine, '/') : 0; slash;
         slash = strchr(slash + 1, '/')) {
        if ((slash[1] != 'L' && slash[1] != 'l') || slash[2] != '=')
            continue;
        const char *start = slash[3] == '"' ? slash + 4 : slash + 3;
        memset(folder, 0, MAX_PATH);
        lstrcpynA(folder, start, MAX_PATH);
        folder[strcspn(folder, "/\"")] = 0;
        for (size_t i = strlen(folder); i-- > 0 && IsSwitchWhiteSpace(folder[i]);)
            folder[i] = 0;
    }
    return folder[0] != 0;
}

int IsElevatedCopy(const char *commandLine)
{
    if (!commandLine)
        return 0;
    const size_t length = sizeof(ELEVATED_COPY_TOKEN) - 1;
    for (const char *slash = strchr(commandLine, '/'); slash; slash = strchr(slash + 1, '/')) {
        if (strncmp(slash + 1, ELEVATED_COPY_TOKEN, length) != 0)
            continue;
        char after = slash[length + 1];  // the match guarantees it exists
        if (after == 0 || after == '/' || IsSwitchWhiteSpace(after))
            return 1;
    }
    return 0;
}

int ReadSetupCommand(const char *commandLine, SetupCommand *command)
{
    memset(command, 0, sizeof(*command));
    command->text = commandLine ? commandLine : "";
    command->options = RUNOPT_INSTALL;
    ParseRunOptions(command->text, &command->options);
    FindLogFolder(command->text, command->logFolder);
    command->elevatedCopy = IsElevatedCopy(command->text);
    return 1;
}
