#include "parser/ParserCommand80.h"

#include "core/Translate.h"
#include "parser/DecoderLayouts.h"
#include "parser/ShortValueFormat.h"

namespace quillon {

void TParserCommand80::CreateFields() {
  AddOperationFields(*this);
}

void TParserCommand80::CreateAnswerFields() {
  // The answer carries nothing after the result byte.
}

std::string TParserCommand80::GetShortValue() {
  return FormatShortValue(
      Tr("ПРОДАЖА %sX%s %s"),
      {GetFieldValue("Price"), GetFieldValue("Quantity"), GetFieldValue("StringForPrinting")});
}

}  // namespace quillon
