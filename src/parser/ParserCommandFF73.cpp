#include "parser/ParserCommandFF73.h"

#include "core/Translate.h"

namespace quillon {

void TParserCommandFF73::CreateFields() {
  AddField("NotificationNumber", ftUInt32);
  AddField("CheckSum", ftUint16);
}

void TParserCommandFF73::CreateAnswerFields() {
  // The answer carries nothing after the result byte.
}

std::string TParserCommandFF73::GetShortValue() {
  return Tr("Подтвердить выгрузку уведомления");
}

}  // namespace quillon
