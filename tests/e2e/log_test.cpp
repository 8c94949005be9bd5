// The run's log as a silent caller and a support desk read it: one table of
// runs of the real setup.exe, each checked for its exit code, the log's key
// lines, the "SetupLog" value beside the result value, and what else it left.
#include "tests/e2e/bundles.h"
#include "tests/e2e/setup_exe.h"

#include "driver/run_lock.h"

#include <gtest/gtest.h>
#include <sddl.h>

#include <memory>
#include <set>
#include <string>
#include <vector>

namespace {

const size_t kLimit = 0x100000;
const char kStale[] = "C:\\stale\\ZynSetup.log";
const char kEarlier[] = "00:00:00 [1] earlier run\r\n";
const char kSharedLog[] = "C:\\ze2e\\install.log";
// Made by the test command: a link named like the log that points into
// system32 at a file that is not there.
const char kDanglingLinkFolder[] = "C:\\zloglink";
const char kLinkTarget[] = "\\system32\\zloglinked.log";

std::string TempLog()
{
    return TempFolderPath() + "ZynSetup.log";
}

// %TARGET%, %MEDIUM%, %WINDOWS% and %TEMP% (without its last backslash)
// stand for this machine's paths.
std::string Expand(std::string text)
{
    std::string temp = TempFolderPath();
    const std::pair<const char *, std::string> places[] = {
        {"%TARGET%", Target()}, {"%MEDIUM%", kMedium}, {"%WINDOWS%", WindowsFolderPath()},
        {"%TEMP%", temp.substr(0, temp.size() - 1)}};
    for (const auto &place : places)
        for (size_t at; (at = text.find(place.first)) != std::string::npos;)
            text.replace(at, strlen(place.first), place.second);
    return text;
}

size_t Count(const std::string &text, const std::string &part)
{
    size_t count = 0;
    for (size_t at = 0; (at = text.find(part, at)) != std::string::npos; ++at, ++count) {}
    return count;
}

struct RunLog;
struct LogCase {
    const char *name;
    void (*arrange)(RunLog *);
    const char *commandLine;  // "@" first: run the installed uninstaller
    DWORD exitCode;
    const char *setupLog;     // the value afterwards; the log is read from there
    std::vector<const char *> lines;  // parts of the log's lines; "!" first: of none
    void (*check)(RunLog *, const std::string &log);
};

struct RunLog : SetupExeTest, ::testing::WithParamInterface<LogCase> {
    std::unique_ptr<RunningStandIn> application;
    HANDLE locked = INVALID_HANDLE_VALUE;
    std::string before;  // the log as the arrangement left it
    using SetupExeTest::ExpectPayloadInstalled;
    using SetupExeTest::WriteMedium;

    void SetUp() override
    {
        SetupExeTest::SetUp();
        DeleteFileA(TempLog().c_str());
        WriteValue(kStale);  // a stale path from an earlier run
    }
    void TearDown() override
    {
        application.reset();
        CloseHandle(locked);
        DeleteFileA(TempLog().c_str());
        SetupExeTest::TearDown();
    }
    void WriteValue(const char *text)
    {
        HKEY key;
        ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExA(HKEY_CURRENT_USER, "SOFTWARE\\Vak\\" PRODUCT_KEY_NAME,
                                                 0, 0, 0, KEY_ALL_ACCESS, 0, &key, 0));
        RegSetValueExA(key, "SetupLog", 0, REG_SZ, (const BYTE *)text, (DWORD)strlen(text) + 1);
        RegCloseKey(key);
    }
    void WriteLog(const std::string &text)
    {
        before = text;
        WriteText(TempLog(), text);
    }
};

void EarlierLog(RunLog *test) { test->WriteLog(kEarlier); }
void PayloadFileMissing(RunLog *) { ASSERT_TRUE(DeleteFileA(MediumFile("ZynFlash.dll").c_str())); }
void Installed(RunLog *) { ASSERT_EQ(0u, RunSetup("/S")); }
void NtFour(RunLog *) { SetWineVersion("nt40"); }  // launch mode ends at once with 50
void Windows98(RunLog *) { SetWineVersion("win98"); }

void InstalledAndRunning(RunLog *test)
{
    ASSERT_EQ(0u, RunSetup("/S"));
    test->application.reset(new RunningStandIn(kProduct));
    test->WriteMedium("v2", kProduct, "3.01.0000");
    ClearPendingOperations();
}

// `text` and lines of `format` with their numbers, up to 200 bytes short of `size`.
std::string NumberedLines(std::string text, const char *format, size_t size)
{
    char line[64];
    for (int number = 0; text.size() + 240 <= size; ++number) {
        snprintf(line, sizeof(line), format, number);
        text += line;
    }
    return text;
}

