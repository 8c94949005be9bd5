// Elevation: the decision, the command line and the start of the elevated
// copy, and what the first copy does after it; see elevation.h. The token's
// queries are the registry floor's security operations.
#include "driver/elevation.h"

#include "base/format.h"
#include "base/log.h"
#include "base/system_version.h"
#include "driver/application_start.h"
#include "driver/result_value.h"
#include "driver/run_log.h"
#include "registry/registry.h"
#include "resources/resource.h"

#include <string.h>

namespace {

int IsBlank(char c)
{
    return c == ' ' || (c >= '\t' && c <= '\r');
}

// The switches of the command line up to `end`, without its log switches
// ("/L", "/Log", "/L=<place>") when `dropLog` is set: each switch runs from
// its '/' to the next one, blanks included.
int CopySwitches(const char *text, const char *end, int dropLog, char *buffer, size_t size)
{
    size_t used = 0;
    for (const char *part = text; part < end;) {
        const char *next = part + 1;
        while (next < end && *next != '/')
            ++next;
        size_t length = (size_t)(next - part);
        if (!(dropLog && *part == '/' && (part[1] == 'L' || part[1] == 'l'))) {
            if (used + length >= size)
                return 0;
            memcpy(buffer + used, part, length);
            used += length;
        }
        part = next;
    }
    while (used > 0 && IsBlank(buffer[used - 1]))
        --used;
    buffer[used] = 0;
    return 1;
}

// How the elevated copy names this copy's log: by its folder when the file
// has the usual name there, else the file itself. 0 when it cannot be named
// on a command line (a '/' would start a switch of its own).
int LogPlaceOf(const char *logPath, char *place)
{
    lstrcpynA(place, logPath, MAX_PATH);
    char *cut = strrchr(place, '\\');
    if (!cut || strchr(place, '/'))
        return 0;
    if (lstrcmpiA(cut + 1, LOG_FILE_NAME) == 0) {
        *cut = 0;
        // A folder named like a log file keeps its backslash, or the copy
        // would take it for the file.
        if (NamesLogFile(place)) {
            cut[0] = '\\';
            cut[1] = 0;
        }
    }
    return 1;
}

// Exit codes of a run that reached its report, and so wrote a result value.
int IsReportedCode(int code)
{
    return code == 0 || code == ERROR_INSTALL_ALREADY_RUNNING ||
           (code >= IDS_PHASE_INITIALIZATION && code <= IDS_UNSUPPORTED_SYSTEM &&
            code != IDS_CANNOT_START);
}

// The group shortcut and the program as the elevated copy recorded them in the
// product key.
void ReadRelaunchTarget(InstallPlan *plan)
{
    char version[MAX_PATH];
    if (ReadMenuFolder(plan->menuFolder) && ReadProductIdentity(plan->productName, version))
        FormatShortcutPath(plan->shortcutPath, plan->menuFolder, plan->productName);
    // And the program itself, for a run that made no group shortcut.
    if (ReadInstalledFolder(plan->targetFolder))
        FormatProgramPath(plan->programPath, plan->targetFolder);
}

// What the elevated copy leaves to this one: the result value when it ran
// under another account, whose HKCU is not the caller's, and the restart of
// the application with its wait for the ready event, so that the application
// runs as the user who started setup.
int FinishElevatedRun(RunState *run, const SetupCommand *command, int code, int otherAccount)
{
    if (code == ERROR_CANCELLED)
        return 0;  // the user backed out of the elevated copy's plan
    // The code "/R=" asked for is a success whose files wait for the restart.
    int result = command->restartExitCode && (DWORD)code == command->restartExitCode ? 0 : code;
    if (!IsReportedCode(result)) {
        // Killed before its report: no earlier result may stand for it.
        if (otherAccount && code != -1)
            DeleteResultValue();
        return code;  // it ended before its report: killed, or on a rights check
    }
    if (otherAccount)
        WriteResultValue(result);
    if ((run->options & RUNOPT_INSTALL) && (run->options & RUNOPT_RELAUNCH)) {
        run->phaseCode = result;
        run->runOk = result == 0;
        ReadRelaunchTarget(&run->plan);
        RelaunchApplication(run);
    }
    return code;
}

} // namespace

int BuildElevatedCommandLine(const SetupCommand *command, const char *logPath, char *buffer,
                             size_t size)
{
    const char *text = command->text;
    // "/D=" stays the last switch: all after it is its folder.
    const char *folder = command->installFolderSwitch;
    char log[MAX_PATH];
    int shareLog = *logPath && LogPlaceOf(logPath, log);
    char switches[ELEVATED_COMMAND_LINE_SIZE];
    return CopySwitches(text, folder ? folder : text + strlen(text), shareLog, switches,
                        sizeof(switches)) &&
           FormatText(buffer, size, "%s%s%s /" ELEVATED_COPY_TOKEN "%s%s", switches,
                      shareLog ? " /L=" : "", shareLog ? log : "", folder ? " " : "",
                      folder ? folder : "");
}

int RunElevatedCopy(RunState *run, const SetupCommand *command, int *exitCode)
{
    if (command->elevatedCopy || SystemVersion().dwMajorVersion < 6)
        return 0;
    int type = QueryElevationType();
    if (type != ELEVATION_LIMITED && type != ELEVATION_DEFAULT)
        return 0;
    char parameters[ELEVATED_COMMAND_LINE_SIZE];
    DWORD code = 0;
    if (!BuildElevatedCommandLine(command, LogPath(), parameters, sizeof(parameters)) ||
        !StartAndAwaitExit(run->source.program, parameters, "runas", &code))
        return 0;
    LogElevatedCopy(code);
    *exitCode = FinishElevatedRun(run, command, (int)code, type == ELEVATION_DEFAULT);
    return 1;
}
