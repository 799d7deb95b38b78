// Turns a command's request and answer bytes into named, typed fields and text. A decoder
// class only declares the layouts of its command (ordered field names and types) and a
// one-line summary; one generic Parse walks a layout over the bytes.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "core/FieldSpan.h"
#include "core/Utils.BinStream.h"
#include "core/untCommand.h"

namespace quillon {

enum TFieldType : std::uint8_t {
  ftByte,
  ftUInt32,
  ftUint16,
  ftINN,
  ftBarcode,
  ftBarcodeTLV,
  ftKMAnswer,
  ftQuantity6,
  ftQuantity5,
  ftDateTime,
  ftDate,
  ftTime,
  ftSum,
  ftString,
  ftString40,
  ftTableValue,
  ftFieldType,
  ftCheckType,
  ftPaymentTypeSign,
  ftPaymentItemSign,
  ftTaxValue,
  ftSumm1Value,
  ftTax,
  ftTLV,
  ftTaxType,
  ftTax1,
  ftSoftVersion,
  ftECRMode,
  ftECRAdvancedMode,
  ftECRFlags,
  ftBatteryVoltage,
  ftPowerSourceVoltage,
  ftPortNumber,
  ftCheckType2,
  ftCheckItemLocalResult,
  ftCheckItemLocalError,
  ftMarkingType2,
  ftItemStatus,
  ftBarcodeOSU,
  ftMarkingType,
  ftMarkingTypeEx,
  ftAcceptOrDecline,
  ftKMSendAnswer,
  ftString16,
  ftDateTimeDoc,
  ftFNSessionState,
  ftFNCurrentDocument,
  ftFNDocumentData,
  ftFNLifeState,
  ftServiceCmd,
};

inline constexpr int kFieldTypeCount = 50;

// Which bytes of a command Parse decodes.
enum TParseType : std::uint8_t { pFields, pAnswerFields, pPlayedFields };

// A field whose rendering adds named sub-values gives this as its own value; it gets no
// line of its own.
inline constexpr std::string_view kHiddenValue = "###quillon_not_visible_value###";

using TFieldLayout = std::vector<std::pair<std::string, TFieldType>>;
using TFieldValues = std::vector<std::pair<std::string, std::string>>;

// A field name as the texts show it: through the catalogue, so that a name marked with N_
// is shown translated (an empty name stays empty).
std::string ShownFieldName(const std::string& name);

class TParserCommand {
 public:
  TParserCommand() = default;
  virtual ~TParserCommand() = default;
  TParserCommand(const TParserCommand&) = delete;
  TParserCommand& operator=(const TParserCommand&) = delete;

  // Builds the layouts through the most derived CreateFields and CreateAnswerFields.
  // The registry calls it right after construction.
  void Init();

  virtual void CreateFields() {}
  virtual void CreateAnswerFields() {}
  // The one-line summary of the last decoded request and answer.
  virtual std::string GetShortValue() { return {}; }

  // Decodes one side of the command into "name: value" lines ending in CR LF, or the
  // "Error: ..." line of a failed answer. `withText` false fills the values only. The text
  // and the spans show the field names through the catalogue (Tr); the values keep the
  // layout's names, which GetFieldValue looks up.
  //
  // With `spans`, they are also told where each value's bytes are (TFieldSpan, offsets
  // into the side's bytes with the code and result byte). How they stand to the text:
  //  - The top-level spans are the layout's fields, one each and in order; a failed answer
  //    has only the span "Error" (its result byte, Value the text after "Error: ", the
  //    text has no line end then); a side without bytes has none.
  //  - The skField spans in pre-order are the text's entries: the text is, for each of
  //    them, Name + ": " + Value + CR LF. A Value may hold line breaks of its own.
  //  - A composite field (whose value is hidden) is an skGroup span with an empty Value;
  //    its children are its entries, two of which may show the same bytes (as hex and as
  //    text).
  //  - A value that shows TLV records (ftTLV; "TLVData" and "TLV Data" of the marking code
  //    fields) has one skRecord child per record, nested records under the value part of
  //    their structure: in pre-order they are the record lines of that value, each line
  //    being blanks, Name and, unless the record is a structure or of an unknown tag, ':'
  //    and Value (TTLVParser::ParseTLV).
  //  - skPart spans (a record's tag, length and value) have no line.
  std::string Parse(const TCommand& command, TParseType source, bool withText = true,
                    TFieldSpans* spans = nullptr);

