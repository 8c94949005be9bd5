// Launch mode: a caller's request stored in the caller-notification key, the
// installed application started with "/H /W" and awaited.
#include "tests/e2e/setup_exe.h"

#include <gtest/gtest.h>

#include <string>

namespace {

const char kCallerKey[] = "SOFTWARE\\Tavrin\\Dex\\FreshRelay";

std::wstring WideValue(const char *name)
{
    HKEY key;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, kCallerKey, 0, KEY_READ, &key) != ERROR_SUCCESS)
        return L"<no key>";
    wchar_t text[MAX_PATH] = {0};
    DWORD type = 0;
    DWORD size = sizeof(text);
    std::wstring wideName(name, name + strlen(name));
    LONG result = RegQueryValueExW(key, wideName.c_str(), 0, &type, (BYTE *)text, &size);
    RegCloseKey(key);
    return result == ERROR_SUCCESS && type == REG_SZ ? std::wstring(text) : L"<none>";
}

DWORD WindowValue()
{
    HKEY key;
    DWORD value = 0xFFFFFFFF;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, kCallerKey, 0, KEY_READ, &key) == ERROR_SUCCESS) {
        DWORD size = sizeof(value);
        RegQueryValueExA(key, "HWND", 0, 0, (BYTE *)&value, &size);
        RegCloseKey(key);
    }
    return value;
}

class LaunchMode : public SetupExeTest {
protected:
    // Installs with the stand-in as the application.
    void InstallStandIn()
    {
        ASSERT_TRUE(CopyFileA(TestFile("dorsel_standin.exe").c_str(), MediumFile("Dorsel").c_str(), FALSE));
        ASSERT_EQ(0u, RunSetup("/S"));
    }
};

TEST_F(LaunchMode, NeedsWindows2000OrLater)
{
    SetWineVersion("nt40");
    EXPECT_EQ(50u, RunSetup("/Tfeature"));
    EXPECT_EQ(L"<no key>", WideValue("FEATUREID"));
}

TEST_F(LaunchMode, StoresTheRequestAndWaitsForTheApplication)
{
    InstallStandIn();
    // The message box of a failure would be owned by the caller's window; an
    // invalid window keeps it from appearing, so nothing here can block.
    EXPECT_EQ(0u, RunSetup("/Tfeature HWND=1A2B C:\\ze2e NOTIFY=note KILL=stop"));
    EXPECT_EQ(L"feature", WideValue("FEATUREID"));
    EXPECT_EQ(0x1A2Bu, WindowValue());
    EXPECT_EQ(L"C:\\ze2e", WideValue("PATH"));
    EXPECT_EQ(L"note", WideValue("NOTIFY"));
    EXPECT_EQ(L"stop", WideValue("KILL"));

    // A pending request blocks the next one and stays as it was; so does one
    // whose caller has created the key but not written "HWND" yet.
    EXPECT_EQ(170u, RunSetup("/Tother HWND=1A2B"));
    EXPECT_EQ(L"feature", WideValue("FEATUREID"));
    HKEY key;
    ASSERT_EQ(ERROR_SUCCESS, RegOpenKeyExA(HKEY_CURRENT_USER, kCallerKey, 0, KEY_ALL_ACCESS, &key));
    RegDeleteValueA(key, "HWND");
    RegCloseKey(key);
    EXPECT_EQ(170u, RunSetup("/Tother HWND=1A2B"));
    EXPECT_EQ(L"feature", WideValue("FEATUREID"));
    EXPECT_EQ(0xFFFFFFFFu, WindowValue());
}

TEST_F(LaunchMode, RefusedRequestsAreNotStored)
{
    InstallStandIn();
    // Without a feature id the window is never read: the message has no owner
    // and appears.
    std::vector<std::string> messages;
    EXPECT_EQ(87u, RunSetupAnswering("/T HWND=1A2B", &messages));
    ASSERT_EQ(1u, messages.size());
    EXPECT_FALSE(messages[0].empty());  // the system's text for error 87
    EXPECT_EQ(L"<no key>", WideValue("FEATUREID"));
    const char *refused[] = {
        "/Tabc HWND=1A2B C:\\ze2e",                 // three arguments
        "/Tabc HWND=1A2B C:\\ze2e KILL=x",          // the fourth must be NOTIFY=
        "/Tabc HWND=1A2B C:\\does-not-exist NOTIFY=",
    };
    for (const char *command : refused) {
        EXPECT_EQ(87u, RunSetup(command)) << command;  // an administrator under Wine
        EXPECT_EQ(L"<no key>", WideValue("FEATUREID")) << command;
    }
    EXPECT_EQ(0u, RunSetup("/Tabc HWND=1A2B C:\\ze2e KILL=x NOTIFY="));
    EXPECT_EQ(L"", WideValue("NOTIFY"));
}

TEST_F(LaunchMode, ProductNotInstalled)
{
    std::vector<std::string> messages;
    EXPECT_EQ(1012u, RunSetupAnswering("/Tfeature", &messages));
    EXPECT_EQ(1u, messages.size());
    EXPECT_EQ(L"<no key>", WideValue("FEATUREID"));
}

// /O /W on a fresh install makes no group shortcut: the application itself
// is started, and the waiting caller's request stays for it.
TEST_F(LaunchMode, RelaunchWithoutGroupShortcutStartsTheApplication)
{
    ASSERT_TRUE(CopyFileA(TestFile("dorsel_standin.exe").c_str(), MediumFile("Dorsel").c_str(), FALSE));
    HKEY key;
    DWORD caller = 0x1A2B;  // no such window: a failure message would not appear
    ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExA(HKEY_CURRENT_USER, kCallerKey, 0, 0, 0, KEY_ALL_ACCESS, 0, &key, 0));
    RegSetValueExA(key, "HWND", 0, REG_DWORD, (const BYTE *)&caller, sizeof(caller));
    RegCloseKey(key);
    ASSERT_EQ(0u, RunSetup("/S /O /W"));
    EXPECT_FALSE(Exists(GroupShortcut(kProduct)));
    EXPECT_EQ(caller, WindowValue());  // the application signalled that it is ready
    AwaitStartedApplicationEnd();
}

TEST_F(LaunchMode, ApplicationEndingFirstFails)
{
    InstallStandIn();
    WriteText(Target() + "\\end-early.txt", "x");
    EXPECT_EQ(1627u, RunSetup("/Tfeature HWND=1A2B"));
    EXPECT_EQ(L"<no key>", WideValue("FEATUREID"));  // deleted again
}

} // namespace
