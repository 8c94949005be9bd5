// The run lock in its private namespace, which Wine lacks: the namespace's
// calls are stand-ins linked in place of the system's lookup, that record
// their arguments and fail as a row asks. The global name, which any account
// could make first, is taken first here, and lets no one open it.
#include "driver/run_lock.h"

#include "base/system_entry.h"

#include <gtest/gtest.h>

#include <sddl.h>

#include <string>

namespace {

std::string g_calls, g_failing;  // what was called; the call that fails
DWORD g_error;

std::string Text(const wchar_t *text) { return std::string(text, text + wcslen(text)); }

std::string Access(LPSECURITY_ATTRIBUTES attributes)
{
    char *text = 0;
    ConvertSecurityDescriptorToStringSecurityDescriptorA(
        attributes->lpSecurityDescriptor, SDDL_REVISION_1, DACL_SECURITY_INFORMATION, &text, 0);
    std::string access = std::string(" ") + (text ? text : "-");
    LocalFree(text);
    return access;
}

HANDLE Called(const std::string &call, HANDLE handle = (HANDLE)1)
{
    g_calls += call + "\n";
    bool fails = call.compare(0, g_failing.size(), g_failing) == 0;
    SetLastError(fails ? g_error : 0);
    return fails ? 0 : handle;
}

HANDLE WINAPI CreateBoundary(LPCWSTR name, ULONG) { return Called("boundary " + Text(name)); }
VOID WINAPI DeleteBoundary(HANDLE) {}
BOOLEAN WINAPI CloseSpace(HANDLE, ULONG flags) { return !!Called("close " + std::to_string(flags)); }
HANDLE WINAPI OpenSpace(LPVOID, LPCWSTR prefix) { return Called("open " + Text(prefix)); }
HANDLE WINAPI CreateSpace(LPSECURITY_ATTRIBUTES access, LPVOID, LPCWSTR prefix)
{
    return Called("create " + Text(prefix) + Access(access));
}
BOOL WINAPI AddSid(HANDLE *, PSID sid)
{
    char *text = 0;
    ConvertSidToStringSidA(sid, &text);
    std::string call = std::string("sid ") + text;
    LocalFree(text);
    return !!Called(call);
}
HANDLE WINAPI CreateMutexEx(LPSECURITY_ATTRIBUTES access, LPCWSTR name, DWORD, DWORD rights)
{
    return Called("mutex " + Text(name) + Access(access) + " " + std::to_string(rights),
                  CreateMutexA(0, FALSE, "zlocktest"));  // stands for the namespace's
}

} // namespace

void *LookupSystemEntry(const char *module, const char *name)
{
    const struct { const char *name; void *entry; } doubles[] = {
        {"CreateBoundaryDescriptorW", (void *)CreateBoundary},
        {"AddSIDToBoundaryDescriptor", (void *)AddSid},
        {"DeleteBoundaryDescriptor", (void *)DeleteBoundary},
        {"CreatePrivateNamespaceW", (void *)CreateSpace},
        {"OpenPrivateNamespaceW", (void *)OpenSpace},
        {"ClosePrivateNamespace", (void *)CloseSpace},
        {"CreateMutexExW", (void *)CreateMutexEx}};
    for (const auto &entry : doubles)
        if (strcmp(name, entry.name) == 0)
            return entry.entry;
    return (void *)GetProcAddress(GetModuleHandleA(module), name);
}

namespace {

TEST(RunLock, InANamespaceOnlyAdministratorsMake)
{
    SECURITY_ATTRIBUTES nobody = {sizeof(nobody), 0, FALSE};
    ConvertStringSecurityDescriptorToSecurityDescriptorA("D:", 1, &nobody.lpSecurityDescriptor, 0);
    HANDLE squatted = CreateMutexA(&nobody, FALSE, GLOBAL_RUN_LOCK_NAME);
    ASSERT_TRUE(squatted);
    const std::string space = "{5E0C7A21-9B3D-4F6E-A8C2-71D4B0E96F13}:ZYNSETUP";
    const std::string access = " D:P(A;;GA;;;BA)(A;;GA;;;SY)";
    const std::string made =
        "boundary " + space + "\nsid S-1-5-32-544\ncreate " + space + access + "\n";
    const std::string mutex = "mutex " + space + "\\RUN" + access + " 1048577\nclose 0\n";
    const struct { const char *failing; DWORD error; int state; std::string calls; } rows[] = {
        {"-", 0, RUN_LOCK_TAKEN, made + mutex},
        {"create", ERROR_ALREADY_EXISTS, RUN_LOCK_TAKEN, made + "open " + space + "\n" + mutex},
        {"mutex", ERROR_ACCESS_DENIED, RUN_LOCK_REFUSED, made + mutex},  // not "held": 1618
    };
    for (const auto &row : rows) {
        g_calls.clear();
        g_failing = row.failing;
        g_error = row.error;
        RunLock lock;
        EXPECT_EQ(row.state, AcquireRunLock(1, &lock)) << row.failing;
        // The namespace stays open while the lock is held.
        EXPECT_TRUE(row.state != RUN_LOCK_TAKEN || g_calls.find("close") == std::string::npos);
        ReleaseRunLock(&lock);
        EXPECT_EQ(row.calls, g_calls) << row.failing;
    }
    CloseHandle(squatted);
}

} // namespace
