// Parsing throughput of the engine against pugixml on the same documents, and
// how parsing time grows with size. Prints the best MB/s of several repetitions
// for both, their ratio, and the memory each holds at most while parsing.
#include "documents.h"

#include <benchmark/benchmark.h>
#include <pugixml.hpp>

#include <malloc.h>
#include <stdio.h>
#include <stdlib.h>
#include <time.h>
#include <map>
#include <string>
#include <utility>
#include <vector>

namespace {

std::map<std::string, std::string> &Documents()
{
    static std::map<std::string, std::string> documents;
    return documents;
}

int ParseWithEngine(const std::string &text)
{
    XmlDocument *document = ParseDocument(text.data(), (int32_t)text.size(), 0);
    return FreeDocument(document);
}

int ParseWithPugixml(const std::string &text)
{
    pugi::xml_document document;
    return (bool)document.load_buffer(text.data(), text.size());
}

double CpuSeconds()
{
    timespec now;
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return (double)now.tv_sec + (double)now.tv_nsec * 1e-9;
}

// CPU seconds one parse took (0: the engine, 1: pugixml), or -1 when it failed.
double TimeParse(int parser, const std::string &text)
{
    double start = CpuSeconds();
    int parsed = parser ? ParseWithPugixml(text) : ParseWithEngine(text);
    double taken = CpuSeconds() - start;
    return parsed ? taken : -1;
}

// Both parsers in turns, a parse each, the first one changing every time: a
// slow or fast spell of a shared machine then falls on both alike, and the
// ratio tells the parsers apart rather than the moments they ran in.
void ParseInTurns(benchmark::State &state, const std::string *text)
{
    double seconds[2] = {0, 0};
    int64_t turn = 0;
    for (auto _ : state) {
        for (int i = 0; i < 2; ++i) {
            int parser = (int)((turn + i) & 1);
            double taken = TimeParse(parser, *text);
            if (taken < 0)
                state.SkipWithError("parse failed");
            seconds[parser] += taken;
        }
        ++turn;
    }
    double bytes = (double)state.iterations() * (double)text->size();
    state.counters["engine_MBps"] = seconds[0] > 0 ? bytes / seconds[0] / 1e6 : 0;
    state.counters["pugixml_MBps"] = seconds[1] > 0 ? bytes / seconds[1] / 1e6 : 0;
}

// How the engine's time grows with size, the same way: every turn parses the
// 10 MB document five times, the 100 MB one once, and the 10 MB one five times
// again, so that both sizes run in the same spells of the machine.
void ParseSizesInTurns(benchmark::State &state, const std::string *ten, const std::string *hundred)
{
    double seconds[2] = {0, 0};
    for (auto _ : state) {
        for (int i = 0; i < 11; ++i) {
            int large = i == 5;
            double taken = TimeParse(0, large ? *hundred : *ten);
            if (taken < 0)
                state.SkipWithError("parse failed");
            seconds[large] += taken;
        }
    }
    state.counters["ms_10MB"] = seconds[0] * 1e3 / 10 / (double)state.iterations();
    state.counters["ms_100MB"] = seconds[1] * 1e3 / (double)state.iterations();
}

// Keeps the best figure of the repetitions for every benchmark and counter,
// by "benchmark/counter": the highest rate, the shortest time.
class Collector : public benchmark::ConsoleReporter {
public:
    std::map<std::string, double> best;
    void ReportRuns(const std::vector<Run> &runs) override
    {
        ConsoleReporter::ReportRuns(runs);
        for (const Run &run : runs) {
            if (run.run_type != Run::RT_Iteration || !run.iterations || run.error_occurred)
                continue;
            for (const auto &counter : run.counters) {
                std::string key = run.run_name.function_name + "/" + counter.first;
                double value = counter.second;
                bool rate = counter.first.find("MBps") != std::string::npos;
                if (!best.count(key) || (rate ? value > best[key] : value < best[key]))
                    best[key] = value;
            }
        }
    }
};

// pugixml's allocations, counted the same way as the engine's heap blocks.
uint64_t pugixmlHeld = 0;
uint64_t pugixmlPeak = 0;
const size_t kHeader = 16;

void *CountedAllocate(size_t size)
{
    char *raw = (char *)malloc(kHeader + size);
    if (!raw)
        return 0;
    *(size_t *)raw = size;
    pugixmlHeld += size;
    if (pugixmlHeld > pugixmlPeak)
        pugixmlPeak = pugixmlHeld;
    return raw + kHeader;
}

void CountedDeallocate(void *block)
{
    if (!block)
        return;
    char *raw = (char *)block - kHeader;
    pugixmlHeld -= *(size_t *)raw;
    free(raw);
}

uint64_t PugixmlPeak(const std::string &text)
{
    pugi::set_memory_management_functions(CountedAllocate, CountedDeallocate);
    pugixmlPeak = pugixmlHeld;
    uint64_t before = pugixmlPeak;
    uint64_t peak = 0;
    {
        pugi::xml_document document;
        if (document.load_buffer(text.data(), text.size()))
            peak = pugixmlPeak - before;
    }
    pugi::set_memory_management_functions(malloc, free);
    return peak;
}

// The peaks of the 32-bit build, from the probe built with it, by document
// name; empty when this machine cannot build 32-bit programs.
std::map<std::string, uint64_t> Peaks32()
{
    std::map<std::string, uint64_t> peaks;
#ifdef XML_PEAK32_PROBE
    FILE *probe = popen(XML_PEAK32_PROBE, "r");
    if (!probe)
        return peaks;
    char name[64];
    unsigned long long size, peak;
    while (fscanf(probe, "%63s %llu %llu", name, &size, &peak) == 3)
        peaks[name] = peak;
    pclose(probe);
#endif
    return peaks;
}

} // namespace

