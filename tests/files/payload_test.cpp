// The payload transfer with real files and real shell operations under Wine.
// The same tests run once as NT and once as Windows 98 (files_tests_win98).
#include "files/files.h"
#include "files/staging.h"
#include "restart/restart.h"
#include "tests/files/file_access.h"
#include "tests/registry/security_report.h"

#include <gtest/gtest.h>

#include <aclapi.h>
#include <sddl.h>
#include <string.h>

#include <algorithm>
#include <set>
#include <string>
#include <vector>

namespace {

const char kRoot[] = "C:\\ztest";
const char kMedium[] = "C:\\ztest\\medium";
const char kTarget[] = "C:\\ztest\\Program Files\\Deep\\Dorsel";

const char *const kSources[] = {"setup.exe", "Dorsel", "Dorsel.zyn", "ZynSetup.dat",
                                "ZynSetup.dll", "ZYNSYSID.sys", "ZYNSYSID.vxd", "zynliba.dll",
                                "zynlibb.dll", "unicows.dll", "ZYNNTDEV.sys", "ZynFlash.dll"};
const char *const kInstalled[] = {"_zynu000.exe", "Dorsel.exe", "ZynSetup.ini", "ZynSetup.dat",
                                  "ZynSetup.dll", "ZYNSYSID.sys", "ZYNSYSID.vxd", "zynliba.dll",
                                  "zynlibb.dll", "unicows.dll", "ZYNNTDEV.sys", "ZynFlash.dll"};

std::string Target(const char *name)
{
    return std::string(kTarget) + "\\" + name;
}

std::string Uninstaller()
{
    return WindowsFolderPath() + "\\_zynu000.exe";
}

// Installed place of row i.
std::string FinalPath(int row, bool xml = false)
{
    if (row == 0)
        return Uninstaller();
    return Target(row == 2 && xml ? "ZynSetup.xml" : kInstalled[row]);
}

class Payload : public ::testing::Test {
protected:
    PayloadSource source = {0, 0, 0};
    void SetUp() override
    {
        RemoveTree(kRoot);
        DeleteFileA(Uninstaller().c_str());
        DeleteFileA((WindowsFolderPath() + "\\WININIT.INI").c_str());
        ClearPendingOperations();
        CreateDirectoryA(kRoot, 0);
        CreateDirectoryA(kMedium, 0);
        WriteMedium("v1");
        source.setupFolder = kMedium;
        source.xmlDescriptor = 0;
    }
    void TearDown() override
    {
        RemoveTree(kRoot);
        DeleteFileA(Uninstaller().c_str());
        DeleteFileA((WindowsFolderPath() + "\\WININIT.INI").c_str());
        ClearPendingOperations();
    }
    void WriteMedium(const std::string &version)
    {
        for (const char *name : kSources)
            WriteText(std::string(kMedium) + "\\" + name, version + ":" + name);
        WriteText(std::string(kMedium) + "\\VAKZYN.xml", version + ":VAKZYN.xml");
    }
    void ExpectInstalled(const std::string &version, bool xml = false)
    {
        for (int row = 0; row < PAYLOAD_FILE_COUNT; ++row) {
            std::string source = row == 2 && xml ? "VAKZYN.xml" : kSources[row];
            EXPECT_EQ(version + ":" + source, ReadText(FinalPath(row, xml))) << row;
        }
    }
};

TEST_F(Payload, InstallMovesEveryFileIntoPlace)
{
    std::set<std::string> stagingBefore = StagingFolders();
    ASSERT_TRUE(TransferPayload(0, &source, kTarget, 0, RUNOPT_INSTALL));
    ExpectInstalled("v1");
    EXPECT_FALSE(Exists(Target("_zynu000.exe")));  // the uninstaller goes to Windows only
    EXPECT_EQ(std::set<std::string>(), AddedStagingFolders(stagingBefore));     // the private staging folder is gone
    for (const char *name : kSources)                // the medium is left as it was
        EXPECT_TRUE(Exists(std::string(kMedium) + "\\" + name)) << name;
}

TEST_F(Payload, InstallKeepsUserFilesAndRemovesTheOtherDescriptor)
{
    ASSERT_TRUE(CreateFolderPath(kTarget));
    WriteText(Target("notes.txt"), "mine");
    WriteText(Target("ZynSetup.xml"), "old xml form");
    WriteText(Target("dorsel.exe.manifest"), "stale");
    ASSERT_TRUE(TransferPayload(0, &source, kTarget, 0, RUNOPT_INSTALL));
    EXPECT_EQ("mine", ReadText(Target("notes.txt")));
    EXPECT_FALSE(Exists(Target("ZynSetup.xml")));
    EXPECT_EQ(IsNt(), !Exists(Target("dorsel.exe.manifest")));  // left alone on 9x
}

TEST_F(Payload, XmlFormInstallsItsDescriptor)
{
    source.xmlDescriptor = 1;
    ASSERT_TRUE(CreateFolderPath(kTarget));
    WriteText(Target("ZynSetup.ini"), "old ini form");
    ASSERT_TRUE(TransferPayload(0, &source, kTarget, 0, RUNOPT_INSTALL));
    ExpectInstalled("v1", true);
    EXPECT_FALSE(Exists(Target("ZynSetup.ini")));
}

TEST_F(Payload, MissingPayloadFileFailsBeforeAnythingIsCreated)
{
    DeleteFileA((std::string(kMedium) + "\\ZynFlash.dll").c_str());
    std::set<std::string> stagingBefore = StagingFolders();
    EXPECT_FALSE(TransferPayload(0, &source, kTarget, 0, RUNOPT_INSTALL));
    EXPECT_FALSE(Exists("C:\\ztest\\Program Files"));
    EXPECT_FALSE(Exists(Uninstaller()));
    EXPECT_EQ(std::set<std::string>(), AddedStagingFolders(stagingBefore));  // what was staged is gone too
}

TEST_F(Payload, UnusableFoldersAreRefused)
{
    EXPECT_FALSE(TransferPayload(0, &source, "C:\\ztest\\*", 0, RUNOPT_INSTALL));
    EXPECT_FALSE(TransferPayload(0, &source, "", 0, RUNOPT_INSTALL));
    EXPECT_FALSE(TransferPayload(0, &source, 0, 0, 0));
    // One of whose files' paths would not fit: refused before any change.
    std::string deep = "C:\\ztest\\" + std::string(231, 'd');
    EXPECT_FALSE(TransferPayload(0, &source, deep.c_str(), 0, RUNOPT_INSTALL));
    EXPECT_FALSE(Exists(deep));
    EXPECT_FALSE(Exists(Uninstaller()));
}

TEST_F(Payload, UninstallDeletesElevenAndSchedulesTheUninstaller)
{
    ASSERT_TRUE(TransferPayload(0, &source, kTarget, 0, RUNOPT_INSTALL));
    WriteText(Target("notes.txt"), "mine");
    ClearPendingOperations();
    ASSERT_TRUE(TransferPayload(0, &source, kTarget, 0, 0));
    for (int row = 1; row < PAYLOAD_FILE_COUNT; ++row)
        EXPECT_FALSE(Exists(FinalPath(row))) << row;
    EXPECT_TRUE(Exists(Uninstaller()));
    EXPECT_EQ("mine", ReadText(Target("notes.txt")));
    EXPECT_TRUE(Exists(kTarget));
    if (IsNt()) {
        std::vector<std::string> pending = PendingOperations();
        ASSERT_EQ(2u, pending.size());
        EXPECT_EQ("\\??\\" + Uninstaller(), pending[0]);
        EXPECT_EQ("", pending[1]);
    } else {
        EXPECT_NE(std::string::npos,
                  ReadText(WindowsFolderPath() + "\\WININIT.INI").find("NUL="));
    }
    SimulateRestart();
    EXPECT_FALSE(Exists(Uninstaller()));
}

TEST_F(Payload, UninstallNeverDeletesAFolder)
{
    ASSERT_TRUE(TransferPayload(0, &source, kTarget, 0, RUNOPT_INSTALL));
    DeleteFileA(Target("ZynFlash.dll").c_str());
    CreateDirectoryA(Target("ZynFlash.dll").c_str(), 0);
    WriteText(Target("ZynFlash.dll") + "\\precious.txt", "keep");
    EXPECT_FALSE(TransferPayload(0, &source, kTarget, 0, 0));
    EXPECT_EQ("keep", ReadText(Target("ZynFlash.dll") + "\\precious.txt"));
    EXPECT_TRUE(Exists(Target("Dorsel.exe")));
}

TEST_F(Payload, ReplaceOnRestartInstall)
{
    ASSERT_TRUE(TransferPayload(0, &source, kTarget, 0, RUNOPT_INSTALL));
    WriteText(Target("ZynSetup.xml"), "old xml form");
    WriteMedium("v2");
    ClearPendingOperations();
    std::set<std::string> stagingBefore = StagingFolders();
    ASSERT_TRUE(TransferPayload(0, &source, kTarget, 1, RUNOPT_INSTALL));
    ExpectInstalled("v1");  // nothing changes before the restart
    RemoveStaleStagingFolders(0);  // the staged copies wait for the restart
    EXPECT_EQ(1u, AddedStagingFolders(stagingBefore).size());
    if (IsNt()) {
        std::vector<std::string> pending = PendingOperations();
        ASSERT_EQ(2u + 4u * PAYLOAD_FILE_COUNT + 2u, pending.size());
        EXPECT_EQ("\\??\\" + Target("ZynSetup.xml"), pending[0]);
        EXPECT_EQ("\\??\\" + TempFolderPath() + "zyn", pending[pending.size() - 2].substr(0, 7 + TempFolderPath().size()));
        EXPECT_EQ("", pending.back());  // the staging folder goes after the moves
        EXPECT_EQ("", pending[1]);
        for (int row = 0; row < PAYLOAD_FILE_COUNT; ++row) {
            size_t at = 2 + 4 * (size_t)row;
            EXPECT_EQ("\\??\\" + FinalPath(row), pending[at]) << row;  // deletion first
            EXPECT_EQ("", pending[at + 1]);
            EXPECT_NE(std::string::npos, pending[at + 2].find(kInstalled[row])) << row;
            EXPECT_EQ("\\??\\" + FinalPath(row), pending[at + 3]) << row;  // no "!": no replace
        }
    } else {
        std::string wininit = ReadText(WindowsFolderPath() + "\\WININIT.INI");
        EXPECT_NE(std::string::npos, wininit.find("[rename]"));
        EXPECT_NE(std::string::npos, wininit.find("NUL="));
        char shortTarget[MAX_PATH] = {0};
        GetShortPathNameA(Target("Dorsel.exe").c_str(), shortTarget, MAX_PATH);
        EXPECT_NE(std::string::npos, wininit.find(std::string(shortTarget) + "=")) << wininit;
    }
    SimulateRestart();
    ExpectInstalled("v2");
    EXPECT_FALSE(Exists(Target("ZynSetup.xml")));
    if (!IsNt())  // WININIT.INI deletes no folder: the next run's start-up does
        RemoveStaleStagingFolders(0);
    EXPECT_EQ(std::set<std::string>(), AddedStagingFolders(stagingBefore));
}

TEST_F(Payload, ReplaceOnRestartOfFilesNotYetInstalled)
{
    ASSERT_TRUE(TransferPayload(0, &source, kTarget, 1, RUNOPT_INSTALL));
    EXPECT_FALSE(Exists(Target("Dorsel.exe")));
    SimulateRestart();
    ExpectInstalled("v1");
}

TEST_F(Payload, ReplaceOnRestartUninstallSchedulesAllTwelve)
{
    ASSERT_TRUE(TransferPayload(0, &source, kTarget, 0, RUNOPT_INSTALL));
    ClearPendingOperations();
    ASSERT_TRUE(TransferPayload(0, &source, kTarget, 1, 0));
    for (int row = 0; row < PAYLOAD_FILE_COUNT; ++row)
        EXPECT_TRUE(Exists(FinalPath(row))) << row;
    if (IsNt()) {
        std::vector<std::string> pending = PendingOperations();
        ASSERT_EQ(2u * PAYLOAD_FILE_COUNT, pending.size());
        for (int row = 0; row < PAYLOAD_FILE_COUNT; ++row)
            EXPECT_EQ("\\??\\" + FinalPath(row), pending[2 * (size_t)row]) << row;
    }
    SimulateRestart();
    for (int row = 0; row < PAYLOAD_FILE_COUNT; ++row)
        EXPECT_FALSE(Exists(FinalPath(row))) << row;
}

// Upgrade after upgrade waiting for the restart leaves more moves than one
// list of sources holds: the uninstall takes back every one and deletes
// every staged copy, and after the restart nothing comes back.
TEST_F(Payload, UninstallTakesBackEveryWaitingUpgrade)
{
    if (!IsNt())
        GTEST_SKIP() << "WININIT.INI keeps one move onto each file: the latest";
    ASSERT_TRUE(TransferPayload(0, &source, kTarget, 0, RUNOPT_INSTALL));
    std::set<std::string> stagingBefore = StagingFolders();
    const size_t upgrades = 6;
    for (size_t upgrade = 0; upgrade < upgrades; ++upgrade)
        ASSERT_TRUE(TransferPayload(0, &source, kTarget, 1, RUNOPT_INSTALL)) << upgrade;
    std::set<std::string> staged = AddedStagingFolders(stagingBefore);
    ASSERT_EQ(upgrades, staged.size());
    size_t listed = 0;  // the staged copies' paths, as the uninstall lists them
    for (const std::string &folder : staged)
        for (const char *name : kInstalled)
            listed += TempFolderPath().size() + folder.size() + strlen(name) + 2;
    ASSERT_GT(listed, (size_t)PATH_LIST_SIZE);
    ASSERT_TRUE(TransferPayload(0, &source, kTarget, 0, 0));
    EXPECT_EQ(std::set<std::string>(), AddedStagingFolders(stagingBefore));
    SimulateRestart();
    for (int row = 1; row < PAYLOAD_FILE_COUNT; ++row)
        EXPECT_FALSE(Exists(FinalPath(row))) << row;
}

TEST_F(Payload, WininitKeepsLinesOfOtherPrograms)
{
    if (IsNt())
        GTEST_SKIP() << "WININIT.INI is the Windows 9x way";
    std::string wininit = WindowsFolderPath() + "\\WININIT.INI";
    WriteText(std::string(kRoot) + "\\other.tmp", "other program");
    char shortOther[MAX_PATH] = {0};
    GetShortPathNameA((std::string(kRoot) + "\\other.tmp").c_str(), shortOther, MAX_PATH);
    WritePrivateProfileStringA("rename", "NUL", shortOther, wininit.c_str());
    ASSERT_TRUE(TransferPayload(0, &source, kTarget, 0, RUNOPT_INSTALL));
    ASSERT_TRUE(TransferPayload(0, &source, kTarget, 1, 0));
    std::string text = ReadText(wininit);
    EXPECT_NE(std::string::npos, text.find(std::string("NUL=") + shortOther)) << text;
    SimulateRestart();
    EXPECT_FALSE(Exists(std::string(kRoot) + "\\other.tmp"));
    EXPECT_FALSE(Exists(Target("Dorsel.exe")));
}

// The section is rewritten only when it was read whole and the new lines fit
// in it; one byte more, and the file keeps every byte.
TEST_F(Payload, WininitSectionIsRewrittenOnlyWhenTheLinesFit)
{
    if (IsNt())
        GTEST_SKIP() << "WININIT.INI is the Windows 9x way";
    std::string wininit = WindowsFolderPath() + "\\WININIT.INI";
    const char line[] = "NUL=C:\\ztest\\a.txt\0";
    for (size_t over : {0, 1}) {
        // Other programs' lines, each with its NUL, fill the 32 KB section
        // to the byte, with the new line and the two final NULs.
        size_t kept = 32768 - 2 - (sizeof(line) - 1) + over;
        std::string text = "[rename]\r\n";
        for (size_t entry = 0; entry < kept / 100; ++entry) {
            size_t length = entry + 1 < kept / 100 ? 99 : 99 + kept % 100;
            char name[16];
            snprintf(name, sizeof(name), "NUL=C:\\o\\%05u", (unsigned)entry);
            text += std::string(name) + std::string(length - strlen(name), 'x') + "\r\n";
        }
        WriteText(wininit, text);
        EXPECT_EQ(!over, AppendRenameLines(line)) << over;
        std::string after = ReadText(wininit);
        if (over)
            EXPECT_EQ(text, after);
        else
            EXPECT_NE(std::string::npos, after.find("NUL=C:\\ztest\\a.txt"));
    }
}

// The "rename" section of WININIT.INI, its lines separated by "|".
void WriteRenameSection(std::string lines)
{
    std::replace(lines.begin(), lines.end(), '|', '\0');
    WritePrivateProfileSectionA("rename", (lines + '\0').c_str(),
                                (WindowsFolderPath() + "\\WININIT.INI").c_str());
}

std::string RenameSection()
{
    std::string lines(32768, '\0');
    lines.resize(GetPrivateProfileSectionA("rename", &lines[0], (DWORD)lines.size(),
                                           (WindowsFolderPath() + "\\WININIT.INI").c_str()));
    std::replace(lines.begin(), lines.end(), '\0', '|');
    return lines;
}

// A deletion registered for "C:\ztest\a.txt" is taken back whatever the
// spelling of the path (device prefixes included), and every other entry keeps its bytes, a name that
// the ANSI code page cannot hold included, and so does another program's odd last byte.
// On Windows 9x the same with the lines of WININIT.INI, whose moves name
// their target up to the "=".
TEST_F(Payload, WithdrawalComparesFullPathsAndKeepsOtherEntries)
{
    const char *spellings[] = {"C:\\ztest\\a.txt", "c:\\ZTEST\\A.TXT", "C:/ztest/a.txt",
                               "C:\\ztest\\sub\\..\\a.txt", "C:\\ztest\\.\\a.txt",
                               "C:\\ztest\\a.txt\\", "C:\\ztest\\\\a.txt", "\\\\.\\C:\\ztest\\a.txt",
                               "\\\\?\\c:\\ztest\\A.txt"};
    PathList sources = {};
    int more = 1;
    if (!IsNt()) {
        const std::string others = "NUL=C:\\a2\\x.dll|C:\\ztest\\a.txt2=C:\\a2\\y|C:\\ztest\\b.txt=C:\\a2\\z|";
        for (const char *spelling : spellings) {
            WriteText(std::string(kRoot) + "\\a.txt", "a");
            WriteRenameSection("NUL=C:\\ztest\\a.txt|" + others + "NUL=C:\\ZTEST\\A.TXT|");
            std::string paths = std::string(spelling) + '\0' + '\0';
            ASSERT_TRUE(WithdrawRenameDeletions(paths.c_str())) << spelling;
            EXPECT_EQ(others, RenameSection()) << spelling;
        }
        WriteRenameSection(others + "C:\\ZTEST\\A.TXT=C:\\a2\\x|");
        ASSERT_TRUE(WithdrawRenameMoves("C:\\ztest\\a.txt\0", &sources, &more));
        EXPECT_EQ(0, more);
        EXPECT_EQ(others, RenameSection());
        EXPECT_STRCASEEQ("C:\\a2\\x", sources.text);
        return;
    }
    const std::wstring end(1, L'\0');
    const std::wstring foreign = L"\\??\\C:\\a2\\\x4E2D\x6587.dll" + end + end;  // not in cp1252
    const std::wstring move = L"\\??\\C:\\a2\\x" + end + L"!\\??\\C:\\ztest\\a.txt" + end;
    const std::wstring deleteB = L"\\??\\C:\\ztest\\b.txt" + end + end;
    for (const char *spelling : spellings) {
        WriteText(std::string(kRoot) + "\\a.txt", "a");
        SetPendingBytes(WideBytes(L"\\??\\C:\\ztest\\a.txt" + end + end + foreign + move + deleteB +
                                  L"\\??\\C:\\ZTEST\\A.TXT" + end + end + end) + "Z");
        std::string paths = std::string(spelling) + '\0' + '\0';
        ASSERT_TRUE(WithdrawRestartDeletions(paths.c_str())) << spelling;
        EXPECT_EQ(WideBytes(foreign + move + deleteB + end) + "Z", PendingBytes()) << spelling;
        SimulateRestart();
        EXPECT_TRUE(Exists(std::string(kRoot) + "\\a.txt")) << spelling;
    }
    // The move onto a.txt, stored with "!" as a replacing move, goes; its source is told.
    SetPendingBytes(WideBytes(foreign + move + deleteB + end));
    ASSERT_TRUE(WithdrawRestartMoves("C:\\ztest\\a.txt\0", &sources, &more));
    EXPECT_EQ(0, more);
    EXPECT_EQ(WideBytes(foreign + deleteB + end), PendingBytes());
    EXPECT_STRCASEEQ("C:\\a2\\x", sources.text);
    ClearPendingOperations();
    EXPECT_TRUE(WithdrawRestartDeletions("C:\\ztest\\none.txt\0"));  // nothing pending: done
}

// As an uninstall of the running application leaves them (WININIT.INI on 9x),
// also when the install spells the folder in its 8.3 form.
TEST_F(Payload, InstallWithdrawsPendingDeletionsOfItsFiles)
{
    for (bool shortForm : {false, true}) {
        SetUp();
        ASSERT_TRUE(TransferPayload(0, &source, kTarget, 0, RUNOPT_INSTALL));
        ASSERT_TRUE(TransferPayload(0, &source, kTarget, 1, 0));
        char folder[MAX_PATH] = {0};
        if (!shortForm || !GetShortPathNameA(kTarget, folder, MAX_PATH))
            lstrcpyA(folder, kTarget);
        WriteMedium("v2");
        ASSERT_TRUE(TransferPayload(0, &source, folder, 0, RUNOPT_INSTALL)) << folder;
        SimulateRestart();
        ExpectInstalled("v2");
    }
}

// Folders that an install must neither search through nor delete.
TEST_F(Payload, InstallRemovesOnlyFilesOfItsOwnFolder)
{
    const char *cases[][2] = {  // target folder, a file that must stay
        {kTarget, "C:\\ztest\\Program Files\\Deep\\Dorsel\\ZynSetup.xml\\keep.txt"},
        {kTarget, "C:\\ztest\\Program Files\\Deep\\Dorsel\\dorsel.exe.manifest\\keep.txt"},
        {"C:\\ztest\\a;b", "C:\\ztest\\a\\ZynSetup.xml"},
        {"C:\\ztest\\a;b", "C:\\ztest\\b\\dorsel.exe.manifest"}};
    for (auto &test : cases) {
        for (int deferred = 0; deferred < 2; ++deferred) {
            SetUp();
            std::string keep = test[1];
            ASSERT_TRUE(CreateFolderPath(keep.substr(0, keep.rfind('\\')).c_str()));
            WriteText(keep, "keep");
            ASSERT_TRUE(TransferPayload(0, &source, test[0], deferred, RUNOPT_INSTALL)) << keep;
            SimulateRestart();
            EXPECT_EQ("keep", ReadText(keep)) << keep << " " << deferred;
            EXPECT_EQ("v1:Dorsel", ReadText(std::string(test[0]) + "\\Dorsel.exe"));
        }
    }
}

// What the system reports for a held staging folder, where Wine cannot report
// what Windows does: its owner and access list (Wine names the user for every
// folder; an elevated setup's folders belong to Administrators, who alone
// may use them), and where it really is (Wine cannot make a junction).
// Folders named here report otherwise: the users own kUsersOwn and every
// folder named "zusers", kOpenToUsers lets them write, and kElsewhere is
// elsewhere.
const char kUsersOwn[] = "zyn0123456789ABCDE2";
const char kElsewhere[] = "zyn0123456789ABCDE3";
const char kOpenToUsers[] = "zyn0123456789ABCDE5";

typedef DWORD(WINAPI *FinalPathFn)(HANDLE, LPSTR, DWORD, DWORD);

DWORD RealFinalPath(HANDLE place, LPSTR path, DWORD size)
{
    FinalPathFn real = (FinalPathFn)(void *)GetProcAddress(GetModuleHandleA("kernel32.dll"),
                                                           "GetFinalPathNameByHandleA");
    return real(place, path, size, 0);
}

DWORD WINAPI ReportOwner(HANDLE place, SE_OBJECT_TYPE, SECURITY_INFORMATION, PSID *owner, PSID *,
                         PACL *list, PACL *, PSECURITY_DESCRIPTOR *descriptor)
{
    char path[MAX_PATH] = {0};
    RealFinalPath(place, path, MAX_PATH);
    const char *name = strrchr(path, '\\');
    bool users = strstr(path, kUsersOwn) || (name && lstrcmpiA(name, "\\zusers") == 0);
    std::string security = std::string(users ? "O:BU" : "O:BA") +
                           "D:P(A;OICI;GA;;;BA)(A;OICI;GA;;;SY)" +
                           (strstr(path, kOpenToUsers) ? "(A;OICI;FW;;;BU)" : "");
    return ReportSecurity(security, owner, list, descriptor);
}

// Each access list the program has the system make, and which of the
// watched folders were there then: a folder that appears after a list was
// made was created with it (Wine keeps no list on a folder to read back).
struct ListMade {
    std::string entries;  // "SID rights inheritance;" each
    std::vector<bool> there;
};
std::vector<std::string> watched;
std::vector<ListMade> listsMade;

typedef DWORD(WINAPI *SetEntriesFn)(ULONG, PEXPLICIT_ACCESS_A, PACL, PACL *);

DWORD WINAPI RecordSetEntries(ULONG count, PEXPLICIT_ACCESS_A entries, PACL old, PACL *list)
{
    ListMade made;
    for (ULONG i = 0; i < count; ++i) {
        char *sid = 0, rights[32];
        ConvertSidToStringSidA((PSID)entries[i].Trustee.ptstrName, &sid);
        wsprintfA(rights, " %lx %lx;", entries[i].grfAccessPermissions, entries[i].grfInheritance);
        made.entries += std::string(sid ? sid : "?") + rights;
        LocalFree(sid);
    }
    for (const std::string &folder : watched)
        made.there.push_back(Exists(folder));
    listsMade.push_back(made);
    SetEntriesFn real = (SetEntriesFn)(void *)GetProcAddress(GetModuleHandleA("advapi32.dll"),
                                                             "SetEntriesInAclA");
    return real(count, entries, old, list);
}

// The list each watched folder was created with: the last one made before
// it appeared; "" when none was, "<shared>" when another folder appeared
// after the same list.
std::vector<std::string> ListsOfCreatedFolders()
{
    std::vector<size_t> after(watched.size(), 0);  // lists made before it was there
    for (size_t folder = 0; folder < watched.size(); ++folder)
        while (after[folder] < listsMade.size() && !listsMade[after[folder]].there[folder])
            ++after[folder];
    std::vector<std::string> lists;
    for (size_t folder = 0; folder < watched.size(); ++folder) {
        size_t alike = std::count(after.begin(), after.end(), after[folder]);
        lists.push_back(!Exists(watched[folder]) ? "<missing>"
                        : after[folder] == 0     ? ""
                        : alike > 1              ? "<shared>"
                                                 : listsMade[after[folder] - 1].entries);
    }
    return lists;
}

DWORD WINAPI ReportFinalPath(HANDLE place, LPSTR path, DWORD size, DWORD)
{
    DWORD length = RealFinalPath(place, path, size);
    if (length < size && strstr(path, kElsewhere))
        return (DWORD)wsprintfA(path, "\\\\?\\C:\\ztest\\%s", kElsewhere);
    return length;
}

} // namespace

