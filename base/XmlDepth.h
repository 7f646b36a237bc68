// TinyXML parses recursively, so text nested deeper than a reader allows must
// be refused before it reaches the parser.
#pragma once
#include <string>

namespace vekt::base {

// Deepest element nesting of XML text as TinyXML will see it (comments, CDATA,
// declarations and quoted attribute values skipped; an unterminated tag still
// opens a level); stops counting past limit.
int xmlNestingDepth(const std::string& text, int limit);

}  // namespace vekt::base
