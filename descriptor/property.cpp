// The properties of a release in the XML-form descriptor, and the value
// resolution behind them: plain text, a CDATA section, or a "gd" indirection
// into a selection table.
#include "descriptor/descriptor.h"

#include "base/format.h"
#include "base/text.h"

#include <string.h>

namespace {

// A row of the property table: the key, the element it reads, the element's
// attribute test ("id=9X" for [@id=9X]) and the attribute read instead of
// the element's value, as one text whose fields each end in a NUL; an empty
// test or attribute is none. One pointer a row rather than four.
#define PROPERTY(key, element, filter, selector) key "\0" element "\0" filter "\0" selector

const char *const kProperties[] = {
    PROPERTY("DEVICE", "device", "", ""),
    PROPERTY("NAME", "title", "", ""),
    PROPERTY("VERSION", "version", "", ""),
    PROPERTY("SETUP", "setup", "", ""),
    PROPERTY("UNINSTALL", "uninstall", "", ""),
    PROPERTY("9X", "os", "id=9X", ""),
    PROPERTY("NT", "os", "id=NT", ""),
    PROPERTY("PARENTS", "dependency", "id=ZYN", ""),
    PROPERTY("IE", "dependency", "id=IE", ""),
    PROPERTY("DX", "dependency", "id=DX", ""),
    PROPERTY("PM", "dependency", "id=PM", ""),
    PROPERTY("HOTKEY", "dependency", "id=HOTKEY", ""),
    PROPERTY("SETUPFORM", "setup", "", "form"),
    PROPERTY("REGVERSION", "uninstall", "", "reg"),
    PROPERTY("SMI.KOBIX", "smiflag", "id=KOBIX", ""),
    PROPERTY("SMI.BLUETOOTH", "smiflag", "id=BLUETOOTH", ""),
    PROPERTY("SETUP.SILENT", "setup", "method=SILENT", ""),
    PROPERTY("SETUPFORM.SILENT", "setup", "method=SILENT", "form"),
    PROPERTY("SETUP.SUCCESS", "setup", "", "success"),
    PROPERTY("SETUP.SILENT.SUCCESS", "setup", "method=SILENT", "success"),
    PROPERTY("SMBIOS.SW135", "smbiosflag", "id=SW135", ""),
    PROPERTY("LASTCRITICALUPDATE", "lastversion", "id=CRITICAL", ""),
    PROPERTY("OSTYPE", "os", "id=NT", "type"),
    PROPERTY("MMC-3", "dependency", "id=MMC-3", ""),
    PROPERTY("MMC-3.BUS", "dependency", "id=MMC-3", "bus"),
};

#undef PROPERTY

// The row whose key is `key` (any letter case); null for none.
const char *FindRow(const char *key)
{
    for (size_t i = 0; i < sizeof(kProperties) / sizeof(kProperties[0]); ++i)
        if (EqualIgnoringCase(kProperties[i], key, strlen(key) + 1))
            return kProperties[i];
    return 0;
}

const XmlAttribute *FirstAttribute(const XmlNode *node, const char *name, const char *other)
{
    for (XmlCount i = 0; i < node->attributeCount; ++i)
        if (strcmp(node->attributes[i].name, name) == 0 ||
            (other && strcmp(node->attributes[i].name, other) == 0))
            return &node->attributes[i];
    return 0;
}

int Convert(const char *text, char *output, uint32_t size)
{
    return Utf8ToAnsi(text, output, &size);
}

struct Resolution {
    const char *packageId;  // set for a property: "zynpath" is allowed and
    int defaultResult;      // an empty value gives this result
};

// Follows the value at `path` (a buffer of DESCRIPTOR_PATH_SIZE) to its text.
int ResolveValue(char *path, char *output, uint32_t size, const XmlDocument *document,
                 const MachineInfo *machine, const Resolution *property)
{
    for (int indirections = 0; indirections <= MAX_INDIRECTIONS;) {
        XmlNode *node = 0;
        if (!QueryPath(path, &node, document))
            return 0;
        if (!node->children || node->children->count == 0) {
            if (node->text[0])
                return Convert(node->text, output, size);
            if (property)
                return property->defaultResult;
            memset(output, 0, size);
            return 1;
        }
        if (node->children->count > 1)
            return 0;
        const XmlNode *child = &node->children->items[0];
        if (strcmp(child->name, XML_CDATA_NAME) == 0) {
            char extended[DESCRIPTOR_PATH_SIZE];
            if (!FormatText(extended, sizeof(extended), "%s/%s", path, XML_CDATA_NAME))
                return 0;
            memcpy(path, extended, sizeof(extended));
            continue;
        }
        if (strcmp(child->name, "gd") != 0)
            return 0;
        const XmlAttribute *target = FirstAttribute(child, "path", property ? "zynpath" : 0);
        if (!target)
            return 0;
        int fits = strcmp(target->name, "path") == 0
                       ? FormatText(path, DESCRIPTOR_PATH_SIZE, "%s", target->value)
                       : FormatText(path, DESCRIPTOR_PATH_SIZE, "/build/zyn[@id=%s]/%s",
                                    property->packageId, target->value);
        if (!fits || !SelectValue(path, DESCRIPTOR_PATH_SIZE, child->text, document, machine))
            return 0;
        ++indirections;
    }
    return 0;  // indirections that lead on and on, or back to an earlier value
}

} // namespace

int GetDescriptorProperty(const char *releaseId, const char *key, char *output, uint32_t size,
                          const char *packageId, const XmlDocument *document,
                          const MachineInfo *machine, int defaultResult)
{
    const char *row = key ? FindRow(key) : 0;
    if (!row || !releaseId || !packageId)
        return 0;
    const char *element = NextEntry(row);
    const char *filter = NextEntry(element);
    const char *selector = NextEntry(filter);
    char path[DESCRIPTOR_PATH_SIZE];
    if (!FormatText(path, sizeof(path), "/build/zyn[@id=%s]/xrelease/release[@id=%s]/%s%s%s%s",
                    packageId, releaseId, element, *filter ? "[@" : "", filter,
                    *filter ? "]" : ""))
        return 0;
    if (*selector) {
        XmlNode *node = 0;
        if (!QueryPath(path, &node, document))
            return 0;
        const XmlAttribute *attribute = FirstAttribute(node, selector, 0);
        return attribute ? Convert(attribute->value, output, size) : 0;
    }
    Resolution property = {packageId, defaultResult};
    return ResolveValue(path, output, size, document, machine, &property);
}

int GetDescriptorText(const char *path, char *output, uint32_t size, const XmlDocument *document,
                      const MachineInfo *machine)
{
    char current[DESCRIPTOR_PATH_SIZE];
    if (!path || !FormatText(current, sizeof(current), "%s", path))
        return 0;
    return ResolveValue(current, output, size, document, machine, 0);
}
