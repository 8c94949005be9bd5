// Paths as Windows hands them to the real setup.exe, with letters that the
// ANSI code page lacks ("ż", Greek): the program's folder, the current
// folder, TEMP and the "/D=" and "/L=" paths, started through CreateProcessW.
// The ANSI calls would turn such a name into its look-alike ("zazólc" for
// "zażółć") or into '?'. A row puts something at the look-alike (other setup
// files, a file where a folder belongs) or watches that nothing appears
// there: the run must reach the exact place, or refuse before anything
// changes. Every row runs for the folder and the bundle form, under
// Windows 7 and XP, unless it says otherwise.
#include "tests/e2e/bundles.h"
#include "tests/e2e/setup_exe.h"

#include "base/startup_state.h"
#include "driver/ui/user_interface.h"
#include "resources/resource.h"

#include <gtest/gtest.h>

#include <stdio.h>

#include <string>
#include <vector>

namespace {

enum RunKind { FOLDER = 1, BUNDLE = 2, WIN7 = 4, XP = 8, EVERY_RUN = 15 };

// What lies at the look-alike of the row's watched place before the run.
enum Decoy {
    NOTHING,       // nothing, and neither it nor the watched place may appear
    OTHER_SETUP,   // the setup files (or the bundle) of another payload
    EMPTY_FOLDER,  // a folder that must stay empty, as must the watched one
    PLAIN_FILE     // a file where the watched place is a folder
};

struct PathRow {
    const char *name;
    unsigned runs;            // RunKind flags: the forms and systems it runs in
    const char *build;        // the program: setup.exe or a test build beside it
    const wchar_t *folder;    // where the program (and its setup files) lie
    const wchar_t *arguments;
    const wchar_t *current;   // the current folder; null: C:\ze2e
    const wchar_t *temp;      // TEMP and TMP of the run; null: the test's own
    const wchar_t *watched;   // the place whose look-alike gets `decoy`; null: none
    Decoy decoy;
    DWORD exitCode;
    bool installed;           // the folder's payload installed where the script says
    const wchar_t *log;       // the log (%TEMP%, %ROWTEMP%, %WINDIR%); null: none anywhere
    const char *logged;       // part of the log's lines
    UINT message;             // the one message box the run shows; 0: none
    const wchar_t *typed;     // typed into the target-folder dialog, then OK
    void (*arrange)(void);    // more to lay out before the run, and to check after it
    void (*check)(void);
};

const wchar_t kZazolc[] = L"C:\\ze2e\\wide\\zażółć";
const wchar_t kGreek[] = L"C:\\ze2e\\wide\\Γιώργος";
const wchar_t kPlain[] = L"C:\\ze2e\\wide\\plain";
const wchar_t kTarget[] = L"C:\\ze2e\\wide\\Zażółć";
const wchar_t kTempLog[] = L"%TEMP%ZynSetup.log";

const PathRow kRows[] = {
    {"ProgramBesideItsLookAlike", EVERY_RUN, "setup.exe", kZazolc, L"/S /L", 0, 0, kZazolc,
     OTHER_SETUP, 0, true, kTempLog, "] exit code 0\r\n", 0, 0, 0, 0},
    {"ProgramInAFolderWithoutLookAlike", EVERY_RUN, "setup.exe", kGreek, L"/S /L", 0, 0, 0,
     NOTHING, 0, true, kTempLog, "] exit code 0\r\n", 0, 0, 0, 0},
    {"ElevatedProgramBesideItsLookAlike", FOLDER | BUNDLE | WIN7, "setup_elevating.exe", kZazolc,
     L"/S /L", 0, 0, kZazolc, OTHER_SETUP, 0, true, kTempLog,
     "] elevated copy ended, exit code 0\r\n", 0, 0, 0, 0},
    {"ProgramWithoutShortName", EVERY_RUN, "setup_without_short_names.exe", kGreek, L"/L", 0, 0,
     0, NOTHING, 8, false, kTempLog, "] program path: no exact ANSI form, no short name\r\n",
     IDS_PROGRAM_FOLDER_NAME, 0, 0, 0},
    {"InstallFolderSwitch", EVERY_RUN, "setup.exe", kPlain, L"/S /L /D=C:\\ze2e\\wide\\Zażółć", 0,
     0, kTarget, NOTHING, 8, false, kTempLog,
     " refused: '?' is a letter the ANSI code page lacks\r\n", 0, 0, 0, 0},
    {"InstallFolderSwitchInTheDialog", EVERY_RUN, "setup.exe", kPlain,
     L"/L /D=C:\\ze2e\\wide\\Zażółć", 0, 0, kTarget, NOTHING, 0, false, kTempLog,
     "exit code 0\r\n", IDS_FOLDER_REFUSED, 0, 0, 0},
    {"TypedFolder", EVERY_RUN, "setup.exe", kPlain, L"/L", 0, 0, kTarget, NOTHING, 0, false,
     kTempLog, "exit code 0\r\n", IDS_FOLDER_REFUSED, kTarget, 0, 0},
    {"LogFileSwitch", EVERY_RUN, "setup.exe", kPlain, L"/S /L=C:\\ze2e\\wide\\żółw.log", 0, 0,
     L"C:\\ze2e\\wide\\żółw.log", NOTHING, 0, true, 0, 0, 0, 0, 0, 0},
    {"RelativeLogInACurrentFolderOfSuchLetters", EVERY_RUN, "setup.exe", kPlain,
     L"/S /L=setup.log", kZazolc, 0, kZazolc, EMPTY_FOLDER, 0, true, 0, 0, 0, 0, 0, 0},
    {"TempBesideAFileOfItsLookAlike", EVERY_RUN, "setup.exe", kPlain, L"/S /L", 0,
     L"C:\\ze2e\\wide\\tmpą", L"C:\\ze2e\\wide\\tmpą", PLAIN_FILE, 0, true,
     L"%ROWTEMP%\\ZynSetup.log", "] exit code 0\r\n", 0, 0, 0, 0},
    {"TempWithoutLookAlike", EVERY_RUN, "setup.exe", kPlain, L"/S /L", 0, kGreek, 0, NOTHING, 0,
     true, L"%ROWTEMP%\\ZynSetup.log", "] exit code 0\r\n", 0, 0, 0, 0},
    {"TempWithoutShortName", EVERY_RUN, "setup_without_short_names.exe", kPlain, L"/S /L", 0,
     kGreek, 0, NOTHING, 0, true, L"%WINDIR%\\Temp\\ZynSetup.log", "\\Temp\\zyn", 0, 0, 0, 0},
};

// The name the ANSI calls give `path`.
std::wstring LookAlike(const std::wstring &path)
{
    char ansi[2 * MAX_PATH] = {0};
    WideCharToMultiByte(CP_ACP, 0, path.c_str(), -1, ansi, sizeof(ansi), 0, 0);
    return Widen(ansi);
}

bool IsEmptyFolder(const std::wstring &folder)
{
    return PathIsDirectoryEmptyW(folder.c_str()) != 0;
}

// 1 when the ANSI path and the wide one name one file.
bool SameFile(const std::string &ansi, const std::wstring &wide)
{
    HANDLE files[] = {CreateFileA(ansi.c_str(), 0, FILE_SHARE_READ, 0, OPEN_EXISTING, 0, 0),
                      CreateFileW(wide.c_str(), 0, FILE_SHARE_READ, 0, OPEN_EXISTING, 0, 0)};
    BY_HANDLE_FILE_INFORMATION a, b;
    bool same = GetFileInformationByHandle(files[0], &a) && GetFileInformationByHandle(files[1], &b) &&
                a.dwVolumeSerialNumber == b.dwVolumeSerialNumber &&
                a.nFileIndexHigh == b.nFileIndexHigh && a.nFileIndexLow == b.nFileIndexLow;
    CloseHandle(files[0]);
    CloseHandle(files[1]);
    return same;
}

std::string MessageText(UINT id)
{
    char format[MAX_PATH];
    char text[MAX_PATH];
    snprintf(text, sizeof(text), LoadText(id, format, MAX_PATH), "C:\\Downloads");
    return text;
}

struct PathCase {
    const PathRow *row;
    bool bundle;
    bool xp;
};

class PathTable : public SetupExeTest, public ::testing::WithParamInterface<PathCase> {
protected:
    const PathRow &row = *GetParam().row;

