// The setup run's lines in its log (see base/log.h). Each call writes nothing
// when the run has no log.
#ifndef DRIVER_RUN_LOG_H
#define DRIVER_RUN_LOG_H

#include "driver/install_plan.h"
#include "driver/setup_driver.h"

// Opens the log when the command asks for one (in its log folder when given),
// writes its header, and writes the "SetupLog" value beside the result value;
// without a log that value is deleted.
void OpenRunLog(const SetupCommand *command);
// Where the setup data was found and, beside the program, which script and
// descriptor (of which form) were read; a bundle whose header or index was
// refused is logged as refused, with no count of files.
void LogStartup(const SetupSource *source, int ok, RunOptions options);
// The script and the descriptor decoded from an accepted bundle; when its data
// was found damaged, only that the bundle is refused.
void LogBundledSetupFiles(const SetupSource *source, int ok, int damaged);
void LogInstallPlan(const InstallPlan *plan, const char *installedVersion, int appRunning);
void LogStep(int phaseCode, int position);
// The failed phase, the Phase code and whether a restart is needed.
void LogRunEnd(int phaseCode, int runOk, int appRunning);
// The exit code of the elevated copy that did the run for this one.
void LogElevatedCopy(DWORD exitCode);
// The exit code, and the log is closed.
void CloseRunLog(int exitCode);

#endif
