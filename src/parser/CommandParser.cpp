#include "parser/CommandParser.h"

#include <cstdio>

#include "core/BinUtils.h"
#include "core/CodePages.h"
#include "parser/CommandFields.h"
#include "parser/PrinterTypes.h"

namespace quillon {

namespace {

std::string FindValue(const TFieldValues& values, std::string_view name) {
  std::string lowerName = Utf8ToLower(name);
  const std::string* found = nullptr;
  for (const auto& [key, value] : values) {
    // Field names are ASCII almost always; compare cheaply before lower-casing.
    if (key.size() != name.size() && Utf8Length(key) != Utf8Length(name)) continue;
    if (Utf8ToLower(key) == lowerName) found = &value;
  }
  return found != nullptr ? *found : std::string();
}

}  // namespace

void TParserCommand::Init() {
  CreateFields();
  CreateAnswerFields();
}

void TParserCommand::AddField(std::string name, TFieldType type) {
  FFields.emplace_back(std::move(name), type);
}

void TParserCommand::AddAnswerField(std::string name, TFieldType type) {
  FAnswerFields.emplace_back(std::move(name), type);
}

void TParserCommand::AddFieldValue(std::string name, std::string value, TParseType source) {
  TFieldValues& values = source == pFields ? FFieldsValues : FAnswerFieldsValues;
  values.emplace_back(std::move(name), std::move(value));
}

std::string TParserCommand::GetFieldValue(std::string_view name) const {
  return FindValue(FFieldsValues, name);
}

std::string TParserCommand::GetAnswerFieldValue(std::string_view name) const {
  return FindValue(FAnswerFieldsValues, name);
}

std::string TParserCommand::Parse(const TCommand& command, TParseType source, bool withText) {
  TFieldValues& values = source == pFields ? FFieldsValues : FAnswerFieldsValues;
  const TFieldLayout& layout = source == pFields ? FFields : FAnswerFields;
  values.clear();
  const std::string& hex = source == pFields         ? command.TxData()
                           : source == pAnswerFields ? command.AnswerData()
                                                     : command.PlayedAnswerData;
  FStream.SetDataAsStr(HexToBytes(hex));
  if (FStream.Size() == 0) return {};
  if (FStream.ReadByte() == 0xFF) FStream.ReadByte();
  if (source != pFields) {
    std::uint8_t result = FStream.ReadByte();
    if (result != 0) {
      char head[32];
      std::snprintf(head, sizeof head, "Error: %u(0x%.2X) ", result, result);
      return head + TPrinterError::GetDescription(result, true);
    }
  }
  for (const auto& [name, type] : layout) {
    std::string value = DecodeField(type, *this, source);
    if (value != kHiddenValue) AddFieldValue(name, std::move(value), source);
  }
  if (!withText) return {};
  std::string text;
  for (const auto& [name, value] : values) {
    text += name;
    text += ": ";
    text += value;
    text += "\r\n";
  }
  return text;
}

}  // namespace quillon
