// Elevation: an install or uninstall on Vista and later that lacks
// administrator rights starts this program again through Windows' elevation
// prompt, waits for that copy and ends with its exit code.
#ifndef DRIVER_ELEVATION_H
#define DRIVER_ELEVATION_H

#include "driver/run_state.h"

#include <stddef.h>

// Command line buffer of the elevated copy.
enum { ELEVATED_COMMAND_LINE_SIZE = 4 * MAX_PATH };

// The command line of the elevated copy into `buffer` of `size` characters:
// the switches of `command` as given, each once, the token, and "/D=" with its
// folder last. When this copy writes a log (`logPath` not empty), the log
// switch names that log (its folder, when the file has the usual name)
// instead of the place given, so that both copies write to one file: another
// account has another temporary folder. 0 when it does not fit.
int BuildElevatedCommandLine(const SetupCommand *command, const char *logPath, char *buffer,
                             size_t size);

// Lets an elevated copy do the run when this one lacks the rights and Windows
// can give them: to an administrator's filtered token (the same account) or
// to a standard user through an administrator's credentials (another
// account). 1 when a copy ran, with its exit code in `*exitCode`; the result
// value and the restart of the application that the copy leaves to this one
// are done then. 0 when no copy ran: this copy is one, the system has no
// elevation, or the user refused it.
int RunElevatedCopy(RunState *run, const SetupCommand *command, int *exitCode);

#endif
