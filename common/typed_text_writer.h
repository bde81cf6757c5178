// Writes typed text: the inverse of Parlo_TypedText's parser for every tree the
// format can carry, escaping whatever in a text the item splitter would misread.
#pragma once

#include "common/parlo_string.h"
#include "common/typed_text.h"

// Writes the document: its headers ("header1:header2:"), then one item per
// top-level node, each item on a line of its own. Parsing the result gives a
// tree equal to `doc` (the source text aside). Answers false, and leaves *out
// null, when the tree holds something the format cannot carry:
// - a name that is empty, ends in white space or holds "#", "[", "]", "|" or "=";
// - a header that holds ":" or "#", or a second header without a first;
// - a text ('$', or the last element of a '5' list) that ends in a white-space
//   character above 0xFF (escapes carry only 0..255, and an item sheds its
//   trailing white space);
// - an empty '5' list (its text reads back as one empty text);
// - a NaN float;
// - a letter without a reader whose kept text holds "#", "[", "]" or "|" or
//   ends in white space, or a letter that the splitter would take ("#", "]", "|");
// - lists nested deeper than kTypedTextMaxDepth.
// Characters above 0xFF other than those are written as they stand, so a lone
// surrogate survives only while the text stays UTF-16.
bool TypedTextWrite(const Parlo_TypedText& doc, Parlo_StringW* out);
// The items of `list` alone, as the body of a document without headers.
bool TypedTextWriteList(const Parlo_TypedNodeList& list, Parlo_StringW* out);

// The same, answering the text, or a null string when it cannot be written.
Parlo_StringW TypedTextWrite(const Parlo_TypedText& doc);
Parlo_StringW TypedTextWriteList(const Parlo_TypedNodeList& list);
