// The bundle's reader on data made here: one valid bundle, and a table of
// damaged ones that each must be refused. Native, under the sanitizers: a
// read past the bytes given fails the run even when the result is right.
#include "source/bundle_format.h"

#include <gtest/gtest.h>

#include <stdint.h>
#include <string.h>

#include <string>
#include <vector>

namespace {

typedef std::vector<unsigned char> Bytes;

void Put32(Bytes *bytes, size_t at, uint32_t value)
{
    for (int i = 0; i < 4; ++i)
        (*bytes)[at + i] = (unsigned char)(value >> (8 * i));
}

uint32_t Get32(const Bytes &bytes, size_t at)
{
    return bytes[at] | bytes[at + 1] << 8 | bytes[at + 2] << 16 | (uint32_t)bytes[at + 3] << 24;
}

size_t Entry(int i)
{
    return BUNDLE_HEADER_SIZE + i * BUNDLE_ENTRY_SIZE;
}

void Seal(Bytes *data)
{
    Put32(data, 8, ChecksumBundleData(data->data(), (uint32_t)data->size()));
}

// Three files whose "frames" are filler bytes: the reader never decodes.
Bytes ValidData()
{
    struct File {
        const char *name;
        uint32_t size, compressed;
    } const files[] = {{"setup.exe", 100, 20}, {"Dorsel", 0, 13}, {"ZynSetup.dat", 50, 30}};
    Bytes data(Entry(3), 0);
    memcpy(data.data(), kBundleMagic, BUNDLE_MAGIC_SIZE);
    for (int i = 0; i < 3; ++i) {
        memcpy(data.data() + Entry(i), files[i].name, strlen(files[i].name));
        Put32(&data, Entry(i) + 64, files[i].size);
        Put32(&data, Entry(i) + 68, files[i].compressed);
        Put32(&data, Entry(i) + 72, (uint32_t)data.size());
        Put32(&data, Entry(i) + 76, 0x1234567u + i);
        data.insert(data.end(), files[i].compressed, (unsigned char)(0xA0 + i));
    }
    Put32(&data, 12, BUNDLE_FORMAT_VERSION);
    Put32(&data, 16, BUNDLE_HEADER_SIZE);
    Put32(&data, 20, (uint32_t)data.size());
    Put32(&data, 24, BUNDLE_HEADER_SIZE);
    Put32(&data, 28, 3 * BUNDLE_ENTRY_SIZE);
    Put32(&data, 32, 3);
    Seal(&data);
    return data;
}

// Frame i made `extra` bytes longer, the frames after it moved along.
void GrowFrame(Bytes *data, int i, uint32_t extra)
{
    uint32_t end = Get32(*data, Entry(i) + 72) + Get32(*data, Entry(i) + 68);
    data->insert(data->begin() + end, extra, 0x5A);
    Put32(data, Entry(i) + 68, Get32(*data, Entry(i) + 68) + extra);
    for (int next = i + 1; next < 3; ++next)
        Put32(data, Entry(next) + 72, Get32(*data, Entry(next) + 72) + extra);
    Put32(data, 20, (uint32_t)data->size());
    Seal(data);
}

int Accepts(const Bytes &data)
{
    BundleHeader header;
    BundleIndex index;
    return ReadBundle(data.data(), (uint32_t)data.size(), &header, &index);
}

void Name(Bytes *data, int i, const char *name, size_t length)
{
    memset(data->data() + Entry(i), 0, BUNDLE_NAME_SIZE);
    memcpy(data->data() + Entry(i), name, length);
}

TEST(BundleReader, ReadsValidData)
{
    Bytes data = ValidData();
    BundleHeader header;
    BundleIndex index;
    ASSERT_TRUE(ReadBundle(data.data(), (uint32_t)data.size(), &header, &index));
    EXPECT_EQ(3u, index.fileCount);
    EXPECT_EQ(data.size(), header.totalLength);
    EXPECT_STREQ("ZynSetup.dat", index.entries[2].name);
    EXPECT_EQ(50u, index.entries[2].size);
    EXPECT_EQ(30u, index.entries[2].compressedSize);
    EXPECT_EQ(Entry(3) + 33, index.entries[2].offset);
    EXPECT_EQ(0x1234569u, index.entries[2].checksum);
    EXPECT_EQ(&index.entries[1], FindBundleEntry(&index, "DORSEL"));
    EXPECT_EQ(nullptr, FindBundleEntry(&index, "Dorsel.zyn"));
    // An empty file's frame may take up to 512 bytes.
    Bytes grown = ValidData();
    GrowFrame(&grown, 1, 512 - 13);
    EXPECT_TRUE(Accepts(grown));
    // Signing pads with up to 7 bytes after the data.
    data.insert(data.end(), 7, 0);
    EXPECT_TRUE(ReadBundleHeader(data.data(), (uint32_t)data.size(), (uint32_t)data.size(),
                                 &header));
}

struct Damage {
    const char *what;
    void (*change)(Bytes *data);
    bool reseal;  // checksum made right again: the structure's check alone must refuse
};

const Damage kDamages[] = {
    // Truncated: the header's length is more than the bytes there are.
    {"no header", [](Bytes *d) { d->resize(BUNDLE_HEADER_SIZE - 1); }, false},
    {"header only", [](Bytes *d) { d->resize(BUNDLE_HEADER_SIZE); }, false},
    {"half the index", [](Bytes *d) { d->resize(Entry(1) + 40); }, false},
    {"index only", [](Bytes *d) { d->resize(Entry(3)); }, false},
    {"last byte missing", [](Bytes *d) { d->pop_back(); }, false},
    // One byte flipped, caught by the checksum or the fixed fields.
    {"magic", [](Bytes *d) { (*d)[0] ^= 1; }, false},
    {"checksum", [](Bytes *d) { (*d)[9] ^= 0x40; }, false},
    {"version byte", [](Bytes *d) { (*d)[13] ^= 1; }, false},
    {"name letter", [](Bytes *d) { (*d)[Entry(0) + 1] ^= 0x20; }, false},
    {"size", [](Bytes *d) { (*d)[Entry(2) + 64] ^= 1; }, false},
    {"content checksum", [](Bytes *d) { (*d)[Entry(1) + 79] ^= 0x80; }, false},
    {"frame byte", [](Bytes *d) { d->back() ^= 1; }, false},
    // Fields out of bounds or lengths that disagree, checksum right.
    {"version 1", [](Bytes *d) { Put32(d, 12, 1); }, true},
    {"longer header", [](Bytes *d) { Put32(d, 16, BUNDLE_HEADER_SIZE + 4); }, true},
    {"reserved field", [](Bytes *d) { Put32(d, 36, 1); }, true},
    {"total one more, byte added", [](Bytes *d) { Put32(d, 20, (uint32_t)d->size() + 1), d->push_back(0); }, true},
    {"total one less", [](Bytes *d) { Put32(d, 20, (uint32_t)d->size() - 1); }, true},
    {"index elsewhere", [](Bytes *d) { Put32(d, 24, BUNDLE_HEADER_SIZE + 8); }, true},
    {"index length", [](Bytes *d) { Put32(d, 28, 2 * BUNDLE_ENTRY_SIZE); }, true},
    {"no files", [](Bytes *d) { Put32(d, 32, 0), Put32(d, 28, 0); }, true},
    {"two files, three entries", [](Bytes *d) { Put32(d, 32, 2), Put32(d, 28, 2 * BUNDLE_ENTRY_SIZE); }, true},
    {"17 files", [](Bytes *d) { Put32(d, 32, 17), Put32(d, 28, 17 * BUNDLE_ENTRY_SIZE); }, true},
    {"frames overlap", [](Bytes *d) { Put32(d, Entry(0) + 68, 21); }, true},
    {"gap between frames", [](Bytes *d) { Put32(d, Entry(1) + 72, Get32(*d, Entry(1) + 72) + 1); }, true},
    {"frame before the index end", [](Bytes *d) { Put32(d, Entry(0) + 72, Entry(2)); }, true},
    {"two entries, one frame", [](Bytes *d) { Put32(d, Entry(2) + 72, Get32(*d, Entry(1) + 72)); }, true},
    {"empty frame", [](Bytes *d) { Put32(d, Entry(1) + 68, 0), Put32(d, Entry(2) + 72, Get32(*d, Entry(1) + 72)), Put32(d, 20, (uint32_t)d->size() - 13), d->resize(d->size() - 13); }, true},
    {"frame larger than its file allows", [](Bytes *d) { GrowFrame(d, 1, 500); }, true},
    {"file too large", [](Bytes *d) { Put32(d, Entry(0) + 64, BUNDLE_MAX_FILE_SIZE + 1); }, true},
    {"8 bytes after the data", [](Bytes *d) { d->insert(d->end(), 8, 0); }, false},
    // Names that are no plain file name.
    {"backslash", [](Bytes *d) { Name(d, 0, "a\\b", 3); }, true},
    {"slash", [](Bytes *d) { Name(d, 0, "a/b", 3); }, true},
    {"dot dot", [](Bytes *d) { Name(d, 1, "..", 2); }, true},
    {"dot dot inside", [](Bytes *d) { Name(d, 1, "a..b", 4); }, true},
    {"drive", [](Bytes *d) { Name(d, 1, "C:x.dll", 7); }, true},
    {"stream", [](Bytes *d) { Name(d, 2, "ZynSetup.dat:x", 14); }, true},
    {"device", [](Bytes *d) { Name(d, 2, "CON", 3); }, true},
    {"device with extension", [](Bytes *d) { Name(d, 2, "nul.txt", 7); }, true},
    {"device with blank", [](Bytes *d) { Name(d, 2, "AUX .dat", 8); }, true},
    {"port", [](Bytes *d) { Name(d, 2, "Com1.dll", 8); }, true},
    {"printer port", [](Bytes *d) { Name(d, 2, "LPT9", 4); }, true},
    {"console input", [](Bytes *d) { Name(d, 2, "conin$", 6); }, true},
    {"empty", [](Bytes *d) { Name(d, 2, "", 0); }, true},
    {"no terminator", [](Bytes *d) { memset(d->data() + Entry(2), 'a', BUNDLE_NAME_SIZE); }, true},
    {"bytes after the name", [](Bytes *d) { (*d)[Entry(2) + 40] = 'x'; }, true},
    {"trailing dot", [](Bytes *d) { Name(d, 2, "Dorsel.", 7); }, true},
    {"trailing blank", [](Bytes *d) { Name(d, 2, "Dorsel ", 7); }, true},
    {"leading blank", [](Bytes *d) { Name(d, 2, " Dorsel", 7); }, true},
    {"control character", [](Bytes *d) { Name(d, 2, "a\tb", 3); }, true},
    {"non-ASCII", [](Bytes *d) { Name(d, 2, "\xC4pfel", 5); }, true},
    {"wildcard", [](Bytes *d) { Name(d, 2, "*.dll", 5); }, true},
    {"pipe", [](Bytes *d) { Name(d, 2, "a|b", 3); }, true},
    {"duplicate", [](Bytes *d) { Name(d, 2, "setup.exe", 9); }, true},
    {"duplicate in other case", [](Bytes *d) { Name(d, 2, "DORSEL", 6); }, true},
};

TEST(BundleReader, RefusesDamagedData)
{
    for (const Damage &damage : kDamages) {
        Bytes data = ValidData();
        damage.change(&data);
        if (damage.reseal && data.size() >= BUNDLE_CHECKSUM_START)
            Seal(&data);
        EXPECT_FALSE(Accepts(data)) << damage.what;
    }
}

TEST(BundleReader, NamesThatArePlain)
{
    const char *const names[] = {"Dorsel", "ZynSetup.dat", "a.b.c", "COM10", "CONSOLE.dll",
                                 "NULL", "LPT", "x y", "_zynu000.exe",
                                 "123456789012345678901234567890123456789012345678901234567890123"};
    for (const char *name : names)
        EXPECT_TRUE(IsPlainBundleName(name, (uint32_t)strlen(name) + 1)) << name;
    EXPECT_FALSE(IsPlainBundleName("Dorsel", 6)) << "no terminator inside the size";
    EXPECT_FALSE(IsPlainBundleName("COM0", 5));
    EXPECT_FALSE(IsPlainBundleName("lpt0.txt", 9));
}

// A PE image of 0x1000 bytes with two sections, the second one's raw data
// ending at 0x800.
Bytes MakePe(bool plus)
{
    Bytes image(0x1000, 0);
    image[0] = 'M';
    image[1] = 'Z';
    const uint32_t pe = 0x80;
    Put32(&image, 0x3C, pe);
    memcpy(image.data() + pe, "PE\0\0", 4);
    image[pe + 6] = 2;  // sections
    uint32_t optionalSize = plus ? 240 : 224;
    image[pe + 20] = (unsigned char)optionalSize;
    uint32_t optional = pe + 24;
    image[optional] = 0x0B;
    image[optional + 1] = plus ? 0x02 : 0x01;
    Put32(&image, optional + (plus ? 108 : 92), 16);
    uint32_t sections = optional + optionalSize;
    Put32(&image, sections + 16, 0x200);
    Put32(&image, sections + 20, 0x400);
    Put32(&image, sections + 40 + 16, 0x200);
    Put32(&image, sections + 40 + 20, 0x600);
    return image;
}

size_t SecurityEntry(bool plus)
{
    return 0x80 + 24 + (plus ? 112 : 96) + 4 * 8;
}

int Find(const Bytes &image, BundlePlace *place)
{
    return FindBundleData(image.data(), (uint32_t)image.size(), (uint32_t)image.size(), place);
}

TEST(BundlePlace, DataStartsAfterTheLastSection)
{
    for (bool plus : {false, true}) {
        Bytes image = MakePe(plus);
        BundlePlace place;
        ASSERT_TRUE(Find(image, &place)) << plus;
        EXPECT_EQ(0x800u, place.dataStart);
        EXPECT_EQ(0x800u, place.room);
        EXPECT_TRUE(HasBundleData(&place));
        // Signed: the certificate table after the data bounds the room.
        Put32(&image, SecurityEntry(plus), 0xC00);
        Put32(&image, SecurityEntry(plus) + 4, 0x400);
        ASSERT_TRUE(Find(image, &place));
        EXPECT_EQ(0x400u, place.room);
        EXPECT_EQ(0xC00u, place.certificateOffset);
        // A signed plain setup.exe: only padding before the table.
        Put32(&image, SecurityEntry(plus), 0x804);
        Put32(&image, SecurityEntry(plus) + 4, 0x7FC);
        ASSERT_TRUE(Find(image, &place));
        EXPECT_FALSE(HasBundleData(&place));
    }
    Bytes image = MakePe(false);
    image.resize(0x800);
    BundlePlace place;
    ASSERT_TRUE(Find(image, &place));
    EXPECT_FALSE(HasBundleData(&place)) << "nothing after the sections";
}

struct BadImage {
    const char *what;
    void (*change)(Bytes *image);
};

const BadImage kBadImages[] = {
    {"not MZ", [](Bytes *i) { (*i)[1] = 'X'; }},
    {"new header outside", [](Bytes *i) { Put32(i, 0x3C, 0xFF0); }},
    {"new header far outside", [](Bytes *i) { Put32(i, 0x3C, 0xFFFFFFF0u); }},
    {"no PE signature", [](Bytes *i) { (*i)[0x81] = 'X'; }},
    {"no sections", [](Bytes *i) { (*i)[0x86] = 0; }},
    {"section table outside", [](Bytes *i) { (*i)[0x86] = 96; }},
    {"unknown optional header", [](Bytes *i) { (*i)[0x80 + 25] = 0x03; }},
    {"no security directory", [](Bytes *i) { Put32(i, 0x80 + 24 + 92, 4); }},
    {"section beyond the file", [](Bytes *i) { Put32(i, 0x80 + 24 + 224 + 40 + 20, 0xF00); }},
    {"section wraps", [](Bytes *i) { Put32(i, 0x80 + 24 + 224 + 40 + 20, 0xFFFFFF00u); }},
    {"sections end in the headers", [](Bytes *i) { Put32(i, 0x80 + 24 + 224 + 16, 0x100), Put32(i, 0x80 + 24 + 224 + 20, 0), Put32(i, 0x80 + 24 + 224 + 40 + 16, 0); }},
    {"certificates before the data", [](Bytes *i) { Put32(i, SecurityEntry(false), 0x600), Put32(i, SecurityEntry(false) + 4, 0x100); }},
    {"certificates beyond the file", [](Bytes *i) { Put32(i, SecurityEntry(false), 0xC00), Put32(i, SecurityEntry(false) + 4, 0x401); }},
    {"certificates wrap", [](Bytes *i) { Put32(i, SecurityEntry(false), 0xC00), Put32(i, SecurityEntry(false) + 4, 0xFFFFF800u); }},
    {"empty certificate table", [](Bytes *i) { Put32(i, SecurityEntry(false), 0xC00); }},
};

TEST(BundlePlace, RefusesBadImages)
{
    for (const BadImage &bad : kBadImages) {
        Bytes image = MakePe(false);
        bad.change(&image);
        BundlePlace place;
        EXPECT_FALSE(Find(image, &place)) << bad.what;
    }
    // The headers cut short of the section table.
    Bytes image = MakePe(false);
    BundlePlace place;
    EXPECT_FALSE(FindBundleData(image.data(), 0x80 + 24 + 224 + 40, 0x1000, &place));
    EXPECT_TRUE(FindBundleData(image.data(), 0x80 + 24 + 224 + 80, 0x1000, &place));
}

} // namespace
