// Reading a bundle's place, header and index from bytes (see
// bundle_format.h). Every read is checked against the bytes given, and every
// sum is of values already bounded far below 2^31, so nothing wraps.
#include "source/bundle_format.h"

#include "base/text.h"
#include "third_party/zstd/lib/common/xxhash.h"

#include <string.h>

const unsigned char kBundleMagic[BUNDLE_MAGIC_SIZE] = {'Z', 'Y', 'N', 'B', 'U', 'N', 'D', 'L'};

namespace {

uint32_t Read16(const unsigned char *bytes)
{
    return (uint32_t)bytes[0] | (uint32_t)bytes[1] << 8;
}

uint32_t Read32(const unsigned char *bytes)
{
    return Read16(bytes) | Read16(bytes + 2) << 16;
}

// PE layout: offsets inside the headers that locate the sections and the
// security directory (the certificate table's file offset and size). The
// COFF fields count from the "PE\0\0" signature.
enum {
    DOS_NEW_HEADER_FIELD = 0x3C,
    COFF_SECTION_COUNT = 6,
    COFF_OPTIONAL_SIZE = 20,
    OPTIONAL_HEADER = 24,
    PE32_MAGIC = 0x10B,
    PE32_PLUS_MAGIC = 0x20B,
    PE32_DIRECTORY_COUNT = 92,
    PE32_PLUS_DIRECTORY_COUNT = 108,
    SECURITY_DIRECTORY = 4,
    SECTION_ENTRY_SIZE = 40,
    SECTION_RAW_SIZE = 16,
    SECTION_RAW_POINTER = 20,
    MAX_SECTIONS = 96
};

const uint32_t kMaxFileSize = 0x7FFFFFFFu;

// 1 when `count` bytes at `offset` lie inside `length` bytes.
int Inside(uint32_t offset, uint32_t count, uint32_t length)
{
    return offset <= length && count <= length - offset;
}

// The file offset of the end of the last section's raw data; 0 when a
// section lies outside the file.
uint32_t EndOfSections(const unsigned char *table, uint32_t count, uint32_t fileSize)
{
    uint32_t end = 0;
    for (uint32_t i = 0; i < count; ++i) {
        const unsigned char *section = table + i * SECTION_ENTRY_SIZE;
        uint32_t size = Read32(section + SECTION_RAW_SIZE);
        uint32_t pointer = Read32(section + SECTION_RAW_POINTER);
        if (size == 0)
            continue;
        if (!Inside(pointer, size, fileSize))
            return 0;
        if (pointer + size > end)
            end = pointer + size;
    }
    return end;
}

// The security directory's entry, or 0 when the optional header has none.
const unsigned char *SecurityDirectory(const unsigned char *optional, uint32_t optionalSize)
{
    if (optionalSize < 2)
        return 0;
    uint32_t magic = Read16(optional);
    uint32_t countField = magic == PE32_MAGIC        ? PE32_DIRECTORY_COUNT
                          : magic == PE32_PLUS_MAGIC ? PE32_PLUS_DIRECTORY_COUNT
                                                     : 0;
    if (!countField || optionalSize < countField + 4)
        return 0;
    uint32_t entry = countField + 4 + SECURITY_DIRECTORY * 8;
    if (Read32(optional + countField) <= SECURITY_DIRECTORY || optionalSize < entry + 8)
        return 0;
    return optional + entry;
}

} // namespace

int FindBundleData(const unsigned char *image, uint32_t imageLength, uint32_t fileSize,
                   BundlePlace *place)
{
    memset(place, 0, sizeof(*place));
    if (!image || fileSize > kMaxFileSize || imageLength > fileSize ||
        !Inside(0, DOS_NEW_HEADER_FIELD + 4, imageLength) || image[0] != 'M' || image[1] != 'Z')
        return 0;
    uint32_t pe = Read32(image + DOS_NEW_HEADER_FIELD);
    if (!Inside(pe, OPTIONAL_HEADER, imageLength) || memcmp(image + pe, "PE\0\0", 4) != 0)
        return 0;
    uint32_t sections = Read16(image + pe + COFF_SECTION_COUNT);
    uint32_t optionalSize = Read16(image + pe + COFF_OPTIONAL_SIZE);
    uint32_t optional = pe + OPTIONAL_HEADER;
    if (sections == 0 || sections > MAX_SECTIONS || !Inside(optional, optionalSize, imageLength) ||
        !Inside(optional + optionalSize, sections * SECTION_ENTRY_SIZE, imageLength))
        return 0;
    const unsigned char *security = SecurityDirectory(image + optional, optionalSize);
    uint32_t end = EndOfSections(image + optional + optionalSize, sections, fileSize);
    if (!security || end < optional + optionalSize + sections * SECTION_ENTRY_SIZE)
        return 0;
    uint32_t certificate = Read32(security);
    uint32_t certificateSize = Read32(security + 4);
    if ((certificate || certificateSize) &&
        (!certificateSize || certificate < end || !Inside(certificate, certificateSize, fileSize)))
        return 0;
    place->dataStart = end;
    place->room = (certificate ? certificate : fileSize) - end;
    place->certificateOffset = certificate;
    place->securityEntry = (uint32_t)(security - image);
    return 1;
}

int HasBundleData(const BundlePlace *place)
{
    return place->room >= BUNDLE_MIN_DATA_ROOM;
}

