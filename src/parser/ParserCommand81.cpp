#include "parser/ParserCommand81.h"

#include "core/Translate.h"
#include "parser/DecoderLayouts.h"
#include "parser/ShortValueFormat.h"

namespace quillon {

void TParserCommand81::CreateFields() {
  AddOperationFields(*this);
}

void TParserCommand81::CreateAnswerFields() {
  // The answer carries nothing after the result byte.
}

std::string TParserCommand81::GetShortValue() {
  return FormatShortValue(
      Tr("ПОКУПКА %sX%s %s"),
      {GetFieldValue("Price"), GetFieldValue("Quantity"), GetFieldValue("StringForPrinting")});
}

}  // namespace quillon
