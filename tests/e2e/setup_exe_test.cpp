// The real setup.exe, started as a process from a folder that holds it, its
// Setup script, its Package descriptor and stand-in payload files. Registry
// values, files, shortcuts and exit codes are read back as a user or an
// administrator would.
#include "tests/e2e/bundles.h"
#include "tests/e2e/setup_exe.h"
#include "xml/xml.h"

#include "driver/run_lock.h"

#include <gtest/gtest.h>

#include <delayimp.h>
#include <imagehlp.h>
#include <stdlib.h>

#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

namespace {

class SetupExe : public SetupExeTest {};

TEST_F(SetupExe, FreshSilentInstall)
{
    ASSERT_EQ(0u, RunSetup("/S"));
    EXPECT_EQ("0000", ResultValue());
    EXPECT_EQ(Sz(Target()), ReadRaw(PRODUCT_KEY, "ProgDir").bytes);
    EXPECT_EQ(Sz(Target() + "\\Dorsel.exe"), ReadRaw(PRODUCT_KEY, 0).bytes);
    EXPECT_EQ(Sz(kProduct), ReadRaw(PRODUCT_KEY, "Name").bytes);
    EXPECT_EQ(Sz("3.00.0000"), ReadRaw(PRODUCT_KEY, "Version").bytes);
    EXPECT_EQ(Sz(Group()), ReadRaw(PRODUCT_KEY, "MenuDir").bytes);
    EXPECT_EQ(Dword(1), ReadRaw(PRODUCT_KEY, "InternetFunction").bytes);
    // No search folder exists: the first download candidate not there yet.
    EXPECT_EQ(Sz("C:\\ze2e\\dl2"), ReadRaw(PRODUCT_KEY, "DownloadDir").bytes);
    EXPECT_TRUE(Exists("C:\\ze2e\\dl2"));
    EXPECT_EQ(Sz("C:\\ze2e\\search"), ReadRaw(SEARCH_PATH_KEY "\\C:\\ze2e\\search", 0).bytes);
    EXPECT_EQ(Sz("C:\\ze2e\\dl2"), ReadRaw(SEARCH_PATH_KEY "\\C:\\ze2e\\dl2", 0).bytes);
    EXPECT_EQ(Sz("_zynu000.exe /U"), ReadRaw(UNINSTALL_ENTRY_KEY, "UninstallString").bytes);
    EXPECT_EQ(Sz(kProduct), ReadRaw(UNINSTALL_ENTRY_KEY, "DisplayName").bytes);
    EXPECT_EQ(Sz(WindowsFolderPath() + "\\_zynu000.exe"), ReadRaw(INTERFACE_PATH_KEY, "InterfacePath").bytes);
    EXPECT_EQ(Sz(Target() + "\\Dorsel.exe"), ReadRaw(TOOLBAR_KEY, "Exec").bytes);
    ExpectPayloadInstalled("v1");
    // Only the group shortcut: a fresh silent install finds no other of that name.
    LinkProperties group = ReadLink(GroupShortcut(kProduct));
    ASSERT_TRUE(group.loaded);
    EXPECT_EQ(Target() + "\\Dorsel.exe", group.path);
    EXPECT_EQ(1, group.iconIndex);
    EXPECT_FALSE(Exists(DesktopShortcut(kProduct)));
    EXPECT_FALSE(Exists(StartMenuShortcut(kProduct)));
}

// What a fresh install and then an upgrade write, exactly: no value missing,
// none more, each of its type and bytes.
TEST_F(SetupExe, RegistryValuesOfInstallAndUpgradeExactly)
{
    const std::string program = Target() + "\\Dorsel.exe";
    const std::string uninstaller = WindowsFolderPath() + "\\_zynu000.exe";
    for (const char *version : {"3.00.0000", "3.01.0000"}) {
        WriteMedium(version[3] == '0' ? "v1" : "v2", kProduct, version);
        ASSERT_EQ(0u, RunSetup("/S")) << version;
        DWORD bytes = 0;
        for (const char *name : kSourceNames)
            bytes += (DWORD)ReadText(MediumFile(name)).size();
        const KeyValues expected = {
            {PRODUCT_KEY "\\", {REG_SZ, Sz(program)}},
            {PRODUCT_KEY "\\ProgDir", {REG_SZ, Sz(Target())}},
            {PRODUCT_KEY "\\Name", {REG_SZ, Sz(kProduct)}},
            {PRODUCT_KEY "\\Version", {REG_SZ, Sz(version)}},
            {PRODUCT_KEY "\\MenuDir", {REG_SZ, Sz(Group())}},
            {PRODUCT_KEY "\\DownloadDir", {REG_SZ, Sz("C:\\ze2e\\dl2")}},
            {PRODUCT_KEY "\\InternetFunction", {REG_DWORD, Dword(1)}},
            {SEARCH_PATH_KEY "\\C:\\ze2e\\search\\", {REG_SZ, Sz("C:\\ze2e\\search")}},
            {SEARCH_PATH_KEY "\\C:\\ze2e\\dl2\\", {REG_SZ, Sz("C:\\ze2e\\dl2")}},
            {UNINSTALL_ENTRY_KEY "\\DisplayName", {REG_SZ, Sz(kProduct)}},
            {UNINSTALL_ENTRY_KEY "\\UninstallString", {REG_SZ, Sz("_zynu000.exe /U")}},
            {UNINSTALL_ENTRY_KEY "\\DisplayIcon", {REG_SZ, Sz(uninstaller + ",0")}},
            {UNINSTALL_ENTRY_KEY "\\DisplayVersion", {REG_SZ, Sz(version)}},
            {UNINSTALL_ENTRY_KEY "\\QuietUninstallString",
             {REG_SZ, Sz("\"" + uninstaller + "\" /U /S")}},
            {UNINSTALL_ENTRY_KEY "\\InstallLocation", {REG_SZ, Sz(Target())}},
            {UNINSTALL_ENTRY_KEY "\\EstimatedSize", {REG_DWORD, Dword((bytes + 1023) / 1024)}},
            {UNINSTALL_ENTRY_KEY "\\NoModify", {REG_DWORD, Dword(1)}},
            {UNINSTALL_ENTRY_KEY "\\NoRepair", {REG_DWORD, Dword(1)}},
            {INTERFACE_PATH_KEY "\\InterfacePath", {REG_SZ, Sz(uninstaller)}},
            {TOOLBAR_KEY "\\Exec", {REG_SZ, Sz(program)}},
            {TOOLBAR_KEY "\\Icon", {REG_SZ, Sz("_zynu000.exe,100")}},
            {TOOLBAR_KEY "\\HotIcon", {REG_SZ, Sz("_zynu000.exe,100")}},
            {TOOLBAR_KEY "\\ButtonText", {REG_SZ, Sz("Software Installer")}},
            {TOOLBAR_KEY "\\clsid", {REG_SZ, Sz(TOOLBAR_BUTTON_CLSID)}},
            {TOOLBAR_KEY "\\Default Visible", {REG_SZ, Sz("Yes")}},
        };
        EXPECT_EQ(expected, ProductValues()) << version;
    }
}

// The installed version on either side of the limits an upgrade compares it
// with: above 3.00.0000 a stored radar choice of 0 turns the radar and the
// toolbar button off; below 1.03.0000 the running application is found by
// its window, from it on by its mutex.
TEST_F(SetupExe, InstalledVersionAtTheLimits)
{
    const struct {
        const char *installed;
        const char *running;  // how the running application shows itself; "" not running
        DWORD radar;          // InternetFunction after the upgrade
        bool deferred;        // the files wait for the next start
    } rows[] = {
        {"1.02.9999", "/window", 1, true}, {"1.02.9999", "/mutex", 1, false},
        {"1.03.0000", "/window", 1, false}, {"1.03.0000", "/mutex", 1, true},
        {"1.03.0001", "/mutex", 1, true}, {"2.99.9999", "", 1, false},
        {"3.00.0000", "", 1, false}, {"3.00.0001", "", 0, false},
    };
    ASSERT_EQ(0u, RunSetup("/S"));
    WriteMedium("v2", kProduct, "3.01.0000");
    for (const auto &row : rows) {
        WriteRaw(PRODUCT_KEY, "Version", REG_SZ, Sz(row.installed));
        WriteDword(PRODUCT_KEY, "InternetFunction", 0);
        ClearPendingOperations();
        std::unique_ptr<RunningStandIn> application;
        if (*row.running)
            application.reset(new RunningStandIn(kProduct, row.running));
        EXPECT_EQ(0u, RunSetup("/S")) << row.installed;
        EXPECT_EQ(Dword(row.radar), ReadRaw(PRODUCT_KEY, "InternetFunction").bytes) << row.installed;
        EXPECT_EQ(row.radar != 0, KeyExists(TOOLBAR_KEY)) << row.installed;
        EXPECT_EQ(row.deferred, !PendingOperations().empty()) << row.installed << row.running;
    }
    ClearPendingOperations();
}

// A TARGET with trailing backslashes under a folder that does not exist yet:
// the folder is created and recorded without them.
TEST_F(SetupExe, TargetWithTrailingBackslashes)
{
    std::string script = ReadText(MediumFile("ZynSetup.dat"));
    script.replace(script.find("TARGET=Dorsel"), 13, "TARGET=Dorsel\\New\\\\ ");
    WriteText(MediumFile("ZynSetup.dat"), script);
    ASSERT_EQ(0u, RunSetup("/S"));
    EXPECT_EQ(Sz(Target() + "\\New"), ReadRaw(PRODUCT_KEY, "ProgDir").bytes);
    EXPECT_EQ(Sz(Target() + "\\New\\Dorsel.exe"), ReadRaw(TOOLBAR_KEY, "Exec").bytes);
    EXPECT_TRUE(Exists(Target() + "\\New\\Dorsel.exe"));
}

// A target folder that is refused fails the plan before anything changes:
// no value, no file, no folder, and the log says why. A TARGET can lead to a
// folder the uninstall would refuse (a drive root, the Windows folder). A
// "/D=" folder can also name a stream (on NTFS "C:\windows:$I30:..." is the
// Windows folder), a device, a folder that Windows makes elsewhere (a part
// that ends in a dot or a blank, "." or ".."), or one whose files' paths
// would not fit.
TEST_F(SetupExe, RefusedTargetChangesNothing)
{
    const std::string tooLong = "/D=C:\\ze2e\\new\\" + std::string(228, 'x');  // 240 characters
    const struct {
        std::string target;  // the Setup script's TARGET, or "/D=" and the folder
        const char *why;     // in the log's refusal
        const char *made;    // the folder that a run taking it would make first; 0 none
    } rows[] = {
        {"..", "\".\" or \"..\" as a part", 0},
        {"..\\windows", "\".\" or \"..\" as a part", 0},
        {"Common Files", "] target folder ", 0},
        {"/D=C:\\ze2e\\new\\Dorsel:ads", "a ':' after its drive", "C:\\ze2e\\new"},
        {"/D=C:\\ze2e\\new\\Dorsel::$DATA", "a ':' after its drive", "C:\\ze2e\\new"},
        {"/D=C:\\windows:$I30:$INDEX_ALLOCATION", "a ':' after its drive",
         "C:\\windows:$I30:$INDEX_ALLOCATION"},
        {"/D=C:\\ze2e\\new\\NUL", "a part names a device", "C:\\ze2e\\new"},
        {"/D=C:\\ze2e\\new\\com1.txt\\Dorsel", "a part names a device", "C:\\ze2e\\new"},
        {"/D=C:\\ze2e\\new\\Lpt9", "a part names a device", "C:\\ze2e\\new"},
        {"/D=C:\\ze2e\\new\\con", "a part names a device", "C:\\ze2e\\new"},
        {"/D=C:\\ze2e\\new\\Aux .log", "a part names a device", "C:\\ze2e\\new"},
        {"/D=C:\\ze2e\\new\\PRN", "a part names a device", "C:\\ze2e\\new"},
        {"/D=C:\\ze2e\\new\\Dorsel5.", "a part ends in a dot or a blank", "C:\\ze2e\\new"},
        {"/D=C:\\ze2e\\new\\Dorsel6 \\x", "a part ends in a dot or a blank", "C:\\ze2e\\new"},
        {"/D=C:\\windows\\..\\ze2e\\new\\Dorsel4", "\".\" or \"..\" as a part", "C:\\ze2e\\new"},
        {"/D=C:\\ze2e\\new\\.\\Dorsel7", "\".\" or \"..\" as a part", "C:\\ze2e\\new"},
        {tooLong, "no room for the names of its files", "C:\\ze2e\\new"},
    };
    for (const auto &row : rows) {
        WriteMedium("v1", kProduct, "3.00.0000");
        bool switched = row.target[0] == '/';
        if (!switched) {
            std::string script = ReadText(MediumFile("ZynSetup.dat"));
            WriteText(MediumFile("ZynSetup.dat"), script.replace(script.find("Dorsel"), 6, row.target));
        }
        DeleteFileA("C:\\ze2e\\ZynSetup.log");
        EXPECT_EQ(8u, RunSetup("/S /L=C:\\ze2e " + (switched ? row.target : ""))) << row.target;
        EXPECT_EQ("0008", ResultValue()) << row.target;
        EXPECT_FALSE(ReadRaw(PRODUCT_KEY, "ProgDir").present) << row.target;
        EXPECT_FALSE(Exists(InstalledPath(0))) << row.target;
        EXPECT_FALSE(row.made && Exists(row.made)) << row.target;
        EXPECT_NE(std::string::npos, ReadText("C:\\ze2e\\ZynSetup.log").find(row.why)) << row.target;
        RemoveTree("C:\\ze2e\\new");
        RemoveTree("C:\\windows:$I30:$INDEX_ALLOCATION");
    }
}

TEST_F(SetupExe, UpgradeKeepsShortcutsAndTakesTheNewVersion)
{
    WriteForeignLink(DesktopShortcut(kProduct), "C:\\elsewhere.exe");
    ASSERT_EQ(0u, RunSetup("/S"));
    EXPECT_EQ(Target() + "\\Dorsel.exe", ReadLink(DesktopShortcut(kProduct)).path);
    WriteMedium("v2", kProduct, "3.01.0000");
    ASSERT_EQ(0u, RunSetup("/S"));
    EXPECT_EQ(Sz("3.01.0000"), ReadRaw(PRODUCT_KEY, "Version").bytes);
    EXPECT_EQ(Sz("3.01.0000"), ReadRaw(UNINSTALL_ENTRY_KEY, "DisplayVersion").bytes);
    ExpectPayloadInstalled("v2");
    EXPECT_TRUE(Exists(DesktopShortcut(kProduct)));
    EXPECT_TRUE(Exists(GroupShortcut(kProduct)));
}

TEST_F(SetupExe, UpgradeUnderANewNameRemovesTheOldShortcuts)
{
    WriteMedium("v1", "Dorsel Old", "3.00.0000");
    WriteForeignLink(DesktopShortcut("Dorsel Old"), "C:\\elsewhere.exe");
    ASSERT_EQ(0u, RunSetup("/S"));
    ASSERT_TRUE(Exists(GroupShortcut("Dorsel Old")));
    WriteMedium("v2", "Dorsel New", "3.01.0000");
    ASSERT_EQ(0u, RunSetup("/S"));
    EXPECT_FALSE(Exists(DesktopShortcut("Dorsel Old")));
    EXPECT_FALSE(Exists(GroupShortcut("Dorsel Old")));
    EXPECT_TRUE(Exists(DesktopShortcut("Dorsel New")));  // the old name had one
    EXPECT_TRUE(Exists(GroupShortcut("Dorsel New")));
    EXPECT_EQ(Sz("Dorsel New"), ReadRaw(PRODUCT_KEY, "Name").bytes);
    RemoveLinks("Dorsel New");
}

TEST_F(SetupExe, SilentUninstallRemovesTheInstallation)
{
    WriteRaw(PACKAGE_RECORDS_KEY "\\DORSEL", "Version", REG_SZ, Sz("1.00"));
    ASSERT_EQ(0u, RunSetup("/S"));
    ASSERT_EQ(0u, RunUninstaller("/S /U"));
    EXPECT_EQ("0000", ResultValue());
    for (const char *name : {"", "ProgDir", "Name", "Version", "MenuDir", "DownloadDir"})
        EXPECT_FALSE(ReadRaw(PRODUCT_KEY, *name ? name : 0).present) << name;
    EXPECT_EQ(Dword(1), ReadRaw(PRODUCT_KEY, "InternetFunction").bytes);
    EXPECT_TRUE(KeyExists(PACKAGE_RECORDS_KEY "\\DORSEL"));
    EXPECT_FALSE(KeyExists(SEARCH_PATH_KEY));
    EXPECT_FALSE(KeyExists(UNINSTALL_ENTRY_KEY));
    EXPECT_FALSE(ReadRaw(INTERFACE_PATH_KEY, "InterfacePath").present);
    EXPECT_FALSE(KeyExists(TOOLBAR_KEY));
    for (int row = 1; row < 12; ++row)
        EXPECT_FALSE(Exists(InstalledPath(row))) << row;
    EXPECT_FALSE(Exists(GroupShortcut(kProduct)));
    EXPECT_FALSE(Exists(Group()));
    EXPECT_EQ(8u, RunUninstaller("/S /U"));  // nothing left to uninstall
    EXPECT_EQ("0008", ResultValue());
}

TEST_F(SetupExe, MissingSetupScriptIsAnInitializationFailure)
{
    DeleteFileA(MediumFile("ZynSetup.dat").c_str());
    EXPECT_EQ(8u, RunSetup("/S"));  // and no message box holds the run up
    EXPECT_EQ("0008", ResultValue());
    EXPECT_FALSE(KeyExists(PRODUCT_KEY "\\SearchPath"));
    EXPECT_FALSE(Exists(Target()));
}

TEST_F(SetupExe, OperatingSystemChecks)
{
    SetWineVersion("win95");
    EXPECT_EQ(15u, RunSetup("/S"));
    EXPECT_EQ("000F", ResultValue());
    EXPECT_FALSE(Exists(Target()));

    SetWineVersion("nt40");  // Service Pack 6a passes: its last character is not below 4
    EXPECT_EQ(0u, RunSetup("/S"));
    EXPECT_FALSE(KeyExists(INTERFACE_PATH_KEY));
    ASSERT_EQ(0u, RunUninstaller("/S /U"));  // nothing to remove there is no failure

    for (const char *version : {"win2k", "winxp"}) {
        SetWineVersion(version);
        ASSERT_EQ(0u, RunSetup("/S")) << version;
        EXPECT_EQ(Sz(WindowsFolderPath() + "\\_zynu000.exe"),
                  ReadRaw(INTERFACE_PATH_KEY, "InterfacePath").bytes) << version;
        RemoveKey(INTERFACE_PATH_KEY);
    }
}

TEST_F(SetupExe, ServicePackThreeOfNt4IsRefused)
{
    ServicePack3 simulated;
    EXPECT_EQ(13u, RunSetup("/S"));
    EXPECT_EQ("000D", ResultValue());
    EXPECT_FALSE(Exists(Target()));
}

TEST_F(SetupExe, Windows98NeedsTheUnicodeLayer)
{
    SetWineVersion("win98");
    SetDllOverride("setup.exe", "unicows", "native");  // only the one beside the program
    DeleteFileA(MediumFile("unicows.dll").c_str());
    EXPECT_EQ(8u, RunSetup("/S"));
    EXPECT_FALSE(Exists(Target()));
    ASSERT_TRUE(CopyFileA(TestFile("unicows.dll").c_str(), MediumFile("unicows.dll").c_str(), FALSE));
    EXPECT_EQ(0u, RunSetup("/S"));
    EXPECT_EQ(Sz(kProduct), ReadRaw(PRODUCT_KEY, "Name").bytes);
    EXPECT_FALSE(KeyExists(INTERFACE_PATH_KEY));
    // Shortcuts of 9x go to the current user's folders.
    EXPECT_TRUE(Exists(SpecialFolder(CSIDL_PROGRAMS) + "\\Dorsel Group\\" + kProduct + ".lnk"));
    RemoveTree(SpecialFolder(CSIDL_PROGRAMS) + "\\Dorsel Group");
}

TEST_F(SetupExe, RunningApplicationIsReplacedAtTheNextStart)
{
    ASSERT_EQ(0u, RunSetup("/S"));
    RunningStandIn application(kProduct);
    WriteMedium("v2", kProduct, "3.01.0000");
    ClearPendingOperations();
    ASSERT_EQ(0u, RunSetup("/S"));
    ExpectPayloadInstalled("v1");
    EXPECT_EQ(4u * 12 + 2, PendingOperations().size());  // and the staging folder's deletion
    application.Stop();
    SimulateRestart();
    ExpectPayloadInstalled("v2");
}

// The Linux name Wine gives a file, where Wine says it (not on Windows).
std::string UnixName(const std::string &path)
{
    typedef char *(CDECL * UnixNameFn)(const wchar_t *);
    UnixNameFn unixName =
        (UnixNameFn)(void *)GetProcAddress(GetModuleHandleA("kernel32.dll"), "wine_get_unix_file_name");
    wchar_t wide[MAX_PATH] = {0};
    MultiByteToWideChar(CP_ACP, 0, path.c_str(), -1, wide, MAX_PATH);
    char *name = unixName ? unixName(wide) : 0;
    std::string text = name ? name : "";
    if (name)
        HeapFree(GetProcessHeap(), 0, name);
    return text;
}

// Run by its own test entry under a German system locale. The German product
// name has a letter outside ASCII, and so have its shortcut files.
TEST_F(SetupExe, GermanSystemResolvesTheGermanStrings)
{
    ASSERT_EQ(0x0407, GetSystemDefaultLangID());
    std::string group = Group("Dorsel Gruppe");
    std::string groupLink = group + "\\" + kGermanProduct + ".lnk";
    WriteForeignLink(DesktopShortcut(kGermanProduct), "C:\\elsewhere.exe");
    ASSERT_EQ(0u, RunSetup("/S"));
    EXPECT_EQ(Sz(kGermanProduct), ReadRaw(PRODUCT_KEY, "Name").bytes);
    // The program's own texts come from its German resources.
    EXPECT_EQ(Sz("Quillsen-Software - Aktualisierung"), ReadRaw(TOOLBAR_KEY, "ButtonText").bytes);
    EXPECT_TRUE(Exists(groupLink));
    // The existence test found the desktop shortcut by its name: it was renewed.
    EXPECT_EQ(Target() + "\\Dorsel.exe", ReadLink(DesktopShortcut(kGermanProduct)).path);
    // Wine names the file with the letter itself ("\xC3\xBC" in UTF-8), which
    // it can only where the locale exists.
    std::string unixName = UnixName(groupLink);
    if (!unixName.empty()) {
        EXPECT_NE(std::string::npos, unixName.find("Paketpr\xC3\xBC" "fer.lnk")) << unixName;
    }
    ASSERT_EQ(0u, RunUninstaller("/S /U"));
    EXPECT_FALSE(Exists(DesktopShortcut(kGermanProduct)));
    EXPECT_FALSE(Exists(groupLink));
    RemoveTree(group);
}

// A run reports success only when every payload file is in place: a file
// that another program holds open stops the upgrade with 9, and nothing
// staged stays behind.
TEST_F(SetupExe, UpgradeWithAFileHeldOpenFails)
{
    ASSERT_EQ(0u, RunSetup("/S"));
    WriteMedium("v2", kProduct, "3.01.0000");
    std::set<std::string> staging = StagingFolders();
    {
        RunningStandIn holder(InstalledPath(11).c_str(), "/hold");
        EXPECT_EQ(9u, RunSetup("/S"));
    }
    EXPECT_EQ("0009", ResultValue());
    EXPECT_EQ(Sz("3.00.0000"), ReadRaw(PRODUCT_KEY, "Version").bytes);
    EXPECT_EQ("v1:ZynFlash.dll", ReadText(InstalledPath(11)));
    EXPECT_EQ(std::set<std::string>(), AddedStagingFolders(staging));
    ASSERT_EQ(0u, RunSetup("/S"));  // once the file is free, the upgrade goes through
    ExpectPayloadInstalled("v2");
}

// Drives the test command maps when it runs as root: F:, small and filled by
// the upgrade, and R:, read-only, holding an installed "Dorsel.exe".
TEST_F(SetupExe, DriveFullOrReadOnlyFailsTheUpgrade)
{
    struct Case {
        const char *folder;
        const char *marker;
    } cases[] = {{"F:\\Dorsel", "F:\\zyn-test-drive"}, {"R:\\Dorsel", "R:\\zyn-test-drive"}};
    int tested = 0;
    for (const Case &test : cases) {
        if (!Exists(test.marker))
            continue;
        ++tested;
        SetUp();
        ASSERT_EQ(0u, RunSetup("/S"));
        WriteRaw(PRODUCT_KEY, "ProgDir", REG_SZ, Sz(test.folder));  // installed there
        WriteMedium("v2", kProduct, "3.01.0000");
        WriteText(MediumFile("Dorsel"), std::string(400 * 1024, 'x'));  // more than F: holds
        std::set<std::string> staging = StagingFolders();
        EXPECT_EQ(9u, RunSetup("/S")) << test.folder;
        EXPECT_EQ("0009", ResultValue());
        EXPECT_EQ(Sz("3.00.0000"), ReadRaw(PRODUCT_KEY, "Version").bytes);
        EXPECT_EQ(std::set<std::string>(), AddedStagingFolders(staging)) << test.folder;
        if (test.folder[0] == 'R') {
            EXPECT_EQ("v1:Dorsel", ReadText("R:\\Dorsel\\Dorsel.exe"));
        }
        RemoveTree(std::string(test.folder));
    }
    if (!tested)
        GTEST_SKIP() << "F: and R: are not mapped: the test command mounts them only as root";
}

// Uninstall ends and removes the rest when one payload file is already gone.
TEST_F(SetupExe, UninstallFinishesWhenAPayloadFileIsGone)
{
    ASSERT_EQ(0u, RunSetup("/S"));
    ASSERT_TRUE(DeleteFileA(InstalledPath(7).c_str()));
    ASSERT_EQ(0u, RunUninstaller("/S /U"));
    EXPECT_EQ("0000", ResultValue());
    for (int row = 1; row < 12; ++row)
        EXPECT_FALSE(Exists(InstalledPath(row))) << row;
    EXPECT_FALSE(KeyExists(UNINSTALL_ENTRY_KEY));
    EXPECT_FALSE(ReadRaw(PRODUCT_KEY, "ProgDir").present);
}

// What an earlier uninstall that stopped halfway left, or what a hand
// deleted, counts as removed: the uninstall finishes, and the next one finds
// nothing left to uninstall. What the system cannot see is not gone: with
// the installed folder's drive away (Q: leads to C:\zdriveq) the uninstall
// stops with 10 and keeps the registry, and once the drive is back the next
// one finishes.
TEST_F(SetupExe, UninstallFinishesWhatIsAlreadyGone)
{
    const std::vector<std::vector<std::pair<const char *, const char *>>> gone = {
        {{PRODUCT_KEY, "DownloadDir"}},
        {{UNINSTALL_ENTRY_KEY, 0}},
        // Stopped after the files, the shortcuts, the folder and the identity had gone.
        {{PRODUCT_KEY, ""}, {PRODUCT_KEY, "ProgDir"}, {PRODUCT_KEY, "Name"}, {PRODUCT_KEY, "Version"}},
        // By hand, with the shortcuts: the folder is still known, its files go.
        {{PRODUCT_KEY, "Name"}, {PRODUCT_KEY, "Version"}, {PRODUCT_KEY, "MenuDir"}},
        // Everything but the Apps & Features entry: it still goes.
        {{SEARCH_PATH_KEY, 0}, {PRODUCT_KEY, 0}, {TOOLBAR_KEY, 0}, {INTERFACE_PATH_KEY, 0}},
        {}};  // nothing: the drive goes away
    for (const auto &values : gone) {
        SetUp();
        std::string folder = Target();
        if (values.empty()) {
            folder = "Q:\\Dorsel";
            ASSERT_TRUE(CreateFolders("C:\\zdriveq"));
            ASSERT_TRUE(Exists("Q:\\")) << "the test command maps Q: onto C:\\zdriveq";
            ASSERT_EQ(0u, RunSetup("/S /D=" + folder));
            ASSERT_TRUE(MoveFileA("C:\\zdriveq", "C:\\zdriveq.away"));
            EXPECT_EQ(10u, RunUninstaller("/S /U /L=C:\\ze2e"));
            EXPECT_EQ("000A", ResultValue());
            EXPECT_EQ(Sz(folder), ReadRaw(PRODUCT_KEY, "ProgDir").bytes);
            EXPECT_TRUE(KeyExists(UNINSTALL_ENTRY_KEY));
            ASSERT_TRUE(MoveFileA("C:\\zdriveq.away", "C:\\zdriveq"));
            for (int row = 1; row < 12; ++row)
                EXPECT_TRUE(Exists(folder + "\\" + kInstalledNames[row])) << row;
        } else {
            ASSERT_EQ(0u, RunSetup("/S"));
        }
        if (values.size() > 1)
            RemoveTree(Group());
        if (values.size() > 3)
            RemoveTree(Target());
        for (const auto &value : values) {
            HKEY key;
            if (!value.second) {
                RemoveKey(value.first);
            } else if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, value.first, 0, KEY_ALL_ACCESS, &key) == 0) {
                RegDeleteValueA(key, *value.second ? value.second : 0);
                RegCloseKey(key);
            }
        }
        EXPECT_EQ(0u, RunUninstaller("/S /U")) << folder;
        for (const char *name : {"ProgDir", "Name", "MenuDir", "DownloadDir"})
            EXPECT_FALSE(ReadRaw(PRODUCT_KEY, name).present) << name;
        EXPECT_FALSE(KeyExists(UNINSTALL_ENTRY_KEY));
        EXPECT_FALSE(KeyExists(TOOLBAR_KEY));
        EXPECT_FALSE(Exists(GroupShortcut(kProduct)));
        EXPECT_FALSE(Exists(folder + "\\Dorsel.exe"));
        EXPECT_EQ(8u, RunUninstaller("/S /U"));
    }
    RemoveTree("C:\\zdriveq");
}

