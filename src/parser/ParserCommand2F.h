// Decoder of the command 0x2F "Печать строки данным шрифтом".
#pragma once

#include <string>

#include "parser/CommandParser.h"

namespace quillon {

class TParserCommand2F : public TParserCommand {
 public:
  void CreateFields() override;
  void CreateAnswerFields() override;
  std::string GetShortValue() override;
};

}  // namespace quillon
