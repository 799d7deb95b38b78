#include "parser/ParserCommand89.h"

#include "core/Translate.h"

namespace quillon {

void TParserCommand89::CreateFields() {
  AddField("Password", ftUInt32);
}

void TParserCommand89::CreateAnswerFields() {
  AddAnswerField("OperatorNumber", ftByte);
  AddAnswerField("Summ1", ftSum);
}

std::string TParserCommand89::GetShortValue() {
  return Tr("ПОДЫТОГ ") + GetAnswerFieldValue("Summ1");
}

}  // namespace quillon
