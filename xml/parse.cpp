// In-place parser of the reduced XML syntax the descriptor uses. Every string of
// the tree points into the document's private copy of the input, ended by a NUL
// written over the delimiter behind it; where those NULs go is relied on by the
// element-text renderer, which reads mixed content back out of the copy.
#include "xml.h"
#include "platform.h"

#include "base/text.h"

#include <string.h>

namespace {

struct ParseContext {
    char *end;      // one past the last input byte: the copy's own terminator
    int lenient;
};

char *ParseNode(const ParseContext *context, XmlNode *node, char *position,
                const char *terminator, unsigned depth);

char *SkipWhiteSpace(char *position, const char *end)
{
    while (position < end && IsXmlWhiteSpace(*position))
        ++position;
    return position;
}

char *FindByte(char *from, const char *end, char c)
{
    if (from >= end)
        return 0;
    return (char *)memchr(from, c, (size_t)(end - from));
}

char *FindBytes(char *from, const char *end, const char *pattern, size_t length)
{
    while (from < end && (size_t)(end - from) >= length) {
        char *hit = FindByte(from, end - length + 1, pattern[0]);
        if (!hit)
            return 0;
        if (memcmp(hit, pattern, length) == 0)
            return hit;
        from = hit + 1;
    }
    return 0;
}

int StartsWith(const char *position, const char *end, const char *prefix)
{
    size_t length = strlen(prefix);
    return (size_t)(end - position) >= length && memcmp(position, prefix, length) == 0;
}

int IsStored(const XmlNode *node)
{
    return node->name && node->name[0];
}

// Entities are decoded as each node is completed: its children first (they
// complete before it), then its attribute values, then its text, except in a
// CDATA section. So the finished tree is never walked a second time.
void DecodeNodeStrings(XmlNode *node)
{
    for (XmlCount i = 0; i < node->attributeCount; ++i)
        DecodeEntities(node->attributes[i].value);
    if (node->text && strcmp(node->name, XML_CDATA_NAME) != 0)
        DecodeEntities(node->text);
}

// Releases what a slot holds and clears it for reuse.
void ReleaseSlot(XmlNode *node)
{
    FreeNode(node);
    memset(node, 0, sizeof(*node));
}

// Size of a node array block grown to hold at least `needed` bytes: blocks
// double, so wide documents parse in linear time.
int GrownSize(uint32_t size, uint64_t needed, uint32_t *grown)
{
    uint64_t doubled = (uint64_t)size * 2;
    if (needed > 0x7FFFFFFF)
        return 0;
    *grown = (uint32_t)(doubled > needed && doubled <= 0x7FFFFFFF ? doubled : needed);
    return 1;
}

// Makes room for top-level record number `count`.
int ReserveTopLevelSlot(XmlNode **array, XmlCount count)
{
    uint64_t needed = ((uint64_t)count + 1) * sizeof(XmlNode);
    if (!*array) {
        *array = (XmlNode *)HeapBlockAlloc(sizeof(XmlNode));
        return *array != 0;
    }
    uint32_t size = HeapBlockSize(*array);
    uint32_t grown;
    if (size >= needed)
        return 1;
    if (!GrownSize(size, needed, &grown))
        return 0;
    XmlNode *moved = (XmlNode *)HeapBlockReAlloc(*array, grown);
    if (!moved)
        return 0;
    *array = moved;
    return 1;
}

// A child list and its item array share one block, the items right behind
// the list record: one allocation per element with children instead of two.
const uint32_t kFirstChildSlots = 4;

XmlNode *ItemsOf(XmlChildList *list)
{
    return (XmlNode *)(list + 1);
}

// Makes room for one more child of `node`, creating its child list.
int ReserveChildSlot(XmlNode *node)
{
    XmlChildList *list = node->children;
    if (!list) {
        list = (XmlChildList *)HeapBlockAlloc(sizeof(XmlChildList) +
                                              kFirstChildSlots * sizeof(XmlNode));
        if (!list)
            return 0;
        list->items = ItemsOf(list);
        node->children = list;
        return 1;
    }
    uint64_t needed = sizeof(XmlChildList) + ((uint64_t)list->count + 1) * sizeof(XmlNode);
    uint32_t size = HeapBlockSize(list);
    uint32_t grown;
    if (size >= needed)
        return 1;
    if (!GrownSize(size, needed, &grown))
        return 0;
    XmlChildList *moved = (XmlChildList *)HeapBlockReAlloc(list, grown);
    if (!moved)
        return 0;
    moved->items = ItemsOf(moved);
    node->children = moved;
    return 1;
}

// Where parsing goes on after a construct: the next "<". A top-level
// construct may be the last thing in the document.
char *NextConstruct(const ParseContext *context, char *from, unsigned depth)
{
    char *next = FindByte(from, context->end, '<');
    if (!next && depth == 0)
        return context->end;
    return next;
}

// Counts the attribute tokens of [position, end), or -1 on a syntax error.
// With `out` it also stores them and writes their NUL terminators.
int ScanAttributes(char *position, const char *end, XmlAttribute *out)
{
    int count = 0;
    for (;;) {
        position = SkipWhiteSpace(position, end);
        if (position >= end)
            return count;
        char *name = position;
        while (position < end && *position != '=' && !IsXmlWhiteSpace(*position))
            ++position;
        if (position >= end)
            return count;  // a bare word at the end of the tag is dropped
        char *value;
        if (*position == '=') {
            if (position + 1 >= end || position[1] != '"')
                return -1;
            value = position + 2;
            char *quote = FindByte(value, end, '"');
            if (!quote)
                return -1;
            if (out) {
                *position = 0;
                *quote = 0;
            }
            position = quote + 1;
        } else {
            if (out)
                *position = 0;
            value = position;  // the name's terminator doubles as the empty value
            ++position;
        }
        if (out) {
            out[count].name = name;
            out[count].value = value;
        }
        ++count;
    }
}

int ParseAttributes(XmlNode *node, char *bytes, const char *end)
{
    int count = ScanAttributes(bytes, end, 0);
    if (count <= 0)
        return count == 0;
    node->attributes = (XmlAttribute *)HeapBlockAlloc((uint32_t)count * sizeof(XmlAttribute));
    if (!node->attributes)
        return 0;
    node->attributeCount = (XmlCount)count;
    ScanAttributes(bytes, end, node->attributes);
    return 1;
}

char *ParseCData(const ParseContext *context, XmlNode *node, char *position, unsigned depth)
{
    char *text = position + 8;
    char *close = FindBytes(text, context->end, "]]>", 3);
    if (!close)
        return 0;
    position[7] = 0;
    *close = 0;
    node->name = position;
    node->text = text;
    return NextConstruct(context, close + 3, depth);
}

// Comments and tags skipped in lenient mode leave a nameless node.
char *SkipTo(const ParseContext *context, char *from, const char *closing, unsigned depth)
{
    size_t length = strlen(closing);
    char *close = FindBytes(from, context->end, closing, length);
    if (!close)
        return 0;
    return NextConstruct(context, close + length, depth);
}

int IsSkippedTag(const char *position, const char *end)
{
    return StartsWith(position, end, "META ") || StartsWith(position, end, "INPUT ") ||
           StartsWith(position, end, "input ") ||
           StartsWith(position, end, "meta name=\"robots\" ");
}

// A processing instruction or declaration at the top level.
char *ParseInstruction(const ParseContext *context, XmlNode *node, char *position,
                       const char *terminator, unsigned depth)
{
    const char *end = context->end;
    size_t terminatorLength = strlen(terminator);
    char *cursor = position;
    while (cursor < end && !IsXmlWhiteSpace(*cursor) && !StartsWith(cursor, end, terminator))
        ++cursor;
    if (cursor >= end)
        return 0;
    char *close = cursor;
    if (IsXmlWhiteSpace(*cursor)) {
        close = FindBytes(cursor + 1, end, terminator, terminatorLength);
        if (!close)
            return 0;
        *cursor = 0;
        if (!ParseAttributes(node, SkipWhiteSpace(cursor + 1, close), close))
            return 0;
    }
    *close = 0;
    node->name = position;
    node->text = close;
    return NextConstruct(context, close + terminatorLength, depth);
}

void UpperCaseDocumentName(const ParseContext *context, char *name)
{
    if (!context->lenient)
        return;
    static const char *const kNames[] = {"HTML", "HEAD", "BODY"};
    for (size_t i = 0; i < sizeof(kNames) / sizeof(kNames[0]); ++i) {
        if (strlen(name) == 4 && EqualIgnoringCase(name, kNames[i], 4)) {
            memcpy(name, kNames[i], 4);
            return;
        }
    }
}

// Reads the children up to the end tag and checks it. `content` is the first
// byte behind the start tag.
char *ParseContent(const ParseContext *context, XmlNode *node, char *content, unsigned depth)
{
    const char *end = context->end;
    char *position = FindByte(content, end, '<');
    if (!position)
        return 0;
    node->text = SkipWhiteSpace(content, position);
    while (!(position + 1 < end && position[1] == '/')) {
        if (!ReserveChildSlot(node))
            return 0;
        XmlChildList *list = node->children;
        XmlNode *child = &list->items[list->count];
        *position = 0;
        char *after = ParseNode(context, child, position + 1, 0, depth + 1);
        if (!after) {
            ReleaseSlot(child);
            return 0;
        }
        if (IsStored(child))
            ++list->count;
        else
            ReleaseSlot(child);
        // Text behind a child's end tag is mixed content: not part of the
        // tree, read back from the copy by the renderer.
        position = *after == '<' ? after : FindByte(after, end, '<');
        if (!position)
            return 0;
    }
    if (node->children && node->children->count == 0) {
        HeapBlockFree(node->children);
        node->children = 0;
    }
    *position = 0;
    char *endName = position + 2;
    size_t length = strlen(node->name);
    if ((size_t)(end - endName) <= length)
        return 0;
    int same = context->lenient ? EqualIgnoringCase(endName, node->name, length)
                                : memcmp(endName, node->name, length) == 0;
    if (!same || endName[length] != '>')
        return 0;
    return SkipWhiteSpace(endName + length + 1, end);
}

char *ParseElement(const ParseContext *context, XmlNode *node, char *position, unsigned depth)
{
    const char *end = context->end;
    char *cursor = position;
    while (cursor < end && !IsXmlWhiteSpace(*cursor) && *cursor != '>' &&
           !(cursor[0] == '/' && cursor + 1 < end && cursor[1] == '>'))
        ++cursor;
    if (cursor >= end)
        return 0;
    node->name = position;
    if (*cursor == '/') {  // "<name/>"
        *cursor = 0;
        node->text = cursor;
        return NextConstruct(context, cursor + 2, depth);
    }
    if (*cursor == '>') {
        *cursor = 0;
        UpperCaseDocumentName(context, position);
        return ParseContent(context, node, cursor + 1, depth);
    }
    *cursor = 0;
    UpperCaseDocumentName(context, position);
    char *attributes = SkipWhiteSpace(cursor + 1, end);
    char *close = FindByte(attributes, end, '>');
    if (!close)
        return 0;
    if (close[-1] == '/') {  // "<name attributes/>"
        char *slash = close - 1;
        if (!ParseAttributes(node, attributes, slash))
            return 0;
        *slash = 0;
        node->text = slash;
        return NextConstruct(context, close + 1, depth);
    }
    if (!ParseAttributes(node, attributes, close))
        return 0;
    *close = 0;
    return ParseContent(context, node, close + 1, depth);
}

// One construct that starts behind its "<". Returns where the caller goes on.
char *ParseNode(const ParseContext *context, XmlNode *node, char *position,
                const char *terminator, unsigned depth)
{
    const char *end = context->end;
    if (depth >= XML_MAX_DEPTH)
        return 0;
    if (StartsWith(position, end, "![CDATA["))
        return ParseCData(context, node, position, depth);
    if (StartsWith(position, end, "!--"))
        return SkipTo(context, position + 3, "-->", depth);
    if (context->lenient && IsSkippedTag(position, end))
        return SkipTo(context, position, ">", depth);
    char *after = terminator ? ParseInstruction(context, node, position, terminator, depth)
                             : ParseElement(context, node, position, depth);
    if (after && IsStored(node))
        DecodeNodeStrings(node);
    return after;
}

// The first "<" within the first 12 bytes must open "<?xml " there.
int HasProlog(const char *text, int32_t length)
{
    int32_t window = length < 12 ? length : 12;
    const char *nul = (const char *)memchr(text, 0, (size_t)window);
    if (nul)
        window = (int32_t)(nul - text);
    const char *open = (const char *)memchr(text, '<', (size_t)window);
    return open && window - (open - text) >= 6 && memcmp(open, "<?xml ", 6) == 0;
}

void ReleaseDocument(XmlDocument *document)
{
    for (XmlCount i = 0; i < document->count; ++i)
        FreeNode(&document->nodes[i]);
    HeapBlockFree(document->nodes);
    HeapBlockFree(document->buffer);
    HeapBlockFree(document);
}

} // namespace

