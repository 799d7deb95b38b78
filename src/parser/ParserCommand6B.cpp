#include "parser/ParserCommand6B.h"

#include "core/Translate.h"

namespace quillon {

void TParserCommand6B::CreateFields() {
  // The request carries no fields after the command code.
}

void TParserCommand6B::CreateAnswerFields() {
  AddAnswerField("ErrorDescription", ftString);
}

std::string TParserCommand6B::GetShortValue() {
  return Tr("ОШИБКА ") + GetAnswerFieldValue("ErrorDescription");
}

}  // namespace quillon