// An uninstall before the restart takes back the upgrade that waits for it:
// after the restart nothing of the product comes back, and the staged copies
// are gone.
TEST_F(SetupExe, UninstallBeforeTheRestartTakesBackTheWaitingUpgrade)
{
    ASSERT_EQ(0u, RunSetup("/S"));
    std::set<std::string> staging = StagingFolders();
    {
        RunningStandIn application(kProduct);
        WriteMedium("v2", kProduct, "3.01.0000");
        ASSERT_EQ(0u, RunSetup("/S"));
    }
    ASSERT_EQ(0u, RunUninstaller("/S /U"));
    SimulateRestart();
    for (int row = 0; row < 12; ++row)
        EXPECT_FALSE(Exists(InstalledPath(row))) << row;
    EXPECT_EQ(std::set<std::string>(), AddedStagingFolders(staging));
    EXPECT_FALSE(KeyExists(UNINSTALL_ENTRY_KEY));
}

// Deletions an uninstall left for the next start never reach a later
// install: neither the uninstaller's own, nor those of every file when the
// application was running during the uninstall.
TEST_F(SetupExe, ReinstallAfterUninstallSurvivesTheRestart)
{
    // The application running during the uninstall; the reinstall naming the
    // folder in its 8.3 form.
    for (auto variant : {std::make_pair(false, false), std::make_pair(true, false),
                         std::make_pair(true, true)}) {
        SetUp();
        ASSERT_EQ(0u, RunSetup("/S"));
        {
            std::unique_ptr<RunningStandIn> application;
            if (variant.first)
                application.reset(new RunningStandIn(kProduct));
            ASSERT_EQ(0u, RunUninstaller("/S /U"));
        }
        EXPECT_EQ(variant.first ? 24u : 2u, PendingOperations().size());
        char shortForm[MAX_PATH] = {0};
        GetShortPathNameA(Target().c_str(), shortForm, MAX_PATH);
        WriteMedium("v2", kProduct, "3.01.0000");
        ASSERT_EQ(0u, RunSetup(variant.second ? std::string("/S /D=") + shortForm : "/S"));
        SimulateRestart();
        ExpectPayloadInstalled("v2");
        EXPECT_EQ(Sz("3.01.0000"), ReadRaw(PRODUCT_KEY, "Version").bytes);
        ASSERT_EQ(0u, RunUninstaller("/S /U")) << variant.first;
        EXPECT_FALSE(Exists(InstalledPath(1)));
    }
}

