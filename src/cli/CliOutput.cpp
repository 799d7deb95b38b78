#include "cli/CliOutput.h"

#include <cstring>
#include <nlohmann/json.hpp>

#include "core/BinUtils.h"
#include "core/DriverCommands.h"

namespace quillon::cli {

namespace {

// Eight bytes of text at a time: fields are mostly long runs that need no escaping.
constexpr std::uint64_t kOnes = 0x0101010101010101ULL;
constexpr std::uint64_t kHighs = 0x8080808080808080ULL;

std::uint64_t Load8(const char* p) {
  std::uint64_t word;
  std::memcpy(&word, p, sizeof word);
  return word;
}
// High bit set in every byte of `word` that is zero (and possibly in some after it).
constexpr std::uint64_t ZeroBytes(std::uint64_t word) {
  return (word - kOnes) & ~word & kHighs;
}
constexpr std::uint64_t BytesEqual(std::uint64_t word, char c) {
  return ZeroBytes(word ^ (kOnes * static_cast<unsigned char>(c)));
}
// Bytes below 0x20 (exact for words without high bytes).
constexpr std::uint64_t ControlBytes(std::uint64_t word) {
  return (word - kOnes * 0x20) & ~word & kHighs;
}

// The command's name in a buffer reused from one row to the next on this thread.
std::string_view NameOf(const TCommand& command) {
  thread_local std::string name;
  name.clear();
  command.AppendCommandName(name);
  return name;
}

}  // namespace

void AppendEscaped(std::string& out, std::string_view field) {
  std::size_t start = 0;
  for (std::size_t i = 0; i < field.size(); ++i) {
    // Skip words without CR, LF, TAB, backslash or NUL.
    while (i + 8 <= field.size()) {
      std::uint64_t w = Load8(field.data() + i);
      if ((ZeroBytes(w) | BytesEqual(w, '\r') | BytesEqual(w, '\n') | BytesEqual(w, '\t') |
           BytesEqual(w, '\\')) != 0)
        break;
      i += 8;
    }
    if (i >= field.size()) break;
    const char* escape = nullptr;
    switch (field[i]) {
      case '\r':
        escape = "\\r";
        break;
      case '\n':
        escape = "\\n";
        break;
      case '\t':
        escape = "\\t";
        break;
      case '\\':
        escape = "\\\\";
        break;
      case '\0':
        escape = "\\0";
        break;
      default:
        continue;
    }
    out.append(field, start, i - start);
    out += escape;
    start = i + 1;
  }
  out.append(field, start, std::string_view::npos);
}

void AppendListLine(std::string& out, std::uint64_t number, const TCommand& command,
                    const TCommandTexts& texts) {
  out += std::to_string(number);
  out.push_back('\t');
  AppendEscaped(out, command.TimeStampView());
  out.push_back('\t');
  AppendEscaped(out, command.ThreadIDView());
  out.push_back('\t');
  AppendEscaped(out, NameOf(command));
  out.push_back('\t');
  AppendEscaped(out, texts.Summary);
  out.push_back('\t');
  if (command.HasError()) out.push_back('!');
  out.push_back('\n');
}

namespace {

// Whether text is well-formed UTF-8 (no overlong forms, surrogates or values past U+10FFFF).
bool IsWellFormedUtf8(std::string_view text) {
  const auto* p = reinterpret_cast<const unsigned char*>(text.data());
  const auto* end = p + text.size();
  while (p < end) {
    unsigned char c = *p;
    if (c < 0x80) {
      ++p;
      continue;
    }
    std::size_t more;
    unsigned char low = 0x80, high = 0xBF;
    if (c >= 0xC2 && c <= 0xDF) {
      more = 1;
    } else if (c >= 0xE0 && c <= 0xEF) {
      more = 2;
      if (c == 0xE0) low = 0xA0;
      if (c == 0xED) high = 0x9F;
    } else if (c >= 0xF0 && c <= 0xF4) {
      more = 3;
      if (c == 0xF0) low = 0x90;
      if (c == 0xF4) high = 0x8F;
    } else {
      return false;
    }
    if (static_cast<std::size_t>(end - p) <= more) return false;
    if (p[1] < low || p[1] > high) return false;
    for (std::size_t i = 2; i <= more; ++i)
      if (p[i] < 0x80 || p[i] > 0xBF) return false;
    p += more + 1;
  }
  return true;
}

// A JSON string as the JSON library writes it (UTF-8 kept, control characters escaped),
// without building a document first. Text that is not well-formed UTF-8 is left to the
// library, whose replacement rules then hold.
void AppendJsonString(std::string& out, std::string_view text) {
  if (!IsWellFormedUtf8(text)) {
    out += nlohmann::json(std::string(text))
               .dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
    return;
  }
  out.push_back('"');
  std::size_t start = 0;
  for (std::size_t i = 0; i < text.size(); ++i) {
    // Skip words of plain ASCII without quotes, backslashes and control characters.
    while (i + 8 <= text.size()) {
      std::uint64_t w = Load8(text.data() + i);
      if (((w & kHighs) | ControlBytes(w) | BytesEqual(w, '"') | BytesEqual(w, '\\')) != 0) break;
      i += 8;
    }
    if (i >= text.size()) break;
    auto c = static_cast<unsigned char>(text[i]);
    if (c >= 0x20 && c != '"' && c != '\\') continue;
    out.append(text, start, i - start);
    start = i + 1;
    switch (c) {
      case '"':
        out += "\\\"";
        break;
      case '\\':
        out += "\\\\";
        break;
      case '\b':
        out += "\\b";
        break;
      case '\f':
        out += "\\f";
        break;
      case '\n':
        out += "\\n";
        break;
      case '\r':
        out += "\\r";
        break;
      case '\t':
        out += "\\t";
        break;
      default:
        out += "\\u00";
        out += IntToHex(c, 2, THexCase::Lower);
    }
  }
  out.append(text, start, std::string_view::npos);
  out.push_back('"');
}

// ,"key": (the first key of an object goes without the comma).
void AppendJsonKey(std::string& out, std::string_view key) {
  if (out.back() != '{') out.push_back(',');
  out.push_back('"');
  out += key;
  out += "\":";
}

}  // namespace

void AppendJsonLine(std::string& out, std::uint64_t number, const TCommand& command,
                    const TCommandTexts& texts) {
  auto text = [&](std::string_view key, std::string_view value) {
    AppendJsonKey(out, key);
    AppendJsonString(out, value);
  };
  auto integer = [&](std::string_view key, auto value) {
    AppendJsonKey(out, key);
    out += std::to_string(value);
  };
  out.push_back('{');
  integer("n", number);
  integer("line", command.LineNumber());
  text("attributes", command.Attributes());
  text("time", command.TimeStampView());
  text("thread", command.ThreadIDView());
  text("protocol", GetProtocolName(command.Protocol()));
  integer("code", command.Code());
  text("name", NameOf(command));
  text("tx", command.TxData());
  text("rx", command.AnswerData());
  integer("result", command.ResCode());
  AppendJsonKey(out, "error");
  out += command.HasError() ? "true" : "false";
  text("summary", texts.Summary);
  text("request", texts.Request);
  text("answer", texts.Answer);
  out += "}\n";
}

}  // namespace quillon::cli