// Lines of earlier runs after this program's header.
void NearlyFullLog(RunLog *test)
{
    test->WriteLog(NumberedLines("00:00:00 [1] ==== ZynSetup log of 2001-01-01\r\n",
                                 "00:00:00 [1] earlier line %07d ..........\r\n", kLimit));
}

// Three megabytes of other tools' lines in a log that deployment tools share.
void SharedDeploymentLog(RunLog *test)
{
    test->before = NumberedLines("", "2001-01-01 00:00:00 deploy: step %07d\r\n", 3 * kLimit);
    WriteText(kSharedLog, test->before);
}

// Wherever the links lead, nothing of the log may be there beforehand.
void LinksToSystemFolders(RunLog *)
{
    ASSERT_TRUE(Exists("C:\\zwinlink")) << "the test command links it to the Windows folder";
    ASSERT_TRUE(Exists(kDanglingLinkFolder)) << "the test command makes it";
    DeleteFileA((WindowsFolderPath() + kLinkTarget).c_str());
    DeleteFileA((WindowsFolderPath() + "\\ZynSetup.log").c_str());
}

// The run lock's name made first by another program, which lets no one open it.
void SquattedRunLock(RunLog *test)
{
    SECURITY_ATTRIBUTES nobody = {sizeof(nobody), 0, FALSE};
    ConvertStringSecurityDescriptorToSecurityDescriptorA("D:", 1, &nobody.lpSecurityDescriptor, 0);
    test->locked = CreateMutexA(&nobody, FALSE, GLOBAL_RUN_LOCK_NAME);
    ASSERT_TRUE(test->locked);
}

void LockedLog(RunLog *test)
{
    test->WriteLog(kEarlier);
    test->locked = CreateFileA(TempLog().c_str(), GENERIC_READ, 0, 0, OPEN_EXISTING, 0, 0);
    ASSERT_NE(INVALID_HANDLE_VALUE, test->locked);
}

// The medium's setup.exe made the bundle of its folder, then damaged: a byte
// of the second entry's name padding (the index is refused there), or of the
// first frame (the checksum over the data does not match).
void BundleWithDamage(bool inTheIndex)
{
    TestBundle bundle = LayOutBundle(kMedium);
    bundle.bytes[inTheIndex ? bundle.Entry("Dorsel") + 40 : bundle.Frame("setup.exe") + 20] ^= 0x20;
    WriteText(MediumFile("setup.exe"), bundle.bytes);
}
void BundleIndexRefused(RunLog *) { BundleWithDamage(true); }
void BundleDataDamaged(RunLog *) { BundleWithDamage(false); }

void ElevatingBuild(RunLog *)
{
    ASSERT_TRUE(CopyFileA(TestFile("setup_elevating.exe").c_str(), MediumFile("setup.exe").c_str(),
                          FALSE));
}

void AppendedAndInstalled(RunLog *test, const std::string &log)
{
    EXPECT_EQ(0u, log.find(kEarlier));
    EXPECT_EQ(Count(log, "\n"), Count(log, "\r\n"));
    test->ExpectPayloadInstalled("v1");
}
void NothingCopied(RunLog *, const std::string &) { EXPECT_FALSE(Exists(Target())); }
void FilesRemoved(RunLog *, const std::string &) { EXPECT_FALSE(Exists(InstalledPath(1))); }
void NoLogFile(RunLog *, const std::string &) { EXPECT_FALSE(Exists(TempLog())); }
void PayloadInstalled(RunLog *test, const std::string &) { test->ExpectPayloadInstalled("v1"); }
void RestartRegistered(RunLog *, const std::string &)
{
    EXPECT_EQ(4u * 12 + 2, PendingOperations().size());  // and the staging folder's deletion
}

// The last half stays, from a whole line on, after a header line that keeps
// the file this program's own, and the new run follows it.
void TrimmedToTheLastHalf(RunLog *test, const std::string &log)
{
    EXPECT_LE(log.size(), kLimit);
    EXPECT_GT(log.size(), kLimit / 2);
    int header = 0;
    sscanf(log.c_str(), "%*2u:%*2u:%*2u [%*u] ==== ZynSetup log of earlier runs, cut to the last "
                        "half\r\n%n", &header);
    EXPECT_EQ((size_t)header, log.find("00:00:00 [1] earlier line ")) << log.substr(0, 80);
    EXPECT_EQ(std::string::npos, log.find("earlier line 0000000 "));
    std::string lastLine = test->before.substr(test->before.rfind("00:00:00"));
    EXPECT_LT(log.find(lastLine), log.find("==== ZynSetup log of 20"));
    EXPECT_EQ(2u, Count(log, "==== ZynSetup log"));
}

