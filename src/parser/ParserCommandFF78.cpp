#include "parser/ParserCommandFF78.h"

#include "core/Translate.h"
#include "parser/DecoderLayouts.h"
#include "parser/ShortValueFormat.h"

namespace quillon {

void TParserCommandFF78::CreateFields() {
  AddCloseCheckFields(*this, 12);
}

void TParserCommandFF78::CreateAnswerFields() {
  AddCloseCheckAnswerFields(*this);
}

std::string TParserCommandFF78::GetShortValue() {
  return FormatShortValue(
      Tr("ЗАКРЫТИЕ ЧЕКА V4 [ДОК: %s] [ФП: %s]  "),
      {GetAnswerFieldValue("DocumentNumber"), GetAnswerFieldValue("FiscalSign")});
}

}  // namespace quillon
