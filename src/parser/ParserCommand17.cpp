#include "parser/ParserCommand17.h"

namespace quillon {

void TParserCommand17::CreateFields() {
  AddField("Password", ftUInt32);
  AddField("Tape type", ftByte);
  AddField("StringForPrinting", ftString);
}

void TParserCommand17::CreateAnswerFields() {
  // The answer carries nothing after the result byte.
}

std::string TParserCommand17::GetShortValue() {
  return GetFieldValue("StringForPrinting");
}

}  // namespace quillon
