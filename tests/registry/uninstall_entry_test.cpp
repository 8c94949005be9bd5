// The Windows uninstall entry, the interface path and the toolbar button
// against Wine's real registry.
#include "registry/registry.h"
#include "tests/files/file_access.h"
#include "tests/registry/registry_access.h"

#include <gtest/gtest.h>

#include <string>

namespace {

const char kUninstaller[] = "_zynu000.exe";

class UninstallEntry : public ::testing::Test {
protected:
    void SetUp() override
    {
        RemoveKey(UNINSTALL_ENTRY_KEY);
        RemoveKey(INTERFACE_PATH_KEY);
        RemoveKey(BROWSER_EXTENSIONS_KEY "\\" PRODUCT_GUID);
    }
    void TearDown() override { SetUp(); }
};

TEST_F(UninstallEntry, InstallWritesTheEntry)
{
    WriteRaw(UNINSTALL_ENTRY_KEY, "SystemComponent", REG_DWORD, Dword(1));
    ASSERT_TRUE(WriteUninstallEntry(kUninstaller, "Dorsel", "3.00.0000", RUNOPT_INSTALL));
    EXPECT_EQ(Sz("Dorsel"), ReadRaw(UNINSTALL_ENTRY_KEY, "DisplayName").bytes);
    RawValue command = ReadRaw(UNINSTALL_ENTRY_KEY, "UninstallString");
    EXPECT_EQ((DWORD)REG_SZ, command.type);
    EXPECT_EQ(Sz("_zynu000.exe /U"), command.bytes);
    EXPECT_EQ(Sz(WindowsFolderPath() + "\\_zynu000.exe,0"),
              ReadRaw(UNINSTALL_ENTRY_KEY, "DisplayIcon").bytes);
    EXPECT_EQ(Sz("3.00.0000"), ReadRaw(UNINSTALL_ENTRY_KEY, "DisplayVersion").bytes);
    EXPECT_FALSE(ReadRaw(UNINSTALL_ENTRY_KEY, "SystemComponent").present);
}

TEST_F(UninstallEntry, HiddenRunLeavesTheDisplayNameAlone)
{
    WriteRaw(UNINSTALL_ENTRY_KEY, "DisplayName", REG_SZ, Sz("Older Name"));
    ASSERT_TRUE(WriteUninstallEntry(kUninstaller, "Dorsel", "3.01.0000",
                                    RUNOPT_INSTALL | RUNOPT_HIDDEN));
    EXPECT_EQ(Sz("Older Name"), ReadRaw(UNINSTALL_ENTRY_KEY, "DisplayName").bytes);
    EXPECT_EQ(Sz("3.01.0000"), ReadRaw(UNINSTALL_ENTRY_KEY, "DisplayVersion").bytes);

    RemoveKey(UNINSTALL_ENTRY_KEY);
    ASSERT_TRUE(WriteUninstallEntry(kUninstaller, "Dorsel", "3.01.0000",
                                    RUNOPT_INSTALL | RUNOPT_HIDDEN));
    EXPECT_FALSE(ReadRaw(UNINSTALL_ENTRY_KEY, "DisplayName").present);
    EXPECT_TRUE(ReadRaw(UNINSTALL_ENTRY_KEY, "UninstallString").present);
}

TEST_F(UninstallEntry, UninstallDeletesTheKeyAndCountsAGoneOneAsRemoved)
{
    ASSERT_TRUE(WriteUninstallEntry(kUninstaller, "Dorsel", "3.00.0000", RUNOPT_INSTALL));
    EXPECT_TRUE(WriteUninstallEntry(0, 0, 0, 0));
    EXPECT_FALSE(KeyExists(UNINSTALL_ENTRY_KEY));
    EXPECT_TRUE(WriteUninstallEntry(0, 0, 0, 0));
}

TEST_F(UninstallEntry, DetailsForAppsAndFeatures)
{
    ASSERT_TRUE(WriteUninstallDetails(kUninstaller, "C:\\P\\Dorsel", 1234, "Vak"));
    EXPECT_EQ(Sz("\"" + WindowsFolderPath() + "\\_zynu000.exe\" /U /S"),
              ReadRaw(UNINSTALL_ENTRY_KEY, "QuietUninstallString").bytes);
    EXPECT_EQ(Sz("C:\\P\\Dorsel"), ReadRaw(UNINSTALL_ENTRY_KEY, "InstallLocation").bytes);
    EXPECT_EQ(Sz("Vak"), ReadRaw(UNINSTALL_ENTRY_KEY, "Publisher").bytes);
    for (auto value : {std::make_pair("EstimatedSize", 1234), {"NoModify", 1}, {"NoRepair", 1}}) {
        EXPECT_EQ((DWORD)REG_DWORD, ReadRaw(UNINSTALL_ENTRY_KEY, value.first).type);
        EXPECT_EQ(Dword(value.second), ReadRaw(UNINSTALL_ENTRY_KEY, value.first).bytes);
    }
    ASSERT_TRUE(WriteUninstallDetails(kUninstaller, "C:\\P", 0, ""));  // no publisher: gone
    EXPECT_FALSE(ReadRaw(UNINSTALL_ENTRY_KEY, "Publisher").present);
    EXPECT_FALSE(WriteUninstallDetails(std::string(MAX_PATH, 'x').c_str(), "C:\\P", 1, 0));
}

TEST_F(UninstallEntry, InterfacePath)
{
    ASSERT_TRUE(WriteInterfacePath(kUninstaller, RUNOPT_INSTALL));
    RawValue path = ReadRaw(INTERFACE_PATH_KEY, "InterfacePath");
    EXPECT_EQ((DWORD)REG_SZ, path.type);
    EXPECT_EQ(Sz(WindowsFolderPath() + "\\_zynu000.exe"), path.bytes);
    EXPECT_TRUE(WriteInterfacePath(0, 0));
    EXPECT_FALSE(ReadRaw(INTERFACE_PATH_KEY, "InterfacePath").present);
    EXPECT_TRUE(KeyExists(INTERFACE_PATH_KEY));  // the key itself stays
    EXPECT_TRUE(WriteInterfacePath(0, 0));       // value already gone: still fine
}

TEST_F(UninstallEntry, InterfacePathUninstallWithoutTheKeySucceeds)
{
    // An install on Windows 98 or NT 4.0 never creates the GUID key.
    EXPECT_TRUE(WriteInterfacePath(0, 0));
    EXPECT_FALSE(KeyExists(INTERFACE_PATH_KEY));
}

TEST_F(UninstallEntry, ToolbarButtonCreatedRewrittenAndRemoved)
{
    const char *button = BROWSER_EXTENSIONS_KEY "\\" PRODUCT_GUID;
    EXPECT_FALSE(HasToolbarButton());
    ASSERT_TRUE(WriteToolbarButton("C:\\P\\Dorsel.exe", "_zynu000.exe,100", "Software Installer", 1));
    EXPECT_TRUE(HasToolbarButton());
    EXPECT_EQ(Sz("C:\\P\\Dorsel.exe"), ReadRaw(button, "Exec").bytes);
    EXPECT_EQ(Sz("_zynu000.exe,100"), ReadRaw(button, "Icon").bytes);
    EXPECT_EQ(Sz("_zynu000.exe,100"), ReadRaw(button, "HotIcon").bytes);
    EXPECT_EQ(Sz("Software Installer"), ReadRaw(button, "ButtonText").bytes);
    EXPECT_EQ(Sz(TOOLBAR_BUTTON_CLSID), ReadRaw(button, "clsid").bytes);
    RawValue visible = ReadRaw(button, "Default Visible");
    EXPECT_EQ((DWORD)REG_SZ, visible.type);
    EXPECT_EQ(4u, visible.bytes.size());

    // A second install rewrites the values in the same key.
    WriteRaw(button, "Foreign", REG_SZ, Sz("stays"));
    ASSERT_TRUE(WriteToolbarButton("D:\\Q\\Dorsel.exe", "_zynu000.exe,100", "Installer", 1));
    EXPECT_EQ(Sz("D:\\Q\\Dorsel.exe"), ReadRaw(button, "Exec").bytes);
    EXPECT_EQ(Sz("stays"), ReadRaw(button, "Foreign").bytes);

    EXPECT_TRUE(WriteToolbarButton(0, 0, 0, 0));
    EXPECT_FALSE(HasToolbarButton());
    EXPECT_TRUE(KeyExists(BROWSER_EXTENSIONS_KEY));
    EXPECT_TRUE(WriteToolbarButton(0, 0, 0, 0));  // nothing to remove
}

} // namespace
