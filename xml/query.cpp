// Path queries: "/root/child/name[@attribute=value]/..." from the root element
// down, one child per step, first match in document order.
#include "xml.h"

#include <string.h>

namespace {

int IsAsciiLetter(char c)
{
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}

int HasAttribute(const XmlNode *node, const char *name, const char *value)
{
    for (XmlCount i = 0; i < node->attributeCount; ++i)
        if (strcmp(node->attributes[i].name, name) == 0 &&
            strcmp(node->attributes[i].value, value) == 0)
            return 1;
    return 0;
}

// First child named `name`; with an `attribute`, one that also carries it with `value`.
XmlNode *FindChild(const XmlNode *parent, const char *name, const char *attribute,
                   const char *value)
{
    for (XmlCount i = 0; i < parent->children->count; ++i) {
        XmlNode *child = &parent->children->items[i];
        if (strcmp(child->name, name) == 0 && (!attribute || HasAttribute(child, attribute, value)))
            return child;
    }
    return 0;
}

// A step of the form name[@attribute=value]; anything behind the "]" is ignored.
XmlNode *FindPredicateChild(const XmlNode *parent, const char *segment)
{
    char step[XML_PATH_SIZE];
    strcpy(step, segment);  // a segment is shorter than the path it came from
    char *bracket = strchr(step, '[');
    if (bracket[1] != '@')
        return 0;
    *bracket = 0;
    char *attribute = bracket + 2;
    char *equals = strchr(attribute, '=');
    if (!equals)
        return 0;
    *equals = 0;
    char *value = equals + 1;
    char *close = strchr(value, ']');
    if (!close)
        return 0;
    *close = 0;
    return FindChild(parent, step, attribute, value);
}

} // namespace

const char *FindAttribute(const XmlNode *node, const char *name)
{
    for (XmlCount i = 0; i < node->attributeCount; ++i)
        if (strcmp(node->attributes[i].name, name) == 0)
            return node->attributes[i].value;
    return 0;
}

int FindRoot(const XmlDocument *document, XmlNode **node)
{
    if (!document)
        return 0;
    for (XmlCount i = 0; i < document->count; ++i) {
        if (IsAsciiLetter(document->nodes[i].name[0])) {
            *node = &document->nodes[i];
            return 1;
        }
    }
    return 0;
}

int QueryPath(const char *path, XmlNode **node, const XmlDocument *document)
{
    if (!path || !node)
        return 0;
    size_t length = 0;
    while (length < XML_PATH_SIZE && path[length])
        ++length;
    if (length >= XML_PATH_SIZE || path[0] != '/')
        return 0;
    char work[XML_PATH_SIZE];
    memcpy(work, path, length);
    work[length] = 0;
    for (size_t i = 0; i < length; ++i)
        if (work[i] == '/')
            work[i] = 0;
    const char *limit = work + length;  // holds the final NUL
    XmlNode *current;
    if (!FindRoot(document, &current))
        return 0;
    const char *segment = work + 1;
    if (strcmp(segment, current->name) != 0)
        return 0;
    segment += strlen(segment) + 1;
    while (segment <= limit && *segment) {
        if (!current->children || current->children->count == 0)
            return 0;
        XmlNode *child = segment[0] != '!' && strchr(segment, '[')
                             ? FindPredicateChild(current, segment)
                             : FindChild(current, segment, 0, 0);
        if (!child)
            return 0;
        current = child;
        segment += strlen(segment) + 1;
    }
    *node = current;
    return 1;
}
