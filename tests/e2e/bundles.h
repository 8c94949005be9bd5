// Bundles made by the tests (the format is source/bundle_format.h): a
// setup.exe's stub, then data whose files are zstd frames of stored (raw)
// blocks with their content size, so that a test can lay out
// and damage every byte. tools/bundle.sh makes compressed frames.
#ifndef TESTS_E2E_BUNDLES_H
#define TESTS_E2E_BUNDLES_H

#include "source/bundle_format.h"
#include "tests/files/file_access.h"
#include "third_party/zstd/lib/common/xxhash.h"

#include <string>
#include <vector>

inline void Put32(std::string *bytes, size_t at, uint32_t value)
{
    for (int i = 0; i < 4; ++i)
        (*bytes)[at + i] = (char)(value >> (8 * i));
}

inline uint32_t Get32(const std::string &bytes, size_t at)
{
    return (unsigned char)bytes[at] | (unsigned char)bytes[at + 1] << 8 |
           (unsigned char)bytes[at + 2] << 16 | (uint32_t)(unsigned char)bytes[at + 3] << 24;
}

// An entry's checksum of its file's content.
inline uint32_t ContentChecksum(const std::string &content)
{
    return XXH32(content.data(), content.size(), 0);
}

// A zstd frame of `content` in raw blocks of at most 128 KiB that states
// `statedSize` as its content size and an 8 MiB window.
inline std::string StoredFrame(const std::string &content, uint32_t statedSize)
{
    std::string frame("\x28\xB5\x2F\xFD\x80\x68\0\0\0\0", 10);
    Put32(&frame, 6, statedSize);
    size_t at = 0;
    do {
        size_t size = content.size() - at < 0x20000 ? content.size() - at : 0x20000;
        uint32_t header = (uint32_t)(size << 3) | (at + size == content.size());
        frame.append({(char)header, (char)(header >> 8), (char)(header >> 16)});
        frame.append(content, at, size);
        at += size;
    } while (at < content.size());
    return frame;
}

struct BundleFile {
    std::string name;
    std::string content;
    std::string frame;  // StoredFrame(content) unless a test sets another
};

enum { ENTRY_SIZE = BUNDLE_NAME_SIZE, ENTRY_COMPRESSED = ENTRY_SIZE + 4,
       ENTRY_OFFSET = ENTRY_SIZE + 8, ENTRY_CHECKSUM = ENTRY_SIZE + 12 };

// A bundle laid out file by file, then as bytes: each entry states its file's
// name, size and checksum, the header's checksum is set.
struct TestBundle {
    std::string stub;
    std::vector<BundleFile> files;
    std::string bytes;

    size_t Data() const { return stub.size(); }
    int Find(const std::string &name) const
    {
        for (size_t i = 0; i < files.size(); ++i)
            if (files[i].name == name)
                return (int)i;
        return -1;
    }
    size_t Entry(const std::string &name) const
    {
        return Data() + BUNDLE_HEADER_SIZE + (size_t)Find(name) * BUNDLE_ENTRY_SIZE;
    }
    size_t Frame(const std::string &name) const
    {
        return Data() + Get32(bytes, Entry(name) + ENTRY_OFFSET);
    }
    void Add(const std::string &name, const std::string &content)
    {
        files.push_back({name, content, StoredFrame(content, (uint32_t)content.size())});
    }
    // The header checksum set again after a change of the bytes.
    void Resign()
    {
        Put32(&bytes, Data() + 8,
              ChecksumBundleData((const unsigned char *)bytes.data() + Data(),
                                 (uint32_t)(bytes.size() - Data())));
    }
    void Assemble()
    {
        bytes = stub + std::string(BUNDLE_HEADER_SIZE + files.size() * BUNDLE_ENTRY_SIZE, '\0');
        bytes.replace(Data(), BUNDLE_MAGIC_SIZE, (const char *)kBundleMagic, BUNDLE_MAGIC_SIZE);
        for (const BundleFile &file : files) {
            size_t entry = Entry(file.name);
            bytes.replace(entry, file.name.size(), file.name);
            Put32(&bytes, entry + ENTRY_SIZE, (uint32_t)file.content.size());
            Put32(&bytes, entry + ENTRY_COMPRESSED, (uint32_t)file.frame.size());
            Put32(&bytes, entry + ENTRY_OFFSET, (uint32_t)(bytes.size() - Data()));
            Put32(&bytes, entry + ENTRY_CHECKSUM, ContentChecksum(file.content));
            bytes += file.frame;
        }
        const uint32_t fields[] = {BUNDLE_FORMAT_VERSION, BUNDLE_HEADER_SIZE,
                                   (uint32_t)(bytes.size() - Data()), BUNDLE_HEADER_SIZE,
                                   (uint32_t)(files.size() * BUNDLE_ENTRY_SIZE),
                                   (uint32_t)files.size()};
        for (size_t i = 0; i < 6; ++i)
            Put32(&bytes, Data() + 12 + 4 * i, fields[i]);
        Resign();
    }
};

// The bundle tools/bundle.sh would make of the setup folder `folder`, with
// stored frames: its setup.exe up to the end of its sections as the stub (it
// has no certificate table), its setup files in the builder's order.
inline TestBundle LayOutBundle(const std::string &folder)
{
    static const char *const names[] = {
        "setup.exe",    "Dorsel",       "Dorsel.zyn",   "VAKZYN.xml",  "ZynSetup.dat",
        "ZynSetup.dll", "ZYNSYSID.sys", "ZYNSYSID.vxd", "zynliba.dll", "zynlibb.dll",
        "unicows.dll",  "ZYNNTDEV.sys", "ZynFlash.dll"};
    TestBundle bundle;
    std::string setup = ReadText(folder + "\\setup.exe");
    BundlePlace place;
    if (FindBundleData((const unsigned char *)setup.data(), (uint32_t)setup.size(),
                       (uint32_t)setup.size(), &place))
        bundle.stub = setup.substr(0, place.dataStart);
    for (const char *name : names)
        if (Exists(folder + "\\" + name))
            bundle.Add(name, ReadText(folder + "\\" + name));
    bundle.Assemble();
    return bundle;
}

// Its bytes; `*dataStart`, when given, receives where its data starts.
inline std::string BundleOfFolder(const std::string &folder, size_t *dataStart = 0)
{
    TestBundle bundle = LayOutBundle(folder);
    if (dataStart)
        *dataStart = bundle.Data();
    return bundle.bytes;
}

#endif
