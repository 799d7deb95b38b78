#include "parser/CommandFilter.h"

#include <algorithm>
#include <bitset>
#include <initializer_list>
#include <optional>
#include <vector>

#include "core/BinUtils.h"
#include "core/CodePages.h"
#include "core/CommandCode.h"
#include "core/DateUtils.h"
#include "core/Translate.h"
#include "parser/CommandParser.h"

namespace quillon {

namespace {

enum class TOp : std::uint8_t { Eq, Ne, Lt, Le, Gt, Ge, Contains, NotContains, In };

enum class TKind : std::uint8_t {
  And,
  Or,
  Not,
  Error,
  NoAnswer,
  Code,
  Name,
  Summary,
  Thread,
  TimeOfDay,
  TimeStamp,
  Response,
  Number,
};

// The codes a table of names covers: the one-byte codes, then FF00..FFFF.
constexpr std::size_t kCodeSlots = 512;

std::optional<std::size_t> CodeSlot(std::int32_t code) {
  if (code >= 0 && code <= 0xFF) return static_cast<std::size_t>(code);
  if (code >= 0xFF00 && code <= 0xFFFF) return static_cast<std::size_t>(code - 0xFF00 + 0x100);
  return std::nullopt;
}

}  // namespace

struct TCommandFilter::TNode {
  TKind Kind = TKind::Error;
  TOp Op = TOp::Eq;
  std::int64_t Value = 0;            // a code, a number, milliseconds
  std::string Needle;                // texts: lower-cased
  std::vector<std::int32_t> Codes;   // "code in": sorted
  std::bitset<kCodeSlots> NameHits;  // "name": the verdict per code slot (code 00 excepted)
  std::vector<TNode> Children;       // and, or: two or more; not: one
};

namespace {

using TNode = TCommandFilter::TNode;

// ---- Messages ----------------------------------------------------------------------------

// The message with %1, %2, ... replaced by the arguments.
std::string FormatMessage(const std::string& pattern, const std::vector<std::string_view>& args) {
  std::string out;
  out.reserve(pattern.size() + 32);
  for (std::size_t i = 0; i < pattern.size(); ++i) {
    const char c = pattern[i];
    if (c == '%' && i + 1 < pattern.size() && pattern[i + 1] >= '1' && pattern[i + 1] <= '9') {
      const auto index = static_cast<std::size_t>(pattern[i + 1] - '1');
      if (index < args.size()) {
        out += args[index];
        ++i;
        continue;
      }
    }
    out.push_back(c);
  }
  return out;
}

// A lower-cased text against the term's needle.
bool MatchText(const TNode& node, std::string_view lower) {
  switch (node.Op) {
    case TOp::Contains:
      return lower.find(node.Needle) != std::string_view::npos;
    case TOp::NotContains:
      return lower.find(node.Needle) == std::string_view::npos;
    case TOp::Eq:
      return lower == node.Needle;
    default:
      return lower != node.Needle;
  }
}

// ---- Tokens ------------------------------------------------------------------------------

enum class TTokenKind : std::uint8_t {
  End,
  Word,    // a bare word: field, keyword or value
  Quoted,  // a "quoted" text
  Compare,
  And,  // &&
  Or,   // ||
  Not,  // !
  Open,
  Close,
  OpenBrace,
  CloseBrace,
  Comma,
};

struct TToken {
  TTokenKind Kind = TTokenKind::End;
  TOp Op = TOp::Eq;
  std::size_t Begin = 0, End = 0;  // byte offsets in the expression
  std::string Text;                // a word as typed, a quoted text without its escapes
};

bool IsBlankChar(char c) {
  return static_cast<unsigned char>(c) <= ' ';
}

std::string_view Trimmed(std::string_view text) {
  while (!text.empty() && IsBlankChar(text.front())) text.remove_prefix(1);
  while (!text.empty() && IsBlankChar(text.back())) text.remove_suffix(1);
  return text;
}

bool EndsWord(char c) {
  return IsBlankChar(c) || std::string_view("(){},\"=!<>~&|").find(c) != std::string_view::npos;
}

// An ASCII word compared ignoring letter case with a lower-case keyword.
bool IsKeyword(std::string_view word, std::string_view keyword) {
  if (word.size() != keyword.size()) return false;
  for (std::size_t i = 0; i < word.size(); ++i) {
    char c = word[i];
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c + 32);
    if (c != keyword[i]) return false;
  }
  return true;
}

class TParser {
 public:
  explicit TParser(std::string_view text) : FText(text) { Advance(); }

