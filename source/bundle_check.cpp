// The checks of the whole bundle before the plan: the checksum over all its
// data, and each file's frame header against its entry, so that damage ends
// the run before anything changes.
#include "source/setup_source.h"

#include "base/log.h"
#define XXH_STATIC_LINKING_ONLY
#include "third_party/zstd/lib/common/xxhash.h"

namespace {

// The checksum reads the data in blocks this large, each summed while it is
// still in the processor's cache (see BUNDLE_WRITE_PIECE).
const DWORD kCheckBlock = BUNDLE_WRITE_PIECE;

// The checksum over the data from BUNDLE_CHECKSUM_START to its end.
int IsChecksumRight(const SetupBundle *bundle)
{
    static unsigned char block[kCheckBlock];
    XXH32_state_t state;
    XXH32_reset(&state, 0);
    for (uint32_t position = BUNDLE_CHECKSUM_START, end = bundle->header.totalLength;
         position < end;) {
        DWORD piece = end - position < kCheckBlock ? end - position : kCheckBlock;
        if (!ReadFileAt(bundle->file, bundle->dataStart + position, block, piece))
            return 0;
        XXH32_update(&state, block, piece);
        position += piece;
    }
    return XXH32_digest(&state) == bundle->header.checksum;
}

} // namespace

int CheckBundleData(const SetupBundle *bundle)
{
    if (!IsChecksumRight(bundle)) {
        LogLine("bundle: checksum over the data at offset %lu, %lu bytes, does not match",
                (unsigned long)bundle->dataStart, (unsigned long)bundle->header.totalLength);
        return 0;
    }
    for (uint32_t i = 0; i < bundle->index.fileCount; ++i) {
        const BundleEntry *entry = &bundle->index.entries[i];
        if (!IsFrameOfEntry(bundle, entry)) {
            LogLine("bundle: frame of %s at offset %lu does not agree with its entry", entry->name,
                    (unsigned long)(bundle->dataStart + entry->offset));
            return 0;
        }
    }
    return 1;
}
