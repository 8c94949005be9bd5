// In-place parser of the reduced XML syntax the descriptor uses. Every string of
// the tree points into the document's private copy of the input, ended by a NUL
// written over the delimiter behind it; where those NULs go is relied on by the
// element-text renderer, which reads mixed content back out of the copy.
//
// Speed comes from three things: all records of a document come from chunks the
// document owns (one pointer bump each, released together), the input is read
// once, with texts and attribute values decoded as soon as their end is known,
// and the scans test a character-class table instead of calling the C library.
#include "xml.h"
#include "platform.h"

#include "base/text.h"

#include <stddef.h>
#include <string.h>

namespace {

// Character classes, one bit each. NUL is in every stop set: the copy ends
// with one, so no scan runs past it, and a scan that stops at an embedded NUL
// checks whether it reached the end.
enum {
    kSpace = 1,
    kNul = 2,
    kLess = 4,
    kAmpersand = 8,
    kQuote = 16,
    kGreater = 32,
    kSlash = 64,
    kEquals = 128
};

#define S_ kSpace
const unsigned char kClass[256] = {
    kNul, 0, 0, 0, 0, 0, 0, 0, 0, S_, S_, S_, S_, S_, 0, 0,
    0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,
    S_, 0, kQuote, 0, 0, 0, kAmpersand, 0, 0, 0, 0, 0, 0, 0, 0, kSlash,
    0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, kLess, kEquals, kGreater, 0,
};
#undef S_

const unsigned kElementNameStop = kSpace | kGreater | kSlash | kNul;
const unsigned kAttributeNameStop = kSpace | kEquals | kGreater | kSlash | kNul;

int IsClass(char c, unsigned mask)
{
    return kClass[(unsigned char)c] & mask;
}

// The first byte at or after `p` in the class set `mask`, four bytes a step.
char *ScanTo(char *p, unsigned mask)
{
    const unsigned char *s = (const unsigned char *)p;
    for (;;) {
        if (kClass[s[0]] & mask)
            return (char *)s;
        if (kClass[s[1]] & mask)
            return (char *)s + 1;
        if (kClass[s[2]] & mask)
            return (char *)s + 2;
        if (kClass[s[3]] & mask)
            return (char *)s + 3;
        s += 4;
    }
}

// The first byte at or after `p` that is not white space, four bytes a step.
char *SkipWhiteSpace(char *p)
{
    const unsigned char *s = (const unsigned char *)p;
    for (;;) {
        if (!(kClass[s[0]] & kSpace))
            return (char *)s;
        if (!(kClass[s[1]] & kSpace))
            return (char *)s + 1;
        if (!(kClass[s[2]] & kSpace))
            return (char *)s + 2;
        if (!(kClass[s[3]] & kSpace))
            return (char *)s + 3;
        s += 4;
    }
}

// Chunks that hold a document's records. The first chunk is the document's own
// block, which starts with the document record so that its address is the
// document's; every further chunk starts with a link to the next.
union ChunkLink {
    ChunkLink *next;
    uint64_t alignment;
};

struct DocumentBlock {
    XmlDocument document;
    ChunkLink *chunks;
};

struct Arena {
    char *next;
    char *limit;
    ChunkLink **chunks;
    uint64_t held;          // room of all chunks so far
    const char *input;      // the copy of the input, for judging what is still to come
    const char *inputEnd;
};

// Chunks stay below the size from which the Windows heap maps every block
// afresh from the system.
const uint32_t kMinimumChunk = 4096;
const uint32_t kMaximumChunk = 256u << 10;
const uint32_t kLargestBlock = 0x7FFFFFFF;

// What the input behind `at` will probably add to `sofar`, which the input in
// front of it gave: in proportion, with a little to spare. In floating point,
// which the processor divides without a library routine.
uint64_t ProjectedRest(uint64_t sofar, const char *input, const char *end, const char *at)
{
    double rest = (double)(int64_t)sofar * (double)(end - at) / (double)(at - input + 1);
    rest += rest / 64;
    return rest < kLargestBlock ? (uint64_t)(int64_t)rest : kLargestBlock;
}

void LinkChunk(Arena *arena, ChunkLink *chunk)
{
    chunk->next = *arena->chunks;
    *arena->chunks = chunk;
}

// A new chunk's room: the records still to come, judged by what the input
// read so far took, within bounds. So a document's last chunk is not much
// larger than it needs, and the unused room at the end stays small.
uint32_t NextChunkRoom(const Arena *arena, const char *at)
{
    uint64_t used = arena->held - (uint64_t)(arena->limit - arena->next);
    uint64_t room = ProjectedRest(used, arena->input, arena->inputEnd, at) + 1024;
    return room < kMinimumChunk ? kMinimumChunk : room > kMaximumChunk ? kMaximumChunk : (uint32_t)room;
}

// A new chunk with room for at least `size` bytes, its room in *room; null
// when out of memory.
char *AddChunk(Arena *arena, uint32_t size, const char *at, uint32_t *room)
{
    uint32_t projected = NextChunkRoom(arena, at);
    uint32_t wanted = size > projected ? size : projected;
    if (wanted > kLargestBlock - sizeof(ChunkLink))
        return 0;
    ChunkLink *chunk = (ChunkLink *)HeapBlockAllocRaw((uint32_t)sizeof(ChunkLink) + wanted);
    if (!chunk)
        return 0;
    LinkChunk(arena, chunk);
    arena->held += wanted;
    *room = wanted;
    return (char *)(chunk + 1);
}

// `size` bytes from a new chunk. A large request gets a chunk of its own; the
// current one stays in use when it has more room left.
void *NewChunk(Arena *arena, uint32_t size, const char *at)
{
    uint32_t room;
    char *start = AddChunk(arena, size, at, &room);
    if (start && room - size > (uint32_t)(arena->limit - arena->next)) {
        arena->next = start + size;
        arena->limit = start + room;
    }
    return start;
}

// Makes `size` bytes free at the arena's next position, in a new chunk when
// the current one has less room.
int ArenaReserve(Arena *arena, uint64_t size, const char *at)
{
    if (size <= (uint64_t)(arena->limit - arena->next))
        return 1;
    if (size > kLargestBlock)
        return 0;
    uint32_t room;
    char *start = AddChunk(arena, ((uint32_t)size + 7) & ~7u, at, &room);
    if (!start)
        return 0;
    arena->next = start;
    arena->limit = start + room;
    return 1;
}

// `at`: how far the input has been read.
void *ArenaAlloc(Arena *arena, uint64_t size, const char *at)
{
    if (size > kLargestBlock)
        return 0;
    uint32_t rounded = ((uint32_t)size + 7) & ~7u;
    if ((uint32_t)(arena->limit - arena->next) < rounded)
        return NewChunk(arena, rounded, at);
    void *block = arena->next;
    arena->next += rounded;
    return block;
}

// Where one open element's parsing stands.
struct Frame {
    uint32_t node;        // its record on the scratch stack; its children follow
    uint32_t nameLength;  // up to the first NUL, as strlen would give
};

struct Parser {
    char *end;              // one past the last input byte: the copy's own terminator
    int lenient;
    Arena arena;
    XmlNode *stack;         // records of the open elements and of their children so far
    uint32_t stackCount;
    uint32_t stackCapacity;
    unsigned depth;         // number of open elements
    Frame frames[XML_MAX_DEPTH];  // last: left uninitialised until used
};

// Room for the open elements of a document at the depth limit, so that the
// scratch stack grows only for elements with many children.
const uint32_t kFirstStackItems = 1024;

// The scratch stack's next capacity: room for the records the rest of the
// input will probably add, judged by what the input read so far added, but at
// least an eighth more (few moves) and at most twice as many. A long list of
// children then leaves little unused room on the stack.
uint64_t GrownStackCapacity(const Parser *parser, const char *at)
{
    uint64_t capacity = parser->stackCapacity;
    if (!capacity)
        return kFirstStackItems;
    uint64_t grown = capacity + ProjectedRest(capacity, parser->arena.input, parser->end, at) + 16;
    uint64_t least = capacity + capacity / 8;
    return grown < least ? least : grown > capacity * 2 ? capacity * 2 : grown;
}

// Makes room on the full scratch stack; `at` tells how far the input has
// been read. Out of line: it is rare, and keeps PushNode small.
__attribute__((noinline)) int GrowStack(Parser *parser, const char *at)
{
    uint64_t grown = GrownStackCapacity(parser, at);
    if (grown * sizeof(XmlNode) > kLargestBlock)
        return 0;
    uint32_t size = (uint32_t)(grown * sizeof(XmlNode));
    void *moved = parser->stack ? HeapBlockReAllocRaw(parser->stack, size) : HeapBlockAllocRaw(size);
    if (!moved)
        return 0;
    parser->stack = (XmlNode *)moved;
    parser->stackCapacity = (uint32_t)grown;
    return 1;
}

// A new record on the scratch stack, its fields cleared; null when out of
// memory.
XmlNode *PushNode(Parser *parser, char *name, char *text)
{
    if (parser->stackCount == parser->stackCapacity && !GrowStack(parser, name))
        return 0;
    XmlNode *node = &parser->stack[parser->stackCount++];
    node->name = name;
    node->text = text;
    node->attributes = 0;
    node->attributeCount = 0;
    node->children = 0;
    return node;
}

// The character of the entity at `at` ("&" there), or 0 when none of the five
// begins there; compares byte by byte, so it never reads past a NUL.
char MatchEntity(const char *at, size_t *length)
{
    switch (at[1]) {
    case 'l':
    case 'g':
        if (at[2] == 't' && at[3] == ';') {
            *length = 4;
            return at[1] == 'l' ? '<' : '>';
        }
        break;
    case 'a':
        if (at[2] == 'm' && at[3] == 'p' && at[4] == ';') {
            *length = 5;
            return '&';
        }
        if (at[2] == 'p' && at[3] == 'o' && at[4] == 's' && at[5] == ';') {
            *length = 6;
            return '\'';
        }
        break;
    case 'q':
        if (at[2] == 'u' && at[3] == 'o' && at[4] == 't' && at[5] == ';') {
            *length = 6;
            return '"';
        }
        break;
    }
    return 0;
}

// Decodes a string from its first "&" on.
void DecodeFrom(char *read)
{
    char *write = read;
    while (*read) {
        size_t length = 0;
        char decoded = *read == '&' ? MatchEntity(read, &length) : 0;
        if (decoded) {
            *write++ = decoded;
            read += length;
        } else {
            *write++ = *read++;
        }
    }
    // The string only shrinks within its own span; clear what it gave up.
    memset(write, 0, (size_t)(read - write));
}

// The next "<" at or after `from`, or null.
char *FindLess(const Parser *parser, char *from)
{
    for (;;) {
        from = ScanTo(from, kLess | kNul);
        if (*from == '<')
            return from;
        if (from == parser->end)
            return 0;
        ++from;
    }
}

char *FindBytes(char *from, const char *end, const char *pattern, size_t length)
{
    while (from < end && (size_t)(end - from) >= length) {
        char *hit = (char *)memchr(from, pattern[0], (size_t)(end - length + 1 - from));
        if (!hit)
            return 0;
        if (memcmp(hit, pattern, length) == 0)
            return hit;
        from = hit + 1;
    }
    return 0;
}

int StartsWith(const char *position, const char *end, const char *prefix, size_t length)
{
    return (size_t)(end - position) >= length && memcmp(position, prefix, length) == 0;
}

// Names are short: four bytes a step, then a loop, beat a call.
int EqualBytes(const char *a, const char *b, size_t length)
{
    for (; length >= 4; a += 4, b += 4, length -= 4) {
        uint32_t x, y;
        memcpy(&x, a, 4);
        memcpy(&y, b, 4);
        if (x != y)
            return 0;
    }
    for (size_t i = 0; i < length; ++i)
        if (a[i] != b[i])
            return 0;
    return 1;
}

// Where parsing goes on after a construct: the next "<". A top-level
// construct may be the last thing in the document.
char *NextConstruct(const Parser *parser, char *from)
{
    char *next = FindLess(parser, from);
    if (!next && parser->depth == 0)
        return parser->end;
    return next;
}

// Scans a text or attribute value up to the first byte of `stop` other than
// "&" and an embedded NUL. *ampersand gets the first "&" in front of any NUL,
// the place where decoding has to start, or null.
char *ScanDecodable(const Parser *parser, char *p, unsigned stop, char **ampersand)
{
    char *first = 0;
    int cut = 0;
    for (;;) {
        p = ScanTo(p, stop | kAmpersand | kNul);
        if (*p == '&') {
            if (!first && !cut)
                first = p;
        } else if (*p) {
            break;
        } else if (p == parser->end) {
            break;
        } else {
            cut = 1;  // the string ends here; later bytes are not decoded
        }
        ++p;
    }
    *ampersand = first;
    return p;
}

// Moves the attributes written so far to a new chunk with room for twice as
// many; null when out of memory. Out of line: it is rare.
__attribute__((noinline)) XmlAttribute *MoveAttributes(Parser *parser, XmlCount count, const char *at)
{
    Arena *arena = &parser->arena;
    const XmlAttribute *slots = (const XmlAttribute *)arena->next;
    if (!ArenaReserve(arena, ((uint64_t)count + 1) * sizeof(XmlAttribute) * 2, at))
        return 0;
    XmlAttribute *moved = (XmlAttribute *)arena->next;
    for (XmlCount i = 0; i < count; ++i)
        moved[i] = slots[i];
    return moved;
}

// The attributes of the tag being read are written straight into the free
// room of the current chunk, which nothing else takes meanwhile; when it runs
// out they move to a new chunk. StoreAttributes then takes them.
int AddAttribute(Parser *parser, XmlCount count, char *name, char *value)
{
    Arena *arena = &parser->arena;
    XmlAttribute *slots = (XmlAttribute *)arena->next;
    uint64_t needed = ((uint64_t)count + 1) * sizeof(XmlAttribute);
    if (needed > (uint64_t)(arena->limit - arena->next)) {
        slots = MoveAttributes(parser, count, name);
        if (!slots)
            return 0;
    }
    slots[count].name = name;
    slots[count].value = value;
    return 1;
}

// Reads a quoted value behind "=" and writes its terminators; the position
// behind the closing quote, or null. No quoting protects a ">".
char *ReadValue(Parser *parser, char *equals, int decode, char **value)
{
    if (equals[1] != '"')
        return 0;
    *value = equals + 2;
    char *ampersand;
    char *quote = ScanDecodable(parser, *value, kQuote | kGreater, &ampersand);
    if (*quote != '"')
        return 0;
    *equals = 0;
    *quote = 0;
    if (decode && ampersand)
        DecodeFrom(ampersand);
    return quote + 1;
}

// Reads a start tag's attributes in one pass up to the tag's end, the ">" or
// the "/" of "/>", and returns that end, or null on a syntax error.
char *ReadTagAttributes(Parser *parser, char *position, int decode, XmlCount *count)
{
    *count = 0;
    for (;;) {
        position = SkipWhiteSpace(position);
        if (*position == '>' || (*position == '/' && position[1] == '>'))
            return position;
        if (position == parser->end)
            return 0;
        char *name = position;
        for (;;) {
            position = ScanTo(position, kAttributeNameStop);
            int goesOn = *position == '/' ? position[1] != '>' : !*position && position != parser->end;
            if (!goesOn)
                break;
            ++position;
        }
        char *value;
        if (*position == '=') {
            position = ReadValue(parser, position, decode, &value);
            if (!position)
                return 0;
        } else if (IsClass(*position, kSpace)) {
            *position = 0;
            value = position++;  // the name's terminator doubles as the empty value
        } else if (*position) {
            return position;  // a bare word at the end of the tag is dropped
        } else {
            return 0;  // the tag runs to the end of the input
        }
        if (!AddAttribute(parser, *count, name, value))
            return 0;
        ++*count;
    }
}

// Reads the attributes of an instruction's body [position, end), where the
// end is known.
int ReadBodyAttributes(Parser *parser, char *position, char *end, XmlCount *count)
{
    *count = 0;
    for (;;) {
        while (position < end && IsClass(*position, kSpace))
            ++position;
        if (position >= end)
            return 1;
        char *name = position;
        while (position < end && *position != '=' && !IsClass(*position, kSpace))
            ++position;
        if (position >= end)
            return 1;  // a bare word at the end is dropped
        char *value;
        if (*position == '=') {
            if (position + 1 >= end || position[1] != '"')
                return 0;
            value = position + 2;
            char *quote = (char *)memchr(value, '"', (size_t)(end - value));
            if (!quote)
                return 0;
            *position = 0;
            *quote = 0;
            DecodeEntities(value);
            position = quote + 1;
        } else {
            *position = 0;
            value = position++;
        }
        if (!AddAttribute(parser, *count, name, value))
            return 0;
        ++*count;
    }
}

// Keeps the attributes AddAttribute wrote for the node.
void StoreAttributes(Parser *parser, XmlNode *node, XmlCount count)
{
    if (count == 0)
        return;
    node->attributes = (XmlAttribute *)parser->arena.next;
    node->attributeCount = count;
    parser->arena.next += count * sizeof(XmlAttribute);
}

char *ParseCData(Parser *parser, char *position)
{
    char *text = position + 8;
    char *close = FindBytes(text, parser->end, "]]>", 3);
    if (!close)
        return 0;
    position[7] = 0;
    *close = 0;
    if (!PushNode(parser, position, text))
        return 0;
    return NextConstruct(parser, close + 3);
}

// Comments and tags skipped in lenient mode leave no node.
char *SkipTo(Parser *parser, char *from, const char *closing, size_t length)
{
    char *close = FindBytes(from, parser->end, closing, length);
    if (!close)
        return 0;
    return NextConstruct(parser, close + length);
}

int IsSkippedTag(const char *position, const char *end)
{
    switch (*position) {
    case 'M':
        return StartsWith(position, end, "META ", 5);
    case 'I':
        return StartsWith(position, end, "INPUT ", 6);
    case 'i':
        return StartsWith(position, end, "input ", 6);
    case 'm':
        return StartsWith(position, end, "meta name=\"robots\" ", 19);
    }
    return 0;
}

// A processing instruction or declaration at the top level.
char *ParseInstruction(Parser *parser, char *position, const char *terminator)
{
    const char *end = parser->end;
    size_t terminatorLength = strlen(terminator);
    char *cursor = position;
    while (cursor < end && !IsClass(*cursor, kSpace) &&
           !StartsWith(cursor, end, terminator, terminatorLength))
        ++cursor;
    if (cursor >= end)
        return 0;
    char *close = cursor;
    XmlCount count = 0;
    if (IsClass(*cursor, kSpace)) {
        close = FindBytes(cursor + 1, end, terminator, terminatorLength);
        if (!close)
            return 0;
        *cursor = 0;
        if (!ReadBodyAttributes(parser, cursor + 1, close, &count))
            return 0;
    }
    *close = 0;
    if (close != position) {  // "<?>" leaves an empty name and no node
        XmlNode *node = PushNode(parser, position, close);
        if (!node)
            return 0;
        StoreAttributes(parser, node, count);
    }
    return NextConstruct(parser, close + terminatorLength);
}

void UpperCaseDocumentName(const Parser *parser, char *name, uint32_t length)
{
    if (!parser->lenient || length != 4)
        return;
    static const char *const kNames[] = {"HTML", "HEAD", "BODY"};
    for (size_t i = 0; i < sizeof(kNames) / sizeof(kNames[0]); ++i) {
        if (EqualIgnoringCase(name, kNames[i], 4)) {
            memcpy(name, kNames[i], 4);
            return;
        }
    }
}

// Reads an element's leading text and opens its frame. Returns the "<" that
// ends the text (already a NUL), or null.
char *OpenContent(Parser *parser, uint32_t index, uint32_t nameLength, char *content)
{
    char *text = SkipWhiteSpace(content);
    char *ampersand;
    char *less = ScanDecodable(parser, text, kLess, &ampersand);
    if (*less != '<')
        return 0;
    *less = 0;
    if (nameLength && ampersand)
        DecodeFrom(ampersand);
    parser->stack[index].text = text;
    Frame *frame = &parser->frames[parser->depth++];
    frame->node = index;
    frame->nameLength = nameLength;
    return less;
}

// The element's name: up to white space, ">" or "/>". Returns where it ends,
// or null when it runs to the end of the input.
char *ScanElementName(const Parser *parser, char *position, uint32_t *length)
{
    char *cursor = position;
    char *nul = 0;
    for (;;) {
        cursor = ScanTo(cursor, kElementNameStop);
        if (*cursor == '/' && cursor[1] != '>') {
            ++cursor;
            continue;
        }
        if (*cursor)
            break;
        if (cursor == parser->end)
            return 0;
        if (!nul)
            nul = cursor;
        ++cursor;
    }
    *length = (uint32_t)((nul ? nul : cursor) - position);
    return cursor;
}

// A start tag. An empty-element tag is complete on return; otherwise the
// element's frame is open and the "<" behind its leading text is returned.
char *ParseElement(Parser *parser, char *position)
{
    uint32_t nameLength;
    char *cursor = ScanElementName(parser, position, &nameLength);
    if (!cursor)
        return 0;
    uint32_t index = parser->stackCount;
    XmlNode *node = PushNode(parser, position, 0);
    if (!node)
        return 0;
    char *close = cursor;
    if (*cursor != '/') {
        UpperCaseDocumentName(parser, position, nameLength);
        XmlCount count = 0;
        if (*cursor != '>')
            close = ReadTagAttributes(parser, cursor + 1, nameLength != 0, &count);
        *cursor = 0;
        if (!close)
            return 0;
        if (nameLength)
            StoreAttributes(parser, node, count);
    }
    int empty = *close == '/';  // "<name/>" or "<name attributes/>"
    *close = 0;
    if (empty) {
        node->text = close;
        if (!nameLength)
            --parser->stackCount;
        return NextConstruct(parser, close + 2);
    }
    return OpenContent(parser, index, nameLength, close + 1);
}

// A long list of children takes over the scratch stack's block instead of
// being copied out of it, so that its records are neither held twice, as they
// would be at the end of a long catalogue, nor moved. The few records in
// front of the children move to a new, small stack; their room in the block
// takes the chunk link and the list record, and the block, cut behind the
// children, becomes a chunk of the document. Returns the list, or null when
// out of memory.
XmlChildList *HandOverStack(Parser *parser, uint32_t first, uint32_t count)
{
    // The element's own record is always in front of its children.
    static_assert(sizeof(ChunkLink) + sizeof(XmlChildList) <= sizeof(XmlNode),
                  "the link and the list record fit into one record's room");
    uint32_t capacity = first * 2 + 16;
    XmlNode *kept = (XmlNode *)HeapBlockAllocRaw(capacity * (uint32_t)sizeof(XmlNode));
    if (!kept)
        return 0;
    memcpy(kept, parser->stack, first * sizeof(XmlNode));
    // The records keep their offsets in the block even if cutting moves it;
    // when the heap cannot cut it, the block stays as it is.
    char *block = (char *)parser->stack;
    char *cut = (char *)HeapBlockReAllocRaw(block, (first + count) * (uint32_t)sizeof(XmlNode));
    if (cut)
        block = cut;
    parser->stack = kept;
    parser->stackCapacity = capacity;
    LinkChunk(&parser->arena, (ChunkLink *)block);
    XmlNode *items = (XmlNode *)block + first;
    XmlChildList *list = (XmlChildList *)items - 1;  // the list record right in front of them
    list->items = items;
    return list;
}

// Lists from this size on, of an element with few records in front of it on
// the stack, take the stack's block over.
const uint32_t kHandOverItems = 1024;

// The children's list in the document's chunks, or null when out of memory.
XmlChildList *StoreChildren(Parser *parser, uint32_t first, uint32_t count, const char *at)
{
    if (count >= kHandOverItems && first <= kHandOverItems / 8)
        return HandOverStack(parser, first, count);
    XmlChildList *list = (XmlChildList *)ArenaAlloc(
        &parser->arena, sizeof(XmlChildList) + (uint64_t)count * sizeof(XmlNode), at);
    if (!list)
        return 0;
    list->items = (XmlNode *)(list + 1);  // the items right behind the list record
    const XmlNode *children = &parser->stack[first];
    if (count <= 4) {  // the common case is cheaper without a call
        for (uint32_t i = 0; i < count; ++i)
            list->items[i] = children[i];
    } else {
        memcpy(list->items, children, count * sizeof(XmlNode));
    }
    return list;
}

// Checks the end tag behind `less` against the innermost open element, moves
// its children into the document's chunks and closes it. Returns the first
// byte after the end tag that is not white space, or null.
char *CloseElement(Parser *parser, char *less)
{
    const Frame *frame = &parser->frames[parser->depth - 1];
    const XmlNode *node = &parser->stack[frame->node];
    char *endName = less + 2;
    uint32_t length = frame->nameLength;
    if ((size_t)(parser->end - endName) <= length)
        return 0;
    int same = parser->lenient ? EqualIgnoringCase(endName, node->name, length)
                               : EqualBytes(endName, node->name, length);
    if (!same || endName[length] != '>')
        return 0;
    uint32_t first = frame->node + 1;
    uint32_t count = parser->stackCount - first;
    if (length && count) {
        XmlChildList *list = StoreChildren(parser, first, count, less);
        if (!list)
            return 0;
        list->count = count;
        parser->stack[frame->node].children = list;  // the stack may have moved
    }
    // An element with an empty name is dropped together with its children.
    parser->stackCount = length ? first : frame->node;
    --parser->depth;
    return SkipWhiteSpace(endName + length + 1);
}

// The constructs other than a start tag: CDATA sections, comments, the tags
// lenient mode skips and, at the top level, instructions and declarations.
// Sets *element and returns nothing when `position` starts an element instead.
// Out of line: the loop below keeps the common path, a start tag, short.
__attribute__((noinline)) char *ParseOther(Parser *parser, char *position, const char *terminator,
                                           int *element)
{
    const char *end = parser->end;
    *element = 0;
    if (parser->depth >= XML_MAX_DEPTH)
        return 0;
    if (*position == '!') {
        if (StartsWith(position, end, "![CDATA[", 8))
            return ParseCData(parser, position);
        if (StartsWith(position, end, "!--", 3))
            return SkipTo(parser, position + 3, "-->", 3);
    }
    if (parser->lenient && IsSkippedTag(position, end))
        return SkipTo(parser, position, ">", 1);
    if (terminator)
        return ParseInstruction(parser, position, terminator);
    *element = 1;
    return 0;
}

// A top-level construct and everything inside it, without recursion: the open
// elements are kept in the parser's frames. `less` is the construct's "<".
char *ParseTopLevel(Parser *parser, char *less, const char *terminator)
{
    char *next = less;
    for (;;) {
        char *position = next + 1;
        int element = 1;
        if (*position == '!' || terminator || parser->lenient || parser->depth >= XML_MAX_DEPTH)
            next = ParseOther(parser, position, terminator, &element);
        if (element)
            next = ParseElement(parser, position);
        terminator = 0;
        for (;;) {
            if (!next || parser->depth == 0)
                return next;
            *next = 0;  // every "<" inside an element: a child's or the end tag's
            if (next[1] != '/')
                break;
            next = CloseElement(parser, next);
            if (!next || parser->depth == 0)
                return next;
            // Text behind a child's end tag is mixed content: not part of the
            // tree, read back from the copy by the renderer.
            if (*next != '<')
                next = FindLess(parser, next);
        }
    }
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

void ReleaseChunks(ChunkLink *chunk)
{
    while (chunk) {
        ChunkLink *next = chunk->next;
        HeapBlockFree(chunk);
        chunk = next;
    }
}

void ReleaseDocument(XmlDocument *document)
{
    ReleaseChunks(((DocumentBlock *)document)->chunks);
    HeapBlockFree(document->buffer);
    HeapBlockFree(document);
}

// Room for the records in the document's own block: in proportion to the
// input, within bounds.
uint32_t ChunkSizeFor(int32_t length)
{
    uint32_t size = (uint32_t)length / 8;
    return size < kMinimumChunk ? kMinimumChunk : size > kMaximumChunk ? kMaximumChunk : size;
}

XmlDocument *NewDocument(int32_t length, Arena *arena)
{
    uint32_t room = ChunkSizeFor(length);
    DocumentBlock *block = (DocumentBlock *)HeapBlockAllocRaw((uint32_t)sizeof(DocumentBlock) + room);
    if (!block)
        return 0;
    memset(block, 0, sizeof(*block));
    block->document.buffer = (char *)HeapBlockAllocRaw((uint32_t)length + 1);
    if (!block->document.buffer) {
        HeapBlockFree(block);
        return 0;
    }
    arena->next = (char *)(block + 1);
    arena->limit = arena->next + room;
    arena->chunks = &block->chunks;
    arena->held = room;
    arena->input = block->document.buffer;
    arena->inputEnd = block->document.buffer + length;
    return &block->document;
}

int ParseInto(Parser *parser, XmlDocument *document)
{
    char *position = FindLess(parser, document->buffer);
    if (!position)
        return 0;
    while (position < parser->end && *position == '<') {
        const char *terminator = position[1] == '!' ? ">" : position[1] == '?' ? "?>" : 0;
        position = ParseTopLevel(parser, position, terminator);
        if (!position)
            return 0;
    }
    XmlCount count = parser->stackCount;
    if (count == 0)
        return 0;
    document->nodes = (XmlNode *)ArenaAlloc(&parser->arena, (uint64_t)count * sizeof(XmlNode), parser->end);
    if (!document->nodes)
        return 0;
    memcpy(document->nodes, parser->stack, count * sizeof(XmlNode));
    document->count = count;
    return 1;
}

} // namespace

int IsXmlWhiteSpace(char c)
{
    return IsClass(c, kSpace);
}

void DecodeEntities(char *string)
{
    char *first = strchr(string, '&');
    if (first)
        DecodeFrom(first);
}

void FreeNode(XmlNode *node)
{
    if (!node)
        return;
    node->attributes = 0;
    node->attributeCount = 0;
    node->children = 0;
}

XmlDocument *ParseDocument(const char *text, int32_t length, int lenient)
{
    if (!text || length < 0 || (!lenient && !HasProlog(text, length)))
        return 0;
    Parser *parser = (Parser *)HeapBlockAllocRaw(sizeof(Parser));
    if (!parser)
        return 0;
    memset(parser, 0, offsetof(Parser, frames));
    XmlDocument *document = NewDocument(length, &parser->arena);
    int parsed = 0;
    if (document) {
        memcpy(document->buffer, text, (size_t)length);
        // The terminator, and zeros in any room the heap gave beyond it: the
        // renderer reads the copy up to the block's size.
        memset(document->buffer + length, 0, HeapBlockSize(document->buffer) - (uint32_t)length);
        parser->end = document->buffer + length;
        parser->lenient = lenient;
        parsed = ParseInto(parser, document);
    }
    HeapBlockFree(parser->stack);
    HeapBlockFree(parser);
    if (document && !parsed) {
        ReleaseDocument(document);
        document = 0;
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