  TNode ParseExpression() {
    TNode root = ParseOr();
    if (FToken.Kind != TTokenKind::End) FailExtra();
    return root;
  }

 private:
  static constexpr int kMaxDepth = 200;

  // ---- errors

  // Raises the message of msgid with the arguments, the position (from 1) of `offset` last.
  [[noreturn]] void Fail(const char* msgid, std::size_t offset,
                         std::initializer_list<std::string_view> args = {}) const {
    std::vector<std::string_view> all(args);
    const std::string position = std::to_string(Utf8Length(FText.substr(0, offset)) + 1);
    all.push_back(position);
    throw EFilterError(FormatMessage(Tr(msgid), all), offset);
  }

  [[noreturn]] void FailExtra() const {
    Fail(N_("Фильтр: лишний текст \"%1\" (позиция %2)"), FToken.Begin,
         {Trimmed(FText.substr(FToken.Begin))});
  }

  [[noreturn]] void FailValueExpected(const TToken& after) const {
    Fail(N_("Фильтр: ожидается значение после \"%1\" (позиция %2)"), FToken.Begin, {Source(after)});
  }

  std::string_view Source(const TToken& token) const {
    return FText.substr(token.Begin, token.End - token.Begin);
  }

  // ---- tokens

  void Advance() {
    std::size_t at = FToken.End;
    while (at < FText.size() && IsBlankChar(FText[at])) ++at;
    FToken = TToken{};
    FToken.Begin = at;
    if (at >= FText.size()) {
      FToken.Begin = FToken.End = FText.size();
      return;
    }
    auto next = [&](std::size_t k) { return at + k < FText.size() ? FText[at + k] : '\0'; };
    auto single = [&](TTokenKind kind) {
      FToken.Kind = kind;
      FToken.End = at + 1;
    };
    auto compare = [&](TOp op, std::size_t length) {
      FToken.Kind = TTokenKind::Compare;
      FToken.Op = op;
      FToken.End = at + length;
    };
    switch (const char c = FText[at]) {
      case '(':
        return single(TTokenKind::Open);
      case ')':
        return single(TTokenKind::Close);
      case '{':
        return single(TTokenKind::OpenBrace);
      case '}':
        return single(TTokenKind::CloseBrace);
      case ',':
        return single(TTokenKind::Comma);
      case '~':
        return compare(TOp::Contains, 1);
      case '<':
        return next(1) == '=' ? compare(TOp::Le, 2) : compare(TOp::Lt, 1);
      case '>':
        return next(1) == '=' ? compare(TOp::Ge, 2) : compare(TOp::Gt, 1);
      case '!':
        if (next(1) == '=') return compare(TOp::Ne, 2);
        if (next(1) == '~') return compare(TOp::NotContains, 2);
        return single(TTokenKind::Not);
      case '=':
        if (next(1) == '=') return compare(TOp::Eq, 2);
        break;
      case '&':
      case '|':
        if (next(1) == c) {
          FToken.Kind = c == '&' ? TTokenKind::And : TTokenKind::Or;
          FToken.End = at + 2;
          return;
        }
        break;
      case '"':
        return ReadQuoted(at);
      default:
        if (!EndsWord(c)) {
          std::size_t end = at;
          while (end < FText.size() && !EndsWord(FText[end])) ++end;
          FToken.Kind = TTokenKind::Word;
          FToken.End = end;
          FToken.Text.assign(FText.substr(at, end - at));
          return;
        }
    }
    FToken.End = at + 1;
    Fail(N_("Фильтр: неизвестный оператор \"%1\" (позиция %2)"), at, {FText.substr(at, 1)});
  }