    void TearDown() override
    {
        RemoveTree(L"C:\\ze2e\\wide");
        DeleteFileA((TempFolderPath() + "ZynSetup.log").c_str());
        DeleteFileA((WindowsFolderPath() + "\\Temp\\ZynSetup.log").c_str());
        SetupExeTest::TearDown();
    }

    // The row's build with the setup files of `payload` in `folder`, or their
    // bundle; the program's path.
    std::wstring LayOut(const std::wstring &folder, const char *payload)
    {
        std::string build = strcmp(row.build, "setup.exe") ? TestFile(row.build)
                                                            : ThisFolder() + "\\..\\setup.exe";
        EXPECT_TRUE(CopyFileA(build.c_str(), MediumFile("setup.exe").c_str(), FALSE));
        WriteMedium(payload, kProduct, "3.00.0000");
        CreateDirectoryW(folder.c_str(), 0);
        if (GetParam().bundle) {
            WriteText(folder + L"\\DorselSetup.exe", BundleOfFolder(kMedium));
            return folder + L"\\DorselSetup.exe";
        }
        for (const char *name : kSourceNames)
            CopyFileW(Widen(MediumFile(name)).c_str(), (folder + L"\\" + Widen(name)).c_str(), 0);
        return folder + L"\\setup.exe";
    }

