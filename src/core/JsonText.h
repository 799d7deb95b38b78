// JSON text written by hand, a line at a time, without building a document: the strings
// come out as the JSON library writes them.
#pragma once

#include <string>
#include <string_view>

namespace quillon {

// A JSON string as the JSON library writes it (UTF-8 kept, control characters escaped).
// Text that is not well-formed UTF-8 gets the library's replacement characters.
void AppendJsonString(std::string& out, std::string_view text);
// ,"key": (the first key of an object, right after its '{', goes without the comma).
void AppendJsonKey(std::string& out, std::string_view key);

// Whether text is well-formed UTF-8 (no overlong forms, surrogates or values past U+10FFFF).
bool IsWellFormedUtf8(std::string_view text);

}  // namespace quillon
