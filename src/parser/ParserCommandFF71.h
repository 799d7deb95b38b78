// Decoder of the command 0xFF71 "Начать выгрузку уведомлений  о реализации маркированных товаров".
#pragma once

#include <string>

#include "parser/CommandParser.h"

namespace quillon {

class TParserCommandFF71 : public TParserCommand {
 public:
  void CreateFields() override;
  void CreateAnswerFields() override;
  std::string GetShortValue() override;
};

}  // namespace quillon
