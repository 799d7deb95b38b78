#include "core/JsonText.h"

#include <nlohmann/json.hpp>

#include "core/BinUtils.h"
#include "core/WordScan.h"

namespace quillon {

using namespace wordscan;

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

// Text that is not well-formed UTF-8 is left to the library, whose replacement rules then
// hold.
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

void AppendJsonKey(std::string& out, std::string_view key) {
  if (out.back() != '{') out.push_back(',');
  out.push_back('"');
  out += key;
  out += "\":";
}

}  // namespace quillon
