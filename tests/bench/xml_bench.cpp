// Parsing throughput of the engine against pugixml on the same documents, and
// how parsing time grows with size. Prints MB/s for both and their ratio.
#include "xml/xml.h"

#include <benchmark/benchmark.h>
#include <pugixml.hpp>

#include <malloc.h>
#include <stdio.h>
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

// Keeps the per-run figures for the summary.
class Collector : public benchmark::ConsoleReporter {
public:
    std::map<std::string, double> bytesPerSecond;
    std::map<std::string, double> secondsPerParse;
    void ReportRuns(const std::vector<Run> &runs) override
    {
        ConsoleReporter::ReportRuns(runs);
        for (const Run &run : runs) {
            std::string name = run.run_name.function_name;
            bytesPerSecond[name] = run.counters.count("bytes_per_second")
                                       ? (double)run.counters.at("bytes_per_second")
                                       : 0.0;
            secondsPerParse[name] = run.iterations ? run.real_accumulated_time / (double)run.iterations : 0.0;
        }
    }
};

} // namespace

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
            ->Unit(benchmark::kMillisecond)->MinTime(1.0);
        benchmark::RegisterBenchmark(("pugixml/" + name).c_str(), ParsePugixml, text)
            ->Unit(benchmark::kMillisecond)->MinTime(1.0);
    }
    benchmark::Initialize(&argc, argv);
    Collector collector;
    benchmark::RunSpecifiedBenchmarks(&collector);

    printf("\n%-18s %12s %12s %8s\n", "document", "engine MB/s", "pugixml MB/s", "ratio");
    for (const std::string &name : names) {
        double engine = collector.bytesPerSecond["engine/" + name] / 1e6;
        double pugi = collector.bytesPerSecond["pugixml/" + name] / 1e6;
        printf("%-18s %12.1f %12.1f %8.2f\n", name.c_str(), engine, pugi, pugi ? engine / pugi : 0.0);
    }
    double ten = collector.secondsPerParse["engine/descriptor_10MB"];
    double hundred = collector.secondsPerParse["engine/descriptor_100MB"];
    if (ten > 0)
        printf("\nengine: 100 MB takes %.2f times the time of 10 MB (linear: 10, goal: at most 11)\n",
               hundred / ten);
    return 0;
}
