// The run's log as a silent caller and a support desk read it: one table of
// runs of the real setup.exe, each checked for its exit code, the log's key
// lines, the "SetupLog" value beside the result value, and what the run
// changed on the machine.
#include "tests/e2e/setup_exe.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

namespace {

const char kStale[] = "C:\\stale\\ZynSetup.log";
const size_t kLimit = 0x100000;

std::string TempLog()
{
    return TempFolderPath() + "ZynSetup.log";
}

// "%TARGET%", "%MEDIUM%", "%WINDOWS%" and "%TEMPLOG%" stand for the paths of
// this machine.
std::string Expand(std::string text)
{
    const std::pair<const char *, std::string> places[] = {
        {"%TARGET%", Target()}, {"%MEDIUM%", kMedium}, {"%WINDOWS%", WindowsFolderPath()},
        {"%TEMPLOG%", TempLog()}, {"%TEMPDIR%", TempFolderPath().substr(0, TempFolderPath().size() - 1)}};
    for (const auto &place : places)
        for (size_t at; (at = text.find(place.first)) != std::string::npos;)
            text.replace(at, strlen(place.first), place.second);
    return text;
}

size_t Count(const std::string &text, const std::string &part)
{
    size_t count = 0;
    for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1))
        ++count;
    return count;
}

// Numbered lines of an earlier run, as many as make `size` bytes.
std::string EarlierLines(size_t size)
{
    std::string text;
    char line[64];
    for (int number = 0; text.size() + 48 <= size; ++number) {
        snprintf(line, sizeof(line), "00:00:00 [1] earlier line %07d ..........\r\n", number);
        text += line;
    }
    return text;
}

class RunLog;

struct LogCase {
    const char *name;
    void (*arrange)(RunLog *);   // before the run; may be null
    bool uninstaller;            // run _zynu000.exe instead of the medium's setup.exe
    const char *arguments;
    DWORD exitCode;
    const char *log;             // where the log must be, or null for none
    std::vector<const char *> lines;   // parts of lines the log must hold
    std::vector<const char *> absent;  // parts no line may hold
    const char *setupLog;        // the "SetupLog" value after the run
    void (*check)(RunLog *);     // further checks; may be null
};

void PrintTo(const LogCase &run, std::ostream *out)
{
    *out << run.name;
}

class RunLog : public SetupExeTest, public ::testing::WithParamInterface<LogCase> {
public:
    using SetupExeTest::ExpectPayloadInstalled;
    using SetupExeTest::WriteMedium;
    std::unique_ptr<RunningStandIn> application;
    HANDLE locked = INVALID_HANDLE_VALUE;
    std::string before;  // the log as the arrangement left it

    void SetUp() override
    {
        SetupExeTest::SetUp();
        DeleteFileA(TempLog().c_str());
    }
    void TearDown() override
    {
        application.reset();
        Unlock();
        DeleteFileA(TempLog().c_str());
        SetupExeTest::TearDown();
    }
    void Unlock()
    {
        if (locked != INVALID_HANDLE_VALUE)
            CloseHandle(locked);
        locked = INVALID_HANDLE_VALUE;
    }
    void SetSetupLogValue(const char *text)
    {
        HKEY key;
        ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExA(HKEY_CURRENT_USER, "SOFTWARE\\Vak\\" PRODUCT_KEY_NAME,
                                                 0, 0, 0, KEY_ALL_ACCESS, 0, &key, 0));
        RegSetValueExA(key, "SetupLog", 0, REG_SZ, (const BYTE *)text, (DWORD)strlen(text) + 1);
        RegCloseKey(key);
    }
};

void Installed(RunLog *)
{
    ASSERT_EQ(0u, RunSetup("/S"));
}

void InstalledAndRunning(RunLog *test)
{
    ASSERT_EQ(0u, RunSetup("/S"));
    test->application.reset(new RunningStandIn(kProduct));
    test->WriteMedium("v2", kProduct, "3.01.0000");
    ClearPendingOperations();
}

void PayloadFileMissing(RunLog *)
{
    ASSERT_TRUE(DeleteFileA(MediumFile("ZynFlash.dll").c_str()));
}

