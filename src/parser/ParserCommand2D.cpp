#include "parser/ParserCommand2D.h"

namespace quillon {

void TParserCommand2D::CreateFields() {
  AddField("Password", ftUInt32);
  AddField("TableNumber", ftByte);
}

void TParserCommand2D::CreateAnswerFields() {
  AddAnswerField("TableName", ftString40);
  AddAnswerField("RowCount", ftUint16);
  AddAnswerField("FieldCount", ftByte);
}

}  // namespace quillon
