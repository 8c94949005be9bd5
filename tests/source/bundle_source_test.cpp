// The bundle as the run reads it, through real files under Wine: the data
// the builder makes with Debian's libzstd (the fuzz corpus's sample, whose
// frames are compressed), decoded file by file with every check; and which
// file the running program is.
#include "source/setup_source.h"
#include "tests/files/file_access.h"
#include "third_party/zstd/lib/common/xxhash.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

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

// Files decoded and written in several pieces, each compared byte for byte
// with the file the builder took (large-files.sh makes both): a piece's
// edges (the first a file whose last block copies its first bytes), several
// pieces and an odd tail, the largest window, and a ring that wraps under
// matches reaching back almost a whole window.
TEST_F(BundleSource, FilesAcrossWritePiecesDecodeByteForByte)
{
    const uint32_t piece = BUNDLE_WRITE_PIECE, window = BUNDLE_MAX_WINDOW;
    const struct {
        const char *name;
        uint32_t size;
    } rows[] = {{"setup.exe", 0}, {"Dorsel", 1}, {"Dorsel.zyn", piece - 1}, {"VAKZYN.xml", piece},
                {"ZynSetup.dat", piece + 1}, {"ZynSetup.dll", 3 * piece + 12345},
                {"ZYNSYSID.sys", window}, {"ZYNSYSID.vxd", 2 * window + 12345},
                {"zynliba.dll", piece + 1},  // incompressible: stored blocks
                {"zynlibb.dll", 2 * piece + 777}};
    OpenData(ReadText(TestFolder() + "\\large-bundle-data"));
    for (const auto &row : rows) {
        const BundleEntry *entry = FindBundleEntry(&bundle.index, row.name);
        ASSERT_TRUE(entry) << row.name;
        EXPECT_EQ(row.size, entry->size) << row.name;
        std::string decoded = Decode((int)(entry - bundle.index.entries));
        std::string original = ReadText(TestFolder() + "\\large-files\\" + row.name);
        size_t same = 0;
        while (same < decoded.size() && same < original.size() && decoded[same] == original[same])
            ++same;
        EXPECT_TRUE(decoded.size() == original.size() && same == original.size())
            << row.name << ": " << decoded.size() << " bytes decoded, " << original.size()
            << " expected, the first " << same << " alike";
    }
}

// The decoding threads' shares: whole files, as even as they can be made. The
// first row is make bench-bundle's payload in MB, on which handing each file
// to the thread with the least so far leaves 485 against 581, the plan 527
// against 542; the largest file alone when it outweighs the others;
// one thread decodes everything.
TEST(DecodingPlan, SharesComeAsNearAsWholeFilesAllow)
{
    const struct {
        std::vector<uint32_t> sizes;  // largest first
        int threads;
        uint32_t largestShare;
    } rows[] = {{{142, 132, 128, 122, 118, 113, 108, 104, 99, 1, 1, 1}, 2, 542},
                {{3, 3, 2, 2, 2}, 2, 6},            // one each way: 7 against 5 before
                {{11, 10, 9, 7, 4, 3, 3}, 3, 16},   // 17 before
                {{20, 8, 7, 6, 1}, 2, 21},
                {{50, 1, 1, 1}, 4, 50},
                {{5, 4, 3}, 1, 12}};
    for (const auto &row : rows) {
        int owner[BUNDLE_MAX_FILES];
        PlanDecodingThreads(row.sizes.data(), (int)row.sizes.size(), row.threads, owner);
        std::vector<uint32_t> shares(row.threads);
        for (size_t file = 0; file < row.sizes.size(); ++file) {
            ASSERT_TRUE(owner[file] >= 0 && owner[file] < row.threads);
            shares[owner[file]] += row.sizes[file];
        }
        EXPECT_EQ(row.largestShare, *std::max_element(shares.begin(), shares.end()))
            << row.sizes.size() << " files on " << row.threads << " threads";
    }
}

// What the run makes of its own file: fewer than 8 bytes after the data are
// signing's padding, whatever their value (the data's checksum covers the
// data, a signature the padding); more must be refused. A file that another
// handle may write or delete cannot be held against a swap: a bundle is
// refused, a plain setup.exe still runs.
TEST_F(BundleSource, WhatFollowsTheDataAndWhoElseHoldsTheFile)
{
    const struct {
        bool bundled;
        size_t tail;
        char filler;
        DWORD othersAccess;  // another handle's, sharing read, write and delete; 0 none
        int expected;
    } rows[] = {
        {true, 0, 0, 0, BUNDLE_FOUND},
        {true, 1, 0, 0, BUNDLE_FOUND},
        {true, 7, 0, 0, BUNDLE_FOUND},
        {true, 7, '\xFF', 0, BUNDLE_FOUND},
        {true, 8, 0, 0, BUNDLE_REFUSED},
        {true, 8, '\xFF', 0, BUNDLE_REFUSED},
        {true, 4096, 0, 0, BUNDLE_REFUSED},
        {false, 7, 0, 0, BUNDLE_NONE},
        {false, 8, 0, 0, BUNDLE_REFUSED},
        {true, 0, 0, GENERIC_READ, BUNDLE_FOUND},
        {true, 0, 0, GENERIC_WRITE, BUNDLE_REFUSED},
        {true, 0, 0, DELETE, BUNDLE_REFUSED},
        {false, 0, 0, GENERIC_WRITE, BUNDLE_NONE},
    };
    std::string setup = ReadText(TestFolder() + "\\..\\setup.exe");
    BundlePlace place;
    ASSERT_TRUE(FindBundleData((const unsigned char *)setup.data(), (uint32_t)setup.size(),
                               (uint32_t)setup.size(), &place));
    std::string data = ReadText(TestFolder() + "\\sample-bundle-data");
    std::string program = std::string(kFolder) + "\\setup.exe";
    for (const auto &row : rows) {
        WriteText(program, setup.substr(0, place.dataStart) + (row.bundled ? data : "") +
                               std::string(row.tail, row.filler));
        HANDLE other = INVALID_HANDLE_VALUE;
        if (row.othersAccess) {
            other = CreateFileA(program.c_str(), row.othersAccess,
                                FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, 0,
                                OPEN_EXISTING, 0, 0);
            ASSERT_NE(INVALID_HANDLE_VALUE, other);
        }
        EXPECT_EQ(row.expected, OpenProgramBundle(program.c_str(), &bundle))
            << row.bundled << " " << row.tail << " " << std::hex << row.othersAccess;
        CloseProgramBundle(&bundle);
        if (other != INVALID_HANDLE_VALUE)
            CloseHandle(other);
    }
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