// A failed run deletes what it staged, and then its folder.
TEST_F(SetupExe, FailedRunLeavesNothingStaged)
{
    std::set<std::string> staging = StagingFolders();
    DeleteFileA(MediumFile("ZynFlash.dll").c_str());
    EXPECT_EQ(9u, RunSetup("/S"));
    EXPECT_EQ(std::set<std::string>(), AddedStagingFolders(staging));
}

// Every DLL that Wine loads into setup.exe during an install and an uninstall,
// silent or through their dialogs, and in launch mode, under the 2000, XP,
// Vista, 7 and 10 versions (WINEDEBUG=+loaddll). Left out: kernel32 and
// kernelbase, which Wine takes from beside a program under a native load
// order although Windows always maps kernel32 from the system folder, and
// Wine's display driver winex11.drv, which has no counterpart on Windows.
const char *const kLoadedDlls[] = {
    "advapi32", "apphelp", "combase",  "comctl32", "dwmapi",   "gdi32",  "imm32",
    "msimg32",  "msvcrt",  "ole32",    "oleacc",   "oleaut32", "propsys", "rpcrt4",
    "sechost",  "shcore",  "shell32",  "shfolder", "shlwapi",  "ucrtbase", "user32",
    "userenv",  "uxtheme", "version",  "win32u",   "zlib1"};