void EarlierLog(RunLog *test)
{
    test->before = "earlier run\r\n";
    WriteText(TempLog(), test->before);
    ASSERT_EQ(0u, RunSetup("/S /L"));
}

void NearlyFullLog(RunLog *test)
{
    test->before = EarlierLines(kLimit - 200);
    WriteText(TempLog(), test->before);
}

void LockedLog(RunLog *test)
{
    test->SetSetupLogValue(kStale);
    test->before = "held by another program\r\n";
    WriteText(TempLog(), test->before);
    test->locked = CreateFileA(TempLog().c_str(), GENERIC_READ | GENERIC_WRITE, 0, 0, OPEN_EXISTING,
                               0, 0);
    ASSERT_NE(INVALID_HANDLE_VALUE, test->locked);
}

void StaleValue(RunLog *test)
{
    test->SetSetupLogValue(kStale);
}

// Launch mode on a system where it ends at once with 50, without a message.
void StaleValueOnNt4(RunLog *test)
{
    test->SetSetupLogValue(kStale);
    SetWineVersion("nt40");
}

void LogFolder(RunLog *)
{
    ASSERT_TRUE(CreateDirectoryA("C:\\ze2e\\logs", 0));
}

void PayloadInstalled(RunLog *test)
{
    test->ExpectPayloadInstalled("v1");
    EXPECT_EQ(Sz("3.00.0000"), ReadRaw(PRODUCT_KEY, "Version").bytes);
}

void NewFilesAwaitTheRestart(RunLog *test)
{
    EXPECT_EQ(4u * 12, PendingOperations().size());
    test->ExpectPayloadInstalled("v1");
}

void NothingCopied(RunLog *)
{
    EXPECT_FALSE(Exists(Target()));
    EXPECT_FALSE(ReadRaw(PRODUCT_KEY, "Version").present);
}

void UninstallRemovedTheFiles(RunLog *)
{
    for (int row = 1; row < 12; ++row)
        EXPECT_FALSE(Exists(InstalledPath(row))) << row;
    EXPECT_FALSE(ReadRaw(PRODUCT_KEY, "Version").present);
}

void BothRunsAppended(RunLog *test)
{
    std::string log = ReadText(TempLog());
    EXPECT_EQ(0u, log.find(test->before));  // the earlier run's lines stay first
    EXPECT_EQ(2u, Count(log, "==== ZynSetup"));
    EXPECT_EQ(2u, Count(log, "end: Phase code 0"));
}

void TrimmedToTheLastHalf(RunLog *test)
{
    std::string log = ReadText(TempLog());
    EXPECT_LE(log.size(), kLimit);
    EXPECT_GT(log.size(), kLimit / 2 - 64);
    // It starts with a whole line of the earlier run and keeps its last line.
    EXPECT_EQ(0u, log.find("00:00:00 [1] earlier line "));
    EXPECT_EQ(std::string::npos, log.find("earlier line 0000000 "));
    std::string last = test->before.substr(test->before.rfind("\r\n", test->before.size() - 3) + 2);
    EXPECT_NE(std::string::npos, log.find(last));
    EXPECT_EQ(1u, Count(log, "==== ZynSetup"));
}

// The run went exactly as without /L: installed, result value written, the
// other program's file untouched.
void LockedLogChangedNothingElse(RunLog *test)
{
    EXPECT_EQ("0000", ResultValue());
    PayloadInstalled(test);
    test->Unlock();
    EXPECT_EQ(test->before, ReadText(TempLog()));
}

void NoLogAnywhere(RunLog *)
{
    EXPECT_FALSE(Exists(TempLog()));
    EXPECT_EQ("0000", ResultValue());
}

