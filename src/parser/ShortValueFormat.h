// Text helpers of the one-line command summaries that the decoders build.
#pragma once

#include <initializer_list>
#include <string>
#include <string_view>

namespace quillon {

// Fills a summary pattern: each "%s" takes the next value, in order, and "%%" stands for
// one percent sign; any other character, "%" included, is copied as it is. Patterns are
// translatable, so a pattern may hold more or fewer "%s" than there are values: a "%s"
// without a value gives the empty text and values left over are dropped.
inline std::string FormatShortValue(std::string_view pattern,
                                    std::initializer_list<std::string> values) {
  std::string text;
  const std::string* next = values.begin();
  for (std::size_t i = 0; i < pattern.size(); ++i) {
    if (pattern[i] == '%' && i + 1 < pattern.size()) {
      if (pattern[i + 1] == 's') {
        if (next != values.end()) text += *next++;
        ++i;
        continue;
      }
      if (pattern[i + 1] == '%') {
        text += '%';
        ++i;
        continue;
      }
    }
    text += pattern[i];
  }
  return text;
}

// The text with every CR LF pair replaced by one blank (multi-line values in one row).
inline std::string JoinLines(std::string_view text) {
  std::string result;
  result.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') {
      result += ' ';
      ++i;
    } else {
      result += text[i];
    }
  }
  return result;
}

// The text without the characters up to U+0020 (blanks, zero bytes, control characters)
// at either end. UTF-8 multi-byte sequences never hold such bytes, so bytes are compared.
inline std::string_view TrimControls(std::string_view text) {
  auto isControl = [](char c) { return static_cast<unsigned char>(c) <= 0x20; };
  while (!text.empty() && isControl(text.front())) text.remove_prefix(1);
  while (!text.empty() && isControl(text.back())) text.remove_suffix(1);
  return text;
}

}  // namespace quillon
