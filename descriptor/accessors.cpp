// The build-level fields of the XML-form descriptor: ids, release order, the
// package file, texts per platform and the format version.
#include "descriptor/descriptor.h"

#include "base/format.h"

#include <stdio.h>
#include <string.h>

namespace {

// Copies a value byte for byte when it fits, else fails with `output` untouched.
int CopyRaw(const char *value, char *output, uint32_t size)
{
    if (!value)
        return 0;
    size_t length = strlen(value);
    if (length + 1 > size)
        return 0;
    memcpy(output, value, length + 1);
    return 1;
}

const char *AttributeAt(const char *path, const char *name, const XmlDocument *document)
{
    XmlNode *node = 0;
    return QueryPath(path, &node, document) ? FindAttribute(node, name) : 0;
}

const char *PackageAttribute(const char *format, const char *packageId, const char *name,
                             const XmlDocument *document)
{
    char path[DESCRIPTOR_PATH_SIZE];
    if (!packageId || !FormatText(path, sizeof(path), format, packageId))
        return 0;
    return AttributeAt(path, name, document);
}

const XmlNode *TopLevelNode(const XmlDocument *document, const char *name)
{
    for (XmlCount i = 0; document && i < document->count; ++i)
        if (strcmp(document->nodes[i].name, name) == 0)
            return &document->nodes[i];
    return 0;
}

// Resolves a path that must give a text that is not empty.
int ResolveNonEmpty(const char *path, char *output, uint32_t size, const XmlDocument *document,
                    const MachineInfo *machine)
{
    return GetDescriptorText(path, output, size, document, machine) && output[0];
}

} // namespace

int GetReleaseOrderEntry(char *output, uint32_t size, int index, const char *packageId,
                         const XmlDocument *document)
{
    const char *order = PackageAttribute("/build/zyn[@id=%s]/xrelease", packageId, "order", document);
    char words[DESCRIPTOR_PATH_SIZE];
    if (!order || index < 0 || !CopyRaw(order, words, sizeof(words)))
        return 0;
    char *word = words;
    for (int i = 0; i < index; ++i) {
        char *space = strchr(word, ' ');
        if (!space || space == word)
            return 0;  // the list ends before the index, or at an empty word
        word = space + 1;
    }
    char *space = strchr(word, ' ');
    if (space)
        *space = 0;
    return word[0] && CopyRaw(word, output, size);
}

int GetPackageIdAt(char *output, uint32_t size, int index, const XmlDocument *document)
{
    const XmlNode *build = TopLevelNode(document, "build");
    if (!build || !build->children)
        return 0;
    int seen = 0;
    for (XmlCount i = 0; i < build->children->count; ++i) {
        const XmlNode *child = &build->children->items[i];
        if (strcmp(child->name, "zyn") != 0)
            continue;
        const char *id = FindAttribute(child, "id");
        if (!id)
            return 0;
        if (seen++ == index)
            return CopyRaw(id, output, size);
    }
    return 0;
}

int GetDescriptorFormatVersion(char *output, uint32_t size, const XmlDocument *document)
{
    const XmlNode *instruction = TopLevelNode(document, "?zyn");
    return instruction && CopyRaw(FindAttribute(instruction, "version"), output, size);
}

int GetBuildId(char *output, uint32_t size, const XmlDocument *document)
{
    return CopyRaw(AttributeAt("/build", "id", document), output, size);
}

int GetBuildHref(char *output, uint32_t size, const XmlDocument *document)
{
    return CopyRaw(AttributeAt("/build", "href", document), output, size);
}

int GetPackageDownlevel(char *output, uint32_t size, const char *packageId,
                        const XmlDocument *document)
{
    return CopyRaw(PackageAttribute("/build/zyn[@id=%s]", packageId, "downlevel", document), output,
                   size);
}

int GetPackageCategory(char *output, uint32_t size, const char *packageId,
                       const XmlDocument *document)
{
    char path[DESCRIPTOR_PATH_SIZE];
    XmlNode *node = 0;
    if (!packageId || !FormatText(path, sizeof(path), "/build/zyn[@id=%s]/category", packageId) ||
        !QueryPath(path, &node, document) || !node->text[0])
        return 0;
    return Utf8ToAnsi(node->text, output, &size);
}

