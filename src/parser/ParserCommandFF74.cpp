#include "parser/ParserCommandFF74.h"

#include "core/Translate.h"

namespace quillon {

void TParserCommandFF74::CreateFields() {
  // The request carries no fields after the command code.
}

void TParserCommandFF74::CreateAnswerFields() {
  AddAnswerField("FNImplementation", ftString);
}

std::string TParserCommandFF74::GetShortValue() {
  return Tr("Запрос исполнения ФН");
}

}  // namespace quillon