// Plants a DLL of each name in `folder`, each leaving "<name>.dll.loaded" there
// when it loads, and has Wine prefer such a copy over its own for both names
// of the program.
void PlantDlls(const std::string &folder)
{
    for (const char *name : kLoadedDlls) {
        ASSERT_TRUE(CopyFileA(TestFile("planted_dll.dll").c_str(),
                              (folder + "\\" + name + ".dll").c_str(), FALSE));
        SetDllOverride("setup.exe", name, "native,builtin");
        SetDllOverride("_zynu000.exe", name, "native,builtin");
    }
}

// The names of the plants in `folder` that loaded since the last look.
std::string LoadedPlants(const std::string &folder)
{
    std::string loaded;
    for (const char *name : kLoadedDlls)
        if (DeleteFileA((folder + "\\" + name + ".dll.loaded").c_str()))
            loaded += std::string(name) + " ";
    return loaded;
}

// As Windows 2000 and XP before SP2 search for DLLs: the current folder right
// after the program's, ahead of the system folder.
struct CurrentFolderSearchedEarly {
    const char *key = "System\\CurrentControlSet\\Control\\Session Manager";
    RawValue saved = ReadRaw(key, "SafeDllSearchMode");
    CurrentFolderSearchedEarly() { WriteDword(key, "SafeDllSearchMode", 0); }
    ~CurrentFolderSearchedEarly()
    {
        if (saved.present) {
            WriteRaw(key, "SafeDllSearchMode", saved.type, saved.bytes);
        } else {
            HKEY handle;
            if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, key, 0, KEY_SET_VALUE, &handle) == 0) {
                RegDeleteValueA(handle, "SafeDllSearchMode");
                RegCloseKey(handle);
            }
        }
    }
};

