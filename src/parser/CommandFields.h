// Reading and rendering one field of a command layout by its type.
#pragma once

#include <string>

#include "parser/CommandParser.h"

namespace quillon {

// Reads the field from the decoder's stream and answers its value text. The composite
// types add their sub-values to the decoder (with `source`) and answer kHiddenValue.
std::string DecodeField(TFieldType type, TParserCommand& parser, TParseType source);

}  // namespace quillon
