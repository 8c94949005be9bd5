// Fuzzes the bundle's reader: the input is a whole bundle file (the PE
// headers locate the data) and, read a second time, the data alone. The
// header and the index are also read without the checksum, which random
// input never gets right, so that their own checks are explored. Whatever
// the reader accepts must keep the promises the run relies on.
#include "source/bundle_format.h"

#include <stddef.h>
#include <stdint.h>
#include <stdlib.h>
#include <string.h>

namespace {

void Require(int condition)
{
    if (!condition)
        abort();
}

void CheckIndex(const BundleHeader &header, const BundleIndex &index)
{
    Require(index.fileCount >= 1 && index.fileCount <= BUNDLE_MAX_FILES);
    uint32_t end = header.indexOffset + header.indexLength;
    for (uint32_t i = 0; i < index.fileCount; ++i) {
        const BundleEntry &entry = index.entries[i];
        Require(IsPlainBundleName(entry.name, BUNDLE_NAME_SIZE));
        Require(FindBundleEntry(&index, entry.name) == &entry);
        Require(entry.offset == end && entry.compressedSize >= 1);
        Require(entry.size <= BUNDLE_MAX_FILE_SIZE);
        end += entry.compressedSize;
        Require(end <= header.totalLength);
    }
    Require(end == header.totalLength);
}

void ReadData(const uint8_t *data, uint32_t length, uint32_t room)
{
    BundleHeader header;
    BundleIndex index;
    if (ReadBundleHeader(data, length, room, &header)) {
        Require(header.totalLength <= room && header.totalLength <= BUNDLE_MAX_DATA_LENGTH);
        uint32_t end = header.indexOffset + header.indexLength;
        if (end <= length &&
            ReadBundleIndex(data + header.indexOffset, header.indexLength, &header, &index))
            CheckIndex(header, index);
    }
    if (length == room && ReadBundle(data, length, &header, &index)) {
        Require(ChecksumBundleData(data, header.totalLength) == header.checksum);
        CheckIndex(header, index);
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size > 0x100000)
        return 0;
    uint32_t length = (uint32_t)size;
    ReadData(data, length, length);
    BundlePlace place;
    if (FindBundleData(data, length, length, &place)) {
        Require(place.dataStart <= length && place.room <= length - place.dataStart);
        if (HasBundleData(&place))
            ReadData(data + place.dataStart, place.room, place.room);
    }
    return 0;
}
