// Decoder of the command 0x89 "Подытог чека".
#pragma once

#include <string>

#include "parser/CommandParser.h"

namespace quillon {

class TParserCommand89 : public TParserCommand {
 public:
  void CreateFields() override;
  void CreateAnswerFields() override;
  std::string GetShortValue() override;
};

}  // namespace quillon
