#include "parser/ParserCommandFF70.h"

#include "core/Translate.h"

namespace quillon {

void TParserCommandFF70::CreateFields() {
  // The request carries no fields after the command code.
}

void TParserCommandFF70::CreateAnswerFields() {
  AddAnswerField("MCCheckStatus", ftUInt32);
  AddAnswerField("MCNotificationStatus", ftUInt32);
  AddAnswerField("MCCommandFlags", ftUInt32);
  AddAnswerField("MCCheckResultSavedCount", ftUInt32);
  AddAnswerField("MCRealizationCount", ftUInt32);
  AddAnswerField("MCStorageSize", ftUInt32);
  AddAnswerField("MessageCount", ftUInt32);
}

std::string TParserCommandFF70::GetShortValue() {
  return Tr("Запрос статуса по работе с кодами маркировки");
}

}  // namespace quillon
