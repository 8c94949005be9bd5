// The bundle: one executable that carries its setup folder. Pure code, no
// Windows header: the reader builds natively too (tests, fuzzing, the
// bundle builder in tools/).
//
// A bundle file, front to back:
//   stub   setup.exe's PE image up to the end of its last section's raw data
//          (the stub's own certificate table, if it had one, removed);
//   data   header | index | compressed files, this file's "data";
//   tail   nothing, or what signing the bundle adds: padding to 8 bytes and
//          the Authenticode certificate table that the security directory
//          points at. The signature's hash covers the stub and the data.
// The data starts where the last section's raw data ends. Its length comes
// from its own header, never from where the certificate table starts, since
// signing pads before the table. Fewer than 8 bytes after the sections are
// only padding: a plain setup.exe, signed or not, has no data.
//
// Every number is an unsigned 32-bit little-endian value; offsets count
// from the start of the data.
//
// Header, BUNDLE_HEADER_SIZE bytes:
//    0  magic          "ZYNBUNDL"
//    8  checksum       XXH32 with seed 0 of the data's bytes from offset
//                      BUNDLE_CHECKSUM_START (the field after this one) to
//                      the end: header, index and files. Checked over the
//                      whole data before anything else is done with it.
//   12  version        BUNDLE_FORMAT_VERSION; another value is refused
//   16  headerLength   BUNDLE_HEADER_SIZE
//   20  totalLength    the whole data, header included
//   24  indexOffset    headerLength: the index follows the header
//   28  indexLength    fileCount * BUNDLE_ENTRY_SIZE
//   32  fileCount      1 to BUNDLE_MAX_FILES
//   36  reserved       0
//
// Index: fileCount entries of BUNDLE_ENTRY_SIZE bytes, in the order of the
// files in the data:
//    0  name           BUNDLE_NAME_SIZE bytes: a plain file name of 1 to
//                      BUNDLE_NAME_SIZE - 1 characters, zero bytes after it
//   64  size           the file's size, at most BUNDLE_MAX_FILE_SIZE
//   68  compressedSize its zstd frame's length, 1 to
//                      BundleMaxCompressedSize(size)
//   72  offset         where its frame starts
//   76  checksum       XXH32 (seed 0) of the file's content, checked as
//                      it is decoded (XXH32 runs several times as fast
//                      as the frame's own XXH64 on 32-bit x86)
//
// Files: one zstd frame each, back to back from the end of the index to
// the end of the data, without gaps (so nothing lies in the data that no
// entry accounts for). Each frame states its content size, carries no
// checksum of its own (the entry's stands for it), names no dictionary and
// needs a window of at most
// BUNDLE_MAX_WINDOW bytes; a file decodes to exactly `size` bytes.
//
// Names: printable ASCII without \ / : * ? " < > | (no folder, no drive, no
// stream), not ending in a dot or a blank, without "..", not a device name
// (CON, PRN, AUX, NUL, COM0-9, LPT0-9, CONIN$, CONOUT$, CLOCK$, with or
// without an extension), and no two alike when letter case is ignored.
#ifndef SOURCE_BUNDLE_FORMAT_H
#define SOURCE_BUNDLE_FORMAT_H

#include <stdint.h>

enum {
    BUNDLE_FORMAT_VERSION = 2,
    BUNDLE_MAGIC_SIZE = 8,
    BUNDLE_CHECKSUM_START = 12,
    BUNDLE_HEADER_SIZE = 40,
    BUNDLE_NAME_SIZE = 64,
    BUNDLE_ENTRY_SIZE = BUNDLE_NAME_SIZE + 16,
    BUNDLE_MAX_FILES = 16,
    // Less than 8 bytes after the sections is signing's padding, not data.
    BUNDLE_MIN_DATA_ROOM = 8,
    BUNDLE_MAX_WINDOW = 8 * 1024 * 1024
};

// The largest file and the largest data: sizes and offsets stay far below
// 2^31, so sums of two never wrap and 32-bit Windows reads them with plain
// file pointers.
const uint32_t BUNDLE_MAX_FILE_SIZE = 0x20000000u;
const uint32_t BUNDLE_MAX_DATA_LENGTH = 0x70000000u;

extern const unsigned char kBundleMagic[BUNDLE_MAGIC_SIZE];

// Where the data lies in a bundle file.
struct BundlePlace {
    uint32_t dataStart;          // the end of the last section's raw data
    uint32_t room;               // bytes from dataStart to the certificate table or the end
    uint32_t certificateOffset;  // 0 without a certificate table
    uint32_t securityEntry;      // the file offset of the security directory entry
};

struct BundleHeader {
    uint32_t checksum;
    uint32_t version;
    uint32_t headerLength;
    uint32_t totalLength;
    uint32_t indexOffset;
    uint32_t indexLength;
    uint32_t fileCount;
};

struct BundleEntry {
    char name[BUNDLE_NAME_SIZE];  // NUL-ended
    uint32_t size;
    uint32_t compressedSize;
    uint32_t offset;
    uint32_t checksum;
};

struct BundleIndex {
    uint32_t fileCount;
    BundleEntry entries[BUNDLE_MAX_FILES];
};

// The largest frame a file of `size` bytes may take: zstd's bound for
// stored blocks with room to spare.
uint32_t BundleMaxCompressedSize(uint32_t size);

// Where data would start in the PE image `image` (its first `imageLength`
// bytes, at least the headers and the section table) of a file of
// `fileSize` bytes. 0 when the image is no PE file this program can be, or
// when its sections or its certificate table lie outside the file.
int FindBundleData(const unsigned char *image, uint32_t imageLength, uint32_t fileSize,
                   BundlePlace *place);
// 1 when the file has bytes after its sections that are more than padding:
// then they must be a valid bundle's data.
int HasBundleData(const BundlePlace *place);

// Reads the header from `bytes` (`length` bytes, at least
// BUNDLE_HEADER_SIZE) at the start of data that has `room` bytes in its
// file. 0 when anything is out of its bounds or disagrees; fewer than 8
// bytes may follow the data (signing's padding), more may not.
int ReadBundleHeader(const unsigned char *bytes, uint32_t length, uint32_t room,
                     BundleHeader *header);
// Reads the index: `bytes` holds the header's indexLength bytes found at
// its indexOffset. 0 for a bad name, a duplicate, a size out of bounds, or
// frames that do not fill the data from the index's end exactly; the index's
// fileCount then counts the entries taken before the one refused (all of
// them when their frames do not fill the data).
int ReadBundleIndex(const unsigned char *bytes, uint32_t length, const BundleHeader *header,
                    BundleIndex *index);
// The header's checksum of data held whole in memory (`length` at least
// BUNDLE_CHECKSUM_START).
uint32_t ChecksumBundleData(const unsigned char *data, uint32_t length);
// Header, checksum and index of data held whole in memory, as a bundle file
// with `length` bytes of room.
int ReadBundle(const unsigned char *data, uint32_t length, BundleHeader *header,
               BundleIndex *index);
// 1 when `name` (NUL-ended, inside `size` bytes) may name a file of a bundle.
int IsPlainBundleName(const char *name, uint32_t size);
// The entry named `name` (letter case ignored), or 0.
const BundleEntry *FindBundleEntry(const BundleIndex *index, const char *name);

#endif
