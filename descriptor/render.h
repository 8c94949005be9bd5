// Element text rendering: an element's whole mixed content as one ANSI
// string, with "pd" and "gd" placeholder elements replaced by machine values.
#ifndef DESCRIPTOR_RENDER_H
#define DESCRIPTOR_RENDER_H

#include "base/machine_info.h"
#include "xml/xml.h"

// Returns a heap block the caller releases with HeapBlockFree (LocalFree on
// Windows), or null.
char *RenderText(const XmlNode *node, const XmlDocument *document, const MachineInfo *machine);

#endif
