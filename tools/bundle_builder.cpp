// Writes a bundle (see source/bundle_format.h): a setup folder's setup.exe as
// the stub, followed by the data that carries the folder's setup files,
// setup.exe itself among them byte for byte. The same folder gives the same
// bytes: files in the payload's order, one zstd frame each at a fixed level
// and window, one thread, nothing of the time or the machine.
//
//   bundle_builder <setup folder> <output file>
//   bundle_builder --data <setup folder> <output file>   the data alone
//   bundle_builder --check <bundle file> [<setup folder>]  read it back
//
// Built by tools/bundle.sh with Debian's libzstd and the reader in source/.
#include "source/bundle_format.h"

#define XXH_STATIC_LINKING_ONLY
#include "third_party/zstd/lib/common/xxhash.h"

#include <dirent.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <strings.h>
#include <zstd.h>

#include <string>
#include <vector>

namespace {

typedef std::vector<unsigned char> Bytes;

// The decoder in third_party/zstd is 1.5.4: the encoder is the same release,
// and its output for these settings, with it the bundle, is fixed.
static_assert(ZSTD_VERSION_NUMBER == 10504, "the bundle is built with libzstd 1.5.4");

const int kLevel = 19;
const int kWindowLog = 23;  // BUNDLE_MAX_WINDOW

// The files setup.exe installs from, in the payload's order; the descriptor
// in either form (or both). A folder lacking any other is refused.
const char *const kSetupFiles[] = {"setup.exe",    "Dorsel",       "Dorsel.zyn",   "VAKZYN.xml",
                                   "ZynSetup.dat", "ZynSetup.dll", "ZYNSYSID.sys", "ZYNSYSID.vxd",
                                   "zynliba.dll",  "zynlibb.dll",  "unicows.dll",  "ZYNNTDEV.sys",
                                   "ZynFlash.dll"};

int Fail(const char *what, const char *detail)
{
    fprintf(stderr, "bundle: %s%s%s\n", what, detail ? ": " : "", detail ? detail : "");
    return 0;
}

int ReadFile(const std::string &path, Bytes *bytes)
{
    FILE *file = fopen(path.c_str(), "rb");
    if (!file)
        return Fail("cannot read", path.c_str());
    bytes->clear();
    unsigned char buffer[1 << 16];
    size_t got;
    while ((got = fread(buffer, 1, sizeof(buffer), file)) > 0)
        bytes->insert(bytes->end(), buffer, buffer + got);
    int ok = !ferror(file);
    fclose(file);
    return ok || Fail("cannot read", path.c_str());
}

// The file of `folder` named `name` in any letter case, as Windows finds it:
// 1 when there is one, 0 when none, -1 when several differ only in case
// (which one goes in would depend on the file system's order).
int FindInFolder(const std::string &folder, const char *name, std::string *path)
{
    DIR *dir = opendir(folder.c_str());
    if (!dir)
        return 0;
    int found = 0;
    while (const dirent *entry = readdir(dir)) {
        if (strcasecmp(entry->d_name, name) == 0) {
            *path = folder + "/" + entry->d_name;
            ++found;
        }
    }
    closedir(dir);
    return found > 1 ? -1 : found;
}

struct SetupFile {
    const char *name;
    Bytes content;
};

// Every file setup.exe needs, or a refusal that names the first missing one.
int CollectSetupFiles(const std::string &folder, std::vector<SetupFile> *files)
{
    std::string path;
    int descriptors = 0;
    for (const char *name : kSetupFiles) {
        int descriptor = !strcmp(name, "Dorsel.zyn") || !strcmp(name, "VAKZYN.xml");
        int found = FindInFolder(folder, name, &path);
        if (found < 0)
            return Fail("more than one file in the setup folder is named", name);
        if (!found) {
            if (descriptor)
                continue;
            return Fail("missing from the setup folder", name);
        }
        SetupFile file = {name, Bytes()};
        if (!ReadFile(path, &file.content))
            return 0;
        if (file.content.size() > BUNDLE_MAX_FILE_SIZE)
            return Fail("too large for a bundle", name);
        descriptors += descriptor;
        files->push_back(file);
    }
    return descriptors || Fail("missing from the setup folder", "Dorsel.zyn or VAKZYN.xml");
}

int Compress(ZSTD_CCtx *context, const Bytes &content, Bytes *frame)
{
    frame->resize(ZSTD_compressBound(content.size()));
    size_t size = ZSTD_compress2(context, frame->data(), frame->size(), content.data(),
                                 content.size());
    if (ZSTD_isError(size))
        return Fail("zstd", ZSTD_getErrorName(size));
    frame->resize(size);
    return 1;
}

void Put32(unsigned char *at, uint32_t value)
{
    for (int i = 0; i < 4; ++i)
        at[i] = (unsigned char)(value >> (8 * i));
}

uint32_t Get32(const unsigned char *at)
{
    return at[0] | at[1] << 8 | at[2] << 16 | (uint32_t)at[3] << 24;
}

int BuildData(const std::vector<SetupFile> &files, Bytes *data)
{
    ZSTD_CCtx *context = ZSTD_createCCtx();
    if (!context || ZSTD_isError(ZSTD_CCtx_setParameter(context, ZSTD_c_compressionLevel, kLevel)) ||
        ZSTD_isError(ZSTD_CCtx_setParameter(context, ZSTD_c_windowLog, kWindowLog)) ||
        ZSTD_isError(ZSTD_CCtx_setParameter(context, ZSTD_c_checksumFlag, 0)) ||
        ZSTD_isError(ZSTD_CCtx_setParameter(context, ZSTD_c_contentSizeFlag, 1)) ||
        ZSTD_isError(ZSTD_CCtx_setParameter(context, ZSTD_c_dictIDFlag, 0)) ||
        ZSTD_isError(ZSTD_CCtx_setParameter(context, ZSTD_c_nbWorkers, 0)))
        return Fail("zstd", "cannot set the compression parameters");
    uint32_t count = (uint32_t)files.size();
    uint32_t indexLength = count * BUNDLE_ENTRY_SIZE;
    data->assign(BUNDLE_HEADER_SIZE + indexLength, 0);
    int ok = 1;
    for (uint32_t i = 0; ok && i < count; ++i) {
        Bytes frame;
        ok = Compress(context, files[i].content, &frame);
        if (!ok)
            break;
        unsigned char *entry = data->data() + BUNDLE_HEADER_SIZE + i * BUNDLE_ENTRY_SIZE;
        memcpy(entry, files[i].name, strlen(files[i].name));
        Put32(entry + BUNDLE_NAME_SIZE, (uint32_t)files[i].content.size());
        Put32(entry + BUNDLE_NAME_SIZE + 4, (uint32_t)frame.size());
        Put32(entry + BUNDLE_NAME_SIZE + 8, (uint32_t)data->size());
        Put32(entry + BUNDLE_NAME_SIZE + 12,
              XXH32(files[i].content.data(), files[i].content.size(), 0));
        data->insert(data->end(), frame.begin(), frame.end());
        if (data->size() > BUNDLE_MAX_DATA_LENGTH)
            ok = Fail("too large for a bundle", "the setup files together");
    }
    ZSTD_freeCCtx(context);
    if (!ok)
        return 0;
    unsigned char *header = data->data();
    memcpy(header, kBundleMagic, BUNDLE_MAGIC_SIZE);
    Put32(header + 12, BUNDLE_FORMAT_VERSION);
    Put32(header + 16, BUNDLE_HEADER_SIZE);
    Put32(header + 20, (uint32_t)data->size());
    Put32(header + 24, BUNDLE_HEADER_SIZE);
    Put32(header + 28, indexLength);
    Put32(header + 32, count);
    Put32(header + 8, ChecksumBundleData(data->data(), (uint32_t)data->size()));
    return 1;
}

// The PE checksum field, which the stub's copy writes again.
uint32_t ChecksumField(const Bytes &image)
{
    return Get32(image.data() + 0x3C) + 24 + 64;
}

// The PE checksum: 16-bit words summed with end-around carry, the checksum
// field itself left out, plus the file's length.
uint32_t PeChecksum(const Bytes &image)
{
    uint32_t field = ChecksumField(image);
    uint64_t sum = 0;
    for (size_t i = 0; i < image.size(); i += 2) {
        if (i >= field && i < field + 4)
            continue;
        uint32_t word = image[i] | (i + 1 < image.size() ? image[i + 1] << 8 : 0);
        sum += word;
        sum = (sum & 0xFFFF) + (sum >> 16);
    }
    sum = (sum & 0xFFFF) + (sum >> 16);
    return (uint32_t)sum + (uint32_t)image.size();
}

// setup.exe without its certificate table and without its security
// directory entry: the bundle's signature, if any, comes after the data.
int MakeStub(const Bytes &setup, Bytes *stub)
{
    BundlePlace place;
    if (setup.size() > 0x7FFFFFFF ||
        !FindBundleData(setup.data(), (uint32_t)setup.size(), (uint32_t)setup.size(), &place))
        return Fail("setup.exe is not a PE file this bundle can start from", 0);
    if (HasBundleData(&place))
        return Fail("setup.exe already carries data after its sections (a bundle?)", 0);
    stub->assign(setup.begin(), setup.begin() + place.dataStart);
    memset(stub->data() + place.securityEntry, 0, 8);
    return 1;
}

int WriteFile(const std::string &path, const Bytes &bytes)
{
    std::string temporary = path + ".partial";
    FILE *file = fopen(temporary.c_str(), "wb");
    int ok = file && fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
    ok = file && fclose(file) == 0 && ok;
    if (!ok || rename(temporary.c_str(), path.c_str()) != 0) {
        remove(temporary.c_str());
        return Fail("cannot write", path.c_str());
    }
    return 1;
}

// Reads the data back as setup.exe will, and decodes every file to compare it.
int CheckData(const unsigned char *data, uint32_t length, const std::vector<SetupFile> *files)
{
    BundleHeader header;
    BundleIndex index;
    if (!ReadBundle(data, length, &header, &index))
        return Fail("the bundle's reader refuses the data", 0);
    if (files && files->size() != index.fileCount)
        return Fail("the bundle holds other files than the setup folder", 0);
    for (uint32_t i = 0; i < index.fileCount; ++i) {
        const BundleEntry &entry = index.entries[i];
        Bytes content(entry.size);
        size_t size = ZSTD_decompress(content.data(), content.size(), data + entry.offset,
                                      entry.compressedSize);
        if (ZSTD_isError(size) || size != entry.size ||
            XXH32(content.data(), size, 0) != entry.checksum ||
            (files && (strcmp((*files)[i].name, entry.name) || (*files)[i].content != content)))
            return Fail("a file does not decode to its content", entry.name);
    }
    return 1;
}

// Reads a bundle back; with `folder`, its files must be that folder's setup
// files byte for byte.
int CheckBundle(const std::string &path, const char *folder)
{
    Bytes bundle;
    BundlePlace place;
    std::vector<SetupFile> files;
    if (!ReadFile(path, &bundle) || (folder && !CollectSetupFiles(folder, &files)))
        return 0;
    if (bundle.size() > 0x7FFFFFFF ||
        !FindBundleData(bundle.data(), (uint32_t)bundle.size(), (uint32_t)bundle.size(), &place) ||
        !HasBundleData(&place))
        return Fail("no bundle data after the sections", path.c_str());
    if (!CheckData(bundle.data() + place.dataStart, place.room, folder ? &files : 0))
        return 0;
    if (PeChecksum(bundle) != Get32(bundle.data() + ChecksumField(bundle)))
        return Fail("the PE checksum does not match", path.c_str());
    printf("%s: a bundle of %u bytes after a stub of %u bytes\n", path.c_str(), place.room,
           place.dataStart);
    return 1;
}

int Build(const std::string &folder, const std::string &output, int dataOnly)
{
    std::vector<SetupFile> files;
    Bytes data, stub;
    if (!CollectSetupFiles(folder, &files) || !BuildData(files, &data) ||
        !CheckData(data.data(), (uint32_t)data.size(), &files))
        return 0;
    if (dataOnly)
        return WriteFile(output, data);
    if (!MakeStub(files[0].content, &stub))
        return 0;
    stub.insert(stub.end(), data.begin(), data.end());
    // Zero bytes up to a multiple of 8, the padding signing would add before
    // its certificate table: signed, the bundle is these bytes followed by
    // the table, and stripped of its signature it is these bytes again.
    stub.resize((stub.size() + 7) / 8 * 8);
    Put32(stub.data() + ChecksumField(stub), PeChecksum(stub));
    return WriteFile(output, stub);
}

} // namespace

int main(int argc, char **argv)
{
    if (ZSTD_versionNumber() != ZSTD_VERSION_NUMBER)
        return Fail("libzstd is not the release this program was built with", ZSTD_versionString()),
               1;
    if ((argc == 3 || argc == 4) && !strcmp(argv[1], "--check"))
        return CheckBundle(argv[2], argc == 4 ? argv[3] : 0) ? 0 : 1;
    int dataOnly = argc == 4 && !strcmp(argv[1], "--data");
    if (argc != 3 && !dataOnly) {
        fprintf(stderr, "usage: bundle_builder [--data] <setup folder> <output file>\n"
                        "       bundle_builder --check <bundle file> [<setup folder>]\n");
        return 2;
    }
    return Build(argv[dataOnly + 1], argv[dataOnly + 2], dataOnly) ? 0 : 1;
}
