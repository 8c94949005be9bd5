// Runs the real setup.exe from a prepared setup folder and resets what an
// install leaves on the machine between tests.
#ifndef TESTS_E2E_SETUP_EXE_H
#define TESTS_E2E_SETUP_EXE_H

#include "registry/registry.h"
#include "tests/files/file_access.h"
#include "tests/registry/registry_access.h"

#include <gtest/gtest.h>

#include <functional>
#include <map>
#include <string>
#include <utility>
#include <vector>

const char kProduct[] = "Dorsel Manager";
// In the ANSI code page of the German locale (1252): "Dorsel Paketprüfer".
const char kGermanProduct[] = "Dorsel Paketpr\xFC" "fer";
const char kMedium[] = "C:\\ze2e\\medium";
#define TOOLBAR_KEY BROWSER_EXTENSIONS_KEY "\\" PRODUCT_GUID
const DWORD kTimedOut = 0xDEADBEEF;

const char *const kSourceNames[] = {"setup.exe", "Dorsel", "Dorsel.zyn", "ZynSetup.dat",
                                    "ZynSetup.dll", "ZYNSYSID.sys", "ZYNSYSID.vxd", "zynliba.dll",
                                    "zynlibb.dll", "unicows.dll", "ZYNNTDEV.sys", "ZynFlash.dll"};
const char *const kInstalledNames[] = {"_zynu000.exe", "Dorsel.exe", "ZynSetup.ini",
                                       "ZynSetup.dat", "ZynSetup.dll", "ZYNSYSID.sys",
                                       "ZYNSYSID.vxd", "zynliba.dll", "zynlibb.dll",
                                       "unicows.dll", "ZYNNTDEV.sys", "ZynFlash.dll"};

inline std::string ThisFolder()
{
    char path[MAX_PATH];
    std::string module(path, GetModuleFileNameA(0, path, MAX_PATH));
    return module.substr(0, module.rfind('\\'));
}

inline std::string TestFile(const char *name)
{
    return ThisFolder() + "\\" + name;
}

inline std::string MediumFile(const char *name)
{
    return std::string(kMedium) + "\\" + name;
}

inline std::string Target()
{
    char folder[MAX_PATH] = {0};
    HKEY key;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, "Software\\Microsoft\\Windows\\CurrentVersion", 0,
                      KEY_READ, &key) == ERROR_SUCCESS) {
        DWORD size = sizeof(folder);
        RegQueryValueExA(key, "ProgramFilesDir", 0, 0, (BYTE *)folder, &size);
        RegCloseKey(key);
    }
    return std::string(folder) + "\\Dorsel";
}

inline std::string Group(const char *name = "Dorsel Group")
{
    return SpecialFolder(CSIDL_COMMON_PROGRAMS) + "\\" + name;
}

inline std::string GroupShortcut(const std::string &product)
{
    return Group() + "\\" + product + ".lnk";
}

inline std::string DesktopShortcut(const std::string &product)
{
    return SpecialFolder(CSIDL_DESKTOP) + "\\" + product + ".lnk";
}

inline std::string StartMenuShortcut(const std::string &product)
{
    return SpecialFolder(CSIDL_COMMON_STARTMENU) + "\\" + product + ".lnk";
}

inline std::string InstalledPath(int row)
{
    return row == 0 ? WindowsFolderPath() + "\\_zynu000.exe" : Target() + "\\" + kInstalledNames[row];
}

inline void RemoveLinks(const std::string &product)
{
    DeleteFileA(DesktopShortcut(product).c_str());
    DeleteFileA(StartMenuShortcut(product).c_str());
    DeleteFileA(GroupShortcut(product).c_str());
}

inline bool CreateFolders(const std::string &path)
{
    int result = SHCreateDirectoryExA(0, path.c_str(), 0);
    return result == ERROR_SUCCESS || result == ERROR_ALREADY_EXISTS;
}


