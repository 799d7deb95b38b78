// Decoder of the command 0xFF73 "Подтвердить выгрузку уведомления".
#pragma once

#include <string>

#include "parser/CommandParser.h"

namespace quillon {

class TParserCommandFF73 : public TParserCommand {
 public:
  void CreateFields() override;
  void CreateAnswerFields() override;
  std::string GetShortValue() override;
};

}  // namespace quillon
