#include "parser/ParserCommand2F.h"

namespace quillon {

void TParserCommand2F::CreateFields() {
  AddField("Password", ftUInt32);
  AddField("Tape type", ftByte);
  AddField("FontType", ftByte);
  AddField("StringForPrinting", ftString);
}

void TParserCommand2F::CreateAnswerFields() {
  // The answer carries nothing after the result byte.
}

std::string TParserCommand2F::GetShortValue() {
  return GetFieldValue("StringForPrinting");
}

}  // namespace quillon