int IsXmlWhiteSpace(char c)
{
    return c == ' ' || (c >= '\t' && c <= '\r');
}

void DecodeEntities(char *string)
{
    static const struct {
        const char *text;
        size_t length;
        char character;
    } kEntities[] = {
        {"&lt;", 4, '<'}, {"&gt;", 4, '>'}, {"&amp;", 5, '&'}, {"&quot;", 6, '"'}, {"&apos;", 6, '\''},
    };
    char *read = strchr(string, '&');
    if (!read)
        return;
    char *write = read;
    while (*read) {
        size_t i = 0;
        if (*read == '&')
            while (i < 5 && strncmp(read, kEntities[i].text, kEntities[i].length) != 0)
                ++i;
        if (*read == '&' && i < 5) {
            *write++ = kEntities[i].character;
            read += kEntities[i].length;
        } else {
            *write++ = *read++;
        }
    }
    // The string only shrinks within its own span; clear what it gave up.
    memset(write, 0, (size_t)(read - write));
}

void FreeNode(XmlNode *node)
{
    if (!node)
        return;
    HeapBlockFree(node->attributes);
    node->attributes = 0;
    node->attributeCount = 0;
    if (node->children) {
        for (XmlCount i = 0; i < node->children->count; ++i)
            FreeNode(&node->children->items[i]);
        HeapBlockFree(node->children);  // the items share its block
        node->children = 0;
    }
}