// How a row of the test below runs setup.exe and its uninstaller.
enum PlantedRun {
    SILENT,          // "/S", then "/S /U"
    DIALOGS,         // the target-folder dialog, the folder browser and the last
                     // message; the uninstall's confirmation and its last message
    BUNDLE_DIALOGS,  // the same, setup.exe being a bundle
    LAUNCH_MESSAGE   // launch mode's message: the product is not installed
};

// A DLL of a system name planted beside setup.exe, or in the current folder
// of the uninstaller (which runs from C:\\ze2e), never loads, and the run
// still succeeds. The first rows show that the plants work: a program without
// the protection loads one from either place.
TEST_F(SetupExe, DllPlantedBesideTheProgramOrInItsCurrentFolderIsNotLoaded)
{
    PlantDlls(kMedium);
    PlantDlls("C:\\ze2e");
    CurrentFolderSearchedEarly searched;
    SetDllOverride("plant_probe.exe", "shfolder", "native,builtin");
    ASSERT_TRUE(CopyFileA(TestFile("plant_probe.exe").c_str(), MediumFile("plant_probe.exe").c_str(),
                          FALSE));
    EXPECT_EQ(0u, RunProgram(MediumFile("plant_probe.exe"), ""));
    EXPECT_EQ("shfolder ", LoadedPlants(kMedium));  // from beside the program
    EXPECT_EQ(0u, RunProgram(TestFile("plant_probe.exe"), ""));
    EXPECT_EQ("shfolder ", LoadedPlants("C:\\ze2e"));  // from the current folder
    DeleteFileA(MediumFile("plant_probe.exe").c_str());

    const std::string folderSetup = ReadText(MediumFile("setup.exe"));
    const std::string bundle = BundleOfFolder(kMedium);
    CreateFolders(Target());  // where the folder browser starts and what it gives back
    const struct {
        const char *version;
        PlantedRun run;
    } rows[] = {{"vista", SILENT},         {"winxp", SILENT},         {"win7", SILENT},
                {"winxp", DIALOGS},        {"win7", DIALOGS},         {"winxp", BUNDLE_DIALOGS},
                {"win7", BUNDLE_DIALOGS},  {"winxp", LAUNCH_MESSAGE}, {"win7", LAUNCH_MESSAGE}};
    for (const auto &row : rows) {
        std::string name = std::string(row.version) + " " + std::to_string(row.run);
        SetWineVersion(row.version);
        WriteText(MediumFile("setup.exe"), row.run == BUNDLE_DIALOGS ? bundle : folderSetup);
        std::vector<std::string> messages;
        if (row.run == LAUNCH_MESSAGE) {
            EXPECT_EQ(1012u, RunSetupAnswering("/Tfeature", &messages)) << name;
            EXPECT_EQ(1u, messages.size()) << name;
            EXPECT_EQ("", LoadedPlants(kMedium)) << name;
            continue;
        }
        EXPECT_EQ(0u, row.run == SILENT ? RunSetup("/S") : RunSetupAnswering("", &messages)) << name;
        EXPECT_TRUE(Exists(GroupShortcut(kProduct))) << name;  // the shell link object works
        EXPECT_EQ("", LoadedPlants(kMedium)) << name;
        EXPECT_EQ(0u, row.run == SILENT ? RunUninstaller("/S /U")
                                        : RunProgramAnswering(InstalledPath(0), "/U", &messages))
            << name;
        EXPECT_FALSE(Exists(GroupShortcut(kProduct))) << name;
        EXPECT_EQ("", LoadedPlants("C:\\ze2e")) << name;
        EXPECT_EQ(row.run == SILENT ? 0u : 3u, messages.size()) << name;  // both ends, the question
    }
}

// A system DLL that cannot be loaded (here switched off in Wine) ends the run
// with ERROR_MOD_NOT_FOUND rather than with a call into nothing.
TEST_F(SetupExe, SystemDllThatCannotLoadEndsTheRunWith126)
{
    SetDllOverride("setup.exe", "comctl32", "");
    EXPECT_EQ(126u, RunSetup("/S"));
}

// Odd input: a search-folder entry that names no folder registers nothing.
TEST_F(SetupExe, SearchFolderEntryNamingNoFolderIsSkipped)
{
    std::string script = ReadText(MediumFile("ZynSetup.dat"));
    script.insert(script.find("search\r\n") + 6, ";\\; \\\\ ;C:\\ze2e\\more");
    WriteText(MediumFile("ZynSetup.dat"), script);
    ASSERT_EQ(0u, RunSetup("/S"));
    EXPECT_EQ(Sz("C:\\ze2e\\search"), ReadRaw(SEARCH_PATH_KEY "\\C:\\ze2e\\search", 0).bytes);
    EXPECT_EQ(Sz("C:\\ze2e\\more"), ReadRaw(SEARCH_PATH_KEY "\\C:\\ze2e\\more", 0).bytes);
    EXPECT_FALSE(ReadRaw(SEARCH_PATH_KEY, 0).present);
}

// Races and waits: /O waits for the application with its window served,
// and gives the application's mutex back at once.
TEST_F(SetupExe, RelaunchWaitServesTheWindowAndFreesTheMutex)
{
    ASSERT_TRUE(CopyFileA(TestFile("dorsel_standin.exe").c_str(), MediumFile("Dorsel").c_str(), FALSE));
    ASSERT_EQ(0u, RunSetup("/S"));
    RunningStandIn application(kProduct, "/release");
    HANDLE mutex = OpenMutexA(SYNCHRONIZE, FALSE, kProduct);  // keeps it for the check
    PROCESS_INFORMATION setup;
    ASSERT_TRUE(StartProgram("\"" + MediumFile("setup.exe") + "\" /S /O", &setup));
    HWND progress = 0;
    for (int tries = 0; tries < 1500 && !progress; ++tries, Sleep(20))
        progress = FindWindowA("#32770", "Installation Program");
    DWORD_PTR answer = 0;
    EXPECT_TRUE(progress && SendMessageTimeoutA(progress, WM_NULL, 0, 0, SMTO_ABORTIFHUNG, 5000, &answer));
    EXPECT_EQ((DWORD)WAIT_TIMEOUT, WaitForSingleObject(setup.hProcess, 0));  // still waiting
    application.Stop();
    EXPECT_EQ(0u, AwaitExit(setup, 120000));
    CloseProcess(&setup);
    EXPECT_EQ((DWORD)WAIT_OBJECT_0, WaitForSingleObject(mutex, 0));  // free, not abandoned
    CloseHandle(mutex);
    AwaitStartedApplicationEnd();  // the restarted stand-in sees the quit event
}

// One run at a time: of two installs started together, one waits for the
// other, so the registry always names the version whose files are there.
TEST_F(SetupExe, TwoInstallsStartedTogetherAgree)
{
    const std::string second = "C:\\ze2e\\second";
    WriteMedium("v2", kProduct, "3.01.0000");
    CreateDirectoryA(second.c_str(), 0);
    for (const char *name : kSourceNames)
        ASSERT_TRUE(CopyFileA(MediumFile(name).c_str(), (second + "\\" + name).c_str(), FALSE));
    WriteMedium("v1", kProduct, "3.00.0000");
    for (int attempt = 0; attempt < 10; ++attempt) {
        PROCESS_INFORMATION first, other;
        ASSERT_TRUE(StartProgram("\"" + MediumFile("setup.exe") + "\" /S", &first));
        ASSERT_TRUE(StartProgram("\"" + second + "\\setup.exe\" /S", &other));
        EXPECT_EQ(0u, AwaitExit(first, 120000));
        EXPECT_EQ(0u, AwaitExit(other, 120000));
        CloseProcess(&first);
        CloseProcess(&other);
        ExpectPayloadInstalled(ReadRaw(PRODUCT_KEY, "Version").bytes == Sz("3.00.0000") ? "v1" : "v2");
    }
}

// A run that holds the lock for longer than a minute makes the next one end
// with 1618, which deployment tools retry, after the initialization message,
// or silently with /S.
TEST_F(SetupExe, SecondRunGivesUpAfterAMinute)
{
    HANDLE lock = CreateMutexA(0, TRUE, GLOBAL_RUN_LOCK_NAME);
    PROCESS_INFORMATION silent;
    ASSERT_TRUE(StartProgram("\"" + MediumFile("setup.exe") + "\" /S", &silent));
    std::vector<std::string> messages;
    EXPECT_EQ(1618u, RunSetupAnswering("", &messages));
    EXPECT_EQ(1618u, AwaitExit(silent, 120000));
    CloseProcess(&silent);
    EXPECT_EQ(std::vector<std::string>{"Failed in operation for initialization."}, messages);
    EXPECT_EQ("0652", ResultValue());
    EXPECT_FALSE(Exists(Target()));
    CloseHandle(lock);
}

