#include "parser/ParserCommandFF76.h"

#include "core/Translate.h"
#include "parser/DecoderLayouts.h"
#include "parser/ShortValueFormat.h"

namespace quillon {

void TParserCommandFF76::CreateFields() {
  AddCloseCheckFields(*this, 10);
}

void TParserCommandFF76::CreateAnswerFields() {
  AddCloseCheckAnswerFields(*this);
}

std::string TParserCommandFF76::GetShortValue() {
  return FormatShortValue(
      Tr("ЗАКРЫТИЕ ЧЕКА V3 [ДОК: %s] [ФП: %s]  "),
      {GetAnswerFieldValue("DocumentNumber"), GetAnswerFieldValue("FiscalSign")});
}

}  // namespace quillon