XmlDocument *ParseDocument(const char *text, int32_t length, int lenient)
{
    if (!text || length < 0 || (!lenient && !HasProlog(text, length)))
        return 0;
    XmlDocument *document = (XmlDocument *)HeapBlockAlloc(sizeof(XmlDocument));
    if (!document)
        return 0;
    document->buffer = (char *)HeapBlockAlloc((uint32_t)length + 1);
    if (!document->buffer) {
        HeapBlockFree(document);
        return 0;
    }
    memcpy(document->buffer, text, (size_t)length);
    ParseContext context = {document->buffer + length, lenient};
    char *position = FindByte(document->buffer, context.end, '<');
    int failed = !position;
    while (!failed && position < context.end && *position == '<') {
        if (!ReserveTopLevelSlot(&document->nodes, document->count)) {
            failed = 1;
            break;
        }
        XmlNode *node = &document->nodes[document->count];
        const char *terminator = position[1] == '!' ? ">" : position[1] == '?' ? "?>" : 0;
        char *after = ParseNode(&context, node, position + 1, terminator, 0);
        if (!after) {
            ReleaseSlot(node);
            failed = 1;
            break;
        }
        if (IsStored(node))
            ++document->count;
        else
            ReleaseSlot(node);
        position = after;
    }
    if (failed || document->count == 0) {
        ReleaseDocument(document);
        return 0;
    }
    return document;
}

int FreeDocument(XmlDocument *document)
{
    if (!document || !document->buffer)
        return 0;
    ReleaseDocument(document);
    return 1;
}
