#include "parser/ParserCommand80.h"

#include "core/Translate.h"
#include "parser/ShortValueFormat.h"

namespace quillon {

void TParserCommand80::CreateFields() {
  AddField("Password", ftUInt32);
  AddField("Quantity", ftQuantity5);
  AddField("Price", ftSum);
  AddField("Department", ftByte);
  AddField("Tax1", ftTax);
  AddField("Tax2", ftTax);
  AddField("Tax3", ftTax);
  AddField("Tax4", ftTax);
  AddField("StringForPrinting", ftString);
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
