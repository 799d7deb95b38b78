#include "parser/ParserCommand8D.h"

#include "core/Translate.h"

namespace quillon {

void TParserCommand8D::CreateFields() {
  AddField("Password", ftUInt32);
  AddField("CheckType", ftCheckType);
}

void TParserCommand8D::CreateAnswerFields() {
  AddAnswerField("OperatorNumber", ftByte);
}

std::string TParserCommand8D::GetShortValue() {
  return Tr("ОТКРЫТИЕ ЧЕКА ") + GetFieldValue("CheckType");
}

}  // namespace quillon
