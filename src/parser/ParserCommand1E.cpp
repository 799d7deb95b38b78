#include "parser/ParserCommand1E.h"

#include "core/Translate.h"
#include "parser/ShortValueFormat.h"

namespace quillon {

void TParserCommand1E::CreateFields() {
  AddField("Password", ftUInt32);
  AddField("TableNumber", ftByte);
  AddField("Row", ftUint16);
  AddField("Field", ftByte);
  AddField("Value", ftTableValue);
}

void TParserCommand1E::CreateAnswerFields() {
  // The answer carries nothing after the result byte.
}

std::string TParserCommand1E::GetShortValue() {
  return FormatShortValue(Tr("Запись Т%sР%sП%s = %s"),
                          {GetFieldValue("TableNumber"), GetFieldValue("Row"),
                           GetFieldValue("Field"), GetFieldValue("Value")});
}

}  // namespace quillon
