// A bundle of the medium folder, run from a folder of its own beside files
// that another download could have left there, against the medium folder
// itself: install, upgrade and uninstall must leave the same registry values,
// files and shortcuts, and the bundle's private folder must not stay in TEMP.
#include "tests/e2e/bundles.h"
#include "tests/e2e/setup_exe.h"

#include <gtest/gtest.h>

#include <stdlib.h>

#include <map>
#include <set>
#include <string>
#include <tuple>
#include <vector>

namespace {

const char kDownloads[] = "C:\\ze2e\\downloads\\";

// A step's exit code and result value, the product's registry values, and
// the installed files (the uninstaller among them) by their size and
// checksum, with the group shortcut's target.
typedef std::tuple<DWORD, std::string, KeyValues, std::map<std::string, std::string>> Outcome;

std::string Digest(const std::string &path)
{
    std::string content = ReadText(path);
    return std::to_string(content.size()) + " bytes " + std::to_string(ContentChecksum(content));
}

Outcome OutcomeOf(DWORD exitCode)
{
    std::map<std::string, std::string> files;
    WIN32_FIND_DATAA entry;
    HANDLE search = FindFirstFileA((Target() + "\\*.*").c_str(), &entry);
    for (BOOL more = search != INVALID_HANDLE_VALUE; more; more = FindNextFileA(search, &entry))
        if (!(entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
            files[entry.cFileName] = Digest(Target() + "\\" + entry.cFileName);
    if (search != INVALID_HANDLE_VALUE)
        FindClose(search);
    if (Exists(InstalledPath(0)))
        files[InstalledPath(0)] = Digest(InstalledPath(0));
    files["group shortcut"] = ReadLink(GroupShortcut(kProduct)).path;
    return Outcome(exitCode, ResultValue(), ProductValues(), files);
}

class BundleRun : public SetupExeTest {
protected:
    // The medium folder as a bundle, and beside it another script, payload
    // file and XML descriptor: a run that read any of them would install
    // elsewhere, other content or another version, or fail.
    void WriteBundle()
    {
        CreateDirectoryA(kDownloads, 0);
        WriteText(std::string(kDownloads) + "DorselSetup.exe", BundleOfFolder(kMedium));
        WriteText(std::string(kDownloads) + "ZynSetup.dat", "[INIT]\r\nTARGET=Decoy\r\n");
        WriteText(std::string(kDownloads) + "Dorsel", "decoy:Dorsel");
        WriteText(std::string(kDownloads) + "VAKZYN.xml",
                  "<?xml version=\"1.0\"?><build><zyn id=\"DORSEL\"><xrelease order=\"R\">"
                  "<release id=\"R\"><title>Decoy</title><version>9.99.0000</version>"
                  "</release></xrelease></zyn></build>");
    }

    // The payload's files sum to a multiple of 1024 bytes and `over` more:
    // an EstimatedSize (in KB, rounded up) taken from other sizes than the
    // folder's (a frame's length, a file left out) differs by a KB.
    void PadPayload(size_t over)
    {
        size_t total = 0;
        for (const char *name : kSourceNames)
            total += ReadText(MediumFile(name)).size();
        std::string last = MediumFile("ZynFlash.dll");
        WriteText(last, ReadText(last) + std::string((over + 1024 - total % 1024) % 1024, 'x'));
    }

    std::vector<Outcome> InstallUpgradeUninstall(bool fromBundle)
    {
        std::vector<Outcome> outcomes;
        std::set<std::string> staging = StagingFolders();
        for (const char *step : {"3.00.0000", "3.01.0000", "/S /U"}) {
            if (step[0] != '/') {
                WriteMedium(step[3] == '0' ? "v1" : "v2", kProduct, step);
                PadPayload(step[3] == '0' ? 0 : 1);  // more or fewer bytes show
                if (fromBundle)
                    WriteBundle();
            }
            const char *arguments = step[0] == '/' ? step : "/S";
            outcomes.push_back(OutcomeOf(
                fromBundle ? RunProgram(std::string(kDownloads) + "DorselSetup.exe", arguments)
                           : RunSetup(arguments)));
            EXPECT_EQ(std::set<std::string>(), AddedStagingFolders(staging)) << step;
        }
        return outcomes;
    }
};

// The uninstaller counts by its size and checksum: a bundle that installed
// itself, rather than the plain setup.exe it carries, differs there. The
// uninstall entry's values, EstimatedSize among them, are the folder's.
TEST_F(BundleRun, InstallUpgradeAndUninstallAsFromTheFolder)
{
    std::vector<Outcome> fromFolder = InstallUpgradeUninstall(false);
    for (const Outcome &outcome : fromFolder)
        ASSERT_EQ(0u, std::get<0>(outcome));
    EXPECT_EQ(1u, std::get<2>(fromFolder[0]).count(UNINSTALL_ENTRY_KEY "\\EstimatedSize"));
    TearDown();
    SetUp();
    EXPECT_EQ(fromFolder, InstallUpgradeUninstall(true));
}

// Run by tests/release/release_test.sh with the release's signed bundle of
// the sample folder; the script compares the copy of the installed
// uninstaller with the signed setup.exe and verifies its signature.
class SignedBundle : public SetupExeTest {};

TEST_F(SignedBundle, InstallsTheSignedSetupAsItsUninstaller)
{
    const char *bundle = getenv("SETUP_SIGNED_BUNDLE");
    const char *copy = getenv("SETUP_UNINSTALLER_COPY");
    ASSERT_TRUE(bundle && copy) << "SETUP_SIGNED_BUNDLE and SETUP_UNINSTALLER_COPY";
    ASSERT_EQ(0u, RunProgram(bundle, "/S"));
    ASSERT_TRUE(CopyFileA(InstalledPath(0).c_str(), copy, FALSE));
    EXPECT_EQ(0u, RunUninstaller("/S /U"));
    EXPECT_FALSE(Exists(InstalledPath(1)));
    RemoveTree("C:\\DRIVERS");  // the sample's download folder
}

} // namespace
