// Decoder of the command 0x1F "Чтение таблицы".
#pragma once

#include <string>

#include "parser/CommandParser.h"

namespace quillon {

class TParserCommand1F : public TParserCommand {
 public:
  void CreateFields() override;
  void CreateAnswerFields() override;
  std::string GetShortValue() override;
};

}  // namespace quillon