const int kRepetitions = 5;

int main(int argc, char **argv)
{
    // Keep freed memory in the process, as the Windows heaps do, instead of
    // returning it to the system after every parse; both parsers alike.
    mallopt(M_MMAP_THRESHOLD, 256 << 20);
    mallopt(M_TRIM_THRESHOLD, 512 << 20);
    BenchCase cases[kBenchCases];
    MakeBenchCases(cases);
    std::vector<std::string> names;
    for (auto &c : cases) {
        Documents()[c.name] = std::move(c.text);
        names.push_back(c.name);
    }
    for (const std::string &name : names) {
        benchmark::RegisterBenchmark(name.c_str(), ParseInTurns, &Documents()[name])
            ->Unit(benchmark::kMillisecond)->MinTime(1.0)->Repetitions(kRepetitions);
    }
    benchmark::RegisterBenchmark("linearity", ParseSizesInTurns, &Documents()["descriptor_10MB"],
                                 &Documents()["descriptor_100MB"])
        ->Unit(benchmark::kMillisecond)->MinTime(1.0)->Repetitions(kRepetitions);
    // Repetitions of all documents run in random order, so that a busy spell
    // of the machine does not fall on one document alone. The command line
    // can still turn this off.
    std::vector<char *> arguments(argv, argv + argc);
    char interleave[] = "--benchmark_enable_random_interleaving=true";
    arguments.insert(arguments.begin() + 1, interleave);
    int count = (int)arguments.size();
    benchmark::Initialize(&count, arguments.data());
    Collector collector;
    benchmark::RunSpecifiedBenchmarks(&collector);

    printf("\nBest of %d repetitions (MB/s of CPU time; in each repetition the two parsers take\n"
           "turns, a parse each); peak: most bytes held while parsing,\n"
           "the copy of the input included, as a multiple of the document's size; the engine's\n"
           "in this 64-bit build and in the 32-bit build the product ships (its records are\n"
           "half the size; \"-\" when this machine cannot build 32-bit programs).\n\n",
           kRepetitions);
    std::map<std::string, uint64_t> peaks32 = Peaks32();
    printf("%-18s %8s %12s %12s %7s %12s %12s %12s\n", "document", "MB", "engine MB/s",
           "pugixml MB/s", "ratio", "engine peak", "32-bit peak", "pugixml peak");
    for (const std::string &name : names) {
        const std::string &text = Documents()[name];
        double size = (double)text.size();
        double engine = collector.best[name + "/engine_MBps"];
        double pugi = collector.best[name + "/pugixml_MBps"];
        char peak32[32] = "-";
        if (peaks32.count(name))
            snprintf(peak32, sizeof(peak32), "%.2fN", (double)peaks32[name] / size);
        printf("%-18s %8.2f %12.1f %12.1f %7.2f %11.2fN %12s %11.2fN\n", name.c_str(), size / 1e6,
               engine, pugi, pugi ? engine / pugi : 0.0, (double)EnginePeak(text) / size, peak32,
               (double)PugixmlPeak(text) / size);
    }
    double ten = collector.best["linearity/ms_10MB"];
    double hundred = collector.best["linearity/ms_100MB"];
    if (ten > 0)
        printf("\nengine: 100 MB takes %.2f times the time of 10 MB (best of %d repetitions, both\n"
               "sizes in turns; linear: 10, goal: at most 11)\n",
               hundred / ten, kRepetitions);
    return 0;
}
