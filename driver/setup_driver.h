// The setup driver: command line, start-up, the setup run and launch mode.
#ifndef DRIVER_SETUP_DRIVER_H
#define DRIVER_SETUP_DRIVER_H

#include "base/run_options.h"

#include <windows.h>

#define READY_EVENT_NAME "{5E0C7A21-9B3D-4F6E-A8C2-71D4B0E96F13}:FRESHRELAY:INIT"
#define CALLER_NOTIFICATION_KEY "SOFTWARE\\Tavrin\\Dex\\FreshRelay"
#define UNINSTALLER_NAME "_zynu000.exe"

// Command line. 1 when it asks for launch mode (it starts with "/T").
int IsLaunchCommandLine(const char *commandLine);
// Adds the switches of the command line to `*options`; a null command line
// adds none. Always 1: an unknown switch is ignored.
int ParseRunOptions(const char *commandLine, RunOptions *options);
// The place of the last "/L=<place>" on the command line into `folder`
// (260 characters): up to the next '/' or '"', without the blanks that end
// it, quotes around it dropped; a file ending in ".log" or ".txt" as a full
// path. 0 with "" when there is none.
int FindLogFolder(const char *commandLine, char *folder);
// 1 when the place of "/L=<place>" names the log file itself: it ends in
// ".log" or ".txt", in any letter case.
int NamesLogFile(const char *place);

// The copy that a run without administrator rights starts elevated carries
// this token. Its first letter is no switch letter, so the switches read the
// same in both copies.
#define ELEVATED_COPY_TOKEN "Elevated"
// 1 when the command line carries the token of the elevated copy.
int IsElevatedCopy(const char *commandLine);

// The command line of an install or uninstall run, read once: everything the
// run takes from it.
struct SetupCommand {
    const char *text;          // as Windows handed it over; never null
    RunOptions options;        // the switches applied to RUNOPT_INSTALL
    char logFolder[MAX_PATH];  // of "/L=<folder>"; "" for the temporary folder
    char logFile[MAX_PATH];    // "/L=<file>" ending in ".log" or ".txt", as a full path
    int elevatedCopy;          // started elevated by a copy that lacked the rights
    DWORD restartExitCode;     // "/R=<code>": the exit code of a success that needs a restart
    int restartCodeIgnored;    // the last "/R=" gave no decimal code, or one that means
                               // something else to a caller; restartExitCode is 0 then
    const char *installFolderSwitch;  // "/D=" in `text`, the last switch; null without one
    int installFolderGiven;           // it names a folder (one that is only blanks does not)
    char installFolder[MAX_PATH];     // that folder, tidied; "" when too long
};
// Reads `commandLine` (null: an empty one) into `command`. Always 1.
int ReadSetupCommand(const char *commandLine, SetupCommand *command);

struct SetupSource;

// Start-up, into `source`: the system language, and for an install the setup
// data. A plain setup.exe takes its Setup script and descriptor from beside
// itself and parses an XML descriptor (the Unicode layer loaded on Windows
// 9x); a bundle is opened and held, and its header and index read. 0 when
// the run cannot go on (a missing setup file, an unreadable descriptor, no
// Unicode layer on Windows 9x, a refused bundle, with `*damaged` set then).
int InitSetupRun(RunOptions options, SetupSource *source, int *damaged);
// What the copy that does the work reads of a bundle before anything
// changes: that it runs from that file, the checksum over all the data and
// the frames, then the script and the descriptor (and the Unicode layer on
// Windows 9x) decoded into a private folder like a staging folder, and the
// XML descriptor parsed. 0 when the run cannot go on, with `*damaged` set
// when the data is at fault.
int ReadBundledSetupFiles(SetupSource *source, int *damaged);
// What the plan needed and the phases do not: the parsed XML descriptor and
// the Unicode layer.
void ReleaseStartupData(SetupSource *source);
// The end of a run's setup data: the above, and a bundle's private folder
// deleted and its file let go.
void ReleaseSetupSource(SetupSource *source);

// The install or uninstall run after the launch-mode test; returns the exit
// code: 0 on success or when the user cancels, the failing Phase code, or -1
// when the user lacks administrator rights on the NT family. Expects
// g_startup.instance to be set.
int RunSetup(const SetupCommand *command);
// Launch mode or the setup run, as the command line asks; returns the exit
// code. Launch mode needs no rights and never elevates.
int RunCommandLine(const char *commandLine);

// Launch mode; returns the exit code: 0 when the application became ready,
// else a Windows error code.
int RunLaunchMode(void);

// The caller-notification key (volatile, below HKEY_CURRENT_USER).
// 1 when the key exists with its "HWND" value, which goes to `*callerWindow`.
int ReadCallerWindow(HWND *callerWindow);
// Removes the key; always 1.
int DeleteCallerNotification(void);
// Stores the request of the process's command line in a new key. Sets
// `*callerWindow` to the request's "HWND=" window even when the request is
// refused; 0 when the request is malformed, a request is already pending
// (then `*busy` is 1: the key existed, with or without "HWND"), or the key
// cannot be written (nothing is then left behind).
int RegisterCallerNotification(HWND *callerWindow, int *busy);

#endif
