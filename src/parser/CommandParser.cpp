#include "parser/CommandParser.h"

#include "core/BinUtils.h"
#include "core/CodePages.h"
#include "core/CommandCode.h"
#include "core/Translate.h"
#include "parser/CommandFields.h"
#include "parser/PrinterTypes.h"

namespace quillon {

namespace {

bool IsAscii(std::string_view s) {
  for (char c : s)
    if (static_cast<unsigned char>(c) >= 0x80) return false;
  return true;
}

bool EqualAsciiNoCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    char x = a[i], y = b[i];
    if (x >= 'A' && x <= 'Z') x = static_cast<char>(x + 32);
    if (y >= 'A' && y <= 'Z') y = static_cast<char>(y + 32);
    if (x != y) return false;
  }
  return true;
}

// The last value whose name equals `name`, letter case ignored.
std::string FindValue(const TFieldValues& values, std::string_view name) {
  const std::string* found = nullptr;
  if (IsAscii(name)) {
    // Field names are ASCII: a byte-wise comparison gives the same answer as lower-casing.
    for (const auto& [key, value] : values)
      if (EqualAsciiNoCase(key, name)) found = &value;
  } else {
    std::string lowerName = Utf8ToLower(name);
    for (const auto& [key, value] : values)
      if (Utf8ToLower(key) == lowerName) found = &value;
  }
  return found != nullptr ? *found : std::string();
}

}  // namespace

std::string ShownFieldName(const std::string& name) {
  return name.empty() ? name : Tr(name.c_str());
}

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

std::string TParserCommand::Parse(const TCommand& command, TParseType source, bool withText,
                                  TFieldSpans* spans) {
  TFieldValues& values = source == pFields ? FFieldsValues : FAnswerFieldsValues;
  const TFieldLayout& layout = source == pFields ? FFields : FAnswerFields;
  values.clear();
  if (spans != nullptr) spans->clear();
  std::string played;
  if (source == pPlayedFields) played = command.PlayedAnswerData();
  const std::string& hex = source == pFields         ? command.TxData()
                           : source == pAnswerFields ? command.AnswerData()
                                                     : played;
  HexToBytes(hex, FBytes);
  FStream.SetDataAsStr(FBytes);
  if (FStream.Size() == 0) return {};
  FStream.SetPosition(static_cast<std::int64_t>(CommandCodeLength(FBytes)));
  if (source != pFields) {
    const std::int64_t start = FStream.Position();
    std::uint8_t result = FStream.ReadByte();
    if (result != 0) {
      std::string error = std::to_string(result) + "(0x" + IntToHex(result, 2) + ") " +
                          TPrinterError::GetDescription(result, true);
      if (spans != nullptr) {
        TFieldSpan& span = spans->emplace_back();
        span.Name = "Error";
        span.Value = error;
        span.Offset = static_cast<std::size_t>(start);
        span.Length = 1;
      }
      return "Error: " + error;
    }
  }
  if (spans == nullptr) {
    for (const auto& [name, type] : layout) {
      std::string value = DecodeField(type, *this, source);
      if (value != kHiddenValue) AddFieldValue(name, std::move(value), source);
    }
  } else {
    spans->reserve(layout.size());
    for (const auto& [name, type] : layout) {
      const std::int64_t start = FStream.Position();
      const std::int64_t missing = FStream.Missing();
      TFieldSpan& span = spans->emplace_back();
      span.Name = ShownFieldName(name);
      FPartSpans = &span.Children;
      std::string value;
      try {
        value = DecodeField(type, *this, source);
      } catch (...) {
        FPartSpans = nullptr;
        throw;
      }
      FPartSpans = nullptr;
      span.Offset = static_cast<std::size_t>(start);
      span.Length = static_cast<std::size_t>(FStream.Position() - start);
      span.Complete = FStream.Missing() == missing;
      if (value == kHiddenValue) {
        span.Kind = skGroup;
      } else {
        span.Value = value;
        AddFieldValue(name, std::move(value), source);
      }
    }
    SettleCompleteness(*spans);
  }
  if (!withText) return {};
  std::string text;
  // The values keep the names of the layout, which the summaries look them up by; the
  // text shows them through the catalogue.
  for (const auto& [name, value] : values) {
    text += ShownFieldName(name);
    text += ": ";
    text += value;
    text += "\r\n";
  }
  return text;
}

}  // namespace quillon
