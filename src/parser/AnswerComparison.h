// The comparison of a command's logged answer with the answer a replay got: a verdict for
// the command and, where a decoder knows the command, the answer fields whose decoded values
// differ. Fields that change by nature from one run to the next (dates, times, document and
// shift numbers, fiscal signs, the register's counters) are "volatile": they are listed but
// do not make a command differ.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "core/untCommand.h"

namespace quillon {

enum TAnswerVerdict : std::uint8_t {
  avSame,            // the same answer, or differences in volatile fields only
  avResultDiffers,   // the result code changed
  avDataDiffers,     // same result, other data
  avNoLoggedAnswer,  // played, but the log holds no answer to compare with
  avNotPlayed,       // no played answer
};

// Whether the verdict is a difference of the answers (other result, other data): what
// --fail-on-diff and the window's "only differing" filter go by.
constexpr bool AnswerDiffers(TAnswerVerdict verdict) {
  return verdict == avResultDiffers || verdict == avDataDiffers;
}

// "Совпадает", "Другой результат", "Другие данные", "Нет ответа в журнале",
// "Не воспроизведена" (through the translation layer).
std::string AnswerVerdictText(TAnswerVerdict verdict);
// "same", "result_differs", "data_differs", "no_logged_answer", "not_played": the
// report's spelling.
std::string_view AnswerVerdictKey(TAnswerVerdict verdict);

struct TFieldDifference {
  std::string Name;    // the answer field's name from the decoder's layout, as shown (Tr)
  std::string Logged;  // its decoded values; empty when the side lacks the field
  std::string Played;
  bool Volatile = false;
};

struct TAnswerComparison {
  TAnswerVerdict Verdict = avNotPlayed;
  // The result codes of the two answers; 0 for a side without answer (see Has...).
  std::int32_t ResultLogged = 0;
  std::int32_t ResultPlayed = 0;
  bool HasLoggedAnswer = false;
  bool HasPlayedAnswer = false;
  // Differing fields in layout order, volatile ones included (marked). Values of the same
  // name pair up in their order; a field one side lacks has an empty value there. Listed
  // only when both answers succeeded: a failed answer decodes to no fields, so a changed
  // result comes without them. When the bytes differ but no decoded field does (no decoder
  // for the code, or bytes no field reads), one field "Данные" holds the two hex texts.
  std::vector<TFieldDifference> Fields;
};

// Field names (letter case ignored) that count as volatile: the built-in table plus the
// user's own names.
class TVolatileFields {
 public:
  // The built-in table only.
  TVolatileFields();
  void Add(std::string name);
  bool Contains(std::string_view fieldName) const;
  // The built-in table, one place for every caller.
  static const std::vector<std::string>& BuiltIn();

 private:
  std::vector<std::string> FLowerNames;
};

// Compares two answers (hex text) of the command `command` stands for (its request picks
// the decoder). An empty `played` is "not played"; an empty `logged` with a played one is
// "no logged answer". Then: other result codes are avResultDiffers; equal bytes avSame;
// otherwise the decoded fields decide: differences in volatile fields only are avSame (the
// fields still listed), any other avDataDiffers. Decodes with this thread's decoders
// (DecoderFor), so it may run on several threads at once.
TAnswerComparison CompareAnswers(const TCommand& command, std::string_view logged,
                                 std::string_view played, const TVolatileFields& volatileFields);
// The command's logged answer with its played one.
TAnswerComparison CompareAnswers(const TCommand& command, const TVolatileFields& volatileFields);

// One JSON object on one line, LF at the end:
// {"n":..,"code":..,"name":..,"verdict":..,"result_logged":..,"result_played":..,
//  "fields":[{"name":..,"logged":..,"played":..,"volatile":..}]}
// n as given (from 1), code the command's code as a number, name its name, verdict
// AnswerVerdictKey; a result is null for a side without answer.
void AppendComparisonJson(std::string& out, std::uint64_t number, const TCommand& command,
                          const TAnswerComparison& comparison);
// The keys from "verdict" on, each with its leading comma (none right after a '{'), for
// reports of their own shape.
void AppendComparisonJsonBody(std::string& out, const TAnswerComparison& comparison);

}  // namespace quillon
