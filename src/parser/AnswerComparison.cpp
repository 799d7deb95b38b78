#include "parser/AnswerComparison.h"

#include <algorithm>

#include "core/BinUtils.h"
#include "core/CodePages.h"
#include "core/CommandCode.h"
#include "core/JsonText.h"
#include "core/Translate.h"
#include "parser/CommandParser.h"

namespace quillon {

const std::vector<std::string>& TVolatileFields::BuiltIn() {
  // Answer fields of the decoders whose values move on by themselves between two runs of the
  // same commands: the register's clock, the numbers it gives documents, shifts and
  // notifications, fiscal signs, its counters, and what its sensors read.
  static const std::vector<std::string> kNames = {
      "ECRDate",
      "ECRTime",
      "DocumentNumber",
      "SessionNumber",
      "FiscalSign",
      "NotificationNumber",
      "NotificationCount",
      "MessageCount",
      "MCRealizationCount",
      "MCCheckResultSavedCount",
      "QuantityOfOperations (lo)",
      "FreeRecordInFM (Old)",
      "PrinterHeadTemperature",
      "BatteryVoltage",
      "PowerSourceVoltage",
  };
  return kNames;
}

TVolatileFields::TVolatileFields() {
  for (const std::string& name : BuiltIn()) Add(name);
}

void TVolatileFields::Add(std::string name) {
  std::string lower = Utf8ToLower(name);
  if (lower.empty() || Contains(lower)) return;
  FLowerNames.push_back(std::move(lower));
}

bool TVolatileFields::Contains(std::string_view fieldName) const {
  const std::string lower = Utf8ToLower(fieldName);
  return std::find(FLowerNames.begin(), FLowerNames.end(), lower) != FLowerNames.end();
}

std::string AnswerVerdictText(TAnswerVerdict verdict) {
  switch (verdict) {
    case avSame:
      return Tr("Совпадает");
    case avResultDiffers:
      return Tr("Другой результат");
    case avDataDiffers:
      return Tr("Другие данные");
    case avNoLoggedAnswer:
      return Tr("Нет ответа в журнале");
    case avNotPlayed:
      break;
  }
  return Tr("Не воспроизведена");
}

std::string_view AnswerVerdictKey(TAnswerVerdict verdict) {
  switch (verdict) {
    case avSame:
      return "same";
    case avResultDiffers:
      return "result_differs";
    case avDataDiffers:
      return "data_differs";
    case avNoLoggedAnswer:
      return "no_logged_answer";
    case avNotPlayed:
      break;
  }
  return "not_played";
}

namespace {

// The decoded answer fields of `answer` to the request of `command`, from this thread's
// decoder of the code. The request is decoded first: a decoder may read the answer by what
// the request asked for.
TFieldValues DecodeAnswer(TParserCommand& decoder, const TCommand& command,
                          std::string_view answer) {
  TCommandRec rec = command.CmdData();
  rec.AnswerData = std::string(answer);
  const TCommand scratch(std::move(rec));
  decoder.Parse(scratch, pFields, false);
  decoder.Parse(scratch, pAnswerFields, false);
  return decoder.AnswerFieldsValues();
}

// Values of the same name are paired in their order: the n-th "X" of one side with the
// n-th "X" of the other. Fields of the played side that the logged one lacks come last.
void AddFieldDifferences(const TFieldValues& logged, const TFieldValues& played,
                         const TVolatileFields& volatileFields,
                         std::vector<TFieldDifference>& out) {
  std::vector<bool> used(played.size(), false);
  // The difference shows the field's name through the catalogue; the volatile names are
  // the layout's.
  auto add = [&](const std::string& name, const std::string& a, const std::string& b) {
    out.push_back({ShownFieldName(name), a, b, volatileFields.Contains(name)});
  };
  for (std::size_t i = 0; i < logged.size(); ++i) {
    const std::string& name = logged[i].first;
    std::size_t occurrence = 0;
    for (std::size_t k = 0; k < i; ++k)
      if (logged[k].first == name) ++occurrence;
    const std::string* partner = nullptr;
    for (std::size_t k = 0; k < played.size(); ++k) {
      if (played[k].first != name) continue;
      if (occurrence-- == 0) {
        partner = &played[k].second;
        used[k] = true;
        break;
      }
    }
    if (partner == nullptr)
      add(name, logged[i].second, {});
    else if (*partner != logged[i].second)
      add(name, logged[i].second, *partner);
  }
  for (std::size_t k = 0; k < played.size(); ++k)
    if (!used[k]) add(played[k].first, {}, played[k].second);
}

void AppendResult(std::string& out, std::string_view key, bool present, std::int32_t result) {
  AppendJsonKey(out, key);
  out += present ? std::to_string(result) : "null";
}

}  // namespace

TAnswerComparison CompareAnswers(const TCommand& command, std::string_view logged,
                                 std::string_view played, const TVolatileFields& volatileFields) {
  TAnswerComparison comparison;
  comparison.HasLoggedAnswer = !logged.empty();
  comparison.HasPlayedAnswer = !played.empty();
  if (comparison.HasLoggedAnswer) comparison.ResultLogged = TCommand::GetResCode(logged);
  if (comparison.HasPlayedAnswer) comparison.ResultPlayed = TCommand::GetResCode(played);
  if (played.empty()) {
    comparison.Verdict = avNotPlayed;
    return comparison;
  }
  if (logged.empty()) {
    comparison.Verdict = avNoLoggedAnswer;
    return comparison;
  }
  // A logged busy answer (the register was still printing) is no answer to compare with:
  // the driver asked again, and a replay waits until the register is ready.
  if (IsBusyResult(comparison.ResultLogged) && !IsBusyResult(comparison.ResultPlayed)) {
    comparison.Verdict = avNoLoggedAnswer;
    return comparison;
  }
  if (comparison.ResultLogged != comparison.ResultPlayed) {
    comparison.Verdict = avResultDiffers;
    return comparison;
  }
  if (HexToBytes(logged) == HexToBytes(played)) {
    comparison.Verdict = avSame;
    return comparison;
  }
  TParserCommand& decoder = DecoderFor(command.Code());
  if (!decoder.AnswerFields().empty()) {
    const TFieldValues loggedValues = DecodeAnswer(decoder, command, logged);
    const TFieldValues playedValues = DecodeAnswer(decoder, command, played);
    AddFieldDifferences(loggedValues, playedValues, volatileFields, comparison.Fields);
  }
  const bool onlyVolatile =
      std::all_of(comparison.Fields.begin(), comparison.Fields.end(),
                  [](const TFieldDifference& field) { return field.Volatile; });
  if (comparison.Fields.empty()) {
    // No decoder, or the bytes differ where no field reads them.
    comparison.Fields.push_back({Tr("Данные"), std::string(logged), std::string(played), false});
    comparison.Verdict = avDataDiffers;
  } else {
    comparison.Verdict = onlyVolatile ? avSame : avDataDiffers;
  }
  return comparison;
}

TAnswerComparison CompareAnswers(const TCommand& command, const TVolatileFields& volatileFields) {
  return CompareAnswers(command, command.AnswerData(), command.PlayedAnswerData(), volatileFields);
}

void AppendComparisonJsonBody(std::string& out, const TAnswerComparison& comparison) {
  AppendJsonKey(out, "verdict");
  AppendJsonString(out, AnswerVerdictKey(comparison.Verdict));
  AppendResult(out, "result_logged", comparison.HasLoggedAnswer, comparison.ResultLogged);
  AppendResult(out, "result_played", comparison.HasPlayedAnswer, comparison.ResultPlayed);
  AppendJsonKey(out, "fields");
  out.push_back('[');
  for (const TFieldDifference& field : comparison.Fields) {
    if (out.back() != '[') out.push_back(',');
    out.push_back('{');
    AppendJsonKey(out, "name");
    AppendJsonString(out, field.Name);
    AppendJsonKey(out, "logged");
    AppendJsonString(out, field.Logged);
    AppendJsonKey(out, "played");
    AppendJsonString(out, field.Played);
    AppendJsonKey(out, "volatile");
    out += field.Volatile ? "true" : "false";
    out.push_back('}');
  }
  out.push_back(']');
}

void AppendComparisonJson(std::string& out, std::uint64_t number, const TCommand& command,
                          const TAnswerComparison& comparison) {
  out.push_back('{');
  AppendJsonKey(out, "n");
  out += std::to_string(number);
  AppendJsonKey(out, "code");
  out += std::to_string(command.Code());
  AppendJsonKey(out, "name");
  std::string name;
  command.AppendCommandName(name);
  AppendJsonString(out, name);
  AppendComparisonJsonBody(out, comparison);
  out += "}\n";
}

}  // namespace quillon
