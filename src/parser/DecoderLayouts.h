// Layouts that several decoders share.
#pragma once

#include <string>

#include "parser/CommandParser.h"

namespace quillon {

// Sale, purchase and their returns (0x80 ... 0x83).
inline void AddOperationFields(TParserCommand& parser) {
  parser.AddField("Password", ftUInt32);
  parser.AddField("Quantity", ftQuantity5);
  parser.AddField("Price", ftSum);
  parser.AddField("Department", ftByte);
  for (int i = 1; i <= 4; ++i) parser.AddField("Tax" + std::to_string(i), ftTax);
  parser.AddField("StringForPrinting", ftString);
}

// The extended receipt closings (0xFF45, 0xFF76, 0xFF78), which differ only in the number
// of tax amounts.
inline void AddCloseCheckFields(TParserCommand& parser, int taxValues) {
  parser.AddField("Password", ftUInt32);
  for (int i = 1; i <= 16; ++i) parser.AddField("Summ" + std::to_string(i), ftSum);
  parser.AddField("RoundingSumm", ftByte);
  for (int i = 1; i <= taxValues; ++i) parser.AddField("TaxValue" + std::to_string(i), ftTaxValue);
  parser.AddField("TaxType", ftTaxType);
  parser.AddField("StringForPrinting", ftString);
}

inline void AddCloseCheckAnswerFields(TParserCommand& parser) {
  parser.AddAnswerField("Change", ftSum);
  parser.AddAnswerField("DocumentNumber", ftUInt32);
  parser.AddAnswerField("FiscalSign", ftUInt32);
}

}  // namespace quillon
