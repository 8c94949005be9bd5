// Several files of the bundle decoded at once: decoding is processor work,
// so each further processor gets a thread of its own. The reads through the
// held handle take turns (ReadFileAt).
#include "source/setup_source.h"

#include "base/system_version.h"

#include <string.h>

namespace {

// The files to decode, taken one at a time by each decoding thread, largest
// first, so that no thread is left with a large file at the end. Measured on
// two processors with nine files of 99 to 142 MB, the last one still decodes
// alone for about 0.2 s of 1.4 s; shorter turns would need several frames per
// file, another format, to win half of that.
struct DecodeJob {
    const SetupBundle *bundle;
    const BundleEntry *const *entries;
    const char *const *paths;
    int count;
    int order[BUNDLE_MAX_FILES];  // files by decoded size, largest first
    LONG next;                    // the next place in `order` to take, less one
    LONG failed;                  // a file failed: the files left are not taken
};

DWORD WINAPI DecodeFiles(LPVOID data)
{
    DecodeJob *job = (DecodeJob *)data;
    for (LONG at; !job->failed && (at = InterlockedIncrement(&job->next)) < job->count;) {
        int file = job->order[at];
        if (DecodeBundleFile(job->bundle, job->entries[file], job->paths[file]) != DECODE_DONE)
            InterlockedExchange(&job->failed, 1);
    }
    return 0;
}

void OrderLargestFirst(DecodeJob *job)
{
    for (int at = 0; at < job->count; ++at) {
        int file = at, place = at;
        for (; place > 0 && job->entries[job->order[place - 1]]->size < job->entries[file]->size;
             --place)
            job->order[place] = job->order[place - 1];
        job->order[place] = file;
    }
}

// Up to three threads beside the calling one: each decoder holds the frame's
// window, 8 MiB at most.
const DWORD kMostHelperDecoders = 3;

DWORD StartHelperDecoders(DecodeJob *job, HANDLE helpers[kMostHelperDecoders])
{
    SYSTEM_INFO system;
    GetSystemInfo(&system);
    DWORD wanted = IsNtPlatform() ? system.dwNumberOfProcessors - 1 : 0, started = 0;
    if (wanted > kMostHelperDecoders)
        wanted = kMostHelperDecoders;
    for (DWORD id; started < wanted; ++started)
        if (!(helpers[started] = CreateThread(0, 0, DecodeFiles, job, 0, &id)))
            break;
    return started;
}

} // namespace

int DecodeBundleFiles(const SetupBundle *bundle, const BundleEntry *const *entries,
                      const char *const *paths, int count)
{
    static DecodeJob job;
    if (count < 0 || count > (int)BUNDLE_MAX_FILES)
        return 0;
    memset(&job, 0, sizeof(job));
    job.bundle = bundle;
    job.entries = entries;
    job.paths = paths;
    job.count = count;
    job.next = -1;
    OrderLargestFirst(&job);
    HANDLE helpers[kMostHelperDecoders];
    DWORD started = StartHelperDecoders(&job, helpers);
    DecodeFiles(&job);
    if (started)
        WaitForMultipleObjects(started, helpers, TRUE, INFINITE);
    while (started)
        CloseHandle(helpers[--started]);
    return !job.failed;
}
