#include "parser/ParserCommandFF78.h"

#include "core/Translate.h"
#include "parser/ShortValueFormat.h"

namespace quillon {

void TParserCommandFF78::CreateFields() {
  AddField("Password", ftUInt32);
  AddField("Summ1", ftSum);
  AddField("Summ2", ftSum);
  AddField("Summ3", ftSum);
  AddField("Summ4", ftSum);
  AddField("Summ5", ftSum);
  AddField("Summ6", ftSum);
  AddField("Summ7", ftSum);
  AddField("Summ8", ftSum);
  AddField("Summ9", ftSum);
  AddField("Summ10", ftSum);
  AddField("Summ11", ftSum);
  AddField("Summ12", ftSum);
  AddField("Summ13", ftSum);
  AddField("Summ14", ftSum);
  AddField("Summ15", ftSum);
  AddField("Summ16", ftSum);
  AddField("RoundingSumm", ftByte);
  AddField("TaxValue1", ftTaxValue);
  AddField("TaxValue2", ftTaxValue);
  AddField("TaxValue3", ftTaxValue);
  AddField("TaxValue4", ftTaxValue);
  AddField("TaxValue5", ftTaxValue);
  AddField("TaxValue6", ftTaxValue);
  AddField("TaxValue7", ftTaxValue);
  AddField("TaxValue8", ftTaxValue);
  AddField("TaxValue9", ftTaxValue);
  AddField("TaxValue10", ftTaxValue);
  AddField("TaxValue11", ftTaxValue);
  AddField("TaxValue12", ftTaxValue);
  AddField("TaxType", ftTaxType);
  AddField("StringForPrinting", ftString);
}

void TParserCommandFF78::CreateAnswerFields() {
  AddAnswerField("Change", ftSum);
  AddAnswerField("DocumentNumber", ftUInt32);
  AddAnswerField("FiscalSign", ftUInt32);
}

std::string TParserCommandFF78::GetShortValue() {
  return FormatShortValue(
      Tr("ЗАКРЫТИЕ ЧЕКА V4 [ДОК: %s] [ФП: %s]  "),
      {GetAnswerFieldValue("DocumentNumber"), GetAnswerFieldValue("FiscalSign")});
}

}  // namespace quillon
