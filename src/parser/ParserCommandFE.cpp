#include "parser/ParserCommandFE.h"

namespace quillon {

void TParserCommandFE::CreateFields() {
  AddField("ServiceCmd", ftServiceCmd);
}

void TParserCommandFE::CreateAnswerFields() {
  // The answer carries nothing after the result byte.
}

std::string TParserCommandFE::GetShortValue() {
  return GetFieldValue("ServiceCmd");
}

}  // namespace quillon