  void ReadQuoted(std::size_t open) {
    FToken.Kind = TTokenKind::Quoted;
    for (std::size_t at = open + 1; at < FText.size(); ++at) {
      const char c = FText[at];
      if (c == '"') {
        FToken.End = at + 1;
        return;
      }
      if (c == '\\' && at + 1 < FText.size() && (FText[at + 1] == '"' || FText[at + 1] == '\\'))
        ++at;
      FToken.Text.push_back(FText[at]);
    }
    Fail(N_("Фильтр: не закрыта кавычка (позиция %1)"), open);
  }

  bool AtWord(std::string_view keyword) const {
    return FToken.Kind == TTokenKind::Word && IsKeyword(FToken.Text, keyword);
  }
  bool AtOr() const { return FToken.Kind == TTokenKind::Or || AtWord("or"); }
  bool AtAnd() const { return FToken.Kind == TTokenKind::And || AtWord("and"); }
  bool AtNot() const { return FToken.Kind == TTokenKind::Not || AtWord("not"); }
  bool AtValue() const {
    return FToken.Kind == TTokenKind::Word || FToken.Kind == TTokenKind::Quoted;
  }

  // ---- grammar

  // An and or an or of two or more operands keeps them in one node: long chains stay flat.
  TNode ParseOr() {
    TNode first = ParseAnd();
    if (!AtOr()) return first;
    TNode node;
    node.Kind = TKind::Or;
    node.Children.push_back(std::move(first));
    while (AtOr()) {
      Advance();
      node.Children.push_back(ParseAnd());
    }
    return node;
  }

  TNode ParseAnd() {
    TNode first = ParseUnary();
    if (!AtAnd()) return first;
    TNode node;
    node.Kind = TKind::And;
    node.Children.push_back(std::move(first));
    while (AtAnd()) {
      Advance();
      node.Children.push_back(ParseUnary());
    }
    return node;
  }

  TNode ParseUnary() {
    if (++FDepth > kMaxDepth)
      Fail(N_("Фильтр: слишком глубокая вложенность (позиция %1)"), FToken.Begin);
    TNode result;
    if (AtNot()) {
      Advance();
      result.Kind = TKind::Not;
      result.Children.push_back(ParseUnary());
    } else if (FToken.Kind == TTokenKind::Open) {
      const std::size_t open = FToken.Begin;
      Advance();
      result = ParseOr();
      if (FToken.Kind == TTokenKind::End) Fail(N_("Фильтр: не закрыта скобка (позиция %1)"), open);
      if (FToken.Kind != TTokenKind::Close) FailExtra();
      Advance();
    } else {
      result = ParseTerm();
    }
    --FDepth;
    return result;
  }

