#include "parser/ParserCommand1F.h"

#include "core/Translate.h"
#include "parser/ShortValueFormat.h"

namespace quillon {

void TParserCommand1F::CreateFields() {
  AddField("Password", ftUInt32);
  AddField("TableNumber", ftByte);
  AddField("Row", ftUint16);
  AddField("Field", ftByte);
}

void TParserCommand1F::CreateAnswerFields() {
  AddAnswerField("Value", ftTableValue);
}

std::string TParserCommand1F::GetShortValue() {
  return FormatShortValue(Tr("Чтение Т%sР%sП%s = %s"),
                          {GetFieldValue("TableNumber"), GetFieldValue("Row"),
                           GetFieldValue("Field"), JoinLines(GetAnswerFieldValue("Value"))});
}

}  // namespace quillon