    // Started with the row's wide command line, current folder and TEMP; its
    // target-folder dialog gets the typed folder and OK, and after a refusal
    // Cancel.
    DWORD Run(const std::wstring &program, std::vector<std::string> *messages)
    {
        std::wstring command = L"\"" + program + L"\" " + row.arguments;
        std::wstring temp = Widen(TempFolderPath());
        for (const wchar_t *name : {L"TEMP", L"TMP"})
            SetEnvironmentVariableW(name, row.temp ? row.temp : temp.c_str());
        STARTUPINFOW startup;
        ZeroMemory(&startup, sizeof(startup));
        startup.cb = sizeof(startup);
        PROCESS_INFORMATION process = {};
        BOOL started = CreateProcessW(0, &command[0], 0, 0, FALSE, 0, 0,
                                      row.current ? row.current : L"C:\\ze2e", &startup, &process);
        for (const wchar_t *name : {L"TEMP", L"TMP"})
            SetEnvironmentVariableW(name, temp.c_str());
        if (!started)
            return GetLastError() | 0x80000000;
        bool typed = !row.typed;
        return AwaitAnswering(&process, messages, [&](HWND dialog) {
            if (!GetDlgItem(dialog, 1000))
                return false;  // a message box: read and answered as usual
            if (!typed)
                SendMessageW(GetDlgItem(dialog, 1000), WM_SETTEXT, 0, (LPARAM)row.typed);
            if (!typed || !messages->empty())
                PostMessageA(dialog, WM_COMMAND, typed ? IDCANCEL : IDOK, 0);
            typed = true;
            Sleep(200);
            return true;
        });
    }

