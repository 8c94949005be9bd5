// Where the conversion entry points come from: kernel32 on the NT family,
// only the Unicode layer on Windows 9x. The probe runs under a Windows
// version given to it through Wine's per-application settings.
#include <gtest/gtest.h>

#include <windows.h>

#include <string>

namespace {

const char kProbe[] = "xml_conversion_probe.exe";

std::string ProbePath()
{
    char path[MAX_PATH];
    DWORD length = GetModuleFileNameA(0, path, MAX_PATH);
    std::string folder(path, length);
    return folder.substr(0, folder.rfind('\\') + 1) + kProbe;
}

// Runs the probe under the given Wine version name ("" for the prefix's default).
DWORD RunProbe(const char *version)
{
    std::string key = std::string("Software\\Wine\\AppDefaults\\") + kProbe;
    HKEY handle;
    if (*version) {
        EXPECT_EQ(ERROR_SUCCESS, RegCreateKeyExA(HKEY_CURRENT_USER, key.c_str(), 0, 0, 0,
                                                 KEY_ALL_ACCESS, 0, &handle, 0));
        RegSetValueExA(handle, "Version", 0, REG_SZ, (const BYTE *)version,
                       (DWORD)strlen(version) + 1);
        RegCloseKey(handle);
    }
    std::string command = "\"" + ProbePath() + "\"";
    STARTUPINFOA startup;
    ZeroMemory(&startup, sizeof(startup));
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION process;
    DWORD code = 0xFFFFFFFF;
    if (CreateProcessA(0, &command[0], 0, 0, FALSE, 0, 0, 0, &startup, &process)) {
        WaitForSingleObject(process.hProcess, 30000);
        GetExitCodeProcess(process.hProcess, &code);
        CloseHandle(process.hProcess);
        CloseHandle(process.hThread);
    }
    if (*version)
        RegDeleteKeyA(HKEY_CURRENT_USER, key.c_str());
    return code;
}

TEST(ConvertPlatform, NtFamilyUsesKernel32)
{
    EXPECT_EQ(1u | 2u, RunProbe(""));
    EXPECT_EQ(1u | 2u, RunProbe("win2k"));
}

TEST(ConvertPlatform, Windows98NeedsTheUnicodeLayer)
{
    EXPECT_EQ(2u | 4u, RunProbe("win98"));
}

} // namespace
