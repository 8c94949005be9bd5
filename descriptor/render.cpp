// Renders an element's whole content, the text between and after its child
// elements included, into one ANSI string. The tree keeps only the text before
// an element's first child; the rest is read back out of the document's text
// copy, using the places where the parser left its NUL bytes.
#include "descriptor/render.h"

#include "base/text.h"
#include "descriptor/descriptor.h"
#include "xml/platform.h"

#include <string.h>

namespace {

struct Collector {
    char *block;        // the collected UTF-8 text
    uint32_t length;    // running length, the terminating NUL included
    const char *start;  // the document's text copy, and its end
    const char *end;
};

int Append(Collector *collector, const char *piece, size_t length)
{
    uint64_t needed = (uint64_t)collector->length + length;
    if (needed > 0x7FFFFFFF)
        return 0;
    if (HeapBlockSize(collector->block) < needed) {
        char *grown = (char *)HeapBlockReAlloc(collector->block, (uint32_t)needed);
        if (!grown)
            return 0;
        collector->block = grown;
    }
    memcpy(collector->block + collector->length - 1, piece, length);
    collector->length = (uint32_t)needed;
    collector->block[collector->length - 1] = 0;
    return 1;
}

int InCopy(const Collector *collector, const char *position)
{
    return position >= collector->start && position < collector->end;
}

// Appends a piece (up to its NUL or a "<") and every piece that continues it
// across comments, whose "<" the parser overwrote.
int AppendPieces(Collector *collector, const char *piece)
{
    while (InCopy(collector, piece)) {
        size_t length = strcspn(piece, "<");
        if (!Append(collector, piece, length))
            return 0;
        const char *after = NextEntry(piece);
        // Entity decoding may have left NULs where a text shrank.
        while (InCopy(collector, after) && *after == 0)
            ++after;
        if (!InCopy(collector, after) || (size_t)(collector->end - after) < 3 ||
            strncmp(after, "!--", 3) != 0)
            return 1;
        const char *close = strstr(after + 3, "-->");
        if (!close)
            return 1;
        piece = close + 3;
    }
    return 1;
}

int IsEndTagOf(const char *piece, const char *name)
{
    size_t length = strlen(name);
    return piece[0] == '/' && strncmp(piece + 1, name, length) == 0 && piece[length + 1] == '>';
}

int IsCData(const XmlNode *node)
{
    return strcmp(node->name, XML_CDATA_NAME) == 0;
}

// A CDATA section ends at the "]]>" whose first "]" ends its text.
const char *CDataEnd(const Collector *collector, const XmlNode *node)
{
    const char *close = node->text + strlen(node->text);
    if (!InCopy(collector, close + 2) || close[1] != ']' || close[2] != '>')
        return 0;
    return close + 2;
}

// The ">" that ends `node` in the text copy, or null when the copy holds no
// end for it (then nothing is read beyond the copy).
const char *ElementEnd(const Collector *collector, const XmlNode *node)
{
    if (IsCData(node))
        return CDataEnd(collector, node);
    const char *piece;
    if (node->children && node->children->count) {
        const char *lastEnd = ElementEnd(collector, &node->children->items[node->children->count - 1]);
        if (!lastEnd)
            return 0;
        piece = lastEnd + 1;
    } else {
        const char *behind = NextEntry(node->text);
        if (InCopy(collector, behind) && *behind == '>')
            return behind;  // an empty-element tag
        piece = behind;
    }
    for (; InCopy(collector, piece); piece = NextEntry(piece))
        if (IsEndTagOf(piece, node->name))
            return strchr(piece, '>');
    return 0;
}

int RenderChild(Collector *collector, const XmlNode *child, const XmlDocument *document,
                const MachineInfo *machine)
{
    if (strcmp(child->name, "pd") == 0) {
        const char *method = FindAttribute(child, "method");
        char value[DESCRIPTOR_PATH_SIZE];
        if (!method || !FormatMachineValue(method, machine, value, sizeof(value)) ||
            !Append(collector, value, strlen(value)))
            return 0;
    } else if (strcmp(child->name, "gd") == 0) {
        const XmlNode *data = SelectedDataNode(child, document, machine);
        if (!data || !AppendPieces(collector, data->text))
            return 0;
    } else if (IsCData(child)) {
        // Its text is raw: a "<" in it is text, and it holds no comment.
        if (!Append(collector, child->text, strlen(child->text)))
            return 0;
    } else {
        if (!AppendPieces(collector, child->text))
            return 0;
        for (XmlCount i = 0; child->children && i < child->children->count; ++i)
            if (!RenderChild(collector, &child->children->items[i], document, machine))
                return 0;
    }
    const char *end = ElementEnd(collector, child);
    if (!end)
        return 0;
    return AppendPieces(collector, end + 1);
}

void RemoveWhiteSpace(char *text)
{
    char *write = text;
    for (const char *read = text; *read; ++read)
        if (!IsXmlWhiteSpace(*read))
            *write++ = *read;
    *write = 0;
}

} // namespace

char *RenderText(const XmlNode *node, const XmlDocument *document, const MachineInfo *machine)
{
    if (!node || !document || !document->buffer || !machine)
        return 0;
    Collector collector = {(char *)HeapBlockAlloc(1), 1, document->buffer,
                           document->buffer + HeapBlockSize(document->buffer)};
    if (!collector.block)
        return 0;
    int ok = AppendPieces(&collector, node->text);
    for (XmlCount i = 0; ok && node->children && i < node->children->count; ++i)
        ok = RenderChild(&collector, &node->children->items[i], document, machine);
    char *result = 0;
    if (ok) {
        RemoveWhiteSpace(collector.block);
        DecodeEntities(collector.block);
        result = (char *)HeapBlockAlloc(collector.length);
        uint32_t capacity = result ? HeapBlockSize(result) : 0;
        if (result && !Utf8ToAnsi(collector.block, result, &capacity)) {
            HeapBlockFree(result);
            result = 0;
        }
    }
    HeapBlockFree(collector.block);
    return result;
}