// Each line carries the time and the id of the process that wrote it, and
// ends in CRLF.
void LinesAreMarked(RunLog *)
{
    std::string log = ReadText("C:\\ze2e\\logs\\ZynSetup.log");
    EXPECT_FALSE(Exists(TempLog()));
    EXPECT_EQ(Count(log, "\n"), Count(log, "\r\n"));
    size_t lines = 0;
    for (size_t start = 0; start < log.size(); start = log.find("\r\n", start) + 2, ++lines) {
        unsigned hour, minute, second, process;
        char close = 0;
        EXPECT_EQ(5, sscanf(log.c_str() + start, "%2u:%2u:%2u [%u%c", &hour, &minute, &second,
                            &process, &close))
            << log.substr(start, 40);
        EXPECT_EQ(']', close);
        EXPECT_NE(GetCurrentProcessId(), process);
    }
    EXPECT_GT(lines, 20u);
}

// The test build that elevates itself: its first copy starts a second one.
void ElevatingBuild(RunLog *)
{
    ASSERT_TRUE(CopyFileA(TestFile("setup_elevating.exe").c_str(), MediumFile("setup.exe").c_str(),
                          FALSE));
}

// Both copies wrote into the one file, each line under its own process id.
void TwoProcessesShareTheLog(RunLog *)
{
    std::string log = ReadText(TempLog());
    EXPECT_EQ(2u, Count(log, "==== ZynSetup"));
    std::vector<std::string> ids;
    for (size_t start = 0; start < log.size(); start = log.find("\r\n", start) + 2) {
        std::string id = log.substr(start + 9, log.find(']', start) - start - 9);
        if (std::find(ids.begin(), ids.end(), id) == ids.end())
            ids.push_back(id);
    }
    EXPECT_EQ(2u, ids.size()) << log;
    // The first copy's lines open and close the file; the second's lie between.
    EXPECT_LT(log.find("exit code 0\r\n"), log.find("elevated copy ended, exit code 0\r\n"));
}

void LaunchModeLeftTheValue(RunLog *)
{
    EXPECT_FALSE(Exists(TempLog()));
}

