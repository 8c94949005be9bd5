// Starting programs through the shell: the installed application after an
// install, and this program again with other rights. Kept apart so that tests
// can replace the starts.
#ifndef DRIVER_APPLICATION_START_H
#define DRIVER_APPLICATION_START_H

#include <windows.h>

// Starts `file` (the application or its shortcut) in `folder` and does not
// wait. 0 when the shell could not start it.
int StartApplication(const char *file, const char *folder);
// Starts the application with "/H /W" and waits, without time limit, for its
// ready event or its end. 1 when it did not end before signalling.
int StartAndAwaitReady(const char *file, const char *folder);
// Starts `program` with `parameters` and the shell verb `verb` (none: the
// default), waits for it without time limit, and hands back its exit code.
// 0 when it did not start: refused, cancelled or impossible.
int StartAndAwaitExit(const char *program, const char *parameters, const char *verb,
                      DWORD *exitCode);

#endif
