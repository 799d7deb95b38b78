#include "parser/ParserCommandFF01.h"

namespace quillon {

void TParserCommandFF01::CreateFields() {
  AddField("Password", ftUInt32);
}

void TParserCommandFF01::CreateAnswerFields() {
  AddAnswerField("FNLifeState", ftFNLifeState);
  AddAnswerField("FNCurrentDocument", ftFNCurrentDocument);
  AddAnswerField("FNDocumentData", ftFNDocumentData);
  AddAnswerField("FNSessionState", ftFNSessionState);
  AddAnswerField("FNWarningFlags", ftByte);
  AddAnswerField("ECRDate", ftDateTimeDoc);
  AddAnswerField("SerialNumber", ftString16);
  AddAnswerField("DocumentNumber", ftUInt32);
}

std::string TParserCommandFF01::GetShortValue() {
  return "SN: " + GetAnswerFieldValue("SerialNumber");
}

}  // namespace quillon