// Another program's log keeps every byte; this run's lines follow them.
void KeptWhole(RunLog *test, const std::string &log)
{
    EXPECT_GT(log.size(), test->before.size());
    EXPECT_TRUE(log.compare(0, test->before.size(), test->before) == 0);
}

// No log at all rather than one where a link leads.
void NothingWhereTheLinksLead(RunLog *test, const std::string &)
{
    EXPECT_FALSE(Exists(WindowsFolderPath() + kLinkTarget));
    EXPECT_FALSE(Exists(WindowsFolderPath() + "\\ZynSetup.log"));
    test->ExpectPayloadInstalled("v1");
}

// Exactly as without /L: installed, result value written, the file untouched.
void LockedLogChangedNothingElse(RunLog *test, const std::string &)
{
    EXPECT_EQ("0000", ResultValue());
    test->ExpectPayloadInstalled("v1");
    CloseHandle(test->locked);
    test->locked = INVALID_HANDLE_VALUE;
    EXPECT_EQ(test->before, ReadText(TempLog()));
}

// Both copies wrote to one file, each line marked with its process id.
void TwoProcessesShareTheLog(RunLog *, const std::string &log)
{
    std::set<unsigned> processes;
    // Whole lines only, so that the walk below always finds a line end.
    ASSERT_EQ("\r\n", log.substr(log.size() < 2 ? 0 : log.size() - 2)) << log;
    for (size_t start = 0; start < log.size(); start = log.find("\r\n", start) + 2) {
        unsigned hour, minute, second, process;
        char close = 0;
        EXPECT_EQ(5, sscanf(log.c_str() + start, "%2u:%2u:%2u [%u%c", &hour, &minute, &second,
                            &process, &close));
        EXPECT_EQ(']', close);
        processes.insert(process);
    }
    EXPECT_EQ(2u, processes.size());
    EXPECT_EQ(2u, Count(log, "==== ZynSetup log"));
}

