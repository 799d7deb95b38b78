#include "parser/ParserCommandFC.h"

#include "parser/ShortValueFormat.h"

namespace quillon {

void TParserCommandFC::CreateFields() {
  // The request carries no fields after the command code.
}

void TParserCommandFC::CreateAnswerFields() {
  AddAnswerField("MajorType", ftByte);
  AddAnswerField("MinorType", ftByte);
  AddAnswerField("ProtocolVersion", ftByte);
  AddAnswerField("ProtocolSubVersion", ftByte);
  AddAnswerField("Model", ftByte);
  AddAnswerField("CodePage", ftByte);
  AddAnswerField("Description", ftString);
}

std::string TParserCommandFC::GetShortValue() {
  return FormatShortValue("%s (%s)", {std::string(TrimControls(GetAnswerFieldValue("Description"))),
                                      GetAnswerFieldValue("Model")});
}

}  // namespace quillon
