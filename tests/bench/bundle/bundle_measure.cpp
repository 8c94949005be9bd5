// Measures what installing from a bundle costs against copying the same
// files: decoding the bundle's zstd frames into files (CreateFile/WriteFile,
// large writes) after checking the checksum over all its data, against
// CopyFileA of the setup folder's files, the two taking turns. Prints the
// times of each round, the best of each and their ratio, and the checksum
// functions' throughput. Not a test: a measurement for people to read.
// After each turn, untimed, the files written are deleted: each turn starts
// with the same files cached and none of the other's waiting to be written.
//
// Usage: bundle_measure <bundle> <setup folder> <output folder> [rounds]
//                       [stream|ring] [threads]
//   stream:  ZSTD_decompressStream into a 4 MiB buffer, written when full;
//   ring:    buffer-less decoding into a ring of the frame's window size, the
//            decoded blocks written from there (no copy through the stream);
//   threads: files decoded by that many threads at once, largest first.
#include "files/bundle_format.h"

#define ZSTD_STATIC_LINKING_ONLY
#include "third_party/zstd/lib/zstd.h"
#define XXH_STATIC_LINKING_ONLY
#include "third_party/zstd/lib/common/xxhash.h"

#include <windows.h>

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

namespace {

const DWORD kReadSize = 1 << 20;
const DWORD kWriteSize = 4 << 20;

double Seconds()
{
    static LARGE_INTEGER frequency;
    if (!frequency.QuadPart)
        QueryPerformanceFrequency(&frequency);
    LARGE_INTEGER now;
    QueryPerformanceCounter(&now);
    return (double)now.QuadPart / (double)frequency.QuadPart;
}

// The processor time of this process (all threads, user and kernel): on a
// machine shared with other work, the time the work itself takes.
double CpuSeconds()
{
    FILETIME created, exited, kernel, user;
    if (!GetProcessTimes(GetCurrentProcess(), &created, &exited, &kernel, &user))
        return 0;
    ULARGE_INTEGER k, u;
    k.LowPart = kernel.dwLowDateTime;
    k.HighPart = kernel.dwHighDateTime;
    u.LowPart = user.dwLowDateTime;
    u.HighPart = user.dwHighDateTime;
    return (double)(k.QuadPart + u.QuadPart) / 1e7;
}

void *HeapAllocate(void *, size_t size)
{
    return HeapAlloc(GetProcessHeap(), 0, size);
}

void HeapRelease(void *, void *address)
{
    if (address)
        HeapFree(GetProcessHeap(), 0, address);
}

const ZSTD_customMem kHeapMemory = {HeapAllocate, HeapRelease, 0};

int ReadAt(HANDLE file, uint32_t offset, void *buffer, DWORD length)
{
    LONG high = 0;
    if (SetFilePointer(file, (LONG)offset, &high, FILE_BEGIN) == INVALID_SET_FILE_POINTER &&
        GetLastError() != NO_ERROR)
        return 0;
    DWORD read = 0;
    return ReadFile(file, buffer, length, &read, 0) && read == length;
}

int ReadNext(HANDLE file, void *buffer, DWORD length)
{
    DWORD read = 0;
    return ReadFile(file, buffer, length, &read, 0) && read == length;
}

int WriteAll(HANDLE file, const void *data, size_t length)
{
    DWORD written = 0;
    return WriteFile(file, data, (DWORD)length, &written, 0) && written == length;
}

struct Bundle {
    HANDLE file;
    BundlePlace place;
    BundleHeader header;
    BundleIndex index;
};

int OpenBundle(const char *path, Bundle *bundle)
{
    bundle->file = CreateFileA(path, GENERIC_READ, FILE_SHARE_READ, 0, OPEN_EXISTING,
                               FILE_FLAG_SEQUENTIAL_SCAN, 0);
    if (bundle->file == INVALID_HANDLE_VALUE)
        return 0;
    static unsigned char image[4096];
    unsigned char header[BUNDLE_HEADER_SIZE];
    static unsigned char index[BUNDLE_MAX_FILES * BUNDLE_ENTRY_SIZE];
    DWORD size = GetFileSize(bundle->file, 0);
    return ReadAt(bundle->file, 0, image, sizeof(image)) &&
           FindBundleData(image, sizeof(image), size, &bundle->place) &&
           HasBundleData(&bundle->place) &&
           ReadAt(bundle->file, bundle->place.dataStart, header, sizeof(header)) &&
           ReadBundleHeader(header, sizeof(header), bundle->place.room, &bundle->header) &&
           ReadAt(bundle->file, bundle->place.dataStart + bundle->header.indexOffset, index,
                  bundle->header.indexLength) &&
           ReadBundleIndex(index, bundle->header.indexLength, &bundle->header, &bundle->index);
}

// The checksum over all the data, read in large pieces, as the run checks it
// before it changes anything.
int CheckWholeData(const Bundle *bundle, unsigned char *buffer)
{
    XXH32_state_t state;
    XXH32_reset(&state, 0);
    uint32_t position = BUNDLE_CHECKSUM_START;
    uint32_t end = bundle->header.totalLength;
    if (!ReadAt(bundle->file, bundle->place.dataStart + position, buffer, 0))
        return 0;
    while (position < end) {
        DWORD piece = end - position < kReadSize ? end - position : kReadSize;
        if (!ReadNext(bundle->file, buffer, piece))
            return 0;
        XXH32_update(&state, buffer, piece);
        position += piece;
    }
    return XXH32_digest(&state) == bundle->header.checksum;
}

// The frame's header states what the index says: content size, a checksum,
// no dictionary, a window within bounds.
int FrameAgrees(const unsigned char *start, size_t available, const BundleEntry *entry)
{
    ZSTD_frameHeader frame;
    return ZSTD_getFrameHeader(&frame, start, available) == 0 && frame.frameType == ZSTD_frame &&
           frame.frameContentSize == entry->size && frame.checksumFlag && frame.dictID == 0 &&
           frame.windowSize <= BUNDLE_MAX_WINDOW;
}

struct Decoder {
    ZSTD_DCtx *context;
    unsigned char *input;   // kReadSize
    unsigned char *output;  // kWriteSize for the stream, the ring otherwise
    size_t ringSize;
};

// ZSTD_decompressStream through a fixed output buffer.
int DecodeStream(Decoder *decoder, HANDLE in, HANDLE out, const BundleEntry *entry)
{
    ZSTD_DCtx_reset(decoder->context, ZSTD_reset_session_only);
    uint32_t left = entry->compressedSize;
    uint32_t produced = 0;
    ZSTD_inBuffer source = {decoder->input, 0, 0};
    ZSTD_outBuffer target = {decoder->output, kWriteSize, 0};
    for (;;) {
        if (source.pos == source.size && left) {
            DWORD piece = left < kReadSize ? left : kReadSize;
            if (!ReadNext(in, decoder->input, piece))
                return 0;
            if (left == entry->compressedSize && !FrameAgrees(decoder->input, piece, entry))
                return 0;
            left -= piece;
            if (!left && (piece < 4 || memcmp(decoder->input + piece - 4, &entry->checksum, 4)))
                return 0;
            source.size = piece;
            source.pos = 0;
        }
        size_t result = ZSTD_decompressStream(decoder->context, &target, &source);
        if (ZSTD_isError(result))
            return 0;
        if (target.pos == target.size || result == 0) {
            produced += (uint32_t)target.pos;
            if (produced > entry->size || !WriteAll(out, target.dst, target.pos))
                return 0;
            target.pos = 0;
        }
        if (result == 0)
            return source.pos == source.size && !left && produced == entry->size;
        if (source.pos == source.size && !left && target.pos < target.size)
            return 0;  // the frame ends before its last block
    }
}

// Buffer-less decoding: each block decoded straight into a ring that holds
// the window, written from there.
struct InputWindow {
    HANDLE file;
    unsigned char *buffer;
    DWORD start, end;
    uint32_t left;  // bytes of the frame not yet read
};

const unsigned char *Take(InputWindow *input, DWORD need)
{
    if (need > kReadSize)
        return 0;
    if (input->end - input->start < need) {
        DWORD kept = input->end - input->start;
        memmove(input->buffer, input->buffer + input->start, kept);
        input->start = 0;
        input->end = kept;
        DWORD piece = kReadSize - kept < input->left ? kReadSize - kept : input->left;
        if (!ReadNext(input->file, input->buffer + kept, piece))
            return 0;
        input->end += piece;
        input->left -= piece;
        if (input->end < need)
            return 0;
    }
    const unsigned char *taken = input->buffer + input->start;
    input->start += need;
    return taken;
}

int DecodeRing(Decoder *decoder, HANDLE in, HANDLE out, const BundleEntry *entry)
{
    InputWindow input = {in, decoder->input, 0, 0, entry->compressedSize};
    ZSTD_frameHeader frame;
    DWORD first = entry->compressedSize < kReadSize ? entry->compressedSize : kReadSize;
    if (!Take(&input, first) || !FrameAgrees(input.buffer, input.end, entry) ||
        ZSTD_getFrameHeader(&frame, input.buffer, input.end) != 0)
        return 0;
    input.start = 0;  // read ahead only: decoding starts at the frame's first byte
    size_t need = ZSTD_decodingBufferSize_min(frame.windowSize, frame.frameContentSize);
    if (ZSTD_isError(need) || need > decoder->ringSize)
        return 0;
    unsigned char *ring = decoder->output;
    size_t position = 0, flushed = 0;
    uint32_t produced = 0;
    if (ZSTD_isError(ZSTD_decompressBegin(decoder->context)))
        return 0;
    for (;;) {
        size_t next = ZSTD_nextSrcSizeToDecompress(decoder->context);
        if (next == 0)
            break;
        const unsigned char *source = Take(&input, (DWORD)next);
        if (!source)
            return 0;
        // Back to the ring's start when a block might not fit; a ring that
        // holds the whole file never wraps (zstd sizes it to the file then).
        if (need < frame.frameContentSize && position + frame.blockSizeMax > need) {
            if (!WriteAll(out, ring + flushed, position - flushed))
                return 0;
            position = flushed = 0;
        }
        size_t made = ZSTD_decompressContinue(decoder->context, ring + position, need - position,
                                              source, next);
        if (ZSTD_isError(made))
            return 0;
        position += made;
        produced += (uint32_t)made;
        if (produced > entry->size)
            return 0;
        if (position - flushed >= kWriteSize) {
            if (!WriteAll(out, ring + flushed, position - flushed))
                return 0;
            flushed = position;
        }
    }
    if (input.left || input.start != input.end || produced != entry->size ||
        memcmp(input.buffer + input.end - 4, &entry->checksum, 4))
        return 0;
    return WriteAll(out, ring + flushed, position - flushed);
}

int MakeDecoder(int ring, Decoder *decoder)
{
    decoder->context = ZSTD_createDCtx_advanced(kHeapMemory);
    decoder->input = (unsigned char *)HeapAllocate(0, kReadSize);
    decoder->ringSize = ZSTD_decodingBufferSize_min(BUNDLE_MAX_WINDOW, ZSTD_CONTENTSIZE_UNKNOWN);
    decoder->output = (unsigned char *)HeapAllocate(0, ring ? decoder->ringSize : kWriteSize);
    return decoder->context && decoder->input && decoder->output &&
           !ZSTD_isError(ZSTD_DCtx_setParameter(decoder->context, ZSTD_d_windowLogMax, 23));
}

void FreeDecoder(Decoder *decoder)
{
    ZSTD_freeDCtx(decoder->context);
    HeapRelease(0, decoder->input);
    HeapRelease(0, decoder->output);
}

int DecodeFile(const Bundle *bundle, HANDLE in, Decoder *decoder, const char *folder,
               const BundleEntry *entry, int ring)
{
    char path[MAX_PATH];
    snprintf(path, sizeof(path), "%s\\%s", folder, entry->name);
    HANDLE out = CreateFileA(path, GENERIC_WRITE, 0, 0, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, 0);
    if (out == INVALID_HANDLE_VALUE)
        return 0;
    int ok = ReadAt(in, bundle->place.dataStart + entry->offset, decoder->input, 0) &&
             (ring ? DecodeRing(decoder, in, out, entry) : DecodeStream(decoder, in, out, entry));
    CloseHandle(out);
    if (!ok)
        fprintf(stderr, "decoding %s failed\n", entry->name);
    return ok;
}

// Files shared out to the threads, largest first; each thread reads the
// bundle through a handle of its own.
struct Work {
    const Bundle *bundle;
    const char *path;
    const char *folder;
    int ring;
    uint32_t order[BUNDLE_MAX_FILES];
    volatile LONG next;
    volatile LONG failed;
};

DWORD WINAPI DecodeFiles(void *parameter)
{
    Work *work = (Work *)parameter;
    Decoder decoder;
    HANDLE in = CreateFileA(work->path, GENERIC_READ, FILE_SHARE_READ, 0, OPEN_EXISTING,
                            FILE_FLAG_SEQUENTIAL_SCAN, 0);
    int ok = in != INVALID_HANDLE_VALUE && MakeDecoder(work->ring, &decoder);
    for (LONG i; ok && (i = InterlockedIncrement(&work->next) - 1) <
                           (LONG)work->bundle->index.fileCount;)
        ok = DecodeFile(work->bundle, in, &decoder, work->folder,
                        &work->bundle->index.entries[work->order[i]], work->ring);
    if (!ok)
        InterlockedIncrement(&work->failed);
    FreeDecoder(&decoder);
    if (in != INVALID_HANDLE_VALUE)
        CloseHandle(in);
    return 0;
}

int DecodeAll(const Bundle *bundle, const char *path, const char *folder, int ring, int threads)
{
    static unsigned char buffer[kReadSize];
    if (!CheckWholeData(bundle, buffer))
        return 0;
    Work work = {bundle, path, folder, ring, {0}, 0, 0};
    for (uint32_t i = 0; i < bundle->index.fileCount; ++i)
        work.order[i] = i;
    for (uint32_t i = 1; i < bundle->index.fileCount; ++i)
        for (uint32_t j = i; j > 0 && bundle->index.entries[work.order[j]].size >
                                          bundle->index.entries[work.order[j - 1]].size; --j) {
            uint32_t kept = work.order[j];
            work.order[j] = work.order[j - 1];
            work.order[j - 1] = kept;
        }
    HANDLE helpers[8];
    int started = 0;
    for (; started < threads - 1 && started < 8; ++started) {
        helpers[started] = CreateThread(0, 0, DecodeFiles, &work, 0, 0);
        if (!helpers[started])
            return 0;
    }
    DecodeFiles(&work);
    if (started)
        WaitForMultipleObjects(started, helpers, TRUE, INFINITE);
    for (int i = 0; i < started; ++i)
        CloseHandle(helpers[i]);
    return work.failed == 0;
}

int CopyAll(const Bundle *bundle, const char *from, const char *to)
{
    for (uint32_t i = 0; i < bundle->index.fileCount; ++i) {
        char source[MAX_PATH], target[MAX_PATH];
        snprintf(source, sizeof(source), "%s\\%s", from, bundle->index.entries[i].name);
        snprintf(target, sizeof(target), "%s\\%s", to, bundle->index.entries[i].name);
        if (!CopyFileA(source, target, FALSE))
            return 0;
    }
    return 1;
}

void DeleteAll(const Bundle *bundle, const char *folder)
{
    for (uint32_t i = 0; i < bundle->index.fileCount; ++i) {
        char path[MAX_PATH];
        snprintf(path, sizeof(path), "%s\\%s", folder, bundle->index.entries[i].name);
        DeleteFileA(path);
    }
}

// The decoded files are the folder's files byte for byte.
int SameFiles(const Bundle *bundle, const char *a, const char *b, unsigned char *one,
              unsigned char *two)
{
    for (uint32_t i = 0; i < bundle->index.fileCount; ++i) {
        char first[MAX_PATH], second[MAX_PATH];
        snprintf(first, sizeof(first), "%s\\%s", a, bundle->index.entries[i].name);
        snprintf(second, sizeof(second), "%s\\%s", b, bundle->index.entries[i].name);
        HANDLE x = CreateFileA(first, GENERIC_READ, FILE_SHARE_READ, 0, OPEN_EXISTING, 0, 0);
        HANDLE y = CreateFileA(second, GENERIC_READ, FILE_SHARE_READ, 0, OPEN_EXISTING, 0, 0);
        int same = x != INVALID_HANDLE_VALUE && y != INVALID_HANDLE_VALUE &&
                   GetFileSize(x, 0) == GetFileSize(y, 0);
        for (DWORD left = same ? GetFileSize(x, 0) : 0; same && left;) {
            DWORD piece = left < kReadSize ? left : kReadSize;
            same = ReadNext(x, one, piece) && ReadNext(y, two, piece) && !memcmp(one, two, piece);
            left -= piece;
        }
        if (x != INVALID_HANDLE_VALUE)
            CloseHandle(x);
        if (y != INVALID_HANDLE_VALUE)
            CloseHandle(y);
        if (!same) {
            fprintf(stderr, "%s differs\n", bundle->index.entries[i].name);
            return 0;
        }
    }
    return 1;
}

void MeasureChecksums(unsigned char *block, DWORD length)
{
    for (DWORD i = 0; i < length; ++i)
        block[i] = (unsigned char)(i * 2654435761u >> 13);
    double best32 = 1e9, best64 = 1e9;
    unsigned sum = 0;
    for (int round = 0; round < 5; ++round) {
        double start = Seconds();
        sum += XXH32(block, length, 0);
        double middle = Seconds();
        sum += (unsigned)XXH64(block, length, 0);
        double end = Seconds();
        best32 = middle - start < best32 ? middle - start : best32;
        best64 = end - middle < best64 ? end - middle : best64;
    }
    printf("checksum throughput: XXH32 %.0f MB/s, XXH64 %.0f MB/s (%08x)\n",
           length / best32 / 1e6, length / best64 / 1e6, sum);
}

} // namespace

