// Decoder of the command 0x85 "Закрытие чека".
#pragma once

#include <string>

#include "parser/CommandParser.h"

namespace quillon {

class TParserCommand85 : public TParserCommand {
 public:
  void CreateFields() override;
  void CreateAnswerFields() override;
  std::string GetShortValue() override;
};

}  // namespace quillon
