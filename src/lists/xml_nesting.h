// How deeply TinyXML nests while parsing a text. Its parser descends one call
// level per element, so a few hundred kilobytes of nested start tags exhaust
// the stack; a file is measured with this first and refused when too deep.
//
// The measure walks the text with TinyXML's own reading rules (legacy
// encoding): what a comment, CDATA section, declaration, unknown tag, quoted
// value or character reference swallows, where an end tag is accepted, and
// where the parser gives up. An end tag hidden inside any of those therefore
// never lowers the count. Up to the point where TinyXML stops, both see the
// same elements; past it this walk may count on, which can only over-count.
#ifndef TARVEX_LISTS_XML_NESTING_H_
#define TARVEX_LISTS_XML_NESTING_H_

#include <cstddef>

namespace tarvex {

// The deepest element nesting reached in the zero-terminated text, an element
// counting from its "<". Stops as soon as the nesting exceeds limit, so a
// result above limit means "deeper than limit".
size_t XmlNestingDepth(const char* text, size_t limit);

}  // namespace tarvex

#endif  // TARVEX_LISTS_XML_NESTING_H_