// Every value below `path` (of HKEY_LOCAL_MACHINE) and its subkeys, by
// "key\\name", as (type, bytes).
typedef std::map<std::string, std::pair<DWORD, std::string>> KeyValues;
inline void ReadValues(const std::string &path, KeyValues *values)
{
    HKEY key;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS)
        return;
    char name[MAX_PATH];
    BYTE data[2048];
    DWORD type, length = sizeof(name), size = sizeof(data);
    for (DWORD i = 0; RegEnumValueA(key, i, name, &length, 0, &type, data, &size) == ERROR_SUCCESS;
         ++i, length = sizeof(name), size = sizeof(data))
        (*values)[path + "\\" + name] = {type, std::string((const char *)data, size)};
    for (DWORD i = 0; RegEnumKeyA(key, i, name, sizeof(name)) == ERROR_SUCCESS; ++i)
        ReadValues(path + "\\" + name, values);
    RegCloseKey(key);
}

// What an install writes to the machine's registry, exactly.
inline KeyValues ProductValues()
{
    KeyValues values;
    for (const char *key : {PRODUCT_KEY, UNINSTALL_ENTRY_KEY, INTERFACE_PATH_KEY, TOOLBAR_KEY})
        ReadValues(key, &values);
    return values;
}

// The Windows version Wine reports to the setup program (its names as a
// setup folder's program, an uninstaller and a bundle).
inline void SetWineVersion(const char *version)
{
    for (const char *program : {"setup.exe", "_zynu000.exe", "DorselSetup.exe"}) {
        std::string key = std::string("Software\\Wine\\AppDefaults\\") + program;
        HKEY handle;
        if (RegCreateKeyExA(HKEY_CURRENT_USER, key.c_str(), 0, 0, 0, KEY_ALL_ACCESS, 0, &handle,
                            0) == ERROR_SUCCESS) {
            RegSetValueExA(handle, "Version", 0, REG_SZ, (const BYTE *)version,
                           (DWORD)strlen(version) + 1);
            RegCloseKey(handle);
        }
    }
}

// Wine's DLL load order for one program ("native,builtin", or "" to disable).
inline void SetDllOverride(const char *program, const char *dll, const char *order)
{
    std::string key = std::string("Software\\Wine\\AppDefaults\\") + program + "\\DllOverrides";
    HKEY handle;
    if (RegCreateKeyExA(HKEY_CURRENT_USER, key.c_str(), 0, 0, 0, KEY_ALL_ACCESS, 0, &handle, 0) ==
        ERROR_SUCCESS) {
        RegSetValueExA(handle, dll, 0, REG_SZ, (const BYTE *)order, (DWORD)strlen(order) + 1);
        RegCloseKey(handle);
    }
}

// Starts a command line from C:\\ze2e; `process` stays zero when it cannot start.
inline bool StartProgram(const std::string &commandLine, PROCESS_INFORMATION *process)
{
    std::string command = commandLine;
    STARTUPINFOA startup;
    ZeroMemory(&startup, sizeof(startup));
    startup.cb = sizeof(startup);
    ZeroMemory(process, sizeof(*process));
    return CreateProcessA(0, &command[0], 0, 0, FALSE, 0, 0, "C:\\ze2e", &startup, process) != 0;
}

// The full exit code of a started program, or kTimedOut when it had to be stopped.
inline DWORD AwaitExit(const PROCESS_INFORMATION &process, DWORD milliseconds)
{
    DWORD code = kTimedOut;
    if (WaitForSingleObject(process.hProcess, milliseconds) == WAIT_OBJECT_0)
        GetExitCodeProcess(process.hProcess, &code);
    else
        TerminateProcess(process.hProcess, kTimedOut);
    return code;
}

inline void CloseProcess(PROCESS_INFORMATION *process)
{
    if (!process->hProcess)
        return;
    CloseHandle(process->hProcess);
    CloseHandle(process->hThread);
    process->hProcess = 0;
}

// Runs a program, waits for it and returns its full exit code.
inline DWORD RunProgram(const std::string &program, const std::string &arguments)
{
    PROCESS_INFORMATION process;
    if (!StartProgram("\"" + program + "\" " + arguments, &process))
        return GetLastError() | 0x80000000;
    DWORD code = AwaitExit(process, 120000);
    CloseProcess(&process);
    return code;
}

struct DialogSearch {
    DWORD process;
    HWND found;
};

