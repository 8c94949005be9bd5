// The product key against Wine's real registry: values, types and sizes as an
// install writes them, the strict uninstall, search folders and package records.
#include "registry/registry.h"
#include "tests/registry/registry_access.h"

#include <gtest/gtest.h>

#include <string.h>

namespace {

const char kFolder[] = "C:\\Program Files\\Dorsel";

class ProductRecord : public ::testing::Test {
protected:
    void SetUp() override { RemoveKey(PRODUCT_KEY); }
    void TearDown() override { RemoveKey(PRODUCT_KEY); }

    void Install()
    {
        ASSERT_TRUE(WriteInstalledFolder(kFolder, RUNOPT_INSTALL));
        ASSERT_TRUE(WriteProductIdentity("Dorsel", "3.00.0000", RUNOPT_INSTALL));
        ASSERT_TRUE(WriteMenuFolder("C:\\Menu\\Dorsel", RUNOPT_INSTALL));
        ASSERT_TRUE(WriteInternetSettings(2, "C:\\DRIVERS", RUNOPT_INSTALL));
    }
};

TEST_F(ProductRecord, InstallWritesStringsWithTheirNul)
{
    Install();
    EXPECT_EQ(Sz(kFolder), ReadRaw(PRODUCT_KEY, "ProgDir").bytes);
    RawValue launcher = ReadRaw(PRODUCT_KEY, 0);
    EXPECT_EQ((DWORD)REG_SZ, launcher.type);
    EXPECT_EQ(Sz(std::string(kFolder) + "\\Dorsel.exe"), launcher.bytes);
    EXPECT_EQ(Sz("Dorsel"), ReadRaw(PRODUCT_KEY, "Name").bytes);
    EXPECT_EQ(Sz("3.00.0000"), ReadRaw(PRODUCT_KEY, "Version").bytes);
    EXPECT_EQ(Sz("C:\\Menu\\Dorsel"), ReadRaw(PRODUCT_KEY, "MenuDir").bytes);
    EXPECT_EQ(Sz("C:\\DRIVERS"), ReadRaw(PRODUCT_KEY, "DownloadDir").bytes);
    RawValue radar = ReadRaw(PRODUCT_KEY, "InternetFunction");
    EXPECT_EQ((DWORD)REG_DWORD, radar.type);
    EXPECT_EQ(Dword(2), radar.bytes);

    char folder[REGISTRY_VALUE_SIZE] = {0};
    char name[REGISTRY_VALUE_SIZE] = {0};
    char version[REGISTRY_VALUE_SIZE] = {0};
    char menu[REGISTRY_VALUE_SIZE] = {0};
    char launcherPath[REGISTRY_VALUE_SIZE] = {0};
    DWORD choice = 7;
    EXPECT_TRUE(ReadInstalledFolder(folder));
    EXPECT_STREQ(kFolder, folder);
    EXPECT_TRUE(ReadProductIdentity(name, version));
    EXPECT_STREQ("Dorsel", name);
    EXPECT_STREQ("3.00.0000", version);
    EXPECT_TRUE(ReadMenuFolder(menu));
    EXPECT_STREQ("C:\\Menu\\Dorsel", menu);
    EXPECT_TRUE(ReadInternetFunction(&choice));
    EXPECT_EQ(2u, choice);
    EXPECT_TRUE(ReadLauncherPath(launcherPath, sizeof(launcherPath)));
    EXPECT_STREQ("C:\\Program Files\\Dorsel\\Dorsel.exe", launcherPath);
}

TEST_F(ProductRecord, ReadersFailWithoutTheKeyAndLeaveTheBuffer)
{
    char folder[REGISTRY_VALUE_SIZE] = "unchanged";
    char version[REGISTRY_VALUE_SIZE] = "unchanged";
    DWORD choice = 7;
    EXPECT_FALSE(ReadInstalledFolder(folder));
    EXPECT_FALSE(ReadMenuFolder(folder));
    EXPECT_FALSE(ReadProductIdentity(folder, version));
    EXPECT_FALSE(ReadLauncherPath(folder, sizeof(folder)));
    EXPECT_FALSE(ReadInternetFunction(&choice));
    EXPECT_STREQ("unchanged", folder);
    EXPECT_STREQ("unchanged", version);
    EXPECT_EQ(7u, choice);
    EXPECT_FALSE(WriteProductIdentity("Dorsel", "3.00.0000", RUNOPT_INSTALL));
    EXPECT_FALSE(WriteMenuFolder("M", RUNOPT_INSTALL));
    EXPECT_FALSE(WriteInternetSettings(1, "C:\\D", RUNOPT_INSTALL));
}

TEST_F(ProductRecord, HexadecimalVersionIsExpanded)
{
    ASSERT_TRUE(WriteInstalledFolder(kFolder, RUNOPT_INSTALL));
    const struct {
        const char *stored;
        const char *read;
    } cases[] = {
        {"03000000", "3.00.0000"}, {"01030000", "1.03.0000"}, {"0A0B000C", "A.0B.000C"},
        {"0a0b000c", "A.0B.000C"}, {"3.00.0000", "3.00.0000"}, {"0300ZZZZ", "0300ZZZZ"},
        {"+3000000", "+3000000"}, {"3.00.000", "3.00.000"},
    };
    for (const auto &c : cases) {
        ASSERT_TRUE(WriteProductIdentity("Dorsel", c.stored, RUNOPT_INSTALL));
        char name[REGISTRY_VALUE_SIZE] = {0};
        char version[REGISTRY_VALUE_SIZE] = {0};
        ASSERT_TRUE(ReadProductIdentity(name, version));
        EXPECT_STREQ(c.read, version) << c.stored;
    }
}

TEST_F(ProductRecord, SecondInstallKeepsDownloadFolderAndTakesNewRadarChoice)
{
    Install();
    ASSERT_TRUE(WriteInternetSettings(0, "D:\\ELSEWHERE", RUNOPT_INSTALL));
    EXPECT_EQ(Sz("C:\\DRIVERS"), ReadRaw(PRODUCT_KEY, "DownloadDir").bytes);
    EXPECT_EQ(Dword(0), ReadRaw(PRODUCT_KEY, "InternetFunction").bytes);
}

TEST_F(ProductRecord, UninstallRemovesItsValuesAndKeepsTheRest)
{
    Install();
    WriteRaw(PRODUCT_KEY, "ProxyServer", REG_SZ, Sz("proxy:80"));
    ASSERT_TRUE(WriteInstalledFolder(0, 0));
    ASSERT_TRUE(WriteProductIdentity(0, 0, 0));
    ASSERT_TRUE(WriteMenuFolder(0, 0));
    ASSERT_TRUE(WriteInternetSettings(0, 0, 0));
    EXPECT_TRUE(KeyExists(PRODUCT_KEY));
    for (const char *name : {"", "ProgDir", "Name", "Version", "MenuDir", "DownloadDir",
                             "ProxyServer"})
        EXPECT_FALSE(ReadRaw(PRODUCT_KEY, *name ? name : 0).present) << name;
    EXPECT_EQ(Dword(2), ReadRaw(PRODUCT_KEY, "InternetFunction").bytes);
}

// What is already gone counts as removed: a value deleted by hand or an
// uninstall that stopped halfway never keeps the next one from finishing.
TEST_F(ProductRecord, UninstallCountsWhatIsGoneAsRemoved)
{
    Install();
    HKEY key;
    ASSERT_EQ(ERROR_SUCCESS, RegOpenKeyExA(HKEY_LOCAL_MACHINE, PRODUCT_KEY, 0, KEY_ALL_ACCESS, &key));
    RegDeleteValueA(key, "DownloadDir");
    RegDeleteValueA(key, 0);
    RegCloseKey(key);
    EXPECT_TRUE(WriteInstalledFolder(0, 0));
    EXPECT_FALSE(ReadRaw(PRODUCT_KEY, "ProgDir").present);  // the default value was gone
    EXPECT_TRUE(WriteProductIdentity(0, 0, 0));
    EXPECT_TRUE(WriteProductIdentity(0, 0, 0));  // already removed
    EXPECT_TRUE(WriteMenuFolder(0, 0));
    EXPECT_TRUE(WriteInternetSettings(0, 0, 0));  // DownloadDir deleted by hand
    RemoveKey(PRODUCT_KEY);
    EXPECT_TRUE(WriteInstalledFolder(0, 0) && WriteProductIdentity(0, 0, 0) &&
                WriteMenuFolder(0, 0) && WriteInternetSettings(0, 0, 0));
}

TEST_F(ProductRecord, OverlongInstalledFolderIsRefusedBeforeWriting)
{
    std::string longest(INSTALLED_FOLDER_LIMIT, 'x');
    longest.replace(0, 3, "C:\\");
    EXPECT_FALSE(WriteInstalledFolder((longest + "y").c_str(), RUNOPT_INSTALL));
    EXPECT_FALSE(KeyExists(PRODUCT_KEY));
    ASSERT_TRUE(WriteInstalledFolder(longest.c_str(), RUNOPT_INSTALL));
    EXPECT_EQ(Sz(longest + "\\Dorsel.exe"), ReadRaw(PRODUCT_KEY, 0).bytes);
}

TEST_F(ProductRecord, OnlyAFullPathIsAnInstalledFolder)
{
    for (const char *path : {"C:\\", "d:\\x", "\\\\server\\share", "\\\\s\\share\\x"})
        EXPECT_TRUE(IsFullPath(path)) << path;
    for (const char *path : {"", "C:", "C:x", "\\x", "\\\\server", "\\\\server\\", "\\\\\\x", "1:\\"})
        EXPECT_FALSE(IsFullPath(path)) << path;
}

TEST_F(ProductRecord, StringReadsAlwaysEndInsideTheBuffer)
{
    ASSERT_TRUE(WriteInstalledFolder(kFolder, RUNOPT_INSTALL));
    char buffer[REGISTRY_VALUE_SIZE];

    WriteRaw(PRODUCT_KEY, "ProgDir", REG_SZ, "C:\\NoNul");  // stored without its NUL
    memset(buffer, '#', sizeof(buffer));
    ASSERT_TRUE(ReadInstalledFolder(buffer));
    EXPECT_STREQ("C:\\NoNul", buffer);

    WriteRaw(PRODUCT_KEY, "ProgDir", REG_SZ, std::string(REGISTRY_VALUE_SIZE, 'a'));
    memset(buffer, '#', sizeof(buffer));
    EXPECT_FALSE(ReadInstalledFolder(buffer));  // fills the buffer: no room for the NUL
    EXPECT_EQ(0, buffer[sizeof(buffer) - 1]);

    WriteRaw(PRODUCT_KEY, "ProgDir", REG_SZ, Sz("C:\\" + std::string(REGISTRY_VALUE_SIZE - 4, 'b')));
    ASSERT_TRUE(ReadInstalledFolder(buffer));
    EXPECT_EQ(REGISTRY_VALUE_SIZE - 1, (int)strlen(buffer));

    WriteRaw(PRODUCT_KEY, "ProgDir", REG_SZ, Sz(std::string(1000, 'c')));
    memset(buffer, '#', sizeof(buffer));
    EXPECT_FALSE(ReadInstalledFolder(buffer));
    EXPECT_EQ(0, buffer[sizeof(buffer) - 1]);

    WriteDword(PRODUCT_KEY, "MenuDir", 0x41424344);  // wrong type: read as bytes, terminated
    memset(buffer, '#', sizeof(buffer));
    ASSERT_TRUE(ReadMenuFolder(buffer));
    EXPECT_EQ(4u, strlen(buffer));

    WriteRaw(PRODUCT_KEY, "InternetFunction", REG_SZ, Sz("too long for four bytes"));
    DWORD choice = 9;
    EXPECT_FALSE(ReadInternetFunction(&choice));

    char small[8];
    WriteRaw(PRODUCT_KEY, 0, REG_SZ, Sz("C:\\A\\Dorsel.exe"));
    EXPECT_FALSE(ReadLauncherPath(small, sizeof(small)));
    EXPECT_EQ(0, small[sizeof(small) - 1]);
}

TEST_F(ProductRecord, ProgramFilesFolderOfWindows)
{
    char folder[REGISTRY_VALUE_SIZE] = {0};
    ASSERT_TRUE(ReadCurrentVersionValue("ProgramFilesDir", folder, sizeof(folder)));
    EXPECT_EQ(0, strncmp(folder, "C:\\Program Files", 16)) << folder;
    EXPECT_FALSE(ReadCurrentVersionValue("NoSuchValueHere", folder, sizeof(folder)));
}

class SearchFolders : public ProductRecord {};

TEST_F(SearchFolders, FolderBecomesNestedKeys)
{
    ASSERT_TRUE(RegisterSearchFolder("C:\\DRIVERS", RUNOPT_INSTALL));
    EXPECT_TRUE(KeyExists(SEARCH_PATH_KEY "\\C:"));
    RawValue value = ReadRaw(SEARCH_PATH_KEY "\\C:\\DRIVERS", 0);
    EXPECT_EQ((DWORD)REG_SZ, value.type);
    EXPECT_EQ(Sz("C:\\DRIVERS"), value.bytes);
}

TEST_F(SearchFolders, StaleSubkeysAreRemovedBeforeRegistering)
{
    WriteRaw(SEARCH_PATH_KEY "\\C:\\DRIVERS\\OLD\\DEEPER", "x", REG_SZ, Sz("1"));
    WriteRaw(SEARCH_PATH_KEY "\\C:\\DRIVERS", "stale", REG_SZ, Sz("1"));
    ASSERT_TRUE(RegisterSearchFolder("C:\\DRIVERS", RUNOPT_INSTALL));
    EXPECT_FALSE(KeyExists(SEARCH_PATH_KEY "\\C:\\DRIVERS\\OLD"));
    EXPECT_FALSE(ReadRaw(SEARCH_PATH_KEY "\\C:\\DRIVERS", "stale").present);
    EXPECT_EQ(Sz("C:\\DRIVERS"), ReadRaw(SEARCH_PATH_KEY "\\C:\\DRIVERS", 0).bytes);
}

TEST_F(SearchFolders, EmptyEntryIsSkippedAndOverlongRefused)
{
    ASSERT_TRUE(RegisterSearchFolder("C:\\DRIVERS", RUNOPT_INSTALL));
    ASSERT_TRUE(RegisterSearchFolder("D:\\MORE", RUNOPT_INSTALL));
    for (const char *none : {"", "\\", " \\\\ "})
        EXPECT_TRUE(RegisterSearchFolder(none, RUNOPT_INSTALL)) << none;
    EXPECT_TRUE(KeyExists(SEARCH_PATH_KEY "\\C:\\DRIVERS"));
    EXPECT_TRUE(KeyExists(SEARCH_PATH_KEY "\\D:\\MORE"));
    EXPECT_FALSE(ReadRaw(SEARCH_PATH_KEY, 0).present);

    std::string longest = "E:\\" + std::string(SEARCH_FOLDER_LIMIT - 3, 'p');
    EXPECT_FALSE(RegisterSearchFolder((longest + "q").c_str(), RUNOPT_INSTALL));
    EXPECT_FALSE(KeyExists(SEARCH_PATH_KEY "\\E:"));
    EXPECT_TRUE(RegisterSearchFolder(longest.c_str(), RUNOPT_INSTALL));
    EXPECT_EQ(Sz(longest), ReadRaw((SEARCH_PATH_KEY "\\" + longest).c_str(), 0).bytes);
}

TEST_F(SearchFolders, UninstallRemovesTheWholeTree)
{
    ASSERT_TRUE(RegisterSearchFolder("C:\\DRIVERS", RUNOPT_INSTALL));
    ASSERT_TRUE(RegisterSearchFolder("D:\\A\\B\\C", RUNOPT_INSTALL));
    EXPECT_TRUE(RegisterSearchFolder(0, 0));
    EXPECT_FALSE(KeyExists(SEARCH_PATH_KEY));
    EXPECT_TRUE(KeyExists(PRODUCT_KEY));
    EXPECT_TRUE(RegisterSearchFolder(0, 0));  // nothing left: still succeeds
}

TEST_F(SearchFolders, DeleteKeyTreeOverThreeLevels)
{
    const char *base = PRODUCT_KEY "\\Tree";
    WriteRaw(PRODUCT_KEY "\\Tree", "v0", REG_SZ, Sz("0"));
    WriteRaw(PRODUCT_KEY "\\Tree\\A", "v1", REG_SZ, Sz("1"));
    WriteRaw(PRODUCT_KEY "\\Tree\\A\\B", "v2", REG_DWORD, Dword(2));
    WriteRaw(PRODUCT_KEY "\\Tree\\A\\B\\C", "v3", REG_SZ, Sz("3"));
    WriteRaw(PRODUCT_KEY "\\Tree\\D", 0, REG_SZ, Sz("d"));
    HKEY product;
    ASSERT_EQ(ERROR_SUCCESS,
              RegOpenKeyExA(HKEY_LOCAL_MACHINE, PRODUCT_KEY, 0, KEY_ALL_ACCESS, &product));
    HKEY tree;
    ASSERT_EQ(ERROR_SUCCESS, RegOpenKeyExA(product, "Tree", 0, KEY_ALL_ACCESS, &tree));
    EXPECT_TRUE(DeleteKeyTree(tree, 0));  // no name: contents go, the key stays
    RegCloseKey(tree);
    EXPECT_TRUE(KeyExists(base));
    EXPECT_FALSE(KeyExists(PRODUCT_KEY "\\Tree\\A"));
    EXPECT_FALSE(ReadRaw(base, "v0").present);
    WriteRaw(PRODUCT_KEY "\\Tree\\A\\B\\C", "v3", REG_SZ, Sz("3"));
    EXPECT_TRUE(DeleteKeyTree(product, "Tree"));
    EXPECT_FALSE(KeyExists(base));
    EXPECT_TRUE(DeleteKeyTree(product, "Tree"));  // missing: still 1
    RegCloseKey(product);
}

class PackageRecords : public ProductRecord {};

TEST_F(PackageRecords, NormalisesEveryRecord)
{
    WriteRaw(PACKAGE_RECORDS_KEY "\\dOrSeL", "Version", REG_SZ, Sz(""));
    WriteRaw(PACKAGE_RECORDS_KEY "\\dOrSeL", "Catalog", REG_SZ, Sz("old"));
    WriteRaw(PACKAGE_RECORDS_KEY "\\ABC", "Version", REG_SZ, Sz("1.00"));
    WriteRaw(PACKAGE_RECORDS_KEY "\\ABC", "LastUpdate", REG_BINARY, "keep");
    WriteRaw(PACKAGE_RECORDS_KEY "\\KEPT", "ZYN", REG_DWORD, Dword(5));
    WriteRaw(PACKAGE_RECORDS_KEY "\\KEPT", "RegVersion", REG_MULTI_SZ, std::string("a\0\0", 3));
    WriteRaw(PACKAGE_RECORDS_KEY "\\KEPT", "Version", REG_SZ, Sz("ab"));
    WriteRaw(PACKAGE_RECORDS_KEY "\\KEPT", "LastUpdate", REG_BINARY, "xxxxxxxx");
    WriteRaw(PACKAGE_RECORDS_KEY "\\WIDE", "ZYN", REG_BINARY, "12345678");
    ASSERT_TRUE(MigratePackageRecords());

    const char *dorsel = PACKAGE_RECORDS_KEY "\\dOrSeL";
    RawValue zyn = ReadRaw(dorsel, "ZYN");
    EXPECT_EQ((DWORD)REG_DWORD, zyn.type);
    EXPECT_EQ(Dword(0x200), zyn.bytes);
    RawValue regVersion = ReadRaw(dorsel, "RegVersion");
    EXPECT_EQ((DWORD)REG_MULTI_SZ, regVersion.type);
    EXPECT_EQ(std::string(1, '\0'), regVersion.bytes);
    RawValue deviceInfo = ReadRaw(dorsel, "DeviceInfo");
    EXPECT_EQ((DWORD)REG_MULTI_SZ, deviceInfo.type);
    EXPECT_EQ(std::string(1, '\0'), deviceInfo.bytes);
    RawValue lastUpdate = ReadRaw(dorsel, "LastUpdate");
    EXPECT_EQ((DWORD)REG_BINARY, lastUpdate.type);
    EXPECT_EQ(std::string(8, '\0'), lastUpdate.bytes);
    EXPECT_FALSE(ReadRaw(dorsel, "Catalog").present);

    const char *abc = PACKAGE_RECORDS_KEY "\\ABC";
    EXPECT_EQ(Dword(0x100), ReadRaw(abc, "ZYN").bytes);
    EXPECT_EQ("keep", ReadRaw(abc, "LastUpdate").bytes);  // "1.00" is five bytes

    const char *kept = PACKAGE_RECORDS_KEY "\\KEPT";
    EXPECT_EQ(Dword(5), ReadRaw(kept, "ZYN").bytes);
    EXPECT_EQ(std::string("a\0\0", 3), ReadRaw(kept, "RegVersion").bytes);
    EXPECT_EQ(std::string(8, '\0'), ReadRaw(kept, "LastUpdate").bytes);  // "ab" is three bytes

    RawValue wide = ReadRaw(PACKAGE_RECORDS_KEY "\\WIDE", "ZYN");  // longer than 4: replaced
    EXPECT_EQ((DWORD)REG_DWORD, wide.type);
    EXPECT_EQ(Dword(0x100), wide.bytes);
    EXPECT_FALSE(ReadRaw(PACKAGE_RECORDS_KEY "\\WIDE", "LastUpdate").present);
}

TEST_F(PackageRecords, NothingToDoIsSuccess)
{
    EXPECT_TRUE(MigratePackageRecords());
    WriteRaw(PACKAGE_RECORDS_KEY, "x", REG_SZ, Sz("1"));
    EXPECT_TRUE(MigratePackageRecords());
    EXPECT_FALSE(KeyExists(PACKAGE_RECORDS_KEY "\\DORSEL"));  // records are never created
}

} // namespace
