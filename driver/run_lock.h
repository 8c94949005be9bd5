// The lock that lets one install or uninstall run of the product work at a
// time.
#ifndef DRIVER_RUN_LOCK_H
#define DRIVER_RUN_LOCK_H

#include <windows.h>

// The name of the run lock, in the machine-wide namespace on Windows 2000
// and later (so runs in other sessions see it too).
#define RUN_LOCK_NAME "{5E0C7A21-9B3D-4F6E-A8C2-71D4B0E96F13}:ZYNSETUP:RUN"
#define GLOBAL_RUN_LOCK_NAME "Global\\" RUN_LOCK_NAME

enum { RUN_LOCK_WAIT = 60000 };  // milliseconds a second run waits

// Takes the run lock, waiting up to RUN_LOCK_WAIT for a run that holds it.
// A lock left by a run that was killed counts as free. 0 when not taken.
HANDLE AcquireRunLock(int isNt5);
void ReleaseRunLock(HANDLE lock);

#endif