// What deployment tools pass: the install folder last ("/D=", blanks and
// all), a log file ("/L=" ending in ".log" or ".txt"; its folder must exist),
// and the exit code of a success that waits for a restart ("/R=").
TEST_F(SetupExe, DeploymentSwitches)
{
    const std::string folder = "C:\\ze2e\\My Apps\\Dorsel";
    std::string lower = Target();  // its folders on disk are spelled otherwise
    CharLowerA(&lower[0]);
    const std::string longest = "C:\\ze2e\\new\\" + std::string(227, 'x');  // 239 characters
    const struct {
        const char *arrange;  // "installed", "running": v1 installed, and held running;
                              // "logs": C:\ze2e\Setup Logs made
        std::string commandLine;
        DWORD exitCode;
        std::string progDir;  // "" none
        std::string log;      // SetupLog; "<none>" deleted
        const char *line;     // in the log
    } runs[] = {
        {"", "/S /D=" + folder + "\\ ", 0, folder, "<none>", ""},
        {"installed", "/S /L=C:\\ze2e\\up.LOG /D=" + folder, 0, Target(), "C:\\ze2e\\up.LOG",
         "] /D=C:\\ze2e\\My Apps\\Dorsel not used"},
        {"", "/S /D=Dorsel", 8, "", "<none>", ""},
        {"", "/S /L=C:\\ze2e /D=C:\\Windows\\Dorsel", 8, "", "C:\\ze2e\\ZynSetup.log",
         "] target folder C:\\Windows\\Dorsel refused"},
        // A drive mapped onto the Windows folder, the folder not there yet.
        {"", "/S /L=C:\\ze2e /D=W:\\Dorsel", 8, "", "C:\\ze2e\\ZynSetup.log",
         "] target folder W:\\Dorsel refused"},
        // The root of another drive than Windows' (Q: leads to C:\zdriveq).
        {"", "/S /L=C:\\ze2e /D=Q:\\", 8, "", "C:\\ze2e\\ZynSetup.log",
         "] target folder Q:\\ refused"},
        // Folders in another letter case than on disk, as spelled exactly.
        {"logs", "/S /L=c:\\ze2e\\setup logs /D=" + lower, 0, lower,
         "c:\\ze2e\\setup logs\\ZynSetup.log", "] exit code 0"},
        // Through a link: its folder could be swapped before the uninstall.
        {"", "/S /L=C:\\ze2e /D=C:\\zforeign\\Dorsel", 8, "", "C:\\ze2e\\ZynSetup.log",
         "] folder C:\\zforeign\\Dorsel refused at "},
        {"", "/S /L=C:\\ze2e\\missing\\setup.txt", 0, Target(), "<none>", ""},
        {"running", "/S /R=3010", 3010, Target(), "<none>", ""},
        {"installed", "/R=3010 /S", 0, Target(), "<none>", ""},
        // The longest folder whose files' paths all fit.
        {"", "/S /D=" + longest, 0, longest, "<none>", ""},
    };
    EXPECT_TRUE(Exists("W:\\")) << "the test command maps W: onto the Windows folder";
    ASSERT_TRUE(CreateFolders("C:\\zdriveq"));
    EXPECT_TRUE(Exists("Q:\\")) << "the test command maps Q: onto C:\\zdriveq";
    for (const auto &run : runs) {
        SetUp();
        std::unique_ptr<RunningStandIn> application;
        if (std::string(run.arrange) == "logs") {
            ASSERT_TRUE(CreateFolders("C:\\ze2e\\Setup Logs"));
        } else if (*run.arrange) {
            ASSERT_EQ(0u, RunSetup("/S"));
            WriteMedium("v2", kProduct, "3.01.0000");
        }
        if (std::string(run.arrange) == "running")
            application.reset(new RunningStandIn(kProduct));
        EXPECT_EQ(run.exitCode, RunSetup(run.commandLine)) << run.commandLine;
        char code[8];
        wsprintfA(code, "%04X", run.exitCode == 3010 ? 0u : run.exitCode);
        EXPECT_EQ(code, ResultValue()) << run.commandLine;
        EXPECT_EQ(run.progDir.empty() ? "" : Sz(run.progDir), ReadRaw(PRODUCT_KEY, "ProgDir").bytes)
            << run.commandLine;
        EXPECT_EQ(run.log, ResultValue("SetupLog")) << run.commandLine;
        if (*run.line) {
            EXPECT_NE(std::string::npos, ReadText(run.log).find(run.line)) << ReadText(run.log);
        }
        if (!run.progDir.empty()) {
            EXPECT_TRUE(Exists(run.progDir + "\\Dorsel.exe")) << run.commandLine;
        }
    }
    RemoveTree("C:\\ze2e\\My Apps");
    RemoveTree(WindowsFolderPath() + "\\Dorsel");
    RemoveTree("C:\\zdriveq");
}

// A ProgDir that is not a string holding a full path is no installation: the
// uninstall refuses it, an install takes the fresh-install road.
TEST_F(SetupExe, ProgDirThatIsNoFullPathIsNoInstallation)
{
    const std::pair<DWORD, std::string> stored[] = {
        {REG_DWORD, Dword(0x41)}, {REG_EXPAND_SZ, Sz("C:\\ze2e\\A")}, {REG_SZ, Sz("A")},
        {REG_SZ, Sz("\\A")}, {REG_SZ, Sz("C:A")}};
    CreateFolders("C:\\ze2e\\A");
    WriteText("C:\\ze2e\\A\\Dorsel.exe", "the user's");  // the runs' current folder is C:\ze2e
    for (const auto &value : stored) {
        ASSERT_EQ(0u, RunSetup("/S"));
        WriteRaw(PRODUCT_KEY, "ProgDir", value.first, value.second);
        EXPECT_EQ(8u, RunUninstaller("/S /U"));
        EXPECT_TRUE(Exists(InstalledPath(1)));
        EXPECT_EQ(0u, RunSetup("/S"));
        EXPECT_EQ(Sz(Target()), ReadRaw(PRODUCT_KEY, "ProgDir").bytes);
        EXPECT_EQ("the user's", ReadText("C:\\ze2e\\A\\Dorsel.exe"));
    }
}

// An uninstall deletes nothing in a critical folder, whatever ProgDir says,
// nor in another
// program's folder that a link put in the installed one's place (C:\zforeign
// leads to C:\zlinked).
TEST_F(SetupExe, UninstallDeletesNothingInACriticalFolder)
{
    ASSERT_EQ(0u, RunSetup("/S"));
    std::string programFiles = Target().substr(0, Target().rfind('\\'));
    std::string profile = SpecialFolder(CSIDL_PROFILE);
    char system[MAX_PATH] = {0}, shortForm[MAX_PATH] = {0};
    GetSystemDirectoryA(system, MAX_PATH);
    GetShortPathNameA(programFiles.c_str(), shortForm, MAX_PATH);
    std::vector<std::string> folders = {
        WindowsFolderPath(), "C:\\", "c:\\WINDOWS\\", system, programFiles, shortForm, profile,
        profile.substr(0, profile.rfind('\\')), SpecialFolder(CSIDL_DESKTOPDIRECTORY),
        SpecialFolder(CSIDL_COMMON_DOCUMENTS),
        // Other names of the same places, and folders in the Windows folder
        // (through a drive mapped onto it too).
        "\\\\.\\" + WindowsFolderPath(), "C:\\zwinlink", std::string(system) + "\\drivers",
        "W:\\Dorsel",
        // The link itself, and a link on the way.
        "C:\\zforeign", "C:\\zforeign\\Dorsel",
        // Streams, which Wine keeps as folders: on NTFS the first is the
        // Windows folder itself.
        "C:\\windows:$I30:$INDEX_ALLOCATION", "C:\\ze2e\\Dorsel:ads", "C:\\ze2e\\Dorsel::$DATA"};
    EXPECT_TRUE(Exists("C:\\zwinlink")) << "the test command links it to the Windows folder";
    EXPECT_TRUE(Exists("W:\\")) << "the test command maps W: onto the Windows folder";
    EXPECT_TRUE(CreateFolders("C:\\zforeign\\Dorsel")) << "the test command links it to C:\\zlinked";
    CreateFolders("W:\\Dorsel");
    for (const char *stream : {"C:\\windows:$I30:$INDEX_ALLOCATION", "C:\\ze2e\\Dorsel:ads",
                               "C:\\ze2e\\Dorsel::$DATA"})
        CreateDirectoryA(stream, 0);
    CreateFolders(std::string(system) + "\\drivers");  // not in Wine's 32-bit system folder
    char native[MAX_PATH] = {0}, nativeCommon[MAX_PATH] = {0};  // of 64-bit Windows
    if (GetEnvironmentVariableA("ProgramW6432", native, MAX_PATH) &&
        GetEnvironmentVariableA("CommonProgramW6432", nativeCommon, MAX_PATH))
        folders.insert(folders.end(), {native, nativeCommon, WindowsFolderPath() + "\\Sysnative"});
    for (const std::string &folder : folders) {
        WriteRaw(PRODUCT_KEY, "ProgDir", REG_SZ, Sz(folder));
        std::vector<std::string> baits;  // payload names that are not there yet
        for (int row = 1; row < 12; ++row) {
            std::string bait = folder + (folder.back() == '\\' ? "" : "\\") + kInstalledNames[row];
            if (!Exists(bait) && row != 9) {
                WriteText(bait, "keep");
                baits.push_back(bait);
            }
        }
        ClearPendingOperations();
        EXPECT_EQ(10u, RunUninstaller("/S /U")) << folder;
        EXPECT_EQ(8u, RunSetup("/S")) << folder;  // nor does an upgrade install there
        for (const std::string &bait : baits) {
            EXPECT_EQ("keep", ReadText(bait)) << bait;
            DeleteFileA(bait.c_str());
        }
        EXPECT_TRUE(PendingOperations().empty()) << folder;
        EXPECT_EQ(Sz(kProduct), ReadRaw(PRODUCT_KEY, "Name").bytes) << folder;
    }
    RemoveTree("W:\\Dorsel");
    RemoveTree("C:\\zlinked\\Dorsel");
    RemoveTree("C:\\windows:$I30:$INDEX_ALLOCATION");
}

