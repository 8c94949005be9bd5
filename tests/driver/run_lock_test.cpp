// The run lock where Wine cannot show it. Wine has no private namespaces, so
// their calls here are stand-ins, linked in place of the system's lookup,
// that record their arguments and answer as a row asks; the mutex they hand
// out is a real one of this test. The global name that any account could
// make first is made first, and lets no one open it.
#include "driver/run_lock.h"

#include "base/system_entry.h"

#include <gtest/gtest.h>

#include <sddl.h>

#include <string>
#include <vector>

namespace {

HANDLE const kBoundary = (HANDLE)0xB0;
HANDLE const kSpace = (HANDLE)0x5A;

struct Script {
    bool missing;      // the system has no private namespaces (before Vista, Wine)
    DWORD createError; // CreatePrivateNamespaceW fails with it
    DWORD openError;   // OpenPrivateNamespaceW fails with it
    DWORD mutexError;  // CreateMutexExW fails with it
    std::vector<std::string> calls;
} script;

std::string Narrow(const wchar_t *text)
{
    std::string narrow;
    for (; *text; ++text)
        narrow += (char)*text;
    return narrow;
}

std::string AccessText(LPSECURITY_ATTRIBUTES attributes)
{
    char *text = 0;
    if (!attributes || !ConvertSecurityDescriptorToStringSecurityDescriptorA(
                           attributes->lpSecurityDescriptor, SDDL_REVISION_1,
                           DACL_SECURITY_INFORMATION, &text, 0))
        return "-";
    std::string access = text;
    LocalFree(text);
    return access;
}

HANDLE Answer(HANDLE handle, DWORD error)
{
    SetLastError(error);
    return error ? 0 : handle;
}

HANDLE WINAPI CreateBoundary(LPCWSTR name, ULONG)
{
    script.calls.push_back("CreateBoundaryDescriptorW " + Narrow(name));
    return kBoundary;
}

BOOL WINAPI AddSid(HANDLE *boundary, PSID sid)
{
    char *text = 0;
    ConvertSidToStringSidA(sid, &text);
    script.calls.push_back(std::string("AddSIDToBoundaryDescriptor ") + (text ? text : "-"));
    LocalFree(text);
    return *boundary == kBoundary;
}

VOID WINAPI DeleteBoundary(HANDLE) { script.calls.push_back("DeleteBoundaryDescriptor"); }

HANDLE WINAPI CreateSpace(LPSECURITY_ATTRIBUTES attributes, LPVOID boundary, LPCWSTR prefix)
{
    script.calls.push_back("CreatePrivateNamespaceW " + Narrow(prefix) + " " +
                           AccessText(attributes) + (boundary == kBoundary ? "" : " (other)"));
    return Answer(kSpace, script.createError);
}

HANDLE WINAPI OpenSpace(LPVOID boundary, LPCWSTR prefix)
{
    script.calls.push_back("OpenPrivateNamespaceW " + Narrow(prefix) +
                           (boundary == kBoundary ? "" : " (other)"));
    return Answer(kSpace, script.openError);
}

BOOLEAN WINAPI CloseSpace(HANDLE space, ULONG flags)
{
    script.calls.push_back("ClosePrivateNamespace " + std::to_string(flags) +
                           (space == kSpace ? "" : " (other)"));
    return TRUE;
}

HANDLE WINAPI CreateMutexEx(LPSECURITY_ATTRIBUTES attributes, LPCWSTR name, DWORD flags,
                            DWORD access)
{
    char mask[16];
    snprintf(mask, sizeof(mask), "%lx %lx", flags, access);
    script.calls.push_back("CreateMutexExW " + Narrow(name) + " " + AccessText(attributes) + " " +
                           mask);
    return Answer(CreateMutexA(0, FALSE, "zlocktest-RUN"), script.mutexError);
}

} // namespace

// The link-time double: the namespace calls above, everything else as it is.
void *LookupSystemEntry(const char *module, const char *name)
{
    const struct {
        const char *name;
        void *entry;
    } doubles[] = {{"CreateBoundaryDescriptorW", (void *)CreateBoundary},
                   {"AddSIDToBoundaryDescriptor", (void *)AddSid},
                   {"DeleteBoundaryDescriptor", (void *)DeleteBoundary},
                   {"CreatePrivateNamespaceW", (void *)CreateSpace},
                   {"OpenPrivateNamespaceW", (void *)OpenSpace},
                   {"ClosePrivateNamespace", (void *)CloseSpace},
                   {"CreateMutexExW", (void *)CreateMutexEx}};
    for (const auto &entry : doubles)
        if (strcmp(name, entry.name) == 0)
            return script.missing ? 0 : entry.entry;
    HMODULE handle = GetModuleHandleA(module);
    return handle ? (void *)GetProcAddress(handle, name) : 0;
}

