// Decoder of the command 0x17 "Печать строки".
#pragma once

#include <string>

#include "parser/CommandParser.h"

namespace quillon {

class TParserCommand17 : public TParserCommand {
 public:
  void CreateFields() override;
  void CreateAnswerFields() override;
  std::string GetShortValue() override;
};

}  // namespace quillon
