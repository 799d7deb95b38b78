// Decoder of the command 0x81 "Покупка".
#pragma once

#include <string>

#include "parser/CommandParser.h"

namespace quillon {

class TParserCommand81 : public TParserCommand {
 public:
  void CreateFields() override;
  void CreateAnswerFields() override;
  std::string GetShortValue() override;
};

}  // namespace quillon
