// Reading the XML-form Package descriptor: choosing a value's variant for
// this machine, the property table of a release, and the build-level fields.
// Every text result is ANSI (converted from the document's UTF-8) unless said
// otherwise; every size counts characters with the terminator. All functions
// return 0 on failure, and none of them allocates what the caller must free.
#ifndef DESCRIPTOR_DESCRIPTOR_H
#define DESCRIPTOR_DESCRIPTOR_H

#include "base/machine_info.h"
#include "xml/xml.h"

#include <stdint.h>

enum {
    DESCRIPTOR_PATH_SIZE = 260,
    MAX_INDIRECTIONS = 32  // "gd" indirections followed before a value is given up
};

// The machine methods a value's variants or a "pd" placeholder can name:
// "LANGUAGE", "LANGUAGE.OS", "BIOSID", "MTM", "OS" and "FAMILYNAME".
enum MachineMethod {
    METHOD_LANGUAGE,
    METHOD_LANGUAGE_OS,
    METHOD_BIOSID,
    METHOD_MTM,
    METHOD_OS,
    METHOD_FAMILYNAME,
    METHOD_COUNT  // not a method: what FindMachineMethod gives for an unknown name
};

// The method called `name` (case matters), or METHOD_COUNT.
MachineMethod FindMachineMethod(const char *name);

// Rewrites `path` (a buffer of `size` characters) to the "data" element of the
// item that matches this machine most specifically, else of the item named
// by "default"; with a `dataId`, to the "data" element of that id. 1 when such
// an element exists; on 0 `path` is unchanged.
int SelectValue(char *path, uint32_t size, const char *dataId, const XmlDocument *document,
                const MachineInfo *machine);

// The property `key` (case ignored) of release `releaseId` in package
// `packageId`, into `output` of `size` characters. A property that exists but
// is empty gives `defaultResult` (with `output` untouched); an unknown key, a
// missing release or a value that does not fit gives 0.
int GetDescriptorProperty(const char *releaseId, const char *key, char *output, uint32_t size,
                          const char *packageId, const XmlDocument *document,
                          const MachineInfo *machine, int defaultResult);
// The text at `path`, following "gd" indirections (at most MAX_INDIRECTIONS),
// into `output` of `size` characters; an empty element gives "" and 1.
int GetDescriptorText(const char *path, char *output, uint32_t size, const XmlDocument *document,
                      const MachineInfo *machine);

// The build-level fields, copied byte for byte (no conversion) into `output`
// of `size` characters. 0 when the field is missing or does not fit; `output`
// is then untouched.
// The `index`-th (from 0) space-separated word of the package's release order.
int GetReleaseOrderEntry(char *output, uint32_t size, int index, const char *packageId,
                         const XmlDocument *document);
// The id of the `index`-th (from 0) "zyn" package of the build.
int GetPackageIdAt(char *output, uint32_t size, int index, const XmlDocument *document);
int GetDescriptorFormatVersion(char *output, uint32_t size, const XmlDocument *document);
int GetBuildId(char *output, uint32_t size, const XmlDocument *document);
int GetPackageDownlevel(char *output, uint32_t size, const char *packageId,
                        const XmlDocument *document);
int GetBuildHref(char *output, uint32_t size, const XmlDocument *document);
// The package's category, converted to ANSI; 0 when it is missing or empty.
int GetPackageCategory(char *output, uint32_t size, const char *packageId,
                       const XmlDocument *document);
// The package file's name, its readme text, its size, checksum and release
// date. The three numbers are 0 unless the call succeeds.
int GetBuildFileInfo(char *fileName, uint32_t fileNameSize, char *readme, uint32_t readmeSize,
                     long *fileSize, uint32_t *checksum, uint32_t *releaseDate,
                     const XmlDocument *document, const MachineInfo *machine);
// The build's title and version; 0 when either is missing or empty.
int GetBuildTitleVersion(char *title, uint32_t titleSize, char *version, uint32_t versionSize,
                         const XmlDocument *document, const MachineInfo *machine);
// The key name and its texts for Windows 9x and for the NT family.
int GetBuildKeyInfo(char *keyName, uint32_t keyNameSize, char *text9x, uint32_t size9x,
                    char *textNt, uint32_t sizeNt, const XmlDocument *document,
                    const MachineInfo *machine);
// The machine value of a "pd" placeholder's method into `output` of `size`
// characters; 0 for an unknown method or a value that does not fit.
int FormatMachineValue(const char *method, const MachineInfo *machine, char *output, uint32_t size);
// The "data" element that a "gd" element's "path" and text select; null when
// none. The element belongs to `document`.
const XmlNode *SelectedDataNode(const XmlNode *gd, const XmlDocument *document,
                                const MachineInfo *machine);

// The value a node stands for ("pd": a machine value, "gd": the selected
// data, else its own text), copied byte for byte into `output` of `size`
// characters; 0 when it gives none or it does not fit.
int GetMachineValue(const XmlNode *node, char *output, uint32_t size, const XmlDocument *document,
                    const MachineInfo *machine);

#endif