void *LookupSystemEntry(const char *module, const char *name)
{
    if (strcmp(name, "GetSecurityInfo") == 0)
        return (void *)ReportOwner;
    if (strcmp(name, "GetFinalPathNameByHandleA") == 0)
        return (void *)ReportFinalPath;
    if (strcmp(name, "SetEntriesInAclA") == 0)
        return (void *)RecordSetEntries;
    HMODULE handle = GetModuleHandleA(module);
    return handle ? (void *)GetProcAddress(handle, name) : 0;
}

namespace {

// Leftovers of earlier runs in the temporary folder: only this program's
// staging folders lose only their payload files, and only when no pending
// restart operation still takes a file from them, however it spells the
// folder. On NT only a folder private to administrators, held where it is
// named.
TEST_F(Payload, StaleStagingFoldersAreRemovedSafely)
{
    struct Case {
        const char *name;
        int pending;  // a restart operation moves a file from it (1), or into it (2)
        bool gone;    // its payload files and, when nothing else is left, itself
    } cases[] = {{"zyn0123456789ABCDEF", 0, true}, {"zyn0123456789ABCDE1", 1, false},
                 {"zyn0123456789ABCDE4", 2, false}, {"zynOtherProgram", 0, false},
                 {"zyn0123456789ABCDEF0", 0, false}, {kUsersOwn, 0, !IsNt()},
                 {kElsewhere, 0, !IsNt()}, {kOpenToUsers, 0, !IsNt()}};
    std::string other = std::string(kRoot) + "\\other.tmp";
    WriteText(other, "another program's");
    for (const Case &test : cases) {
        std::string folder = TempFolderPath() + test.name;
        CreateDirectoryA(folder.c_str(), 0);
        for (const char *name : kInstalled)
            WriteText(folder + "\\" + name, name);
        SetFileAttributesA((folder + "\\Dorsel.exe").c_str(), FILE_ATTRIBUTE_READONLY);
        char shortSource[MAX_PATH] = {0};  // as WININIT.INI names it
        GetShortPathNameA((folder + "\\Dorsel.exe").c_str(), shortSource, MAX_PATH);
        if (test.pending == 1) {
            ASSERT_TRUE(IsNt() ? RegisterRestartOperation(shortSource, kTarget)
                               : WriteRenameEntry("C:\\ztest\\DORSEL.EXE", shortSource))
                << test.name;
        } else if (test.pending == 2) {
            ASSERT_TRUE(IsNt() ? RegisterRestartOperation(other.c_str(), shortSource)
                               : WriteRenameEntry(shortSource, other.c_str()))
                << test.name;
        }
    }
    std::string kept = TempFolderPath() + "zyn0123456789ABCDE0";
    CreateDirectoryA(kept.c_str(), 0);
    WriteText(kept + "\\Dorsel.exe", "payload");
    WriteText(kept + "\\notes.txt", "keep");
    RemoveStaleStagingFolders(0);
    for (const Case &test : cases) {
        std::string folder = TempFolderPath() + test.name;
        EXPECT_EQ(test.gone, !Exists(folder)) << test.name;
        EXPECT_EQ(test.gone, !Exists(folder + "\\Dorsel.exe")) << test.name;
        SetFileAttributesA((folder + "\\Dorsel.exe").c_str(), FILE_ATTRIBUTE_NORMAL);
        RemoveTree(folder);
    }
    EXPECT_FALSE(Exists(kept + "\\Dorsel.exe"));
    EXPECT_EQ("keep", ReadText(kept + "\\notes.txt"));
    RemoveTree(kept);
}

// On NT setup installs only where no standard user owns a folder on the way:
// the folder itself, the nearest one above it when it is not there yet, and
// every one above that. What cannot be judged is refused. 9x has no owners.
TEST_F(Payload, InstallFolderOwnedByAdministratorsOnly)
{
    const struct {
        const char *existing;  // created first
        const char *target;
        bool taken;
    } rows[] = {
        {"C:\\ztest\\Apps", "C:\\ztest\\Apps\\New\\Dorsel", true},
        {"C:\\ztest\\zusers", "C:\\ztest\\zusers", false},
        {"C:\\ztest\\zusers", "C:\\ztest\\zusers\\New\\Dorsel", false},
        {"C:\\ztest\\zusers\\Dorsel", "C:\\ztest\\zusers\\Dorsel", false},
        // A doubled or trailing backslash does not end the walk up early.
        {"C:\\ztest\\zusers\\Apps", "C:\\ztest\\zusers\\Apps\\\\Dorsel", false},
        {"C:\\ztest\\zusers\\Apps", "C:\\ztest\\zusers\\Apps\\", false},
        {"C:\\ztest", "P:\\Dorsel", false},  // a drive that is not there
    };
    ASSERT_FALSE(Exists("P:\\"));
    for (const auto &row : rows) {
        ASSERT_TRUE(CreateFolderPath(row.existing));
        EXPECT_EQ(row.taken || !IsNt(), IsTrustedFolderPath(row.target) != 0) << row.target;
        RemoveTree("C:\\ztest\\zusers");
    }
}

// Every folder an install creates gets the list of Program Files (the list
// itself: registry_security_calls_tests): Users may read and execute, and
// TrustedInstaller has its entry. 9x has no lists.
TEST_F(Payload, InstallFoldersGetTheListOfProgramFiles)
{
    watched = {"C:\\ztest\\Program Files", "C:\\ztest\\Program Files\\Deep", kTarget};
    listsMade.clear();
    ASSERT_TRUE(TransferPayload(0, &source, kTarget, 0, RUNOPT_INSTALL));
    const std::string protectedList =
        "S-1-5-32-544 10000000 3;S-1-5-18 10000000 3;"
        "S-1-5-80-956008885-3418522649-1831038044-1853292631-2271478464 10000000 3;"
        "S-1-5-32-545 a0000000 3;";
    EXPECT_EQ(std::vector<std::string>(3, IsNt() ? protectedList : ""), ListsOfCreatedFolders());
    watched.clear();
}

// This program's staging folders by name: "zyn" in either case and 16
// upper-case hexadecimal digits.
TEST(StagingFolderName, PrefixAndSixteenHexDigits)
{
    const std::pair<const char *, int> names[] = {
        {"zyn0123456789ABCDEF", 1}, {"ZYNFEDCBA9876543210", 1}, {"Zyn0123456789ABCDE", 0},
        {"zyn0123456789ABCDEF0", 0}, {"zyn0123456789abcdef", 0}, {"zyn0123456789ABCDEG", 0},
        {"zyn012345678 ABCDEF", 0}, {"zyn/123456789ABCDEF", 0}, {"zym0123456789ABCDEF", 0},
        {"xyn0123456789ABCDEF", 0}, {"zzn0123456789ABCDEF", 0}, {"zy0123456789ABCDEF0", 0},
        {"zyn", 0}, {"", 0}};
    for (const auto &name : names)
        EXPECT_EQ(name.second, IsStagingFolderName(name.first)) << name.first;
}

TEST_F(Payload, CreateFolderPath)
{
    EXPECT_TRUE(CreateFolderPath("C:\\ztest\\One\\Two\\Three"));
    EXPECT_TRUE(Exists("C:\\ztest\\One\\Two\\Three"));
    EXPECT_TRUE(CreateFolderPath("C:\\ztest\\One\\Two\\Three"));  // already there
    EXPECT_FALSE(CreateFolderPath("nobackslash:*"));
    EXPECT_FALSE(CreateFolderPath(std::string(MAX_PATH, 'x').c_str()));
    WriteText("C:\\ztest\\file", "x");
    EXPECT_FALSE(CreateFolderPath("C:\\ztest\\file\\below"));
}

} // namespace
