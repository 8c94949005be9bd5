// The documents the benchmark parses, shared by the throughput benchmark and
// the peak-memory probe of the 32-bit build, so that both see the same bytes.
#ifndef XML_BENCH_DOCUMENTS_H
#define XML_BENCH_DOCUMENTS_H

#include "xml/platform.h"
#include "xml/xml.h"

#include <stdio.h>
#include <string>

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

struct BenchCase {
    const char *name;
    std::string text;
};

const int kBenchCases = 5;

// The benchmark's documents, in the order of its table.
inline void MakeBenchCases(BenchCase (&cases)[kBenchCases])
{
    cases[0] = BenchCase{"descriptor_1MB", DescriptorDocument(1u << 20)};
    cases[1] = BenchCase{"descriptor_10MB", DescriptorDocument(10u << 20)};
    cases[2] = BenchCase{"descriptor_100MB", DescriptorDocument(100u << 20)};
    cases[3] = BenchCase{"wide_200000", WideDocument(200000)};
    cases[4] = BenchCase{"deep_1000", DeepDocument(XML_MAX_DEPTH)};
}

} // namespace

#endif
