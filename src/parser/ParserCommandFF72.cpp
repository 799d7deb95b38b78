#include "parser/ParserCommandFF72.h"

#include "core/Translate.h"

namespace quillon {

void TParserCommandFF72::CreateFields() {
  // The request carries no fields after the command code.
}

void TParserCommandFF72::CreateAnswerFields() {
  AddAnswerField("NotificationNumber", ftUInt32);
  AddAnswerField("NotificationSize", ftUInt32);
  AddAnswerField("DataOffset", ftUInt32);
  AddAnswerField("DataBlockSize", ftUInt32);
  AddAnswerField("BlockDataHex", ftString);
}

std::string TParserCommandFF72::GetShortValue() {
  return Tr("Прочитать блок уведомления");
}

}  // namespace quillon
