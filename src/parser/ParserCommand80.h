// Decoder of the command 0x80 "Продажа".
#pragma once

#include <string>

#include "parser/CommandParser.h"

namespace quillon {

class TParserCommand80 : public TParserCommand {
 public:
  void CreateFields() override;
  void CreateAnswerFields() override;
  std::string GetShortValue() override;
};

}  // namespace quillon
