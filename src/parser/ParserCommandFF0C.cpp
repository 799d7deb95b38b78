#include "parser/ParserCommandFF0C.h"

#include "parser/ShortValueFormat.h"

namespace quillon {

void TParserCommandFF0C::CreateFields() {
  AddField("Password", ftUInt32);
  AddField("TLVData", ftTLV);
}

void TParserCommandFF0C::CreateAnswerFields() {
  // The answer carries nothing after the result byte.
}

std::string TParserCommandFF0C::GetShortValue() {
  return JoinLines(GetFieldValue("TLVData"));
}

}  // namespace quillon
