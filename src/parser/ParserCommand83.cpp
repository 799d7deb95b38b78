#include "parser/ParserCommand83.h"

#include "core/Translate.h"
#include "parser/DecoderLayouts.h"
#include "parser/ShortValueFormat.h"

namespace quillon {

void TParserCommand83::CreateFields() {
  AddOperationFields(*this);
}

void TParserCommand83::CreateAnswerFields() {
  // The answer carries nothing after the result byte.
}

std::string TParserCommand83::GetShortValue() {
  return FormatShortValue(
      Tr("ВОЗВРАТ ПОКУПКИ %sX%s %s"),
      {GetFieldValue("Price"), GetFieldValue("Quantity"), GetFieldValue("StringForPrinting")});
}

}  // namespace quillon