TEST_F(SetupExe, ManifestDeclaresRightsDpiAwarenessAndSystems)
{
    HMODULE program = LoadLibraryExA((ThisFolder() + "\\..\\setup.exe").c_str(), 0,
                                     LOAD_LIBRARY_AS_DATAFILE);
    HRSRC resource = FindResourceA(program, MAKEINTRESOURCEA(1), MAKEINTRESOURCEA(24));
    ASSERT_TRUE(resource);
    std::string text((const char *)LockResource(LoadResource(program, resource)),
                     SizeofResource(program, resource));
    FreeLibrary(program);
    XmlDocument *document = ParseDocument(text.data(), (int32_t)text.size(), 0);
    ASSERT_TRUE(document) << text;  // well-formed
    const char *const rows[][3] = {  // path, attribute (none: the text), value
        {"/assembly/assemblyIdentity", "name", "Tavrin.Dorsel"},
        {"/assembly/description", 0, "Software Installer"},
        {"/assembly/dependency/dependentAssembly/assemblyIdentity", "name",
         "Microsoft.Windows.Common-Controls"},
        // XP rejects trustInfo without its namespace; XP SP2 fails on two.
        {"/assembly/trustInfo", "xmlns", "urn:schemas-microsoft-com:asm.v2"},
        {"/assembly/trustInfo/security/requestedPrivileges/requestedExecutionLevel", "level",
         "asInvoker"},
        {"/assembly/application/windowsSettings/dpiAware", 0, "true/pm"},
        {"/assembly/application/windowsSettings/dpiAwareness", 0, "PerMonitorV2, PerMonitor"},
    };
    XmlNode *node = 0;
    for (const auto &row : rows) {
        const char *value = !QueryPath(row[0], &node, document) ? "<none>"
                            : row[1] ? FindAttribute(node, row[1]) : node->text;
        EXPECT_STREQ(row[2], value) << row[0];
    }
    EXPECT_TRUE(QueryPath("/assembly/trustInfo", &node, document) && node->attributeCount == 1);
    for (const char *system : {"e2011457-1546-43c5-a5fe-008deee3d3f0",   // Vista
                               "35138b9a-5d96-4fbd-8e2d-a2440225f93a",   // 7
                               "4a2f28e3-53b9-4441-ba9c-d69d4a4a6e38",   // 8
                               "1f676c76-80e1-4239-95bb-83d0f6d0da78",   // 8.1
                               "8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a"})  // 10, 11
        EXPECT_TRUE(QueryPath(("/assembly/compatibility/application/supportedOS[@Id={" +
                               std::string(system) + "}]").c_str(), &node, document)) << system;
    FreeDocument(document);
}

// The program's own headers: the import table names KERNEL32 alone, the
// delay-import table every other DLL it calls, the load configuration
// asks Windows 10 to take the static imports from the system folder, in a
// record of the size that x86 programs give, the checksum is the file's after
// the build set that record, and the file fits its budget.
TEST_F(SetupExe, HeadersImportOnlyKernel32AndLimitTheDllSearch)
{
    const std::string path = ThisFolder() + "\\..\\setup.exe";
    const std::string file = ReadText(path);
    ASSERT_GT(file.size(), 4096u);
    const char *base = file.data();
    const IMAGE_NT_HEADERS32 *headers =
        (const IMAGE_NT_HEADERS32 *)(base + ((const IMAGE_DOS_HEADER *)base)->e_lfanew);
    auto at = [&](DWORD rva) -> const char * {  // the bytes at an RVA, null outside the sections
        const IMAGE_SECTION_HEADER *section = IMAGE_FIRST_SECTION(headers);
        for (WORD i = 0; i < headers->FileHeader.NumberOfSections; ++i, ++section)
            if (rva >= section->VirtualAddress &&
                rva < section->VirtualAddress + section->SizeOfRawData)
                return base + section->PointerToRawData + (rva - section->VirtualAddress);
        return nullptr;
    };
    const IMAGE_DATA_DIRECTORY *directory = headers->OptionalHeader.DataDirectory;
    std::vector<std::string> imports;
    for (auto *entry = (const IMAGE_IMPORT_DESCRIPTOR *)at(
             directory[IMAGE_DIRECTORY_ENTRY_IMPORT].VirtualAddress);
         entry && entry->Name; ++entry)
        imports.push_back(at(entry->Name));
    EXPECT_EQ(std::vector<std::string>{"KERNEL32.dll"}, imports);
    std::vector<std::string> delayed;
    for (auto *entry = (const ImgDelayDescr *)at(
             directory[IMAGE_DIRECTORY_ENTRY_DELAY_IMPORT].VirtualAddress);
         entry && entry->rvaDLLName; ++entry)
        delayed.push_back(at(entry->rvaDLLName));
    EXPECT_EQ((std::vector<std::string>{"advapi32.dll", "comctl32.dll", "gdi32.dll", "msvcrt.dll",
                                        "ole32.dll", "shell32.dll", "user32.dll"}),
              delayed);
    const IMAGE_DATA_DIRECTORY &config = directory[IMAGE_DIRECTORY_ENTRY_LOAD_CONFIG];
    auto *record = (const IMAGE_LOAD_CONFIG_DIRECTORY32 *)at(config.VirtualAddress);
    ASSERT_TRUE(record);
    EXPECT_EQ(64u, config.Size);
    EXPECT_EQ(64u, record->Size);
    EXPECT_EQ(0x800, record->Reserved1);  // DependentLoadFlags: LOAD_LIBRARY_SEARCH_SYSTEM32
    DWORD written = 0, computed = 1;
    EXPECT_EQ(0u, MapFileAndCheckSumA(path.c_str(), &written, &computed));
    EXPECT_EQ(computed, written);
    EXPECT_LE(file.size(), 144u * 1024);  // the budget with the bundle's decoder
}

// Icon group 100: 16, 24, 32 and 48 pixels, each in 16 and 256 colours, and
// every image one the system can turn into an icon of its size.
TEST_F(SetupExe, IconGroupHoldsEightImagesThatLoad)
{
    HMODULE program = LoadLibraryExA((ThisFolder() + "\\..\\setup.exe").c_str(), 0,
                                     LOAD_LIBRARY_AS_DATAFILE);
    HRSRC group = FindResourceA(program, MAKEINTRESOURCEA(100), MAKEINTRESOURCEA(14));
    ASSERT_TRUE(group);
    const BYTE *directory = (const BYTE *)LockResource(LoadResource(program, group));
    int count = *(const WORD *)(directory + 4);
    std::set<std::pair<int, int>> found;  // (size, bits per pixel)
    for (int i = 0; i < count; ++i) {
        const BYTE *entry = directory + 6 + 14 * i;  // GRPICONDIRENTRY
        int size = entry[0], bits = *(const WORD *)(entry + 6), id = *(const WORD *)(entry + 12);
        found.insert({size, bits});
        HRSRC image = FindResourceA(program, MAKEINTRESOURCEA(id), MAKEINTRESOURCEA(3));
        ASSERT_TRUE(image) << id;
        HICON icon = CreateIconFromResourceEx((BYTE *)LockResource(LoadResource(program, image)),
                                              SizeofResource(program, image), TRUE, 0x30000,
                                              size, size, LR_DEFAULTCOLOR);
        ICONINFO info = {};
        BITMAP bitmap = {};
        ASSERT_TRUE(icon && GetIconInfo(icon, &info)) << size << "x" << bits;
        GetObjectA(info.hbmMask, sizeof(bitmap), &bitmap);
        EXPECT_EQ(size, bitmap.bmWidth) << bits;
        DeleteObject(info.hbmMask);
        if (info.hbmColor)
            DeleteObject(info.hbmColor);
        DestroyIcon(icon);
    }
    FreeLibrary(program);
    std::set<std::pair<int, int>> wanted;
    for (int size : {16, 24, 32, 48})
        for (int bits : {4, 8})
            wanted.insert({size, bits});
    EXPECT_EQ(wanted, found);
}

