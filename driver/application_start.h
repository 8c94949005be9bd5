// Starting the installed application and awaiting its ready event.
#ifndef DRIVER_APPLICATION_START_H
#define DRIVER_APPLICATION_START_H

#include <windows.h>

// Starts the application with "/H /W" and waits, without time limit, for its
// ready event or its end. 1 when it did not end before signalling.
int StartAndAwaitReady(const char *file, const char *folder);

// Starts this program again with the verb "runas" and `parameters`, waits for
// it without time limit, and hands back its exit code. 0 when the copy did not
// start: elevation refused, cancelled or impossible.
int StartElevatedCopy(const char *parameters, DWORD *exitCode);

#endif
