// The XML document engine: an in-place parser producing a document tree,
// path queries over it and UTF-8 to system-code-page conversion.
#ifndef XML_XML_H
#define XML_XML_H

#include <stdint.h>

typedef uint32_t XmlCount;

struct XmlChildList;

struct XmlAttribute {
    char *name;
    char *value;
};

struct XmlNode {
    char *name;                 // never empty in a stored node
    char *text;                 // empty string when the node has no text, never null
    XmlAttribute *attributes;   // exactly attributeCount entries, null when none
    XmlCount attributeCount;
    XmlChildList *children;     // null when the node has no stored child
};

struct XmlChildList {
    XmlNode *items;             // children stored by value, in document order
    XmlCount count;
};

struct XmlDocument {
    XmlNode *nodes;             // top-level nodes in document order
    XmlCount count;
    char *buffer;               // NUL-terminated copy of the input; all strings point into it
};

enum {
    XML_MAX_DEPTH = 1000,       // deeper nesting fails the parse instead of the stack
    XML_PATH_SIZE = 260         // work area of a path query, terminator included
};

// Name of a CDATA section node.
#define XML_CDATA_NAME "![CDATA"

// Parses `length` bytes of `text` (no terminator needed) into a tree over a
// private copy. Strict mode needs an "<?xml" prolog; `lenient` accepts HTML-
// like input. Returns null on any error (nothing is kept), else a document
// the caller releases with FreeDocument. All records of the tree (nodes,
// attribute arrays, child lists) live in memory the document owns.
XmlDocument *ParseDocument(const char *text, int32_t length, int lenient);
// Releases the document: its records, its text copy and the document record.
// 0 for a null document or one without text copy (then nothing is released).
int FreeDocument(XmlDocument *document);
// Empties the node: clears its attribute array, attribute count and child
// list. It releases no memory; that goes back with the document. The name and
// text are left alone (they belong to the text copy); a null node is accepted.
void FreeNode(XmlNode *node);
// Replaces the five predefined entities in place; the string only shrinks,
// and what it gives up is cleared.
void DecodeEntities(char *string);
// 1 for a space, tab, line feed, vertical tab, form feed or carriage return.
int IsXmlWhiteSpace(char c);

// The first top-level element (not a declaration or comment) into `*node`;
// 0 when the document has none.
int FindRoot(const XmlDocument *document, XmlNode **node);
// The value of the node's first attribute named exactly `name`, or null.
const char *FindAttribute(const XmlNode *node, const char *name);
// The node at `path` ("/root/child[@id=value]/...", shorter than
// XML_PATH_SIZE) into `*node`; 0 when the path is malformed or leads
// nowhere. The node belongs to the document.
int QueryPath(const char *path, XmlNode **node, const XmlDocument *document);

// Finds the code-page conversion functions (on Windows 9x in the Unicode
// layer, which must be loaded); 0 when they are missing. Utf8ToAnsi calls it
// when needed.
int ResolveConversion(void);
// Converts the NUL-ended UTF-8 `source` to the system ANSI code page into
// `destination` of `*size` bytes, the terminator included. With a null
// `destination` it only sets `*size` to the bytes needed. 0 when the text
// does not fit or cannot be converted.
int Utf8ToAnsi(const char *source, char *destination, uint32_t *size);

#endif
