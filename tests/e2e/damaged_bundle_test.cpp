// Damaged, truncated and crafted bundles, each run in place of the medium
// folder's setup.exe with the folder's own files beside it as decoys: a run
// that read them, or that took the damage for data, would install. Each row
// ends with its code before anything changes (8; 9 for a payload file that
// fails only while it is staged) and its log names what failed. Rows whose
// damage the data's checksum would otherwise catch first have it set again,
// so that each reaches the check it is meant for.
#include "tests/e2e/bundles.h"
#include "tests/e2e/setup_exe.h"

#include <gtest/gtest.h>

#include <string>

namespace {

struct DamagedRow {
    const char *name;
    void (*damage)(TestBundle *);  // on the assembled bundle of the medium folder
    DWORD exitCode;
    const char *logged;            // part of the line that names the failure
};

void Truncate(TestBundle *b, size_t length) { b->bytes.resize(b->Data() + length); }
void Flip(TestBundle *b, size_t at) { b->bytes[at] ^= 0x20; }

void FlipAndResign(TestBundle *b, size_t at)
{
    Flip(b, at);
    b->Resign();
}

void AddOne(TestBundle *b, size_t field, int change)
{
    Put32(&b->bytes, field, Get32(b->bytes, field) + change);
    b->Resign();
}

// A file more, of a name no run asks for: only the index's own checks refuse it.
void AddFile(TestBundle *b, const char *name)
{
    b->Add(name, "more");
    b->Assemble();
}

void RemoveFile(TestBundle *b, const char *name)
{
    b->files.erase(b->files.begin() + b->Find(name));
    b->Assemble();
}

// The script's frame holds more than its header and its entry state; the
// entry's checksum is that of all it holds.
void LongerScript(TestBundle *b)
{
    BundleFile &script = b->files[b->Find("ZynSetup.dat")];
    script.frame = StoredFrame(script.content + "[MORE]\r\n", (uint32_t)script.content.size());
    b->Assemble();
    Put32(&b->bytes, b->Entry("ZynSetup.dat") + ENTRY_CHECKSUM,
          ContentChecksum(script.content + "[MORE]\r\n"));
    b->Resign();
}

const char kHeader[] = "] bundle: header at offset ";
// The file that AddFile adds comes last in the index.
const char kAddedEntry[] = "] bundle: index entry 13 of 13 at offset ";
const DamagedRow kRows[] = {
    {"TruncatedInTheHeader", [](TestBundle *b) { Truncate(b, 20); }, 8, kHeader},
    {"TruncatedInTheIndex", [](TestBundle *b) { Truncate(b, 300); }, 8, kHeader},
    {"TruncatedInTheData", [](TestBundle *b) { Truncate(b, b->Frame("ZynFlash.dll") - b->Data()); }, 8, kHeader},
    {"LastByteMissing", [](TestBundle *b) { b->bytes.pop_back(); }, 8, kHeader},
    {"EightBytesAfterTheData", [](TestBundle *b) { b->bytes.append(8, '\0'); }, 8, kHeader},
    {"ByteFlippedInTheHeader", [](TestBundle *b) { FlipAndResign(b, b->Data() + 12); }, 8, kHeader},
    {"ByteFlippedInTheIndex", [](TestBundle *b) { FlipAndResign(b, b->Entry("ZynFlash.dll") + 40); }, 8,
     "] bundle: index entry 12 of 12 at offset "},
    {"ByteFlippedInTheData", [](TestBundle *b) { Flip(b, b->Frame("Dorsel") + 20); }, 8,
     "] bundle: checksum over the data at offset "},
    {"ByteFlippedInTheChecksum", [](TestBundle *b) { Flip(b, b->Data() + 9); }, 8, "] bundle: checksum "},
    {"TotalLengthDisagrees", [](TestBundle *b) { AddOne(b, b->Data() + 20, 1); }, 8, kHeader},
    {"FrameLengthDisagrees", [](TestBundle *b) { AddOne(b, b->Entry("Dorsel") + ENTRY_COMPRESSED, -1); }, 8,
     "] bundle: index entry 3 of 12 at offset "},
    {"LastFrameShorterThanItsEnd", [](TestBundle *b) { AddOne(b, b->Entry("ZynFlash.dll") + ENTRY_COMPRESSED, -1); }, 8,
     " refused: its frames end before the data\r\n"},
    {"SizeDisagreesWithItsFrame", [](TestBundle *b) { AddOne(b, b->Entry("ZynFlash.dll") + ENTRY_SIZE, 1); }, 8,
     "] bundle: frame of ZynFlash.dll at offset "},
    {"NameWithABackslash", [](TestBundle *b) { AddFile(b, "sub\\more.dll"); }, 8, kAddedEntry},
    {"NameWithASlash", [](TestBundle *b) { AddFile(b, "sub/more.dll"); }, 8, kAddedEntry},
    {"NameWithTwoDots", [](TestBundle *b) { AddFile(b, "..more.dll"); }, 8, kAddedEntry},
    {"NameWithADrive", [](TestBundle *b) { AddFile(b, "C:more.dll"); }, 8, kAddedEntry},
    {"NameWithAStream", [](TestBundle *b) { AddFile(b, "more.dll:x"); }, 8, kAddedEntry},
    {"DeviceName", [](TestBundle *b) { AddFile(b, "lpt1.dll"); }, 8, kAddedEntry},
    {"DuplicateNames", [](TestBundle *b) { AddFile(b, "zynflash.DLL"); }, 8, kAddedEntry},
    {"MissingScript", [](TestBundle *b) { RemoveFile(b, "ZynSetup.dat"); }, 8, "] bundle: ZynSetup.dat missing"},
    {"MissingPayloadFile", [](TestBundle *b) { RemoveFile(b, "ZynFlash.dll"); }, 8, "] bundle: ZynFlash.dll missing"},
    {"ScriptDecodesLongerThanStated", LongerScript, 8, "] bundle: ZynSetup.dat at offset "},
    {"ScriptChecksumUnlikeItsEntry",
     [](TestBundle *b) { FlipAndResign(b, b->Entry("ZynSetup.dat") + ENTRY_CHECKSUM); }, 8,
     "] bundle: ZynSetup.dat at offset "},
    // Past every check before the plan: the checksum over the data holds,
    // the file's own content checksum does not.
    {"PayloadFileFailsWhileStaged", [](TestBundle *b) { FlipAndResign(b, b->Frame("ZynFlash.dll") + 20); }, 9,
     "] bundle: ZynFlash.dll at offset "},
};

class DamagedBundle : public SetupExeTest, public ::testing::WithParamInterface<DamagedRow> {};

TEST_P(DamagedBundle, EndsBeforeAnythingChanges)
{
    const DamagedRow &row = GetParam();
    TestBundle bundle = LayOutBundle(kMedium);
    row.damage(&bundle);
    WriteText(MediumFile("setup.exe"), bundle.bytes);
    std::set<std::string> staging = StagingFolders();
    EXPECT_EQ(row.exitCode, RunSetup("/S /L=C:\\ze2e"));
    EXPECT_EQ(row.exitCode == 8 ? "0008" : "0009", ResultValue());
    std::string log = ReadText("C:\\ze2e\\ZynSetup.log");
    EXPECT_NE(std::string::npos, log.find(row.logged)) << log;
    EXPECT_EQ(std::set<std::string>(), AddedStagingFolders(staging));
    EXPECT_FALSE(Exists(Target()));
    EXPECT_FALSE(Exists(InstalledPath(0)));
    EXPECT_FALSE(KeyExists(PRODUCT_KEY));
    EXPECT_FALSE(KeyExists(UNINSTALL_ENTRY_KEY));
}

INSTANTIATE_TEST_SUITE_P(Rows, DamagedBundle, ::testing::ValuesIn(kRows),
                         [](const ::testing::TestParamInfo<DamagedRow> &info) {
                             return std::string(info.param.name);
                         });

class WholeBundle : public SetupExeTest {};

// On Windows 98 the Unicode layer comes from the bundle, loaded from its
// private folder, which still goes at the end, also after a plan that fails
// with the layer loaded. A layer that does not load ends the run with 8, as
// beside a program.
TEST_F(WholeBundle, OnWindows98TheUnicodeLayerComesFromTheBundle)
{
    SetWineVersion("win98");
    SetDllOverride("setup.exe", "unicows", "native");  // never Wine's own
    TestBundle whole = LayOutBundle(kMedium), broken = whole, refused = whole;
    broken.files[broken.Find("unicows.dll")] = {"unicows.dll", "no DLL", StoredFrame("no DLL", 6)};
    broken.Assemble();
    BundleFile &script = refused.files[refused.Find("ZynSetup.dat")];
    script.content.replace(script.content.find("=Dorsel"), 7, "=..");  // a TARGET refused
    script.frame = StoredFrame(script.content, (uint32_t)script.content.size());
    refused.Assemble();
    ASSERT_TRUE(DeleteFileA(MediumFile("unicows.dll").c_str()));  // none beside it
    std::set<std::string> staging = StagingFolders();
    for (const TestBundle *bundle : {&broken, &refused, &whole}) {
        WriteText(MediumFile("setup.exe"), bundle->bytes);
        EXPECT_EQ(bundle == &whole ? 0u : 8u, RunSetup("/S"));
        EXPECT_EQ(std::set<std::string>(), AddedStagingFolders(staging));
    }
    EXPECT_EQ(Sz(kProduct), ReadRaw(PRODUCT_KEY, "Name").bytes);
}

// The elevated copy of a bundle reads only the file it runs from. Here the
// test build's stand-in (setup_elevating) has the elevated copy find another
// bundle, whole and valid but with other files, under its own name, as if
// the file had been swapped after the elevation prompt: the run ends with 8
// and installs nothing of either. Without the swap the same build installs.
TEST_F(WholeBundle, ElevatedCopyRefusesAFileSwappedAfterThePrompt)
{
    ASSERT_TRUE(CopyFileA(TestFile("setup_elevating.exe").c_str(), MediumFile("setup.exe").c_str(),
                          FALSE));
    TestBundle bundle = LayOutBundle(kMedium);
    WriteText(MediumFile("setup.exe"), bundle.bytes);
    bundle.files[bundle.Find("ZynFlash.dll")].frame = StoredFrame("swapped", 7);
    bundle.files[bundle.Find("ZynFlash.dll")].content = "swapped";
    bundle.Assemble();
    WriteText("C:\\ze2e\\swapped.exe", bundle.bytes);
    EXPECT_EQ(8u, RunSetup("/S /L=C:\\ze2e"));
    std::string log = ReadText("C:\\ze2e\\ZynSetup.log");
    EXPECT_NE(std::string::npos,
              log.find("] bundle: C:\\ze2e\\swapped.exe is not the file this program runs from"))
        << log;
    EXPECT_NE(std::string::npos, log.find("] elevated copy ended, exit code 8")) << log;
    EXPECT_FALSE(Exists(Target()));
    ASSERT_TRUE(DeleteFileA("C:\\ze2e\\swapped.exe"));
    EXPECT_EQ(0u, RunSetup("/S"));
    ExpectPayloadInstalled("v1");
}

} // namespace
