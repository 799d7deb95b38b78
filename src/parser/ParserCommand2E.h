// Decoder of the command 0x2E "Запрос структуры поля".
#pragma once

#include <string>

#include "parser/CommandParser.h"

namespace quillon {

class TParserCommand2E : public TParserCommand {
 public:
  void CreateFields() override;
  void CreateAnswerFields() override;
  std::string GetShortValue() override;
};

}  // namespace quillon
