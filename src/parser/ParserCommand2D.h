// Decoder of the command 0x2D "Запрос структуры таблицы".
#pragma once

#include <string>

#include "parser/CommandParser.h"

namespace quillon {

class TParserCommand2D : public TParserCommand {
 public:
  void CreateFields() override;
  void CreateAnswerFields() override;
};

}  // namespace quillon