const LogCase kCases[] = {
    {"SilentInstall", 0, false, "/S /L", 0, "%TEMPLOG%",
     {"==== ZynSetup log of ", "] program %MEDIUM%\\setup.exe, version 1.0\r\n", "command line: /S /L\r\n",
      "run options 0x00000803\r\n", "Windows ", ", platform 2\r\n", "language: user 0x",
      "elevated: yes\r\n", "setup folder %MEDIUM%\r\n", "setup script %MEDIUM%\\ZynSetup.dat\r\n",
      "descriptor %MEDIUM%\\Dorsel.zyn, INI form\r\n", "plan: install Dorsel Manager 3.00.0000\r\n",
      "installed: none\r\n", "target folder %TARGET%\r\n",
      "shortcuts: desktop 0, start menu 0, group ", "files: at once\r\n",
      "SHFileOperationA copy: ok\r\n", "  %MEDIUM%\\Dorsel > ",
      "SHFileOperationA move: ok\r\n", "> %WINDOWS%\\_zynu000.exe\r\n",
      "phase 9 (files): step 1 done\r\n", "phase 12 (registration): step 8 done\r\n",
      "end: Phase code 0\r\n", "restart needed: no\r\n", "exit code 0\r\n"},
     {"failed"},
     "%TEMPLOG%", PayloadInstalled},
    {"MissingPayloadFileFailsTheFiles", PayloadFileMissing, false, "/S /L", 9, "%TEMPLOG%",
     {"SHFileOperationA copy: failed, error ", "  %MEDIUM%\\ZynFlash.dll > ",
      "phase 9 (files) failed\r\n", "end: Phase code 9\r\n", "restart needed: no\r\n",
      "exit code 9\r\n"},
     {"step 1 done", "SHFileOperationA move"},
     "%TEMPLOG%", NothingCopied},
    {"ReplaceOnRestart", InstalledAndRunning, false, "/S /L", 0, "%TEMPLOG%",
     {"installed: Dorsel Manager 3.00.0000 in %TARGET%\r\n",
      "plan: install Dorsel Manager 3.01.0000\r\n",
      "files: at the next Windows start (application running)\r\n",
      "restart: %TARGET%\\Dorsel.exe > (deleted): ok\r\n", "\\Dorsel.exe > %TARGET%\\Dorsel.exe: ok\r\n",
      "\\_zynu000.exe > %WINDOWS%\\_zynu000.exe: ok\r\n", "end: Phase code 0\r\n",
      "restart needed: yes\r\n"},
     {"SHFileOperationA move", "failed"},
     "%TEMPLOG%", NewFilesAwaitTheRestart},
    {"Uninstall", Installed, true, "/S /U /L", 0, "%TEMPLOG%",
     {"run options 0x00000802\r\n", "setup data: none (uninstall)\r\n",
      "plan: uninstall Dorsel Manager 3.00.0000 from %TARGET%\r\n",
      "SHFileOperationA delete: ok\r\n", "  %TARGET%\\Dorsel.exe\r\n",
      "restart: %WINDOWS%\\_zynu000.exe > (deleted): ok\r\n", "phase 12 (registration): step 8 done",
      "end: Phase code 0\r\n", "restart needed: no\r\n", "exit code 0\r\n"},
     {"failed", "SHFileOperationA copy"},
     "%TEMPLOG%", UninstallRemovedTheFiles},
    {"SecondRunAppends", EarlierLog, false, "/S /L", 0, "%TEMPLOG%",
     {"installed: Dorsel Manager 3.00.0000 in %TARGET%\r\n"}, {}, "%TEMPLOG%", BothRunsAppended},
    {"FullLogKeepsItsLastHalf", NearlyFullLog, false, "/S /L", 0, "%TEMPLOG%",
     {"end: Phase code 0\r\n", "exit code 0\r\n"}, {}, "%TEMPLOG%", TrimmedToTheLastHalf},
    {"LockedLogChangesNothingElse", LockedLog, false, "/S /L", 0, 0, {}, {}, "<none>",
     LockedLogChangedNothingElse},
    {"WithoutTheSwitchNoLogAndNoValue", StaleValue, false, "/S", 0, 0, {}, {}, "<none>",
     NoLogAnywhere},
    {"LogInTheNamedFolder", LogFolder, false, "/S /L=C:\\ze2e\\logs\\", 0,
     "C:\\ze2e\\logs\\ZynSetup.log",
     {"command line: /S /L=C:\\ze2e\\logs\\\r\n", "run options 0x00000803\r\n",
      "end: Phase code 0\r\n"},
     {}, "C:\\ze2e\\logs\\ZynSetup.log", LinesAreMarked},
    {"ElevatedCopyWritesToTheSameLog", ElevatingBuild, false, "/S /L", 0, "%TEMPLOG%",
     {"command line: /S /L\r\n", "command line: /S /L /L=%TEMPDIR% /Elevated\r\n",
      "end: Phase code 0\r\n", "elevated copy ended, exit code 0\r\n"},
     {}, "%TEMPLOG%", TwoProcessesShareTheLog},
    {"LaunchModeHasNoLog", StaleValueOnNt4, false, "/Tfeature /L", 50, 0, {}, {}, kStale,
     LaunchModeLeftTheValue},
};

TEST_P(RunLog, Run)
{
    const LogCase &run = GetParam();
    if (run.arrange)
        run.arrange(this);
    ASSERT_FALSE(HasFatalFailure());
    DWORD exitCode = run.uninstaller ? RunUninstaller(run.arguments) : RunSetup(run.arguments);
    EXPECT_EQ(run.exitCode, exitCode);
    EXPECT_EQ(Expand(run.setupLog), ResultValue("SetupLog"));
    std::string log = run.log ? ReadText(Expand(run.log)) : std::string();
    for (const char *line : run.lines)
        EXPECT_NE(std::string::npos, log.find(Expand(line))) << Expand(line) << "\n" << log;
    for (const char *part : run.absent)
        EXPECT_EQ(std::string::npos, log.find(Expand(part))) << part << "\n" << log;
    if (run.check)
        run.check(this);
}

INSTANTIATE_TEST_SUITE_P(Cases, RunLog, ::testing::ValuesIn(kCases),
                         [](const ::testing::TestParamInfo<LogCase> &info) {
                             return std::string(info.param.name);
                         });

} // namespace
