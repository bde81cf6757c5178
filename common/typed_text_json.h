// The tree of a typed text document as JSON, for tools that show or compare
// documents (the archive tool's "typed" command).
#pragma once

#include "common/parlo_string.h"
#include "common/typed_text.h"

// UTF-8 JSON of the form
//   {"header1": "...", "header2": "...", "nodes": [NODE, ...]}
// where NODE is {"name": "...", "type": "i", "value": VALUE}. VALUE by type:
// null for type 0 (whose "type" is ""); a number for i n L m f; a string for $
// and for letters without a reader (their kept text); a hexadecimal string for
// 2; arrays of numbers for 3 4 6 N c d p r t (c and t as their four bytes);
// an array of strings for 5; an array of NODEs for [. Infinite and NaN floats
// appear as the strings "inf", "-inf" and "nan". UTF-16 surrogate pairs become
// UTF-8; a lone surrogate is written as a \u escape, so nothing is lost.
Parlo_String TypedTextToJson(const Parlo_TypedText& doc);
