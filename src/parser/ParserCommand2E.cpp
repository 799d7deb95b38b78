#include "parser/ParserCommand2E.h"

#include "core/Translate.h"
#include "parser/ShortValueFormat.h"

namespace quillon {

void TParserCommand2E::CreateFields() {
  AddField("Password", ftUInt32);
  AddField("TableNumber", ftByte);
  AddField("FieldNumber", ftByte);
}

void TParserCommand2E::CreateAnswerFields() {
  AddAnswerField("FieldName", ftString40);
  AddAnswerField("FieldType", ftFieldType);
}

std::string TParserCommand2E::GetShortValue() {
  return FormatShortValue(Tr("Т%sП%s %s"),
                          {GetFieldValue("TableNumber"), GetFieldValue("FieldNumber"),
                           GetAnswerFieldValue("FieldName")});
}

}  // namespace quillon
