// What the setup run writes to its log, and the "SetupLog" value that tells a
// caller where the log is.
#include "driver/run_log.h"

#include "base/log.h"
#include "driver/result_value.h"
#include "driver/setup_driver.h"
#include "source/setup_source.h"
#include "registry/registry.h"
#include "resources/resource.h"

#include <string.h>

namespace {

int g_reported;

// English and fixed, so that a log can be searched whatever the language.
const char *PhaseName(int phaseCode)
{
    switch (phaseCode) {
    case IDS_PHASE_INITIALIZATION: return "initialization";
    case IDS_PHASE_INSTALL_FILES: case IDS_PHASE_UNINSTALL_FILES: return "files";
    case IDS_PHASE_SHORTCUTS: case IDS_PHASE_REGISTRATION: return "registration";
    case IDS_SERVICE_PACK: return "service pack";
    case IDS_UNSUPPORTED_SYSTEM: return "system";
    default: return "done";
    }
}

const char *ElevationText(void)
{
    int elevated = QueryTokenElevated();
    return elevated < 0 ? "unknown" : elevated ? "yes" : "no";
}

void LogSetupFiles(const SetupSource *source, int ok)
{
    LogLine("setup script %s", source->scriptPath[0] ? source->scriptPath : "not found");
    LogLine("descriptor %s, %s form%s",
            source->descriptorPath[0] ? source->descriptorPath : "not found",
            source->xmlDescriptor ? "XML" : "INI", ok ? "" : ", start-up failed");
}

// The line before says what was refused and where; nothing of the bundle is
// read after it, so nothing else of it is logged.
void LogBundleRefused(const SetupSource *source)
{
    LogLine("setup data: bundle %s refused", source->program);
}

} // namespace

void OpenRunLog(const SetupCommand *command)
{
    g_reported = 0;
    if (command->logFile[0] ? OpenLogFile(command->options, command->logFile, command->text)
                            : OpenLog(command->options, command->logFolder, command->text)) {
        LogLine("elevated: %s", ElevationText());
        if (command->restartCodeIgnored)
            LogLine("/R= ignored: a code that tells a caller something else");
    }
    // Written at the start, so that even a killed run leaves the way to its
    // log; deleted without a log, so that it never names an earlier run's.
    SetResultKeyValue("SetupLog", *LogPath() ? LogPath() : 0);
}

void LogStartup(const SetupSource *source, int ok, RunOptions options)
{
    if (source->programUnnamed) {
        LogLine("program path: no exact ANSI form, no short name");
        return;
    }
    if (!(options & RUNOPT_INSTALL)) {
        LogLine("setup data: none (uninstall)");
        return;
    }
    if (source->bundled && !ok) {
        LogBundleRefused(source);
    } else if (source->bundled) {
        LogLine("setup data: bundle %s, %lu files", source->program,
                (unsigned long)source->bundle.index.fileCount);
    } else {
        LogLine("setup folder %s", source->folder);
        LogSetupFiles(source, ok);
    }
}

void LogBundledSetupFiles(const SetupSource *source, int ok, int damaged)
{
    if (damaged)
        LogBundleRefused(source);
    else
        LogSetupFiles(source, ok);
}

void LogInstallPlan(const InstallPlan *plan, const char *installedVersion, int appRunning)
{
    if (plan->flags & RUNOPT_INSTALL) {
        LogLine("plan: install %s %s", plan->productName, plan->productVersion);
        if (installedVersion[0])
            LogLine("installed: %s %s in %s", plan->previousName, installedVersion,
                    plan->targetFolder);
        else
            LogLine("installed: none");
        LogLine("target folder %s", plan->targetFolder);
        LogLine("shortcuts: desktop %d, start menu %d, group %s; toolbar button %d",
                plan->desktopIcon, plan->startMenuIcon, plan->shortcutPath,
                plan->toolbarButton);
    } else {
        LogLine("plan: uninstall %s %s from %s", plan->productName, plan->productVersion,
                plan->installedFolder);
    }
    LogLine(appRunning ? "files: at the next Windows start (application running)"
                       : "files: at once");
}

void LogStep(int phaseCode, int position)
{
    LogLine("phase %d (%s): step %d done", phaseCode, PhaseName(phaseCode), position);
}

void LogRunEnd(int phaseCode, int runOk, int appRunning)
{
    g_reported = 1;
    if (!runOk)
        LogLine("phase %d (%s) failed", phaseCode, PhaseName(phaseCode));
    LogLine("end: Phase code %d", phaseCode);
    // The files went to the restart list once the transfer phase had passed.
    int pending = appRunning && (runOk || phaseCode == IDS_PHASE_SHORTCUTS ||
                                 phaseCode == IDS_PHASE_REGISTRATION);
    LogLine("restart needed: %s", pending ? "yes" : "no");
}

void LogElevatedCopy(DWORD exitCode)
{
    g_reported = 1;
    LogLine("elevated copy ended, exit code %ld", (long)exitCode);
}

void CloseRunLog(int exitCode)
{
    LogLine(g_reported ? "exit code %d" : "end: stopped before the phases, exit code %d",
            exitCode);
    CloseLog();
}
