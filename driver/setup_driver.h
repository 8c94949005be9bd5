// The setup driver: command line, start-up, the setup run and launch mode.
#ifndef DRIVER_SETUP_DRIVER_H
#define DRIVER_SETUP_DRIVER_H

#include "driver/run_options.h"

#include <windows.h>

#define READY_EVENT_NAME "{5E0C7A21-9B3D-4F6E-A8C2-71D4B0E96F13}:FRESHRELAY:INIT"
#define CALLER_NOTIFICATION_KEY "SOFTWARE\\Tavrin\\Dex\\FreshRelay"
#define RESULT_KEY "SOFTWARE\\Vak\\QuillsenSoftwareInstaller"
#define UNINSTALLER_NAME "_zynu000.exe"

// Command line.
int IsLaunchCommandLine(const char *commandLine);
int ParseRunOptions(const char *commandLine, RunOptions *options);

// Start-up: language, Unicode layer, setup data, and the XML descriptor.
int InitSetupRun(HINSTANCE instance, RunOptions options);

// The install or uninstall run after the launch-mode test; returns the exit code.
int RunSetup(HINSTANCE instance, const char *commandLine);

// Launch mode; returns the exit code.
int RunLaunchMode(void);

// The caller-notification key.
int ReadCallerWindow(HWND *callerWindow);
int DeleteCallerNotification(void);
// Stores the request of the process command line in a new key; `busy` is
// set when the key exists already (another request is pending).
int RegisterCallerNotification(HWND *callerWindow, int *busy);

// A string of the program's string table, or "" when it has none.
const char *LoadText(UINT id, char *buffer, int size);

#endif