const LogCase kCases[] = {
    {"SilentInstall", EarlierLog, "/S /L", 0, "%TEMP%\\ZynSetup.log",
     {"] ==== ZynSetup log of ", "] program %MEDIUM%\\setup.exe, version 1.0.0.0\r\n",
      "] command line: /S /L\r\n", "] run options 0x00000803\r\n", ", platform 2\r\n",
      "] language: user 0x0409, system 0x0409\r\n", "] elevated: yes\r\n",
      "] descriptor %MEDIUM%\\Dorsel.zyn, INI form\r\n", "] installed: none\r\n",
      "] target folder %TARGET%\r\n", "] files: at once\r\n", "] SHFileOperationA copy: ok\r\n",
      "]   %MEDIUM%\\Dorsel > ", "> %WINDOWS%\\_zynu000.exe\r\n", "] end: Phase code 0\r\n",
      "] restart needed: no\r\n", "] exit code 0\r\n", "!failed"},
     AppendedAndInstalled},
    {"MissingPayloadFile", PayloadFileMissing, "/S /L", 9, "%TEMP%\\ZynSetup.log",
     {"] SHFileOperationA copy: failed, error ", "]   %MEDIUM%\\ZynFlash.dll > ",
      "] phase 9 (files) failed\r\n", "] end: Phase code 9\r\n", "] restart needed: no\r\n",
      "] exit code 9\r\n", "!step 1 done"},
     NothingCopied},
    {"ReplaceOnRestart", InstalledAndRunning, "/S /L", 0, "%TEMP%\\ZynSetup.log",
     {"] installed: Dorsel Manager 3.00.0000 in %TARGET%\r\n",
      "] files: at the next Windows start (application running)\r\n",
      "] restart: %TARGET%\\Dorsel.exe > (deleted): ok\r\n",
      "\\Dorsel.exe > %TARGET%\\Dorsel.exe: ok\r\n", "] restart needed: yes\r\n",
      "!SHFileOperationA move"},
     RestartRegistered},
    {"Uninstall", Installed, "@/S /U /L", 0, "%TEMP%\\ZynSetup.log",
     {"] run options 0x00000802\r\n", "] setup data: none (uninstall)\r\n",
      "] plan: uninstall Dorsel Manager 3.00.0000 from %TARGET%\r\n",
      "] SHFileOperationA delete: ok\r\n", "]   %TARGET%\\Dorsel.exe\r\n",
      "] restart: %WINDOWS%\\_zynu000.exe > (deleted): ok\r\n", "] end: Phase code 0\r\n",
      "] restart needed: no\r\n"},
     FilesRemoved},
    {"FullLogKeepsItsLastHalf", NearlyFullLog, "/S /L", 0, "%TEMP%\\ZynSetup.log",
     {"] exit code 0\r\n"}, TrimmedToTheLastHalf},
    {"OtherToolsLogIsNeverCut", SharedDeploymentLog, "/S /U /L=C:\\ze2e\\install.log", 8,
     kSharedLog, {"] end: Phase code 8\r\n", "] exit code 8\r\n"}, KeptWhole},
    {"DanglingLinkNamedLikeTheLog", LinksToSystemFolders, "/S /L=C:\\zloglink", 0, "<none>", {},
     NothingWhereTheLinksLead},
    {"LogFolderIsALink", LinksToSystemFolders, "/S /L=C:\\zwinlink", 0, "<none>", {},
     NothingWhereTheLinksLead},
    {"SquattedRunLockIsNoBusyRun", SquattedRunLock, "/S /L", 8, "%TEMP%\\ZynSetup.log",
     {"] CreateMutexA " GLOBAL_RUN_LOCK_NAME ": failed, error 5: ", "] run lock cannot be opened\r\n",
      "] end: Phase code 8\r\n", "] exit code 8\r\n", "!held by another run"},
     NothingCopied},
    {"RestartCodeThatMeansBusyIsIgnored", InstalledAndRunning, "/S /L /R=1618", 0,
     "%TEMP%\\ZynSetup.log", {"] /R= ignored: ", "] restart needed: yes\r\n", "] exit code 0\r\n"},
     RestartRegistered},
    // Refused: the reason, then nothing that reads as if the bundle were read.
    {"BundleIndexRefused", BundleIndexRefused, "/S /L", 8, "%TEMP%\\ZynSetup.log",
     {"] bundle: index entry 2 of 12 at offset ",
      "] setup data: bundle %MEDIUM%\\setup.exe refused\r\n", "!files\r\n", "!setup script",
      "!descriptor", "] end: Phase code 8\r\n"},
     NothingCopied},
    {"BundleDataDamaged", BundleDataDamaged, "/S /L", 8, "%TEMP%\\ZynSetup.log",
     {"] setup data: bundle %MEDIUM%\\setup.exe, 12 files\r\n",
      "] bundle: checksum over the data at offset ",
      "] setup data: bundle %MEDIUM%\\setup.exe refused\r\n", "!setup script", "!descriptor"},
     NothingCopied},
    {"Windows98", Windows98, "/S /L", 0, "%TEMP%\\ZynSetup.log",
     {"] Windows 4.10.", ", platform 1\r\n", "] SHFileOperationA move: ok\r\n",
      "] end: Phase code 0\r\n"},
     PayloadInstalled},
    {"LockedLogChangesNothingElse", LockedLog, "/S /L", 0, "<none>", {},
     LockedLogChangedNothingElse},
    {"WithoutTheSwitch", 0, "/S", 0, "<none>", {}, NoLogFile},
    {"ElevatedCopyWritesToTheSameLog", ElevatingBuild, "/S /L", 0, "%TEMP%\\ZynSetup.log",
     {"] command line: /S /L\r\n", "] command line: /S /L=%TEMP% /Elevated\r\n",
      "] end: Phase code 0\r\n", "] elevated copy ended, exit code 0\r\n"},
     TwoProcessesShareTheLog},
    {"LaunchModeHasNone", NtFour, "/Tfeature /L", 50, kStale, {}, NoLogFile},
};

TEST_P(RunLog, Run)
{
    const LogCase &run = GetParam();
    if (run.arrange)
        run.arrange(this);
    ASSERT_FALSE(HasFatalFailure());
    bool uninstaller = run.commandLine[0] == '@';
    EXPECT_EQ(run.exitCode, uninstaller ? RunUninstaller(run.commandLine + 1)
                                        : RunSetup(run.commandLine));
    EXPECT_EQ(Expand(run.setupLog), ResultValue("SetupLog"));
    std::string log = ReadText(Expand(run.setupLog));
    for (const char *line : run.lines) {
        bool absent = line[0] == '!';
        EXPECT_EQ(absent, log.find(Expand(line + absent)) == std::string::npos) << line << "\n" << log;
    }
    run.check(this, log);
}

INSTANTIATE_TEST_SUITE_P(Cases, RunLog, ::testing::ValuesIn(kCases),
                         [](const ::testing::TestParamInfo<LogCase> &info) {
                             return std::string(info.param.name);
                         });

} // namespace