  TNode ParseTerm() {
    if (FToken.Kind != TTokenKind::Word || AtWord("and") || AtWord("or") || AtWord("in"))
      Fail(N_("Фильтр: ожидается условие (позиция %1)"), FToken.Begin);
    const TToken field = FToken;
    TNode node;
    enum TOps : unsigned { kEquality = 1, kOrder = 2, kContains = 4, kIn = 8 };
    unsigned allowed = 0;
    if (IsKeyword(field.Text, "error")) {
      node.Kind = TKind::Error;
    } else if (IsKeyword(field.Text, "noanswer")) {
      node.Kind = TKind::NoAnswer;
    } else if (IsKeyword(field.Text, "code")) {
      node.Kind = TKind::Code;
      allowed = kEquality | kIn;
    } else if (IsKeyword(field.Text, "name")) {
      node.Kind = TKind::Name;
      allowed = kEquality | kContains;
    } else if (IsKeyword(field.Text, "summary")) {
      node.Kind = TKind::Summary;
      allowed = kEquality | kContains;
    } else if (IsKeyword(field.Text, "thread")) {
      node.Kind = TKind::Thread;
      allowed = kEquality | kContains;
    } else if (IsKeyword(field.Text, "time")) {
      node.Kind = TKind::TimeStamp;
      allowed = kEquality | kOrder;
    } else if (IsKeyword(field.Text, "response")) {
      node.Kind = TKind::Response;
      allowed = kEquality | kOrder;
    } else if (IsKeyword(field.Text, "n")) {
      node.Kind = TKind::Number;
      allowed = kEquality | kOrder;
    } else {
      Fail(N_("Фильтр: неизвестное поле \"%1\" (позиция %2)"), field.Begin, {field.Text});
    }
    Advance();
    if (allowed == 0) return node;

    const TToken op = FToken;
    if (op.Kind == TTokenKind::Compare) {
      node.Op = op.Op;
    } else if (AtWord("in")) {
      node.Op = TOp::In;
    } else {
      Fail(N_("Фильтр: ожидается оператор после \"%1\" (позиция %2)"), op.Begin, {field.Text});
    }
    unsigned group = kOrder;
    if (node.Op == TOp::Eq || node.Op == TOp::Ne) group = kEquality;
    if (node.Op == TOp::Contains || node.Op == TOp::NotContains) group = kContains;
    if (node.Op == TOp::In) group = kIn;
    if ((allowed & group) == 0)
      Fail(N_("Фильтр: оператор \"%1\" не подходит к полю \"%2\" (позиция %3)"), op.Begin,
           {Source(op), field.Text});
    Advance();

    switch (node.Kind) {
      case TKind::Code:
        if (node.Op == TOp::In)
          ParseCodeList(node, op);
        else
          node.Value = ParseCode(op);
        break;
      case TKind::Name:
      case TKind::Summary:
      case TKind::Thread:
        if (!AtValue()) FailValueExpected(op);
        node.Needle = Utf8ToLower(FToken.Text);
        Advance();
        if (node.Kind == TKind::Name) FillNameHits(node);
        break;
      case TKind::TimeStamp:
        ParseTime(node, op);
        break;
      default:
        node.Value = ParseNumber(op);
        break;
    }
    return node;
  }

  // CODE: one byte other than FF, or FF and one more byte, in hex ("10", "FC", "FF46").
  std::int32_t ParseCode(const TToken& after) {
    if (!AtValue()) FailValueExpected(after);
    const std::string& text = FToken.Text;
    const bool hex =
        !text.empty() && text.size() <= 4 &&
        std::all_of(text.begin(), text.end(), [](char c) { return HexDigitValue(c) >= 0; });
    TBytes bytes;
    if (hex) bytes = HexToBytes(text.size() % 2 == 1 ? "0" + text : text);
    if (!hex || bytes.size() != CommandCodeLength(bytes))
      Fail(N_("Фильтр: неверный код команды \"%1\" (позиция %2)"), FToken.Begin, {text});
    Advance();
    return CommandCodeOf(bytes);
  }

  void ParseCodeList(TNode& node, const TToken& in) {
    if (FToken.Kind != TTokenKind::OpenBrace)
      Fail(N_("Фильтр: ожидается \"{\" после \"%1\" (позиция %2)"), FToken.Begin, {Source(in)});
    const std::size_t open = FToken.Begin;
    TToken separator = FToken;
    Advance();
    for (;;) {
      node.Codes.push_back(ParseCode(separator));
      if (FToken.Kind == TTokenKind::CloseBrace) break;
      if (FToken.Kind == TTokenKind::End) Fail(N_("Фильтр: не закрыта скобка (позиция %1)"), open);
      if (FToken.Kind != TTokenKind::Comma)
        Fail(N_("Фильтр: ожидается \",\" или \"}\" (позиция %1)"), FToken.Begin);
      separator = FToken;
      Advance();
    }
    Advance();
    std::sort(node.Codes.begin(), node.Codes.end());
  }

