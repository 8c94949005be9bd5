// The bundle as the run reads it, through real files under Wine: the data
// the builder makes with Debian's libzstd (the fuzz corpus's sample, whose
// frames are compressed), decoded file by file with every check; and which
// file the running program is.
#include "source/setup_source.h"
#include "tests/files/file_access.h"
#include "third_party/zstd/lib/common/xxhash.h"

#include <gtest/gtest.h>

#include <string>

namespace {

const char kFolder[] = "C:\\zbundle";

std::string TestFolder()
{
    char path[MAX_PATH];
    std::string module(path, GetModuleFileNameA(0, path, MAX_PATH));
    return module.substr(0, module.rfind('\\'));
}

class BundleSource : public ::testing::Test {
protected:
    SetupBundle bundle = {};
    void SetUp() override
    {
        RemoveTree(kFolder);
        CreateDirectoryA(kFolder, 0);
    }
    void TearDown() override
    {
        CloseProgramBundle(&bundle);
        RemoveTree(kFolder);
    }
    // The data alone, as a file whose data starts at its first byte.
    void OpenData(const std::string &data)
    {
        WriteText(std::string(kFolder) + "\\data", data);
        bundle.file = CreateFileA((std::string(kFolder) + "\\data").c_str(), GENERIC_READ,
                                  FILE_SHARE_READ, 0, OPEN_EXISTING, 0, 0);
        ASSERT_NE(INVALID_HANDLE_VALUE, bundle.file);
        ASSERT_TRUE(ReadBundle((const unsigned char *)data.data(), (uint32_t)data.size(),
                               &bundle.header, &bundle.index));
    }
    std::string Decode(int i, int expected = DECODE_DONE)
    {
        std::string path = std::string(kFolder) + "\\" + bundle.index.entries[i].name;
        EXPECT_EQ(expected, DecodeBundleFile(&bundle, &bundle.index.entries[i], path.c_str()));
        return ReadText(path);
    }
};

TEST_F(BundleSource, CompressedFilesDecodeToTheirSizeAndChecksum)
{
    OpenData(ReadText(TestFolder() + "\\sample-bundle-data"));
    ASSERT_EQ(12u, bundle.index.fileCount);
    const BundleEntry &setup = bundle.index.entries[0];
    EXPECT_LT(setup.compressedSize, setup.size / 2);  // a compressed frame among them
    EXPECT_TRUE(CheckBundleData(&bundle));
    for (uint32_t i = 0; i < bundle.index.fileCount; ++i) {
        const BundleEntry &entry = bundle.index.entries[i];
        std::string content = Decode((int)i);
        EXPECT_EQ(entry.size, content.size()) << entry.name;
        EXPECT_EQ(entry.checksum, XXH32(content.data(), content.size(), 0)) << entry.name;
    }
    Decode(0, DECODE_FAILED);  // a file that is there already is never written over
}

// A program file without data after its sections is no bundle, and nothing
// of it stays open; the file this test runs from is the running image, any
// other file is not.
TEST_F(BundleSource, PlainProgramAndTheRunningImage)
{
    char program[MAX_PATH];
    ASSERT_TRUE(ReadProgramPath(program));
    std::string plain = TestFolder() + "\\..\\setup.exe";
    EXPECT_EQ(BUNDLE_NONE, OpenProgramBundle(plain.c_str(), &bundle));
    EXPECT_FALSE(bundle.file);
    HANDLE own = CreateFileA(program, GENERIC_READ, FILE_SHARE_READ, 0, OPEN_EXISTING, 0, 0);
    HANDLE other = CreateFileA(plain.c_str(), GENERIC_READ, FILE_SHARE_READ, 0, OPEN_EXISTING, 0, 0);
    ASSERT_NE(INVALID_HANDLE_VALUE, own);
    ASSERT_NE(INVALID_HANDLE_VALUE, other);
    EXPECT_TRUE(IsRunningImageFile(own));
    EXPECT_FALSE(IsRunningImageFile(other));
    CloseHandle(own);
    CloseHandle(other);
}

} // namespace