int main(int argc, char **argv)
{
    if (argc < 4) {
        fprintf(stderr, "usage: bundle_measure <bundle> <setup folder> <output folder> [rounds] "
                        "[stream|ring] [threads]\n");
        return 2;
    }
    int rounds = argc > 4 ? atoi(argv[4]) : 3;
    int ring = argc > 5 && !strcmp(argv[5], "ring");
    int threads = argc > 6 ? atoi(argv[6]) : 1;
    Bundle bundle;
    if (!OpenBundle(argv[1], &bundle)) {
        fprintf(stderr, "%s: no readable bundle\n", argv[1]);
        return 1;
    }
    char decoded[MAX_PATH], copied[MAX_PATH];
    snprintf(decoded, sizeof(decoded), "%s\\decoded", argv[3]);
    snprintf(copied, sizeof(copied), "%s\\copied", argv[3]);
    CreateDirectoryA(argv[3], 0);
    CreateDirectoryA(decoded, 0);
    CreateDirectoryA(copied, 0);
    uint64_t total = 0;
    for (uint32_t i = 0; i < bundle.index.fileCount; ++i)
        total += bundle.index.entries[i].size;
    printf("bundle: %u files, %llu bytes, data %u bytes (%.1f%%), decoding by %s, %d thread%s\n",
           bundle.index.fileCount, (unsigned long long)total, bundle.header.totalLength,
           100.0 * bundle.header.totalLength / (double)total, ring ? "ring" : "stream", threads,
           threads == 1 ? "" : "s");
    // First, untimed: both ways once, and the decoded files must be the
    // folder's files.
    static unsigned char one[kReadSize], two[kReadSize];
    if (!DecodeAll(&bundle, argv[1], decoded, ring, threads) || !CopyAll(&bundle, argv[2], copied) ||
        !SameFiles(&bundle, decoded, copied, one, two)) {
        fprintf(stderr, "decoding or copying failed, or the files differ\n");
        return 1;
    }
    DeleteAll(&bundle, decoded);
    DeleteAll(&bundle, copied);
    double bestDecode = 1e9, bestCopy = 1e9, cpuDecode = 1e9, cpuCopy = 1e9;
    double ratios[64];
    int measured = 0;
    for (int round = 0; round < rounds; ++round) {
        double times[2], cpu[2];
        for (int turn = 0; turn < 2; ++turn) {
            int decode = (turn + round) % 2 == 0;
            double cpuStart = CpuSeconds();
            double start = Seconds();
            int ok = decode ? DecodeAll(&bundle, argv[1], decoded, ring, threads)
                            : CopyAll(&bundle, argv[2], copied);
            times[decode] = Seconds() - start;
            cpu[decode] = CpuSeconds() - cpuStart;
            if (!ok) {
                fprintf(stderr, decode ? "decoding failed\n" : "copying failed\n");
                return 1;
            }
            DeleteAll(&bundle, decode ? decoded : copied);
        }
        printf("round %d: decode %.3f s, copy %.3f s, ratio %.2f; processor time %.3f s and "
               "%.3f s, ratio %.2f\n", round + 1, times[1], times[0], times[1] / times[0], cpu[1],
               cpu[0], cpu[1] / cpu[0]);
        cpuDecode = cpu[1] < cpuDecode ? cpu[1] : cpuDecode;
        cpuCopy = cpu[0] < cpuCopy ? cpu[0] : cpuCopy;
        bestDecode = times[1] < bestDecode ? times[1] : bestDecode;
        bestCopy = times[0] < bestCopy ? times[0] : bestCopy;
        if (measured < 64)
            ratios[measured++] = times[1] / times[0];
    }
    for (int i = 1; i < measured; ++i)
        for (int j = i; j > 0 && ratios[j] < ratios[j - 1]; --j) {
            double kept = ratios[j];
            ratios[j] = ratios[j - 1];
            ratios[j - 1] = kept;
        }
    printf("best: check and decode %.3f s (%.0f MB/s), CopyFile %.3f s (%.0f MB/s)\n", bestDecode,
           total / bestDecode / 1e6, bestCopy, total / bestCopy / 1e6);
    printf("decode over copy: %.2fx of the best times, %.2fx the median round; processor time "
           "%.2fx (best %.3f s and %.3f s)\n", bestDecode / bestCopy, ratios[measured / 2],
           cpuDecode / cpuCopy, cpuDecode, cpuCopy);
    static unsigned char block[kWriteSize];
    MeasureChecksums(block, kWriteSize);
    return 0;
}
