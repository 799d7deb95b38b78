// Decoder of the command 0xFF74 "Запрос исполнения ФН".
#pragma once

#include <string>

#include "parser/CommandParser.h"

namespace quillon {

class TParserCommandFF74 : public TParserCommand {
 public:
  void CreateFields() override;
  void CreateAnswerFields() override;
  std::string GetShortValue() override;
};

}  // namespace quillon
