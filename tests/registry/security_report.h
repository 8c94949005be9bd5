// What a double of GetSecurityInfo answers: a security descriptor written in
// SDDL, "$R" standing for the account that runs the test.
#ifndef TESTS_REGISTRY_SECURITY_REPORT_H
#define TESTS_REGISTRY_SECURITY_REPORT_H

#include <windows.h>
#include <sddl.h>

#include <string>

// Its owner and, when asked, its access list, in one LocalAlloc block
// given as `*descriptor`, which the caller frees.
inline DWORD ReportSecurity(std::string sddl, PSID *owner, PACL *list,
                            PSECURITY_DESCRIPTOR *descriptor)
{
    union {
        TOKEN_USER user;
        BYTE bytes[sizeof(TOKEN_USER) + SECURITY_MAX_SID_SIZE];
    } runner;
    HANDLE token = 0;
    DWORD size = sizeof(runner);
    char *runnerSid = 0;
    if (OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token) &&
        GetTokenInformation(token, TokenUser, &runner, size, &size))
        ConvertSidToStringSidA(runner.user.User.Sid, &runnerSid);
    CloseHandle(token);
    for (size_t at; runnerSid && (at = sddl.find("$R")) != std::string::npos;)
        sddl.replace(at, 2, runnerSid);
    LocalFree(runnerSid);
    BOOL present = FALSE, defaulted = FALSE;
    *owner = 0;
    if (!ConvertStringSecurityDescriptorToSecurityDescriptorA(sddl.c_str(), SDDL_REVISION_1,
                                                              descriptor, 0))
        return GetLastError();
    GetSecurityDescriptorOwner(*descriptor, owner, &defaulted);
    if (list && (!GetSecurityDescriptorDacl(*descriptor, &present, list, &defaulted) || !present))
        *list = 0;
    return ERROR_SUCCESS;
}

#endif
