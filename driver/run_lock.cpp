// The run lock; see run_lock.h.
#include "driver/run_lock.h"

HANDLE AcquireRunLock(int isNt5)
{
    HANDLE lock = CreateMutexA(0, FALSE, isNt5 ? GLOBAL_RUN_LOCK_NAME : RUN_LOCK_NAME);
    if (!lock)
        return 0;
    DWORD result = WaitForSingleObject(lock, RUN_LOCK_WAIT);
    if (result == WAIT_OBJECT_0 || result == WAIT_ABANDONED)
        return lock;
    CloseHandle(lock);
    return 0;
}

void ReleaseRunLock(HANDLE lock)
{
    if (!lock)
        return;
    ReleaseMutex(lock);
    CloseHandle(lock);
}