// A visible, enabled dialog of the process that waits for its user: a message
// box (its text has the id 0xFFFF), the target-folder dialog (its folder box,
// 1000) or the folder browser (its tree); not the progress window.
inline BOOL CALLBACK MatchQuestion(HWND window, LPARAM data)
{
    DialogSearch *search = (DialogSearch *)data;
    DWORD owner = 0;
    char className[16] = {0};
    GetWindowThreadProcessId(window, &owner);
    GetClassNameA(window, className, sizeof(className));
    if (owner == search->process && lstrcmpA(className, "#32770") == 0 && IsWindowVisible(window) &&
        IsWindowEnabled(window) &&
        (GetDlgItem(window, 0xFFFF) || GetDlgItem(window, 1000) ||
         FindWindowExA(window, 0, "SysTreeView32", 0))) {
        search->found = window;
        return FALSE;
    }
    return TRUE;
}

// Answers `window` as a user who goes along: the target-folder dialog first
// with Browse (where it is enabled), then with OK; the folder browser with OK
// once it allows it; a message box with Yes where it asks, else with OK, its
// text into `messages`. Returns once the window has closed or stepped back
// for another, or the process has ended.
inline void AnswerQuestion(HWND window, HANDLE process, bool *browsed,
                           std::vector<std::string> *messages)
{
    HWND button = GetDlgItem(window, IDOK);
    if (FindWindowExA(window, 0, "SysTreeView32", 0)) {
        if (!IsWindowEnabled(button))
            return;  // no folder chosen yet
    } else if (GetDlgItem(window, 1000)) {
        if (!*browsed && IsWindowEnabled(GetDlgItem(window, 1003))) {
            button = GetDlgItem(window, 1003);
            *browsed = true;
        }
    } else {
        char text[1024] = {0};
        SendMessageA(GetDlgItem(window, 0xFFFF), WM_GETTEXT, sizeof(text), (LPARAM)text);
        messages->push_back(text);
        if (GetDlgItem(window, IDYES))
            button = GetDlgItem(window, IDYES);
    }
    PostMessageA(button, BM_CLICK, 0, 0);
    for (int tries = 0; tries < 500 && IsWindow(window) && IsWindowVisible(window) &&
                        IsWindowEnabled(window) && WaitForSingleObject(process, 20) == WAIT_TIMEOUT;
         ++tries) {}
}

// Waits for the started `process` and answers what it asks as AnswerQuestion
// does; the texts of its message boxes are collected in `messages`. `own`,
// when given, sees each question first and answers it itself by returning
// true (the target-folder dialog of a test that types into it, say).
inline DWORD AwaitAnswering(PROCESS_INFORMATION *process, std::vector<std::string> *messages,
                            const std::function<bool(HWND)> &own = std::function<bool(HWND)>())
{
    DWORD code = kTimedOut;
    bool browsed = false;
    for (DWORD start = GetTickCount(); GetTickCount() - start < 120000;) {
        if (WaitForSingleObject(process->hProcess, 20) == WAIT_OBJECT_0) {
            GetExitCodeProcess(process->hProcess, &code);
            break;
        }
        DialogSearch search = {process->dwProcessId, 0};
        EnumWindows(MatchQuestion, (LPARAM)&search);
        if (search.found && !(own && own(search.found)))
            AnswerQuestion(search.found, process->hProcess, &browsed, messages);
    }
    if (code == kTimedOut)
        TerminateProcess(process->hProcess, kTimedOut);
    CloseProcess(process);
    return code;
}

// Runs a program (from C:\ze2e) and answers what it asks (see AwaitAnswering).
inline DWORD RunProgramAnswering(const std::string &program, const std::string &arguments,
                                 std::vector<std::string> *messages)
{
    PROCESS_INFORMATION process;
    if (!StartProgram("\"" + program + "\" " + arguments, &process))
        return GetLastError() | 0x80000000;
    return AwaitAnswering(&process, messages);
}

inline DWORD RunSetupAnswering(const std::string &arguments, std::vector<std::string> *messages)
{
    return RunProgramAnswering(MediumFile("setup.exe"), arguments, messages);
}

inline DWORD RunSetup(const std::string &arguments)
{
    return RunProgram(MediumFile("setup.exe"), arguments);
}

inline DWORD RunUninstaller(const std::string &arguments)
{
    return RunProgram(InstalledPath(0), arguments);
}

