// The display filter: a small expression language that picks commands of a log (the
// window's filter line, `quillon-cli list --filter` and `stats --filter`).
//
//   expr    := or
//   or      := and { "or" and }
//   and     := unary { "and" unary }
//   unary   := "not" unary | "(" expr ")" | term
//   term    := "error" | "noanswer"
//            | "code" ("==" | "!=") CODE | "code" "in" "{" CODE { "," CODE } "}"
//            | ("name" | "summary" | "thread") ("~" | "!~" | "==" | "!=") TEXT
//            | "time" CMP TIME | ("response" | "n") CMP NUMBER
//   CMP     := "==" | "!=" | "<" | "<=" | ">" | ">="
//
// "&&", "||" and "!" stand for and, or, not; keywords and field names ignore letter case.
// CODE is hexadecimal (10, FC, FF46), compared with TCommand::Code(). TEXT is a bare word
// (it ends at a blank or one of ( ) { } , " = ! < > ~ & |) or a "quoted" text with \" and
// \\ inside; it is compared ignoring case the way the search does (Utf8ToLower): "~" holds
// it, "==" is the whole text. `name` is the command name ("8D, Открыть чек"), `summary` the
// list's one-line summary (GetCommandShortValue, decoded only when a summary term is
// reached), `thread` the thread. TIME is a time of day (21:27, 21:27:00, 21:27:00.500; the
// hour may have one digit) compared with the time of day of the request, or a date with an
// optional time ("12.01.2025", "12.01.2025 21:30"; a bare date and a bare time after it are
// taken together) compared with the full time stamp; parts left out are zero. A command whose
// time stamp cannot be read matches no `time` comparison. NUMBER is decimal. `n` is the
// command's number in the log (from 1), `response` its response time in milliseconds; a
// command without a response time matches no `response` comparison, not even "!=".
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "core/Errors.h"
#include "core/untCommand.h"

namespace quillon {

// A bad expression: Message is the whole text for the user ("Фильтр: ..."), Position the
// byte offset in the expression where the fault was found.
class EFilterError : public EQuillonError {
 public:
  EFilterError(const std::string& message, std::size_t position)
      : EQuillonError(message), Position(position) {}
  std::size_t Position;
};

class TCommandFilter {
 public:
  // Matches every command.
  TCommandFilter();
  // Raises EFilterError for a bad expression. A blank expression matches every command.
  static TCommandFilter Parse(std::string_view expression);

  // Whether the command, numbered `number` in its log (from 1), is shown. Safe to call
  // from several threads at once on one filter.
  bool Matches(const TCommand& command, std::uint64_t number) const;
  // True for the blank expression.
  bool MatchesEverything() const { return FRoot == nullptr; }

  struct TNode;

 private:
  std::shared_ptr<const TNode> FRoot;
};

}  // namespace quillon
