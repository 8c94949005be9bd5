// Fuzzes the parser in both modes and path queries over what it parses. The
// input is a document, optionally followed by a NUL byte and a query path.
#include "descriptor/descriptor.h"
#include "descriptor/render.h"
#include "xml/platform.h"
#include "xml/xml.h"

#include <stddef.h>
#include <stdio.h>
#include <stdint.h>
#include <string.h>

namespace {

void QueryAlongTheTree(const XmlDocument *document, const char *extra)
{
    XmlNode *node = 0;
    QueryPath(extra, &node, document);
    XmlNode *root = 0;
    if (!FindRoot(document, &root))
        return;
    // Walk the first children down, querying each step's path with a predicate
    // built from the child's first attribute.
    char path[XML_PATH_SIZE] = "/";
    size_t used = 1 + strlen(root->name);
    if (used >= sizeof(path))
        return;
    strcat(path, root->name);
    const XmlNode *current = root;
    while (current->children && current->children->count) {
        const XmlNode *child = &current->children->items[current->children->count - 1];
        char step[XML_PATH_SIZE];
        if (child->attributeCount)
            snprintf(step, sizeof(step), "/%s[@%s=%s]", child->name, child->attributes[0].name,
                     child->attributes[0].value);
        else
            snprintf(step, sizeof(step), "/%s", child->name);
        if (used + strlen(step) >= sizeof(path))
            return;
        strcat(path, step);
        used += strlen(step);
        QueryPath(path, &node, document);
        current = child;
    }
}

// Reads the document the way the setup program and the accessors do.
void ReadAsDescriptor(const XmlDocument *document, const char *extra)
{
    MachineInfo machine;
    memset(&machine, 0, sizeof(machine));
    machine.systemLanguageId = 0x0407;
    machine.systemPrimaryLanguage = 0x0007;
    char output[DESCRIPTOR_PATH_SIZE];
    static const char *const kKeys[] = {"NAME", "VERSION", "DEVICE", "SETUPFORM", "OSTYPE", "9X"};
    for (const char *key : kKeys)
        GetDescriptorProperty("RELEASE", key, output, sizeof(output), "DORSEL", document, &machine, 0);
    GetDescriptorText(extra, output, sizeof(output), document, &machine);
    char path[DESCRIPTOR_PATH_SIZE] = {0};
    memcpy(path, extra, strlen(extra));
    SelectValue(path, sizeof(path), "TITLE", document, &machine);
    XmlNode *root = 0;
    if (!FindRoot(document, &root))
        return;
    char *rendered = RenderText(root, document, &machine);
    HeapBlockFree(rendered);
    for (XmlCount i = 0; root->children && i < root->children->count; ++i) {
        rendered = RenderText(&root->children->items[i], document, &machine);
        HeapBlockFree(rendered);
        GetMachineValue(&root->children->items[i], output, sizeof(output), document, &machine);
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size > 0x100000)
        return 0;
    const char *text = (const char *)data;
    const char *nul = (const char *)memchr(text, 0, size);
    size_t documentLength = nul ? (size_t)(nul - text) : size;
    char extra[XML_PATH_SIZE] = "/";
    if (nul) {
        size_t pathLength = size - documentLength - 1;
        if (pathLength >= sizeof(extra))
            pathLength = sizeof(extra) - 1;
        memcpy(extra, nul + 1, pathLength);
        extra[pathLength] = 0;
    }
    for (int lenient = 0; lenient < 2; ++lenient) {
        XmlDocument *document = ParseDocument(text, (int32_t)documentLength, lenient);
        if (document) {
            QueryAlongTheTree(document, extra);
            ReadAsDescriptor(document, extra);
            FreeDocument(document);
        }
    }
    return 0;
}
