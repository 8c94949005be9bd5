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

// All records of a document (nodes, attribute arrays, child lists) live in
// memory the document owns; FreeDocument releases it together with the text
// copy and the document record. It returns 0, releasing nothing, when the
// record holds no text copy.
XmlDocument *ParseDocument(const char *text, int32_t length, int lenient);
int FreeDocument(XmlDocument *document);
// Empties the node: clears its attribute array, attribute count and child
// list. It releases no memory; that goes back with the document. The name and
// text are left alone (they belong to the text copy).
void FreeNode(XmlNode *node);
void DecodeEntities(char *string);
int IsXmlWhiteSpace(char c);

int FindRoot(const XmlDocument *document, XmlNode **node);
// The value of the node's first attribute named exactly `name`, or null.
const char *FindAttribute(const XmlNode *node, const char *name);
int QueryPath(const char *path, XmlNode **node, const XmlDocument *document);

int ResolveConversion(void);
int Utf8ToAnsi(const char *source, char *destination, uint32_t *size);

#endif
