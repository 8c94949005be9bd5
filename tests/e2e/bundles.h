// Bundles made by the tests (the format is files/bundle_format.h): a
// setup.exe's stub followed by data whose files are zstd frames of stored
// (raw) blocks, each with its content size and content checksum, so that a
// test can lay out every byte and damage any part. tools/bundle.sh makes
// compressed frames of the same format.
#ifndef TESTS_E2E_BUNDLES_H
#define TESTS_E2E_BUNDLES_H

#include "files/bundle_format.h"
#include "tests/files/file_access.h"
#include "third_party/zstd/lib/common/xxhash.h"

#include <stdint.h>

#include <string>
#include <vector>

struct BundleFile {
    std::string name;
    std::string content;
};

inline void Put32(std::string *bytes, size_t at, uint32_t value)
{
    for (int i = 0; i < 4; ++i)
        (*bytes)[at + i] = (char)(value >> (8 * i));
}

inline uint32_t Get32(const std::string &bytes, size_t at)
{
    uint32_t value = 0;
    for (int i = 3; i >= 0; --i)
        value = value << 8 | (unsigned char)bytes[at + i];
    return value;
}

// The low 32 bits of XXH64: a frame's content checksum and an entry's.
inline uint32_t ContentChecksum(const std::string &content)
{
    return (uint32_t)XXH64(content.data(), content.size(), 0);
}

// A zstd frame of `content` in raw blocks of at most 128 KiB, stating
// `statedSize` as its content size, an 8 MiB window and a content checksum.
inline std::string StoredFrame(const std::string &content, uint32_t statedSize)
{
    std::string frame("\x28\xB5\x2F\xFD\x84\x68", 6);  // magic, 4-byte size + checksum, window
    frame.append(4, '\0');
    Put32(&frame, 6, statedSize);
    const size_t block = 128 * 1024;
    size_t at = 0;
    do {
        size_t size = content.size() - at < block ? content.size() - at : block;
        uint32_t header = (uint32_t)(size << 3) | (at + size == content.size() ? 1 : 0);
        frame.append({(char)header, (char)(header >> 8), (char)(header >> 16)});
        frame.append(content, at, size);
        at += size;
    } while (at < content.size());
    frame.append(4, '\0');
    Put32(&frame, frame.size() - 4, ContentChecksum(content));
    return frame;
}

inline std::string StoredFrame(const std::string &content)
{
    return StoredFrame(content, (uint32_t)content.size());
}

// Where the fields of a bundle's data lie, from the data's start.
inline size_t EntryAt(int index)
{
    return BUNDLE_HEADER_SIZE + (size_t)index * BUNDLE_ENTRY_SIZE;
}
enum { ENTRY_SIZE = BUNDLE_NAME_SIZE, ENTRY_COMPRESSED = ENTRY_SIZE + 4,
       ENTRY_OFFSET = ENTRY_SIZE + 8, ENTRY_CHECKSUM = ENTRY_SIZE + 12 };

// The data of a bundle holding `frames` (one per file, in order) under the
// files' names, each entry stating its file's size and checksum; its header
// checksum set.
inline std::string BundleData(const std::vector<BundleFile> &files,
                              const std::vector<std::string> &frames)
{
    std::string data(EntryAt((int)files.size()), '\0');
    data.replace(0, BUNDLE_MAGIC_SIZE, (const char *)kBundleMagic, BUNDLE_MAGIC_SIZE);
    for (size_t i = 0; i < files.size(); ++i) {
        size_t entry = EntryAt((int)i);
        data.replace(entry, files[i].name.size(), files[i].name);
        Put32(&data, entry + ENTRY_SIZE, (uint32_t)files[i].content.size());
        Put32(&data, entry + ENTRY_COMPRESSED, (uint32_t)frames[i].size());
        Put32(&data, entry + ENTRY_OFFSET, (uint32_t)data.size());
        Put32(&data, entry + ENTRY_CHECKSUM, ContentChecksum(files[i].content));
        data += frames[i];
    }
    Put32(&data, 12, BUNDLE_FORMAT_VERSION);
    Put32(&data, 16, BUNDLE_HEADER_SIZE);
    Put32(&data, 20, (uint32_t)data.size());
    Put32(&data, 24, BUNDLE_HEADER_SIZE);
    Put32(&data, 28, (uint32_t)(files.size() * BUNDLE_ENTRY_SIZE));
    Put32(&data, 32, (uint32_t)files.size());
    Put32(&data, 8, ChecksumBundleData((const unsigned char *)data.data(), (uint32_t)data.size()));
    return data;
}

inline std::string BundleData(const std::vector<BundleFile> &files)
{
    std::vector<std::string> frames;
    for (const BundleFile &file : files)
        frames.push_back(StoredFrame(file.content));
    return BundleData(files, frames);
}

// setup.exe up to the end of its sections and without its security
// directory entry, as tools/bundle.sh makes the stub; "" when it is no PE
// file this program can be.
inline std::string BundleStub(const std::string &setup)
{
    BundlePlace place;
    if (!FindBundleData((const unsigned char *)setup.data(), (uint32_t)setup.size(),
                        (uint32_t)setup.size(), &place))
        return "";
    std::string stub = setup.substr(0, place.dataStart);
    uint32_t optional = Get32(stub, 0x3C) + 24;
    stub.replace(optional + 96 + 4 * 8, 8, 8, '\0');  // PE32: the security directory
    return stub;
}

// A bundle: `setup` as the stub, then `data`.
inline std::string MakeBundle(const std::string &setup, const std::string &data)
{
    return BundleStub(setup) + data;
}

// The header checksum of the data at `dataStart` of `bundle` set again after
// a change (the data runs to the end of the file).
inline void ResignBundle(std::string *bundle, size_t dataStart)
{
    Put32(bundle, dataStart + 8,
          ChecksumBundleData((const unsigned char *)bundle->data() + dataStart,
                             (uint32_t)(bundle->size() - dataStart)));
}

// The files of a setup folder that a bundle carries, in the order
// tools/bundle.sh puts them in: those of the folder `folder` that are there.
inline std::vector<BundleFile> SetupFolderFiles(const std::string &folder)
{
    static const char *const names[] = {
        "setup.exe",    "Dorsel",       "Dorsel.zyn",   "VAKZYN.xml",  "ZynSetup.dat",
        "ZynSetup.dll", "ZYNSYSID.sys", "ZYNSYSID.vxd", "zynliba.dll", "zynlibb.dll",
        "unicows.dll",  "ZYNNTDEV.sys", "ZynFlash.dll"};
    std::vector<BundleFile> files;
    for (const char *name : names)
        if (Exists(folder + "\\" + name))
            files.push_back({name, ReadText(folder + "\\" + name)});
    return files;
}

// The bundle tools/bundle.sh would make of the setup folder `folder` (with
// stored rather than compressed frames): its setup.exe as the stub, its files
// as data. `*dataStart`, when given, receives where the data starts.
inline std::string BundleOfFolder(const std::string &folder, size_t *dataStart = 0)
{
    std::vector<BundleFile> files = SetupFolderFiles(folder);
    std::string stub = BundleStub(ReadText(folder + "\\setup.exe"));
    if (dataStart)
        *dataStart = stub.size();
    return stub + BundleData(files);
}

#endif
