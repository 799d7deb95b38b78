// Decoder of the command 0x10 "Короткий запрос состояния".
#pragma once

#include <string>

#include "parser/CommandParser.h"

namespace quillon {

class TParserCommand10 : public TParserCommand {
 public:
  void CreateFields() override;
  void CreateAnswerFields() override;
  std::string GetShortValue() override;
};

}  // namespace quillon