uint32_t BundleMaxCompressedSize(uint32_t size)
{
    return size + (size >> 7) + 512;
}

int ReadBundleHeader(const unsigned char *bytes, uint32_t length, uint32_t room,
                     BundleHeader *header)
{
    memset(header, 0, sizeof(*header));
    if (!bytes || length < BUNDLE_HEADER_SIZE || memcmp(bytes, kBundleMagic, BUNDLE_MAGIC_SIZE))
        return 0;
    header->checksum = Read32(bytes + 8);
    header->version = Read32(bytes + 12);
    header->headerLength = Read32(bytes + 16);
    header->totalLength = Read32(bytes + 20);
    header->indexOffset = Read32(bytes + 24);
    header->indexLength = Read32(bytes + 28);
    header->fileCount = Read32(bytes + 32);
    uint32_t count = header->fileCount;
    return header->version == BUNDLE_FORMAT_VERSION &&
           header->headerLength == BUNDLE_HEADER_SIZE && Read32(bytes + 36) == 0 &&
           count >= 1 && count <= BUNDLE_MAX_FILES &&
           header->indexOffset == header->headerLength &&
           header->indexLength == count * BUNDLE_ENTRY_SIZE &&
           header->totalLength <= BUNDLE_MAX_DATA_LENGTH &&
           header->totalLength >= header->indexOffset + header->indexLength + count &&
           header->totalLength <= room && room - header->totalLength < BUNDLE_MIN_DATA_ROOM;
}

int IsPlainBundleName(const char *name, uint32_t size)
{
    const char *end = name ? (const char *)memchr(name, 0, size) : 0;
    size_t length = end ? (size_t)(end - name) : 0;
    if (length == 0 || length >= BUNDLE_NAME_SIZE)
        return 0;
    for (size_t i = 0; i < length; ++i)
        if (name[i] < 0x20 || name[i] > 0x7E || strchr("\\/:*?\"<>|", name[i]))
            return 0;
    return name[0] != ' ' && name[length - 1] != ' ' && name[length - 1] != '.' &&
           !strstr(name, "..") && !IsDeviceName(name, length);
}

const BundleEntry *FindBundleEntry(const BundleIndex *index, const char *name)
{
    size_t length = strlen(name) + 1;
    for (uint32_t i = 0; i < index->fileCount && i < BUNDLE_MAX_FILES; ++i)
        if (strlen(index->entries[i].name) + 1 == length &&
            EqualIgnoringCase(index->entries[i].name, name, length))
            return &index->entries[i];
    return 0;
}

namespace {

// One entry at `bytes`, whose frame must start at `position`.
int ReadEntry(const unsigned char *bytes, uint32_t position, BundleEntry *entry)
{
    memcpy(entry->name, bytes, BUNDLE_NAME_SIZE);
    if (!IsPlainBundleName(entry->name, BUNDLE_NAME_SIZE))
        return 0;
    for (size_t i = strlen(entry->name); i < BUNDLE_NAME_SIZE; ++i)
        if (entry->name[i])
            return 0;
    entry->size = Read32(bytes + BUNDLE_NAME_SIZE);
    entry->compressedSize = Read32(bytes + BUNDLE_NAME_SIZE + 4);
    entry->offset = Read32(bytes + BUNDLE_NAME_SIZE + 8);
    entry->checksum = Read32(bytes + BUNDLE_NAME_SIZE + 12);
    return entry->size <= BUNDLE_MAX_FILE_SIZE && entry->compressedSize >= 1 &&
           entry->compressedSize <= BundleMaxCompressedSize(entry->size) &&
           entry->offset == position;
}

} // namespace

int ReadBundleIndex(const unsigned char *bytes, uint32_t length, const BundleHeader *header,
                    BundleIndex *index)
{
    memset(index, 0, sizeof(*index));
    // The header's bounds again, for a header that did not come from
    // ReadBundleHeader: the sums below stay far from wrapping.
    if (!bytes || header->fileCount > BUNDLE_MAX_FILES || length != header->indexLength ||
        length != header->fileCount * BUNDLE_ENTRY_SIZE ||
        header->totalLength > BUNDLE_MAX_DATA_LENGTH ||
        header->indexOffset > header->totalLength - length)
        return 0;
    uint32_t position = header->indexOffset + header->indexLength;
    for (uint32_t i = 0; i < header->fileCount; ++i) {
        BundleEntry *entry = &index->entries[i];
        if (!ReadEntry(bytes + i * BUNDLE_ENTRY_SIZE, position, entry) ||
            FindBundleEntry(index, entry->name))
            return 0;
        if (entry->compressedSize > header->totalLength - position)
            return 0;
        position += entry->compressedSize;
        index->fileCount = i + 1;
    }
    return position == header->totalLength;
}

uint32_t ChecksumBundleData(const unsigned char *data, uint32_t length)
{
    if (length < BUNDLE_CHECKSUM_START)
        return 0;
    return (uint32_t)XXH32(data + BUNDLE_CHECKSUM_START, length - BUNDLE_CHECKSUM_START, 0);
}

int ReadBundle(const unsigned char *data, uint32_t length, BundleHeader *header,
               BundleIndex *index)
{
    memset(index, 0, sizeof(*index));
    return ReadBundleHeader(data, length, length, header) &&
           ChecksumBundleData(data, header->totalLength) == header->checksum &&
           ReadBundleIndex(data + header->indexOffset, header->indexLength, header, index);
}
