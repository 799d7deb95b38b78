#include <map>

#include "core/BinUtils.h"
#include "core/Translate.h"
#include "parser/CommandParser.h"
#include "parser/ParserCommand10.h"
#include "parser/ParserCommand11.h"
#include "parser/ParserCommand17.h"
#include "parser/ParserCommand1E.h"
#include "parser/ParserCommand1F.h"
#include "parser/ParserCommand2D.h"
#include "parser/ParserCommand2E.h"
#include "parser/ParserCommand2F.h"
#include "parser/ParserCommand6B.h"
#include "parser/ParserCommand80.h"
#include "parser/ParserCommand81.h"
#include "parser/ParserCommand82.h"
#include "parser/ParserCommand83.h"
#include "parser/ParserCommand85.h"
#include "parser/ParserCommand89.h"
#include "parser/ParserCommand8D.h"
#include "parser/ParserCommandFC.h"
#include "parser/ParserCommandFE.h"
#include "parser/ParserCommandFF01.h"
#include "parser/ParserCommandFF0C.h"
#include "parser/ParserCommandFF45.h"
#include "parser/ParserCommandFF46.h"
#include "parser/ParserCommandFF61.h"
#include "parser/ParserCommandFF67.h"
#include "parser/ParserCommandFF69.h"
#include "parser/ParserCommandFF70.h"
#include "parser/ParserCommandFF71.h"
#include "parser/ParserCommandFF72.h"
#include "parser/ParserCommandFF73.h"
#include "parser/ParserCommandFF74.h"
#include "parser/ParserCommandFF75.h"
#include "parser/ParserCommandFF76.h"
#include "parser/ParserCommandFF78.h"
#include "parser/PrinterTypes.h"

namespace quillon {

TParserCommands::TParserCommands() {
  RegisterCommand(0xFF45, &MakeParserCommand<TParserCommandFF45>);
  RegisterCommand(0xFF46, &MakeParserCommand<TParserCommandFF46>);
  RegisterCommand(0xFF01, &MakeParserCommand<TParserCommandFF01>);
  RegisterCommand(0xFF0C, &MakeParserCommand<TParserCommandFF0C>);
  RegisterCommand(0xFF4D, &MakeParserCommand<TParserCommandFF0C>);
  RegisterCommand(0xFF61, &MakeParserCommand<TParserCommandFF61>);
  RegisterCommand(0xFF67, &MakeParserCommand<TParserCommandFF67>);
  RegisterCommand(0xFF69, &MakeParserCommand<TParserCommandFF69>);
  RegisterCommand(0xFF70, &MakeParserCommand<TParserCommandFF70>);
  RegisterCommand(0xFF71, &MakeParserCommand<TParserCommandFF71>);
  RegisterCommand(0xFF72, &MakeParserCommand<TParserCommandFF72>);
  RegisterCommand(0xFF73, &MakeParserCommand<TParserCommandFF73>);
  RegisterCommand(0xFF74, &MakeParserCommand<TParserCommandFF74>);
  RegisterCommand(0xFF75, &MakeParserCommand<TParserCommandFF75>);
  RegisterCommand(0xFF76, &MakeParserCommand<TParserCommandFF76>);
  RegisterCommand(0xFF78, &MakeParserCommand<TParserCommandFF78>);
  RegisterCommand(0x10, &MakeParserCommand<TParserCommand10>);
  RegisterCommand(0x11, &MakeParserCommand<TParserCommand11>);
  RegisterCommand(0x17, &MakeParserCommand<TParserCommand17>);
  RegisterCommand(0x1E, &MakeParserCommand<TParserCommand1E>);
  RegisterCommand(0x1F, &MakeParserCommand<TParserCommand1F>);
  RegisterCommand(0x2F, &MakeParserCommand<TParserCommand2F>);
  RegisterCommand(0x2D, &MakeParserCommand<TParserCommand2D>);
  RegisterCommand(0x2E, &MakeParserCommand<TParserCommand2E>);
  RegisterCommand(0x6B, &MakeParserCommand<TParserCommand6B>);
  RegisterCommand(0x80, &MakeParserCommand<TParserCommand80>);
  RegisterCommand(0x81, &MakeParserCommand<TParserCommand81>);
  RegisterCommand(0x82, &MakeParserCommand<TParserCommand82>);
  RegisterCommand(0x83, &MakeParserCommand<TParserCommand83>);
  RegisterCommand(0x85, &MakeParserCommand<TParserCommand85>);
  RegisterCommand(0x89, &MakeParserCommand<TParserCommand89>);
  RegisterCommand(0x8D, &MakeParserCommand<TParserCommand8D>);
  RegisterCommand(0xFC, &MakeParserCommand<TParserCommandFC>);
  RegisterCommand(0xFE, &MakeParserCommand<TParserCommandFE>);
}

void TParserCommands::RegisterCommand(std::uint16_t code, TParserCommandClass cls) {
  FCommands.emplace_back(code, cls);
}

TParserCommandClass TParserCommands::GetParserCommandClass(std::uint16_t code) const {
  for (const auto& [registered, cls] : FCommands)
    if (registered == code) return cls;
  return &MakeParserCommand<TParserCommand>;
}

const TParserCommands& TParserCommands::Shared() {
  static const TParserCommands registry;
  return registry;
}

// Decoders keep nothing between commands but their layouts, so one decoder per code and
// thread is built once and reused: the command list asks for a summary of every row.
TParserCommand& DecoderFor(std::int32_t code) {
  thread_local std::map<std::uint16_t, std::unique_ptr<TParserCommand>> decoders;
  auto key = static_cast<std::uint16_t>(code & 0xFFFF);
  auto& slot = decoders[key];
  if (!slot) slot = TParserCommands::Shared().GetParserCommandClass(key)();
  return *slot;
}

TCommandTexts ParseCommand(const TCommand& command, TCommandSpans* spans) {
  TParserCommand& parser = DecoderFor(command.Code());
  TCommandTexts texts;
  texts.Request = parser.Parse(command, pFields, true, spans ? &spans->Request : nullptr);
  texts.Answer = parser.Parse(command, pAnswerFields, true, spans ? &spans->Answer : nullptr);
  texts.PlayedAnswer =
      parser.Parse(command, pPlayedFields, true, spans ? &spans->PlayedAnswer : nullptr);
  return texts;
}

std::string GetCommandShortValue(const TCommand& command, TCommandTexts* texts) {
  TParserCommand& parser = DecoderFor(command.Code());
  const bool withText = texts != nullptr;
  std::string request = parser.Parse(command, pFields, withText);
  std::string answer = parser.Parse(command, pAnswerFields, withText);
  if (texts != nullptr) {
    texts->Request = std::move(request);
    texts->Answer = std::move(answer);
  }
  std::string summary = parser.GetShortValue();
  if (command.AnswerData().empty() && !command.TxData().empty()) {
    summary += Tr(" Нет ответа на команду");
  } else if (command.ResCode() != 0) {
    summary += " [ERROR] " + std::to_string(command.ResCode()) + " (0x" +
               IntToHex(static_cast<std::uint32_t>(command.ResCode()), 2) + ") ";
    summary += TPrinterError::GetDescription(command.ResCode(), true);
  }
  return summary;
}

}  // namespace quillon
