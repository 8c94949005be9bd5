// One file of the bundle decoded into a file of its own: zstd's buffer-less
// decoding, block by block, into a ring that holds the frame's window, and
// written from there in pieces of BUNDLE_WRITE_PIECE bytes as they fill (what
// is left when the ring wraps and at the end in one shorter piece), so that
// nothing is copied twice and every byte is written once. Every
// buffer the decoder gets is zero-filled: whatever crafted input might make
// it read before it writes is zeros, never earlier memory.
#include "source/setup_source.h"

#include "base/log.h"

#define ZSTD_STATIC_LINKING_ONLY
#include "third_party/zstd/lib/zstd.h"
#define XXH_STATIC_LINKING_ONLY
#include "third_party/zstd/lib/common/xxhash.h"

#include <string.h>

namespace {

// The frame is read in pieces this large, which stay in the processor's
// cache beside the block being decoded (see BUNDLE_WRITE_PIECE); a block's
// compressed bytes always fit in one.
const DWORD kReadSize = BUNDLE_WRITE_PIECE;
static_assert(kReadSize >= ZSTD_BLOCKSIZE_MAX + ZSTD_FRAMEHEADERSIZE_MAX, "a block fits in a read");

void *AllocateZeroed(void *, size_t size)
{
    return HeapAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY, size);
}

void Release(void *, void *address)
{
    if (address)
        HeapFree(GetProcessHeap(), 0, address);
}

const ZSTD_customMem kZeroedMemory = {AllocateZeroed, Release, 0};

int WriteAll(HANDLE file, const unsigned char *data, size_t length)
{
    DWORD written = 0;
    return WriteFile(file, data, (DWORD)length, &written, 0) && written == length;
}

// The frame's bytes, read through the bundle's handle a piece at a time.
struct FrameInput {
    HANDLE file;
    unsigned char *buffer;  // kReadSize
    DWORD start, end;       // the bytes read but not yet taken
    uint32_t at;            // the file offset of the next piece
    uint32_t left;          // bytes of the frame not yet read
};

// The next `need` bytes of the frame, read as needed; null when the frame
// has fewer or they cannot be read.
const unsigned char *Take(FrameInput *input, DWORD need)
{
    if (need > kReadSize)
        return 0;
    if (input->end - input->start < need) {
        DWORD kept = input->end - input->start;
        memmove(input->buffer, input->buffer + input->start, kept);
        input->start = 0;
        input->end = kept;
        DWORD piece = kReadSize - kept < input->left ? kReadSize - kept : input->left;
        if (!ReadFileAt(input->file, input->at, input->buffer + kept, piece))
            return 0;
        input->at += piece;
        input->end += piece;
        input->left -= piece;
        if (input->end < need)
            return 0;
    }
    const unsigned char *taken = input->buffer + input->start;
    input->start += need;
    return taken;
}

struct Decoder {
    ZSTD_DCtx *context;
    FrameInput input;
    unsigned char *ring;
    size_t ringSize;
};

// The frame's header states what the entry says: content size, no checksum
// of its own (the entry's is checked), no dictionary, a window within bounds.
int IsHeaderOfEntry(const unsigned char *bytes, size_t length, const BundleEntry *entry,
                    ZSTD_frameHeader *frame)
{
    return ZSTD_getFrameHeader(frame, bytes, length) == 0 && frame->frameType == ZSTD_frame &&
           frame->frameContentSize == entry->size && !frame->checksumFlag && frame->dictID == 0 &&
           frame->windowSize <= BUNDLE_MAX_WINDOW;
}

// The frame's header, read ahead without taking it. The ring then holds the
// window, or the whole file when it is smaller.
int StartFrame(Decoder *decoder, const BundleEntry *entry, ZSTD_frameHeader *frame)
{
    FrameInput *input = &decoder->input;
    DWORD first = entry->compressedSize < kReadSize ? entry->compressedSize : kReadSize;
    if (!Take(input, first) || !IsHeaderOfEntry(input->buffer, input->end, entry, frame))
        return 0;
    input->start = 0;  // decoding starts at the frame's first byte
    decoder->ringSize = ZSTD_decodingBufferSize_min(frame->windowSize, frame->frameContentSize);
    return !ZSTD_isError(decoder->ringSize);
}

