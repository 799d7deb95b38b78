#include "parser/ParserCommandFF75.h"

#include "core/Translate.h"

namespace quillon {

void TParserCommandFF75::CreateFields() {
  // The request carries no fields after the command code.
}

void TParserCommandFF75::CreateAnswerFields() {
  AddAnswerField("DocumentSize", ftUInt32);
  AddAnswerField("NotificationSize", ftUInt32);
}

std::string TParserCommandFF75::GetShortValue() {
  return Tr("Запрос размера данных документа в ФН");
}

}  // namespace quillon
