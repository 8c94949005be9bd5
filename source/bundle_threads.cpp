// Several files of the bundle decoded at once: decoding is processor work,
// so each further processor gets a thread of its own. The reads through the
// held handle take turns (ReadFileAt).
#include "source/setup_source.h"

#include "base/system_version.h"

#include <string.h>

namespace {

// The files to decode, each begun by one thread only. Each thread first
// takes the files planned for it, largest first, then any that another
// thread has not begun yet, smallest first, so that a thread that runs
// slower than the others is not waited for.
struct DecodeJob {
    const SetupBundle *bundle;
    const BundleEntry *const *entries;
    const char *const *paths;
    int count;
    int order[BUNDLE_MAX_FILES];  // files by decoded size, largest first
    int owner[BUNDLE_MAX_FILES];  // the thread planned for each place of `order`
    LONG begun[BUNDLE_MAX_FILES];
    LONG threads;                 // the threads that have started, each its number
    LONG failed;                  // a file failed: the files left are not taken
};

void DecodeIfNotBegun(DecodeJob *job, int file)
{
    if (!job->failed && !InterlockedExchange(&job->begun[file], 1) &&
        DecodeBundleFile(job->bundle, job->entries[file], job->paths[file]) != DECODE_DONE)
        InterlockedExchange(&job->failed, 1);
}

DWORD WINAPI DecodeFiles(LPVOID data)
{
    DecodeJob *job = (DecodeJob *)data;
    int thread = (int)InterlockedIncrement(&job->threads) - 1;
    for (int at = 0; at < job->count; ++at)
        if (job->owner[at] == thread)
            DecodeIfNotBegun(job, job->order[at]);
    for (int at = job->count; at-- > 0;)
        DecodeIfNotBegun(job, job->order[at]);
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

const DWORD kMostHelperDecoders = BUNDLE_MAX_DECODERS - 1;  // beside the calling thread

DWORD WantedHelperDecoders(void)
{
    SYSTEM_INFO system;
    GetSystemInfo(&system);
    DWORD wanted = IsNtPlatform() ? system.dwNumberOfProcessors - 1 : 0;
    return wanted > kMostHelperDecoders ? kMostHelperDecoders : wanted;
}

DWORD StartHelperDecoders(DecodeJob *job, DWORD wanted, HANDLE helpers[kMostHelperDecoders])
{
    DWORD started = 0;
    for (DWORD id; started < wanted; ++started)
        if (!(helpers[started] = CreateThread(0, 0, DecodeFiles, job, 0, &id)))
            break;
    return started;
}

} // namespace

void PlanDecodingThreads(const uint32_t *sizes, int count, int threads, int *owner)
{
    uint32_t load[BUNDLE_MAX_DECODERS] = {0};
    for (int file = 0; file < count; ++file) {
        int least = 0;
        for (int thread = 1; thread < threads; ++thread)
            least = load[thread] < load[least] ? thread : least;
        owner[file] = least;
        load[least] += sizes[file];
    }
    // Then, while it helps, a file of the most loaded thread goes to the
    // least loaded one, or the two swap a pair: the exchange after which the
    // larger of their two loads is the smallest, and below the larger now
    // (so the shift lies strictly between 0 and the gap).
    for (;;) {
        int most = 0, least = 0;
        for (int thread = 1; thread < threads; ++thread) {
            most = load[thread] > load[most] ? thread : most;
            least = load[thread] < load[least] ? thread : least;
        }
        const uint32_t gap = load[most] - load[least];
        uint32_t best = 0, bestLarger = gap;
        int give = -1, take = -1;
        for (int from = 0; from < count; ++from)
            for (int to = -1; to < count; ++to) {
                if (owner[from] != most || (to >= 0 && owner[to] != least))
                    continue;
                uint32_t back = to >= 0 ? sizes[to] : 0;
                uint32_t shift = sizes[from] > back ? sizes[from] - back : 0;
                uint32_t larger = shift > gap - shift ? shift : gap - shift;
                if (larger < bestLarger) {
                    best = shift;
                    bestLarger = larger;
                    give = from;
                    take = to;
                }
            }
        if (give < 0)
            return;
        owner[give] = least;
        if (take >= 0)
            owner[take] = most;
        load[most] -= best;
        load[least] += best;
    }
}

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
    OrderLargestFirst(&job);
    DWORD wanted = WantedHelperDecoders();
    uint32_t sizes[BUNDLE_MAX_FILES];
    for (int at = 0; at < count; ++at)
        sizes[at] = entries[job.order[at]]->size;
    PlanDecodingThreads(sizes, count, (int)wanted + 1, job.owner);
    HANDLE helpers[kMostHelperDecoders];
    DWORD started = StartHelperDecoders(&job, wanted, helpers);
    DecodeFiles(&job);
    if (started)
        WaitForMultipleObjects(started, helpers, TRUE, INFINITE);
    while (started)
        CloseHandle(helpers[--started]);
    return !job.failed;
}
