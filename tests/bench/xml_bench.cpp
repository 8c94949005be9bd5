// Parsing throughput of the engine against pugixml on the same documents, and
// how parsing time grows with size. Prints the best MB/s of several repetitions
// for both, their ratio, and the memory each holds at most while parsing.
#include "xml/platform.h"
#include "xml/xml.h"

#include <benchmark/benchmark.h>
#include <pugixml.hpp>

#include <malloc.h>
#include <stdio.h>
#include <stdlib.h>
#include <map>
#include <string>
#include <vector>

namespace {

const char kProlog[] = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n";

// A build descriptor of about `bytes` bytes: packages with releases, localized
// titles, CDATA sections, comments and entities.
std::string DescriptorDocument(size_t bytes)
{
    std::string text = std::string(kProlog) + "<?zyn version=\"2\"?>\n<build>\n";
    for (unsigned i = 0; text.size() < bytes; ++i) {
        char package[1024];
        snprintf(package, sizeof(package),
                 "  <zyn id=\"PKG%06u\">\n"
                 "    <!-- package %u -->\n"
                 "    <xrelease>\n"
                 "      <release id=\"RELEASE\" order=\"%u\">\n"
                 "        <NAME>Package &amp; Tools %u</NAME>\n"
                 "        <VERSION>3.%02u.%04u</VERSION>\n"
                 "        <title>\n"
                 "          <item method=\"LANGUAGE\" id=\"0407\"><data id=\"t\">Paket %u</data></item>\n"
                 "          <item default=\"1\"><data id=\"t\">Package %u</data></item>\n"
                 "        </title>\n"
                 "        <notes><![CDATA[Fixes <b>%u</b> & more]]></notes>\n"
                 "        <file name=\"dorsel%u.dll\" size=\"%u\" crc=\"%08X\"/>\n"
                 "      </release>\n"
                 "    </xrelease>\n"
                 "  </zyn>\n",
                 i, i, i, i, i % 100, i % 10000, i, i, i, i, i * 7, i * 2654435761u);
        text += package;
    }
    return text + "</build>\n";
}

std::string WideDocument(unsigned siblings)
{
    std::string text = std::string(kProlog) + "<r>";
    char item[64];
    for (unsigned i = 0; i < siblings; ++i) {
        snprintf(item, sizeof(item), "<i n=\"%u\">v</i>", i);
        text += item;
    }
    return text + "</r>";
}

std::string DeepDocument(unsigned levels)
{
    std::string text = kProlog;
    for (unsigned i = 0; i < levels; ++i)
        text += "<a k=\"v\">";
    text += "x";
    for (unsigned i = 0; i < levels; ++i)
        text += "</a>";
    return text;
}

std::map<std::string, std::string> &Documents()
{
    static std::map<std::string, std::string> documents;
    return documents;
}

void ParseEngine(benchmark::State &state, const std::string *text)
{
    for (auto _ : state) {
        XmlDocument *document = ParseDocument(text->data(), (int32_t)text->size(), 0);
        if (!document)
            state.SkipWithError("parse failed");
        FreeDocument(document);
    }
    state.SetBytesProcessed((int64_t)state.iterations() * (int64_t)text->size());
}

void ParsePugixml(benchmark::State &state, const std::string *text)
{
    for (auto _ : state) {
        pugi::xml_document document;
        if (!document.load_buffer(text->data(), text->size()))
            state.SkipWithError("parse failed");
    }
    state.SetBytesProcessed((int64_t)state.iterations() * (int64_t)text->size());
}

// Keeps the best figures of the repetitions for the summary.
class Collector : public benchmark::ConsoleReporter {
public:
    std::map<std::string, double> bytesPerSecond;
    std::map<std::string, double> secondsPerParse;
    void ReportRuns(const std::vector<Run> &runs) override
    {
        ConsoleReporter::ReportRuns(runs);
        for (const Run &run : runs) {
            if (run.run_type != Run::RT_Iteration || !run.iterations || run.error_occurred)
                continue;
            std::string name = run.run_name.function_name;
            double rate = run.counters.count("bytes_per_second")
                              ? (double)run.counters.at("bytes_per_second")
                              : 0.0;
            double seconds = run.cpu_accumulated_time / (double)run.iterations;
            if (rate > bytesPerSecond[name])
                bytesPerSecond[name] = rate;
            if (!secondsPerParse.count(name) || seconds < secondsPerParse[name])
                secondsPerParse[name] = seconds;
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

// Most bytes held at one time while parsing, the copy of the input included.
uint64_t EnginePeak(const std::string &text)
{
    HostHeapResetPeak();
    uint64_t before = HostHeapPeak();
    XmlDocument *document = ParseDocument(text.data(), (int32_t)text.size(), 0);
    uint64_t peak = HostHeapPeak() - before;
    FreeDocument(document);
    return document ? peak : 0;
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

} // namespace

const int kRepetitions = 5;

int main(int argc, char **argv)
{
    // Keep freed memory in the process, as the Windows heaps do, instead of
    // returning it to the system after every parse; both parsers alike.
    mallopt(M_MMAP_THRESHOLD, 256 << 20);
    mallopt(M_TRIM_THRESHOLD, 512 << 20);
    const struct {
        const char *name;
        std::string text;
    } cases[] = {
        {"descriptor_1MB", DescriptorDocument(1u << 20)},
        {"descriptor_10MB", DescriptorDocument(10u << 20)},
        {"descriptor_100MB", DescriptorDocument(100u << 20)},
        {"wide_200000", WideDocument(200000)},
        {"deep_1000", DeepDocument(XML_MAX_DEPTH)},
    };
    std::vector<std::string> names;
    for (const auto &c : cases) {
        Documents()[c.name] = c.text;
        names.push_back(c.name);
    }
    for (const std::string &name : names) {
        const std::string *text = &Documents()[name];
        benchmark::RegisterBenchmark(("engine/" + name).c_str(), ParseEngine, text)
            ->Unit(benchmark::kMillisecond)->MinTime(0.5)->Repetitions(kRepetitions);
        benchmark::RegisterBenchmark(("pugixml/" + name).c_str(), ParsePugixml, text)
            ->Unit(benchmark::kMillisecond)->MinTime(0.5)->Repetitions(kRepetitions);
    }
    // Repetitions of all benchmarks run in random order, so that a busy spell
    // of the machine does not fall on one parser alone. The command line can
    // still turn this off.
    std::vector<char *> arguments(argv, argv + argc);
    char interleave[] = "--benchmark_enable_random_interleaving=true";
    arguments.insert(arguments.begin() + 1, interleave);
    int count = (int)arguments.size();
    benchmark::Initialize(&count, arguments.data());
    Collector collector;
    benchmark::RunSpecifiedBenchmarks(&collector);

    printf("\nBest of %d repetitions (MB/s of CPU time); peak: most bytes held while parsing,\n"
           "the copy of the input included, as a multiple of the document's size.\n\n",
           kRepetitions);
    printf("%-18s %8s %12s %12s %7s %12s %12s\n", "document", "MB", "engine MB/s", "pugixml MB/s",
           "ratio", "engine peak", "pugixml peak");
    for (const std::string &name : names) {
        const std::string &text = Documents()[name];
        double size = (double)text.size();
        double engine = collector.bytesPerSecond["engine/" + name] / 1e6;
        double pugi = collector.bytesPerSecond["pugixml/" + name] / 1e6;
        printf("%-18s %8.2f %12.1f %12.1f %7.2f %11.2fN %11.2fN\n", name.c_str(), size / 1e6, engine,
               pugi, pugi ? engine / pugi : 0.0, (double)EnginePeak(text) / size,
               (double)PugixmlPeak(text) / size);
    }
    double ten = collector.secondsPerParse["engine/descriptor_10MB"];
    double hundred = collector.secondsPerParse["engine/descriptor_100MB"];
    if (ten > 0)
        printf("\nengine: 100 MB takes %.2f times the time of 10 MB (linear: 10, goal: at most 11)\n",
               hundred / ten);
    return 0;
}