namespace {

const std::string kAccess = " D:P(A;;GA;;;BA)(A;;GA;;;SY)";
const std::string kCreate = "CreatePrivateNamespaceW {5E0C7A21-9B3D-4F6E-A8C2-71D4B0E96F13}:ZYNSETUP" + kAccess;
const std::string kOpen = "OpenPrivateNamespaceW {5E0C7A21-9B3D-4F6E-A8C2-71D4B0E96F13}:ZYNSETUP";
const std::string kMutex =
    "CreateMutexExW {5E0C7A21-9B3D-4F6E-A8C2-71D4B0E96F13}:ZYNSETUP\\RUN" + kAccess + " 0 100001";
const std::vector<std::string> kBoundaryCalls = {"CreateBoundaryDescriptorW {5E0C7A21-9B3D-4F6E-A8C2-71D4B0E96F13}:ZYNSETUP",
                                                 "AddSIDToBoundaryDescriptor S-1-5-32-544"};
const std::vector<std::string> kReleaseCalls = {"DeleteBoundaryDescriptor",
                                                "ClosePrivateNamespace 0"};

std::vector<std::string> Calls(std::vector<std::string> middle, bool opened)
{
    std::vector<std::string> calls = kBoundaryCalls;
    calls.insert(calls.end(), middle.begin(), middle.end());
    calls.push_back(kReleaseCalls[0]);
    if (opened)
        calls.push_back(kReleaseCalls[1]);
    return calls;
}

TEST(RunLock, InANamespaceOnlyAdministratorsCanMake)
{
    SECURITY_DESCRIPTOR descriptor;
    ACL empty;
    InitializeSecurityDescriptor(&descriptor, SECURITY_DESCRIPTOR_REVISION);
    InitializeAcl(&empty, sizeof(empty), ACL_REVISION);
    SetSecurityDescriptorDacl(&descriptor, TRUE, &empty, FALSE);
    SECURITY_ATTRIBUTES attributes = {sizeof(attributes), &descriptor, FALSE};
    HANDLE squatted = CreateMutexA(&attributes, FALSE, GLOBAL_RUN_LOCK_NAME);
    ASSERT_TRUE(squatted);

    const struct {
        const char *name;
        Script script;
        int state;
        std::vector<std::string> calls;
    } rows[] = {
        {"made here", {false, 0, 0, 0, {}}, RUN_LOCK_TAKEN, Calls({kCreate, kMutex}, true)},
        {"made by another run", {false, ERROR_ALREADY_EXISTS, 0, 0, {}}, RUN_LOCK_TAKEN,
         Calls({kCreate, kOpen, kMutex}, true)},
        {"outside the boundary", {false, ERROR_ACCESS_DENIED, 0, 0, {}}, RUN_LOCK_REFUSED,
         Calls({kCreate}, false)},
        {"made by another, closed to this run",
         {false, ERROR_ALREADY_EXISTS, ERROR_ACCESS_DENIED, 0, {}}, RUN_LOCK_REFUSED,
         Calls({kCreate, kOpen, kCreate, kOpen}, false)},
        {"its name taken in the namespace", {false, 0, 0, ERROR_ACCESS_DENIED, {}}, RUN_LOCK_REFUSED,
         Calls({kCreate, kMutex}, true)},
        // Without namespaces the global name stands, and the squatted one is
        // no run that holds it.
        {"no namespaces", {true, 0, 0, 0, {}}, RUN_LOCK_REFUSED, {}},
    };
    for (const auto &row : rows) {
        script = row.script;
        RunLock lock;
        EXPECT_EQ(row.state, AcquireRunLock(1, &lock)) << row.name;
        std::vector<std::string> acquired = script.calls;
        ReleaseRunLock(&lock);
        EXPECT_EQ(row.calls, script.calls) << row.name;
        EXPECT_EQ(row.state == RUN_LOCK_TAKEN, acquired.size() + 1 == script.calls.size())
            << row.name;
    }
    CloseHandle(squatted);
}

} // namespace
