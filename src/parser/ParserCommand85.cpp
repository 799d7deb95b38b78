#include "parser/ParserCommand85.h"

#include "core/Translate.h"

namespace quillon {

void TParserCommand85::CreateFields() {
  AddField("Password", ftUInt32);
  AddField("Summ1", ftQuantity5);
  AddField("Summ2", ftQuantity5);
  AddField("Summ3", ftQuantity5);
  AddField("Summ4", ftQuantity5);
  AddField("DiscountOnCheck", ftUint16);
  AddField("Tax1", ftTax);
  AddField("Tax2", ftTax);
  AddField("Tax3", ftTax);
  AddField("Tax4", ftTax);
  AddField("StringForPrinting", ftString);
}

void TParserCommand85::CreateAnswerFields() {
  AddAnswerField("OperatorNumber", ftByte);
  AddAnswerField("Change", ftSum);
}

std::string TParserCommand85::GetShortValue() {
  return Tr("ЗАКРЫТИЕ ЧЕКА");
}

}  // namespace quillon