int GetBuildFileInfo(char *fileName, uint32_t fileNameSize, char *readme, uint32_t readmeSize,
                     long *fileSize, uint32_t *checksum, uint32_t *releaseDate,
                     const XmlDocument *document, const MachineInfo *machine)
{
    *fileSize = 0;
    *checksum = 0;
    *releaseDate = 0;
    XmlNode *file = 0;
    if (!QueryPath("/build/file", &file, document))
        return 0;
    for (XmlCount i = 0; i < file->attributeCount; ++i) {
        const XmlAttribute &attribute = file->attributes[i];
        unsigned number = 0;
        if (strcmp(attribute.name, "size") == 0)
            sscanf(attribute.value, "%ld", fileSize);
        else if (strcmp(attribute.name, "crc") == 0 && sscanf(attribute.value, "0x%08X", &number) == 1)
            *checksum = number;
    }
    if (*fileSize == 0 || *checksum == 0 || !CopyRaw(file->text, fileName, fileNameSize) ||
        !GetDescriptorText("/build/readme", readme, readmeSize, document, machine))
        return 0;
    XmlNode *date = 0;
    if (!QueryPath("/build/releaseDate", &date, document) || strlen(date->text) != 8)
        return 0;
    // Only the length is a condition: eight characters that are not (all)
    // hexadecimal digits still succeed, with what the scan could read.
    unsigned number = 0;
    if (sscanf(date->text, "%08X", &number) == 1)
        *releaseDate = number;
    return 1;
}

int GetBuildTitleVersion(char *title, uint32_t titleSize, char *version, uint32_t versionSize,
                         const XmlDocument *document, const MachineInfo *machine)
{
    return ResolveNonEmpty("/build/title", title, titleSize, document, machine) &&
           ResolveNonEmpty("/build/version", version, versionSize, document, machine);
}

int GetBuildKeyInfo(char *keyName, uint32_t keyNameSize, char *text9x, uint32_t size9x,
                    char *textNt, uint32_t sizeNt, const XmlDocument *document,
                    const MachineInfo *machine)
{
    const char *key = AttributeAt("/build", "keyname", document);
    if (!key || strlen(key) + 1 > keyNameSize)
        return 0;
    memset(keyName, 0, keyNameSize);
    memcpy(keyName, key, strlen(key));
    memset(text9x, 0, size9x);
    memset(textNt, 0, sizeNt);
    return GetDescriptorText("/build/os[@id=9X]", text9x, size9x, document, machine) &&
           GetDescriptorText("/build/os[@id=NT]", textNt, sizeNt, document, machine);
}

int FormatMachineValue(const char *method, const MachineInfo *machine, char *output, uint32_t size)
{
    switch (FindMachineMethod(method)) {
    case METHOD_LANGUAGE:
        return FormatText(output, size, "%04X", (unsigned)machine->systemLanguageId);
    case METHOD_LANGUAGE_OS:
        return FormatText(output, size, "%04X", (unsigned)machine->osLanguageId);
    case METHOD_BIOSID:
        return FormatText(output, size, "%c%c", (char)(machine->biosId >> 8),
                          (char)(machine->biosId & 0xFF));
    case METHOD_MTM:
        return CopyRaw(machine->typeModel, output, size);
    case METHOD_OS:
        return CopyRaw(machine->osId, output, size);
    case METHOD_FAMILYNAME:
        return CopyRaw(machine->familyName, output, size);
    default:
        return 0;
    }
}

const XmlNode *SelectedDataNode(const XmlNode *gd, const XmlDocument *document,
                                const MachineInfo *machine)
{
    const char *target = FindAttribute(gd, "path");
    char path[DESCRIPTOR_PATH_SIZE];
    XmlNode *data = 0;
    if (!target || !FormatText(path, sizeof(path), "%s", target) ||
        !SelectValue(path, sizeof(path), gd->text, document, machine) ||
        !QueryPath(path, &data, document))
        return 0;
    return data;
}

int GetMachineValue(const XmlNode *node, char *output, uint32_t size, const XmlDocument *document,
                    const MachineInfo *machine)
{
    if (!node || !output || size == 0)
        return 0;
    if (strcmp(node->name, "pd") == 0) {
        const char *method = FindAttribute(node, "method");
        if (!method)
            return 0;
        if (strcmp(method, "AGENT") == 0)
            return CopyRaw(machine->agent, output, size);
        if (strcmp(method, "MTM2") == 0) {
            const char *hyphen = strchr(machine->typeModel, '-');
            return hyphen && FormatText(output, size, "%.*s%s", (int)(hyphen - machine->typeModel),
                                        machine->typeModel, hyphen + 1);
        }
        return FormatMachineValue(method, machine, output, size);
    }
    if (strcmp(node->name, "gd") == 0) {
        const XmlNode *data = SelectedDataNode(node, document, machine);
        return data && CopyRaw(data->text, output, size);
    }
    return CopyRaw(node->text, output, size);
}