  std::int64_t ParseNumber(const TToken& after) {
    if (!AtValue()) FailValueExpected(after);
    const std::string& text = FToken.Text;
    std::int64_t value = 0;
    bool ok = !text.empty();
    for (char c : text) {
      if (c < '0' || c > '9' || value > (INT64_MAX - (c - '0')) / 10) {
        ok = false;
        break;
      }
      value = value * 10 + (c - '0');
    }
    if (!ok) Fail(N_("Фильтр: неверное число \"%1\" (позиция %2)"), FToken.Begin, {text});
    Advance();
    return value;
  }

  // TIME: hh:mm[:ss[.zzz]] (the hour may have one digit), or dd.mm.yyyy with such a time
  // after a blank. A bare date and a bare time after it are taken together. Both become a
  // log time stamp for ParseLogTimeStamp, the time of day on the day count's first day.
  void ParseTime(TNode& node, const TToken& after) {
    if (!AtValue()) FailValueExpected(after);
    const std::size_t begin = FToken.Begin;
    std::string text = FToken.Text;
    const bool bareDate = FToken.Kind == TTokenKind::Word && text.find(':') == std::string::npos;
    Advance();
    if (bareDate && FToken.Kind == TTokenKind::Word && FToken.Text.find(':') != std::string::npos) {
      text += ' ';
      text += FToken.Text;
      Advance();
    }
    // A date comes first when the first part has no colon; the time after it may be left out.
    std::string_view rest = Trimmed(text);
    std::string_view date = "30.12.1899";
    node.Kind = TKind::TimeOfDay;
    const std::string_view first = rest.substr(0, rest.find(' '));
    if (first.find(':') == std::string_view::npos) {
      date = first;
      rest = Trimmed(rest.substr(first.size()));
      node.Kind = TKind::TimeStamp;
    }
    std::string stamp;
    std::optional<std::int64_t> ms;
    if (AppendStampTime(stamp.append(date).append(" "), rest) && date.size() == 10)
      ms = ParseLogTimeStamp(stamp);
    if (!ms) Fail(N_("Фильтр: неверное время \"%1\" (позиция %2)"), begin, {text});
    node.Value = *ms;
  }

  // Appends the time as hh:mm:ss.zzz; an empty time is midnight. False for another shape.
  static bool AppendStampTime(std::string& out, std::string_view time) {
    if (time.empty()) {
      out += "00:00:00.000";
      return true;
    }
    std::size_t colon = time.find(':');
    if (colon == 1) out.push_back('0');
    if (colon != 1 && colon != 2) return false;
    const std::size_t tail = time.size() - colon;  // ":mm", ":mm:ss" or ":mm:ss.zzz"
    if (tail != 3 && tail != 6 && tail != 10) return false;
    out += time;
    if (tail == 3) out += ":00";
    if (tail <= 6) out += ".000";
    return true;
  }

  // The verdict of the name term for each code with a name of its own; code 00 is also the
  // code of a protocol 2 frame without payload, named differently, and is matched as it comes.
  static void FillNameHits(TNode& node) {
    std::string name, lower;
    for (std::size_t slot = 1; slot < kCodeSlots; ++slot) {
      TCommandRec rec;
      rec.Code = static_cast<std::int32_t>(slot < 0x100 ? slot : slot - 0x100 + 0xFF00);
      name.clear();
      TCommand(std::move(rec)).AppendCommandName(name);
      lower.clear();
      AppendUtf8Lower(lower, name);
      node.NameHits[slot] = MatchText(node, lower);
    }
  }

