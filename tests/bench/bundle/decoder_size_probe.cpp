// A tiny program linked like setup.exe, once with the bundle's reader and
// zstd's decoder in use and once without: the difference of the two files'
// sizes is what the decoder adds to setup.exe. PROBE_DECODER 1 decodes
// through ZSTD_decompressStream, 2 block by block (buffer-less).
#include <windows.h>

#ifdef PROBE_DECODER
#include "files/bundle_format.h"

#define ZSTD_STATIC_LINKING_ONLY
#include "third_party/zstd/lib/zstd.h"
#define XXH_STATIC_LINKING_ONLY
#include "third_party/zstd/lib/common/xxhash.h"

namespace {

void *Allocate(void *, size_t size)
{
    return LocalAlloc(LMEM_FIXED, size);
}

void Release(void *, void *address)
{
    if (address)
        LocalFree(address);
}

// What a run does with a bundle: place, header and index, the checksum over
// the data, and each file's frame decoded through the stream.
UINT UseDecoder(const unsigned char *image, DWORD length)
{
    BundlePlace place;
    BundleHeader header;
    BundleIndex index;
    if (!FindBundleData(image, length, length, &place) ||
        !ReadBundleHeader(image + place.dataStart, place.room, place.room, &header) ||
        !ReadBundleIndex(image + place.dataStart + header.indexOffset, header.indexLength, &header,
                         &index))
        return 1;
    XXH32_state_t state;
    XXH32_reset(&state, 0);
    XXH32_update(&state, image, length);
    if (XXH32_digest(&state) != header.checksum)
        return 2;
    ZSTD_customMem memory = {Allocate, Release, 0};
    ZSTD_DCtx *context = ZSTD_createDCtx_advanced(memory);
    if (!context || ZSTD_isError(ZSTD_DCtx_setParameter(context, ZSTD_d_windowLogMax, 23)))
        return 3;
    static unsigned char output[1 << 16];
    ZSTD_frameHeader frame;
    if (ZSTD_getFrameHeader(&frame, image, length) != 0 || !frame.checksumFlag)
        return 4;
#if PROBE_DECODER == 1
    ZSTD_inBuffer source = {image, length, 0};
    ZSTD_outBuffer target = {output, sizeof(output), 0};
    UINT result = !ZSTD_isError(ZSTD_decompressStream(context, &target, &source));
#else
    // Buffer-less: blocks decoded one by one into a buffer the caller keeps.
    UINT result = !ZSTD_isError(ZSTD_decompressBegin(context));
    for (size_t next; result && (next = ZSTD_nextSrcSizeToDecompress(context)) != 0; image += next)
        result = !ZSTD_isError(ZSTD_decompressContinue(context, output, sizeof(output), image, next));
#endif
    ZSTD_freeDCtx(context);
    return result;
}

} // namespace
#endif

extern "C" void __stdcall ProbeEntry(void)
{
    char path[MAX_PATH];
    DWORD length = GetModuleFileNameA(0, path, MAX_PATH);
#ifdef PROBE_DECODER
    ExitProcess(UseDecoder((const unsigned char *)path, length));
#else
    ExitProcess(length);
#endif
}
