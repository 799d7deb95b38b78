#include "parser/ParserCommand82.h"

#include "core/Translate.h"
#include "parser/DecoderLayouts.h"
#include "parser/ShortValueFormat.h"

namespace quillon {

void TParserCommand82::CreateFields() {
  AddOperationFields(*this);
}

void TParserCommand82::CreateAnswerFields() {
  // The answer carries nothing after the result byte.
}

std::string TParserCommand82::GetShortValue() {
  return FormatShortValue(
      Tr("ВОЗВРАТ ПРОДАЖИ %sX%s %s"),
      {GetFieldValue("Price"), GetFieldValue("Quantity"), GetFieldValue("StringForPrinting")});
}

}  // namespace quillon