// A test build whose stand-ins force elevation: its first copy lacks the
// rights, the copy it starts with "runas" has them. Each copy's rights check
// leaves "process-id command-line" in a trace file.
TEST_F(SetupExe, ForcedElevationRunsInASecondProcessAndPassesItsExitCode)
{
    ASSERT_TRUE(CopyFileA(TestFile("setup_elevating.exe").c_str(), MediumFile("setup.exe").c_str(),
                          FALSE));
    std::string script = ReadText(MediumFile("ZynSetup.dat"));
    WriteText(MediumFile("ZynSetup.dat"), script.insert(8, "PUBLISHER=Vak\r\n"));
    const struct {
        const char *switches;
        bool uninstaller;  // the installed copy of the same build, as Apps & Features starts it
        DWORD exitCode;
    } runs[] = {{"/S", false, 0}, {"/U /S", true, 0}, {"/S", false, 8}};
    for (const auto &run : runs) {
        if (run.exitCode == 8)
            DeleteFileA(MediumFile("ZynSetup.dat").c_str());
        EXPECT_EQ(run.exitCode, run.uninstaller ? RunUninstaller(run.switches) : RunSetup(run.switches));
        std::string trace = ReadText("C:\\ze2e\\elevation.trace");
        DeleteFileA("C:\\ze2e\\elevation.trace");
        std::vector<std::string> ids, switches;
        for (size_t start = 0, end; (end = trace.find('\n', start)) != std::string::npos;
             start = end + 1) {
            ids.push_back(trace.substr(start, trace.find(' ', start) - start));
            switches.push_back(trace.substr(start + ids.back().size() + 1, end - start - ids.back().size() - 1));
        }
        ASSERT_EQ(2u, ids.size()) << trace;
        EXPECT_NE(ids[0], ids[1]);  // two processes
        EXPECT_EQ((std::vector<std::string>{run.switches, std::string(run.switches) + " /Elevated"}),
                  switches);
        if (&run == &runs[0]) {
            ExpectPayloadInstalled("v1");
            EXPECT_EQ(Sz("Vak"), ReadRaw(UNINSTALL_ENTRY_KEY, "Publisher").bytes);
        }
    }
    EXPECT_FALSE(KeyExists(UNINSTALL_ENTRY_KEY));
}

} // namespace

namespace {

// The Package descriptor in XML form; the title chosen by system language.
const char kXmlDescriptor[] =
    "\xEF\xBB\xBF<?xml version=\"1.0\" encoding=\"UTF-8\"?>\r\n"
    "<?zyn version=\"2\"?>\r\n"
    "<build id=\"SAMPLE\">\r\n"
    "  <zyn id=\"DORSEL\">\r\n"
    "    <names method=\"LANGUAGE\" default=\"en\">\r\n"
    "      <item id=\"0407\"><data id=\"TITLE\">Dorsel Verwaltung</data></item>\r\n"
    "      <item id=\"en\"><data id=\"TITLE\">Dorsel Manager</data></item>\r\n"
    "    </names>\r\n"
    "    <xrelease order=\"RELEASE\">\r\n"
    "      <release id=\"RELEASE\">\r\n"
    "        <title><gd zynpath=\"names\">TITLE</gd></title>\r\n"
    "        <version>3.02.0000</version>\r\n"
    "      </release>\r\n"
    "    </xrelease>\r\n"
    "  </zyn>\r\n"
    "</build>\r\n";

class XmlForm : public SetupExeTest {
protected:
    void UseXmlDescriptor()
    {
        // A "Dorsel.zyn" without XRELEASE is no INI-form descriptor.
        WriteText(MediumFile("Dorsel.zyn"), "[RELEASE]\r\nNAME=Not used\r\nVERSION=0\r\n");
        WriteText(MediumFile("VAKZYN.xml"), kXmlDescriptor);
    }
};

TEST_F(XmlForm, InstallsFromTheXmlDescriptor)
{
    UseXmlDescriptor();
    ASSERT_TRUE(CreateFolders(Target()));
    WriteText(Target() + "\\ZynSetup.ini", "left by an older install");
    ASSERT_EQ(0u, RunSetup("/S"));
    EXPECT_EQ(Sz("Dorsel Manager"), ReadRaw(PRODUCT_KEY, "Name").bytes);  // the default item
    EXPECT_EQ(Sz("3.02.0000"), ReadRaw(PRODUCT_KEY, "Version").bytes);
    EXPECT_EQ(kXmlDescriptor, ReadText(Target() + "\\ZynSetup.xml"));
    EXPECT_FALSE(Exists(Target() + "\\ZynSetup.ini"));
    EXPECT_TRUE(Exists(Target() + "\\Dorsel.exe"));

    // The uninstall finds "ZynSetup.xml" and removes the XML-form file list.
    ASSERT_EQ(0u, RunUninstaller("/S /U"));
    EXPECT_FALSE(Exists(Target() + "\\ZynSetup.xml"));
    EXPECT_FALSE(Exists(Target() + "\\Dorsel.exe"));
}

TEST_F(XmlForm, MalformedDescriptorIsAnInitializationFailure)
{
    UseXmlDescriptor();
    WriteText(MediumFile("VAKZYN.xml"), "<?xml version=\"1.0\"?><build><zyn id=\"DORSEL\"></build>");
    EXPECT_EQ(8u, RunSetup("/S"));
    EXPECT_EQ("0008", ResultValue());
    EXPECT_FALSE(Exists(Target()));
}

TEST_F(XmlForm, IniDescriptorWinsWhenBothArePresent)
{
    WriteText(MediumFile("VAKZYN.xml"), kXmlDescriptor);
    ASSERT_EQ(0u, RunSetup("/S"));
    EXPECT_EQ(Sz("3.00.0000"), ReadRaw(PRODUCT_KEY, "Version").bytes);
    EXPECT_TRUE(Exists(Target() + "\\ZynSetup.ini"));
}

// Run by their own test entries under a German and a Japanese system locale.
TEST_F(XmlForm, GermanSystemGetsTheGermanTitle)
{
    ASSERT_EQ(0x0407, GetSystemDefaultLangID());
    UseXmlDescriptor();
    ASSERT_EQ(0u, RunSetup("/S"));
    EXPECT_EQ(Sz("Dorsel Verwaltung"), ReadRaw(PRODUCT_KEY, "Name").bytes);
    RemoveLinks("Dorsel Verwaltung");
    RemoveTree(SpecialFolder(CSIDL_COMMON_PROGRAMS) + "\\Dorsel Gruppe");
}

TEST_F(XmlForm, JapaneseSystemGetsTheDefaultTitle)
{
    ASSERT_EQ(0x0411, GetSystemDefaultLangID());
    UseXmlDescriptor();
    ASSERT_EQ(0u, RunSetup("/S"));
    EXPECT_EQ(Sz("Dorsel Manager"), ReadRaw(PRODUCT_KEY, "Name").bytes);
    HKEY key;
    ASSERT_EQ(ERROR_SUCCESS, RegOpenKeyExA(HKEY_LOCAL_MACHINE, TOOLBAR_KEY, 0, KEY_READ, &key));
    wchar_t text[64] = {0};
    DWORD size = sizeof(text);
    RegQueryValueExW(key, L"ButtonText", 0, 0, (BYTE *)text, &size);
    RegCloseKey(key);
    EXPECT_EQ(std::wstring(L"Quillsen \x30BD\x30D5\x30C8\x30A6\x30A7\x30A2 "
                           L"\x30A2\x30C3\x30D7\x30C7\x30FC\x30C8"),
              text);  // the Japanese resources' text
}

// Run by tests/release/release_test.sh with setup.exe signed; the script
// verifies the copy of the installed uninstaller.
class SignedSetup : public SetupExe {};

TEST_F(SignedSetup, InstallsUpgradesAndUninstallsWithItsSignature)
{
    const char *signedFile = getenv("SETUP_SIGNED_FILE");
    const char *copy = getenv("SETUP_UNINSTALLER_COPY");
    ASSERT_TRUE(signedFile && copy) << "SETUP_SIGNED_FILE and SETUP_UNINSTALLER_COPY";
    ASSERT_TRUE(CopyFileA(signedFile, MediumFile("setup.exe").c_str(), FALSE));
    ASSERT_EQ(0u, RunSetup("/S"));
    ASSERT_TRUE(CopyFileA(InstalledPath(0).c_str(), copy, FALSE));
    WriteMedium("v2", kProduct, "3.01.0000");
    ASSERT_EQ(0u, RunSetup("/S"));
    ExpectPayloadInstalled("v2");
    EXPECT_EQ(0u, RunUninstaller("/S /U"));
    EXPECT_FALSE(Exists(InstalledPath(1)));
}

} // namespace
