#include "parser/ParserCommandFF69.h"

namespace quillon {

void TParserCommandFF69::CreateFields() {
  AddField("Password", ftUInt32);
  AddField("Accept or Decline", ftAcceptOrDecline);
}

void TParserCommandFF69::CreateAnswerFields() {
  // The answer carries nothing after the result byte.
}

std::string TParserCommandFF69::GetShortValue() {
  return GetFieldValue("Accept or Decline");
}

}  // namespace quillon
