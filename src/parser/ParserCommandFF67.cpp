#include "parser/ParserCommandFF67.h"

namespace quillon {

void TParserCommandFF67::CreateFields() {
  AddField("Password", ftUInt32);
  AddField("Barcode", ftBarcodeOSU);
}

void TParserCommandFF67::CreateAnswerFields() {
  AddAnswerField("MarkingType", ftMarkingType);
  AddAnswerField("MarkingTypeEx", ftMarkingTypeEx);
  AddAnswerField("KM Server Answer", ftKMSendAnswer);
}

std::string TParserCommandFF67::GetShortValue() {
  return "[M] " + GetFieldValue("Barcode");
}

}  // namespace quillon