  void AddField(std::string name, TFieldType type);
  void AddAnswerField(std::string name, TFieldType type);
  void AddFieldValue(std::string name, std::string value, TParseType source);
  // The value of the last pair with this name (letter case ignored); empty when none.
  std::string GetFieldValue(std::string_view name) const;
  std::string GetAnswerFieldValue(std::string_view name) const;

  const TFieldLayout& Fields() const { return FFields; }
  const TFieldLayout& AnswerFields() const { return FAnswerFields; }
  const TFieldValues& FieldsValues() const { return FFieldsValues; }
  const TFieldValues& AnswerFieldsValues() const { return FAnswerFieldsValues; }
  // The bytes of the current or last Parse.
  IBinStream& Stream() { return FStream; }
  // While Parse tells spans: where the field being decoded puts the spans of its parts
  // (the entries of a composite field, the records of a TLV value); otherwise nullptr.
  TFieldSpans* PartSpans() { return FPartSpans; }

 private:
  TFieldLayout FFields;
  TFieldValues FFieldsValues;
  TFieldValues FAnswerFieldsValues;
  TFieldLayout FAnswerFields;
  TBinStream FStream;
  TBytes FBytes;  // reused for the bytes of every Parse
  TFieldSpans* FPartSpans = nullptr;
};

// Makes a ready decoder of one class.
using TParserCommandClass = std::unique_ptr<TParserCommand> (*)();

template <class T>
std::unique_ptr<TParserCommand> MakeParserCommand() {
  auto parser = std::make_unique<T>();
  parser->Init();
  return parser;
}

// Command code -> decoder class, in registration order. Read-only once built.
class TParserCommands {
 public:
  TParserCommands();
  void RegisterCommand(std::uint16_t code, TParserCommandClass cls);
  // The first registered class of the code; the base class when there is none.
  TParserCommandClass GetParserCommandClass(std::uint16_t code) const;
  std::size_t Count() const { return FCommands.size(); }
  const std::vector<std::pair<std::uint16_t, TParserCommandClass>>& Items() const {
    return FCommands;
  }

  // The registry every caller shares.
  static const TParserCommands& Shared();

 private:
  std::vector<std::pair<std::uint16_t, TParserCommandClass>> FCommands;
};

struct TCommandTexts {
  std::string Request;       // "Входные параметры:"
  std::string Answer;        // "Возвращенные параметры (лог):"
  std::string PlayedAnswer;  // "Возвращенные параметры (ККТ):"
};

// This thread's decoder of the command code, built on first use and reused (the registry's
// class of the code). Its values are those of its last Parse.
TParserCommand& DecoderFor(std::int32_t code);

// Where the values of the three decoded texts lie (see TParserCommand::Parse).
struct TCommandSpans {
  TFieldSpans Request;
  TFieldSpans Answer;
  TFieldSpans PlayedAnswer;
};

// The three decoded texts of a command; with `spans`, where their values lie as well.
TCommandTexts ParseCommand(const TCommand& command, TCommandSpans* spans = nullptr);
// The summary for the command list, with the " Нет ответа на команду" or " [ERROR] ..." suffix.
// With `texts`, the request and logged answer texts come from the same decoding.
std::string GetCommandShortValue(const TCommand& command, TCommandTexts* texts = nullptr);

}  // namespace quillon