// Waits until the application that a run started has ended (its file can
// then be deleted), so that it cannot hold the next test's files.
inline void AwaitStartedApplicationEnd()
{
    for (int tries = 0; tries < 3000 && !DeleteFileA((Target() + "\\Dorsel.exe").c_str()); ++tries)
        Sleep(20);
}

// The installed application, held running by a stand-in program. `mode`
// "/mutex" abandons the mutex when the stand-in ends, "/release" releases it,
// "/window" shows a window instead, "/hold" holds the file `name` open.
struct RunningStandIn {
    PROCESS_INFORMATION process;
    HANDLE quit;
    explicit RunningStandIn(const char *name, const char *mode = "/mutex")
    {
        quit = CreateEventA(0, TRUE, FALSE, "DorselStandInQuit");
        ResetEvent(quit);
        HANDLE ready = CreateEventA(0, TRUE, FALSE, "DorselStandInReady");
        EXPECT_TRUE(StartProgram("\"" + TestFile("dorsel_standin.exe") + "\" " +
                                     mode + " " + name,
                                 &process));
        EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(ready, 30000));
        CloseHandle(ready);
    }
    void Stop()
    {
        if (!process.hProcess)
            return;
        SetEvent(quit);
        WaitForSingleObject(process.hProcess, 30000);
        CloseProcess(&process);
    }
    ~RunningStandIn()
    {
        Stop();
        CloseHandle(quit);
    }
};

// NT 4.0 with Service Pack 3, as Wine derives it from the registry.
struct ServicePack3 {
    struct Saved {
        HKEY root;
        const char *path;
        const char *name;
        REGSAM view;
        bool present;
        DWORD type;
        std::string data;
    };
    std::vector<Saved> saved;
    void Set(const char *path, const char *name, DWORD type, const std::string &data)
    {
        for (REGSAM view : {(REGSAM)KEY_WOW64_64KEY, (REGSAM)KEY_WOW64_32KEY}) {
            HKEY key;
            if (RegCreateKeyExA(HKEY_LOCAL_MACHINE, path, 0, 0, 0, KEY_ALL_ACCESS | view, 0, &key,
                                0) != ERROR_SUCCESS)
                continue;
            Saved old = {HKEY_LOCAL_MACHINE, path, name, view, false, 0, std::string()};
            DWORD size = 0;
            if (RegQueryValueExA(key, name, 0, &old.type, 0, &size) == ERROR_SUCCESS) {
                old.data.resize(size);
                RegQueryValueExA(key, name, 0, &old.type, (BYTE *)&old.data[0], &size);
                old.present = true;
            }
            saved.push_back(old);
            RegSetValueExA(key, name, 0, type, (const BYTE *)data.data(), (DWORD)data.size());
            RegCloseKey(key);
        }
    }
    ServicePack3()
    {
        const char *nt = "Software\\Microsoft\\Windows NT\\CurrentVersion";
        Set(nt, "CurrentVersion", REG_SZ, Sz("4.0"));
        Set(nt, "CSDVersion", REG_SZ, Sz("Service Pack 3"));
        Set(nt, "CurrentBuildNumber", REG_SZ, Sz("1381"));
        Set("System\\CurrentControlSet\\Control\\Windows", "CSDVersion", REG_DWORD, Dword(0x300));
    }
    ~ServicePack3()
    {
        for (auto it = saved.rbegin(); it != saved.rend(); ++it) {
            HKEY key;
            if (RegOpenKeyExA(it->root, it->path, 0, KEY_ALL_ACCESS | it->view, &key) !=
                ERROR_SUCCESS)
                continue;
            if (it->present)
                RegSetValueExA(key, it->name, 0, it->type, (const BYTE *)it->data.data(),
                               (DWORD)it->data.size());
            else
                RegDeleteValueA(key, it->name);
            RegCloseKey(key);
        }
    }
};

class SetupExeTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        Reset();
        CreateDirectoryA("C:\\ze2e", 0);
        CreateDirectoryA(kMedium, 0);
        ASSERT_TRUE(CopyFileA((ThisFolder() + "\\..\\setup.exe").c_str(),
                              MediumFile("setup.exe").c_str(), FALSE));
        WriteMedium("v1", kProduct, "3.00.0000");
    }
    void TearDown() override { Reset(); }

    void Reset()
    {
        // An application that launch mode started still holds its files: a
        // later install could not replace them.
        HANDLE alive = OpenMutexA(SYNCHRONIZE, FALSE, "DorselStandInAlive");
        if (alive && WaitForSingleObject(alive, 30000) != WAIT_TIMEOUT)
            ReleaseMutex(alive);
        if (alive)
            CloseHandle(alive);
        for (const char *program :
             {"setup.exe", "_zynu000.exe", "DorselSetup.exe", "plant_probe.exe"})
            SHDeleteKeyA(HKEY_CURRENT_USER,
                         (std::string("Software\\Wine\\AppDefaults\\") + program).c_str());
        for (const char *key : {PRODUCT_KEY, UNINSTALL_ENTRY_KEY, INTERFACE_PATH_KEY, TOOLBAR_KEY})
            RemoveKey(key);
        SHDeleteKeyA(HKEY_CURRENT_USER, "SOFTWARE\\Vak");
        SHDeleteKeyA(HKEY_CURRENT_USER, "SOFTWARE\\Tavrin");
        RemoveTree(Target());
        RemoveTree("C:\\ze2e");
        RemoveTree(Group());
        RemoveTree(SpecialFolder(CSIDL_PROGRAMS) + "\\Dorsel Group");
        for (const char *product : {kProduct, kGermanProduct, "Dorsel Old", "Dorsel New"})
            RemoveLinks(product);
        DeleteFileA(InstalledPath(0).c_str());
        ClearPendingOperations();
    }

    // The setup folder: setup.exe, the script, the INI descriptor and stand-ins.
    void WriteMedium(const std::string &payloadVersion, const std::string &product,
                     const std::string &version)
    {
        WriteText(MediumFile("ZynSetup.dat"),
                  "[INIT]\r\nTARGET=Dorsel\r\nGROUP=%GROUP%\r\n"
                  "DEFAULTSEARCH=C:\\ze2e\\search\r\nDOWNLOAD=\\ze2e\\dl1;\\ze2e\\dl2\r\n"
                  "[RADAR]\r\nFILE=radar.dat\r\n"
                  "[STRINGS]\r\nGROUP=Dorsel Group\r\n[STRINGS.0407]\r\nGROUP=Dorsel Gruppe\r\n"
                  "[VERSION]\r\nPAYLOAD=" + payloadVersion + "\r\n");
        WriteText(MediumFile("Dorsel.zyn"),
                  "[ZYN]\r\nXRELEASE=RELEASE\r\n[RELEASE]\r\nNAME=%PRODUCT%\r\nVERSION=" + version +
                      "\r\n[STRINGS]\r\nPRODUCT=" + product + "\r\n[STRINGS.0407]\r\nPRODUCT=" +
                      kGermanProduct + "\r\n");
        CreateDirectoryA("C:\\ze2e\\dl1", 0);
        for (int row = 1; row < 12; ++row)
            if (!IsSpecialRow(row))
                WriteText(MediumFile(kSourceNames[row]), payloadVersion + ":" + kSourceNames[row]);
        // The Unicode layer is a real DLL: Windows 9x loads it at start-up.
        CopyFileA(TestFile("unicows.dll").c_str(), MediumFile("unicows.dll").c_str(), FALSE);
    }

    // Rows whose content is not a stand-in text: the descriptor, the script
    // and the Unicode layer.
    static bool IsSpecialRow(int row) { return row == 2 || row == 3 || row == 9; }

    void ExpectPayloadInstalled(const std::string &payloadVersion)
    {
        EXPECT_TRUE(Exists(InstalledPath(0)));
        EXPECT_TRUE(Exists(InstalledPath(9)));
        EXPECT_NE(std::string::npos,
                  ReadText(InstalledPath(3)).find("PAYLOAD=" + payloadVersion + "\r\n"));
        EXPECT_NE(std::string::npos, ReadText(InstalledPath(2)).find("[RELEASE]"));
        for (int row = 1; row < 12; ++row) {
            if (!IsSpecialRow(row)) {
                EXPECT_EQ(payloadVersion + ":" + kSourceNames[row], ReadText(InstalledPath(row)))
                    << row;
            }
        }
    }
};

#endif
