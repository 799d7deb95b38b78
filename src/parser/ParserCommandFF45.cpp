#include "parser/ParserCommandFF45.h"

#include "core/Translate.h"
#include "parser/DecoderLayouts.h"
#include "parser/ShortValueFormat.h"

namespace quillon {

void TParserCommandFF45::CreateFields() {
  AddCloseCheckFields(*this, 6);
}

void TParserCommandFF45::CreateAnswerFields() {
  AddCloseCheckAnswerFields(*this);
}

std::string TParserCommandFF45::GetShortValue() {
  return FormatShortValue(
      Tr("ЗАКРЫТИЕ ЧЕКА [ДОК: %s] [ФП: %s]  "),
      {GetAnswerFieldValue("DocumentNumber"), GetAnswerFieldValue("FiscalSign")});
}

}  // namespace quillon
