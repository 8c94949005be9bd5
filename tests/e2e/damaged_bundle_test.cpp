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
#include <vector>

namespace {

// A bundle of the medium folder, laid out file by file, then as bytes.
struct Bundle {
    std::string stub;
    std::vector<BundleFile> files;
    std::vector<std::string> frames;
    std::string bytes;  // stub and data, once assembled

    int Find(const char *name) const
    {
        for (size_t i = 0; i < files.size(); ++i)
            if (files[i].name == name)
                return (int)i;
        return -1;
    }
    void Assemble() { bytes = stub + BundleData(files, frames); }
    size_t Data() const { return stub.size(); }
    size_t Entry(const char *name) const { return Data() + EntryAt(Find(name)); }
    size_t Frame(const char *name) const
    {
        return Data() + Get32(bytes, Entry(name) + ENTRY_OFFSET);
    }
    void Resign() { ResignBundle(&bytes, Data()); }
    void Flip(size_t at) { bytes[at] = (char)(bytes[at] ^ 0x20); }
};

struct DamagedRow {
    const char *name;
    void (*damage)(Bundle *);  // on an assembled bundle
    DWORD exitCode;
    const char *logged;        // part of the line that names the failure
};

void Truncate(Bundle *b, size_t length) { b->bytes.resize(b->Data() + length); }

void SetField(Bundle *b, size_t at, uint32_t value)
{
    Put32(&b->bytes, at, value);
    b->Resign();
}

// A file more, of a name no run asks for: only the index's own checks refuse it.
void Add(Bundle *b, const char *name)
{
    b->files.push_back({name, "more"});
    b->frames.push_back(StoredFrame("more"));
    b->Assemble();
}

void Remove(Bundle *b, const char *name)
{
    int i = b->Find(name);
    b->files.erase(b->files.begin() + i);
    b->frames.erase(b->frames.begin() + i);
    b->Assemble();
}

// The script's frame holds more than its header and its entry state; the
// entry's checksum is the longer content's.
void LongerScript(Bundle *b)
{
    int i = b->Find("ZynSetup.dat");
    std::string longer = b->files[i].content + "[MORE]\r\n";
    b->frames[i] = StoredFrame(longer, (uint32_t)b->files[i].content.size());
    b->Assemble();
    SetField(b, b->Entry("ZynSetup.dat") + ENTRY_CHECKSUM, ContentChecksum(longer));
}

const DamagedRow kRows[] = {
    {"TruncatedInTheHeader", [](Bundle *b) { Truncate(b, 20); }, 8, "] bundle: header at offset "},
    {"TruncatedInTheIndex", [](Bundle *b) { Truncate(b, EntryAt(3) + 7); }, 8, "] bundle: header "},
    {"TruncatedInTheData", [](Bundle *b) { Truncate(b, (b->bytes.size() - b->Data()) / 2); }, 8,
     "] bundle: header "},
    {"LastByteMissing", [](Bundle *b) { b->bytes.pop_back(); }, 8, "] bundle: header "},
    {"ByteFlippedInTheHeader", [](Bundle *b) { SetField(b, b->Data() + 12, 0x21); }, 8,
     "] bundle: header "},
    {"ByteFlippedInTheIndex",  // a zero after a name
     [](Bundle *b) { b->Flip(b->Entry("ZynFlash.dll") + 40); b->Resign(); }, 8,
     "] bundle: index at offset "},
    {"ByteFlippedInTheData", [](Bundle *b) { b->Flip(b->Frame("Dorsel") + 20); }, 8,
     "] bundle: checksum over the data at offset "},
    {"ByteFlippedInTheChecksum", [](Bundle *b) { b->Flip(b->Data() + 9); }, 8,
     "] bundle: checksum "},
    {"TotalLengthDisagrees",
     [](Bundle *b) { SetField(b, b->Data() + 20, (uint32_t)(b->bytes.size() - b->Data() + 1)); },
     8, "] bundle: header "},
    {"FrameLengthDisagrees",  // the frames no longer fill the data
     [](Bundle *b) {
         size_t at = b->Entry("Dorsel") + ENTRY_COMPRESSED;
         SetField(b, at, Get32(b->bytes, at) - 1);
     },
     8, "] bundle: index "},
    {"SizeDisagreesWithItsFrame",
     [](Bundle *b) {
         size_t at = b->Entry("ZynFlash.dll") + ENTRY_SIZE;
         SetField(b, at, Get32(b->bytes, at) + 1);
     },
     8, "] bundle: frame of ZynFlash.dll at offset "},
    {"NameWithABackslash", [](Bundle *b) { Add(b, "sub\\more.dll"); }, 8, "] bundle: index "},
    {"NameWithASlash", [](Bundle *b) { Add(b, "sub/more.dll"); }, 8, "] bundle: index "},
    {"NameWithTwoDots", [](Bundle *b) { Add(b, "..more.dll"); }, 8, "] bundle: index "},
    {"NameWithADrive", [](Bundle *b) { Add(b, "C:more.dll"); }, 8, "] bundle: index "},
    {"NameWithAStream", [](Bundle *b) { Add(b, "more.dll:x"); }, 8, "] bundle: index "},
    {"DeviceName", [](Bundle *b) { Add(b, "lpt1.dll"); }, 8, "] bundle: index "},
    {"DuplicateNames", [](Bundle *b) { Add(b, "zynflash.DLL"); }, 8, "] bundle: index "},
    {"MissingScript", [](Bundle *b) { Remove(b, "ZynSetup.dat"); }, 8,
     "] bundle: ZynSetup.dat missing"},
    {"MissingPayloadFile", [](Bundle *b) { Remove(b, "ZynFlash.dll"); }, 8,
     "] bundle: ZynFlash.dll missing"},
    {"ScriptDecodesLongerThanStated", LongerScript, 8, "] bundle: ZynSetup.dat at offset "},
    {"ScriptChecksumDisagreesWithItsEntry",  // the frame's own checksum holds
     [](Bundle *b) { b->Flip(b->Entry("ZynSetup.dat") + ENTRY_CHECKSUM); b->Resign(); }, 8,
     "] bundle: ZynSetup.dat at offset "},
    // Past every check before the plan: the checksum over the data holds,
    // the file's own content checksum does not.
    {"PayloadFileFailsWhileStaged",
     [](Bundle *b) { b->Flip(b->Frame("ZynFlash.dll") + 20); b->Resign(); }, 9,
     "] bundle: ZynFlash.dll at offset "},
};

// The medium folder's files as SetUp wrote them, bundled behind its setup.exe.
Bundle MediumBundle()
{
    Bundle bundle;
    bundle.stub = BundleStub(ReadText(MediumFile("setup.exe")));
    bundle.files = SetupFolderFiles(kMedium);
    for (const BundleFile &file : bundle.files)
        bundle.frames.push_back(StoredFrame(file.content));
    bundle.Assemble();
    return bundle;
}

class DamagedBundle : public SetupExeTest, public ::testing::WithParamInterface<DamagedRow> {};

TEST_P(DamagedBundle, EndsBeforeAnythingChanges)
{
    const DamagedRow &row = GetParam();
    Bundle bundle = MediumBundle();
    row.damage(&bundle);
    WriteText(MediumFile("setup.exe"), bundle.bytes);
    std::set<std::string> staging = StagingFolders();
    EXPECT_EQ(row.exitCode, RunSetup("/S /L=C:\\ze2e"));
    char result[8];
    wsprintfA(result, "%04X", row.exitCode);
    EXPECT_EQ(result, ResultValue());
    std::string log = ReadText("C:\\ze2e\\ZynSetup.log");
    EXPECT_NE(std::string::npos, log.find(row.logged)) << log;
    EXPECT_EQ(std::set<std::string>(), AddedStagingFolders(staging));
    EXPECT_FALSE(Exists(Target()));
    EXPECT_FALSE(Exists(InstalledPath(0)));
    for (const char *name : {"ProgDir", "Name", "Version"})
        EXPECT_FALSE(ReadRaw(PRODUCT_KEY, name).present) << name;
    EXPECT_FALSE(KeyExists(UNINSTALL_ENTRY_KEY));
    EXPECT_FALSE(KeyExists(TOOLBAR_KEY));
}

INSTANTIATE_TEST_SUITE_P(Rows, DamagedBundle, ::testing::ValuesIn(kRows),
                         [](const ::testing::TestParamInfo<DamagedRow> &info) {
                             return std::string(info.param.name);
                         });

// The table's control: the same bundle whole installs from its own data (the
// folder beside it now holds another version), and its private folder goes.
class WholeBundle : public SetupExeTest {};

TEST_F(WholeBundle, InstallsItsOwnData)
{
    std::string plain = ReadText(MediumFile("setup.exe"));
    WriteText(MediumFile("setup.exe"), MediumBundle().bytes);
    WriteMedium("v2", kProduct, "3.01.0000");
    std::set<std::string> staging = StagingFolders();
    ASSERT_EQ(0u, RunSetup("/S"));
    ExpectPayloadInstalled("v1");
    EXPECT_EQ(plain, ReadText(InstalledPath(0)));  // the uninstaller: the plain setup.exe
    EXPECT_EQ(std::set<std::string>(), AddedStagingFolders(staging));
}

void Replace(Bundle *bundle, const char *name, const std::string &content)
{
    int i = bundle->Find(name);
    bundle->files[i].content = content;
    bundle->frames[i] = StoredFrame(content);
    bundle->Assemble();
}

// On Windows 98 the Unicode layer comes from the bundle, loaded from its
// private folder, which still goes at the end, also after a plan that fails
// with the layer loaded. A layer that does not load ends the run with 8, as
// beside a program.
TEST_F(WholeBundle, OnWindows98TheUnicodeLayerComesFromTheBundle)
{
    SetWineVersion("win98");
    SetDllOverride("setup.exe", "unicows", "native");  // never Wine's own
    Bundle whole = MediumBundle(), broken = whole, refused = whole;
    Replace(&broken, "unicows.dll", "no DLL");
    std::string script = whole.files[whole.Find("ZynSetup.dat")].content;
    Replace(&refused, "ZynSetup.dat", script.replace(script.find("=Dorsel"), 7, "=.."));
    ASSERT_TRUE(DeleteFileA(MediumFile("unicows.dll").c_str()));  // none beside it
    std::set<std::string> staging = StagingFolders();
    for (const Bundle *bundle : {&broken, &refused, &whole}) {
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
    Bundle bundle = MediumBundle();
    WriteText(MediumFile("setup.exe"), bundle.bytes);
    bundle.files[bundle.Find("ZynFlash.dll")].content = "swapped";
    bundle.frames[bundle.Find("ZynFlash.dll")] = StoredFrame("swapped");
    bundle.Assemble();
    WriteText("C:\\ze2e\\swapped.exe", bundle.bytes);
    EXPECT_EQ(8u, RunSetup("/S /L=C:\\ze2e"));
    EXPECT_EQ("0008", ResultValue());
    std::string log = ReadText("C:\\ze2e\\ZynSetup.log");
    EXPECT_NE(std::string::npos,
              log.find("] bundle: C:\\ze2e\\swapped.exe is not the file this program runs from"))
        << log;
    EXPECT_NE(std::string::npos, log.find("] elevated copy ended, exit code 8")) << log;
    EXPECT_FALSE(Exists(Target()));
    EXPECT_FALSE(KeyExists(UNINSTALL_ENTRY_KEY));
    ASSERT_TRUE(DeleteFileA("C:\\ze2e\\swapped.exe"));
    EXPECT_EQ(0u, RunSetup("/S"));
    ExpectPayloadInstalled("v1");
}

} // namespace
