// The run lock; see run_lock.h. The private namespace's calls are looked up
// at run time: systems before Vista lack them, and so does Wine, which then
// takes the lock by its global name as those systems do.
#include "driver/run_lock.h"

#include "base/log.h"
#include "base/system_entry.h"
#include "registry/registry.h"

#include <sddl.h>
#include <string.h>

namespace {

typedef HANDLE(WINAPI *CreateBoundaryFn)(LPCWSTR, ULONG);
typedef BOOL(WINAPI *AddBoundarySidFn)(HANDLE *, PSID);
typedef VOID(WINAPI *DeleteBoundaryFn)(HANDLE);
typedef HANDLE(WINAPI *CreateNamespaceFn)(LPSECURITY_ATTRIBUTES, LPVOID, LPCWSTR);
typedef HANDLE(WINAPI *OpenNamespaceFn)(LPVOID, LPCWSTR);
typedef BOOLEAN(WINAPI *CloseNamespaceFn)(HANDLE, ULONG);
typedef HANDLE(WINAPI *CreateMutexExFn)(LPSECURITY_ATTRIBUTES, LPCWSTR, DWORD, DWORD);
typedef BOOL(WINAPI *ReadSecurityTextFn)(LPCSTR, DWORD, PSECURITY_DESCRIPTOR *, PULONG);

const char *const kNamespaceCallNames[] = {
    "CreateBoundaryDescriptorW", "AddSIDToBoundaryDescriptor", "DeleteBoundaryDescriptor",
    "CreatePrivateNamespaceW",   "OpenPrivateNamespaceW",      "CreateMutexExW",
    "ClosePrivateNamespace"};
const int kNamespaceCallCount = sizeof(kNamespaceCallNames) / sizeof(kNamespaceCallNames[0]);

// The calls of a private namespace, looked up by the names in
// kNamespaceCallNames, in the same order.
union NamespaceCalls {
    struct {
        CreateBoundaryFn createBoundary;
        AddBoundarySidFn addSid;
        DeleteBoundaryFn deleteBoundary;
        CreateNamespaceFn createSpace;
        OpenNamespaceFn openSpace;
        CreateMutexExFn createMutex;
        CloseNamespaceFn closeSpace;
    } call;
    void *entry[kNamespaceCallCount];
};

// 1 when the system has every call of a private namespace.
int FindNamespaceCalls(NamespaceCalls *calls)
{
    for (int i = 0; i < kNamespaceCallCount; ++i)
        if (!(calls->entry[i] = LookupSystemEntry("kernel32.dll", kNamespaceCallNames[i])))
            return 0;
    return 1;
}

// The namespace, made by the first run or opened when another made it (and
// made again when that run closed it meanwhile). 0 when neither works, with
// the failing call logged.
int OpenLockSpace(const NamespaceCalls *calls, HANDLE boundary, SECURITY_ATTRIBUTES *access,
                  RunLock *lock)
{
    const char *call = "CreatePrivateNamespaceW";
    for (int attempt = 0; attempt < 2 && !lock->space; ++attempt) {
        lock->space = calls->call.createSpace(access, boundary, RUN_LOCK_NAMESPACE);
        if (lock->space || GetLastError() != ERROR_ALREADY_EXISTS)
            break;
        call = "OpenPrivateNamespaceW";
        lock->space = calls->call.openSpace(boundary, RUN_LOCK_NAMESPACE);
    }
    return lock->space ? 1 : LogFailure(call, "of the run lock");
}

// The mutex in the private namespace, when the boundary and the namespace
// admit this run. 0 with the failing call logged.
int OpenPrivateLock(const NamespaceCalls *calls, RunLock *lock)
{
    ReadSecurityTextFn readSecurity = (ReadSecurityTextFn)LookupSystemEntry(
        "advapi32.dll", "ConvertStringSecurityDescriptorToSecurityDescriptorA");
    SECURITY_ATTRIBUTES access = {sizeof(access), 0, FALSE};
    if (!readSecurity ||
        !readSecurity(RUN_LOCK_ACCESS, SDDL_REVISION_1, &access.lpSecurityDescriptor, 0))
        return LogFailure("ConvertStringSecurityDescriptorToSecurityDescriptorA", RUN_LOCK_ACCESS);
    HANDLE boundary = calls->call.createBoundary(RUN_LOCK_BOUNDARY, 0);
    if (!boundary)
        LogFailure("CreateBoundaryDescriptorW", "of the run lock");
    else if (!calls->call.addSid(&boundary, WellKnownSid(WELL_KNOWN_ADMINISTRATORS)))
        LogFailure("AddSIDToBoundaryDescriptor", "of the run lock");
    else if (OpenLockSpace(calls, boundary, &access, lock) &&
             !(lock->mutex = calls->call.createMutex(&access, PRIVATE_RUN_LOCK_NAME, 0,
                                                SYNCHRONIZE | MUTEX_MODIFY_STATE)))
        LogFailure("CreateMutexExW", "of the run lock");
    if (boundary)
        calls->call.deleteBoundary(boundary);
    LocalFree(access.lpSecurityDescriptor);
    return lock->mutex != 0;
}

} // namespace

int AcquireRunLock(int isNt5, RunLock *lock)
{
    memset(lock, 0, sizeof(*lock));
    NamespaceCalls calls;
    if (FindNamespaceCalls(&calls)) {
        if (!OpenPrivateLock(&calls, lock)) {
            ReleaseRunLock(lock);
            return RUN_LOCK_REFUSED;
        }
    } else {
        const char *name = isNt5 ? GLOBAL_RUN_LOCK_NAME : RUN_LOCK_NAME;
        lock->mutex = CreateMutexA(0, FALSE, name);
        if (!lock->mutex) {
            LogFailure("CreateMutexA", name);
            return RUN_LOCK_REFUSED;
        }
    }
    DWORD result = WaitForSingleObject(lock->mutex, RUN_LOCK_WAIT);
    if (result == WAIT_OBJECT_0 || result == WAIT_ABANDONED)
        return RUN_LOCK_TAKEN;
    if (result != WAIT_TIMEOUT)
        LogFailure("WaitForSingleObject", "on the run lock");
    CloseHandle(lock->mutex);  // not this run's to release
    lock->mutex = 0;
    ReleaseRunLock(lock);
    return result == WAIT_TIMEOUT ? RUN_LOCK_HELD : RUN_LOCK_REFUSED;
}

void ReleaseRunLock(RunLock *lock)
{
    if (lock->mutex) {
        ReleaseMutex(lock->mutex);
        CloseHandle(lock->mutex);
    }
    // The namespace stays while any run holds it open: the mutex keeps its
    // name for the runs that wait on it.
    CloseNamespaceFn closeSpace =
        (CloseNamespaceFn)LookupSystemEntry("kernel32.dll", "ClosePrivateNamespace");
    if (lock->space && closeSpace)
        closeSpace(lock->space, 0);
    memset(lock, 0, sizeof(*lock));
}