    std::wstring Expand(std::wstring text)
    {
        const std::pair<const wchar_t *, std::wstring> places[] = {
            {L"%TEMP%", Widen(TempFolderPath())}, {L"%WINDIR%", Widen(WindowsFolderPath())},
            {L"%ROWTEMP%", row.temp ? row.temp : L""}};
        for (const auto &place : places)
            for (size_t at; (at = text.find(place.first)) != std::wstring::npos;)
                text.replace(at, wcslen(place.first), place.second);
        return text;
    }
};

TEST_P(PathTable, ExactPlaceOrRefusal)
{
    g_startup.instance = GetModuleHandleA(0);  // the message texts
    ASSERT_TRUE(CreateDirectoryW(L"C:\\ze2e\\wide", 0));
    std::wstring other = row.watched ? LookAlike(row.watched) : L"";
    if (row.decoy != NOTHING) {
        ASSERT_TRUE(other != row.watched && other.find(L'?') == std::wstring::npos);
    }
    if (row.decoy == OTHER_SETUP)
        LayOut(other, "v2");
    if (row.decoy == EMPTY_FOLDER)
        CreateDirectoryW(other.c_str(), 0);
    if (row.decoy == PLAIN_FILE)
        WriteText(other, "decoy");
    std::wstring program = LayOut(row.folder, "v1");
    for (const wchar_t *folder : {row.current, row.temp})
        if (folder)
            CreateDirectoryW(folder, 0);
    if (row.arrange)
        row.arrange();
    if (GetParam().xp)
        SetWineVersion("winxp");
    // Where a run may make staging folders: the test's TEMP, the Windows
    // folder's and the row's.
    std::vector<std::wstring> temps = {Widen(TempFolderPath()), Expand(L"%WINDIR%\\Temp\\")};
    if (row.temp)
        temps.push_back(std::wstring(row.temp) + L"\\");
    std::vector<std::set<std::string>> staging;
    for (const std::wstring &temp : temps)
        staging.push_back(StagingFolders(temp));

    std::vector<std::string> messages;
    EXPECT_EQ(row.exitCode, Run(program, &messages));

    EXPECT_EQ(row.message ? std::vector<std::string>{MessageText(row.message)}
                          : std::vector<std::string>(),
              messages);
    char result[8];
    snprintf(result, sizeof(result), "%04lX", row.exitCode);
    EXPECT_EQ(row.exitCode || row.installed ? result : "<none>", ResultValue());
    if (row.installed) {
        ExpectPayloadInstalled("v1");
        EXPECT_EQ(Sz(Target()), ReadRaw(PRODUCT_KEY, "ProgDir").bytes);
    } else {
        EXPECT_FALSE(Exists(Target()));
        EXPECT_FALSE(KeyExists(PRODUCT_KEY));
    }
    // Nothing made at the watched place or its look-alike, or what lay there kept.
    EXPECT_FALSE(row.decoy == NOTHING && row.watched && (Exists(row.watched) || Exists(other)));
    EXPECT_FALSE(row.decoy == EMPTY_FOLDER && !(IsEmptyFolder(row.watched) && IsEmptyFolder(other)));
    EXPECT_FALSE(row.decoy == PLAIN_FILE && ReadText(other) != "decoy");
    if (row.log) {
        std::wstring log = Expand(row.log);
        EXPECT_TRUE(SameFile(ResultValue("SetupLog"), log)) << ResultValue("SetupLog");
        EXPECT_NE(std::string::npos, ReadText(log).find(row.logged)) << ReadText(log);
    } else {
        EXPECT_EQ("<none>", ResultValue("SetupLog"));
    }
    for (size_t i = 0; i < temps.size(); ++i)
        EXPECT_EQ(std::set<std::string>(), AddedStagingFolders(staging[i], temps[i])) << i;
    if (row.check)
        row.check();
}

std::vector<PathCase> Cases()
{
    std::vector<PathCase> cases;
    for (const PathRow &row : kRows)
        for (unsigned run : {WIN7 | FOLDER, WIN7 | BUNDLE, XP | FOLDER, XP | BUNDLE})
            if ((row.runs & run) == run)
                cases.push_back({&row, (run & BUNDLE) != 0, (run & XP) != 0});
    return cases;
}

INSTANTIATE_TEST_SUITE_P(Rows, PathTable, ::testing::ValuesIn(Cases()),
                         [](const ::testing::TestParamInfo<PathCase> &info) {
                             return std::string(info.param.row->name) +
                                    (info.param.xp ? "_Xp" : "_Win7") +
                                    (info.param.bundle ? "_Bundle" : "_Folder");
                         });

} // namespace