  std::string_view FText;
  TToken FToken;
  int FDepth = 0;
};

// ---- Evaluation --------------------------------------------------------------------------

bool Compare(TOp op, std::int64_t value, std::int64_t wanted) {
  switch (op) {
    case TOp::Eq:
      return value == wanted;
    case TOp::Ne:
      return value != wanted;
    case TOp::Lt:
      return value < wanted;
    case TOp::Le:
      return value <= wanted;
    case TOp::Gt:
      return value > wanted;
    default:
      return value >= wanted;
  }
}

// What one Matches call knows of its command; the summary is made at most once, when a
// summary term is reached.
struct TSubject {
  TSubject(const TCommand& command, std::uint64_t number) : Command(command), Number(number) {}
  const TCommand& Command;
  const std::uint64_t Number;
  bool HaveSummary = false;
  std::string LowerSummary;
};

// A text of the command lower-cased into this thread's buffer, whose memory is kept.
std::string_view LowerInBuffer(std::string_view text) {
  thread_local std::string lower;
  lower.clear();
  AppendUtf8Lower(lower, text);
  return lower;
}

bool Evaluate(const TNode& node, TSubject& subject) {
  const TCommand& command = subject.Command;
  switch (node.Kind) {
    case TKind::And:
      for (const TNode& child : node.Children)
        if (!Evaluate(child, subject)) return false;
      return true;
    case TKind::Or:
      for (const TNode& child : node.Children)
        if (Evaluate(child, subject)) return true;
      return false;
    case TKind::Not:
      return !Evaluate(node.Children.front(), subject);
    case TKind::Error:
      return command.HasError();
    case TKind::NoAnswer:
      return command.AnswerData().empty();
    case TKind::Code: {
      const std::int32_t code = command.Code();
      if (node.Op == TOp::In) return std::binary_search(node.Codes.begin(), node.Codes.end(), code);
      return node.Op == TOp::Eq ? code == node.Value : code != node.Value;
    }
    case TKind::Name: {
      const std::optional<std::size_t> slot = CodeSlot(command.Code());
      if (slot && *slot != 0) return node.NameHits[*slot];
      thread_local std::string name;
      name.clear();
      command.AppendCommandName(name);
      return MatchText(node, LowerInBuffer(name));
    }
    case TKind::Summary:
      if (!subject.HaveSummary) {
        subject.LowerSummary = Utf8ToLower(GetCommandShortValue(command));
        subject.HaveSummary = true;
      }
      return MatchText(node, subject.LowerSummary);
    case TKind::Thread:
      return MatchText(node, LowerInBuffer(command.ThreadIDView()));
    case TKind::TimeOfDay:
    case TKind::TimeStamp: {
      std::optional<std::int64_t> ms = command.RequestTimeMs();
      if (!ms) return false;
      std::int64_t value = *ms;
      if (node.Kind == TKind::TimeOfDay) value = (value % kMsPerDay + kMsPerDay) % kMsPerDay;
      return Compare(node.Op, value, node.Value);
    }
    case TKind::Response: {
      std::optional<std::int64_t> ms = command.ResponseMs();
      return ms && Compare(node.Op, *ms, node.Value);
    }
    case TKind::Number:
      return Compare(node.Op,
                     static_cast<std::int64_t>(std::min<std::uint64_t>(subject.Number, INT64_MAX)),
                     node.Value);
  }
  return false;
}

}  // namespace

TCommandFilter::TCommandFilter() = default;

TCommandFilter TCommandFilter::Parse(std::string_view expression) {
  TCommandFilter filter;
  if (std::all_of(expression.begin(), expression.end(), IsBlankChar)) return filter;
  filter.FRoot = std::make_shared<const TNode>(TParser(expression).ParseExpression());
  return filter;
}

bool TCommandFilter::Matches(const TCommand& command, std::uint64_t number) const {
  if (FRoot == nullptr) return true;
  TSubject subject(command, number);
  return Evaluate(*FRoot, subject);
}

}  // namespace quillon
