#include "parser/ParserCommandFF71.h"

#include "core/Translate.h"

namespace quillon {

void TParserCommandFF71::CreateFields() {
  // The request carries no fields after the command code.
}

void TParserCommandFF71::CreateAnswerFields() {
  AddAnswerField("NotificationCount", ftUInt32);
  AddAnswerField("NotificationNumber", ftUInt32);
  AddAnswerField("NotificationSize", ftUInt32);
}

std::string TParserCommandFF71::GetShortValue() {
  return Tr("Начать выгрузку уведомлений  о реализации маркированных товаров");
}

}  // namespace quillon
