// Reading the XML-form Package descriptor: choosing a value's variant for
// this machine, the property table of a release, and the build-level fields.
#ifndef DESCRIPTOR_DESCRIPTOR_H
#define DESCRIPTOR_DESCRIPTOR_H

#include "descriptor/machine_info.h"
#include "xml/xml.h"

#include <stdint.h>

enum {
    DESCRIPTOR_PATH_SIZE = 260,
    MAX_INDIRECTIONS = 32  // "gd" indirections followed before a value is given up
};

int SelectValue(char *path, uint32_t size, const char *dataId, const XmlDocument *document,
                const MachineInfo *machine);

int GetDescriptorProperty(const char *releaseId, const char *key, char *output, uint32_t size,
                          const char *packageId, const XmlDocument *document,
                          const MachineInfo *machine, int defaultResult);
int GetDescriptorText(const char *path, char *output, uint32_t size, const XmlDocument *document,
                      const MachineInfo *machine);

int GetReleaseOrderEntry(char *output, uint32_t size, int index, const char *packageId,
                         const XmlDocument *document);
int GetPackageIdAt(char *output, uint32_t size, int index, const XmlDocument *document);
int GetDescriptorFormatVersion(char *output, uint32_t size, const XmlDocument *document);
int GetBuildId(char *output, uint32_t size, const XmlDocument *document);
int GetPackageDownlevel(char *output, uint32_t size, const char *packageId,
                        const XmlDocument *document);
int GetBuildHref(char *output, uint32_t size, const XmlDocument *document);
int GetPackageCategory(char *output, uint32_t size, const char *packageId,
                       const XmlDocument *document);
int GetBuildFileInfo(char *fileName, uint32_t fileNameSize, char *readme, uint32_t readmeSize,
                     long *fileSize, uint32_t *checksum, uint32_t *releaseDate,
                     const XmlDocument *document, const MachineInfo *machine);
int GetBuildTitleVersion(char *title, uint32_t titleSize, char *version, uint32_t versionSize,
                         const XmlDocument *document, const MachineInfo *machine);
int GetBuildKeyInfo(char *keyName, uint32_t keyNameSize, char *text9x, uint32_t size9x,
                    char *textNt, uint32_t sizeNt, const XmlDocument *document,
                    const MachineInfo *machine);
// The machine value of a "pd" placeholder's method ("LANGUAGE", "LANGUAGE.OS",
// "BIOSID", "MTM", "OS" or "FAMILYNAME"); 0 for any other method.
int FormatMachineValue(const char *method, const MachineInfo *machine, char *output, uint32_t size);
// The "data" element that a "gd" element's "path" and text select; null when none.
const XmlNode *SelectedDataNode(const XmlNode *gd, const XmlDocument *document,
                                const MachineInfo *machine);

// The value a node stands for, built into `output`; 0 when it gives none.
int GetMachineValue(const XmlNode *node, char *output, uint32_t size, const XmlDocument *document,
                    const MachineInfo *machine);

#endif