// Decodes the frame into `out`: exactly the entry's size, the frame's length
// to its last byte, and the content's checksum the entry's, summed block by
// block while each is still in the cache.
int DecodeFrame(Decoder *decoder, const BundleEntry *entry, const ZSTD_frameHeader &frame,
                HANDLE out)
{
    unsigned char *ring = decoder->ring;
    size_t need = decoder->ringSize, position = 0, flushed = 0;
    uint32_t produced = 0;
    FrameInput *input = &decoder->input;
    XXH32_state_t content;
    XXH32_reset(&content, 0);
    if (ZSTD_isError(ZSTD_decompressBegin(decoder->context)))
        return DECODE_FAILED;
    for (size_t next; (next = ZSTD_nextSrcSizeToDecompress(decoder->context)) != 0;) {
        const unsigned char *source = Take(input, (DWORD)next);
        if (!source)
            return DECODE_DAMAGED;
        // Back to the ring's start when a block might not fit; a ring that
        // holds the whole file never wraps (zstd sizes it to the file then).
        if (need < frame.frameContentSize && position + frame.blockSizeMax > need) {
            if (!WriteAll(out, ring + flushed, position - flushed))
                return DECODE_FAILED;
            position = flushed = 0;
        }
        size_t made = ZSTD_decompressContinue(decoder->context, ring + position, need - position,
                                              source, next);
        if (ZSTD_isError(made) || made > entry->size - produced)
            return DECODE_DAMAGED;
        XXH32_update(&content, ring + position, made);
        position += made;
        produced += (uint32_t)made;
        for (; position - flushed >= BUNDLE_WRITE_PIECE; flushed += BUNDLE_WRITE_PIECE)
            if (!WriteAll(out, ring + flushed, BUNDLE_WRITE_PIECE))
                return DECODE_FAILED;
    }
    if (input->left || input->start != input->end || produced != entry->size ||
        XXH32_digest(&content) != entry->checksum)
        return DECODE_DAMAGED;
    return WriteAll(out, ring + flushed, position - flushed) ? DECODE_DONE : DECODE_FAILED;
}

// A decoder with zero-filled memory for one frame; its ring once the frame's
// header tells the window.
int DecodeInto(const SetupBundle *bundle, const BundleEntry *entry, HANDLE out)
{
    Decoder decoder;
    memset(&decoder, 0, sizeof(decoder));
    decoder.context = ZSTD_createDCtx_advanced(kZeroedMemory);
    decoder.input.file = bundle->file;
    decoder.input.buffer = (unsigned char *)AllocateZeroed(0, kReadSize);
    decoder.input.left = entry->compressedSize;
    decoder.input.at = bundle->dataStart + entry->offset;
    ZSTD_frameHeader frame;
    int result = DECODE_FAILED;
    if (decoder.context && decoder.input.buffer)
        result = StartFrame(&decoder, entry, &frame) ? DECODE_DONE : DECODE_DAMAGED;
    if (result == DECODE_DONE) {
        decoder.ring = (unsigned char *)AllocateZeroed(0, decoder.ringSize);
        result = decoder.ring ? DecodeFrame(&decoder, entry, frame, out) : DECODE_FAILED;
    }
    ZSTD_freeDCtx(decoder.context);
    Release(0, decoder.input.buffer);
    Release(0, decoder.ring);
    return result;
}

} // namespace

int IsFrameOfEntry(const SetupBundle *bundle, const BundleEntry *entry)
{
    unsigned char start[ZSTD_FRAMEHEADERSIZE_MAX];
    DWORD length = entry->compressedSize < sizeof(start) ? entry->compressedSize : sizeof(start);
    ZSTD_frameHeader frame;
    return ReadFileAt(bundle->file, bundle->dataStart + entry->offset, start, length) &&
           IsHeaderOfEntry(start, length, entry, &frame);
}

int DecodeBundleFile(const SetupBundle *bundle, const BundleEntry *entry, const char *path)
{
    HANDLE out = CreateFileA(path, GENERIC_WRITE, 0, 0, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, 0);
    if (out == INVALID_HANDLE_VALUE) {
        LogFailure("CreateFileA", path);
        return DECODE_FAILED;
    }
    int result = DecodeInto(bundle, entry, out);
    if (!CloseHandle(out) && result == DECODE_DONE)
        result = DECODE_FAILED;
    if (result == DECODE_FAILED)
        LogLine("bundle: %s cannot be decoded into %s", entry->name, path);
    else if (result == DECODE_DAMAGED)
        LogLine("bundle: %s at offset %lu does not decode to its %lu bytes", entry->name,
                (unsigned long)(bundle->dataStart + entry->offset), (unsigned long)entry->size);
    return result;
}
