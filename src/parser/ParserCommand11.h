// Decoder of the command 0x11 "Запрос состояния".
#pragma once

#include <string>

#include "parser/CommandParser.h"

namespace quillon {

class TParserCommand11 : public TParserCommand {
 public:
  void CreateFields() override;
  void CreateAnswerFields() override;
  std::string GetShortValue() override;
};

}  // namespace quillon
