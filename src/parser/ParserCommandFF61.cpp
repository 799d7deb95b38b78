#include "parser/ParserCommandFF61.h"

namespace quillon {

void TParserCommandFF61::CreateFields() {
  AddField("Password", ftUInt32);
  AddField("ItemStatus", ftItemStatus);
  AddField("CheckItemMode", ftByte);
  AddField("Barcode", ftBarcodeTLV);
}

void TParserCommandFF61::CreateAnswerFields() {
  AddAnswerField("CheckItemLocalResult", ftCheckItemLocalResult);
  AddAnswerField("CheckItemLocalError", ftCheckItemLocalError);
  AddAnswerField("MarkingType2", ftMarkingType2);
  AddAnswerField("KM Server Answer", ftKMAnswer);
}

std::string TParserCommandFF61::GetShortValue() {
  return "[M] " + GetFieldValue("Barcode");
}

}  // namespace quillon
