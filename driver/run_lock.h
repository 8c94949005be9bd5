// The lock that lets one install or uninstall run of the product work at a
// time.
#ifndef DRIVER_RUN_LOCK_H
#define DRIVER_RUN_LOCK_H

#include <windows.h>

// The name of the run lock where the system has no private namespaces, in
// the machine-wide namespace on Windows 2000 and later (so runs in other
// sessions see it too).
#define RUN_LOCK_NAME "{5E0C7A21-9B3D-4F6E-A8C2-71D4B0E96F13}:ZYNSETUP:RUN"
#define GLOBAL_RUN_LOCK_NAME "Global\\" RUN_LOCK_NAME
// Where it has them (Windows Vista and later): the lock in a private
// namespace whose boundary takes only members of Administrators, so that no
// other account can make its name first.
#define RUN_LOCK_NAMESPACE L"{5E0C7A21-9B3D-4F6E-A8C2-71D4B0E96F13}:ZYNSETUP"
#define RUN_LOCK_BOUNDARY RUN_LOCK_NAMESPACE  // the boundary descriptor's own name
#define PRIVATE_RUN_LOCK_NAME RUN_LOCK_NAMESPACE L"\\RUN"
// Both, the namespace and the mutex, are for Administrators and SYSTEM only.
#define RUN_LOCK_ACCESS "D:P(A;;GA;;;BA)(A;;GA;;;SY)"

enum { RUN_LOCK_WAIT = 60000 };  // milliseconds a second run waits

enum RunLockState {
    RUN_LOCK_TAKEN = 1,
    RUN_LOCK_HELD = 0,      // another run held it for RUN_LOCK_WAIT
    RUN_LOCK_REFUSED = -1   // it cannot be opened: its name taken by an object
                            // this run may not open, or the namespace refused
};

struct RunLock {
    HANDLE mutex;
    HANDLE space;  // the private namespace it is named in; null without one
};

// Takes the run lock, waiting up to RUN_LOCK_WAIT for a run that holds it.
// A lock left by a run that was killed counts as free. Returns a
// RunLockState; `lock` holds what ReleaseRunLock gives back. The call that
// failed to open the lock is logged.
int AcquireRunLock(int isNt5, RunLock *lock);
void ReleaseRunLock(RunLock *lock);

#endif
