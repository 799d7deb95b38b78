#include "parser/ParserCommandFF46.h"

#include "parser/ShortValueFormat.h"

namespace quillon {

void TParserCommandFF46::CreateFields() {
  AddField("Password", ftUInt32);
  AddField("CheckType", ftCheckType2);
  AddField("Quantity", ftQuantity6);
  AddField("Price", ftSum);
  AddField("Summ1", ftSumm1Value);
  AddField("TaxValue", ftTaxValue);
  AddField("Tax1", ftTax1);
  AddField("Department", ftByte);
  AddField("PaymentTypeSign", ftPaymentTypeSign);
  AddField("PaymentItemSign", ftPaymentItemSign);
  AddField("StringForPrinting", ftString);
}

void TParserCommandFF46::CreateAnswerFields() {
  // The answer carries nothing after the result byte.
}

std::string TParserCommandFF46::GetShortValue() {
  return FormatShortValue("%s %s X %s (%s %s ) %s",
                          {GetFieldValue("CheckType"), GetFieldValue("Price"),
                           GetFieldValue("Quantity"), GetFieldValue("PaymentTypeSign"),
                           GetFieldValue("PaymentItemSign"), GetFieldValue("StringForPrinting")});
}

}  // namespace quillon
